#pragma once

#include "processor/ParameterModel.h"
#include "threads/LockFree.h"
#include "threads/MessageThreadJobs.h"

#include <array>
#include <functional>

/** Watches the cells of the three modulation matrices, whoever sets them: a grid cell, the host's automation (also
    inside the audio callback), a program, a restore. A change only raises the cell's flag and marks a job of the
    message thread, so it never waits or allocates; that job then books the marked cells, each once however often it
    changed since. */
class MatrixCellWatch
{
public:
    static constexpr int numMatrices = 3;
    static constexpr int numCells = numMatrices * numMatrixCells;

    /** Books one changed cell with its parameter's current value. [message thread] */
    using Booking = std::function<void (ModType type, int row, int column, float value)>;

    MatrixCellWatch (juce::AudioProcessorValueTreeState& state, MessageThreadJobs& messageThreadJobs) :
        tree (state), jobs (messageThreadJobs)
    {
    }
    ~MatrixCellWatch() { stop(); }

    /** Listens to every cell of the matrices, given in ModType order, and adds the job that books the marked cells
        through book. [constructing thread, before the jobs start] */
    void start (std::array<const ParameterGroup*, numMatrices> matricesToWatch, Booking book);
    /** Listens no more; a second call does nothing. [the thread that destroys the owner, after the jobs stopped] */
    void stop();

    /** Marks cell (numMatrixCells * ModType + row * 4 + column) changed. [any thread, the audio thread included] */
    void mark (int cell) noexcept
    {
        changed.raise (cell);
        jobs.mark (bookingJob);
    }

    /** Books every marked cell now, in cell order, and lowers its mark. [message thread] */
    void bookMarkedCells();

private:
    struct CellListener : public juce::AudioProcessorValueTreeState::Listener
    {
        void parameterChanged (const juce::String&, float) override { owner->mark (cell); }

        MatrixCellWatch* owner = nullptr;
        int cell = 0;
    };

    juce::AudioProcessorValueTreeState& tree;
    MessageThreadJobs& jobs;
    std::array<const ParameterGroup*, numMatrices> matrices{};
    Booking booking;
    std::array<CellListener, numCells> listeners;
    AtomicFlagSet<numCells> changed;
    int bookingJob = -1;
    bool watching = false;

    JUCE_DECLARE_NON_COPYABLE (MatrixCellWatch)
};
