#pragma once

#include "CustomSliderBase.h"
#include "threads/PollingTimer.h"

/** One message-thread timer for every control that shows modulation: each tick repaints the controls whose
    modulated value changed since the last one. The audio thread then only stores a value and raises a flag,
    however many controls there are. Controls share it through juce::SharedResourcePointer. */
class ModulationRepaintTicker : public PollingTimer<CustomSliderBase, &CustomSliderBase::repaintIfModulationChanged, 30>
{
};
