#include "PluginProcessor.h"

void OstrelAudioProcessor::prepareToPlay (double sampleRate, int)
{
    hostSampleRate = (float) sampleRate;

    synth.grid = imageGrid;
    for (auto& voice : synth.voices)
        voice.grid = imageGrid;

    imageUpdateWanted.store (true);
}

void OstrelAudioProcessor::reset() {}

void OstrelAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages)
{
    juce::ScopedNoDenormals noDenormals;
    buffer.clear();
    midiMessages.clear();
}
