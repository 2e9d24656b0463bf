#include "ProcessorHarness.h"
#include "RoutingStateFixtures.h"
#include "editor/panels/GlobalSynthPanel.h"

#include <thread>

using namespace block_testing;
using namespace routing_fixtures;

// The route tables follow the matrix parameters whoever changes them, with no editor open: the host's automation
// inside the audio callback, a generic parameter editor, Reset, undo.

namespace
{
/** The message thread runs until the tables follow the parameters again. */
bool tablesFollow (OstrelAudioProcessor& processor)
{
    return testing_helpers::waitFor ([&] { return tablesDifferFromParameters (processor).empty(); }, 5000);
}

double semitonesBetween (double frequency, double reference) { return 12.0 * std::log2 (frequency / reference); }
} // namespace

TEST (RoutingFollowsParameters, AutomationInsideTheAudioCallbackIsHeardOnceTheMessageThreadRan)
{
    struct Case
    {
        const char* what;
        std::vector<std::pair<const char*, float>> settings;
        const char* cell;
        float amount;
        double semitones; // the amount times the tune's range (24) times the source's value
    };

    const Case cases[] = {
        { "velocity 127 to the second oscillator's tune", {}, "Mod_Vel_fineTuneMain", 0.5f, 12.0 * 127.0 / 128.0 },
        { "a slow square LFO, high for its first 50 s, to the tune",
          { { "LFOType1", 2.0f }, { "LFORate1", 0.01f }, { "LFOAmount1", 1.0f } },
          "Mod_LFO1_fineTuneMain",
          0.25f,
          6.0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        ProcessorHarness host;
        auto& processor = *host.processor;
        useSecondOscillatorOnly (host);
        for (const auto& [id, value] : c.settings)
            host.set (id, value);

        const auto base =
            testing_helpers::zeroCrossingFrequency (host.run (8192, { noteOn (0, 81, 127) }), host.sampleRate, 2048);
        ASSERT_GT (base, 150.0);

        testing_helpers::onOwnThread (
            [&]
            {
                host.set (c.cell, c.amount);
                host.process (host.blockSize);
            });
        EXPECT_FALSE (tablesDifferFromParameters (processor).empty()) << "booked on the message thread only";
        ASSERT_TRUE (tablesFollow (processor));

        std::vector<float> modulated;
        testing_helpers::onOwnThread ([&] { modulated = host.run (8 * host.blockSize); });
        EXPECT_NEAR (semitonesBetween (testing_helpers::zeroCrossingFrequency (modulated, host.sampleRate, 256), base),
                     c.semitones,
                     0.05);

        testing_helpers::onOwnThread (
            [&]
            {
                host.set (c.cell, 0.0f);
                host.process (host.blockSize);
            });
        ASSERT_TRUE (tablesFollow (processor));
        EXPECT_TRUE (noRouteLeft (processor));

        std::vector<float> plain;
        testing_helpers::onOwnThread ([&] { plain = host.run (8 * host.blockSize); });
        EXPECT_NEAR (semitonesBetween (testing_helpers::zeroCrossingFrequency (plain, host.sampleRate, 256), base),
                     0.0,
                     0.05);
    }
}

TEST (RoutingFollowsParameters, EveryWayOfSettingACellIsBooked)
{
    using SetRaw = std::function<void (OstrelAudioProcessor&, const juce::String&, float)>;
    const std::pair<const char*, SetRaw> ways[] = {
        { "setValueNotifyingHost", testing_helpers::setRaw },
        { "setValue, then the listeners told",
          [] (OstrelAudioProcessor& processor, const juce::String& id, float raw)
          {
              auto* parameter = processor.valueTreeState.getParameter (id);
              const auto normalised = parameter->convertTo0to1 (raw);
              parameter->setValue (normalised);
              parameter->sendValueChangedMessageToListeners (normalised);
          } },
        { "the state tree's property",
          [] (OstrelAudioProcessor& processor, const juce::String& id, float raw)
          { processor.valueTreeState.getParameterAsValue (id) = raw; } },
    };

    const char* cells[] = { "Mod_LFO2_Q", "Mod_Env3_Rotate", "Mod_Press_Attack" };

    for (const auto& [way, set] : ways)
    {
        SCOPED_TRACE (way);
        OstrelAudioProcessor processor;

        for (const auto* cell : cells)
            set (processor, cell, -0.4f);
        ASSERT_TRUE (tablesFollow (processor));
        EXPECT_EQ (modulatedIds (processor), (std::vector<juce::String>{ "Q", "Rotate" }));
        EXPECT_EQ (processor.midiModulations[(size_t) processor.parameterIndex.at ("Attack")].size(), 1u);

        for (const auto* cell : cells)
            set (processor, cell, 0.0f);
        ASSERT_TRUE (tablesFollow (processor));
        EXPECT_TRUE (noRouteLeft (processor));
    }
}

TEST (RoutingFollowsParameters, UndoingACellTakesItsRouteAway)
{
    OstrelAudioProcessor processor;
    processor.undoManager.beginNewTransaction();
    testing_helpers::setRaw (processor, "Mod_Env1_Gain", 0.7f);

    // The change reaches the undo history once the framework has written it into the state tree.
    ASSERT_TRUE (testing_helpers::waitFor ([&] { return processor.undoManager.canUndo(); }, 5000));
    ASSERT_TRUE (tablesFollow (processor));
    EXPECT_EQ (modulatedIds (processor), std::vector<juce::String>{ "Gain" });

    processor.undoManager.undo();
    EXPECT_EQ (rawValue (processor, "Mod_Env1_Gain"), 0.0f);
    ASSERT_TRUE (tablesFollow (processor));
    EXPECT_TRUE (noRouteLeft (processor));
}

TEST (RoutingFollowsParameters, ResetWithNoWindowLeavesNoRoute)
{
    OstrelAudioProcessor processor;
    for (const auto* cell : { "Mod_LFO1_Freq", "Mod_LFO4_Gain", "Mod_Env2_Gain", "Mod_Vel_Q", "Mod_Rand_Q" })
        testing_helpers::setRaw (processor, cell, 0.3f);
    ASSERT_TRUE (tablesFollow (processor));
    ASSERT_FALSE (noRouteLeft (processor));

    GlobalSynthPanel::resetAllParameters (processor); // what the window's Reset does
    ASSERT_TRUE (tablesFollow (processor));
    EXPECT_TRUE (noRouteLeft (processor));
    EXPECT_EQ (processor.publishedRoutes.latest().numModulatedTargets, 0);
}

TEST (RoutingFollowsParameters, ACellSetToTheValueItHoldsTellsNobody)
{
    OstrelAudioProcessor processor;
    RecordingSelectListener selects;
    processor.addModulationChangeListener (&selects);

    testing_helpers::setRaw (processor, "Mod_LFO2_Q", 0.4f);
    testing_helpers::setRaw (processor, "Mod_Vel_Q", 0.0f); // the value it has
    processor.messageThreadJobs.runMarkedJobs();
    EXPECT_EQ (selects.indices, (std::vector<int>{ 1 }));

    // Reset announces every parameter, nearly all of them at the value they hold.
    selects.indices.clear();
    GlobalSynthPanel::resetAllParameters (processor);
    processor.messageThreadJobs.runMarkedJobs();
    EXPECT_EQ (selects.indices, (std::vector<int>{ 1 })) << "only the source whose route went";
    expectTablesMatchParameters (processor);

    processor.removeModulationChangeListener (&selects);
}
