#include "processor/modulation/PublishedRoutes.h"

#include <gtest/gtest.h>

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
