#include "GeneratedPictures.h"
#include "OpenEditor.h"

#include <benchmark/benchmark.h>

#include <cmath>

using namespace editor_benchmarks;

// The picture view repaints every 30 ms: the transformed picture stretched over it, then the scan line (0) or the
// scan circle with its arrows and velocity ring (1). The image thread keeps redrawing the picture meanwhile.
static void BM_PaintPictureView (benchmark::State& state)
{
    OpenEditor open;
    open.processor->loadFile (
        open.writePicture ("noise.png", picture_fixtures::noisePicture (512, 512, juce::Image::RGB, 7)),
        false);
    open.setRaw ("TypeCircle", (float) state.range (0));
    open.setRaw ("Shift", 300.0f);
    open.setRaw ("VeloShift", 0.2f);
    open.process();
    paintRepeatedly (state, open.editor->waveFormGUI.parentTargetArea.targetArea);
}
BENCHMARK (BM_PaintPictureView)->DenseRange (0, 1)->Unit (benchmark::kMicrosecond);

// The waveform window repaints every 30 ms, its trail of 15 earlier shapes included.
static void BM_PaintWaveformWindow (benchmark::State& state)
{
    OpenEditor open;
    float table[512];
    for (int i = 0; i < 512; ++i)
        table[i] = std::sin (6.2831855f * (float) i / 512.0f);
    open.processor->waveDisplayBuffer.write (table);
    paintRepeatedly (state, open.editor->waveFormGUI.waveFormWindow);
}
BENCHMARK (BM_PaintWaveformWindow)->Unit (benchmark::kMicrosecond);

// The scope repaints every 16 ms: one read of the feed, the trigger, five snapshots averaged, the path.
static void BM_PaintScope (benchmark::State& state)
{
    OpenEditor open;
    float samples[1024];
    for (int i = 0; i < 1024; ++i)
        samples[i] = 0.2f * std::sin (6.2831855f * 7.3f * (float) i / 1024.0f);
    open.processor->scopeBuffer.write (samples);
    paintRepeatedly (state, open.editor->visualiserRect);
}
BENCHMARK (BM_PaintScope)->Unit (benchmark::kMicrosecond);

// The spectrum takes a block (about every 21 ms at 48 kHz): the window, the 1024-point FFT and the 256 levels.
static void BM_SpectrumTakeBlock (benchmark::State& state)
{
    OpenEditor open;
    auto& view = open.editor->spectrumPanel.spectrumView;
    float block[1024];
    juce::Random random (3);
    for (auto& sample : block)
        sample = random.nextFloat() * 2.0f - 1.0f;

    for (auto _ : state)
    {
        std::copy (std::begin (block), std::end (block), open.processor->spectrumFftData);
        std::fill (open.processor->spectrumFftData + 1024, open.processor->spectrumFftData + 2048, 0.0f);
        view.drawNextFrameOfSpectrum();
        benchmark::DoNotOptimize (view.scopeData);
    }
}
BENCHMARK (BM_SpectrumTakeBlock)->Unit (benchmark::kMicrosecond);

// ... and repaints.
static void BM_PaintSpectrum (benchmark::State& state)
{
    OpenEditor open;
    auto& view = open.editor->spectrumPanel.spectrumView;
    for (int i = 0; i < SpectrumView::scopeSize; ++i)
        view.scopeData[i] = 0.5f + 0.4f * std::sin ((float) i * 0.1f);
    paintRepeatedly (state, open.editor->spectrumPanel);
}
BENCHMARK (BM_PaintSpectrum)->Unit (benchmark::kMicrosecond);

// What the message thread does when the user answers the drop dialog for a large picture: decode, scale to the
// grid, swap in. The first transformed picture is on screen at most one image-thread pass and one 30-ms repaint
// later (see the display measurements).
static void BM_LoadDroppedPicture4096 (benchmark::State& state)
{
    OpenEditor open;
    const auto path = open.writePicture ("large.png", picture_fixtures::noisePicture (4096, 4096, juce::Image::RGB, 7));
    for (auto _ : state)
        benchmark::DoNotOptimize (open.processor->loadDroppedPicture (path));
}
BENCHMARK (BM_LoadDroppedPicture4096)->Unit (benchmark::kMillisecond)->Iterations (5);
