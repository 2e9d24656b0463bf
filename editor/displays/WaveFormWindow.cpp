#include "WaveFormWindow.h"

#include <cmath>

WaveFormWindow::WaveFormWindow (OstrelAudioProcessor& p) : processor (p)
{
    history.resize ((size_t) historyLength);
    startTimer (30);
}

void WaveFormWindow::paint (juce::Graphics& g)
{
    const auto w = getWidth();
    const auto h = getHeight();
    const auto centreY = (float) h / 2.0f;

    g.fillAll (juce::Colours::black);
    g.setColour (juce::Colours::darkgrey);
    g.drawRect (0, 0, w, h, 1);

    g.setColour (juce::Colours::darkgrey.withAlpha ((juce::uint8) 0x80));
    const auto q = h / 4;
    for (int k = 1; k <= 3; ++k)
        g.fillRect (0, k * q, w, 1);
    const auto p = w / 10;
    for (int k = 1; k <= 9; ++k)
        g.fillRect (k * p, 0, 1, h);

    // One read of the feed per paint.
    processor.waveDisplayBuffer.read (samples.data());
    const auto n = (int) samples.size();
    if (n == 0)
        return;

    juce::Path shape;
    shape.startNewSubPath (0.0f, centreY);
    for (int i = 0; i < n; ++i)
        shape.lineTo ((float) (i * w) / (float) n, (1.0f - samples[(size_t) i]) * centreY);
    shape.lineTo ((float) w, centreY);

    // The oldest shapes lie furthest up and to the right, and are the most opaque.
    const auto count = (int) history.size();
    const auto step = 1.0f / (float) historyLength;
    for (int i = 0; i < count; ++i)
    {
        const auto e = -(float) (count - i) / (float) count;
        const auto shift = (float) i * std::exp (trailOffsetCurve * e);
        const auto alpha = 0.7f * std::exp (trailAlphaCurve * e);

        juce::Graphics::ScopedSaveState saved (g);
        g.addTransform (juce::AffineTransform::translation (shift * trailOffsetX * step, shift * trailOffsetY * step));
        g.setColour (juce::Colours::orange.withAlpha (juce::jlimit (0.0f, 1.0f, 0.8f * alpha)));
        g.strokePath (history[(size_t) i],
                      juce::PathStrokeType (1.5f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt));
    }

    g.setColour (juce::Colours::orange);
    g.strokePath (shape, juce::PathStrokeType (2.0f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt));

    g.setColour (juce::Colours::white.withAlpha ((juce::uint8) 0x4c));
    g.drawLine (0.0f, centreY, (float) w, centreY, 1.0f);

    // The trail moves on once per paint, whatever caused it.
    history.push_front (std::move (shape));
    while ((int) history.size() > historyLength)
        history.pop_back();
}
