#include "MatrixCellWatch.h"

void MatrixCellWatch::start (std::array<const ParameterGroup*, numMatrices> matricesToWatch, Booking book)
{
    jassert (!watching);
    matrices = matricesToWatch;
    booking = std::move (book);
    bookingJob = jobs.add ([this] { bookMarkedCells(); });

    for (int m = 0; m < numMatrices; ++m)
    {
        for (int k = 0; k < numMatrixCells; ++k)
        {
            auto& listener = listeners[(size_t) (m * numMatrixCells + k)];
            listener.owner = this;
            listener.cell = m * numMatrixCells + k;
            tree.addParameterListener ((*matrices[(size_t) m])[(size_t) k].paramID, &listener);
        }
    }

    watching = true;
}

void MatrixCellWatch::stop()
{
    if (!watching)
        return;

    watching = false;

    for (int m = 0; m < numMatrices; ++m)
        for (int k = 0; k < numMatrixCells; ++k)
            tree.removeParameterListener ((*matrices[(size_t) m])[(size_t) k].paramID,
                                          &listeners[(size_t) (m * numMatrixCells + k)]);
}

void MatrixCellWatch::bookMarkedCells()
{
    changed.takeEach (
        [this] (int cell)
        {
            const auto m = cell / numMatrixCells;
            const auto k = cell % numMatrixCells;

            booking (static_cast<ModType> (m),
                     k / numModulationSources,
                     k % numModulationSources,
                     (*matrices[(size_t) m])[(size_t) k].raw());
        });
}
