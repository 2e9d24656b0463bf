#include "CustomOrientedSlider.h"

CustomOrientedSlider::CustomOrientedSlider (OstrelAudioProcessor& p, const juce::String& id, Orientation o) :
    CustomSliderBase (p, id), orientation (o)
{
    setSliderStyle (orientation == horizontal ? juce::Slider::LinearHorizontal : juce::Slider::LinearVertical);
    setTextBoxStyle (juce::Slider::NoTextBox, true, 0, 0);

    startListeningForModulation();
}

CustomOrientedSlider::~CustomOrientedSlider()
{
    gesture.reset();
    stopListeningForModulation();
}

float CustomOrientedSlider::valueAt (const juce::MouseEvent& e) const
{
    const auto minimum = (float) getMinimum();
    const auto maximum = (float) getMaximum();
    const auto position = e.getPosition();

    auto v = orientation == horizontal
                 ? minimum + (maximum - minimum) * (float) position.x / (float) getWidth()
                 : minimum + (float) (position.y - getHeight()) * (maximum - minimum) / (float) (0 - getHeight());

    if (e.mods.isShiftDown())
        v = std::round (v);

    return std::isfinite (v) ? v : std::numeric_limits<float>::quiet_NaN();
}

void CustomOrientedSlider::setValueFromMouse (const juce::MouseEvent& e)
{
    // A bar of no size tells no value.
    const auto v = valueAt (e);
    if (!std::isnan (v))
        setValue (v, juce::sendNotificationSync);
}

void CustomOrientedSlider::mouseDown (const juce::MouseEvent& e)
{
    // A press whose release never came still ends its gesture before another begins.
    gesture.reset();
    pickingPress = isPickingClick (e.mods);

    if (pickingPress)
    {
        processor.setParameterForModulation (paramID);
        return;
    }

    gesture = std::make_unique<juce::Slider::ScopedDragNotification> (*this);
    setValueFromMouse (e);
}

void CustomOrientedSlider::mouseDrag (const juce::MouseEvent& e)
{
    if (!pickingPress)
        setValueFromMouse (e);
}

void CustomOrientedSlider::mouseUp (const juce::MouseEvent&) { gesture.reset(); }

void CustomOrientedSlider::mouseDoubleClick (const juce::MouseEvent& e)
{
    // The framework's double click sets the default: a second picking click must only pick.
    if (pickingPress || isPickingClick (e.mods))
        return;

    juce::Slider::mouseDoubleClick (e);
}

void CustomOrientedSlider::setName (const juce::String& newName)
{
    caption = newName;
    repaint();
}

void CustomOrientedSlider::paint (juce::Graphics& g)
{
    if (orientation == horizontal)
        paintHorizontal (g);
    else
        paintVertical (g);
}

void CustomOrientedSlider::paintHorizontal (juce::Graphics& g)
{
    const auto w = (float) getWidth();
    const auto h = (float) getHeight();
    const auto value = (float) getValue();
    const auto minimum = (float) getMinimum();
    const auto maximum = (float) getMaximum();
    const auto modulation = juce::jlimit (minimum, maximum, getModulationValue());

    // Value text above, caption below, the bar between them.
    const auto top = juce::jmin (h, 14.0f);
    const auto bottom = juce::jmin (h - top, 14.0f);
    const auto lineY = top + (h - top - bottom) / 2.0f;

    const auto xOf = [=] (float v) { return (v - minimum) * w / (maximum - minimum); };
    const auto thumbX = juce::jmax (3.0f, juce::jmin (w - 3.0f, xOf (value)));
    const auto zeroX = xOf (0.0f);

    g.setColour (backgroundColour);
    g.fillRoundedRectangle (juce::Rectangle<float> (0.0f, top, w, h - top - bottom), 3.0f);

    g.setColour (trackColour);
    g.drawLine (0.0f, lineY, w, lineY, 3.0f);

    g.setColour (juce::Colour (0xb290ee90));
    if (value > 0.0f)
        g.fillRect (juce::Rectangle<float> (zeroX, lineY - 3.0f, thumbX - zeroX, 6.0f));
    else
        g.fillRect (juce::Rectangle<float> (thumbX, lineY - 3.0f, zeroX - thumbX, 6.0f));

    if (!std::isnan (modulation))
    {
        const auto modulationX = xOf (modulation);
        g.setColour (juce::Colour (0xb2ffff00));
        if (modulation > value)
            g.fillRect (juce::Rectangle<float> (thumbX, lineY - 1.5f, modulationX - thumbX, 3.0f));
        else
            g.fillRect (juce::Rectangle<float> (modulationX, lineY - 1.5f, thumbX - modulationX, 3.0f));
    }

    g.setColour (thumbColour);
    g.fillRect (juce::Rectangle<float> (thumbX - 3.0f, lineY - 8.0f, 6.0f, 16.0f));

    g.setColour (textColour);
    g.setFont (10.0f);
    g.drawText (caption, juce::Rectangle<float> (0.0f, h - bottom, w, bottom), juce::Justification::centred, false);
    g.drawText (juce::String (value, 2),
                juce::Rectangle<float> (0.0f, 0.0f, w, top),
                juce::Justification::centred,
                false);
}

void CustomOrientedSlider::paintVertical (juce::Graphics& g)
{
    // The horizontal bar turned upright, on the mouse's scale: the bottom edge is the minimum, the top the maximum.
    const auto w = (float) getWidth();
    const auto h = (float) getHeight();
    const auto value = (float) getValue();
    const auto minimum = (float) getMinimum();
    const auto maximum = (float) getMaximum();
    const auto modulation = juce::jlimit (minimum, maximum, getModulationValue());
    const auto lineX = w / 2.0f;

    const auto yOf = [=] (float v) { return h - (v - minimum) * h / (maximum - minimum); };
    const auto thumbY = juce::jmax (3.0f, juce::jmin (h - 3.0f, yOf (value)));
    const auto zeroY = yOf (0.0f);

    g.setColour (backgroundColour);
    g.fillRoundedRectangle (getLocalBounds().toFloat(), 3.0f);

    g.setColour (trackColour);
    g.drawLine (lineX, 0.0f, lineX, h, 3.0f);

    g.setColour (juce::Colour (0xb290ee90));
    g.fillRect (juce::Rectangle<float>::leftTopRightBottom (lineX - 3.0f,
                                                            juce::jmin (thumbY, zeroY),
                                                            lineX + 3.0f,
                                                            juce::jmax (thumbY, zeroY)));

    if (!std::isnan (modulation))
    {
        const auto modulationY = yOf (modulation);
        g.setColour (juce::Colour (0xb2ffff00));
        g.fillRect (juce::Rectangle<float>::leftTopRightBottom (lineX - 1.5f,
                                                                juce::jmin (thumbY, modulationY),
                                                                lineX + 1.5f,
                                                                juce::jmax (thumbY, modulationY)));
    }

    g.setColour (thumbColour);
    g.fillRect (juce::Rectangle<float> (lineX - 8.0f, thumbY - 3.0f, 16.0f, 6.0f));

    g.setColour (textColour);
    g.setFont (10.0f);
    g.drawText (caption, juce::Rectangle<float> (0.0f, h - 14.0f, w, 14.0f), juce::Justification::centred, false);
    g.drawText (juce::String (value, 2),
                juce::Rectangle<float> (0.0f, 0.0f, w, 14.0f),
                juce::Justification::centred,
                false);
}
