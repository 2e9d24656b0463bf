#include "PluginProcessor.h"

void OstrelAudioProcessor::updateMidiNumber (bool) {}

void OstrelAudioProcessor::handleFilterFreqModulation (float) {}

void OstrelAudioProcessor::midiControllerModulation (int, float) {}
