#pragma once

#include <JuceHeader.h>

class CustomSliderBase;

/** One message-thread timer for every control that shows modulation: each tick repaints the controls whose
    modulated value changed since the last one. The audio thread then only stores a value and raises a flag,
    however many controls there are. Controls share it through juce::SharedResourcePointer. */
class ModulationRepaintTicker : private juce::Timer
{
public:
    static constexpr int intervalMs = 30;

    ModulationRepaintTicker();
    ~ModulationRepaintTicker() override;

    /** [message thread] */
    void add (CustomSliderBase& control);
    /** [message thread] */
    void remove (CustomSliderBase& control);

    /** Repaints every control whose modulated value changed; what each tick does. [message thread] */
    void repaintChangedControls();

private:
    void timerCallback() override;

    juce::Array<CustomSliderBase*> controls;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ModulationRepaintTicker)
};
