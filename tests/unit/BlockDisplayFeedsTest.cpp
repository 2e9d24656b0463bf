#include "ProcessorHarness.h"

using namespace block_testing;

namespace
{
std::vector<float> scope (OstrelAudioProcessor& processor)
{
    std::vector<float> samples (OstrelAudioProcessor::scopeSize);
    processor.scopeBuffer.read (samples.data());
    return samples;
}
} // namespace

TEST (BlockDisplayFeeds, SilenceGivesZeroFeeds)
{
    ProcessorHarness host;
    const auto samples = host.run (2048);

    EXPECT_EQ (peak (samples), 0.0f);
    EXPECT_EQ (peak (scope (*host.processor)), 0.0f);
    ASSERT_TRUE (host.processor->spectrumBlockReady.load());
    EXPECT_EQ (peak ({ host.processor->spectrumFftData, host.processor->spectrumFftData + 2048 }), 0.0f);
}

TEST (BlockDisplayFeeds, ScopeHoldsTheLast1024SamplesTimesThreeOldestFirst)
{
    ProcessorHarness host;
    useSecondOscillatorOnly (host, 1);
    host.set ("Gain", -6.0f); // unity, so the output is the signal the feeds see

    // The ring is copied each time it has been filled once more: after 2048 samples it holds 1023..2046.
    const auto samples = host.run (2048, { noteOn (0, 60) });
    const auto shown = scope (*host.processor);

    for (int i = 0; i < 1024; ++i)
        ASSERT_FLOAT_EQ (shown[(size_t) i], 3.0f * samples[(size_t) (1023 + i)]) << "index " << i;
    EXPECT_GT (peak (shown), 0.0f);
}

TEST (BlockDisplayFeeds, SpectrumIsHandedOverOnlyWhileTheFlagIsClear)
{
    ProcessorHarness host;
    useSecondOscillatorOnly (host, 1);
    auto& processor = *host.processor;

    // The editor still holds the last block: nothing is written however long the audio runs.
    processor.spectrumBlockReady.store (true);
    std::fill (processor.spectrumFftData, processor.spectrumFftData + 2048, 7.0f);
    host.run (4096, { noteOn (0, 60) });

    for (auto value : processor.spectrumFftData)
        ASSERT_EQ (value, 7.0f);

    // Once cleared, the next 1024 collected samples arrive, followed by zeros.
    processor.spectrumBlockReady.store (false);
    host.run (2048);

    ASSERT_TRUE (processor.spectrumBlockReady.load());
    EXPECT_GT (peak ({ processor.spectrumFftData, processor.spectrumFftData + 1024 }), 0.0f);
    EXPECT_LT (peak ({ processor.spectrumFftData, processor.spectrumFftData + 1024 }), 7.0f);
    EXPECT_EQ (peak ({ processor.spectrumFftData + 1024, processor.spectrumFftData + 2048 }), 0.0f);
}

TEST (BlockDisplayFeeds, WaveformShowsWavetableZeroAfterTheBlocksRefill)
{
    ProcessorHarness host;
    auto& table = host.processor->wavetableBuffers[0];
    for (int k = 0; k < 512; ++k)
        table.setSample (0, k, (float) k / 512.0f - 0.5f);

    host.process (512);

    std::vector<float> shown (512);
    host.processor->waveDisplayBuffer.read (shown.data());
    for (int k = 0; k < 512; ++k)
        ASSERT_EQ (shown[(size_t) k], table.getSample (0, k)) << "point " << k;
}
