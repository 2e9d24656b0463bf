#include "CustomHorizontalSlider.h"

void CustomHorizontalSlider::paint (juce::Graphics& g)
{
    const auto w = getWidth();
    const auto h = getHeight();
    const auto v = (float) getValue();

    const auto bw = juce::jmax (w - 4, 0);
    const auto bh = juce::jmax (h - 4, 0);
    const auto half = 0.5 * bw;

    g.setColour (juce::Colours::darkgrey.withAlpha ((juce::uint8) 0x4c));
    g.fillRoundedRectangle (2.0f, 2.0f, (float) bw, (float) bh, 2.0f);

    // The value bar runs from the centre along the bottom of the body.
    const auto m = juce::jmin ((double) bh, h * 3.5 / 5);
    const auto top = (float) (2 + m);
    const auto height = (float) (bh - m);
    g.setColour (juce::Colours::orange.withAlpha ((juce::uint8) 0xcc));

    if (v > 0.0f)
        g.fillRoundedRectangle ((float) half, top, (float) juce::jmax (0.0, v * half), height, 2.0f);
    else if (v < 0.0f)
        g.fillRoundedRectangle ((float) (half + v * half), top, (float) juce::jmax (0.0, -v * half), height, 2.0f);

    // Half of the thumb lies below the slider's bottom edge, which clips it.
    g.setColour (v != 0.0f ? juce::Colours::yellow : juce::Colours::grey);
    g.fillRect (juce::Rectangle<float> ((float) (w - 8) * (v + 1.0f) / 2.0f, (float) (h - 8), 4.0f, 16.0f));

    if (h > 0)
    {
        g.setColour (juce::Colours::white.withAlpha ((juce::uint8) 0x33));
        g.fillRect ((int) half, 0, 1, h);
    }
}
