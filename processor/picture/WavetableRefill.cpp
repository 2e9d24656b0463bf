#include "WavetableRefill.h"
#include "processor/BitPatterns.h"
#include "processor/sound/SoundConstants.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{
constexpr float lastGridIndex = (float) (WavetableRefill::gridSize - 1);

/** cos θ and sin θ of the circle scan's 512 angles θ = k × 6.2831855 × 0.001953125, worked out once
    (the same single-precision values the scan would compute at every refill). */
struct CircleAngles
{
    std::array<float, WavetableRefill::tableSize> cosines, sines;

    CircleAngles()
    {
        for (int k = 0; k < WavetableRefill::tableSize; ++k)
        {
            const float theta = (float) k * sound::twoPi * 0.001953125f;
            cosines[(size_t) k] = std::cos (theta);
            sines[(size_t) k] = std::sin (theta);
        }
    }
};

const CircleAngles circleAngles;

/** v limited to 0..limit; a NaN gives 0 rather than a position outside the grid. */
float limitPosition (float v, float limit) { return v > 0.0f ? (v < limit ? v : limit) : 0.0f; }

/** The integer part of v, made 511 when 511 or more and 0 when negative (or NaN). */
int pinToGrid (float v) { return v >= lastGridIndex ? WavetableRefill::gridSize - 1 : (v > 0.0f ? (int) v : 0); }
} // namespace

bool WavetableRefill::PictureRead::sameAs (const PictureRead& other) const noexcept
{
    return row0 >= 0 && circle == other.circle && row0 == other.row0 && row1 == other.row1
           && bit_patterns::sameBits (position, other.position);
}

WavetableRefill::WavetableRefill (const std::atomic<float>* gridToRead, juce::AudioBuffer<float>* tablesToFill) noexcept
    :
    grid (gridToRead), tables (tablesToFill)
{
}

void WavetableRefill::refillTable (int index, const Scan& scan) noexcept
{
    auto& buffer = tables[index];
    restingTables.valid = false;

    PictureRead ownRead;
    blendTowards (index, readPicture (index, scan, nullptr, ownRead), scan.smooth);

    float sum = 0.0f;

    for (int channel = 0; channel < buffer.getNumChannels(); ++channel)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            sum += buffer.getSample (channel, i);

    removeMean (buffer, sum);
}

void WavetableRefill::refillAllTables (const Scan& scan) noexcept
{
    // The voices mostly read the same row or circle: each distinct one is gathered from the grid once.
    PictureRead reads[numTables];
    const float* values[numTables];

    for (int i = 0; i < numTables; ++i)
        values[i] = readPicture (i, scan, reads, reads[i]);

    std::uint32_t smoothBits;
    std::memcpy (&smoothBits, &scan.smooth, sizeof (smoothBits));

    int source[numTables];
    for (int i = 0; i < numTables; ++i)
        for (int j = 0; j <= i; ++j)
            if (values[i] == reads[j].values.data())
                source[i] = j;

    const float* samples[numTables];
    auto oneChannelEach = true;

    for (int i = 0; i < numTables; ++i)
    {
        samples[i] = tables[i].getReadPointer (0);
        oneChannelEach = oneChannelEach && tables[i].getNumChannels() == 1 && tables[i].getNumSamples() == tableSize;
    }

    // Tables at rest under the same reads stay as they are.
    auto readsAsAtRest = oneChannelEach && restingTables.valid && restingTables.smoothBits == smoothBits;

    for (int i = 0; i < numTables && readsAsAtRest; ++i)
        readsAsAtRest =
            restingTables.source[i] == source[i]
            && (source[i] != i || bit_patterns::sameBits (values[i], restingTables.reads[i].values.data(), tableSize));

    if (readsAsAtRest)
        return;

    // What the tables were, to tell whether the refill gave them back.
    if (oneChannelEach)
        for (int i = 0; i < numTables; ++i)
            std::copy (samples[i], samples[i] + tableSize, restingTables.before[i]);

    for (int i = 0; i < numTables; ++i)
        blendTowards (i, values[i], scan.smooth);

    // Each table's sum is one long chain of additions in sample order; the eight chains run side by side.
    float sums[numTables]{};

    if (oneChannelEach)
    {
        for (int k = 0; k < tableSize; ++k)
            for (int i = 0; i < numTables; ++i)
                sums[i] += samples[i][k];
    }
    else
    {
        for (int i = 0; i < numTables; ++i)
            for (int channel = 0; channel < tables[i].getNumChannels(); ++channel)
                for (int k = 0; k < tables[i].getNumSamples(); ++k)
                    sums[i] += tables[i].getSample (channel, k);
    }

    for (int i = 0; i < numTables; ++i)
        removeMean (tables[i], sums[i]);

    restingTables.valid = oneChannelEach;

    for (int i = 0; i < numTables && restingTables.valid; ++i)
        restingTables.valid = bit_patterns::sameBits (samples[i], restingTables.before[i], tableSize);

    if (restingTables.valid)
    {
        restingTables.smoothBits = smoothBits;

        for (int i = 0; i < numTables; ++i)
        {
            restingTables.source[i] = source[i];

            if (source[i] == i)
                std::copy (values[i], values[i] + tableSize, restingTables.reads[i].values.begin());
        }
    }
}

void WavetableRefill::removeMean (juce::AudioBuffer<float>& buffer, float sum) noexcept
{
    // No DC offset in any table.
    const float mean = sum / (float) (buffer.getNumChannels() * buffer.getNumSamples());

    for (int channel = 0; channel < buffer.getNumChannels(); ++channel)
    {
        auto* channelSamples = buffer.getWritePointer (channel);

        for (int i = 0; i < buffer.getNumSamples(); ++i)
            channelSamples[i] -= mean;
    }
}

const float* WavetableRefill::readPicture (int index,
                                           const Scan& scan,
                                           PictureRead* earlierReads,
                                           PictureRead& ownRead) const noexcept
{
    const auto gridAt = [this] (int x, int y) { return grid[x * gridSize + y].load (std::memory_order_relaxed); };

    // The new samples are gathered first, then applied; with earlierReads, straight into this table's entry.
    auto& read = earlierReads != nullptr ? earlierReads[index] : ownRead;
    read.circle = scan.circle;

    if (!read.circle)
    {
        const float offset = scan.velocityMovesRow ? (float) (4 * scan.velocityShift[(size_t) index]) : 0.0f;
        const float row = limitPosition (scan.shift - offset, lastGridIndex);
        read.row0 = (int) std::floor (row);
        read.row1 = (int) std::ceil (row);
        read.position = row - (float) read.row0;
    }
    else
    {
        read.position = limitPosition (scan.shift * 0.5f + (float) (2 * scan.velocityShift[(size_t) index]), 512.0f);
        read.row0 = pinToGrid (scan.centreX);
        read.row1 = pinToGrid (scan.centreY);
    }

    const PictureRead* same = nullptr;

    // The first match is the first table of its read, which gathered the values itself.
    if (earlierReads != nullptr)
        for (int i = 0; i < index && same == nullptr; ++i)
            if (earlierReads[i].sameAs (read))
                same = &earlierReads[i];

    if (same == nullptr)
    {
        if (!read.circle)
        {
            // Along a row, left to right, interpolating between the two nearest rows.
            const float fraction = read.position;

            for (int k = 0; k < tableSize; ++k)
                read.values[(size_t) k] = gridAt (k, read.row0) * (1.0f - fraction) + gridAt (k, read.row1) * fraction;
        }
        else
        {
            // Around a circle, clockwise on screen from the point right of the centre, nearest grid point.
            const float radius = read.position;
            const int centreX = read.row0;
            const int centreY = read.row1;

            for (size_t k = 0; k < (size_t) tableSize; ++k)
            {
                const int x = pinToGrid ((float) centreX + radius * circleAngles.cosines[k]);
                const int y = pinToGrid ((float) centreY + radius * circleAngles.sines[k]);
                read.values[k] = gridAt (x, y);
            }
        }
    }

    // A read made for an earlier table is used where it lies, not copied.
    return same != nullptr ? same->values.data() : read.values.data();
}

void WavetableRefill::blendTowards (int index, const float* values, float smooth) noexcept
{
    auto* table = tables[index].getWritePointer (0);

    for (int k = 0; k < tableSize; ++k)
        table[k] = table[k] + (values[k] - table[k]) * (1.0f - smooth);
}
