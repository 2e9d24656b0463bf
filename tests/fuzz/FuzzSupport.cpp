#include "FuzzSupport.h"
#include "TemporaryHome.h"
#include "TestPlayHead.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace
{
constexpr int blockSize = 32;

/** Set up once, before the first input; taken down when the run ends normally, before the statics it uses. */
struct FuzzingWorld
{
    FuzzingWorld()
    {
        framework = new juce::ScopedJuceInitialiser_GUI();
        processor = new OstrelAudioProcessor();
        processor->setPlayConfigDetails (0, 2, 48000.0, blockSize);
        processor->prepareToPlay (48000.0, blockSize);
        processor->setPlayHead (&playHead);
    }

    void takeDown()
    {
        processor->setPlayHead (nullptr);
        delete processor;
        delete framework;
    }

    juce::ScopedJuceInitialiser_GUI* framework = nullptr;
    OstrelAudioProcessor* processor = nullptr;
    testing_helpers::TestPlayHead playHead; // 120 BPM
    juce::AudioBuffer<float> buffer{ 2, blockSize };
    juce::MidiBuffer midi;
    int inputs = 0;
};

FuzzingWorld& world()
{
    // Before the framework starts: the run must never see a real user's documents folder.
    static const TemporaryHome home ("ostrel-fuzz");
    if (!home.isValid())
        std::abort();

    static auto* instance = []
    {
        auto* created = new FuzzingWorld();
        std::atexit ([] { world().takeDown(); });
        return created;
    }();

    return *instance;
}
} // namespace

namespace fuzzing
{
OstrelAudioProcessor& processor() { return *world().processor; }

void renderAndCheck (OstrelAudioProcessor& processor)
{
    auto& w = world();

    for (int block = 0; block < 2; ++block)
    {
        w.midi.clear();
        if (block == 0)
        {
            w.midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100), 0);
            w.midi.addEvent (juce::MidiMessage::noteOn (1, 67, (juce::uint8) 127), 9);
        }
        else
        {
            w.midi.addEvent (juce::MidiMessage::noteOff (1, 60), 3);
            w.midi.addEvent (juce::MidiMessage::noteOff (1, 67), 3);
        }

        processor.processBlock (w.buffer, w.midi);

        for (int channel = 0; channel < w.buffer.getNumChannels(); ++channel)
            for (int i = 0; i < w.buffer.getNumSamples(); ++i)
                if (!std::isfinite (w.buffer.getSample (channel, i)))
                {
                    std::fprintf (stderr, "Output sample %d of channel %d is not finite\n", i, channel);
                    std::abort();
                }
    }

    // Now and then the message loop runs, as it does between a host's calls.
    if (++w.inputs % 64 == 0)
        juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
}
} // namespace fuzzing

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    world();
    return 0;
}
