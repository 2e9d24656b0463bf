#include "OfflinePassSchedule.h"

void OfflinePassSchedule::prepare (double sampleRate) noexcept
{
    passInterval = juce::jmax (1, juce::roundToInt (0.033 * sampleRate));
    samplesSincePass = 0;
    renderedOffline = false;
}

bool OfflinePassSchedule::isPassDue (int numSamples,
                                     std::uint32_t swaps,
                                     std::optional<juce::int64> timelineSample) noexcept
{
    auto due = !renderedOffline || swaps != passSwaps;

    if (timelineSample.has_value())
    {
        // On a running timeline the passes fall on its own stretches, so that a render of a stretch of the
        // timeline does not depend on how many blocks the host ran before it (a host's pre-roll varies).
        const auto stretch =
            *timelineSample >= 0 ? *timelineSample / passInterval : -((-*timelineSample - 1) / passInterval) - 1;
        due = due || !passStretch.has_value() || stretch != *passStretch;
        passStretch = stretch;
    }
    else
    {
        due = due || samplesSincePass >= passInterval;
        passStretch.reset();
    }

    if (due)
    {
        passSwaps = swaps;
        samplesSincePass = 0;
    }

    renderedOffline = true;
    samplesSincePass += numSamples;
    return due;
}
