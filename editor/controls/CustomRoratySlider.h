#pragma once

#include "CustomSliderBase.h"
#include "editor/look/KnurlLookAndFeel.h"

/** A panel's knob: draws its caption below, and its modulated value as a yellow arc from its own value. */
class CustomRoratySlider : public CustomSliderBase
{
public:
    CustomRoratySlider (OstrelAudioProcessor& processor, juce::String paramID);
    ~CustomRoratySlider() override;

    /** A right-click or Ctrl-click picks the parameter for the modulation grids, then acts as any press. */
    void mouseDown (const juce::MouseEvent&) override;
    /** Sets the caption; the component name stays as it is. */
    void setName (const juce::String& newName) override;
    void paint (juce::Graphics&) override;
    double proportionOfLengthToValue (double proportion) override;
    double valueToProportionOfLength (double value) override;
    void setUseLogarithmicScaling (bool shouldUseLogarithmicScaling) override;

    /** The yellow arc from the knob's value to its modulated value; nothing while that is NaN. */
    void drawAutomationArc (juce::Graphics&, juce::Rectangle<int>& area);

    const juce::String& getCaption() const noexcept { return caption; }

    /** The sweep, clockwise from 12 o'clock: 5 pi / 4 to 11 pi / 4. */
    static constexpr float startAngle = 3.9269910f;
    static constexpr float endAngle = 8.6393805f;

private:
    /** The arc to shown, the modulated value as read once for this paint and limited to the range. */
    void drawAutomationArc (juce::Graphics&, juce::Rectangle<int>& area, float shown);
    /** The modulated value limited to the range; NaN stays NaN. */
    float shownModulation() const;

    bool useLogarithmicScaling = false;
    KnurlLookAndFeel knobLookAndFeel;
    juce::String caption;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CustomRoratySlider)
};
