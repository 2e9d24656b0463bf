#include "ProcessorHarness.h"

using namespace block_testing;

namespace
{
struct RecordingListener : public ModulationListener
{
    void setModulationValue (float value) override { values.push_back (value); }
    std::vector<float> values;
};

int rowOf (OstrelAudioProcessor& processor, const juce::String& paramID)
{
    return processor.parameterIndex.at (paramID);
}

/** Publishes routing tables as the message thread does once routes change. */
void publish (OstrelAudioProcessor& processor,
              const std::vector<int>& lfoOrEnvelopeTargets,
              const std::vector<std::pair<int, OstrelAudioProcessor::MidiModulation>>& midiRoutes)
{
    auto& routes = processor.publishedRoutes.back();
    routes = {};
    for (auto row : lfoOrEnvelopeTargets)
        routes.modulatedTargets[routes.numModulatedTargets++] = row;
    for (const auto& [row, route] : midiRoutes)
        routes.midiRoutes[row][routes.numMidiRoutes[row]++] = route;
    processor.publishedRoutes.publish();
}
} // namespace

TEST (BlockModulation, MidiRoutesMoveTheirTargetsAndTellTheControl)
{
    ProcessorHarness host;
    auto& processor = *host.processor;
    const auto decay = rowOf (processor, "Decay");
    const auto release = rowOf (processor, "Release");

    publish (processor, {}, { { decay, { 0.5f, 2 } }, { release, { 1.0f, 2 } } });
    RecordingListener listener;
    processor.listenerForTarget[decay] = &listener;
    host.set ("Q", 0.5f);

    // The sources change at the message, the values at the next block.
    host.process (64, { controller (0, 1, 127) });
    EXPECT_FLOAT_EQ (processor.adsrVoiceConfigs[AdsrIndex::decay].currentValue, 20.0f);
    host.process (64);

    const auto mod = processor.midiSourceValues[2];
    EXPECT_FLOAT_EQ (processor.adsrVoiceConfigs[AdsrIndex::decay].currentValue, 20.0f + mod * 0.5f * 100.0f);
    EXPECT_EQ (processor.adsrVoiceConfigs[AdsrIndex::release].currentValue, 100.0f); // limited to the range
    EXPECT_EQ (processor.filterConfigs[FilterIndex::q].currentValue, 0.5f);          // no route: the raw value
    ASSERT_EQ (listener.values.size(), 2u);
    EXPECT_EQ (listener.values.back(), processor.adsrVoiceConfigs[AdsrIndex::decay].currentValue);

    // While the message thread holds the listener table, the block goes on without telling anyone.
    {
        const juce::SpinLock::ScopedLockType busy (processor.modulationListenersLock);
        host.process (64);
    }
    EXPECT_EQ (listener.values.size(), 2u);
    processor.listenerForTarget[decay] = nullptr;
}

TEST (BlockModulation, LfoEnvelopeAndMidiRoutesAddUp)
{
    ProcessorHarness host;
    auto& processor = *host.processor;
    const auto glide = rowOf (processor, "Glide");
    const auto freq = rowOf (processor, "Freq");

    // LFO1: a square at 1 Hz, still in its first half after a block: +1.
    host.set ("LFOType1", 2.0f);
    host.set ("LFOAmount1", 1.0f);
    host.set ("Mod_LFO1_Glide", 0.25f);
    host.set ("Mod_Env1_Glide", 0.5f);
    host.set ("Mod_LFO1_Freq", 0.5f);
    host.set ("Glide", 10.0f);
    host.set ("Freq", 5000.0f);
    publish (processor, { glide, freq }, { { glide, { 0.5f, 0 } }, { freq, { 1.0f, 0 } } });

    RecordingListener listener;
    processor.listenerForTarget[glide] = &listener;

    host.process (512, { noteOn (0, 60, 64) }); // "Vel" 0.5 from the next block on
    host.process (512);

    const auto envelope = processor.modEnvelopeStates[0].level;
    const auto expected = 0.5f * 0.5f * 100.0f + (100.0f * (0.25f * 1.0f + 0.5f * envelope) + 10.0f);
    const auto& glideConfig = processor.globalSynthConfigs[GlobalIndex::glide];
    EXPECT_FLOAT_EQ (glideConfig.currentValue, juce::jmin (100.0f, expected));
    ASSERT_FALSE (listener.values.empty());
    EXPECT_EQ (listener.values.back(), glideConfig.currentValue.load());

    // The voices move their cut-off themselves: the knob value stays raw.
    EXPECT_EQ (processor.filterConfigs[FilterIndex::freq].currentValue, 5000.0f);
    processor.listenerForTarget[glide] = nullptr;
}

TEST (BlockModulation, SyncedLfoRateFollowsTheTempo)
{
    struct Case
    {
        std::optional<double> tempo;
        float noteValue;
        float modWheelAmount; // a "Mod" route on the note value, pushing it past the last choice
        float rate;
    };

    const Case cases[] = { { 90.0, 7.0f, 0.0f, 1.5f },                    // "4n" at 90 BPM
                           { std::nullopt, 7.0f, 0.0f, 2.0f },            // no tempo: 120 BPM
                           { 120.0, 23.0f, 0.0f, 2.0f / 0.020833334f },   // "128nt"
                           { 120.0, 20.0f, 1.0f, 2.0f / 0.020833334f } }; // pushed up: still "128nt"

    for (const auto& c : cases)
    {
        ProcessorHarness host;
        auto& processor = *host.processor;
        host.playHead.tempo = c.tempo;
        host.set ("LFOSync1", 1.0f);
        host.set ("LFORateDiscrete1", c.noteValue);
        if (c.modWheelAmount != 0.0f)
            publish (processor, {}, { { rowOf (processor, "LFORateDiscrete1"), { c.modWheelAmount, 2 } } });

        host.process (64, { controller (0, 1, 127) });
        host.process (64);

        EXPECT_FLOAT_EQ (processor.lfoStates[0].rate, c.rate);
        EXPECT_FLOAT_EQ (processor.lfoStates[0].increment, c.rate / 48000.0f);
    }
}

TEST (BlockModulation, EnvelopeAttackHandsOverToDecayPastLevelOne)
{
    ProcessorHarness host;
    auto& processor = *host.processor;
    host.set ("Attack1", 0.0f);
    host.set ("Sustain1", 0.4f);

    host.process (512);
    host.process (512, { noteOn (0, 60) });
    const auto& env = processor.modEnvelopeStates[0];
    EXPECT_EQ (env.target, 2.0f);

    // The next block takes the whole block in one step, coefficient^512 in double.
    const auto before = env.level;
    host.process (512);
    const auto c = std::exp (-(1.0f / 48000.0f) * std::exp (5.5f));
    EXPECT_NEAR (env.level, 2.0 + (before - 2.0) * std::pow ((double) c, 512.0), 1.0e-5);
    EXPECT_GT (env.level, 1.0f);
    EXPECT_FLOAT_EQ (env.target, 0.4f);
    EXPECT_EQ (env.coefficient, env.decayCoefficient);
}
