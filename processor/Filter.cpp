#include "Filter.h"

void Mode::updateCoefficients() noexcept {}

void ModalFilter::updateModeFrequencies() {}

void ModalFilter::prepare (double) {}
