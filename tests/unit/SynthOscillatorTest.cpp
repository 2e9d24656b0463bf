#include "SynthFixtures.h"

using namespace synth_testing;

namespace
{
/** Silences a voice again so that the next case of a table starts from scratch. */
void silence (Voice& voice)
{
    voice.resetVoice();
    voice.ampState = 0;
    voice.ampLevel = 0.0f;
}
} // namespace

TEST_F (SynthTest, PictureOscillatorSoundsThePeriodItIsGiven)
{
    struct Case
    {
        const char* what;
        float period;      // voice samples per cycle
        float fineTuneImg; // semitones
        float pitchBend;   // factor on the period
        double expectedHz;
    };

    const Case cases[] = {
        { "A at 440 Hz", voiceRate / 440.0f, 0.0f, 1.0f, 440.0 },
        { "long period", 1920.0f, 0.0f, 1.0f, 100.0 },
        { "fine tune up an octave", 1920.0f, 12.0f, 1.0f, 200.0 },
        { "fine tune down seven semitones", 1920.0f, -7.0f, 1.0f, 100.0 * std::pow (2.0, -7.0 / 12.0) },
        { "pitch bend halves the period", 1920.0f, 0.0f, 0.5f, 200.0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        setParameter ("fineTuneImg", c.fineTuneImg);
        synth.pitchBend = c.pitchBend;
        auto& voice = start (0, c.period);

        const auto out = renderInBlocks ((int) voiceRate / 2);
        EXPECT_NEAR (zeroCrossingFrequency (out, voiceRate, 20000), c.expectedHz, c.expectedHz * 1.0e-4);

        silence (voice);
    }
}

TEST (WaveTableList, BasicShapesAtTheirLandmarks)
{
    WaveTableList list;

    struct Case
    {
        const char* shape;
        float (WaveTableList::*evaluate) (int) const noexcept;
        int u;
        float expected;
    };

    const Case cases[] = {
        { "sine", &WaveTableList::sine, 0, 0.0f },
        { "sine", &WaveTableList::sine, 128, 1.0f },
        { "sine", &WaveTableList::sine, 384, -1.0f },
        { "saw", &WaveTableList::saw, 0, -1.0f },
        { "saw", &WaveTableList::saw, 256, 0.0f },
        { "saw", &WaveTableList::saw, 511, 2.0f * 511 / 512 - 1.0f },
        { "triangle", &WaveTableList::triangle, 0, 1.0f },
        { "triangle", &WaveTableList::triangle, 128, 0.0f },
        { "triangle", &WaveTableList::triangle, 256, -1.0f },
        { "triangle", &WaveTableList::triangle, 384, 0.0f },
        { "square", &WaveTableList::square, 0, 1.0f },
        { "square", &WaveTableList::square, 255, 1.0f },
        { "square", &WaveTableList::square, 256, -1.0f },
        { "square", &WaveTableList::square, 511, -1.0f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.shape) + " at " + juce::String (c.u));
        EXPECT_NEAR ((list.*c.evaluate) (c.u), c.expected, 1.0e-6f);
    }

    // Noise is a fresh draw at every evaluation, centred on 0.
    float previous = list.noise();
    for (int i = 0; i < 100; ++i)
    {
        const float value = list.noise();
        EXPECT_GE (value, -0.5f);
        EXPECT_LT (value, 0.5f);
        EXPECT_NE (value, previous);
        previous = value;
    }
}

TEST_F (SynthTest, PictureReadNeverInterpolatesFromTheLastPointBackToTheFirst)
{
    // A rising ramp: read over 511 steps it rises to its last point and falls at once at the wrap;
    // interpolating 511 -> 0 would spread the fall over a whole step of the table.
    fillTable (processor->wavetableBuffers[0], [] (int k) { return k / 511.0; });
    setParameter ("Freq", 20000.0f);
    start (0, 5110.0f); // ten voice samples per table step

    const auto out = renderInBlocks (5110 * 6);
    float low = 1.0f, high = -1.0f, steepestFall = 0.0f;
    for (size_t i = 5110 * 3; i < out.size(); ++i)
    {
        low = std::min (low, out[i]);
        high = std::max (high, out[i]);
        steepestFall = std::max (steepestFall, out[i - 1] - out[i]);
    }

    EXPECT_NEAR (high - low, 0.2f, 0.01f);
    EXPECT_GT (steepestFall, 0.5f * (high - low));
}

TEST_F (SynthTest, HiFidelLineWalksAPictureRowAtThePeriodWithoutFineTune)
{
    // Row 100 and row 511 hold one sine cycle from left to right; every other row is black.
    for (int x = 0; x < 512; ++x)
    {
        const auto value = (float) std::sin (2.0 * juce::MathConstants<double>::pi * x / 512.0);
        (*grid)[(size_t) (x * 512 + 100)] = value;
        (*grid)[(size_t) (x * 512 + 511)] = value;
    }

    setParameter ("HiFidel", 1.0f);
    setParameter ("fineTuneImg", 12.0f); // has no effect on the grid read
    setParameter ("subBass", 0.9f);      // nor has the second oscillator

    struct Case
    {
        float scanRow;
        float expectedPeak; // before the envelope: 0.2 x the row mix
    };

    const Case
        cases[] = { { 100.0f, 0.2f }, { 100.25f, 0.15f }, { 99.5f, 0.1f },
                    { 300.0f, 0.0f }, { 511.0f, 0.2f },   { 700.0f, 0.2f } /* beyond the picture: its last row */ };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.scanRow);
        auto& voice = start (0, 1920.0f);
        voice.scanRow = c.scanRow;
        voice.velocityGain = 0.5f; // the grid read ignores it

        const auto out = renderInBlocks (1920 * 20);
        EXPECT_NEAR (peak (out, 1920 * 10), c.expectedPeak, 0.004f);

        if (c.expectedPeak > 0.0f)
        {
            EXPECT_NEAR (zeroCrossingFrequency (out, voiceRate, 1920 * 10), 100.0, 0.01);
        }
        else
        {
            EXPECT_EQ (peak (out), 0.0f);
        }

        silence (voice);
    }
}

TEST_F (SynthTest, HiFidelCircleRunsClockwiseFromTheRightOfTheTruncatedCentre)
{
    struct Case
    {
        const char* what;
        std::function<bool (int, int)> bright; // of grid column x and row y
        float centreX, centreY, diameter;
        std::vector<float> brightAt, darkAt; // phases (radians)
    };

    const Case cases[] = {
        { "right half", [] (int x, int) { return x > 256; }, 256.9f, 256.9f, 100.0f, { 0.8f, 5.5f }, { 2.4f, 4.0f } },
        { "lower half", [] (int, int y) { return y > 256; }, 256.9f, 256.9f, 100.0f, { 0.8f, 2.4f }, { 4.0f, 5.5f } },
        { "radius 0 reads the truncated centre only",
          [] (int x, int y) { return x == 256 && y == 256; },
          256.9f,
          256.9f,
          0.0f,
          { 0.8f, 4.0f },
          {} },
        { "pinned to the left edge",
          [] (int x, int) { return x == 0; },
          10.0f,
          256.0f,
          100.0f,
          { 3.14f },
          { 0.3f, 5.9f } },
    };

    setParameter ("HiFidel", 1.0f);

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        for (int x = 0; x < 512; ++x)
            for (int y = 0; y < 512; ++y)
                (*grid)[(size_t) (x * 512 + y)] = c.bright (x, y) ? 1.0f : 0.0f;

        auto& voice = start (0, 19200.0f);
        voice.scanCircle = true;
        voice.scanRow = c.diameter;
        voice.scanCentre[0] = c.centreX;
        voice.scanCentre[1] = c.centreY;

        renderInBlocks (19200);
        const auto cycle = renderWithPhase (0, 19200);

        const auto valueNear = [&cycle] (float phase)
        {
            for (const auto& s : cycle)
                if (std::abs (s.phase - phase) < 0.001f)
                    return s.out;
            ADD_FAILURE() << "no sample near phase " << phase;
            return 0.0f;
        };

        for (auto phase : c.brightAt)
            EXPECT_NEAR (valueNear (phase), 0.2f, 0.01f) << "phase " << phase;
        for (auto phase : c.darkAt)
            EXPECT_NEAR (valueNear (phase), 0.0f, 0.01f) << "phase " << phase;

        silence (voice);
    }
}

TEST_F (SynthTest, SecondOscillatorShapesOctavesAndSilence)
{
    for (auto& table : processor->wavetableBuffers)
        table.clear(); // only the second oscillator sounds

    setParameter ("subBass", 0.8f);

    struct Case
    {
        const char* what;
        float shape;    // current value of "2OscType"
        float octave;   // raw "subBassOc": choices "-1", "0", "1"
        float fineTune; // "fineTuneMain"
        double expectedRms;
        double expectedHz; // 0: not periodic or silent
    };

    const double level = 0.8 * 0.0625;
    const Case cases[] = {
        { "sine", 0.0f, 0.0f, 0.0f, level / std::sqrt (2.0), 100.0 },
        { "saw", 1.0f, 0.0f, 0.0f, level / std::sqrt (3.0), 0.0 },
        { "square", 2.0f, 0.0f, 0.0f, level, 100.0 },
        { "triangle", 3.0f, 0.0f, 0.0f, level / std::sqrt (3.0), 100.0 },
        { "sine, octave 0", 0.0f, 1.0f, 0.0f, level / std::sqrt (2.0), 200.0 },
        { "sine, octave 1", 0.0f, 2.0f, 0.0f, level / std::sqrt (2.0), 400.0 },
        { "sine, fine tune", 0.0f, 0.0f, 5.0f, level / std::sqrt (2.0), 100.0 * std::pow (2.0, 5.0 / 12.0) },
        { "noise", 4.0f, 0.0f, 0.0f, -1.0, 0.0 },
        { "shape out of range", 5.0f, 0.0f, 0.0f, 0.0, 0.0 },
        { "negative shape", -1.0f, 0.0f, 0.0f, 0.0, 0.0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        setParameter ("subBassOc", c.octave);
        setParameter ("fineTuneMain", c.fineTune);
        processor->globalSynthConfigs[GlobalIndex::oscType].currentValue = c.shape;

        auto& voice = start (0, 1920.0f);
        renderInBlocks (1920 * 5);
        const auto out = renderInBlocks (1920 * 20);

        if (c.expectedRms >= 0.0)
        {
            EXPECT_NEAR (rms (out), c.expectedRms, 0.02 * level + 1.0e-9);
        }
        else
        {
            EXPECT_GT (rms (out), 0.1 * level);
        }

        if (c.expectedHz > 0.0)
        {
            EXPECT_NEAR (zeroCrossingFrequency (out, voiceRate), c.expectedHz, c.expectedHz * 1.0e-3);
        }

        silence (voice);
    }
}

TEST_F (SynthTest, NoiseDrawsOnceForEverySampleOfTheSecondOscillator)
{
    setParameter ("subBass", 0.5f);
    setParameter ("2OscType", 4.0f);
    start (0, 1000.0f);
    renderInBlocks (64); // past the first control step, which sets the level

    auto& random = synth.waveTables.random;
    juce::Random expected (random.getSeed());
    renderInBlocks (1000);

    for (int i = 0; i < 1000; ++i)
        expected.nextDouble();

    EXPECT_EQ (random.getSeed(), expected.getSeed());
}
