#include "Spectrum.h"

#include "editor/PanelColours.h"

#include <cmath>

SpectrumView::SpectrumView (OstrelAudioProcessor* p) : processor (p)
{
    title.setText ("Spectrum", juce::dontSendNotification);
    title.setColour (juce::Label::textColourId, juce::Colours::turquoise);
    addAndMakeVisible (title);
    startTimer (16);
}

void SpectrumView::timerCallback()
{
    // The processor writes the array only while the flag is clear: it is this view's from seeing the flag set
    // until clearing it.
    if (!processor->spectrumBlockReady.load (std::memory_order_acquire))
        return;

    drawNextFrameOfSpectrum();
    processor->spectrumBlockReady.store (false, std::memory_order_release);
    repaint();
}

void SpectrumView::drawNextFrameOfSpectrum()
{
    auto* data = processor->spectrumFftData;

    // A sample that is not finite counts as silence: it would otherwise reach every bin.
    for (int i = 0; i < fftSize; ++i)
        if (!std::isfinite (data[i]))
            data[i] = 0.0f;

    window.multiplyWithWindowingTable (data, (size_t) fftSize);
    forwardFFT.performFrequencyOnlyForwardTransform (data);

    const auto fullScaleDecibels = juce::Decibels::gainToDecibels ((float) fftSize);

    for (int i = 0; i < scopeSize; ++i)
    {
        const auto skewed = 1.0f - std::exp (std::log (1.0f - (float) i / (float) scopeSize) * 0.2f);
        const auto bin = juce::jlimit (0, fftSize / 2, (int) (skewed * (float) fftSize * 0.5f));
        const auto decibels = juce::Decibels::gainToDecibels (data[bin]) - fullScaleDecibels;
        auto level = decibels < -100.0f ? 0.0f : (juce::jmin (decibels, 0.0f) + 100.0f) / 100.0f;

        if (!std::isfinite (level))
            level = 0.0f;

        // The hold falls by 0.007 per analysed block.
        if (level > peakLevels[i])
            peakLevels[i] = level;
        else if (peakLevels[i] > 0.0f)
            peakLevels[i] = (float) ((double) peakLevels[i] - 0.007);

        scopeData[i] = peakLevels[i];
    }
}

void SpectrumView::paint (juce::Graphics& g)
{
    const auto w = getWidth();
    const auto h = getHeight();

    // The brush the framework hands over: opaque black.
    g.fillAll();

    g.setColour (juce::Colours::white.withAlpha ((juce::uint8) 0x33));
    if (w >= 10 && h > 0)
        for (int k = 0; k < 10; ++k)
            g.fillRect (k * w / 10, 0, 1, h);
    if (h >= 5 && w > 0)
        for (int k = 0; k < 5; ++k)
            g.fillRect (0, k * h / 5, w, 1);

    const auto baseline = (float) (h - 20);
    juce::Path curve;
    curve.startNewSubPath (10.0f, baseline);
    for (int k = 1; k < scopeSize; ++k)
        curve.lineTo ((float) (k * (w - 20) / (scopeSize - 1) + 10), baseline * (1.0f - scopeData[k]));
    curve.lineTo ((float) (w - 10), baseline);

    g.setColour (juce::Colours::orange);
    g.strokePath (curve, juce::PathStrokeType (1.5f, juce::PathStrokeType::beveled, juce::PathStrokeType::butt));

    if (!curve.isEmpty())
    {
        g.setGradientFill (curveFill ({ 0.0f, 0.0f }, { (float) w, (float) h }));
        g.fillPath (curve);
    }

    g.setColour (juce::Colours::grey.withAlpha ((juce::uint8) 0x80));
    g.drawRoundedRectangle (juce::Rectangle<int> (2, 2, juce::jmax (0, w - 4), juce::jmax (0, h - 4)).toFloat(),
                            2.0f,
                            1.0f);
}

void SpectrumView::resized() { title.setBounds ((getWidth() - 70) / 2, 4, 70, 20); }

//==============================================================================
SpectrumPanel::SpectrumPanel (OstrelAudioProcessor& p) : spectrumView (&p), processor (&p)
{
    addAndMakeVisible (spectrumView);
}

void SpectrumPanel::paint (juce::Graphics& g)
{
    g.fillAll (panelColours[0]);
    g.setColour (juce::Colours::darkgrey);
    g.drawRect (0, 0, getWidth(), getHeight(), 1);
}

void SpectrumPanel::resized()
{
    const auto w = getWidth() - 4;
    const auto h = getHeight() - 4;
    spectrumView.setBounds (2, 2, w < 5 ? 0 : w, h < 5 ? 0 : h);
}
