#include "KnurlLookAndFeel.h"

void KnurlLookAndFeel::drawRotarySlider (juce::Graphics& g,
                                         int x,
                                         int y,
                                         int width,
                                         int height,
                                         float sliderPos,
                                         float startAngle,
                                         float endAngle,
                                         juce::Slider& slider)
{
    const auto radius = (float) juce::jmin (width / 2, height / 2) - 2.0f;
    const auto centreX = (float) x + (float) width * 0.5f;
    const auto centreY = (float) y + (float) height * 0.5f;
    const auto rx = centreX - radius;
    const auto ry = centreY - radius;
    const auto rw = radius * 2.0f;
    const auto angle = startAngle + sliderPos * (endAngle - startAngle);
    const auto enabled = slider.isEnabled();
    const auto over = enabled && slider.isMouseOverOrDragging();

    auto fill = slider.findColour (juce::Slider::rotarySliderFillColourId);
    if (!enabled)
        fill = fill.darker (0.5f);

    const auto thumb = enabled ? slider.findColour (juce::Slider::thumbColourId).withAlpha (over ? 1.0f : 0.7f)
                               : juce::Colour (0x80808080);

    if (radius <= 0.1f)
    {
        // Too small for a face: a ring with a pointer.
        juce::Path p;
        p.addEllipse (-0.4f * rw, -0.4f * rw, 0.8f * rw, 0.8f * rw);
        juce::PathStrokeType (rw * 0.1f).createStrokedPath (p, p);
        p.addLineSegment (juce::Line<float> (0.0f, 0.0f, 0.0f, -radius), rw * 0.2f);
        g.setColour (thumb);
        g.fillPath (p, juce::AffineTransform::rotation (angle).translated (centreX, centreY));
        return;
    }

    {
        juce::Path thumbSegment;
        thumbSegment.addPieSegment (rx,
                                    ry,
                                    rw,
                                    rw,
                                    (float) ((double) angle - 0.1),
                                    (float) ((double) angle + 0.1),
                                    over ? 0.6f : 0.65f);
        g.setColour (thumb);
        g.fillPath (thumbSegment);
    }

    const auto text = slider.getTextFromValue (slider.getValue());

    g.setColour (juce::Colour (0x40000000));
    g.fillEllipse (rx, ry, rw, rw);

    juce::Font font (text.length() >= 7 ? rw / 5.0f : rw / 4.0f, juce::Font::plain);
    font.setTypefaceStyle ("Regular");
    const auto textWidth = (int) std::ceil (font.getStringWidthFloat (text));
    g.setFont (font);

    g.setColour (slider.findColour (juce::Slider::textBoxTextColourId).withAlpha (over ? 1.0f : 0.7f));

    // The text box is placed from the component's origin, whatever x and y are.
    const auto boxWidth = (int) ((float) width * 0.55f);
    const auto boxHeight = (int) ((float) height * 0.25f);
    const auto textX = (int) ((width - boxWidth) / 2 + (boxWidth - textWidth) * 0.5);
    g.drawText (
        text,
        juce::Rectangle<int> (textX, (height - boxHeight) / 2, juce::jmax (0, textWidth), juce::jmax (0, boxHeight)),
        juce::Justification::centred,
        true);

    {
        juce::Path outline;
        outline.addCentredArc (rx + rw / 2.0f, ry + rw / 2.0f, rw / 2.0f, rw / 2.0f, 0.0f, startAngle, endAngle, true);
        g.setColour (enabled ? slider.findColour (juce::Slider::rotarySliderOutlineColourId)
                             : juce::Colour (0x80808080));
        g.strokePath (outline,
                      juce::PathStrokeType (over ? 2.0f : (enabled ? 2.2f : 0.3f),
                                            juce::PathStrokeType::mitered,
                                            juce::PathStrokeType::butt));
    }

    // A range symmetric about zero rings out from the middle.
    auto from = startAngle;
    auto to = angle;
    const auto minimum = slider.getMinimum();
    const auto maximum = slider.getMaximum();

    if (minimum + maximum == 0.0 && maximum >= minimum)
    {
        const auto mid = (startAngle + endAngle) / 2.0f;
        from = angle > mid ? mid : angle;
        to = angle > mid ? angle : mid;
    }

    juce::Path ring;
    ring.addPieSegment (rx, ry, rw, rw, from, to, 0.92f);
    g.setColour (fill);
    g.fillPath (ring);
}
