#pragma once

#include "EditorLayout.h"
#include "HostNoteDisplay.h"
#include "ParameterSelectionListener.h"
#include "controls/CustomTabbedComponent.h"
#include "controls/DialogLauncher.h"
#include "controls/MidiKeyboard.h"
#include "controls/ParameterAttachments.h"
#include "displays/Spectrum.h"
#include "displays/Visualiser.h"
#include "displays/WaveFormGUI.h"
#include "look/MinimalLookAndFeel.h"
#include "modulation/Modulations.h"
#include "panels/ADSRComponent.h"
#include "panels/FilterGUI.h"
#include "panels/GlobalSynthPanel.h"
#include "panels/NameLabel.h"
#include "processor/PluginProcessor.h"
#include "threads/MessageThreadRequest.h"

/** The plug-in's window: owns every panel, display and tab set, places them, and is the one place where the
    editor and the processor are wired together by call. */
class OstrelAudioProcessorEditor : public juce::AudioProcessorEditor,
                                   public juce::Button::Listener,
                                   public ParameterSelectionListener,
                                   public MyModulationSelectChangeListener,
                                   public DialogLauncher::Owner
{
public:
    explicit OstrelAudioProcessorEditor (OstrelAudioProcessor&);
    ~OstrelAudioProcessorEditor() override;

    void paint (juce::Graphics&) override;
    void resized() override;
    void onParameterSelected (const juce::String&) override {}
    /** The filter toggles have nothing to do when clicked. */
    void buttonClicked (juce::Button*) override {}
    /** Shows page sourceIndex of the source tab set. Hosts restore state and change programs on threads of their
        own, which route the matrices and so call this: there the page is handed over to the message thread
        without waiting for it. [any thread but the audio thread] */
    void modulationIndexChanged (int sourceIndex) override;

    /** What the on-screen keyboard plays goes to the processor's keyboard queue. [message thread] */
    void sendKeyboardMessage (const juce::MidiMessage& message);

    DialogLauncher& getDialogLauncher() override { return *dialogLauncher; }
    /** Puts launcher in place of the current one, whose open dialogs are dismissed. [message thread] */
    void setDialogLauncher (std::unique_ptr<DialogLauncher> launcher);

    HostNoteDisplay& getHostNoteDisplay() noexcept { return hostNoteDisplay; }

    //==============================================================================
    // The window's parts, in the order they are built (and destroyed in reverse).
    OstrelAudioProcessor& audioProcessor;

private:
    /** Panels open their dialogs through it; declared first, so that it outlives every panel. */
    std::unique_ptr<DialogLauncher> dialogLauncher;

public:
    WaveFormGUI waveFormGUI;
    ADSRSComponent adsrVoicePanel;
    FilterGUI filterPanel;
    ADSRSComponent adsrFilterPanel;
    GlobalSynthPanel globalSynthPanel;
    VisualiserRect visualiserRect;
    juce::ToggleButton filterToggle1, filterToggle2;
    std::unique_ptr<ButtonAttachment> filterTypeAttachment;
    std::unique_ptr<CustomTabbedComponent> sourceTabs;
    std::unique_ptr<CustomTabbedComponent> matrixTabs;
    MinimalLookAndFeel minimalLookAndFeel;
    std::unique_ptr<GridContainerComponent> envGrid;
    std::unique_ptr<GridContainerComponent> lfoGrid;
    std::unique_ptr<GridContainerComponent> midiGrid;
    SpectrumPanel spectrumPanel;
    NameLabel presetsBar;
    /** The editor's destructor releases a key it still holds into the processor's queue. */
    MidiKeyboard keyboard;

private:
    void showSourcePage (int sourceIndex);

    HostNoteDisplay hostNoteDisplay;
    /** Only the newest page asked for matters: the page of the source routed last. */
    MessageThreadRequest sourcePageRequest{ [this] (int sourceIndex) { showSourcePage (sourceIndex); } };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OstrelAudioProcessorEditor)
};
