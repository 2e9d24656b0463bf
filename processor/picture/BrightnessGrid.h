#pragma once

#include <JuceHeader.h>

#include <atomic>

/** The side of the brightness grid, and of the pictures drawn into it. */
constexpr int brightnessGridSize = 512;

/** grid[x * 512 + y] = max (R, G, B) / 255 of pixel (x, y) as getPixelAt reads it, for a 512 x 512 picture, read in
    one pass over its pixels; alpha is ignored. Each cell is written whole (relaxed), as the audio thread may read the
    grid meanwhile. [image thread, or the audio thread while the host renders offline] */
void writeBrightnessGrid (const juce::Image& picture, std::atomic<float>* grid);
