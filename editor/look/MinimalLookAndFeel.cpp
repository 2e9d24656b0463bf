#include "MinimalLookAndFeel.h"

#include "editor/PanelColours.h"

MinimalLookAndFeel::MinimalLookAndFeel()
{
    setColour (juce::TabbedButtonBar::tabOutlineColourId, juce::Colours::transparentBlack);
}

int MinimalLookAndFeel::getTabButtonBestWidth (juce::TabBarButton& button, int)
{
    // Measured smaller than it is drawn, so that all eight source tabs fit in their bar.
    return (int) std::ceil (juce::Font (8.0f).getStringWidthFloat (button.getButtonText())) + 18;
}

void MinimalLookAndFeel::drawTabButton (juce::TabBarButton& button, juce::Graphics& g, bool, bool)
{
    auto area = button.getLocalBounds().reduced (2, 3);
    const auto front = button.getToggleState();

    g.setColour (front ? juce::Colours::yellow : panelColours[0]);
    g.fillRect (area);

    g.setColour (front ? juce::Colours::black : juce::Colours::lightgreen);
    g.setFont (14.0f);
    g.drawText (button.getButtonText(), area, juce::Justification::centred, true);

    if (front)
    {
        g.setColour (juce::Colours::orange);
        g.fillRect (area.removeFromBottom (juce::jmin (3, area.getHeight())));
    }

    g.setColour (juce::Colours::darkgrey.withAlpha ((juce::uint8) 0x33));
    g.drawRect (area, 1);
}
