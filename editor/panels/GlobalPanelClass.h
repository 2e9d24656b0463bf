#pragma once

#include "editor/controls/CustomSliderBase.h"
#include "editor/controls/ParameterAttachments.h"
#include "editor/look/MyLookAndFeel.h"

/** The base of every parameter panel: one control per record of its group, by the record's kind, each bound to
    its parameter. Derived panels lay the controls out and find them by their index in the arrays below: slider k
    is made from the k-th record of a slider kind, combo box k from the k-th combo record, and so on.

    A panel that finds its controls by index names how many of each it expects. Over a group that gives other
    counts it lays out, reads and reacts to none of them and draws only its frame: the base decides that once, so
    that a panel's own layout and reactions only ever see the controls they expect. */
class GlobalPanelClass : public juce::Component,
                         public juce::Slider::Listener,
                         public juce::ComboBox::Listener,
                         public juce::Button::Listener
{
public:
    /** How many sliders, combo boxes and toggle buttons a panel finds by index. */
    struct Controls
    {
        int numSliders = 0, numComboBoxes = 0, numToggleButtons = 0;
    };

    /** A panel of whatever controls the group gives; it places none of them itself. */
    GlobalPanelClass (OstrelAudioProcessor& processor, const ParameterGroup& group);
    /** A panel that lays out and reacts to exactly the expected controls; any other group is a caller's fault. */
    GlobalPanelClass (OstrelAudioProcessor& processor, const ParameterGroup& group, Controls expected);
    ~GlobalPanelClass() override;

    void mouseDown (const juce::MouseEvent&) override {}
    /** The panel frame; derived panels that draw a frame draw this one. */
    void paint (juce::Graphics&) override;
    /** The panel's own layOut, when it has the controls it expects. */
    void resized() override;

    /** The panel listens to every control it makes: a change by the user, or by the binding when the parameter
        changed anywhere (host, program, state), goes to controlChanged when the panel has the controls it
        expects. The editor also calls comboBoxChanged once on the filter and LFO panels, so that their drawings
        start from the parameters' values. [message thread] */
    void sliderValueChanged (juce::Slider*) final;
    void comboBoxChanged (juce::ComboBox*) final;
    void buttonClicked (juce::Button*) final;

    void createSlider (const ParameterConfig& config);
    void createComboBox (const ParameterConfig& config);
    void createButton (const ParameterConfig& config);

    /** A knob for the kinds 0, 1 (logarithmic) and 4, a horizontal bar for 5; null for any other kind. */
    static std::unique_ptr<CustomSliderBase> createSliderForType (OstrelAudioProcessor& processor,
                                                                  const ParameterConfig& config);

    /** Whether the panel made exactly this many sliders, combo boxes and toggle buttons. */
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

protected:
    /** Whether the panel has the controls it expects; one made without expectations always has. */
    bool isComplete() const noexcept { return complete; }

    /** Places label across the top of the panel, height rows high but no more than within; returns the rows it
        takes, the top of what lies below it. */
    int placeTitle (juce::Label& label, int height, int within);

    /** The panel's own layout; runs only when the panel has the controls it expects. */
    virtual void layOut() {}
    /** One of the panel's controls changed; only when the panel has the controls it expects. [message thread] */
    virtual void controlChanged (juce::Component& control) { juce::ignoreUnused (control); }

private:
    void changed (juce::Component* control);

    bool complete = true;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GlobalPanelClass)
};
