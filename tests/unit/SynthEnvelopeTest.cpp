#include "SynthFixtures.h"

using namespace synth_testing;

namespace
{
constexpr size_t levelWindow = 100; // one cycle of the 1920 Hz tone the envelope tests play

/** The level of the output cycle by cycle: the peak of each window of one cycle. */
std::vector<float> levels (const std::vector<float>& out)
{
    std::vector<float> result;
    for (size_t from = 0; from + levelWindow <= out.size(); from += levelWindow)
        result.push_back (peak (out.data() + from, levelWindow));
    return result;
}

/** Seconds from the start of the cycle levels to the first cycle at or above (rising) or below (falling) level. */
double secondsUntil (const std::vector<float>& cycleLevels, float level, bool rising)
{
    for (size_t i = 0; i < cycleLevels.size(); ++i)
        if (rising ? cycleLevels[i] >= level : cycleLevels[i] < level)
            return (double) (i * levelWindow) / voiceRate;
    return -1.0;
}

std::vector<float> tail (const std::vector<float>& cycleLevels, double fromSeconds)
{
    return { cycleLevels.begin() + (long) (fromSeconds * voiceRate / levelWindow), cycleLevels.end() };
}
} // namespace

TEST_F (SynthTest, AmplitudeEnvelopeTimesFollowTheParameters)
{
    // Heard in the output: a linear attack of A/20 s, a linear decay of D/20 s down to the sustain, and a release
    // that falls 60 dB in R/5 s until the level is down to 0.001, where the voice stops. The filter opens within
    // a few milliseconds and stays open.
    setParameter ("AttackFilter", 0.0f);
    setParameter ("DecayFilter", 0.0f);
    setParameter ("Attack", 2.0f); // 0.1 s
    setParameter ("Decay", 2.0f);  // 0.1 s
    setParameter ("Sustain", 0.5f);
    setParameter ("Release", 0.5f); // 60 dB in 0.1 s

    start (0, 100.0f); // 1920 Hz
    const auto held = levels (render ((int) (0.3 * voiceRate)));
    synth.noteOff (60);
    const auto released = levels (render ((int) (0.15 * voiceRate)));

    const auto full = peak (held);
    const auto cycle = levelWindow / voiceRate;
    EXPECT_NEAR (secondsUntil (held, 0.25f * full, true), 0.025, 2 * cycle);
    EXPECT_NEAR (secondsUntil (held, 0.5f * full, true), 0.05, 2 * cycle);
    EXPECT_NEAR (secondsUntil (held, 0.99f * full, true), 0.099, 2 * cycle);

    const auto decay = tail (held, 0.1);
    EXPECT_NEAR (0.1 + secondsUntil (decay, 0.75f * full, false), 0.15, 2 * cycle);
    EXPECT_NEAR (0.1 + secondsUntil (decay, 0.51f * full, false), 0.198, 2 * cycle);

    const auto sustained = tail (held, 0.21);
    EXPECT_NEAR (*std::min_element (sustained.begin(), sustained.end()), 0.5f * full, 0.005f * full);
    EXPECT_NEAR (*std::max_element (sustained.begin(), sustained.end()), 0.5f * full, 0.005f * full);

    // 20 dB of the 60 in a third of the release time; from 0.5 the voice stops 54 dB down, after 90 ms.
    const auto level = released.front();
    EXPECT_NEAR (secondsUntil (released, 0.1f * level, false), 0.0333, 2 * cycle);
    EXPECT_NEAR (secondsUntil (released, 1.0e-9f, false), 0.09, 2 * cycle);
    EXPECT_EQ (peak (tail (released, 0.095)), 0.0f);
    EXPECT_EQ (synth.voices[0].ampState, 0);
}

TEST_F (SynthTest, TheLongestReleaseFallsThreeDecibelsASecond)
{
    // "Release" 100: 60 dB in 20 s.
    setParameter ("AttackFilter", 0.0f);
    setParameter ("DecayFilter", 0.0f);
    setParameter ("Attack", 0.0f);
    setParameter ("Decay", 0.0f);
    setParameter ("Release", 100.0f);

    start (0, 100.0f);
    render ((int) (0.05 * voiceRate));
    synth.noteOff (60);
    const auto released = levels (render ((int) (1.01 * voiceRate)));

    // The per-sample factor lies so close to 1 that its single-precision rounding makes the fall a little faster.
    const auto fallInOneSecond = -20.0 * std::log10 (tail (released, 1.0).front() / released.front());
    EXPECT_NEAR (fallInOneSecond, 3.0, 0.15);
}

TEST_F (SynthTest, FilterEnvelopeTimesAtTheirExtremes)
{
    // Read from the cut-off the voice reports, "Freq" times the envelope level: the fastest attack has a time
    // constant of 4.09 ms and so passes level 1, half way to its target 2, after 2.83 ms; the slowest release has a
    // time constant of 7.39 s.
    setParameter ("Freq", 2200.0f); // a reported cut-off of 0.1 at level 1
    setParameter ("AttackFilter", 0.0f);
    setParameter ("ReleaseFilter", 100.0f);
    setParameter ("Release", 100.0f); // the voice sounds on through the filter's release

    start (0, 100.0f);
    int rendered = 0;
    while (cutoffRecorder.lastReportedCutoff < 0.1f && rendered < (int) voiceRate)
    {
        render (8);
        rendered += 8;
    }
    EXPECT_NEAR ((float) rendered / voiceRate, 0.00283, 0.0001);

    render ((int) (0.1 * voiceRate));
    synth.noteOff (60);
    render ((int) (0.1 * voiceRate));
    const auto before = cutoffRecorder.lastReportedCutoff;
    render ((int) voiceRate);
    const auto timeConstant = -1.0 / std::log (cutoffRecorder.lastReportedCutoff / before);
    EXPECT_NEAR (timeConstant, 7.39, 7.39 * 0.03); // single-precision rounding of a factor this close to 1
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
