#include "ADSRDrawingArea.h"

#include "editor/PanelColours.h"

void ADSRDrawingArea::paint (juce::Graphics& g)
{
    const auto w = getWidth();
    const auto h = getHeight();

    g.fillAll (juce::Colours::black);
    g.setColour (juce::Colours::white.withAlpha ((juce::uint8) 0x33));

    // The bottom 10 rows stay free of the grid.
    if (h >= 10 && w > 0)
        for (int k = 0; k <= 4; ++k)
            g.drawHorizontalLine (juce::roundToInt ((float) (k * (h - 10)) / 4.0f), 0.0f, (float) w);

    if (h > 10)
        for (int k = 0; k <= 8; ++k)
            g.drawVerticalLine (juce::roundToInt ((float) (k * w) / 8.0f), 0.0f, (float) (h - 10));

    g.setGradientFill (curveFill ({ 0.0f, 0.0f }, { (float) w, (float) h }));
    g.fillPath (envelopePath);

    g.setColour (juce::Colours::orange);
    g.strokePath (envelopePath, juce::PathStrokeType (2.0f));
}
