#pragma once

#include "processor/sound/Synth.h"

#include <JuceHeader.h>

#include <algorithm>

/** The output low-pass: one second-order low-pass over the voices' sum at the oversampled rate, designed as the
    framework designs it, with a state per output channel. The design itself, the coefficients and the rate and
    cut-off they were made for, is the processor's (its outputFilter, outputFilterRate and outputFilterCutoff);
    this keeps the channels' state and works the design out again when the rate changes.

    Both channels carry the same samples, filtered once, until a one-channel block advances channel 0 alone; from
    then on each channel keeps its own state, until the next reset. */
class OutputLowPass
{
public:
    using Filters = juce::dsp::IIR::Filter<float>[2];

    /** The processor's filters and the rate and cut-off they were designed for, which this designs. */
    OutputLowPass (Filters& processorFilters, double& processorRate, float& processorCutoff) noexcept :
        filters (processorFilters), designedRate (processorRate), designedCutoff (processorCutoff)
    {
    }

    /** Shares channel 0's coefficients with channel 1 and designs for sampleRate, so that no later design
        allocates. [thread that prepares the processor] */
    void prepare (double sampleRate, int oversamplingOrder)
    {
        filters[1].coefficients = filters[0].coefficients;
        update (sampleRate, oversamplingOrder);
    }

    /** Designs the low-pass for oversamplingOrder x sampleRate, cut off at 0.9 of sampleRate's Nyquist, unless it
        already is; a new design clears both channels' state. Does nothing while there is no rate yet.
        [audio thread, thread that prepares the processor] */
    void update (double sampleRate, int oversamplingOrder)
    {
        if (sampleRate <= 0.0)
            return;

        const auto rate = oversamplingOrder * sampleRate;
        const auto cutoff = (float) (sampleRate * 0.5 * 0.9);

        if (rate == designedRate && juce::approximatelyEqual (cutoff, designedCutoff))
            return;

        design (rate, cutoff);
    }

    /** The low-pass with the state of channel. [audio thread] */
    OutputFilter filterFor (int channel) const noexcept
    {
        const auto* coefficients = filters[0].coefficients->getRawCoefficients();
        OutputFilter filter;
        filter.b0 = coefficients[0];
        filter.b1 = coefficients[1];
        filter.b2 = coefficients[2];
        filter.a1 = coefficients[3];
        filter.a2 = coefficients[4];
        filter.lv1 = state[channel][0];
        filter.lv2 = state[channel][1];
        return filter;
    }

    /** Keeps filter's state as channel's, snapped to zero as the framework's filter leaves it. [audio thread] */
    void keepState (int channel, OutputFilter filter) noexcept
    {
        // The framework's filter snaps its state to zero at the end of every call over a piece.
        juce::dsp::util::snapToZero (filter.lv1);
        juce::dsp::util::snapToZero (filter.lv2);
        state[channel][0] = filter.lv1;
        state[channel][1] = filter.lv2;
    }

    /** True while channel 1 would hold the same state as channel 0. [audio thread] */
    bool channelsMatch() const noexcept { return channelsAlike; }

    /** From now on channel 1 keeps a state of its own, starting from channel 0's, as it would have had it been
        filtered all along. [audio thread] */
    void separateChannels() noexcept
    {
        std::copy (state[0], state[0] + 2, state[1]);
        channelsAlike = false;
    }

    /** Clears both channels' state; they match again. [audio thread, thread that prepares the processor] */
    void reset() noexcept
    {
        for (auto& channel : state)
            channel[0] = channel[1] = 0.0f;

        channelsAlike = true;
    }

private:
    void design (double rate, float cutoff);

    Filters& filters;
    double& designedRate;
    float& designedCutoff;

    /** lv1 and lv2 as the framework's second-order filter keeps them, per channel. */
    float state[2][2]{};
    bool channelsAlike = true;

    JUCE_DECLARE_NON_COPYABLE (OutputLowPass)
};
