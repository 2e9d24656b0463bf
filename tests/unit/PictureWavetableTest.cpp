#include "PictureFixtures.h"
#include "ProcessorHarness.h"

#include <cmath>
#include <functional>
#include <numeric>

using namespace picture_fixtures;
using block_testing::Event;
using block_testing::noteOn;
using block_testing::ProcessorHarness;
using testing_helpers::setRaw;

namespace
{
constexpr int gridSize = OstrelAudioProcessor::gridSize;
constexpr int tableSize = OstrelAudioProcessor::wavetableSize;

/** A grid whose rows all have different shapes. */
float patternAt (int x, int y) { return (float) ((x * (y + 1)) % 97) / 97.0f; }

class PictureWavetable : public ::testing::Test
{
protected:
    PictureWavetable() { fillGrid (patternAt); }

    template <typename Function>
    void fillGrid (Function valueAt)
    {
        for (int x = 0; x < gridSize; ++x)
            for (int y = 0; y < gridSize; ++y)
                processor.imageGrid[x * gridSize + y].store (valueAt (x, y));
    }

    void setScan (float shift, bool circle, float centreX = 256.0f, float centreY = 256.0f)
    {
        processor.intervalConfigs[IntervalIndex::shift].currentValue = shift;
        processor.intervalConfigs[IntervalIndex::centreX].currentValue = centreX;
        processor.intervalConfigs[IntervalIndex::centreY].currentValue = centreY;
        setRaw (processor, "TypeCircle", circle ? 1.0f : 0.0f);
    }

    /** Refills table `index` from silence and returns it. */
    std::vector<float> refill (int index = 0, int velocityShift = 0)
    {
        processor.wavetableBuffers[index].clear();
        processor.voiceVelocityShift[index] = velocityShift;
        processor.handleWavetableSampleSelection (index);
        return tableCopy (processor, index);
    }

    OstrelAudioProcessor processor;
};

std::vector<float> withoutMean (const std::vector<double>& values)
{
    const double mean = std::accumulate (values.begin(), values.end(), 0.0) / (double) values.size();
    std::vector<float> result;

    for (const auto value : values)
        result.push_back ((float) (value - mean));

    return result;
}

void expectTablesNear (const std::vector<float>& actual, const std::vector<float>& expected, float tolerance = 1.0e-5f)
{
    ASSERT_EQ (actual.size(), expected.size());
    int mismatches = 0;

    for (size_t k = 0; k < actual.size(); ++k)
        if (std::abs (actual[k] - expected[k]) > tolerance)
            ++mismatches;

    EXPECT_EQ (mismatches, 0);
}

double meanOf (const std::vector<float>& table)
{
    return std::accumulate (table.begin(), table.end(), 0.0) / (double) table.size();
}
} // namespace

TEST_F (PictureWavetable, LineModeReadsTheRowAtShiftLeftToRight)
{
    for (const double row : { 0.0, 511.0, 100.25, 300.75 })
    {
        SCOPED_TRACE (row);
        setScan ((float) row, false);

        const int r0 = (int) std::floor (row), r1 = (int) std::ceil (row);
        const double f = row - r0;
        std::vector<double> expected;

        for (int k = 0; k < tableSize; ++k)
            expected.push_back (patternAt (k, r0) * (1.0 - f) + patternAt (k, r1) * f);

        expectTablesNear (refill(), withoutMean (expected));
    }
}

TEST_F (PictureWavetable, VelocityShiftMovesTheRowOnlyWithVeloShift)
{
    struct Case
    {
        float veloShift;
        int velocityShift;
        float shift, expectedRow;
    };

    const Case cases[]{
        { 0.0f, 10, 300.0f, 300.0f }, { 0.5f, 10, 300.0f, 260.0f },   { 0.99f, -5, 300.0f, 320.0f },
        { 0.5f, 10, 20.0f, 0.0f },    { 0.5f, -100, 300.0f, 511.0f }, { 0.5f, 10, 300.5f, 260.5f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << c.veloShift << ", " << c.velocityShift << ", " << c.shift);
        setRaw (processor, "VeloShift", 0.0f);
        setScan (c.expectedRow, false);
        const auto reference = refill (1);

        setRaw (processor, "VeloShift", c.veloShift);
        setScan (c.shift, false);
        expectTablesNear (refill (2, c.velocityShift), reference, 0.0f);
    }
}

TEST_F (PictureWavetable, VelocityShiftWidensTheCircleWhateverVeloShiftSays)
{
    for (const float veloShift : { 0.0f, 0.5f })
    {
        SCOPED_TRACE (veloShift);
        setRaw (processor, "VeloShift", veloShift);

        setScan (140.0f, true); // radius 70
        const auto reference = refill (1);

        setScan (100.0f, true); // radius 50 + 2 x 10
        expectTablesNear (refill (2, 10), reference, 0.0f);

        const auto unshifted = refill (3);
        EXPECT_NE (unshifted, reference);
    }

    // The radius stops at 512.
    setScan (0.0f, true, 0.0f, 0.0f);
    const auto radius512 = refill (1, 256);
    expectTablesNear (refill (2, 300), radius512, 0.0f);
    EXPECT_NE (refill (3, 250), radius512);
}

TEST_F (PictureWavetable, CircleStartsRightOfTheCentreAndRunsClockwise)
{
    // Table differences give back the coordinate each sample read (the mean cancels).
    fillGrid ([] (int x, int) { return (float) x / 511.0f; });
    setScan (200.0f, true); // radius 100 about (256, 256)
    const auto byX = refill();
    EXPECT_EQ (std::max_element (byX.begin(), byX.end()) - byX.begin(), 0);

    fillGrid ([] (int, int y) { return (float) y / 511.0f; });
    const auto byY = refill();
    EXPECT_NEAR ((byY[128] - byY[0]) * 511.0f, 100.0f, 1.01f); // a quarter turn on: below the centre
    EXPECT_NEAR ((byY[384] - byY[0]) * 511.0f, -100.0f, 1.01f);
}

TEST_F (PictureWavetable, ACircleLeavingThePictureIsPinnedPerCoordinate)
{
    struct Case
    {
        const char* name;
        float centreX, centreY, shift;
        bool readX;
    };

    const Case cases[]{
        { "past the right edge", 500.0f, 256.0f, 200.0f, true },
        { "past the left edge", 10.0f, 256.0f, 200.0f, true },
        { "past the top", 256.0f, 5.0f, 200.0f, false },
        { "past the bottom", 256.0f, 450.0f, 300.0f, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const bool readX = c.readX;
        fillGrid ([readX] (int x, int y) { return (float) (readX ? x : y) / 511.0f; });
        setScan (c.shift, true, c.centreX, c.centreY);
        const auto table = refill();

        const float radius = c.shift * 0.5f;
        const float centre = readX ? c.centreX : c.centreY;
        const auto expectedAt = [&] (int k)
        {
            const float theta = (float) k * 6.2831855f * 0.001953125f;
            const float position = centre + radius * (readX ? std::cos (theta) : std::sin (theta));
            return juce::jlimit (0, 511, (int) position);
        };

        int mismatches = 0;

        for (int k = 0; k < tableSize; ++k)
        {
            const auto read = (float) expectedAt (0) + (table[(size_t) k] - table[0]) * 511.0f;
            if (std::abs (read - (float) expectedAt (k)) > 1.0e-2f)
                ++mismatches;
        }

        EXPECT_EQ (mismatches, 0);
    }
}

TEST_F (PictureWavetable, SmoothingGlidesTowardsTheNewTable)
{
    setScan (123.0f, false);
    setRaw (processor, "Smooth", 0.0f);
    const auto target = refill();

    setRaw (processor, "Smooth", 0.99f);
    processor.wavetableBuffers[0].clear();
    std::vector<float> expectedAfterOne, expectedAfterHundred;

    for (const auto value : target)
    {
        expectedAfterOne.push_back (0.01f * value);
        expectedAfterHundred.push_back ((float) (1.0 - std::pow (0.99, 100)) * value);
    }

    processor.handleWavetableSampleSelection (0);
    expectTablesNear (tableCopy (processor, 0), expectedAfterOne, 1.0e-6f);

    for (int block = 1; block < 100; ++block)
        processor.handleWavetableSampleSelection (0);

    expectTablesNear (tableCopy (processor, 0), expectedAfterHundred, 1.0e-4f);
}

TEST_F (PictureWavetable, EveryRefilledTableHasNoDcOffset)
{
    for (const bool circle : { false, true })
        for (const float smooth : { 0.0f, 0.5f, 0.99f })
        {
            SCOPED_TRACE (testing::Message() << circle << ", " << smooth);
            setScan (77.5f, circle, 100.0f, 400.0f);
            setRaw (processor, "Smooth", smooth);
            setRaw (processor, "VeloShift", 0.5f);

            for (int i = 0; i < OstrelAudioProcessor::numVoices; ++i)
            {
                processor.voiceVelocityShift[i] = i * 7 - 20;
                processor.handleWavetableSampleSelection (i);
                EXPECT_NEAR (meanOf (tableCopy (processor, i)), 0.0, 1.0e-5); // float rounding of the sum
            }
        }

    // A uniform picture is silence (but for the rounding of a float sum, some -110 dB).
    fillGrid ([] (int, int) { return 0.7f; });
    setRaw (processor, "Smooth", 0.0f);

    for (const bool circle : { false, true })
    {
        setScan (300.25f, circle);
        expectTablesNear (refill (4), std::vector<float> ((size_t) tableSize, 0.0f), 1.0e-5f);
    }
}

// Held notes bring the tables to rest, where a refill gives back the tables it was given. Whatever moves a read
// after that (the picture, the row, "Smooth") must reach the tables in the very next block: every block's refill
// is checked against a refill of each table alone, from the tables the block started with, on a twin processor.
TEST (PictureWavetableRest, EveryBlockRefillsAsEachTableAloneWouldFromTheTablesItStartedWith)
{
    constexpr int numVoices = OstrelAudioProcessor::numVoices;

    const auto tables = [] (const OstrelAudioProcessor& p)
    {
        std::vector<std::vector<float>> all;
        for (int i = 0; i < numVoices; ++i)
            all.push_back (tableCopy (p, i));
        return all;
    };

    for (int move = 0; move < 4; ++move)
    {
        SCOPED_TRACE (move);
        ProcessorHarness host;
        auto& processor = *host.processor;
        OstrelAudioProcessor twin;

        const auto writeGrid = [&] (int x, int y, float value)
        {
            processor.imageGrid[x * gridSize + y].store (value);
            twin.imageGrid[x * gridSize + y].store (value);
        };

        for (int x = 0; x < gridSize; ++x)
            for (int y = 0; y < gridSize; ++y)
                writeGrid (x, y, patternAt (x, y));

        const auto setBoth = [&] (const juce::String& paramID, float raw)
        {
            host.set (paramID, raw);
            setRaw (twin, paramID, raw);
        };

        setBoth ("Shift", 200.0f);
        setBoth ("Smooth", 0.5f);
        setBoth ("VeloShift", 0.3f);

        std::vector<Event> notes;
        for (int i = 0; i < numVoices; ++i)
            notes.push_back (noteOn (0, 48 + 3 * i, 40 + 10 * i));
        host.process (512, notes);

        // One block, checked; true when it left every table as it was.
        const auto checkedBlock = [&]
        {
            const auto before = tables (processor);
            host.process (512);
            const auto after = tables (processor);

            for (const auto index : { IntervalIndex::centreX, IntervalIndex::centreY, IntervalIndex::shift })
                twin.intervalConfigs[index].currentValue = processor.intervalConfigs[index].currentValue.load();

            for (int i = 0; i < numVoices; ++i)
            {
                std::copy (before[(size_t) i].begin(),
                           before[(size_t) i].end(),
                           twin.wavetableBuffers[i].getWritePointer (0));
                twin.voiceVelocityShift[i] = processor.voiceVelocityShift[i];
                twin.handleWavetableSampleSelection (i);
            }

            EXPECT_TRUE (tables (twin) == after);
            return before == after;
        };

        auto blocks = 1;
        while (!checkedBlock() && blocks < 400)
            ++blocks;

        ASSERT_LT (blocks, 400) << "the tables never came to rest: the test would guard nothing";
        ASSERT_TRUE (checkedBlock());

        // A column of the picture, which every row crosses, or a setting.
        if (move < 2)
            for (int y = 0; y < gridSize; ++y)
                writeGrid (100 + move, y, move == 0 ? 0.9f : 0.1f);
        else if (move == 2)
            setBoth ("Shift", 200.25f);
        else
            setBoth ("Smooth", 0.25f);

        EXPECT_FALSE (checkedBlock()) << "the move did not reach the tables";

        for (int block = 0; block < 50; ++block)
            checkedBlock();
    }
}
