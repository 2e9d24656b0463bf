// When the audio thread makes the picture's passes for an offline render, block by block.
#include "processor/picture/OfflinePassSchedule.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
constexpr auto none = std::nullopt;

struct Block
{
    int numSamples;
    std::uint32_t swaps;
    std::optional<juce::int64> timelineSample;
    bool due;
    bool realTimeBefore = false; // a real-time block comes first
};
} // namespace

TEST (OfflinePassSchedule, APassIsDueAtTheFirstBlockAfterAChangeAndOncePerStretchOfTime)
{
    struct Case
    {
        const char* name;
        std::vector<Block> blocks; // at 1 kHz: passes 33 samples apart
    };

    const Case cases[]{
        { "a standing timeline: once 33 samples have been rendered since the last pass",
          { { 10, 0, none, true },
            { 10, 0, none, false },
            { 10, 0, none, false },
            { 10, 0, none, false }, // 30 samples since the pass
            { 40, 0, none, true },
            { 32, 0, none, true },
            { 1, 0, none, false },
            { 1, 0, none, true } } },
        { "a picture swapped in or dropped",
          { { 10, 0, none, true }, { 10, 1, none, true }, { 10, 1, none, false }, { 10, 3, none, true } } },
        { "a real-time block between offline ones",
          { { 10, 0, none, true }, { 10, 0, none, true, true }, { 10, 0, none, false } } },
        { "a running timeline: at each block that starts in another stretch of 33 samples",
          { { 10, 0, 0, true },
            { 10, 0, 10, false },
            { 10, 0, 32, false },
            { 10, 0, 33, true },
            { 100, 0, 65, false },
            { 10, 0, 66, true },
            { 10, 0, 40, true } } },
        { "before the timeline's start, the stretches are whole too",
          { { 1, 0, -34, true }, { 1, 0, -33, true }, { 1, 0, -1, false }, { 1, 0, 0, true } } },
        { "the timeline stopping and starting",
          { { 10, 0, 5, true },
            { 10, 0, none, false },
            { 13, 0, none, false },
            { 10, 0, none, true }, // 33 samples since the pass, counted on the running timeline too
            { 10, 0, 6, true },
            { 10, 0, 7, false } } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        OfflinePassSchedule schedule;
        schedule.prepare (1000.0);
        ASSERT_EQ (schedule.interval(), 33);

        for (size_t i = 0; i < c.blocks.size(); ++i)
        {
            const auto& block = c.blocks[i];
            if (block.realTimeBefore)
                schedule.realTimeBlock();

            EXPECT_EQ (schedule.isPassDue (block.numSamples, block.swaps, block.timelineSample), block.due)
                << "block " << i;
        }
    }
}

TEST (OfflinePassSchedule, PrepareStartsAfreshAt33MillisecondsApart)
{
    OfflinePassSchedule schedule;
    schedule.prepare (44100.0);
    EXPECT_EQ (schedule.interval(), 1455);
    EXPECT_TRUE (schedule.isPassDue (512, 0, none));
    EXPECT_FALSE (schedule.isPassDue (512, 0, none));

    schedule.prepare (48000.0);
    EXPECT_EQ (schedule.interval(), 1584);
    EXPECT_TRUE (schedule.isPassDue (512, 0, none)) << "the first block after prepare";
    EXPECT_FALSE (schedule.isPassDue (512, 0, none));
    EXPECT_FALSE (schedule.isPassDue (512, 0, none));
    EXPECT_FALSE (schedule.isPassDue (512, 0, none)) << "the samples before prepare do not count";

    schedule.prepare (1.0);
    EXPECT_EQ (schedule.interval(), 1) << "never zero";
}
