#pragma once

#include "GlobalPanelClass.h"
#include "editor/controls/CustomResetButton.h"
#include "editor/controls/DialogLauncher.h"

/** The presets bar: the plug-in's title, the presets box (choosing an item applies that program), "Save" (asks
    for a name, then stores the current settings as a preset), "Del" (asks, then deletes the chosen preset) and the
    "OverSample" box that the base makes. Save and Delete rewrite the presets file; when it cannot be written, or an
    unreadable one had to be moved aside, the user is told. [message thread] */
class NameLabel : public GlobalPanelClass
{
public:
    explicit NameLabel (OstrelAudioProcessor& processor);
    ~NameLabel() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    /** One item per preset, its id the program number (1..N) and its text the preset's name; the single item
        "NoPreset" when there are none. Nothing is selected afterwards. */
    void refreshPresetList();

    OstrelAudioProcessor& audioProcessor;
    MyLookAndFeel barLookAndFeel;
    CustomResetButton saveButton{ "ResetButton" };
    CustomResetButton deleteButton{ "ResetButton" };
    juce::ComboBox presetsBox;
    juce::Label presetsLabel;
    juce::Label titleLabel;

private:
    /** The Save button: asks for the preset's name. */
    void askForPresetName();
    /** The Save dialog's answer. */
    void presetNameEntered (int result, const juce::String& name);
    /** The Del button: asks whether to delete the chosen preset. */
    void askToDeletePreset();
    /** The Delete dialog's answer for the preset at programIndex in the program list. */
    void deleteConfirmed (int result, int programIndex);
    /** Tells the user what went wrong with the presets file, if anything did. */
    void reportPresetsFile (const OstrelAudioProcessor::PresetsFileResult& result);

    /** The launcher of the window the bar is in; null outside one. */
    DialogLauncher* dialogLauncher();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (NameLabel)
};
