// Two instances, each on its own audio thread, as a host runs two tracks: one loads pictures while the other's state
// is restored again and again. Each instance draws its random values from its own generator and decodes its pictures
// outside every lock; the two share only the global spin locks of the pictures and the wavetables, which are held for
// swaps and refills, never for a decode. Meant for ThreadSanitizer, which must find nothing; in a plain build it still
// shows that neither instance waits for the other's decode.
#include "PictureFixtures.h"
#include "ProcessorHarness.h"

#include <array>
#include <atomic>
#include <cmath>
#include <thread>

using namespace block_testing;

namespace
{
/** Every random source at work: the voices' random cut-off LFO, a random processor LFO routed to the scanned row,
    the "Rand" MIDI source of every note-on routed to the resonance, and the noise shape of the second oscillator. */
void useEveryRandomSource (ProcessorHarness& host)
{
    host.set ("LFOType1", 4.0f);
    host.set ("LFORate1", 40.0f);
    host.set ("LFOAmount1", 1.0f);
    host.set ("Mod_LFO1_Freq", 0.5f);
    host.set ("LFOType2", 4.0f);
    host.set ("LFORate2", 30.0f);
    host.set ("LFOAmount2", 1.0f);
    host.set ("Mod_LFO2_Shift", 0.2f);
    host.set ("Mod_Rand_Q", 0.3f);
    host.set ("subBass", 0.5f);
    host.set ("2OscType", 4.0f);
    host.processor->rebookModulationMatrices();
}

/** A picture large enough that decoding and scaling it takes a long while. */
juce::Image largePicture()
{
    juce::Image picture (juce::Image::RGB, 3000, 2000, true);
    juce::Graphics g (picture);
    g.setGradientFill (
        juce::ColourGradient (juce::Colours::orange, 0.0f, 0.0f, juce::Colours::navy, 3000.0f, 2000.0f, true));
    g.fillAll();
    g.setColour (juce::Colours::white);
    for (int i = 0; i < 40; ++i)
        g.drawEllipse (juce::Rectangle<float> (60.0f * (float) i, 40.0f * (float) i, 900.0f, 700.0f), 7.0f);
    return picture;
}
} // namespace

TEST (TwoInstances, RenderOnTwoAudioThreadsWhileOneLoadsPicturesAndTheOtherRestoresState)
{
    using namespace picture_fixtures;

    const auto large = writePng ("large.png", largePicture());
    const auto small = writePng ("small.png", noisePicture (64, 48, juce::Image::RGB, 5));

    ProcessorHarness loading (48000.0, 256), restoring (48000.0, 256);
    useEveryRandomSource (loading);
    useEveryRandomSource (restoring);

    // The restored state names a picture of its own, so every restore decodes one too.
    restoring.processor->loadFile (small, false);
    juce::MemoryBlock state;
    restoring.processor->getStateInformation (state);

    std::atomic<bool> stop{ false };
    std::atomic<int> blocks[2]{ { 0 }, { 0 } };
    std::atomic<int> restores{ 0 };
    std::atomic<bool> finite[2]{ { true }, { true } };
    std::array<float, 2> peaks{};

    const auto play = [&] (int index, ProcessorHarness& host)
    {
        for (int block = 0; !stop; ++block)
        {
            // A chord struck and let go, over and over: every note-on draws "Rand".
            std::vector<Event> events;
            if (block % 8 == 0)
                events = { noteOn (0, 48), noteOn (10, 55), noteOn (20, 63) };
            else if (block % 8 == 5)
                events = { noteOff (0, 48), noteOff (10, 55), noteOff (20, 63) };

            const auto& output = host.process (256, events);

            for (int channel = 0; channel < output.getNumChannels(); ++channel)
            {
                for (int i = 0; i < output.getNumSamples(); ++i)
                {
                    const auto sample = output.getSample (channel, i);
                    if (!std::isfinite (sample))
                        finite[index] = false;
                    peaks[(size_t) index] = std::max (peaks[(size_t) index], std::abs (sample));
                }
            }

            ++blocks[index];
        }
    };

    std::thread firstAudio (play, 0, std::ref (loading));
    std::thread secondAudio (play, 1, std::ref (restoring));
    std::thread restorer (
        [&]
        {
            while (!stop)
            {
                restoring.processor->setStateInformation (state.getData(), (int) state.getSize());
                ++restores;
            }
        });

    // This thread is the loading instance's message thread.
    for (int round = 0; round < 6; ++round)
    {
        const auto bigOne = round % 2 == 0;
        const auto blocksBefore = blocks[1].load(), restoresBefore = restores.load();

        loading.processor->loadFile (bigOne ? large : small, false);

        if (bigOne)
        {
            EXPECT_GT (blocks[1].load(), blocksBefore + 2)
                << "the other instance kept rendering while this one decoded a large picture";
            EXPECT_GT (restores.load(), restoresBefore)
                << "the other instance's state was restored while this one decoded a large picture";
        }

        EXPECT_EQ (loading.processor->getImagePath(), bigOne ? large : small);
    }

    stop = true;
    firstAudio.join();
    secondAudio.join();
    restorer.join();

    for (int index = 0; index < 2; ++index)
    {
        EXPECT_TRUE (finite[index]) << "instance " << index;
        EXPECT_GT (peaks[(size_t) index], 0.001f) << "instance " << index << " sounded";
        EXPECT_GT (blocks[index].load(), 0) << "instance " << index;
    }

    // The restored state names the small picture, or the copy of it made when the state was saved.
    EXPECT_TRUE (juce::File (restoring.processor->getImagePath()).getFileName().startsWith ("small"))
        << restoring.processor->getImagePath();
}

// Rendering draws nothing from the framework's shared generator, which other instances, and the editor, use on
// other threads: each instance has its own, and seeding it makes its random sources repeat.
TEST (TwoInstances, RandomSourcesDrawFromTheirOwnInstancesGenerator)
{
    const auto render = [] (juce::int64 seed)
    {
        ProcessorHarness host (48000.0, 256);
        useEveryRandomSource (host);
        host.processor->modulationRandom.setSeed (seed);
        host.processor->synth.waveTables.random.setSeed (seed + 1);

        std::vector<float> samples;
        for (int block = 0; block < 40; ++block)
        {
            const auto& output = host.process (256,
                                               block % 10 == 0 ? std::vector<Event>{ noteOn (3, 50), noteOn (7, 57) }
                                                               : std::vector<Event>{});
            samples.insert (samples.end(), output.getReadPointer (0), output.getReadPointer (0) + 256);
        }

        return samples;
    };

    auto shared = juce::Random::getSystemRandom(); // a copy: what the shared one would give next
    const auto first = render (7);
    EXPECT_EQ (juce::Random::getSystemRandom().nextInt64(), shared.nextInt64())
        << "rendering drew from the shared generator";

    EXPECT_GT (peak (first), 0.001f);
    EXPECT_EQ (first, render (7)) << "the same seed gives the same random sources";
    EXPECT_NE (first, render (8));
}
