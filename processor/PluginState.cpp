#include "PluginProcessor.h"

void OstrelAudioProcessor::getStateInformation (juce::MemoryBlock&) {}

void OstrelAudioProcessor::setStateInformation (const void*, int) {}
