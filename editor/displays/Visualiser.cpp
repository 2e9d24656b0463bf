#include "Visualiser.h"

#include "editor/PanelColours.h"

#include <cmath>

Visualiser::Visualiser (OstrelAudioProcessor* p) : processor (p)
{
    for (int i = 0; i < numSamples; ++i)
        hann[(size_t) i] = 0.5f * (1.0f - std::cos (6.2831855f * (float) i / (float) (numSamples - 1)));

    startTimer (16);
}

void Visualiser::updateCurve()
{
    // One read of the feed per paint. A sample that is not finite counts as silence: one of them would otherwise
    // stay in the smoothed trace for good.
    processor->scopeBuffer.read (samples.data());
    for (auto& s : samples)
        if (!std::isfinite (s))
            s = 0.0f;

    int trigger = 0;
    for (int i = 1; i < numSamples; ++i)
    {
        if (samples[(size_t) i - 1] <= 0.0f && samples[(size_t) i] > 0.0f)
        {
            trigger = i;
            break;
        }
    }

    // The oldest snapshot's storage is reused for the newest.
    juce::Array<float> snapshot;
    if (!history.empty() && history.size() >= historySize)
    {
        snapshot = std::move (history.front());
        history.pop_front();
    }
    snapshot.resize (numSamples);
    for (int i = 0; i < numSamples; ++i)
        snapshot.set (i, 4.0f * samples[(size_t) ((i + trigger) % numSamples)]);

    history.push_back (std::move (snapshot));
    while (history.size() > historySize)
        history.pop_front();

    const auto entries = (float) history.size();
    const auto firstPaint = smoothed.isEmpty();
    smoothed.resize (numSamples);

    for (int i = 0; i < numSamples; ++i)
    {
        auto sum = 0.0f;
        for (const auto& entry : history)
            sum += entry.getUnchecked (i);
        const auto average = sum / entries;

        auto value =
            firstPaint ? average : smoothed.getUnchecked (i) + smoothing * (average - smoothed.getUnchecked (i));

        // Finite samples can still add up past the float range; the trace starts again from the centre then.
        smoothed.setUnchecked (i, std::isfinite (value) ? value : 0.0f);
    }
}

void Visualiser::paint (juce::Graphics& g)
{
    const auto w = (float) getWidth();
    const auto h = (float) getHeight();
    const auto centreY = h / 2.0f;

    g.fillAll (juce::Colours::black);
    updateCurve();

    juce::Path trace;
    trace.startNewSubPath (0.0f, centreY);
    for (int i = 0; i < numSamples; ++i)
    {
        const juce::Point<float> point ((float) i * w / (float) (numSamples - 1),
                                        centreY + hann[(size_t) i] * smoothed.getUnchecked (i) * centreY);
        if (i == 0)
            trace.startNewSubPath (point);
        else
            trace.lineTo (point);
    }
    trace.lineTo (w, centreY);

    juce::ColourGradient gradient (juce::Colours::green, 0.0f, 0.0f, juce::Colours::green, w, 0.0f, false);
    gradient.addColour (0.166, juce::Colours::yellow);
    gradient.addColour (0.333, juce::Colours::orange);
    gradient.addColour (0.5, juce::Colours::orange);
    gradient.addColour (0.666, juce::Colours::orange);
    gradient.addColour (0.833, juce::Colours::yellow);
    g.setGradientFill (gradient);
    g.strokePath (trace, juce::PathStrokeType (1.5f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt));
}

//==============================================================================
VisualiserRect::VisualiserRect (OstrelAudioProcessor& p) : visualiser (&p), processor (&p)
{
    title.setText ("Waves", juce::dontSendNotification);
    title.setColour (juce::Label::textColourId, juce::Colours::turquoise);

    // The title lies on top of the trace.
    addAndMakeVisible (visualiser);
    addAndMakeVisible (title);
}

void VisualiserRect::paint (juce::Graphics& g)
{
    g.fillAll (panelColours[0]);
    g.setColour (juce::Colours::darkgrey.darker (0.4f));
    g.drawRect (1, 1, getWidth() - 1, getHeight() - 1, 1);
}

void VisualiserRect::resized()
{
    const auto w = getWidth();
    const auto h = getHeight();
    visualiser.setBounds (2, 2, juce::jmax (0, w - 2), juce::jmax (0, h - 2));
    title.setBounds ((w - 70) / 2, 4, 70, 20);
}
