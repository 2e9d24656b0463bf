#pragma once

#include "processor/PluginProcessor.h"

/** The plug-in's window. */
class OstrelAudioProcessorEditor : public juce::AudioProcessorEditor
{
public:
    explicit OstrelAudioProcessorEditor (OstrelAudioProcessor&);
    ~OstrelAudioProcessorEditor() override;

    void paint (juce::Graphics&) override;
    void resized() override;

private:
    OstrelAudioProcessor& audioProcessor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OstrelAudioProcessorEditor)
};
