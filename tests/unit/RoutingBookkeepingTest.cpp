#include "RoutingStateFixtures.h"

using namespace routing_fixtures;

namespace
{
struct RoutingTest : ::testing::Test
{
    RoutingTest()
    {
        processor.addModulationChangeListener (&selects);
        processor.addModulationListener (processor.modulationTargetIds[5], &control);
    }

    ~RoutingTest() override
    {
        processor.removeModulationListener (processor.modulationTargetIds[5], &control);
        processor.removeModulationChangeListener (&selects);
    }

    std::vector<juce::String> idsOf (std::initializer_list<int> rows) const
    {
        std::vector<juce::String> ids;
        for (auto row : rows)
            ids.push_back (processor.modulationTargetIds[row]);
        return ids;
    }

    /** The routes of row as the audio thread would see them after the last change. */
    std::vector<std::pair<float, int>> publishedMidiRoutes (int row)
    {
        const auto& routes = processor.publishedRoutes.latest();
        std::vector<std::pair<float, int>> result;
        for (int i = 0; i < routes.numMidiRoutes[row]; ++i)
            result.emplace_back (routes.midiRoutes[row][i].amount, routes.midiRoutes[row][i].source);
        return result;
    }

    std::vector<int> publishedModulatedRows()
    {
        const auto& routes = processor.publishedRoutes.latest();
        return { routes.modulatedTargets, routes.modulatedTargets + routes.numModulatedTargets };
    }

    OstrelAudioProcessor processor;
    RecordingSelectListener selects;
    RecordingModulationListener control;
};

std::vector<std::pair<float, int>> routesOf (const OstrelAudioProcessor& processor, int row)
{
    std::vector<std::pair<float, int>> result;
    for (const auto& route : processor.midiModulations[(size_t) row])
        result.emplace_back (route.amount, route.source);
    return result;
}
} // namespace

TEST_F (RoutingTest, LfoCellJoinsTheModulatedTargetsOnceAndTellsEveryCall)
{
    setAndBookCell (processor, ModType::LFO, 5, 2, 0.3f);
    EXPECT_EQ (modulatedIds (processor), idsOf ({ 5 }));
    EXPECT_TRUE (processor.lfoSourcesInUse[5][2]);

    setAndBookCell (processor, ModType::LFO, 5, 2, 0.7f);
    EXPECT_EQ (modulatedIds (processor), idsOf ({ 5 }));
    EXPECT_EQ (selects.indices, (std::vector<int>{ 2, 2 }));

    setAndBookCell (processor, ModType::Env, 9, 1, -0.2f);
    EXPECT_EQ (modulatedIds (processor), idsOf ({ 5, 9 }));
    EXPECT_EQ (selects.indices.back(), 5);
    EXPECT_EQ (publishedModulatedRows(), (std::vector<int>{ 5, 9 }));
    EXPECT_TRUE (control.values.empty());
}

TEST_F (RoutingTest, TargetLeavesOnlyWhenItsLastLfoOrEnvelopeCellIsZeroAndItsControlGetsNaN)
{
    setAndBookCell (processor, ModType::LFO, 5, 2, 0.3f);
    setAndBookCell (processor, ModType::Env, 5, 0, -0.5f);

    setAndBookCell (processor, ModType::LFO, 5, 2, 0.0f);
    EXPECT_EQ (modulatedIds (processor), idsOf ({ 5 })) << "the envelope cell is read from its parameter";
    EXPECT_FALSE (processor.lfoSourcesInUse[5][2]);
    EXPECT_TRUE (control.values.empty());

    setAndBookCell (processor, ModType::Env, 5, 0, 0.0f);
    EXPECT_TRUE (modulatedIds (processor).empty());
    EXPECT_EQ (control.values.size(), 1u);
    EXPECT_TRUE (control.lastWasNaN());
    EXPECT_TRUE (publishedModulatedRows().empty());
    EXPECT_EQ (selects.indices, (std::vector<int>{ 2, 4, 2, 4 }));
}

TEST_F (RoutingTest, DecisionReadsTheParametersNotTheFlags)
{
    // An envelope cell set by the host but never booked still keeps the target modulated.
    setCell (processor, ModType::Env, 5, 3, 0.25f);
    setAndBookCell (processor, ModType::LFO, 5, 0, 0.4f);
    setAndBookCell (processor, ModType::LFO, 5, 0, 0.0f);
    EXPECT_EQ (modulatedIds (processor), idsOf ({ 5 }));
    EXPECT_FALSE (processor.envSourcesInUse[5][3]);
}

TEST_F (RoutingTest, ZeroForAnUnlistedTargetChangesOnlyTheFlagAndStillTells)
{
    processor.envSourcesInUse[7][1] = true;
    processor.modulationMatrixRowCheckValues (ModType::Env, 7, 1, 0.0f);

    EXPECT_FALSE (processor.envSourcesInUse[7][1]);
    EXPECT_TRUE (modulatedIds (processor).empty());
    EXPECT_EQ (selects.indices, (std::vector<int>{ 5 }));
    EXPECT_TRUE (control.values.empty());
}

TEST_F (RoutingTest, NaNCellCountsAsNonZero)
{
    processor.modulationMatrixRowCheckValues (ModType::LFO, 3, 0, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ (modulatedIds (processor), idsOf ({ 3 }));
    EXPECT_TRUE (processor.lfoSourcesInUse[3][0]);
}

TEST_F (RoutingTest, MidiRoutesKeepTheirOrderOnChangeAndErase)
{
    struct Step
    {
        int column;
        float value;
        std::vector<std::pair<float, int>> routes;
    };

    const Step steps[]{
        { 1, 0.5f, { { 0.5f, 1 } } },
        { 0, 0.2f, { { 0.5f, 1 }, { 0.2f, 0 } } },
        { 3, -1.0f, { { 0.5f, 1 }, { 0.2f, 0 }, { -1.0f, 3 } } },
        { 1, -0.4f, { { -0.4f, 1 }, { 0.2f, 0 }, { -1.0f, 3 } } },
        { 1, 0.0f, { { 0.2f, 0 }, { -1.0f, 3 } } },
        { 2, 0.0f, { { 0.2f, 0 }, { -1.0f, 3 } } },
        { 1, 0.9f, { { 0.2f, 0 }, { -1.0f, 3 }, { 0.9f, 1 } } },
    };

    for (const auto& step : steps)
    {
        SCOPED_TRACE ("column " + std::to_string (step.column) + " = " + std::to_string (step.value));
        processor.modulationMatrixRowCheckValues (ModType::Midi, 3, step.column, step.value);

        EXPECT_EQ (routesOf (processor, 3), step.routes);
        EXPECT_EQ (publishedMidiRoutes (3), step.routes);
        EXPECT_EQ (processor.midiSourcesInUse[3][(size_t) step.column], step.value != 0.0f);
        EXPECT_EQ (selects.indices.back(), 8 + step.column);
    }

    EXPECT_TRUE (modulatedIds (processor).empty()) << "MIDI cells never touch the modulated targets";
    EXPECT_TRUE (control.values.empty());
}

TEST_F (RoutingTest, ListenerListsIgnoreDuplicatesNullAndAbsentRemovals)
{
    RecordingSelectListener other;
    RecordingSliderListener slider;

    processor.addModulationChangeListener (&selects); // already there
    processor.addModulationChangeListener (nullptr);
    processor.removeModulationChangeListener (&other); // never there
    processor.addSliderChangeListener (&slider);
    processor.addSliderChangeListener (&slider);
    processor.addSliderChangeListener (nullptr);

    EXPECT_EQ (processor.modulationChangeListeners.size(), 1);
    EXPECT_EQ (processor.sliderChangeListeners.size(), 1);

    processor.modulationMatrixRowCheckValues (ModType::LFO, 0, 1, 0.5f);
    processor.setParameterForModulation ("Freq");
    EXPECT_EQ (selects.indices, (std::vector<int>{ 1 }));
    EXPECT_EQ (slider.rows, (std::vector<int>{ 4 }));

    processor.removeSliderChangeListener (&slider);
    processor.removeSliderChangeListener (&slider);
    processor.setParameterForModulation ("Freq");
    EXPECT_EQ (slider.rows.size(), 1u);
    EXPECT_EQ (processor.sliderChangeListeners.size(), 0);
}

TEST_F (RoutingTest, ListenerMayRemoveItselfWhileBeingTold)
{
    struct SelfRemoving : MyModulationSelectChangeListener
    {
        explicit SelfRemoving (OstrelAudioProcessor& p) : processor (p) {}
        void modulationIndexChanged (int) override
        {
            ++calls;
            processor.removeModulationChangeListener (this);
        }
        OstrelAudioProcessor& processor;
        int calls = 0;
    } selfRemoving{ processor };

    processor.addModulationChangeListener (&selfRemoving);
    processor.modulationMatrixRowCheckValues (ModType::Midi, 0, 0, 0.1f);
    processor.modulationMatrixRowCheckValues (ModType::Midi, 0, 0, 0.2f);

    EXPECT_EQ (selfRemoving.calls, 1);
    EXPECT_EQ (selects.indices, (std::vector<int>{ 8, 8 }));
}

TEST (RoutingListeners, SetParameterForModulationWithoutListenersDoesNothing)
{
    OstrelAudioProcessor processor;
    const auto entries = processor.parameterIndex.size();
    processor.setParameterForModulation ("Glide");
    processor.setParameterForModulation ("NotATarget");
    EXPECT_EQ (processor.parameterIndex.size(), entries);
}

TEST (RoutingListeners, ModulationListenerTableAndItsAudioMirror)
{
    OstrelAudioProcessor processor;
    RecordingModulationListener first, second;
    const auto freqRow = processor.parameterIndex.at ("Freq");

    processor.addModulationListener ("Freq", &first);
    EXPECT_EQ (processor.modulationListeners.at ("Freq"), &first);
    EXPECT_EQ (processor.listenerForTarget[freqRow], &first);

    processor.addModulationListener ("Freq", &second); // a later control replaces the earlier one
    EXPECT_EQ (processor.listenerForTarget[freqRow], &second);

    processor.removeModulationListener ("Freq", &first); // no longer the entry: nothing happens
    EXPECT_EQ (processor.modulationListeners.at ("Freq"), &second);

    processor.addModulationListener ("filterType", &first); // not a target: only in the map
    EXPECT_EQ (processor.modulationListeners.count ("filterType"), 1u);
    EXPECT_EQ (std::count (std::begin (processor.listenerForTarget), std::end (processor.listenerForTarget), &first),
               0);

    processor.removeModulationListener ("Freq", &second);
    processor.removeModulationListener ("filterType", &first);
    EXPECT_TRUE (processor.modulationListeners.empty());
    EXPECT_EQ (processor.listenerForTarget[freqRow], nullptr);
}

TEST (RoutingConcurrency, AudioSideReadsStayConsistentWhileTheMessageSideChangesTables)
{
    OstrelAudioProcessor processor;
    std::atomic<bool> done{ false };
    std::atomic<int> badSnapshots{ 0 };

    struct CountingControl : ModulationListener
    {
        void setModulationValue (float) override { calls.fetch_add (1, std::memory_order_relaxed); }
        std::atomic<int> calls{ 0 };
    };
    CountingControl controls[4];

    // Stands in for the audio thread: one snapshot per block, listener calls only under a successful try-lock
    // and only while no newer routing was published.
    std::thread audio (
        [&]
        {
            while (!done.load())
            {
                const auto& routes = processor.publishedRoutes.latest();
                bool ok = routes.numModulatedTargets >= 0 && routes.numModulatedTargets <= 79;
                for (int i = 0; ok && i < routes.numModulatedTargets; ++i)
                    ok = routes.modulatedTargets[i] >= 0 && routes.modulatedTargets[i] < 79;
                for (int row = 0; ok && row < 79; ++row)
                    for (int i = 0; ok && i < routes.numMidiRoutes[row]; ++i)
                        ok = routes.midiRoutes[row][i].amount != 0.0f && routes.midiRoutes[row][i].source >= 0
                             && routes.midiRoutes[row][i].source < 4;
                if (!ok)
                    badSnapshots.fetch_add (1);

                const juce::SpinLock::ScopedTryLockType lock (processor.modulationListenersLock);
                if (lock.isLocked() && !processor.publishedRoutes.hasFresh())
                    for (auto* listener : processor.listenerForTarget)
                        if (listener != nullptr)
                            listener->setModulationValue (0.5f);
            }
        });

    juce::Random random (42);
    for (int i = 0; i < 3000; ++i)
    {
        const auto type = static_cast<ModType> (random.nextInt (3));
        const auto row = random.nextInt (8);
        const auto value = random.nextBool() ? 0.0f : random.nextFloat() - 0.5f;
        processor.modulationMatrixRowCheckValues (type, row, random.nextInt (4), value);

        auto& control = controls[random.nextInt (4)];
        const auto id = processor.modulationTargetIds[random.nextInt (8)];
        if (random.nextBool())
            processor.addModulationListener (id, &control);
        else
            processor.removeModulationListener (id, &control);
    }

    done = true;
    audio.join();

    EXPECT_EQ (badSnapshots.load(), 0);
}
