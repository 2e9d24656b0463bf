#pragma once

#include "GlobalPanelClass.h"

/** The voice filter's magnitude response, computed here from the panel's values (not read from the engine):
    a four-pole response with feedback, from 20 Hz over three decades, 0 dB 30 pixels below the top. */
class FrequencyResponseView : public juce::Component
{
public:
    FrequencyResponseView() = default;
    ~FrequencyResponseView() override = default;

    void paint (juce::Graphics&) override;

    /** The filled response shape at the view's size: one point per pixel column, then closed along the bottom. */
    juce::Path createResponsePath() const;

    /** Cut-off in Hz / 22000. */
    double normalisedCutoff = 0.99;
    /** Resonance feedback, 4 x "Q". */
    double feedback = 0.3;
    /** 0 low-pass, 1 high-pass, 2 band-pass; any other value draws the low-pass. */
    int responseType = 0;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FrequencyResponseView)
};

/** The filter's "Freq", "Q" and "Type" with the response they give drawn below. */
class FilterGUI : public GlobalPanelClass
{
public:
    /** Over the filter group: "Freq", "Q", then the "Type" combo box. */
    FilterGUI (OstrelAudioProcessor& processor, const ParameterGroup& group);
    ~FilterGUI() override = default;

    juce::Label titleLabel;
    FrequencyResponseView responseView;

private:
    void layOut() override;
    /** Any of the three: the view follows. */
    void controlChanged (juce::Component&) override { updateResponseView(); }
    void updateResponseView();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FilterGUI)
};
