// The modal filter as a listener would hear it: each mode's resonator run on a signal, its ringing measured from
// the output. Nothing in the plug-in filters audio with it yet, so the tests run the resonator themselves, as the
// coefficients describe it: y[t] = b0·x[t] + b1·x[t−1] + b2·x[t−2] − a1·y[t−1] − a2·y[t−2].
#include "ProcessorHarness.h"
#include "processor/sound/Filter.h"

#include <cmath>
#include <cstdlib>

using testing_helpers::rms;
using testing_helpers::zeroCrossingFrequency;

namespace
{
constexpr double twoPi = 6.283185307179586;

/** One mode's output for input, run in double so that the measurement adds no rounding of its own. */
std::vector<float> modeOutput (const Mode& mode, const std::vector<float>& input)
{
    std::vector<float> output (input.size());
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;

    for (size_t t = 0; t < input.size(); ++t)
    {
        const double x = input[t];
        const double y = mode.b0 * x + mode.b1 * x1 + mode.b2 * x2 - mode.a1 * y1 - mode.a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        output[t] = (float) y;
    }

    return output;
}

/** The bank's output: every mode's output times its gain, summed. */
std::vector<float> bankOutput (const ModalFilter& filter, const std::vector<float>& input)
{
    std::vector<double> sum (input.size(), 0.0);
    for (const auto& mode : filter.modes)
    {
        const auto output = modeOutput (mode, input);
        for (size_t t = 0; t < sum.size(); ++t)
            sum[t] += mode.gain * output[t];
    }

    return { sum.begin(), sum.end() };
}

std::vector<float> impulse (double seconds, double sampleRate)
{
    std::vector<float> signal ((size_t) (seconds * sampleRate), 0.0f);
    signal[0] = 1.0f;
    return signal;
}

std::vector<float> sine (double hz, double seconds, double sampleRate)
{
    std::vector<float> signal ((size_t) (seconds * sampleRate));
    for (size_t t = 0; t < signal.size(); ++t)
        signal[t] = (float) std::sin (twoPi * hz * (double) t / sampleRate);
    return signal;
}

/** The time constant in seconds of a decaying ring: how fast the level of 0.1 s windows falls over 0.4 s. */
double decayTimeConstant (const std::vector<float>& ring, double sampleRate)
{
    const auto window = (size_t) (0.1 * sampleRate), gap = (size_t) (0.4 * sampleRate);
    return 0.4 / std::log (rms (ring.data(), window) / rms (ring.data() + gap, window));
}

/** The amplitude the bank settles at when driven by a sine: the peak of its last 0.1 s. */
double steadyAmplitude (const ModalFilter& filter, double hz, double sampleRate)
{
    const auto output = bankOutput (filter, sine (hz, 4.0, sampleRate));
    return testing_helpers::peak (output, output.size() - (size_t) (0.1 * sampleRate));
}

std::vector<float> frequenciesOf (const ModalFilter& filter)
{
    std::vector<float> result;
    for (const auto& mode : filter.modes)
        result.push_back (mode.frequency);
    return result;
}
} // namespace

TEST (ModalFilter, PreparedModesRingAtTheFirstEightHarmonicsOf220HzAndDieAwayAcrossTheSeries)
{
    for (const auto sampleRate : { 44100.0, 96000.0 })
    {
        SCOPED_TRACE (sampleRate);
        ModalFilter filter;
        filter.prepare (sampleRate);
        ASSERT_EQ (filter.modes.size(), 8u);

        for (size_t i = 0; i < 8; ++i)
        {
            SCOPED_TRACE ("mode " + std::to_string (i));
            const auto ring = modeOutput (filter.modes[i], impulse (0.6, sampleRate));
            const auto expectedHz = 220.0 * (double) (i + 1);
            EXPECT_NEAR (zeroCrossingFrequency (ring, sampleRate), expectedHz, expectedHz * 1.0e-4);

            // The first mode dies away with a time constant of 0.5 s, each later one a little faster, the last at
            // 0.8^(7/8) of it.
            const auto expectedDecay = 0.5 * std::pow (0.8, (double) i / 8.0);
            EXPECT_NEAR (decayTimeConstant (ring, sampleRate), expectedDecay, expectedDecay * 0.01);
        }
    }
}

TEST (ModalFilter, ThePreparedBankPassesItsModesEachAtOneOverRootEightAndStopsWhatLiesBetween)
{
    ModalFilter filter;
    filter.prepare (48000.0);

    // The bank rings at 220, 440, ... 1760 Hz and at nothing else.
    const auto ring = bankOutput (filter, impulse (1.0, 48000.0));
    const auto magnitudeAt = [&ring] (double hz)
    {
        double re = 0.0, im = 0.0;
        for (size_t t = 0; t < ring.size(); ++t)
        {
            re += ring[t] * std::cos (twoPi * hz * (double) t / 48000.0);
            im -= ring[t] * std::sin (twoPi * hz * (double) t / 48000.0);
        }
        return std::hypot (re, im);
    };

    for (int k = 1; k <= 8; ++k)
    {
        SCOPED_TRACE ("harmonic " + std::to_string (k));
        EXPECT_GT (magnitudeAt (220.0 * k), 20.0 * magnitudeAt (220.0 * k + 110.0));
        EXPECT_GT (magnitudeAt (220.0 * k), 20.0 * magnitudeAt (220.0 * k - 55.0));
    }
    EXPECT_GT (magnitudeAt (220.0), 20.0 * magnitudeAt (1980.0)) << "no ninth mode";

    // Driven at a mode, each resonator passes it whole, times the mode's share of the bank.
    for (int k : { 1, 5, 8 })
        EXPECT_NEAR (steadyAmplitude (filter, 220.0 * k, 48000.0), 1.0 / std::sqrt (8.0), 0.01) << "harmonic " << k;
    EXPECT_LT (steadyAmplitude (filter, 330.0, 48000.0), 0.01);
}

TEST (ModalFilter, APreparedProcessorTunesItsModesToTheHostsRate)
{
    block_testing::ProcessorHarness host (96000.0);
    const auto& filter = host.processor->modalFilter;
    ASSERT_EQ (filter.modes.size(), 8u);

    for (const size_t i : { 0u, 7u })
    {
        const auto ring = modeOutput (filter.modes[i], impulse (0.2, 96000.0));
        EXPECT_NEAR (zeroCrossingFrequency (ring, 96000.0), 220.0 * (double) (i + 1), 0.1) << "mode " << i;
    }
}

TEST (ModalFilter, PreparationResizesToEightAndClearsState)
{
    ModalFilter filter;
    filter.modes.resize (12);
    filter.modes[0].state1 = 3.0f;
    filter.seriesType = 3;
    filter.prepare (44100.0);
    EXPECT_EQ (filter.modes.size(), 8u);
    EXPECT_EQ (filter.modes[0].state1, 0.0f);
    EXPECT_EQ (filter.seriesType, 0);
    EXPECT_FLOAT_EQ (filter.modes[7].frequency, 1760.0f);
}

TEST (ModalFilter, SeriesTypesRingAtTheirRatiosOfTheBase)
{
    struct Case
    {
        int type;
        std::vector<double> ratios;
    };

    const Case cases[]{
        { 0, { 1, 2, 3, 4, 5, 6 } },
        { 1, { 1.2, 2.4, 3.0, 4.2, 5.4, 6.0 } },
        { 3, { 1.059463, 1.122462, 1.189207, 1.259921, 1.334840, 1.414214 } }, // one semitone after another
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.type);
        ModalFilter filter;
        filter.modes.resize (6); // new modes run at 44100 Hz
        filter.baseFrequency = 100.0f;
        filter.seriesType = c.type;
        filter.updateModeFrequencies();

        for (size_t i = 0; i < 6; ++i)
        {
            const auto ring = modeOutput (filter.modes[i], impulse (0.5, 44100.0));
            EXPECT_NEAR (zeroCrossingFrequency (ring, 44100.0), 100.0 * c.ratios[i], 0.05) << "mode " << i;
        }
    }

    // Six modes share the bank: each passes its own frequency at 1/sqrt(6).
    ModalFilter six;
    six.modes.resize (6);
    six.baseFrequency = 100.0f;
    six.updateModeFrequencies();
    EXPECT_NEAR (steadyAmplitude (six, 300.0, 44100.0), 1.0 / std::sqrt (6.0), 0.01);

    ModalFilter unknown;
    unknown.modes.resize (3);
    unknown.seriesType = 7;
    unknown.updateModeFrequencies();
    const auto ring = modeOutput (unknown.modes[2], impulse (0.5, 44100.0));
    EXPECT_NEAR (zeroCrossingFrequency (ring, 44100.0), 1000.0, 0.1) << "other types leave the frequencies as they are";
}

TEST (ModalFilter, RandomSeriesDrawsNewFrequenciesEveryTime)
{
    std::srand (1234);
    ModalFilter filter;
    filter.modes.resize (8);
    filter.baseFrequency = 200.0f;
    filter.seriesType = 2;

    filter.updateModeFrequencies();
    const auto first = frequenciesOf (filter);
    filter.updateModeFrequencies();
    const auto second = frequenciesOf (filter);

    EXPECT_NE (first, second);
    for (const auto frequency : first)
    {
        EXPECT_GE (frequency, 200.0f);
        EXPECT_LT (frequency, 300.0f);
    }
}

TEST (ModalFilter, ModesAboveHalfTheRateStillDieAway)
{
    ModalFilter filter;
    filter.prepare (44100.0);
    filter.baseFrequency = 9000.0f; // modes 3..8 lie above 22050 Hz
    filter.decay = 0.001f;
    filter.updateModeFrequencies();

    for (const auto& mode : filter.modes)
    {
        SCOPED_TRACE (mode.frequency);
        const auto ring = modeOutput (mode, impulse (0.05, 44100.0));
        for (const auto sample : ring)
            ASSERT_TRUE (std::isfinite (sample));

        EXPECT_LT (rms (ring.data() + ring.size() - 100, 100), rms (ring.data(), 100) * 1.0e-6);
    }
}
