#pragma once

// A host's transport for the processor under test. Needs the framework but not the plug-in's code, so that the
// real-host checks can hand it to the plug-ins they open.

#include <JuceHeader.h>

#include <optional>

namespace testing_helpers
{
/** A position with or without a tempo (120 BPM unless told otherwise), or no position at all. */
class TestPlayHead : public juce::AudioPlayHead
{
public:
    juce::Optional<PositionInfo> getPosition() const override
    {
        if (!hasPosition)
            return {};

        PositionInfo info;
        if (tempo)
            info.setBpm (*tempo);
        if (timeInSamples)
        {
            info.setTimeInSamples (*timeInSamples);
            info.setIsPlaying (true);
        }
        return info;
    }

    bool hasPosition = true;
    std::optional<double> tempo = 120.0;
    /** Where the running timeline stands; none while the transport stands. */
    std::optional<juce::int64> timeInSamples;
};
} // namespace testing_helpers
