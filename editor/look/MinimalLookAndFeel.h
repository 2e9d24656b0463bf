#pragma once

#include <JuceHeader.h>

/** The look of the window's two tab sets: flat tabs, yellow when in front. */
class MinimalLookAndFeel : public juce::LookAndFeel_V4
{
public:
    MinimalLookAndFeel();

    int getTabButtonBestWidth (juce::TabBarButton& button, int tabDepth) override;
    void drawTabButton (juce::TabBarButton& button, juce::Graphics& g, bool isMouseOver, bool isMouseDown) override;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MinimalLookAndFeel)
};
