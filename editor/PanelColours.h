#pragma once

#include <JuceHeader.h>

/** The editor's colours; entry 0 is the background of the window, the tabs, the grids and the display frames. */
extern const juce::Colour panelColours[1];
