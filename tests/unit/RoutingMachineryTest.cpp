#include "ProcessorSupport.h"
#include "processor/PluginProcessor.h"
#include "processor/modulation/MatrixCellWatch.h"
#include "processor/modulation/PublishedRoutes.h"

#include <gtest/gtest.h>
#include <thread>
#include <tuple>

TEST (PublishedRoutes, TheAudioSideKeepsItsRoutesUntilItTakesNewerOnes)
{
    const std::unordered_map<juce::String, int> parameterIndex{ { "Gain", 2 }, { "Q", 5 } };
    std::vector<std::vector<MidiModulation>> midiRoutes (numModulationTargets);
    midiRoutes[5] = { { 0.5f, 1 }, { -0.2f, 0 } };

    PublishedRoutes routes;
    routes.publish ({ "Q", "NotATarget", "Gain" }, parameterIndex, midiRoutes);
    EXPECT_TRUE (routes.hasFresh());

    const auto& first = routes.latest();
    EXPECT_FALSE (routes.hasFresh());
    ASSERT_EQ (first.numModulatedTargets, 2) << "an ID with no row is left out";
    EXPECT_EQ (first.modulatedTargets[0], 5);
    EXPECT_EQ (first.modulatedTargets[1], 2);
    ASSERT_EQ (first.numMidiRoutes[5], 2);
    EXPECT_EQ (first.midiRoutes[5][0].amount, 0.5f);
    EXPECT_EQ (first.midiRoutes[5][0].source, 1);
    EXPECT_EQ (first.midiRoutes[5][1].amount, -0.2f);
    EXPECT_EQ (first.midiRoutes[5][1].source, 0);
    EXPECT_EQ (first.numMidiRoutes[2], 0);

    // Routes published meanwhile leave the ones in use as they are, whatever the tables do after.
    midiRoutes[5].clear();
    routes.publish ({}, parameterIndex, midiRoutes);
    routes.publish ({ "Gain" }, parameterIndex, midiRoutes);
    EXPECT_TRUE (routes.hasFresh());
    EXPECT_EQ (first.numModulatedTargets, 2);
    EXPECT_EQ (first.numMidiRoutes[5], 2);

    const auto& newest = routes.latest();
    ASSERT_EQ (newest.numModulatedTargets, 1);
    EXPECT_EQ (newest.modulatedTargets[0], 2);
    EXPECT_EQ (newest.numMidiRoutes[5], 0);
}

// The processor only lends its parameter tree here: the watch has a job list of its own, which the test runs.
TEST (MatrixCellWatch, CellsSetOnAnotherThreadAreBookedOnceEachInCellOrderWithTheirCurrentValue)
{
    OstrelAudioProcessor processor;
    MessageThreadJobs jobs;
    std::vector<std::tuple<ModType, int, int, float>> booked;

    MatrixCellWatch watch (processor.valueTreeState, jobs);
    watch.start ({ &processor.lfoMatrixConfigs, &processor.envMatrixConfigs, &processor.midiMatrixConfigs },
                 [&] (ModType type, int row, int column, float value)
                 { booked.emplace_back (type, row, column, value); });

    const auto& midiCell = processor.midiMatrixConfigs[3 * 4 + 1];
    const auto& lfoCell = processor.lfoMatrixConfigs[5 * 4 + 2];
    const auto& envCell = processor.envMatrixConfigs[0];

    std::thread host (
        [&]
        {
            testing_helpers::setRaw (processor, midiCell.paramID, 0.5f);
            testing_helpers::setRaw (processor, lfoCell.paramID, 0.3f);
            testing_helpers::setRaw (processor, envCell.paramID, -0.5f);
            testing_helpers::setRaw (processor, lfoCell.paramID, 0.7f);
        });
    host.join();

    ASSERT_TRUE (jobs.isMarked (0)) << "a change asks the message thread for the booking";
    EXPECT_TRUE (booked.empty()) << "nothing is booked on the changing thread";

    jobs.runMarkedJobs();
    const std::vector<std::tuple<ModType, int, int, float>> expected{ { ModType::LFO, 5, 2, lfoCell.raw() },
                                                                      { ModType::Env, 0, 0, envCell.raw() },
                                                                      { ModType::Midi, 3, 1, midiCell.raw() } };
    EXPECT_EQ (booked, expected);
    EXPECT_NE (lfoCell.raw(), 0.0f);

    booked.clear();
    jobs.runMarkedJobs();
    EXPECT_TRUE (booked.empty()) << "a booked cell stays booked until it changes again";

    watch.stop();
    testing_helpers::setRaw (processor, lfoCell.paramID, 0.0f);
    EXPECT_FALSE (jobs.isMarked (0)) << "a stopped watch marks nothing";
    watch.stop();
}
