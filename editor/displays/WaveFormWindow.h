#pragma once

#include "processor/PluginProcessor.h"

#include <array>
#include <deque>

/** The wavetable the first voice plays now, with a trail of the shapes of earlier paints. Repaints every 30 ms;
    message thread only. */
class WaveFormWindow : public juce::Component, public juce::Timer
{
public:
    explicit WaveFormWindow (OstrelAudioProcessor& processor);
    ~WaveFormWindow() override = default;

    void paint (juce::Graphics&) override;
    void timerCallback() override { repaint(); }

private:
    OstrelAudioProcessor& processor;

public:
    /** The shapes of earlier paints, newest at the front; always historyLength of them. */
    std::deque<juce::Path> history;
    int historyLength = 15;
    float trailOffsetX = 30.0f, trailOffsetY = -25.0f, trailOffsetCurve = 2.5f, trailAlphaCurve = 1.8f;

private:
    /** The feed's samples as this paint read them. */
    std::array<float, OstrelAudioProcessor::wavetableSize> samples{};

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WaveFormWindow)
};
