#pragma once

// What a listener would hear in a stretch of samples: its level and its pitch. Free of JUCE and of lilv, so that every
// test program can use it, the real-host checks included.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace testing_helpers
{
/** The largest magnitude of count samples. */
inline float peak (const float* samples, std::size_t count)
{
    float result = 0.0f;
    for (std::size_t i = 0; i < count; ++i)
        result = std::max (result, std::abs (samples[i]));
    return result;
}

/** The largest magnitude of signal[from..]. */
inline float peak (const std::vector<float>& signal, std::size_t from = 0)
{
    return from >= signal.size() ? 0.0f : peak (signal.data() + from, signal.size() - from);
}

/** The root-mean-square level of count samples; 0 for none. */
inline double rms (const float* samples, std::size_t count)
{
    if (count == 0)
        return 0.0;

    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i)
        sum += (double) samples[i] * (double) samples[i];

    return std::sqrt (sum / (double) count);
}

/** The root-mean-square level of signal[from..]. */
inline double rms (const std::vector<float>& signal, std::size_t from = 0)
{
    return from >= signal.size() ? 0.0 : rms (signal.data() + from, signal.size() - from);
}

/** The frequency in Hz of a periodic signal from its rising zero crossings in signal[from..], each placed between
    its two samples; 0 when there are fewer than two. With rearmBelow above 0 a crossing counts only after the signal
    went below -rearmBelow since the last one, so that a waveform with steps (a table read without interpolation)
    that rests on zero starts no new cycle. */
inline double zeroCrossingFrequency (const std::vector<float>& signal,
                                     double sampleRate,
                                     std::size_t from = 0,
                                     float rearmBelow = 0.0f)
{
    double first = -1.0, last = -1.0;
    int crossings = 0;
    bool armed = false;

    for (std::size_t i = std::max<std::size_t> (1, from); i < signal.size(); ++i)
    {
        armed = armed || signal[i - 1] < -rearmBelow;

        if (armed && signal[i - 1] < 0.0f && signal[i] >= 0.0f)
        {
            const double t = (double) (i - 1) + signal[i - 1] / (double) (signal[i - 1] - signal[i]);
            if (first < 0.0)
                first = t;
            last = t;
            ++crossings;
            armed = false;
        }
    }

    return crossings < 2 ? 0.0 : (crossings - 1) * sampleRate / (last - first);
}

/** The fundamental frequency in Hz of a periodic stretch of samples, by the cumulative mean normalised difference
    of the YIN method: the shortest lag at which the signal nearly repeats itself. Unlike a spectrum peak it does not
    take a strong second harmonic for the fundamental. Returns 0 when the stretch is too short for the lowest
    frequency or holds no period between the two limits. */
inline double fundamentalFrequency (
    const float* samples, std::size_t count, double sampleRate, double lowestHz = 40.0, double highestHz = 2000.0)
{
    const auto longestLag = (std::size_t) std::ceil (sampleRate / lowestHz);
    const auto shortestLag = std::max<std::size_t> (2, (std::size_t) std::floor (sampleRate / highestHz));

    if (count < 2 * longestLag + 2 || shortestLag >= longestLag)
        return 0.0;

    const auto window = count - longestLag - 1;

    // difference[lag]: how far the signal is from repeating after lag samples.
    std::vector<double> difference (longestLag + 2, 0.0);
    for (std::size_t lag = 1; lag < difference.size(); ++lag)
    {
        double sum = 0.0;
        for (std::size_t i = 0; i < window; ++i)
        {
            const auto d = (double) samples[i] - (double) samples[i + lag];
            sum += d * d;
        }
        difference[lag] = sum;
    }

    // Normalised by the mean of the shorter lags, so that lag 0's trivial match is not a candidate.
    std::vector<double> normalised (difference.size(), 1.0);
    double runningSum = 0.0;
    for (std::size_t lag = 1; lag < difference.size(); ++lag)
    {
        runningSum += difference[lag];
        normalised[lag] = runningSum > 0.0 ? difference[lag] * (double) lag / runningSum : 1.0;
    }

    constexpr double threshold = 0.1;
    std::size_t best = 0;

    for (std::size_t lag = shortestLag; lag <= longestLag; ++lag)
    {
        if (normalised[lag] < threshold)
        {
            while (lag + 1 <= longestLag && normalised[lag + 1] < normalised[lag])
                ++lag;
            best = lag;
            break;
        }
    }

    if (best == 0)
    {
        // No clear repeat: the deepest dip, if it is a dip at all.
        best = shortestLag;
        for (std::size_t lag = shortestLag; lag <= longestLag; ++lag)
            if (normalised[lag] < normalised[best])
                best = lag;

        if (normalised[best] > 0.5)
            return 0.0;
    }

    // The dip lies between samples: a parabola through it and its neighbours.
    auto lag = (double) best;
    const auto before = normalised[best - 1], at = normalised[best], after = normalised[best + 1];
    const auto curvature = before - 2.0 * at + after;
    if (curvature > 0.0)
        lag += 0.5 * (before - after) / curvature;

    return sampleRate / lag;
}

/** The same for signal[from..]. */
inline double fundamentalFrequency (const std::vector<float>& signal, double sampleRate, std::size_t from = 0)
{
    return from >= signal.size() ? 0.0 : fundamentalFrequency (signal.data() + from, signal.size() - from, sampleRate);
}
} // namespace testing_helpers
