#include "CustomResetButton.h"

void CustomResetButton::paintButton (juce::Graphics& g, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown)
{
    const auto area = getLocalBounds().toFloat();

    // k sets how much the border's orange is darkened: little while pressed, much otherwise.
    juce::Colour fill;
    float k;
    if (shouldDrawButtonAsDown)
    {
        fill = juce::Colours::darkred;
        k = 1.09f;
    }
    else
    {
        fill = shouldDrawButtonAsHighlighted ? juce::Colours::lightgreen.brighter (0.2f)
                                             : juce::Colours::lightgreen.darker (0.2f);
        k = 1.9f;
    }

    g.setColour (fill);
    g.fillRoundedRectangle (area, 5.0f);

    g.setColour (juce::Colours::orange.darker (k - 1.0f));
    g.drawRoundedRectangle (area, 5.0f, 2.0f);

    g.setColour (juce::Colours::black);
    g.setFont (juce::Font (16.0f));
    g.drawText (caption, area, juce::Justification::centred, false);
}

void CustomResetButton::setCaption (const juce::String& newCaption)
{
    caption = newCaption;
    setTitle (newCaption);
    repaint();
}
