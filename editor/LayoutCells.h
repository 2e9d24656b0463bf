#pragma once

#include <JuceHeader.h>

/** The cell (x, y, w, h) with a negative width or height made 0: a window or panel too small for its parts gives
    them no area rather than an inverted one. The window's layout and every panel cut their cells with it. */
inline juce::Rectangle<int> cell (int x, int y, int w, int h) noexcept
{
    return { x, y, juce::jmax (0, w), juce::jmax (0, h) };
}

/** The cell (x, y, w, h) reduced by dx on the left and right and dy on the top and bottom. */
inline juce::Rectangle<int> reducedCell (int x, int y, int w, int h, int dx, int dy) noexcept
{
    return cell (x + dx, y + dy, w - 2 * dx, h - 2 * dy);
}
