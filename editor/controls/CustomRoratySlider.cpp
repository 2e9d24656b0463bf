#include "CustomRoratySlider.h"

CustomRoratySlider::CustomRoratySlider (OstrelAudioProcessor& p, juce::String id) : CustomSliderBase (p, id)
{
    setLookAndFeel (&knobLookAndFeel);
    setSliderStyle (juce::Slider::RotaryHorizontalVerticalDrag);
    setRange (0.0, 100.0, 1.0); // until the panel's attachment gives the parameter's own range
    setTextBoxStyle (juce::Slider::NoTextBox, true, 50, 11);

    setColour (juce::Slider::rotarySliderFillColourId, juce::Colours::lightgreen);
    setColour (juce::Slider::thumbColourId, juce::Colours::lightgreen);
    setColour (juce::Slider::textBoxOutlineColourId, juce::Colours::transparentBlack);
    setColour (juce::Slider::rotarySliderOutlineColourId, juce::Colours::yellow.withAlpha ((juce::uint8) 0x4c));

    startListeningForModulation();
}

CustomRoratySlider::~CustomRoratySlider()
{
    setLookAndFeel (nullptr);
    stopListeningForModulation();
}

void CustomRoratySlider::mouseDown (const juce::MouseEvent& e)
{
    if (isPickingClick (e.mods))
        processor.setParameterForModulation (paramID);

    juce::Slider::mouseDown (e);
}

void CustomRoratySlider::setName (const juce::String& newName) { caption = newName; }

void CustomRoratySlider::paint (juce::Graphics& g)
{
    const auto w = getWidth();
    const auto h = getHeight();
    const auto pos = (float) valueToProportionOfLength (getValue());

    getLookAndFeel().drawRotarySlider (g, 0, 0, w, h, pos, startAngle, endAngle, *this);

    g.setFont (11.0f);
    g.setColour (juce::Colours::white);
    const auto m = juce::jmin (h / 6, h);
    g.drawFittedText (caption, 0, h - m, w, m, juce::Justification::centred, 0, 0.0f);

    // Read once: the audio thread may send a NaN at any moment, and the arc must not run toward one.
    const auto shown = shownModulation();
    if (!std::isnan (shown))
    {
        auto bounds = getLocalBounds();
        drawAutomationArc (g, bounds, shown);
    }
}

float CustomRoratySlider::shownModulation() const
{
    return juce::jlimit ((float) getMinimum(), (float) getMaximum(), getModulationValue());
}

void CustomRoratySlider::drawAutomationArc (juce::Graphics& g, juce::Rectangle<int>& area)
{
    const auto shown = shownModulation();
    if (!std::isnan (shown))
        drawAutomationArc (g, area, shown);
}

void CustomRoratySlider::drawAutomationArc (juce::Graphics& g, juce::Rectangle<int>& area, float shown)
{
    area = getLocalBounds();

    const auto cx = area.getWidth() / 2;
    const auto cy = area.getHeight() / 2;
    const auto r = juce::jmin (cx, cy);

    constexpr auto sweep = 4.712389f;
    constexpr auto start = 3.926991f;
    const auto from = (float) valueToProportionOfLength (getValue()) * sweep + start;
    const auto to = (float) valueToProportionOfLength (shown) * sweep + start;

    juce::Path arc;
    arc.addCentredArc ((float) cx, (float) cy, (float) r, (float) r, 0.0f, from, to, true);
    g.setColour (juce::Colours::yellow);
    g.strokePath (arc, juce::PathStrokeType (2.0f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt));
}

double CustomRoratySlider::valueToProportionOfLength (double value)
{
    const auto minimum = getMinimum();
    const auto maximum = getMaximum();
    const auto v = juce::jlimit (minimum, maximum, value);

    if (useLogarithmicScaling)
        return v <= 0.0 ? 0.0 : (std::log (v) - std::log (minimum)) / (std::log (maximum) - std::log (minimum));

    return (v - minimum) / (maximum - minimum);
}

double CustomRoratySlider::proportionOfLengthToValue (double proportion)
{
    const auto minimum = getMinimum();
    const auto maximum = getMaximum();
    const auto p = juce::jlimit (0.0, 1.0, proportion);

    if (useLogarithmicScaling)
        return std::exp (std::log (minimum) + p * (std::log (maximum) - std::log (minimum)));

    return minimum + p * (maximum - minimum);
}

void CustomRoratySlider::setUseLogarithmicScaling (bool shouldUseLogarithmicScaling)
{
    useLogarithmicScaling = shouldUseLogarithmicScaling;
}
