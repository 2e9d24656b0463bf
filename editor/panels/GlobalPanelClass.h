#pragma once

#include "editor/controls/CustomSliderBase.h"
#include "editor/controls/ParameterAttachments.h"
#include "editor/look/MyLookAndFeel.h"

/** The base of every parameter panel: one control per record of its group, by the record's kind, each bound to
    its parameter. Derived panels lay the controls out and find them by their index in the arrays below: slider k
    is made from the k-th record of a slider kind, combo box k from the k-th combo record, and so on. */
class GlobalPanelClass : public juce::Component
{
public:
    GlobalPanelClass (OstrelAudioProcessor& processor, const ParameterGroup& group);
    ~GlobalPanelClass() override;

    void mouseDown (const juce::MouseEvent&) override {}
    /** The panel frame; derived panels that draw a frame draw this one. */
    void paint (juce::Graphics&) override;

    void createSlider (const ParameterConfig& config);
    void createComboBox (const ParameterConfig& config);
    void createButton (const ParameterConfig& config);

    /** A knob for the kinds 0, 1 (logarithmic) and 4, a horizontal bar for 5; null for any other kind. */
    static std::unique_ptr<CustomSliderBase> createSliderForType (OstrelAudioProcessor& processor,
                                                                  const ParameterConfig& config);

    /** Whether the panel made exactly this many sliders, combo boxes and toggle buttons. A derived panel that
        finds its controls by index asserts it and, over any other group, reads and places none of them. */
    bool hasControls (int numSliders, int numComboBoxes, int numToggleButtons) const noexcept;

    /** Sets label up as a panel title (turquoise, bold Arial 20, centred) and shows it on the panel. */
    void addTitle (juce::Label& label, const juce::String& text);

    MyLookAndFeel lookAndFeel;
    OstrelAudioProcessor& processor;
    juce::OwnedArray<CustomSliderBase> sliders;
    juce::OwnedArray<juce::ComboBox> comboBoxes;
    juce::OwnedArray<juce::ToggleButton> toggleButtons;
    juce::OwnedArray<SliderAttachment> sliderAttachments;
    juce::OwnedArray<ComboBoxAttachment> comboBoxAttachments;
    juce::OwnedArray<ButtonAttachment> buttonAttachments;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GlobalPanelClass)
};
