#include "ModulationRepaintTicker.h"

#include "CustomSliderBase.h"

ModulationRepaintTicker::ModulationRepaintTicker() { startTimer (intervalMs); }

ModulationRepaintTicker::~ModulationRepaintTicker() { stopTimer(); }

void ModulationRepaintTicker::add (CustomSliderBase& control) { controls.addIfNotAlreadyThere (&control); }

void ModulationRepaintTicker::remove (CustomSliderBase& control) { controls.removeFirstMatchingValue (&control); }

void ModulationRepaintTicker::repaintChangedControls()
{
    for (auto* control : controls)
        control->repaintIfModulationChanged();
}

void ModulationRepaintTicker::timerCallback() { repaintChangedControls(); }
