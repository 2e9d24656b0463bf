#include "SynthFixtures.h"

using namespace synth_testing;

namespace
{
constexpr float lowPeriod = 9600.0f; // 20 Hz
constexpr float midPeriod = 137.0f;  // about 1.4 kHz, near the cut-off below
constexpr float highPeriod = 19.2f;  // 10 kHz
} // namespace

TEST_F (SynthTest, FilterTypesPassAndStopTheirBands)
{
    setParameter ("Freq", 1000.0f); // cut-off 1000/22000 of the envelope level 1

    struct Case
    {
        const char* what;
        float type; // current value of "Type"
        float period;
        double lowestRms, highestRms; // of a 0.2 x sine: 0.1414 unfiltered
    };

    const Case cases[] = {
        { "low-pass, low tone", 0.0f, lowPeriod, 0.13, 0.15 },
        { "low-pass, high tone", 0.0f, highPeriod, 0.0, 0.001 },
        { "high-pass, low tone", 1.0f, lowPeriod, 0.0, 0.012 },
        { "high-pass, high tone", 1.0f, highPeriod, 0.13, 0.15 },
        { "band-pass, low tone", 2.0f, lowPeriod, 0.0, 0.02 },
        { "band-pass, centre", 2.0f, midPeriod, 0.05, 0.15 },
        { "band-pass, high tone", 2.0f, highPeriod, 0.0, 0.03 },
        { "type out of range", 3.0f, lowPeriod, 0.0, 0.0 },
        { "type out of range, high tone", 3.0f, highPeriod, 0.0, 0.0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        processor->filterConfigs[FilterIndex::type].currentValue = c.type;
        auto& voice = start (0, c.period);

        const auto out = renderInBlocks (20000 + 38400);
        const auto level = rms (out, 20000);
        EXPECT_GE (level, c.lowestRms);
        EXPECT_LE (level, c.highestRms);

        if (c.type > 2.0f)
        {
            EXPECT_EQ (peak (out, 32), 0.0f); // from the first control step on
        }

        voice.resetVoice();
        voice.ampState = 0;
    }
}

TEST_F (SynthTest, CutoffStaysWithinItsLimitsAndAPinnedCutoffKeepsTheCoefficient)
{
    auto& voice = start (0, 1000.0f);
    setParameter ("Freq", 1100.0f);
    render (20000);
    EXPECT_NEAR (voice.cutoff, 0.05f, 0.0001f);
    EXPECT_EQ (voice.lastCutoff, (double) voice.cutoff);

    // Far above the range (as a modulated value might be): the cut-off stops at 1.
    processor->filterConfigs[FilterIndex::freq].currentValue = 100000.0f;
    render (64);
    EXPECT_EQ (voice.cutoff, 1.0f);
    EXPECT_EQ (voice.lastCutoff, 1.0);

    processor->filterConfigs[FilterIndex::freq].currentValue = 1100.0f;
    render (64);

    // Below 0.001 the cut-off is pinned there and the filter keeps its last coefficient.
    processor->filterConfigs[FilterIndex::freq].currentValue = 0.0f;
    render (64);
    EXPECT_EQ (voice.cutoff, 0.001f);
    EXPECT_NEAR (voice.lastCutoff, 0.05, 0.0001);
}

TEST_F (SynthTest, CutoffLfoStandsStillWhileItsMatrixCellIsZero)
{
    setParameter ("LFORate1", 10.0f);
    setParameter ("LFOAmount1", 1.0f);
    setParameter ("Freq", 5000.0f);
    auto& voice = start (0, 1000.0f);
    auto& lfo = voice.lfos[0];

    render (320);
    EXPECT_EQ (lfo.phase, 0.0f);
    EXPECT_EQ (voice.lfoSum, 0.0f);
    const float step = 10.0f / (48000 / 8);
    EXPECT_FLOAT_EQ (lfo.phaseStep, step);

    setParameter ("Mod_LFO1_Freq", 0.5f);
    render (320); // ten LFO ticks
    EXPECT_NEAR (lfo.phase, 10 * step, 1.0e-6f);
    EXPECT_NE (voice.lfoSum, 0.0f);

    setParameter ("Mod_LFO1_Freq", 0.0f);
    const float stopped = lfo.phase;
    render (3200);
    EXPECT_EQ (lfo.phase, stopped);
    EXPECT_EQ (voice.lfoSum, 0.0f);

    setParameter ("Mod_LFO1_Freq", -0.5f);
    render (320);
    EXPECT_NEAR (lfo.phase, stopped + 10 * step, 1.0e-6f);

    // The other LFOs have no route to the cut-off and never moved.
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ (voice.lfos[i].phase, 0.0f);
}

TEST_F (SynthTest, CutoffLfoMovesTheCutoffAroundTheEnvelopeValue)
{
    setParameter ("LFORate1", 10.0f);
    setParameter ("LFOAmount1", 0.5f);
    setParameter ("Mod_LFO1_Freq", 1.0f);
    setParameter ("Freq", 4400.0f); // 0.2 at envelope level 1
    auto& voice = start (0, 1000.0f);
    render (20000);

    float low = 1.0f, high = 0.0f;
    for (int i = 0; i < 200; ++i)
    {
        render (96); // 0.1 s in all: one LFO cycle
        low = std::min (low, voice.cutoff);
        high = std::max (high, voice.cutoff);
    }

    EXPECT_NEAR (low, 0.1f, 0.005f);
    EXPECT_NEAR (high, 0.3f, 0.005f);
}

TEST_F (SynthTest, RandomLfoChangesItsValueOnlyWhenItsPhaseWraps)
{
    setParameter ("LFOType1", 4.0f);
    setParameter ("LFORate1", 1000.0f); // a sixth of a cycle per tick
    setParameter ("LFOAmount1", 1.0f);
    setParameter ("Mod_LFO1_Freq", 1.0f);
    auto& voice = start (0, 1000.0f);
    render (64);

    const auto& lfo = voice.lfos[0];
    int wraps = 0, changes = 0;
    for (int i = 0; i < 32 * 60; ++i)
    {
        const float phase = lfo.phase;
        const float held = lfo.heldValue;
        render (1);

        const bool wrapped = lfo.phase < phase;
        const bool changed = lfo.heldValue != held;
        EXPECT_EQ (wrapped, changed) << "sample " << i;
        wraps += wrapped ? 1 : 0;
        changes += changed ? 1 : 0;
    }

    EXPECT_GE (wraps, 9);
    EXPECT_EQ (changes, wraps);
}

TEST_F (SynthTest, LfoRatesFollowTheirSettings)
{
    struct Case
    {
        const char* what;
        float sync, rate, noteValue;
        float bpm;
        float expectedHz;
    };

    const Case cases[] = {
        { "free", 0.0f, 3.5f, 7.0f, 120.0f, 3.5f },
        { "quarter note at 120 BPM", 1.0f, 3.5f, 7.0f, 120.0f, 2.0f },
        { "dotted whole at 90 BPM", 1.0f, 3.5f, 0.0f, 90.0f, 0.25f },
        { "note value beyond the list takes the last", 1.0f, 3.5f, 30.0f, 120.0f, 2.0f / 0.020833334f },
        { "negative note value takes the first", 1.0f, 3.5f, -3.0f, 120.0f, 2.0f / 6.0f },
    };

    auto& voice = start (0, 1000.0f);

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        setParameter ("LFOSync2", c.sync);
        setParameter ("LFORate2", c.rate);
        processor->lfoConfigs[1][LfoIndex::rateDiscrete].currentValue = c.noteValue;
        processor->bpm = c.bpm;
        render (32);

        EXPECT_FLOAT_EQ (voice.lfos[1].rateHz, c.expectedHz);
        EXPECT_FLOAT_EQ (voice.lfos[1].phaseStep, c.expectedHz / 6000.0f);
    }
}
