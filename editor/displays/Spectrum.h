#pragma once

#include "processor/PluginProcessor.h"

/** The spectrum of the output: the FFT of each 1024-sample block the processor hands over, on a logarithmically
    skewed frequency axis, with a slowly falling peak hold. Checks for a block every 16 ms and repaints only when
    one came; message thread only. */
class SpectrumView : public juce::Component, public juce::Timer
{
public:
    explicit SpectrumView (OstrelAudioProcessor* processor);
    ~SpectrumView() override = default;

    void paint (juce::Graphics&) override;
    void resized() override;
    /** Takes the handed-over block, if one is there, and gives the array back to the processor. */
    void timerCallback() override;

    /** Transforms the handed-over block in place and updates scopeData. Only while the block is this view's. */
    void drawNextFrameOfSpectrum();

    static constexpr int fftOrder = 10;
    static constexpr int fftSize = 1 << fftOrder;
    static constexpr int scopeSize = 256;

private:
    OstrelAudioProcessor* processor;

public:
    juce::dsp::FFT forwardFFT{ fftOrder };
    juce::dsp::WindowingFunction<float> window{ (size_t) fftSize, juce::dsp::WindowingFunction<float>::hann };
    /** The levels drawn, 0..1. */
    float scopeData[scopeSize]{};
    juce::Label title;
    /** The held levels. */
    float peakLevels[scopeSize]{};

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SpectrumView)
};

/** The spectrum's frame. */
class SpectrumPanel : public juce::Component
{
public:
    explicit SpectrumPanel (OstrelAudioProcessor& processor);
    ~SpectrumPanel() override = default;

    void paint (juce::Graphics&) override;
    void resized() override;

    SpectrumView spectrumView;

private:
    [[maybe_unused]] OstrelAudioProcessor* processor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SpectrumPanel)
};
