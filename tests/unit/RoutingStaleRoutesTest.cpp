#include "RoutingStateFixtures.h"

using namespace routing_fixtures;

namespace
{
juce::Array<juce::var> programsWithAndWithoutModulation()
{
    return { presetObject ("Plain", { { "Attack", 5.0 } }),
             presetObject ("Routed",
                           { { "Mod_Vel_Gain", 0.5 }, { "Mod_Env1_Zoom", -0.3 }, { "Mod_Rand_Gain", 0.1 } }) };
}

/** A processor whose tables hold LFO, envelope and MIDI routes, booked as the grids do. */
void bookSomeRoutes (OstrelAudioProcessor& processor)
{
    setAndBookCell (processor, ModType::LFO, 4, 0, 0.6f);  // Freq
    setAndBookCell (processor, ModType::Env, 22, 2, 0.4f); // Gain
    setAndBookCell (processor, ModType::Midi, 22, 1, -0.7f);
    setAndBookCell (processor, ModType::Midi, 22, 3, 0.2f);
}
} // namespace

TEST (StaleRoutes, ProgramWithoutModulationClearsEveryRoute)
{
    writePresetsFile (presetsText (programsWithAndWithoutModulation()));
    OstrelAudioProcessor processor;
    RecordingModulationListener gainControl;
    processor.addModulationListener ("Gain", &gainControl);
    bookSomeRoutes (processor);

    processor.setCurrentProgram (1);

    expectTablesMatchParameters (processor);
    EXPECT_TRUE (modulatedIds (processor).empty());
    EXPECT_TRUE (processor.midiModulations[22].empty()) << "old MIDI routes must not keep modulating";
    EXPECT_TRUE (gainControl.lastWasNaN());
    processor.removeModulationListener ("Gain", &gainControl);
}

TEST (StaleRoutes, ProgramWithModulationReplacesTheRoutesExactly)
{
    writePresetsFile (presetsText (programsWithAndWithoutModulation()));
    OstrelAudioProcessor processor;
    bookSomeRoutes (processor);

    processor.setCurrentProgram (2);

    expectTablesMatchParameters (processor);
    EXPECT_EQ (modulatedIds (processor), std::vector<juce::String>{ "Zoom" });
    ASSERT_EQ (processor.midiModulations[22].size(), 2u);
    EXPECT_EQ (processor.midiModulations[22][0].source, 3) << "a route that stays keeps its place, changed in place";
    EXPECT_FLOAT_EQ (processor.midiModulations[22][0].amount, 0.1f);
    EXPECT_EQ (processor.midiModulations[22][1].source, 0) << "a new route comes after it";
}

TEST (StaleRoutes, StateWithoutModulationClearsEveryRoute)
{
    OstrelAudioProcessor plain;
    const auto state = stateOf (plain);

    OstrelAudioProcessor processor;
    bookSomeRoutes (processor);
    // Host automation while no editor is open: parameters change but nothing is booked.
    setCell (processor, ModType::Env, 30, 1, 0.9f);
    setCell (processor, ModType::LFO, 4, 0, 0.0f);

    restore (processor, state);
    expectTablesMatchParameters (processor);
    EXPECT_TRUE (modulatedIds (processor).empty());
}

TEST (StaleRoutes, RestoreIntoFreshProcessorBooksTheNonZeroCells)
{
    OstrelAudioProcessor source;
    setCell (source, ModType::LFO, 10, 1, 0.4f);
    setCell (source, ModType::Midi, 3, 2, -0.6f);
    setCell (source, ModType::Midi, 3, 0, 0.3f);
    const auto state = stateOf (source);

    OstrelAudioProcessor processor;
    RecordingSelectListener selects;
    processor.addModulationChangeListener (&selects);
    restore (processor, state);

    EXPECT_EQ (modulatedIds (processor), std::vector<juce::String>{ processor.modulationTargetIds[10] });
    EXPECT_EQ (selects.indices, (std::vector<int>{ 1, 8, 10 }));
    ASSERT_EQ (processor.midiModulations[3].size(), 2u);
    EXPECT_EQ (processor.midiModulations[3][0].source, 0) << "cells are booked in matrix order";
    expectTablesMatchParameters (processor);
    processor.removeModulationChangeListener (&selects);
}

TEST (StaleRoutes, AllZeroStateIntoFreshProcessorTellsNobody)
{
    OstrelAudioProcessor plain;
    const auto state = stateOf (plain);

    OstrelAudioProcessor processor;
    RecordingSelectListener selects;
    processor.addModulationChangeListener (&selects);
    restore (processor, state);

    EXPECT_TRUE (selects.indices.empty());
    expectTablesMatchParameters (processor);
    processor.removeModulationChangeListener (&selects);
}
