#pragma once

#include <vector>

/** One two-pole resonator of the modal filter. */
struct Mode
{
    float sampleRate = 44100.0f;
    float frequency = 1000.0f;
    float decay = 0.1f;
    float gain = 1.0f;
    float a1 = 0.0f, a2 = 0.0f;
    float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f;
    float state1 = 0.0f, state2 = 0.0f;

    /** Recomputes the resonator coefficients from frequency, decay and sampleRate. */
    void updateCoefficients() noexcept;
};

/** A bank of resonators whose frequencies follow a series on one base frequency. */
class ModalFilter
{
public:
    /** Recomputes every mode's frequency, decay, gain and coefficients. */
    void updateModeFrequencies();
    /** Configures the bank for a new host sample rate. [thread that prepares the processor] */
    void prepare (double newSampleRate);

    std::vector<Mode> modes;
    int seriesType = 0;
    float baseFrequency = 100.0f;
    float decay = 0.5f;
    float decayRatio = 1.0f;
    float sampleRate = 44100.0f;
};
