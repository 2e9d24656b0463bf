#include "TestHelpers.h"

#include "processor/Downsampler.h"

#include <cstring>

// The down path must give the framework's oversampler's samples exactly, block after block, for every factor.
TEST (Downsampler, GivesTheFrameworksDownPathBitForBit)
{
    constexpr int maximumBlock = 512;
    const int blockLengths[] = { 512, 1, 17, 300, 512, 2, 511, 64 };

    for (int stages = 1; stages <= 3; ++stages)
    {
        SCOPED_TRACE ("factor " + juce::String (1 << stages));
        juce::dsp::Oversampling<float> framework (2,
                                                  (size_t) stages,
                                                  juce::dsp::Oversampling<float>::filterHalfBandFIREquiripple,
                                                  true,
                                                  true);
        framework.initProcessing (maximumBlock);
        Downsampler downsampler (stages);
        downsampler.prepare (maximumBlock);

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
