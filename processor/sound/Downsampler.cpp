#include "Downsampler.h"

namespace
{
// Outputs computed side by side; the history buffers carry this much room behind the block for the last group.
constexpr int group = 16;
} // namespace

Downsampler::Downsampler (int numStages)
{
    jassert (numStages >= 1 && numStages <= 3);
    stages.resize ((size_t) numStages);

    // The framework's design for stage n of a maximum-quality equiripple oversampler, and its latency figure.
    size_t order = 1;

    for (int n = 0; n < numStages; ++n)
    {
        const auto twUp = 0.10f * (n == 0 ? 0.5f : 1.0f);
        const auto twDown = 0.12f * (n == 0 ? 0.5f : 1.0f);
        const auto dBUp = -90.0f + 10.0f * (float) n;
        const auto dBDown = -75.0f + 10.0f * (float) n;

        const auto up = juce::dsp::FilterDesign<float>::designFIRLowpassHalfBandEquirippleMethod (twUp, dBUp);
        const auto down = juce::dsp::FilterDesign<float>::designFIRLowpassHalfBandEquirippleMethod (twDown, dBDown);

        auto& stage = stages[(size_t) n];
        stage.length = (int) down->getFilterOrder() + 1;
        stage.fir.assign (down->getRawCoefficients(), down->getRawCoefficients() + stage.length);
        stage.evenHistory = stage.length / 2;
        stage.oddHistory = stage.length / 4 + 1;

        order *= 2;
        const auto stageLatency = static_cast<float> (up->getFilterOrder() + down->getFilterOrder()) * 0.5f;
        uncompensatedLatency += stageLatency / static_cast<float> (order);
    }

    fractionalDelay = 1.0f - (uncompensatedLatency - std::floor (uncompensatedLatency));

    if (fractionalDelay == 1.0f)
        fractionalDelay = 0.0f;
    else if (fractionalDelay < 0.618f)
        fractionalDelay += 1.0f;

    // The delay line's own set-up for that delay, as the framework's does it.
    const auto delayTime = juce::jlimit (0.0f, (float) (LatencyDelay::size - 1), fractionalDelay);
    delayWhole = static_cast<int> (std::floor (delayTime));
    delayFraction = delayTime - (float) delayWhole;

    if (delayFraction < 0.618f && delayWhole >= 1)
    {
        delayFraction++;
        delayWhole--;
    }

    delayAlpha = (1 - delayFraction) / (1 + delayFraction);
}

void Downsampler::prepare (int maximumHostBlock)
{
    maximumBlock = juce::jmax (1, maximumHostBlock);

    for (size_t n = 0; n < stages.size(); ++n)
    {
        auto& stage = stages[n];
        // Stage n puts out 2^n samples for every host sample.
        const auto outputs = maximumBlock << n;

        for (int channel = 0; channel < numChannels; ++channel)
        {
            stage.even[(size_t) channel].assign ((size_t) (stage.evenHistory + outputs + group), 0.0f);
            stage.odd[(size_t) channel].assign ((size_t) (stage.oddHistory + outputs + group), 0.0f);
        }

        // The output of stage n + 1, two samples for every output of this one.
        stage.input.assign ((size_t) (2 * outputs), 0.0f);
    }

    reset();
}

void Downsampler::reset() noexcept
{
    for (auto& stage : stages)
        for (int channel = 0; channel < numChannels; ++channel)
        {
            std::fill (stage.even[(size_t) channel].begin(), stage.even[(size_t) channel].end(), 0.0f);
            std::fill (stage.odd[(size_t) channel].begin(), stage.odd[(size_t) channel].end(), 0.0f);
        }

    for (auto& line : delays)
        line = {};

    channelsAlike = true;
}

void Downsampler::separateChannels() noexcept
{
    for (auto& stage : stages)
    {
        std::copy (stage.even[0].begin(), stage.even[0].end(), stage.even[1].begin());
        std::copy (stage.odd[0].begin(), stage.odd[0].end(), stage.odd[1].begin());
    }

    delays[1] = delays[0];
    channelsAlike = false;
}

void Downsampler::process (int channel, const float* input, float* output, int numHostSamples) noexcept
{
    jassert (juce::isPositiveAndBelow (channel, numChannels) && numHostSamples <= maximumBlock);

    if (numHostSamples <= 0)
        return;

    // From the full rate down, as the framework does: the last stage first.
    const float* stageInput = input;

    for (int n = (int) stages.size() - 1; n >= 0; --n)
    {
        auto& stage = stages[(size_t) n];
        float* stageOutput = n == 0 ? output : stages[(size_t) n - 1].input.data();
        processStage (stage, channel, stageInput, stageOutput, numHostSamples << n);
        stageInput = stageOutput;
    }

    if (fractionalDelay > 0.0f)
        delay (delays[(size_t) channel], output, numHostSamples);
}

void Downsampler::delay (LatencyDelay& line, float* samples, int numSamples) const noexcept
{
    constexpr int size = LatencyDelay::size;

    // In locals: the output may share memory with nothing of the line, but the compiler cannot know that, and the
    // one chain from output to output must not wait on a store and a load.
    auto writePosition = line.writePosition, readPosition = line.readPosition;
    auto last = line.last;
    const auto whole = delayWhole;
    const auto fraction = delayFraction, alpha = delayAlpha;

    for (int i = 0; i < numSamples; ++i)
    {
        // Positions step back by one around the ring; an index is at most 2 * size - 1 before it wraps.
        line.samples[writePosition] = samples[i];
        writePosition = writePosition == 0 ? size - 1 : writePosition - 1;

        auto index1 = readPosition + whole;
        auto index2 = index1 + 1;

        if (index2 >= size)
        {
            index1 = index1 >= size ? index1 - size : index1;
            index2 = index2 >= size ? index2 - size : index2;
        }

        const auto value1 = line.samples[index1];
        const auto value2 = line.samples[index2];
        const auto output = fraction == 0 ? value1 : value2 + alpha * (value1 - last);
        last = output;
        samples[i] = output;

        readPosition = readPosition == 0 ? size - 1 : readPosition - 1;
    }

    line.writePosition = writePosition;
    line.readPosition = readPosition;
    line.last = last;
}

namespace
{
/** Output i of a stage: the framework's sum, term by term in its order: the pairs of taps k and length - 1 - k for
    even k below half, then the centre tap on the odd sample that entered quarter + 1 outputs earlier. `even` and
    `odd` point at the block's first sample, with the history in front of it. */
__attribute__ ((always_inline)) inline void
sumStage (const float* fir, int length, const float* even, const float* odd, float* output, int numOutputs) noexcept
{
    const int half = length / 2;
    const int quarter = half / 2;

    // The group's outputs in vectors of eight, each lane doing the scalar sum's operations in its order.
    typedef float Eight __attribute__ ((vector_size (32)));
    constexpr int vectors = group / 8;
    static_assert (group % 8 == 0);

    // Through a reference, not a return value: a plain build has no registers of this width to return it in.
    const auto load = [] (Eight& v, const float* p) { std::memcpy (&v, p, sizeof (v)); };

    for (int first = 0; first < numOutputs; first += group)
    {
        Eight sums[vectors]{};

        // Tap k pairs the sample (length - 1 - k) / 2 back with the one k / 2 back: each step of k by 2 moves the
        // older one forward by one sample and the newer one back by one.
        const float* older = even + first - (length - 1) / 2;
        const float* newer = even + first;

        for (int k = 0; k < half; k += 2, ++older, --newer)
        {
            const float tap = fir[k];

            for (int v = 0; v < vectors; ++v)
            {
                Eight olderSamples, newerSamples;
                load (olderSamples, older + 8 * v);
                load (newerSamples, newer + 8 * v);
                sums[v] += (olderSamples + newerSamples) * tap;
            }
        }

        const float centre = fir[half];
        const float* delayedOdd = odd + first - (quarter + 1);

        for (int v = 0; v < vectors; ++v)
        {
            Eight oddSamples;
            load (oddSamples, delayedOdd + 8 * v);
            sums[v] += oddSamples * centre;
        }

        float sum[group];
        std::memcpy (sum, sums, sizeof (sum));

        const int count = numOutputs - first < group ? numOutputs - first : group;
        for (int j = 0; j < count; ++j)
            output[first + j] = sum[j];
    }
}

void sumStagePlain (
    const float* fir, int length, const float* even, const float* odd, float* output, int numOutputs) noexcept
{
    sumStage (fir, length, even, odd, output, numOutputs);
}

#if defined(__x86_64__) && defined(__GNUC__)
#define OSTREL_WIDE_DOWNSAMPLER 1

// The same sums on 256-bit vectors.
__attribute__ ((target ("avx2"))) void
sumStageAvx2 (const float* fir, int length, const float* even, const float* odd, float* output, int numOutputs) noexcept
{
    sumStage (fir, length, even, odd, output, numOutputs);
}
#endif
} // namespace

bool Downsampler::canUseWideVectors() noexcept
{
#ifdef OSTREL_WIDE_DOWNSAMPLER
    __builtin_cpu_init();
    return __builtin_cpu_supports ("avx2");
#else
    return false;
#endif
}

void Downsampler::useWideVectors (bool shouldUse) noexcept { wideVectors = shouldUse && canUseWideVectors(); }

void Downsampler::processStage (Stage& stage, int channel, const float* input, float* output, int numOutputs) noexcept
{
    auto* even = stage.even[(size_t) channel].data();
    auto* odd = stage.odd[(size_t) channel].data();

    for (int i = 0; i < numOutputs; ++i)
    {
        even[stage.evenHistory + i] = input[2 * i];
        odd[stage.oddHistory + i] = input[2 * i + 1];
    }

#ifdef OSTREL_WIDE_DOWNSAMPLER
    if (wideVectors)
        sumStageAvx2 (stage.fir.data(),
                      stage.length,
                      even + stage.evenHistory,
                      odd + stage.oddHistory,
                      output,
                      numOutputs);
    else
#endif
        sumStagePlain (stage.fir.data(),
                       stage.length,
                       even + stage.evenHistory,
                       odd + stage.oddHistory,
                       output,
                       numOutputs);

    // The newest samples become the history of the next block.
    std::copy (even + numOutputs, even + numOutputs + stage.evenHistory, even);
    std::copy (odd + numOutputs, odd + numOutputs + stage.oddHistory, odd);
}
