#include "OutputLowPass.h"

void OutputLowPass::design (double rate, float cutoff)
{
    // Written into the shared coefficient object, which has room for them: no allocation.
    *filters[0].coefficients = juce::dsp::IIR::ArrayCoefficients<float>::makeLowPass (rate, cutoff, 0.707f);
    filters[1].coefficients = filters[0].coefficients;
    reset();

    designedRate = rate;
    designedCutoff = cutoff;
}
