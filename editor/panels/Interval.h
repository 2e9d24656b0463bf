#pragma once

#include "GlobalPanelClass.h"

/** The picture scan controls in one row: circle centre x and y, "Shift", "Smooth" and "Circle". The centre
    knobs are enabled only in circle mode. */
class IntervalPanel : public GlobalPanelClass, public juce::Button::Listener
{
public:
    /** Over the processor's intervalConfigs; no other group is supported. */
    IntervalPanel (OstrelAudioProcessor& processor, const ParameterGroup& group);
    ~IntervalPanel() override;

    void paint (juce::Graphics&) override;
    void resized() override;
    /** The "Circle" toggle changed, by a click or through its attachment when "TypeCircle" changed anywhere
        (host, program, state): the centre knobs follow. [message thread] */
    void buttonClicked (juce::Button*) override;

    juce::Label titleLabel;

private:
    /** The centre knobs enabled exactly while "Circle" is on. */
    void updateCentreKnobs();

    bool complete = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (IntervalPanel)
};
