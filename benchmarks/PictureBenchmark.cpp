#include "processor/PluginProcessor.h"
#include "processor/picture/BrightnessGrid.h"

#include <benchmark/benchmark.h>

namespace
{
/** A 512 x 512 picture of seeded noise written as PNG into the benchmark's temporary HOME. */
juce::String writeNoisePicture (juce::Image::PixelFormat format)
{
    juce::Image picture (format, OstrelAudioProcessor::gridSize, OstrelAudioProcessor::gridSize, true);
    juce::Random random (1);

    for (int y = 0; y < picture.getHeight(); ++y)
        for (int x = 0; x < picture.getWidth(); ++x)
            picture.setPixelAt (x, y, juce::Colour ((juce::uint32) random.nextInt() | 0xff000000u));

    const auto file = juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile ("noise.png");
    file.deleteFile();
    juce::FileOutputStream out (file);
    juce::PNGImageFormat().writeImageToStream (picture, out);
    return file.getFullPathName();
}

void fillGridWithNoise (OstrelAudioProcessor& processor)
{
    juce::Random random (2);

    for (auto& cell : processor.imageGrid)
        cell.store (random.nextFloat(), std::memory_order_relaxed);
}
} // namespace

// The image thread's cost, paid about thirty times a second for as long as the plug-in lives.
static void BM_PictureTransformPass (benchmark::State& state)
{
    OstrelAudioProcessor processor;
    processor.loadFile (writeNoisePicture (state.range (0) == 0 ? juce::Image::RGB : juce::Image::ARGB), false);

    if (state.range (1) != 0)
    {
        processor.affineConfigs[AffineIndex::rotate].currentValue = 30.0f;
        processor.affineConfigs[AffineIndex::zoom].currentValue = 0.25f;
    }

    for (auto _ : state)
        processor.updateImageManupulations();
}
BENCHMARK (BM_PictureTransformPass)
    ->ArgsProduct ({ { 0, 1 }, { 0, 1 } })
    ->ArgNames ({ "alpha", "rotated" })
    ->Unit (benchmark::kMicrosecond);

// The pass's own part: the brightness of every pixel into the grid.
static void BM_BrightnessGrid (benchmark::State& state)
{
    OstrelAudioProcessor processor;
    processor.loadFile (writeNoisePicture (state.range (0) == 0 ? juce::Image::RGB : juce::Image::ARGB), false);

    for (auto _ : state)
        writeBrightnessGrid (processor.transformedImage, processor.imageGrid);
}
BENCHMARK (BM_BrightnessGrid)->Arg (0)->Arg (1)->ArgNames ({ "alpha" })->Unit (benchmark::kMicrosecond);

// Every block refills all eight tables on the audio thread: this is one of them.
static void BM_WavetableRefill (benchmark::State& state)
{
    OstrelAudioProcessor processor;
    fillGridWithNoise (processor);
    processor.intervalConfigs[IntervalIndex::shift].currentValue = 200.5f;
    processor.intervalConfigs[IntervalIndex::centreX].currentValue = 256.0f;
    processor.intervalConfigs[IntervalIndex::centreY].currentValue = 256.0f;

    auto* circle = processor.valueTreeState.getParameter ("TypeCircle");
    circle->setValueNotifyingHost (state.range (0) == 0 ? 0.0f : 1.0f);
    auto* smooth = processor.valueTreeState.getParameter ("Smooth");
    smooth->setValueNotifyingHost (smooth->convertTo0to1 (0.5f));

    int index = 0;

    for (auto _ : state)
    {
        processor.handleWavetableSampleSelection (index);
        index = (index + 1) % OstrelAudioProcessor::numVoices;
    }
}
BENCHMARK (BM_WavetableRefill)->Arg (0)->Arg (1)->ArgNames ({ "circle" })->Unit (benchmark::kMicrosecond);
