#include "Filter.h"

#include <cmath>
#include <cstdlib>

namespace
{
constexpr float twoPi = 6.2831855f;
constexpr int numPreparedModes = 8;
} // namespace

void Mode::updateCoefficients() noexcept
{
    const auto w = twoPi * frequency / sampleRate;
    const auto r = std::exp (-1.0f / (decay * sampleRate));

    a1 = -2.0f * r * std::cos (w);
    a2 = r * r;
    b0 = (1.0f - r * r) * 0.5f;
    b1 = 0.0f;
    b2 = -b0;
}

void ModalFilter::updateModeFrequencies()
{
    const auto n = (int) modes.size();
    if (n == 0)
        return;

    for (int k = 1; k <= n; ++k)
    {
        auto& frequency = modes[(size_t) (k - 1)].frequency;

        switch (seriesType)
        {
            case 0:
                frequency = (float) k * baseFrequency;
                break;
            case 1:
                frequency = ((float) k + 0.2f * (float) (k % 3)) * baseFrequency;
                break;
            case 2:
                frequency = baseFrequency * (1.0f + 0.5f * (float) std::rand() / 2147483648.0f);
                break;
            case 3:
                frequency = baseFrequency * std::pow (2.0f, (float) k / 12.0f);
                break;
            default:
                break;
        }
    }

    const auto gain = 1.0f / std::sqrt ((float) n);

    for (int i = 0; i < n; ++i)
    {
        auto& mode = modes[(size_t) i];
        mode.gain = gain;
        mode.decay = decay * std::pow (decayRatio, (float) i / (float) n);
        mode.updateCoefficients();
    }
}

void ModalFilter::prepare (double newSampleRate)
{
    sampleRate = (float) newSampleRate;
    updateModeFrequencies();

    modes.resize (numPreparedModes);

    for (auto& mode : modes)
    {
        mode.sampleRate = (float) newSampleRate;
        mode.updateCoefficients();
        mode.state1 = 0.0f;
        mode.state2 = 0.0f;
    }

    updateModeFrequencies();
    baseFrequency = 220.0f;
    updateModeFrequencies();
    seriesType = 0;
    updateModeFrequencies();
    decay = 0.5f;
    updateModeFrequencies();
    decayRatio = 0.8f;
    updateModeFrequencies();
}
