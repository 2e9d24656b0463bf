#include "ProcessorHarness.h"

#include "processor/sound/Downsampler.h"

#include <cstring>

// The down path must give the framework's oversampler's samples exactly, block after block, for every factor.
TEST (Downsampler, GivesTheFrameworksDownPathBitForBit)
{
    constexpr int maximumBlock = 512;
    const int blockLengths[] = { 512, 1, 17, 300, 512, 2, 511, 64 };

    for (int run = 0; run < 6; ++run)
    {
        const auto stages = 1 + run % 3;
        const auto wide = run >= 3;
        if (wide && !Downsampler::canUseWideVectors())
            continue;

        SCOPED_TRACE ("factor " + juce::String (1 << stages) + (wide ? ", 256-bit vectors" : ", plain"));
        juce::dsp::Oversampling<float> framework (2,
                                                  (size_t) stages,
                                                  juce::dsp::Oversampling<float>::filterHalfBandFIREquiripple,
                                                  true,
                                                  true);
        framework.initProcessing (maximumBlock);
        Downsampler downsampler (stages);
        downsampler.prepare (maximumBlock);
        downsampler.useWideVectors (wide);

        EXPECT_EQ (downsampler.getFactor(), (int) framework.getOversamplingFactor());
        EXPECT_EQ (downsampler.getLatencyInSamples(), framework.getLatencyInSamples());

        juce::Random random (stages);
        juce::AudioBuffer<float> expected (2, maximumBlock), actual (2, maximumBlock);
        std::vector<float> input ((size_t) (maximumBlock << stages));

        for (const auto length : blockLengths)
        {
            auto hostBlock = juce::dsp::AudioBlock<float> (expected).getSubBlock (0, (size_t) length);
            auto oversampled = framework.processSamplesUp (hostBlock);
            ASSERT_EQ ((int) oversampled.getNumSamples(), length << stages);

            for (int channel = 0; channel < 2; ++channel)
            {
                // Loud and quiet passages, so that both the taps and the latency delay show.
                for (auto& sample : input)
                    sample = (random.nextFloat() * 2.0f - 1.0f) * (channel == 0 ? 1.0f : 1.0e-3f);

                std::copy (input.begin(),
                           input.begin() + (length << stages),
                           oversampled.getChannelPointer ((size_t) channel));
                downsampler.process (channel, input.data(), actual.getWritePointer (channel), length);
            }

            framework.processSamplesDown (hostBlock);

            for (int channel = 0; channel < 2; ++channel)
                EXPECT_EQ (std::memcmp (expected.getReadPointer (channel),
                                        actual.getReadPointer (channel),
                                        sizeof (float) * (size_t) length),
                           0)
                    << "block of " << length << ", channel " << channel;
        }
    }
}

// A channel separated from the other goes on exactly as the other would have.
TEST (Downsampler, ASeparatedChannelContinuesFromTheOthersState)
{
    Downsampler downsampler (2);
    downsampler.prepare (64);
    Downsampler reference (2);
    reference.prepare (64);

    std::vector<float> input (256);
    juce::Random random (7);
    std::vector<float> a (64), b (64);

    for (int block = 0; block < 3; ++block)
    {
        for (auto& sample : input)
            sample = random.nextFloat() - 0.5f;

        downsampler.process (0, input.data(), a.data(), 64);
        reference.process (0, input.data(), b.data(), 64);
    }

    EXPECT_TRUE (downsampler.channelsMatch());
    downsampler.separateChannels();
    EXPECT_FALSE (downsampler.channelsMatch());

    for (auto& sample : input)
        sample = random.nextFloat() - 0.5f;

    downsampler.process (1, input.data(), a.data(), 64);
    reference.process (0, input.data(), b.data(), 64);
    EXPECT_EQ (a, b);

    downsampler.reset();
    EXPECT_TRUE (downsampler.channelsMatch());
}

// The processor's output path, block by block, against the framework's filter and oversampler fed with the
// voices' samples: both channels alike, and after a one-channel block each channel going on from its own state
// (each channel here has an oversampler of its own, which only a block with that channel advances).
TEST (Downsampler, TheOutputPathIsTheFrameworksWhateverTheChannelCount)
{
    constexpr int blockSize = 256;
    block_testing::ProcessorHarness host (48000.0, blockSize, 2);
    auto& processor = *host.processor;
    host.set ("Gain", -6.0f); // a gain of exactly 1: the buffer is left as the filters made it
    host.set ("subBass", 0.5f);
    host.set ("OverSample", 1.0f);

    juce::dsp::IIR::Filter<float> filters[2];
    std::unique_ptr<juce::dsp::Oversampling<float>> oversamplers[2];

    for (int channel = 0; channel < 2; ++channel)
    {
        filters[channel].coefficients =
            juce::dsp::IIR::Coefficients<float>::makeLowPass (2 * 48000.0, (float) (48000.0 * 0.5 * 0.9), 0.707f);
        oversamplers[channel] = std::make_unique<juce::dsp::Oversampling<float>> (
            1,
            2,
            juce::dsp::Oversampling<float>::filterHalfBandFIREquiripple,
            true,
            true);
        oversamplers[channel]->initProcessing (blockSize);
    }

    const int channelCounts[] = { 2, 2, 1, 1, 2, 2, 2 };
    for (size_t block = 0; block < std::size (channelCounts); ++block)
    {
        const auto channels = channelCounts[block];
        juce::AudioBuffer<float> output (channels, blockSize);
        juce::MidiBuffer midi;
        if (block == 0)
            midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100), 10);

        processor.processBlock (output, midi);

        for (int channel = 0; channel < channels; ++channel)
        {
            // What the framework makes of the samples the voices rendered into the work buffer.
            juce::AudioBuffer<float> expected (1, blockSize);
            auto hostBlock = juce::dsp::AudioBlock<float> (expected);
            auto oversampled = oversamplers[channel]->processSamplesUp (hostBlock);
            const auto* work = processor.oversampledBuffer.getReadPointer (0);
            std::copy (work, work + 4 * blockSize, oversampled.getChannelPointer (0));
            filters[channel].process (juce::dsp::ProcessContextReplacing<float> (oversampled));
            oversamplers[channel]->processSamplesDown (hostBlock);

            EXPECT_EQ (
                std::memcmp (output.getReadPointer (channel), expected.getReadPointer (0), sizeof (float) * blockSize),
                0)
                << "block " << block << ", channel " << channel << " of " << channels;
        }
    }
}
