#include "PanelColours.h"

const juce::Colour panelColours[1]{ juce::Colour (0xff141414) };
