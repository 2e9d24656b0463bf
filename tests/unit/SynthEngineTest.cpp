#include "SynthFixtures.h"

#include <cfloat>

using namespace synth_testing;

TEST_F (SynthTest, IdleVoicesRenderZerosAndReportNoCutoff)
{
    std::vector<float> left (256, 1.0f), right (256, 1.0f);
    float* outputs[2] = { left.data(), right.data() };

    synth.voices[3].ampLevel = 0.4f; // an idle voice's level is cleared after the stretch
    synth.render (outputs, 256);

    EXPECT_EQ (peak (left), 0.0f);
    EXPECT_EQ (peak (right), 0.0f);
    EXPECT_EQ (synth.voices[3].ampLevel, 0.0f);
    EXPECT_EQ (cutoffRecorder.cutoffReports, 0);
}

TEST_F (SynthTest, CutoffIsReportedOncePerRenderOnlyWhileTheCurrentVoiceSounds)
{
    setParameter ("Release", 0.0f);
    start (1, 1000.0f, 1.0f, 61);
    start (4, 1000.0f, 1.0f, 64); // the current voice
    ASSERT_EQ (synth.currentVoice, 4);

    render (300);
    render (300);
    EXPECT_EQ (cutoffRecorder.cutoffReports, 2);
    EXPECT_FLOAT_EQ (cutoffRecorder.lastReportedCutoff, synth.voices[4].cutoff);

    synth.noteOff (64); // voice 4 goes idle at once; voice 1 still sounds
    render (300);
    EXPECT_EQ (cutoffRecorder.cutoffReports, 2);
}

TEST_F (SynthTest, ChannelsCarryTheSameSumOrOnlyChannelZero)
{
    start (0, 400.0f);
    start (5, 733.0f);

    std::vector<float> left (1000), right (1000);
    float* stereo[2] = { left.data(), right.data() };
    synth.render (stereo, 1000);
    EXPECT_GT (peak (left), 0.01f);
    EXPECT_EQ (left, right);

    std::vector<float> mono (1000, 0.0f);
    float* oneChannel[2] = { mono.data(), nullptr };
    synth.render (oneChannel, 1000);
    EXPECT_GT (peak (mono), 0.01f);
}

TEST_F (SynthTest, OutputIsTheSumOfTheSoundingVoices)
{
    // Each run uses voices that never sounded before, so that they all start from the same state.
    const auto renderVoices = [this] (std::initializer_list<std::pair<int, float>> voicesAndPeriods)
    {
        for (auto& voice : synth.voices)
            voice.ampState = 0;
        for (auto [index, period] : voicesAndPeriods)
            start (index, period);
        return render (3000);
    };

    const auto a = renderVoices ({ { 2, 500.0f } });
    const auto b = renderVoices ({ { 6, 700.0f } });
    const auto both = renderVoices ({ { 1, 500.0f }, { 5, 700.0f } });

    for (size_t i = 0; i < both.size(); ++i)
        ASSERT_NEAR (both[i], a[i] + b[i], 1.0e-6f) << "sample " << i;
}

TEST_F (SynthTest, IdleVoicesAreNeitherRenderedNorRefreshed)
{
    auto& idle = synth.voices[7];
    idle.phase = 1.25f;
    idle.cutoffHz = 123.0f;
    start (0, 500.0f);
    render (500);

    EXPECT_EQ (idle.phase, 1.25f);
    EXPECT_EQ (idle.cutoffHz, 123.0f);
    EXPECT_EQ (idle.sampleCounter, 0);
    EXPECT_EQ (synth.voices[0].sampleCounter, 500);
}

TEST_F (SynthTest, NoteOffReleasesEveryVoiceOfTheNote)
{
    struct Case
    {
        const char* what;
        float releaseParameter;
        bool pedal;
        int expectedState;
        int expectedNote;
    };

    const Case cases[] = {
        { "release", 10.0f, false, 4, 0 },
        { "release time 0", 0.0f, false, 0, 0 },
        { "sustain pedal holds", 10.0f, true, 3, -1 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        setParameter ("Release", c.releaseParameter);
        setParameter ("Attack", 0.0f);
        setParameter ("Decay", 0.0f);
        synth.sustainPedal = c.pedal;

        for (int i = 0; i < 8; ++i)
            start (i, 500.0f, 1.0f, i % 2 == 0 ? 60 : 62);
        render (64);

        synth.noteOff (60);

        for (int i = 0; i < 8; ++i)
        {
            const auto& voice = synth.voices[(size_t) i];
            if (i % 2 == 0)
            {
                EXPECT_EQ (voice.ampState, c.expectedState) << "voice " << i;
                EXPECT_EQ (voice.note, c.expectedNote) << "voice " << i;
                EXPECT_EQ (voice.filterEnvTarget, c.pedal ? 2.0f : 0.0f);
            }
            else
            {
                EXPECT_EQ (voice.ampState, 3) << "voice " << i;
                EXPECT_EQ (voice.note, 62) << "voice " << i;
            }
        }

        for (auto& voice : synth.voices)
        {
            voice.resetVoice();
            voice.ampState = 0;
        }
    }
}

TEST_F (SynthTest, LiftingThePedalReleasesExactlyTheVoicesItHeld)
{
    setParameter ("Release", 10.0f);
    start (0, 500.0f, 1.0f, 60);
    start (1, 500.0f, 1.0f, 62);
    start (2, 500.0f, 1.0f, 64);

    synth.sustainPedal = true;
    synth.noteOff (60);
    synth.noteOff (62);
    render (1000);
    EXPECT_EQ (synth.voices[0].note, -1);
    EXPECT_EQ (synth.voices[1].note, -1);
    EXPECT_NE (synth.voices[0].ampState, 4);

    synth.sustainPedal = false;
    synth.noteOff (-1);
    EXPECT_EQ (synth.voices[0].ampState, 4);
    EXPECT_EQ (synth.voices[1].ampState, 4);
    EXPECT_EQ (synth.voices[0].note, 0);
    EXPECT_EQ (synth.voices[2].note, 64);
    EXPECT_NE (synth.voices[2].ampState, 4);
}

TEST_F (SynthTest, MonoNoteOffFallsBackToTheNewestHeldKeyWithoutANewAttack)
{
    synth.monoMode = 1;
    synth.glideCoefficient = 1.0f;
    setParameter ("Release", 10.0f);
    setParameter ("OverSample", 1.0f); // x4: periods are 4 times those of the host rate
    auto& first = start (0, 500.0f, 1.0f, 67);

    // Note-on in mono mode keeps the earlier keys in voices 1..7, newest first; those voices are released.
    synth.voices[1].note = 64;
    synth.voices[2].note = 60;
    render (1000);
    const float startLevel = first.startLevel;
    const int state = first.ampState;

    synth.noteOff (67);
    EXPECT_EQ (first.note, 64);
    EXPECT_EQ (synth.voices[1].note, 0);
    EXPECT_EQ (synth.voices[2].note, 60);
    EXPECT_EQ (first.ampState, state);
    EXPECT_FLOAT_EQ (first.startLevel, startLevel + 0.0002f);

    float expected = synth.referencePeriod * std::exp (-64.0f * std::log (2.0f) / 12.0f);
    while (expected < 6.0f)
        expected *= 2.0f;
    EXPECT_FLOAT_EQ (first.targetPeriod, expected * 4.0f);

    render (64); // glides there at the next control step
    EXPECT_FLOAT_EQ (first.period, first.targetPeriod);

    synth.noteOff (64);
    EXPECT_EQ (first.note, 60);

    // With no other key held, the sounding note is released.
    synth.noteOff (60);
    EXPECT_EQ (first.note, 0);
    EXPECT_EQ (first.ampState, 4);
}

TEST_F (SynthTest, FallbackIsPolyphonicOnlyInMonoMode)
{
    synth.monoMode = 8;
    setParameter ("Release", 10.0f);
    auto& first = start (0, 500.0f, 1.0f, 67);
    synth.voices[1].note = 64;

    synth.noteOff (67);
    EXPECT_EQ (first.note, 0);
    EXPECT_EQ (first.ampState, 4);
    EXPECT_EQ (synth.voices[1].note, 64);
}

TEST_F (SynthTest, ReleaseKeepsTheNoteAndResetKeepsTheAmplitudeEnvelope)
{
    setParameter ("Release", 10.0f);
    auto& voice = start (3, 500.0f, 1.0f, 70);
    voice.lfos[2].phase = 0.5f;
    render (3000);

    voice.release();
    EXPECT_EQ (voice.note, 70);
    EXPECT_EQ (voice.ampState, 4);
    EXPECT_EQ (voice.filterEnvTarget, 0.0f);
    EXPECT_EQ (voice.filterEnvCoef, voice.filterReleaseCoef);

    const float level = voice.ampLevel;
    voice.resetVoice();
    EXPECT_EQ (voice.note, 0);
    EXPECT_EQ (voice.phase, 0.0f);
    EXPECT_EQ (voice.subPhase, 0.0f);
    EXPECT_EQ (voice.lfos[2].phase, 0.0f);
    EXPECT_EQ (voice.stage1, 0.0);
    EXPECT_EQ (voice.stage4, 0.0);
    EXPECT_EQ (voice.startLevel, 0.0f);
    EXPECT_EQ (voice.filterEnvLevel, 0.0f);
    EXPECT_EQ (voice.filterEnvTarget, 0.0f);
    EXPECT_EQ (voice.filterEnvCoef, 0.0f);
    EXPECT_EQ (voice.ampState, 4);
    EXPECT_EQ (voice.ampLevel, level);
}

TEST_F (SynthTest, ControlStepRunsOnEveryThirtySecondSample)
{
    Synth fresh (*processor);
    EXPECT_EQ (fresh.controlCountdown, 32);

    // A fresh synth first runs its control step on the 32nd call, then on every 32nd.
    fresh.voices[0].startLevel = 1.0f;
    fresh.voices[0].targetPeriod = 200.0f;
    fresh.voices[0].period = 100.0f;
    fresh.glideCoefficient = 0.5f;
    fresh.voices[0].voiceGlideCoefficient = 0.5f;

    for (int call = 1; call <= 96; ++call)
    {
        fresh.updateParameters();
        const float expected = call < 32 ? 100.0f : (call < 64 ? 150.0f : (call < 96 ? 175.0f : 187.5f));
        ASSERT_EQ (fresh.voices[0].period, expected) << "call " << call;
    }

    // Reset sets the countdown to 0: the next call runs the step.
    fresh.controlCountdown = 0;
    fresh.updateParameters();
    EXPECT_EQ (fresh.voices[0].period, 193.75f);
}

TEST_F (SynthTest, ExtremeSettingsStayFiniteAndBounded)
{
    // Full resonance with the cut-off swept by four LFOs rings hard (peaks near 100) but stays bounded.
    juce::ScopedNoDenormals noDenormals;
    juce::Random random (1234);

    for (auto& cell : *grid)
        cell.store (random.nextFloat(), std::memory_order_relaxed);
    for (auto& table : processor->wavetableBuffers)
        fillTable (table, [&random] (int) { return random.nextFloat() * 2.0 - 1.0; });

    setParameter ("Q", 0.99f);
    setParameter ("Freq", 20000.0f);
    setParameter ("subBass", 0.99f);
    setParameter ("2OscType", 4.0f);
    setParameter ("subBassOc", 2.0f);
    setParameter ("fineTuneImg", 12.0f);
    setParameter ("Attack", 0.0f);
    setParameter ("Decay", 0.0f);
    setParameter ("Release", 100.0f);
    for (int i = 1; i <= 4; ++i)
    {
        setParameter ("LFOAmount" + juce::String (i), 1.0f);
        setParameter ("LFORate" + juce::String (i), 10.0f);
        setParameter ("LFOType" + juce::String (i), (float) (i % 5));
        setParameter ("Mod_LFO" + juce::String (i) + "_Freq", 1.0f);
    }

    const float periods[] = { 6.0f, 7.3f, 50.0f, 400.0f, 2000.0f, 9000.0f, 30000.0f, 100000.0f };
    for (int i = 0; i < 8; ++i)
        start (i, periods[i], 1.37924f, 40 + i);

    for (int block = 0; block < 200; ++block)
    {
        if (block % 50 == 25)
            setParameter ("HiFidel", block % 100 < 50 ? 1.0f : 0.0f);
        if (block == 100)
            for (int i = 0; i < 8; ++i)
                synth.noteOff (40 + i);

        synth.voices[3].scanCircle = block % 3 == 0;
        synth.voices[3].scanRow = (float) (block * 37 % 1024);

        const auto out = render (2048);
        for (auto sample : out)
        {
            ASSERT_TRUE (std::isfinite (sample)) << "block " << block;
            ASSERT_LT (std::abs (sample), 1000.0f) << "block " << block;
        }
    }
}

TEST_F (SynthTest, SilenceAndLongFilterReleasesLeaveNoSubnormals)
{
    // A uniform picture gives a silent table: with nothing coming in, the filter states decay towards 0.
    for (auto& table : processor->wavetableBuffers)
        table.clear();

    setParameter ("ReleaseFilter", 0.0f); // the fastest filter release
    setParameter ("Release", 100.0f);     // while the voice itself sounds on for 20 s
    auto& voice = start (0, 500.0f);
    synth.voices[0].stage1 = synth.voices[0].stage2 = synth.voices[0].stage3 = synth.voices[0].stage4 = 0.5;
    render (2048);
    synth.noteOff (60);

    const auto normalOrZero = [] (double x) { return x == 0.0 || std::abs (x) >= DBL_MIN; };

    for (int block = 0; block < 200; ++block)
    {
        render (2048);
        ASSERT_TRUE (voice.filterEnvLevel == 0.0f || std::abs (voice.filterEnvLevel) >= FLT_MIN) << block;
        ASSERT_TRUE (normalOrZero (voice.stage1) && normalOrZero (voice.stage2) && normalOrZero (voice.stage3)
                     && normalOrZero (voice.stage4))
            << block;
    }

    EXPECT_EQ (voice.ampState, 4);
    EXPECT_EQ (voice.filterEnvLevel, 0.0f);
}
