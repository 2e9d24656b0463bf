// The wavetable refill on its own, over a grid and tables made here: what a table reads, and when a refill of
// tables at rest may be skipped.
#include "processor/picture/WavetableRefill.h"
#include "processor/BitPatterns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace
{
constexpr int gridSize = WavetableRefill::gridSize;
constexpr int tableSize = WavetableRefill::tableSize;
constexpr int numTables = WavetableRefill::numTables;

/** A grid whose every cell has its own value, and eight silent tables, with the refill over them. */
struct RefillBench
{
    RefillBench()
    {
        for (int x = 0; x < gridSize; ++x)
            for (int y = 0; y < gridSize; ++y)
                grid[(size_t) (x * gridSize + y)].store (valueAt (x, y));

        for (auto& table : tables)
        {
            table.setSize (1, tableSize);
            table.clear();
        }
    }

    static float valueAt (int x, int y) { return (float) ((x * 7 + y * 13) % 101) / 101.0f; }

    std::vector<float> table (int index) const
    {
        const auto* samples = tables[index].getReadPointer (0);
        return { samples, samples + tableSize };
    }

    std::vector<std::vector<float>> allTables() const
    {
        std::vector<std::vector<float>> all;
        for (int i = 0; i < numTables; ++i)
            all.push_back (table (i));
        return all;
    }

    std::vector<std::atomic<float>> gridCells = std::vector<std::atomic<float>> ((size_t) (gridSize * gridSize));
    std::atomic<float>* grid = gridCells.data();
    juce::AudioBuffer<float> tables[numTables];
    WavetableRefill refill{ grid, tables };
};

/** values less their mean, as a float sum in sample order gives it. */
std::vector<float> withoutMean (std::vector<float> values)
{
    float sum = 0.0f;
    for (const auto v : values)
        sum += v;

    for (auto& v : values)
        v -= sum / (float) values.size();

    return values;
}
} // namespace

TEST (WavetableRefill, ATableIsTheGridReadAlongItsRowOrCircleLessItsMean)
{
    struct Case
    {
        const char* name;
        WavetableRefill::Scan scan;
        int velocityShift;
        std::function<float (int k)> expectedAt; // the grid's value for sample k
    };

    const auto row = [] (float position)
    {
        return [position] (int k)
        {
            const auto r0 = (int) std::floor (position), r1 = (int) std::ceil (position);
            const auto f = position - (float) r0;
            return RefillBench::valueAt (k, r0) * (1.0f - f) + RefillBench::valueAt (k, r1) * f;
        };
    };

    const auto circle = [] (int centreX, int centreY, float radius)
    {
        return [=] (int k)
        {
            const auto theta = (float) k * 6.2831855f * 0.001953125f;
            const auto pin = [] (float v) { return juce::jlimit (0, gridSize - 1, (int) v); };
            return RefillBench::valueAt (pin ((float) centreX + radius * std::cos (theta)),
                                         pin ((float) centreY + radius * std::sin (theta)));
        };
    };

    WavetableRefill::Scan line;
    line.shift = 100.25f;
    WavetableRefill::Scan lineMovedByVelocity = line;
    lineMovedByVelocity.velocityMovesRow = true;
    WavetableRefill::Scan round;
    round.circle = true;
    round.shift = 200.0f;
    round.centreX = 300.7f;
    round.centreY = 480.0f;

    const Case cases[]{
        { "a row between two rows", line, 0, row (100.25f) },
        { "a velocity shift that moves the row up", lineMovedByVelocity, 5, row (80.25f) },
        { "a velocity shift the row ignores", line, 5, row (100.25f) },
        { "a circle, widened by the velocity shift and pinned to the edge", round, 10, circle (300, 480, 120.0f) },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        RefillBench bench;
        auto scan = c.scan;
        scan.velocityShift[2] = c.velocityShift;
        bench.refill.refillTable (2, scan);

        std::vector<float> expected;
        for (int k = 0; k < tableSize; ++k)
            expected.push_back (c.expectedAt (k));
        expected = withoutMean (expected);

        int mismatches = 0;
        for (int k = 0; k < tableSize; ++k)
            mismatches += std::abs (bench.table (2)[(size_t) k] - expected[(size_t) k]) > 1.0e-6f ? 1 : 0;

        EXPECT_EQ (mismatches, 0);
        EXPECT_EQ (bench.table (1), std::vector<float> ((size_t) tableSize, 0.0f)) << "only the table asked for";
    }
}

TEST (WavetableRefill, SmoothMovesATableOnlyPartOfTheWay)
{
    RefillBench bench;
    WavetableRefill::Scan scan;
    scan.shift = 40.0f;
    bench.refill.refillTable (0, scan);
    const auto target = bench.table (0);

    bench.tables[0].clear();
    scan.smooth = 0.75f;
    bench.refill.refillAllTables (scan);

    for (int k = 0; k < tableSize; k += 51)
        EXPECT_NEAR (bench.table (0)[(size_t) k], 0.25f * target[(size_t) k], 1.0e-6f) << k;
}

// Held notes bring the tables to rest, where a refill gives back the very tables it was given and the next one, with
// the same reads and "Smooth", is skipped. Whatever could make a refill give other tables must end the rest.
TEST (WavetableRefill, ARefillAtRestIsSkippedUntilSomethingMoves)
{
    struct Case
    {
        const char* name;
        std::function<void (RefillBench&, WavetableRefill::Scan&)> move;
        bool skipped;
    };

    const Case cases[]{
        { "nothing", [] (RefillBench&, WavetableRefill::Scan&) {}, true },
        { "a grid cell on a row read",
          [] (RefillBench& bench, WavetableRefill::Scan&) { bench.grid[100 * gridSize + 200].store (0.9f); },
          false },
        { "a grid cell off every row read",
          [] (RefillBench& bench, WavetableRefill::Scan&) { bench.grid[100 * gridSize + 400].store (0.9f); },
          true },
        { "the row", [] (RefillBench&, WavetableRefill::Scan& scan) { scan.shift = 200.25f; }, false },
        { "Smooth", [] (RefillBench&, WavetableRefill::Scan& scan) { scan.smooth = 0.25f; }, false },
        { "a note's velocity shift",
          [] (RefillBench&, WavetableRefill::Scan& scan) { scan.velocityShift[6] = 2; },
          false },
        { "one table refilled alone",
          [] (RefillBench& bench, WavetableRefill::Scan& scan) { bench.refill.refillTable (0, scan); },
          false },
        { "a table written by someone else",
          [] (RefillBench& bench, WavetableRefill::Scan&) { bench.refill.tablesChanged(); },
          false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        RefillBench bench;
        WavetableRefill::Scan scan;
        scan.shift = 200.0f;
        scan.smooth = 0.5f;
        scan.velocityMovesRow = true;
        scan.velocityShift = { 0, 0, 1, 1, 2, 2, 3, 3 };

        auto refills = 0;
        for (auto before = bench.allTables(); refills < 1000; ++refills)
        {
            bench.refill.refillAllTables (scan);
            auto after = bench.allTables();
            if (after == before)
                break;
            before = std::move (after);
        }
        ASSERT_LT (refills, 1000) << "the tables never came to rest: the test would guard nothing";

        // A refill at rest gives back the very tables, so skipping it changes nothing; a marked sample shows whether
        // it ran.
        const auto atRest = bench.allTables();
        WavetableRefill unskipped{ bench.grid, bench.tables };
        unskipped.refillAllTables (scan);
        ASSERT_EQ (bench.allTables(), atRest);
        for (int i = 0; i < numTables; ++i)
            ASSERT_TRUE (bit_patterns::sameBits (bench.table (i).data(), atRest[(size_t) i].data(), tableSize)) << i;

        c.move (bench, scan);
        const auto marked = 0.125f;
        bench.tables[5].setSample (0, 7, marked);
        bench.refill.refillAllTables (scan);

        EXPECT_EQ (bench.tables[5].getSample (0, 7) == marked, c.skipped);
    }
}
