#include "PluginEditor.h"

namespace
{
const juce::Colour panelBackground { 0xff141414 };
}

OstrelAudioProcessorEditor::OstrelAudioProcessorEditor (OstrelAudioProcessor& p)
    : juce::AudioProcessorEditor (&p), audioProcessor (p)
{
    setSize (900, 700);
}

OstrelAudioProcessorEditor::~OstrelAudioProcessorEditor() = default;

void OstrelAudioProcessorEditor::paint (juce::Graphics& g) { g.fillAll (panelBackground); }

void OstrelAudioProcessorEditor::resized() {}
