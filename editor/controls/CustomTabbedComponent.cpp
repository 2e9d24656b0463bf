#include "CustomTabbedComponent.h"

void CustomTabbedComponent::paint (juce::Graphics& g)
{
    g.setColour (juce::Colours::darkgrey.darker (0.4f));
    g.drawRect (juce::Rectangle<int> (1, 1, juce::jmax (0, getWidth() - 1), juce::jmax (0, getHeight() - 1)), 1);
}
