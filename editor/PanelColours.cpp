#include "PanelColours.h"

const juce::Colour panelColours[1]{ juce::Colour (0xff141414) };

juce::ColourGradient curveFill (juce::Point<float> start, juce::Point<float> end)
{
    return { juce::Colours::orange.withAlpha ((juce::uint8) 0x4c),
             start,
             juce::Colours::purple.withAlpha ((juce::uint8) 0xcc),
             end,
             false };
}
