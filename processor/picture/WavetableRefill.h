#pragma once

#include "BrightnessGrid.h"

#include <JuceHeader.h>

#include <array>
#include <atomic>
#include <cstdint>

/** The eight picture wavetables, read out of the brightness grid. Each refill reads a table along a row of the grid
    or around a circle on it, moves the table towards that read by "Smooth", and takes out its mean, so that no table
    has a DC offset. It works on a grid and tables that its owner keeps, with the scan each call is given; its own
    state is only what lets it skip a refill of tables at rest. The caller holds the wavetable lock around every
    call. [audio thread only] */
class WavetableRefill
{
public:
    static constexpr int gridSize = brightnessGridSize;
    static constexpr int tableSize = 512;
    static constexpr int numTables = 8;

    /** Where the tables are read and how fast they follow: the interval settings as the block sees them. */
    struct Scan
    {
        float shift = 0.0f;                   // the row read, or twice the circle's radius
        bool circle = false;                  // around a circle rather than along a row
        bool velocityMovesRow = false;        // along a row, a note's velocity shift moves the row (it always widens
                                              // the circle)
        float centreX = 0.0f, centreY = 0.0f; // the circle's centre
        float smooth = 0.0f;                  // the share of the way a table stays where it was (0: it takes the read)
        std::array<int, numTables> velocityShift{}; // of the note each table's voice plays
    };

    /** Refills the numTables tables (one channel of tableSize samples each) from grid (gridSize x gridSize
        brightness values, x * gridSize + y). Both belong to the caller and outlive this. */
    WavetableRefill (const std::atomic<float>* grid, juce::AudioBuffer<float>* tables) noexcept;

    /** Refills table index alone, as a note-on does. */
    void refillTable (int index, const Scan& scan) noexcept;
    /** Refills every table, as each block does. A refill that would give back the very tables it found, as the last
        one did, is skipped. */
    void refillAllTables (const Scan& scan) noexcept;
    /** Anything else that writes a table calls this: the tables are no longer known to be at rest. */
    void tablesChanged() noexcept { restingTables.valid = false; }

private:
    /** One refill's read of the grid: a row (row0, row1 and the blend in position) or a circle (radius in position,
        centre in row0 and row1), and the tableSize values it gave. */
    struct PictureRead
    {
        bool circle = false;
        int row0 = -1, row1 = -1;
        float position = 0.0f;
        std::array<float, tableSize> values;

        bool sameAs (const PictureRead& other) const noexcept;
    };

    /** Once held notes have brought the tables to rest, a refill gives back the very tables it was given; then one
        with the same reads and "Smooth" would too, and is skipped. What the last refill that left every table as it
        found it read; cleared by anything else that writes a table. */
    struct RestingTables
    {
        bool valid = false;
        std::uint32_t smoothBits = 0;
        int source[numTables]{}; // the table whose read each table's values came from
        PictureRead reads[numTables];
        float before[numTables][tableSize]; // the tables as the refill found them
    };

    /** Table index's read of the grid, into earlierReads[index] (or ownRead without earlierReads); returns the
        values, which may lie in an earlier table's read. */
    const float*
    readPicture (int index, const Scan& scan, PictureRead* earlierReads, PictureRead& ownRead) const noexcept;
    /** The "Smooth" step of table index towards values, leaving its mean in. */
    void blendTowards (int index, const float* values, float smooth) noexcept;
    /** Subtracts sum's mean over every sample of buffer from each sample. */
    static void removeMean (juce::AudioBuffer<float>& buffer, float sum) noexcept;

    const std::atomic<float>* grid;
    juce::AudioBuffer<float>* tables;
    RestingTables restingTables;

    JUCE_DECLARE_NON_COPYABLE (WavetableRefill)
};
