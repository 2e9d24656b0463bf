#pragma once

#include "ProcessorSupport.h"
#include "SignalMeasures.h"
#include "TestPlayHead.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace block_testing
{
using testing_helpers::fillGridWithPattern;
using testing_helpers::peak;
using testing_helpers::TestPlayHead;
using testing_helpers::zeroCrossingFrequency;

/** One MIDI event of a block: sample position and message. */
struct Event
{
    int position;
    juce::MidiMessage message;
};

inline Event noteOn (int position, int note, int velocity = 100)
{
    return { position, juce::MidiMessage::noteOn (1, note, (juce::uint8) velocity) };
}

inline Event noteOff (int position, int note) { return { position, juce::MidiMessage::noteOff (1, note) }; }

inline Event controller (int position, int number, int value)
{
    return { position, juce::MidiMessage::controllerEvent (1, number, value) };
}

/** Drives one processor the way a host does: rate and block size, prepareToPlay, a play head, MIDI
    at chosen positions. The processor is larger than a mebibyte, so it lives on the heap. */
class ProcessorHarness
{
public:
    explicit ProcessorHarness (double rate = 48000.0, int maximumBlockSize = 512, int outputChannels = 2) :
        processor (std::make_unique<OstrelAudioProcessor>()),
        sampleRate (rate),
        blockSize (maximumBlockSize),
        channels (outputChannels)
    {
        processor->setPlayConfigDetails (0, channels, sampleRate, blockSize);
        processor->prepareToPlay (sampleRate, blockSize);
        processor->setPlayHead (&playHead);
        midi.ensureSize (4096);
    }

    ~ProcessorHarness() { processor->setPlayHead (nullptr); }

    /** Sets a parameter to a raw value the way a host's automation does. */
    void set (const juce::String& paramID, float raw) { testing_helpers::setRaw (*processor, paramID, raw); }

    /** The raw value a parameter holds now. */
    float raw (const juce::String& paramID) const
    {
        return processor->valueTreeState.getRawParameterValue (paramID)->load();
    }

    /** One block of numSamples with the given events; returns the output. */
    const juce::AudioBuffer<float>& process (int numSamples, const std::vector<Event>& events = {})
    {
        output.setSize (channels, numSamples, false, false, true);
        output.clear();
        midi.clear();
        for (const auto& event : events)
            midi.addEvent (event.message, event.position);

        processor->processBlock (output, midi);
        return output;
    }

    /** Runs numSamples in blocks of the prepared size and returns channel 0 of all of them. */
    std::vector<float> run (int numSamples, const std::vector<Event>& firstBlockEvents = {})
    {
        std::vector<float> samples;
        samples.reserve ((size_t) numSamples);

        for (int done = 0; done < numSamples; done += blockSize)
        {
            const auto n = std::min (blockSize, numSamples - done);
            const auto& block = process (n, done == 0 ? firstBlockEvents : std::vector<Event>{});
            samples.insert (samples.end(), block.getReadPointer (0), block.getReadPointer (0) + n);
        }

        return samples;
    }

    Voice& voice (int index) { return processor->synth.voices[(size_t) index]; }

    std::unique_ptr<OstrelAudioProcessor> processor;
    TestPlayHead playHead;
    double sampleRate;
    int blockSize;
    int channels;
    juce::AudioBuffer<float> output;
    juce::MidiBuffer midi;
};

/** Makes the second oscillator the only sound: the picture tables stay silent without a picture. */
inline void useSecondOscillatorOnly (ProcessorHarness& host, int shape = 0)
{
    host.set ("subBass", 0.5f);
    host.set ("subBassOc", 0.0f); // "-1": the second oscillator at the note's own pitch
    host.set ("2OscType", (float) shape);
    host.set ("Q", 0.0f);
}
} // namespace block_testing
