#pragma once

#include "processor/PluginProcessor.h"

#include <array>
#include <deque>

/** The oscilloscope: the output's last 1024-sample cycle from a rising zero crossing on, averaged over the last
    snapshots and smoothed from paint to paint. Repaints every 16 ms; message thread only. */
class Visualiser : public juce::Component, public juce::Timer
{
public:
    explicit Visualiser (OstrelAudioProcessor* processor);
    ~Visualiser() override = default;

    void paint (juce::Graphics&) override;
    void timerCallback() override { repaint(); }

private:
    OstrelAudioProcessor* processor;

public:
    /** The curve drawn: empty until the first paint. */
    juce::Array<float> smoothed;
    /** The last snapshots, oldest at the front. */
    std::deque<juce::Array<float>> history;
    size_t historySize = 5;
    float smoothing = 0.15f;

private:
    static constexpr int numSamples = OstrelAudioProcessor::scopeSize;

    /** Takes this paint's snapshot into history and moves smoothed towards the average. */
    void updateCurve();

    /** The feed's samples as this paint read them. */
    std::array<float, numSamples> samples{};
    /** The weight that pulls both ends of the trace to the centre line. */
    std::array<float, numSamples> hann{};

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Visualiser)
};

/** The oscilloscope's frame, titled "Waves". */
class VisualiserRect : public juce::Component
{
public:
    explicit VisualiserRect (OstrelAudioProcessor& processor);
    ~VisualiserRect() override = default;

    void paint (juce::Graphics&) override;
    void resized() override;

    Visualiser visualiser;
    juce::Label title;

private:
    [[maybe_unused]] OstrelAudioProcessor* processor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VisualiserRect)
};
