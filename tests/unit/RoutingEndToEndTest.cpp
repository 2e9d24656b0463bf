#include "ProcessorHarness.h"
#include "RoutingStateFixtures.h"

using namespace block_testing;
using namespace routing_fixtures;

// Routes booked as the grids and a restore book them reach the audio blocks, and leave them again.

TEST (RoutingEndToEnd, BookedMidiRouteModulatesUntilItsCellIsZero)
{
    ProcessorHarness host;
    auto& processor = *host.processor;
    auto& glide = processor.globalSynthConfigs[GlobalIndex::glide];
    RecordingModulationListener control;
    processor.addModulationListener ("Glide", &control);

    setAndBookCell (processor, ModType::Midi, processor.parameterIndex.at ("Glide"), 2, 0.5f);
    host.process (64, { controller (0, 1, 64) });
    host.process (64);
    const auto modulated = processor.midiSourceValues[2] * 0.5f * 100.0f;
    ASSERT_GT (modulated, 0.0f);
    EXPECT_FLOAT_EQ (glide.currentValue, modulated);
    EXPECT_FLOAT_EQ (control.values.back(), modulated);

    setAndBookCell (processor, ModType::Midi, processor.parameterIndex.at ("Glide"), 2, 0.0f);
    const auto calls = control.values.size();
    host.process (64);
    EXPECT_EQ (glide.currentValue, 0.0f);
    EXPECT_EQ (control.values.size(), calls) << "an unrouted target's control is not told";

    processor.removeModulationListener ("Glide", &control);
}

TEST (RoutingEndToEnd, LfoRouteEndsWithNaNAndTheRawValue)
{
    ProcessorHarness host;
    auto& processor = *host.processor;
    auto& decay = processor.adsrVoiceConfigs[AdsrIndex::decay];
    RecordingModulationListener control;
    processor.addModulationListener ("Decay", &control);

    host.set ("LFOAmount1", 1.0f);
    host.set ("LFORate1", 5.0f);
    setAndBookCell (processor, ModType::LFO, processor.parameterIndex.at ("Decay"), 0, 0.25f);
    host.run (4096);
    EXPECT_NE (decay.currentValue, decay.raw());
    EXPECT_GT (control.values.size(), 1u);

    setAndBookCell (processor, ModType::LFO, processor.parameterIndex.at ("Decay"), 0, 0.0f);
    EXPECT_TRUE (control.lastWasNaN());
    host.run (1024);
    EXPECT_TRUE (control.lastWasNaN()) << "no block tells it a value afterwards";
    EXPECT_EQ (decay.currentValue, decay.raw());

    processor.removeModulationListener ("Decay", &control);
}

TEST (RoutingEndToEnd, ProgramWithoutModulationStopsOldRoutesInTheBlocks)
{
    writePresetsFile (presetsText ({ presetObject ("Plain", { { "Glide", 10.0 }, { "Decay", 20.0 } }) }));
    ProcessorHarness host;
    auto& processor = *host.processor;

    setAndBookCell (processor, ModType::Midi, processor.parameterIndex.at ("Glide"), 2, 0.5f);
    host.process (64, { controller (0, 1, 127) });

    processor.setCurrentProgram (1);
    host.process (64);
    EXPECT_FLOAT_EQ (processor.globalSynthConfigs[GlobalIndex::glide].currentValue, 10.0f);
}

TEST (RoutingEndToEnd, BlocksRunWhileRoutesListenersAndStateChange)
{
    ProcessorHarness host (48000.0, 64);
    auto& processor = *host.processor;
    const auto restored = stateOf (processor);
    std::atomic<bool> done{ false };

    std::thread audio (
        [&]
        {
            while (!done.load())
                host.process (64, { controller (0, 1, 100) });
        });

    RecordingModulationListener controls[3];
    juce::Random random (7);

    for (int i = 0; i < 400; ++i)
    {
        const auto row = random.nextInt (6);
        const auto value = random.nextBool() ? 0.0f : random.nextFloat() - 0.5f;
        setAndBookCell (processor, static_cast<ModType> (random.nextInt (3)), row, random.nextInt (4), value);

        auto* control = &controls[random.nextInt (3)];
        const auto& id = processor.modulationTargetIds[random.nextInt (6)];
        if (random.nextBool())
            processor.addModulationListener (id, control);
        else
            processor.removeModulationListener (id, control);

        if (i % 100 == 99)
            restore (processor, restored);
    }

    // Controls go away only after they removed themselves, as a knob's destructor does.
    for (auto& control : controls)
        for (const auto& id : processor.modulationTargetIds)
            processor.removeModulationListener (id, &control);

    done = true;
    audio.join();

    EXPECT_TRUE (processor.modulationListeners.empty());
}
