#pragma once

#include <JuceHeader.h>

/** A modulation grid's cell: a small bipolar bar from -1 to 1, drawn from its centre. */
class CustomHorizontalSlider : public juce::Slider
{
public:
    CustomHorizontalSlider() = default;
    ~CustomHorizontalSlider() override = default;

    void paint (juce::Graphics& g) override;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CustomHorizontalSlider)
};
