#pragma once

#include <JuceHeader.h>

#include <array>
#include <vector>

/** The down path of the framework's half-band FIR oversampler (equiripple, maximum quality, integer latency),
    for one to three stages: the same coefficients, the same terms summed in the same order and the same
    latency compensation, so every output sample is the framework's. The framework shifts each filter's state by
    two samples for every output sample; here each stage keeps a history in front of the block instead, and
    computes its outputs side by side. */
class Downsampler
{
public:
    static constexpr int numChannels = 2;

    /** factor 2^numStages. [thread that constructs the processor] */
    explicit Downsampler (int numStages);

    /** Sizes every buffer for blocks of up to maximumHostBlock host samples and clears the state.
        [thread that prepares the processor] */
    void prepare (int maximumHostBlock);
    /** Clears every filter and the latency delay. [thread that prepares the processor, audio thread] */
    void reset() noexcept;

    /** Filters factor x numHostSamples samples of input down to numHostSamples samples of output through the
        state of channel; numHostSamples at most the prepared block size. [audio thread] */
    void process (int channel, const float* input, float* output, int numHostSamples) noexcept;

    /** True from every reset until separateChannels: channel 1's state is then channel 0's, whether or not it
        was ever processed. */
    bool channelsMatch() const noexcept { return channelsAlike; }
    /** Gives channel 1 channel 0's state, so that each can go on alone. [audio thread] */
    void separateChannels() noexcept;

    /** True when this CPU runs the filters on 256-bit vectors (AVX2); they give the same samples either way. */
    static bool canUseWideVectors() noexcept;
    /** Filters on 256-bit vectors from now on when the CPU can (it does from construction). [audio thread] */
    void useWideVectors (bool shouldUse) noexcept;

    int getFactor() const noexcept { return 1 << (int) stages.size(); }
    bool isPrepared() const noexcept { return maximumBlock > 0; }
    /** The framework's figure for the same oversampler, integer latency included. */
    float getLatencyInSamples() const noexcept { return uncompensatedLatency + fractionalDelay; }

private:
    /** One 2 x stage: the filter taps it uses, and per channel the even and odd input samples of the block
        behind the history the filter reaches back into. */
    struct Stage
    {
        std::vector<float> fir;
        int length = 0; // taps, odd
        int evenHistory = 0, oddHistory = 0;
        std::array<std::vector<float>, numChannels> even, odd;
        std::vector<float> input; // this stage's input, the output of the stage above it (not used by the last)
    };

    void processStage (Stage& stage, int channel, const float* input, float* output, int numOutputs) noexcept;

    std::vector<Stage> stages; // stages[0] works at twice the host rate, stages.back() at the full rate
    /** The framework's Thiran-interpolated delay line of up to 8 samples, one channel. */
    struct LatencyDelay
    {
        static constexpr int size = 9;
        float samples[size]{};
        int writePosition = 0, readPosition = 0;
        float last = 0.0f;
    };

    void delay (LatencyDelay& line, float* samples, int numSamples) const noexcept;

    std::array<LatencyDelay, numChannels> delays;
    int delayWhole = 0;
    float delayFraction = 0.0f, delayAlpha = 0.0f;
    float uncompensatedLatency = 0.0f, fractionalDelay = 0.0f;
    int maximumBlock = 0;
    bool channelsAlike = true;
    bool wideVectors = canUseWideVectors();
};
