#pragma once

#include "GlobalPanelClass.h"

/** The six picture-transform knobs stacked in a column: rotation, zoom, skews and shifts. */
class AffinePanel : public GlobalPanelClass
{
public:
    /** Over the processor's affineConfigs; no other group is supported. */
    AffinePanel (OstrelAudioProcessor& processor, const ParameterGroup& group);
    ~AffinePanel() override = default;

    juce::Label titleLabel;

private:
    void layOut() override;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AffinePanel)
};
