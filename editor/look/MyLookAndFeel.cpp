#include "MyLookAndFeel.h"

namespace
{
juce::Rectangle<float> insetByHalfPixel (int width, int height)
{
    return { 0.5f, 0.5f, (float) juce::jmax (width - 1, 0), (float) juce::jmax (height - 1, 0) };
}
} // namespace

void MyLookAndFeel::drawButtonBackground (juce::Graphics& g,
                                          juce::Button& button,
                                          const juce::Colour& backgroundColour,
                                          bool shouldDrawButtonAsHighlighted,
                                          bool shouldDrawButtonAsDown)
{
    const auto bounds = insetByHalfPixel (button.getWidth(), button.getHeight());
    constexpr auto cornerSize = 6.0f;

    auto base = backgroundColour.withMultipliedSaturation (button.hasKeyboardFocus (true) ? 1.3f : 0.9f)
                    .withMultipliedAlpha (button.isEnabled() ? 1.0f : 0.5f);

    if (shouldDrawButtonAsDown || shouldDrawButtonAsHighlighted)
        base = base.contrasting (shouldDrawButtonAsDown ? 0.2f : 0.05f);

    g.setColour (base);

    const auto left = button.isConnectedOnLeft();
    const auto right = button.isConnectedOnRight();
    const auto top = button.isConnectedOnTop();
    const auto bottom = button.isConnectedOnBottom();

    if (left || right || top || bottom)
    {
        juce::Path path;
        path.addRoundedRectangle (bounds.getX(),
                                  bounds.getY(),
                                  bounds.getWidth(),
                                  bounds.getHeight(),
                                  cornerSize,
                                  cornerSize,
                                  !(left || top),
                                  !(right || top),
                                  !(left || bottom),
                                  !(right || bottom));
        g.fillPath (path);
        g.setColour (button.findColour (juce::ComboBox::outlineColourId));
        g.strokePath (path, juce::PathStrokeType (1.0f));
    }
    else
    {
        g.fillRoundedRectangle (bounds, cornerSize);
        g.setColour (juce::Colours::orange);
        g.drawRoundedRectangle (bounds, cornerSize, 1.0f);
    }
}

void MyLookAndFeel::drawToggleButton (juce::Graphics& g, juce::ToggleButton& button, bool, bool)
{
    const auto w = button.getWidth();
    const auto h = button.getHeight();

    g.setColour (button.findColour (juce::ToggleButton::textColourId));
    g.setFont (juce::Font (14.0f, juce::Font::plain));
    g.drawText (button.getButtonText(),
                juce::Rectangle<int> (-3, 0, juce::jmax (0, w - 15), h),
                juce::Justification::right,
                false);

    // The tick box sits at the right end, at most 15 pixels square.
    const auto c = juce::jmin (h, 15);
    const auto side = c >= 3 ? c - 2 : 0;
    const juce::Rectangle<float> box ((float) (w - 14 + (15 - c) / 2),
                                      (float) ((h - c) / 2 + 1),
                                      (float) side,
                                      (float) side);

    const auto tick = button.findColour (juce::ToggleButton::tickColourId);
    g.setColour (tick);

    if (button.getToggleState())
    {
        g.fillRoundedRectangle (box, 4.0f);
    }
    else
    {
        g.setColour (juce::Colours::darkgrey.darker (0.9f));
        g.fillRoundedRectangle (box, 4.0f);
        g.setColour (tick);
        g.drawRoundedRectangle (box, 4.0f, 2.0f);
    }
}

juce::Font MyLookAndFeel::getPopupMenuFont() { return juce::Font (12.0f, juce::Font::plain); }

void MyLookAndFeel::drawComboBox (
    juce::Graphics& g, int width, int height, bool, int, int, int, int, juce::ComboBox& box)
{
    const auto corner = box.findParentComponentOfClass<juce::ChoicePropertyComponent>() != nullptr ? 0.0f : 3.0f;

    g.setColour (juce::Colour (0xff141414));
    g.fillRoundedRectangle (juce::Rectangle<float> (0.0f, 0.0f, (float) width, (float) height), corner);

    g.setColour (juce::Colours::orange.withAlpha ((juce::uint8) 0x99));
    g.drawRoundedRectangle (insetByHalfPixel (width, height), corner, 1.0f);

    const auto m = (float) (height / 2);
    const auto w = (float) width;
    juce::Path arrow;
    arrow.startNewSubPath (w - 12.0f, m - 2.0f);
    arrow.lineTo (w - 8.0f, m + 3.0f);
    arrow.lineTo (w - 3.0f, m - 2.0f);

    g.setColour (juce::Colours::orange);
    g.strokePath (arrow, juce::PathStrokeType (2.0f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt));
}

juce::Font MyLookAndFeel::getComboBoxFont (juce::ComboBox& box)
{
    return juce::Font (juce::jmin ((float) box.getHeight() * 0.85f, 12.0f), juce::Font::plain);
}

void MyLookAndFeel::positionComboBoxText (juce::ComboBox& box, juce::Label& label)
{
    label.setBounds (1, 1, box.getWidth() - 20, box.getHeight() - 2);
    label.setFont (getComboBoxFont (box));
}

void MyLookAndFeel::drawRotarySlider (juce::Graphics& g,
                                      int x,
                                      int y,
                                      int width,
                                      int height,
                                      float sliderPos,
                                      float startAngle,
                                      float endAngle,
                                      juce::Slider& slider)
{
    const auto boxWidth = (float) juce::jmax (width - 10, 0);
    const auto boxHeight = (float) juce::jmax (height - 10, 0);
    const juce::Point<float> centre ((float) (x + 5) + boxWidth / 2.0f, (float) (y + 5) + boxHeight / 2.0f);
    const auto radius = juce::jmin (boxWidth, boxHeight) / 2.0f;
    const auto lineWidth = juce::jmin (radius / 2.0f, 2.0f);
    const auto arcRadius = radius - lineWidth / 2.0f;
    const juce::PathStrokeType stroke (lineWidth, juce::PathStrokeType::curved, juce::PathStrokeType::rounded);

    juce::Path background;
    background.addCentredArc (centre.x, centre.y, arcRadius, arcRadius, 0.0f, startAngle, endAngle, true);
    g.setColour (juce::Colours::grey);
    g.strokePath (background, stroke);

    const auto toAngle = startAngle + sliderPos * (endAngle - startAngle);

    if (slider.isEnabled())
    {
        juce::Path valueArc;
        valueArc.addCentredArc (centre.x, centre.y, arcRadius, arcRadius, 0.0f, startAngle, toAngle, true);
        g.setColour (slider.findColour (juce::Slider::rotarySliderFillColourId));
        g.strokePath (valueArc, stroke);
    }

    const juce::Point<float> tip (
        centre.x + (arcRadius - 1.0f) * std::cos (toAngle - juce::MathConstants<float>::halfPi),
        centre.y + (arcRadius - 1.0f) * std::sin (toAngle - juce::MathConstants<float>::halfPi));
    g.setColour (slider.findColour (juce::Slider::thumbColourId));
    g.drawLine (juce::Line<float> (background.getBounds().getCentre(), tip), lineWidth);
}

juce::Label* MyLookAndFeel::createSliderTextBox (juce::Slider& slider)
{
    auto* label = juce::LookAndFeel_V2::createSliderTextBox (slider);
    label->setFont (label->getFont().withHeight (12.0f));
    return label;
}
