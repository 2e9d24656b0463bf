#pragma once

#include <JuceHeader.h>

#include <cstdint>
#include <optional>

/** When a host renders offline, the audio thread makes the picture's transform passes itself, in step with the
    audio rather than the image thread's clock. This decides, block by block, whether a pass is due: at the first
    offline block since prepare or since a real-time block, at the first block after a picture was swapped in or
    dropped, and otherwise, while the host's timeline runs, at the first block that starts in another stretch of
    interval() samples of the timeline, or, while it stands, once interval() samples have been rendered since the
    last pass. [audio thread; prepare on the prepare thread] */
class OfflinePassSchedule
{
public:
    /** Starts afresh: the next offline block makes a pass. Passes fall 33 ms apart, rounded, as the image thread
        waits between its passes. */
    void prepare (double sampleRate) noexcept;

    /** A block rendered in real time: the next offline block makes a pass. */
    void realTimeBlock() noexcept { renderedOffline = false; }

    /** Whether the offline block of numSamples samples that starts at timelineSample on the host's running
        timeline (none while it stands) makes a pass before it is rendered; swaps counts the pictures swapped in
        or dropped so far. Counts the block as rendered. */
    bool isPassDue (int numSamples, std::uint32_t swaps, std::optional<juce::int64> timelineSample) noexcept;

    /** Host samples between two passes. */
    int interval() const noexcept { return passInterval; }

private:
    int passInterval = 1455;
    int samplesSincePass = 0;
    /** False until an offline block has run since prepare, and again after each real-time block. */
    bool renderedOffline = false;
    /** The swaps count as the last pass found it. */
    std::uint32_t passSwaps = 0;
    /** The stretch of the timeline the last offline block started in; none while the timeline stands. */
    std::optional<juce::int64> passStretch;
};
