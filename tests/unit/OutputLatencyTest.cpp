#include "ProcessorHarness.h"

#include <thread>

using namespace block_testing;

namespace
{
/** Host samples from a step down at the render path's input (a note cut off by a zero release while its second
    oscillator holds a steady level) to the output's crossing of half the level before the step, with the crossing
    found between two samples. A path without delay gives 0. */
double measuredOutputDelay (ProcessorHarness& host, int overSampleChoice)
{
    useSecondOscillatorOnly (host, 2); // square: half a cycle of one level at this pitch
    host.set ("Octave", 0.0f);
    host.set ("OverSample", (float) overSampleChoice);
    host.set ("Attack", 0.0f);
    host.set ("Decay", 0.0f);
    host.set ("Sustain", 1.0f);
    host.set ("Release", 0.0f);
    host.set ("AttackFilter", 0.0f);
    host.set ("DecayFilter", 0.0f);
    host.set ("SustainFilter", 1.0f);

    host.process (256, { noteOn (0, 0) });
    for (int i = 0; i < 40; ++i)
        host.process (256); // the filter envelope opens and settles

    constexpr int stepAt = 100;
    const auto& block = host.process (256, { noteOff (stepAt, 0) });
    const auto level = block.getSample (0, stepAt - 1);
    EXPECT_GT (std::abs (level), 0.05f);

    std::vector<float> samples (block.getReadPointer (0), block.getReadPointer (0) + 256);
    const auto half = std::abs (level) * 0.5f;
    for (int n = stepAt; n < 256; ++n)
    {
        const auto before = std::abs (samples[(size_t) n - 1]), after = std::abs (samples[(size_t) n]);
        if (after < half)
            return (float) (n - 1 - stepAt) + (before - half) / (before - after) + 0.5;
    }
    return -1.0;
}
} // namespace

TEST (OutputLatency, IsTheDelayOfAStepThroughTheRenderPathAndFollowsTheChoice)
{
    for (const auto choice : { 0, 1, 2 })
    {
        SCOPED_TRACE ("OverSample choice " + std::to_string (choice));
        ProcessorHarness host (48000.0, 256);
        const auto measured = measuredOutputDelay (host, choice);

        // The choice changed after the host prepared: the message thread tells the host.
        EXPECT_TRUE (
            testing_helpers::waitFor ([&] { return std::abs (host.processor->getLatencySamples() - measured) <= 2.0; },
                                      2000))
            << "reported " << host.processor->getLatencySamples() << ", measured " << measured;
    }

    // A host that prepares again is told at once.
    ProcessorHarness host;
    host.set ("OverSample", 2.0f);
    host.processor->prepareToPlay (44100.0, 128);
    EXPECT_EQ (host.processor->getLatencySamples(), OstrelAudioProcessor::outputLatencyForStage (3));
}

TEST (OutputLatency, IsMarkedForTheMessageThreadWhenTheChoiceChangesOnAnotherThread)
{
    ProcessorHarness host;
    const auto prepared = host.processor->getLatencySamples();
    EXPECT_EQ (prepared, OstrelAudioProcessor::outputLatencyForStage (2)) << "the default choice is x4";

    std::thread audio ([&] { host.set ("OverSample", 0.0f); });
    audio.join();
    EXPECT_EQ (host.processor->getLatencySamples(), prepared) << "not on the thread that changed it";
    EXPECT_TRUE (testing_helpers::waitFor (
        [&] { return host.processor->getLatencySamples() == OstrelAudioProcessor::outputLatencyForStage (1); },
        2000));
}

// Hosts read the latency once prepareToPlay returns, and many prepare on a thread of their own.
TEST (OutputLatency, IsKnownWhenAPrepareOnAHostThreadReturns)
{
    const std::pair<float, int> stages[] = { { 0.0f, 20 }, { 1.0f, 26 }, { 2.0f, 27 } };

    for (const auto& [choice, latency] : stages)
    {
        SCOPED_TRACE ("OverSample choice " + std::to_string (choice));
        const auto processor = std::make_unique<OstrelAudioProcessor>();
        testing_helpers::setRaw (*processor, "OverSample", choice);

        testing_helpers::onOwnThread ([&] { processor->prepareToPlay (48000.0, 256); });
        EXPECT_EQ (processor->getLatencySamples(), latency);
    }
}

// A host thread preparing again and again while the message thread reports changes of the choice: both write the
// framework's latency field, and the last report is of the last choice.
TEST (OutputLatency, PreparesOnAHostThreadAndReportsFromTheMessageThreadDoNotMeet)
{
    ProcessorHarness host;
    std::atomic<bool> preparing{ true };

    std::thread hostThread (
        [&]
        {
            for (int i = 0; i < 100; ++i)
                host.processor->prepareToPlay (48000.0, 256);
            preparing = false;
        });

    // The job is run here at once rather than by the message thread's timer, so that the reports keep meeting the
    // prepares.
    for (int i = 0; preparing.load(); ++i)
    {
        host.set ("OverSample", (float) (i % 3));
        host.processor->messageThreadJobs.runMarkedJobs();
    }

    hostThread.join();
    host.set ("OverSample", 2.0f);
    EXPECT_TRUE (testing_helpers::waitFor (
        [&] { return host.processor->getLatencySamples() == OstrelAudioProcessor::outputLatencyForStage (3); },
        2000));
}
