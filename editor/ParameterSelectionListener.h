#pragma once

#include <JuceHeader.h>

/** Told that the user picked a parameter in the picture area. */
class ParameterSelectionListener
{
public:
    virtual ~ParameterSelectionListener() = default;
    virtual void onParameterSelected (const juce::String& paramID) = 0;
};
