#pragma once

#include "GlobalPanelClass.h"

/** One cycle of an LFO's shape, drawn from its panel's values (not from the engine's running LFO). Random shows
    eight sample-and-hold steps that stay as they are until the width changes or Random is chosen again. */
class LFOView : public juce::Component
{
public:
    LFOView() = default;
    ~LFOView() override = default;

    void paint (juce::Graphics&) override;

    /** New steps for the current width into rawNoise, and displayNoise rotated by the offset. */
    void generateNoiseBuffer();
    /** displayNoise from rawNoise rotated by the offset: no new random values. */
    void rotateNoise();
    /** The preview's line at the view's size: one point per pixel column. */
    juce::Path createWavePath() const;

    float amount = 1.0f;
    /** Phase offset in cycles. */
    float offset = 0.0f;
    /** 0 Sine, 1 Saw, 2 Square, 3 Triangle, 4 Random. */
    int waveType = 0;
    /** The width the noise was generated at. */
    int noiseWidth = 0;
    const int numSteps = 8;
    /** The noise as drawn, rotated by the offset. */
    juce::Array<float> displayNoise;
    /** The sample-and-hold steps as generated. */
    juce::Array<float> rawNoise;

private:
    /** The preview's own generator: the shared one is drawn from on other threads. */
    juce::Random random;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LFOView)
};

/** One LFO's seven controls and the preview of its cycle. "Sync" puts the note-value "Rate" in place of the free
    one. */
class LFOGUI : public GlobalPanelClass
{
public:
    /** Over one LFO group: "Rate", "Amount", "Offset", the note-value "Rate", "LFOType", "Sync", "Retrigger". */
    LFOGUI (OstrelAudioProcessor& processor, const ParameterGroup& group);
    ~LFOGUI() override = default;

    juce::Label titleLabel;
    std::unique_ptr<LFOView> lfoView;

private:
    void layOut() override;
    /** Any control: the preview; either toggle then the layout too, so that "Sync" swaps the rate knobs at once. */
    void controlChanged (juce::Component& control) override;
    void updateView();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LFOGUI)
};
