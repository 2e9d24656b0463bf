#pragma once

#include "GlobalPanelClass.h"

/** The picture scan controls in one row: circle centre x and y, "Shift", "Smooth" and "Circle". The centre
    knobs are enabled only in circle mode. */
class IntervalPanel : public GlobalPanelClass
{
public:
    /** Over the processor's intervalConfigs; no other group is supported. */
    IntervalPanel (OstrelAudioProcessor& processor, const ParameterGroup& group);
    ~IntervalPanel() override = default;

    juce::Label titleLabel;

private:
    void layOut() override;
    /** "Circle" changed, by a click or through its binding: the layout again, and with it the centre knobs. */
    void controlChanged (juce::Component&) override;
    /** The centre knobs enabled exactly while "Circle" is on. */
    void updateCentreKnobs();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (IntervalPanel)
};
