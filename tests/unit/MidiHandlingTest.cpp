#include "ProcessorHarness.h"

#include <set>

using namespace block_testing;

namespace
{
/** Sets every voice's amplitude envelope to the given stage and level, as if they had been sounding. */
void craftVoices (ProcessorHarness& host, const std::vector<std::pair<int, float>>& stateAndLevel)
{
    for (size_t i = 0; i < stateAndLevel.size(); ++i)
    {
        auto& voice = host.voice ((int) i);
        voice.ampState = stateAndLevel[i].first;
        voice.ampLevel = stateAndLevel[i].second;
        voice.note = 30 + (int) i;
    }
}

int voicePlaying (ProcessorHarness& host, int note)
{
    for (int i = 0; i < OstrelAudioProcessor::numVoices; ++i)
        if (host.voice (i).note == note)
            return i;
    return -1;
}
} // namespace

TEST (MidiHandling, VelocitySetsTheGainUnlessIgnored)
{
    struct Case
    {
        bool ignoreVelocity;
        int velocity;
        float gain;
    };

    const Case cases[] = { { false, 1, 0.089f },
                           { false, 80, 0.74944f },
                           { false, 127, 1.37924f },
                           { true, 10, 0.74944f },
                           { true, 127, 0.74944f } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.velocity) + (c.ignoreVelocity ? " ignored" : ""));
        ProcessorHarness host;
        host.set ("IgnoreVel", c.ignoreVelocity ? 1.0f : 0.0f);

        host.process (1, { noteOn (0, 60, c.velocity) });

        EXPECT_NEAR (host.voice (0).velocityGain, c.gain, 1.0e-5f);
        EXPECT_FLOAT_EQ (host.processor->midiSourceValues[0], (float) c.velocity / 128.0f); // "Vel" is always real
    }
}

TEST (MidiHandling, PolyphonicVoiceChoice)
{
    struct Case
    {
        const char* what;
        std::vector<std::pair<int, float>> voices; // ampState, ampLevel of voices 0..7
        int expected;
    };

    const Case cases[] = {
        { "the first idle voice",
          { { 3, 0.1f }, { 3, 0.1f }, { 0, 0.0f }, { 3, 0.1f }, { 0, 0.0f }, { 3, 0.1f }, { 3, 0.1f }, { 3, 0.1f } },
          2 },
        { "the lowest level",
          { { 3, 0.9f }, { 3, 0.8f }, { 3, 0.7f }, { 3, 0.2f }, { 3, 0.6f }, { 3, 0.5f }, { 3, 0.4f }, { 3, 0.3f } },
          3 },
        { "ties keep the lower index",
          { { 3, 0.9f }, { 3, 0.8f }, { 3, 0.3f }, { 3, 0.7f }, { 3, 0.3f }, { 3, 0.5f }, { 3, 0.4f }, { 3, 0.6f } },
          2 },
        { "release counts half",
          { { 3, 0.9f }, { 3, 0.8f }, { 3, 0.7f }, { 4, 0.5f }, { 3, 0.6f }, { 3, 0.3f }, { 3, 0.4f }, { 3, 0.9f } },
          3 },
        { "others in attack are never taken",
          { { 3, 0.9f }, { 1, 0.0f }, { 1, 0.01f }, { 1, 0.0f }, { 1, 0.0f }, { 1, 0.0f }, { 1, 0.0f }, { 1, 0.0f } },
          0 },
        { "voice 0 scores at most 1",
          { { 2, 1.5f }, { 3, 1.2f }, { 3, 1.1f }, { 3, 1.3f }, { 3, 1.4f }, { 3, 1.6f }, { 1, 0.0f }, { 3, 1.2f } },
          0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        ProcessorHarness host;
        craftVoices (host, c.voices);

        host.process (1, { noteOn (0, 90) });

        EXPECT_EQ (voicePlaying (host, 90), c.expected);
        EXPECT_EQ (host.processor->synth.currentVoice, c.expected);
    }
}

TEST (MidiHandling, NinthNoteInAttackTakesVoiceZero)
{
    ProcessorHarness host;
    host.set ("Attack", 100.0f); // five seconds: every voice is still in its attack

    std::vector<Event> notes;
    for (int i = 0; i < 9; ++i)
        notes.push_back (noteOn (i, 60 + i));
    host.process (64, notes);

    EXPECT_EQ (host.voice (0).note, 68);
    for (int i = 1; i < 8; ++i)
        EXPECT_EQ (host.voice (i).note, 60 + i);
    EXPECT_EQ (host.processor->heldNoteCount, 9);
}

TEST (MidiHandling, MonoLegatoGlidesAndFallsBackToTheHeldKey)
{
    ProcessorHarness host;
    host.set ("Mono", 1.0f);
    host.set ("Glide", 60.0f);
    host.set ("Attack", 0.0f);
    host.set ("Decay", 0.0f);
    host.process (64);

    host.process (64, { noteOn (0, 60) });
    auto& voice0 = host.voice (0);
    const auto period60 = voice0.targetPeriod;
    ASSERT_EQ (voice0.ampState, 3);

    // A second key: only voice 0's target pitch moves; the first note waits in voice 1.
    host.process (1, { noteOn (0, 64) });
    EXPECT_EQ (voice0.note, 64);
    EXPECT_EQ (host.voice (1).note, 60);
    EXPECT_NEAR (voice0.targetPeriod, period60 * std::pow (2.0f, -4.0f / 12.0f), period60 * 1.0e-5f);
    EXPECT_GT (voice0.period, voice0.targetPeriod * 1.01f); // still gliding
    EXPECT_EQ (voice0.ampState, 3);                         // no new attack
    EXPECT_EQ (host.processor->synth.currentVoice, 0);

    // Releasing it glides back to the key still held, again without a new attack.
    host.process (1, { noteOff (0, 64) });
    EXPECT_EQ (voice0.note, 60);
    EXPECT_EQ (host.voice (1).note, 0);
    EXPECT_NEAR (voice0.targetPeriod, period60, period60 * 1.0e-5f);
    EXPECT_EQ (voice0.ampState, 3);

    host.process (1, { noteOff (0, 60) });
    EXPECT_EQ (voice0.ampState, 4);
    EXPECT_EQ (host.processor->heldNoteCount, 0);
}

TEST (MidiHandling, SustainPedalHoldsAndReleases)
{
    ProcessorHarness host;
    host.set ("Attack", 0.0f);
    host.set ("Decay", 0.0f);
    host.process (64);

    host.process (64, { noteOn (0, 60), controller (1, 64, 64), noteOff (2, 60) });
    EXPECT_TRUE (host.processor->synth.sustainPedal);
    EXPECT_EQ (host.voice (0).note, -1);
    EXPECT_EQ (host.voice (0).ampState, 3);

    host.process (64, { controller (0, 64, 127) }); // still down: nothing changes
    EXPECT_EQ (host.voice (0).note, -1);
    EXPECT_EQ (host.voice (0).ampState, 3);

    host.process (64, { controller (0, 64, 63) });
    EXPECT_FALSE (host.processor->synth.sustainPedal);
    EXPECT_EQ (host.voice (0).note, 0);
    EXPECT_EQ (host.voice (0).ampState, 4);
}

TEST (MidiHandling, AllNotesOffResetsVoicesAndFadesThemFromTheirLevel)
{
    for (const auto number : { 120, 123, 127 })
    {
        SCOPED_TRACE (number);
        ProcessorHarness host;
        host.set ("Attack", 0.0f);
        host.set ("Decay", 0.0f);
        host.set ("Release", 1.0f); // 0.2 s
        host.process (64);
        host.process (64, { noteOn (0, 60), noteOn (0, 64), controller (1, 64, 127) });

        host.process (1, { controller (0, number, 0) });

        EXPECT_FALSE (host.processor->synth.sustainPedal);
        for (int i = 0; i < 2; ++i)
        {
            const auto& voice = host.voice (i);
            EXPECT_EQ (voice.note, 0);
            EXPECT_EQ (voice.startLevel, 0.0f);
            EXPECT_EQ (voice.filterEnvLevel, 0.0f);
            EXPECT_EQ (voice.ampState, 4);
            EXPECT_NEAR (voice.ampLevel, voice.sustain, 1.0e-3f); // no jump in level
        }

        host.process ((int) host.sampleRate / 2);
        EXPECT_EQ (host.voice (0).ampState, 0);
        EXPECT_EQ (host.voice (1).ampState, 0);
    }
}

TEST (MidiHandling, PitchBendIsAFactorOnThePeriod)
{
    const std::pair<int, float> cases[] = { { 0, 1.1224610f }, { 8192, 1.0f }, { 16383, 0.8909121f } };

    for (const auto& [wheel, factor] : cases)
    {
        SCOPED_TRACE (wheel);
        ProcessorHarness host;
        host.process (1, { { 0, juce::MidiMessage::pitchWheel (3, wheel) } });
        EXPECT_NEAR (host.processor->synth.pitchBend, factor, 1.0e-6f);
    }

    ProcessorHarness host;
    host.process (1, { { 0, juce::MidiMessage::pitchWheel (1, 8192) } });
    EXPECT_EQ (host.processor->synth.pitchBend, 1.0f);
}

TEST (MidiHandling, ZeroEnvelopeTimes)
{
    struct Case
    {
        float attack, decay;
        int stateAfterNoteOn;
    };

    // No attack starts in the decay at full level, or straight in the sustain when there is no decay either.
    const Case cases[] = { { 0.0f, 20.0f, 2 }, { 0.0f, 0.0f, 3 }, { 10.0f, 20.0f, 1 } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.attack) + " / " + juce::String (c.decay));
        ProcessorHarness host;
        host.set ("Attack", c.attack);
        host.set ("Decay", c.decay);
        host.set ("Release", 0.0f);
        host.process (64); // the control step brings the envelope steps up to date

        host.process (1, { noteOn (0, 60) });
        const auto& voice = host.voice (0);
        EXPECT_EQ (voice.ampState, c.stateAfterNoteOn);
        if (c.stateAfterNoteOn == 2)
        {
            EXPECT_GT (voice.ampLevel, 0.99f);
        }
        else if (c.stateAfterNoteOn == 3)
        {
            EXPECT_FLOAT_EQ (voice.ampLevel, voice.sustain);
        }

        // No release: the note-off silences the voice at once.
        host.process (1, { noteOff (0, 60) });
        EXPECT_EQ (voice.ampState, 0);
        EXPECT_EQ (voice.ampLevel, 0.0f);
    }
}

TEST (MidiHandling, MidiSourcesFollowTheirMessages)
{
    ProcessorHarness host;
    const auto& sources = host.processor->midiSourceValues;

    host.process (1,
                  { { 0, juce::MidiMessage::channelPressureChange (1, 127) },
                    controller (0, 1, 127),
                    controller (0, 21, 99), // controllers outside the table change nothing
                    controller (0, 74, 99),
                    { 0, juce::MidiMessage::createSysExMessage ("\x90\x3c\x40", 3) } }); // longer than 3 bytes
    EXPECT_NEAR (sources[1], 1.6129f, 1.0e-6f);
    EXPECT_NEAR (sources[2], 1.0080625f, 1.0e-6f);
    EXPECT_EQ (sources[0], 0.0f);
    EXPECT_EQ (sources[3], 0.0f);
    EXPECT_EQ (host.voice (0).note, 0);

    // Every note-on draws a new "Rand" in [-1, 1).
    std::set<float> randoms;
    for (int i = 0; i < 8; ++i)
    {
        host.process (1, { noteOn (0, 60 + i, 64) });
        EXPECT_GE (sources[3], -1.0f);
        EXPECT_LT (sources[3], 1.0f);
        randoms.insert (sources[3]);
    }
    EXPECT_GT (randoms.size(), 1u);
    EXPECT_EQ (sources[0], 0.5f);
}

TEST (MidiHandling, HeldNoteCountGatesTheModulationEnvelopes)
{
    ProcessorHarness host;
    auto& processor = *host.processor;

    host.process (1, { noteOff (0, 60) }); // a stray note-off
    EXPECT_EQ (processor.heldNoteCount, 0);
    EXPECT_EQ (processor.modEnvelopeStates[0].target, 0.0f);

    host.process (1, { noteOn (0, 60), noteOn (0, 64) });
    EXPECT_EQ (processor.heldNoteCount, 2);
    for (const auto& env : processor.modEnvelopeStates)
        EXPECT_EQ (env.target, 2.0f);

    host.process (1, { noteOff (0, 60) });
    EXPECT_EQ (processor.modEnvelopeStates[0].target, 2.0f);

    host.process (1, { noteOn (0, 64, 0) }); // velocity 0 is a note-off
    EXPECT_EQ (processor.heldNoteCount, 0);
    for (const auto& env : processor.modEnvelopeStates)
    {
        EXPECT_EQ (env.target, 0.0f);
        EXPECT_EQ (env.coefficient, env.releaseCoefficient);
    }
    EXPECT_EQ (host.voice (1).note, 0);
}

TEST (MidiHandling, RetriggeredLfosStartInsideTheirCycle)
{
    for (int shape = 0; shape < 5; ++shape)
    {
        for (const auto offset : { -1.0f, -0.5f, 0.5f, 1.0f })
        {
            SCOPED_TRACE ("shape " + std::to_string (shape) + ", offset " + std::to_string (offset));
            ProcessorHarness host;
            host.set ("LFOType1", (float) shape);
            host.set ("LFOOffset1", offset);
            host.set ("LFORate1", 0.01f);
            host.set ("LFOAmount1", 1.0f);
            host.set ("Retrigger1", 1.0f);
            host.set ("Mod_LFO1_Freq", 1.0f); // the voice's LFO 1 moves its cut-off at full depth

            // The processor's LFO 1 moves "Shift" by up to a tenth of its range.
            const auto shiftRow = host.processor->parameterIndex.at ("Shift");
            host.set ("Mod_LFO1_Shift", 0.1f);
            host.processor->modulationMatrixRowCheckValues (ModType::LFO, shiftRow, 0, 0.1f);

            // One host sample: the voice's first control step, which reads its LFO where the note-on put it.
            host.process (1, { noteOn (0, 60) });
            EXPECT_GE (host.voice (0).lfoSum, -1.0f);
            EXPECT_LE (host.voice (0).lfoSum, 1.0f);

            // A block without samples reads the processor's LFO before advancing it.
            host.process (0);
            const auto& shift = host.processor->intervalConfigs[IntervalIndex::shift];
            EXPECT_LE (std::abs (shift.currentValue - shift.raw()), 0.1f * 511.0f + 0.01f);
        }
    }
}
