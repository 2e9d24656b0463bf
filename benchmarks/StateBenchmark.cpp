#include "processor/PluginProcessor.h"

#include <benchmark/benchmark.h>

namespace
{
/** A 4096 x 4096 PNG of a seeded pattern, written once into the benchmark's temporary HOME. */
const juce::String& largePicturePath()
{
    static const juce::String path = []
    {
        constexpr int side = 4096;
        juce::Image picture (juce::Image::RGB, side, side, false);
        juce::Random random (3);

        {
            const juce::Image::BitmapData pixels (picture, juce::Image::BitmapData::writeOnly);

            for (int y = 0; y < side; ++y)
                for (int x = 0; x < side; ++x)
                    pixels.setPixelColour (x,
                                           y,
                                           juce::Colour ((juce::uint8) (x / 16),
                                                         (juce::uint8) (y / 16),
                                                         (juce::uint8) ((x ^ y) + random.nextInt (32))));
        }

        const auto file = juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile ("large.png");
        file.deleteFile();
        juce::FileOutputStream out (file);
        juce::PNGImageFormat().writeImageToStream (picture, out);
        return file.getFullPathName();
    }();

    return path;
}

void deletePictureCopies (const OstrelAudioProcessor& processor)
{
    for (const auto& copy :
         juce::File (processor.getFilePath ({})).findChildFiles (juce::File::findFiles, false, "*.png"))
        copy.deleteFile();
}
} // namespace

// The first save after a picture is loaded: the state and the picture's copy in the documents folder.
static void BM_StateSaveFirstWithLargePicture (benchmark::State& state)
{
    OstrelAudioProcessor processor;

    for (auto _ : state)
    {
        state.PauseTiming();
        deletePictureCopies (processor);
        processor.loadFile (largePicturePath(), false);
        state.ResumeTiming();

        juce::MemoryBlock block;
        processor.getStateInformation (block);
        benchmark::DoNotOptimize (block.getData());
    }
}
BENCHMARK (BM_StateSaveFirstWithLargePicture)->Iterations (3)->Unit (benchmark::kMillisecond);

// Hosts save the state again and again (autosave) while the picture stays the same.
static void BM_StateSaveLaterWithLargePicture (benchmark::State& state)
{
    OstrelAudioProcessor processor;
    processor.loadFile (largePicturePath(), false);

    juce::MemoryBlock first;
    processor.getStateInformation (first);

    for (auto _ : state)
    {
        juce::MemoryBlock block;
        processor.getStateInformation (block);
        benchmark::DoNotOptimize (block.getData());
    }
}
BENCHMARK (BM_StateSaveLaterWithLargePicture)->Unit (benchmark::kMillisecond);
