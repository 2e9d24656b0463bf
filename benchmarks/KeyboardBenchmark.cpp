#include "editor/controls/MidiKeyboard.h"

#include <benchmark/benchmark.h>

// The keyboard repaints whole on every key the mouse or the host presses or releases; at the window's size, with a
// chord lit.
static void BM_PaintKeyboard (benchmark::State& state)
{
    MidiKeyboard keyboard;
    keyboard.setSize (888, 94);
    for (const auto* key : { "C0", "E0", "G0", "A#0", "D#1" })
        keyboard.showHostNote (key, true);

    juce::Image image (juce::Image::ARGB, keyboard.getWidth(), keyboard.getHeight(), true);
    for (auto _ : state)
    {
        juce::Graphics g (image);
        keyboard.paintEntireComponent (g, false);
        benchmark::DoNotOptimize (image.getPixelData());
    }
}
BENCHMARK (BM_PaintKeyboard)->Unit (benchmark::kMicrosecond);
