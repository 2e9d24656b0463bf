#pragma once

#include <JuceHeader.h>

/** The editor's colours; entry 0 is the background of the window, the tabs, the grids and the display frames. */
extern const juce::Colour panelColours[1];

/** The fill under the drawn curves (envelopes, filter response, spectrum): translucent orange at start to purple at
    end. */
juce::ColourGradient curveFill (juce::Point<float> start, juce::Point<float> end);
