#include "processor/sound/OutputLowPass.h"
#include "processor/BitPatterns.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
/** The processor's side of the low-pass: its filters and the rate and cut-off they were designed for. */
struct Design
{
    juce::dsp::IIR::Filter<float> filters[2];
    double rate = 0.0;
    float cutoff = 0.0f;
};

std::vector<float> noise (int length, int seed)
{
    juce::Random random (seed);
    std::vector<float> samples ((size_t) length);
    for (auto& sample : samples)
        sample = random.nextFloat() * 2.0f - 1.0f;
    return samples;
}

/** Runs channel's state over samples in place, piece by piece as the processor does. */
void runPiece (OutputLowPass& lowPass, int channel, std::vector<float>& samples)
{
    auto filter = lowPass.filterFor (channel);
    filter.process (samples.data(), samples.data(), (int) samples.size());
    lowPass.keepState (channel, filter);
}

/** filter carries the framework's low-pass for rate and cutoff. */
void expectFrameworksDesign (const OutputFilter& filter, double rate, float cutoff)
{
    const auto expected = juce::dsp::IIR::Coefficients<float>::makeLowPass (rate, cutoff, 0.707f);
    const float coefficients[] = { filter.b0, filter.b1, filter.b2, filter.a1, filter.a2 };
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ (coefficients[i], expected->getRawCoefficients()[i]) << "coefficient " << i << " at " << rate;
}
} // namespace

// Piece after piece the samples are the framework's filter's own, bit for bit: through noise in pieces of many
// lengths, and through silence in short pieces, across which the state dies away until the framework snaps it to
// zero at the end of one.
TEST (OutputLowPass, RunsAsTheFrameworksFilterPieceAfterPiece)
{
    Design design;
    OutputLowPass lowPass (design.filters, design.rate, design.cutoff);
    lowPass.prepare (48000.0, 2);

    juce::dsp::IIR::Filter<float> framework (
        juce::dsp::IIR::Coefficients<float>::makeLowPass (96000.0, 21600.0f, 0.707f));

    std::vector<int> lengths{ 64, 1, 300, 17, 512, 5 };
    lengths.insert (lengths.end(), 40, -4); // negative: that many samples of silence
    lengths.push_back (100);

    int seed = 0;
    for (const auto length : lengths)
    {
        auto expected = length > 0 ? noise (length, ++seed) : std::vector<float> ((size_t) -length, 0.0f);
        auto actual = expected;

        float* channels[] = { expected.data() };
        juce::dsp::AudioBlock<float> block (channels, 1, expected.size());
        framework.process (juce::dsp::ProcessContextReplacing<float> (block));
        runPiece (lowPass, 0, actual);

        ASSERT_TRUE (bit_patterns::sameBits (actual.data(), expected.data(), (int) actual.size()))
            << "piece of " << length;
    }
}

TEST (OutputLowPass, KeepsItsDesignAndStatesUntilTheRateChanges)
{
    Design design;
    OutputLowPass lowPass (design.filters, design.rate, design.cutoff);

    // No rate yet: no design.
    lowPass.prepare (0.0, 2);
    EXPECT_EQ (design.rate, 0.0);
    EXPECT_EQ (design.filters[1].coefficients, design.filters[0].coefficients);

    lowPass.prepare (48000.0, 2);
    EXPECT_EQ (design.rate, 96000.0);
    EXPECT_EQ (design.cutoff, 21600.0f);
    expectFrameworksDesign (lowPass.filterFor (0), 96000.0, 21600.0f);

    // Channel 0 advances alone; channel 1 parts from it with the state it had then.
    auto samples = noise (100, 1);
    runPiece (lowPass, 0, samples);
    ASSERT_TRUE (lowPass.channelsMatch());
    lowPass.separateChannels();
    EXPECT_FALSE (lowPass.channelsMatch());
    const auto parted = lowPass.filterFor (0);
    EXPECT_NE (parted.lv1, 0.0f);
    EXPECT_EQ (lowPass.filterFor (1).lv1, parted.lv1);
    EXPECT_EQ (lowPass.filterFor (1).lv2, parted.lv2);
    runPiece (lowPass, 0, samples);
    EXPECT_EQ (lowPass.filterFor (1).lv1, parted.lv1);

    // The same rate keeps everything; a new one designs again and starts both channels from rest, alike.
    const auto running = lowPass.filterFor (0);
    lowPass.update (48000.0, 2);
    EXPECT_EQ (lowPass.filterFor (0).lv1, running.lv1);
    EXPECT_FALSE (lowPass.channelsMatch());

    lowPass.update (44100.0, 2);
    EXPECT_EQ (design.rate, 88200.0);
    EXPECT_EQ (design.cutoff, (float) (44100.0 * 0.5 * 0.9));
    expectFrameworksDesign (lowPass.filterFor (0), 88200.0, (float) (44100.0 * 0.5 * 0.9));
    EXPECT_TRUE (lowPass.channelsMatch());
    for (int channel = 0; channel < 2; ++channel)
    {
        EXPECT_EQ (lowPass.filterFor (channel).lv1, 0.0f);
        EXPECT_EQ (lowPass.filterFor (channel).lv2, 0.0f);
    }
}
