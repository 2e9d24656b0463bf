#include "SynthFixtures.h"

using namespace synth_testing;

namespace
{
/** Number of samples voice spends in its present amplitude state (rendering one sample per call). */
int samplesInState (Voice& voice, int limit, const std::function<std::vector<float> (int)>& render)
{
    const int state = voice.ampState;
    int count = 0;
    while (voice.ampState == state && count < limit)
    {
        render (1);
        ++count;
    }
    return count;
}
} // namespace

TEST_F (SynthTest, AmplitudeEnvelopeTimesFollowTheParameters)
{
    // Attack and decay of A/20 and D/20 seconds, release from 1 to 0.001 in R/5 seconds, counted at
    // 4 x the host rate.
    setParameter ("Attack", 2.0f); // 0.1 s
    setParameter ("Decay", 2.0f);  // 0.1 s from 1 down to the sustain
    setParameter ("Sustain", 0.5f);
    setParameter ("Release", 0.5f); // 0.1 s for 1 -> 0.001

    auto& voice = start (0, 1000.0f);
    const auto renderOne = [this] (int n) { return render (n); };
    ASSERT_EQ (voice.ampState, 1);
    EXPECT_NEAR (samplesInState (voice, 100000, renderOne), 19200, 4);
    ASSERT_EQ (voice.ampState, 2);
    EXPECT_NEAR (samplesInState (voice, 100000, renderOne), 19200, 4);
    ASSERT_EQ (voice.ampState, 3);
    EXPECT_FLOAT_EQ (voice.ampLevel, 0.5f);

    render (100);
    synth.noteOff (60);
    ASSERT_EQ (voice.ampState, 4);
    const double expected = std::log (0.001 / 0.5) / std::log (std::exp (-6.9 / 19200.0));
    EXPECT_NEAR (samplesInState (voice, 100000, renderOne), expected, 2);
    EXPECT_EQ (voice.ampState, 0);
    EXPECT_EQ (voice.ampLevel, 0.0f);
}

TEST_F (SynthTest, ZeroEnvelopeTimes)
{
    struct Case
    {
        const char* what;
        float attack, decay, sustain;
        int expectedStartState;
        float expectedStartLevel;
    };

    const Case cases[] = {
        { "no attack: starts in decay at full level", 0.0f, 1.0f, 0.5f, 2, 1.0f },
        { "no attack nor decay: starts in sustain", 0.0f, 0.0f, 0.5f, 3, 0.5f },
        { "attack, no decay: attack hands over to sustain", 1.0f, 0.0f, 0.5f, 1, 0.0f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        setParameter ("Attack", c.attack);
        setParameter ("Decay", c.decay);
        setParameter ("Sustain", c.sustain);
        refreshControls();

        auto& voice = synth.voices[0];
        EXPECT_EQ (voice.attackStep > 0.0f, c.attack > 0.0f);
        if (c.attack == 0.0f)
        {
            EXPECT_EQ (voice.attackStep, -1.0f);
        }
        if (c.decay == 0.0f)
        {
            EXPECT_EQ (voice.decayStep, -1.0f);
        }

        start (0, 1000.0f);
        EXPECT_EQ (voice.ampState, c.expectedStartState);
        EXPECT_EQ (voice.ampLevel, c.expectedStartLevel);

        render (20000);
        EXPECT_EQ (voice.ampState, 3);
        EXPECT_FLOAT_EQ (voice.ampLevel, c.sustain);

        voice.resetVoice();
        voice.ampState = 0;
        voice.ampLevel = 0.0f;
    }
}

TEST_F (SynthTest, ParametersSetToZeroMidwayMoveTheEnvelopeOnAtTheNextControlStep)
{
    setParameter ("Attack", 1.0f);
    setParameter ("Decay", 50.0f);
    setParameter ("Sustain", 0.2f);
    auto& voice = start (0, 1000.0f);
    render (5000);
    ASSERT_EQ (voice.ampState, 1);

    setParameter ("Attack", 0.0f);
    render (32);
    EXPECT_EQ (voice.ampState, 2);

    setParameter ("Decay", 0.0f);
    render (32);
    EXPECT_EQ (voice.ampState, 3);

    setParameter ("Release", 50.0f);
    render (32);
    synth.noteOff (60);
    render (100);
    ASSERT_EQ (voice.ampState, 4);

    setParameter ("Release", 0.0f);
    render (32);
    EXPECT_EQ (voice.ampState, 0);
    EXPECT_EQ (voice.ampLevel, 0.0f);
}

TEST_F (SynthTest, ReleaseTimeZeroSilencesAtNoteOff)
{
    setParameter ("Release", 0.0f);
    auto& voice = start (2, 1000.0f, 1.0f, 64);
    render (2000);
    ASSERT_NE (voice.ampState, 0);

    synth.noteOff (64);
    EXPECT_EQ (voice.ampState, 0);
    EXPECT_EQ (voice.ampLevel, 0.0f);
    EXPECT_EQ (voice.note, 0);
    EXPECT_EQ (peak (render (512)), 0.0f);
}

TEST_F (SynthTest, EnvelopeCoefficientsAtTheirExtremes)
{
    setParameter ("Release", 100.0f);
    setParameter ("AttackFilter", 0.0f);
    setParameter ("ReleaseFilter", 100.0f);
    refreshControls();

    const auto& voice = synth.voices[5];
    EXPECT_FLOAT_EQ (voice.releaseTime, 20.0f);
    EXPECT_FLOAT_EQ (voice.releaseMultiplier, (float) std::exp (-6.9 / (192000.0 * 20.0)));
    EXPECT_FLOAT_EQ (voice.filterAttackCoef, std::exp (-std::exp (5.5f) / voiceRate));
    EXPECT_FLOAT_EQ (voice.filterReleaseCoef, std::exp (-std::exp (5.5f - 7.5f) / voiceRate));
}

TEST_F (SynthTest, FilterEnvelopeAttacksDecaysToItsSustainAndReleases)
{
    setParameter ("AttackFilter", 10.0f);
    setParameter ("DecayFilter", 10.0f);
    setParameter ("SustainFilter", 0.3f);
    auto& voice = start (0, 1000.0f);

    float highest = 0.0f;
    for (int i = 0; i < 40000; ++i)
    {
        render (1);
        highest = std::max (highest, voice.filterEnvLevel);
    }

    // The attack heads for 2 and hands over to the decay as the level passes 1.
    EXPECT_GT (highest, 1.0f);
    EXPECT_LT (highest, 1.001f);
    EXPECT_EQ (voice.filterEnvTarget, 0.3f);
    EXPECT_NEAR (voice.filterEnvLevel, 0.3f, 0.01f);

    synth.noteOff (60);
    EXPECT_EQ (voice.filterEnvTarget, 0.0f);
    EXPECT_EQ (voice.filterEnvCoef, voice.filterReleaseCoef);
}

TEST_F (SynthTest, GlideMovesThePeriodAtEachControlStep)
{
    synth.glideCoefficient = 0.5f;
    synth.pitchBend = 2.0f;
    auto& voice = start (0, 100.0f);
    voice.targetPeriod = 200.0f;

    render (31);
    EXPECT_EQ (voice.period, 100.0f);
    render (1);
    EXPECT_EQ (voice.period, 150.0f);
    EXPECT_EQ (voice.playPeriod, 300.0f);
    render (32);
    EXPECT_EQ (voice.period, 175.0f);
    EXPECT_EQ (voice.playPeriod, 350.0f);

    synth.glideCoefficient = 1.0f;
    render (64);
    EXPECT_EQ (voice.period, 200.0f);
}
