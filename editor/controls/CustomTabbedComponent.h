#pragma once

#include <JuceHeader.h>

/** A tab set framed by a thin grey line; its pages paint their own background. */
class CustomTabbedComponent : public juce::TabbedComponent
{
public:
    using juce::TabbedComponent::TabbedComponent;

    void paint (juce::Graphics& g) override;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CustomTabbedComponent)
};
