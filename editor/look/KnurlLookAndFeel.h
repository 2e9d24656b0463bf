#pragma once

#include <JuceHeader.h>

/** The knobs' own look: a thumb, the value in the middle, an outline arc and a thin value ring. */
class KnurlLookAndFeel : public juce::LookAndFeel_V4
{
public:
    KnurlLookAndFeel() = default;

    void drawRotarySlider (juce::Graphics&,
                           int x,
                           int y,
                           int width,
                           int height,
                           float sliderPosProportional,
                           float rotaryStartAngle,
                           float rotaryEndAngle,
                           juce::Slider&) override;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (KnurlLookAndFeel)
};
