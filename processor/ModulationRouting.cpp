#include "PluginProcessor.h"

void OstrelAudioProcessor::modulationMatrixRowCheckValues (ModType, int, int, float) {}

void OstrelAudioProcessor::setParameterForModulation (juce::String) {}

void OstrelAudioProcessor::addSliderChangeListener (MySliderChangeListener*) {}

void OstrelAudioProcessor::removeSliderChangeListener (MySliderChangeListener*) {}

void OstrelAudioProcessor::addModulationChangeListener (MyModulationSelectChangeListener*) {}

void OstrelAudioProcessor::removeModulationChangeListener (MyModulationSelectChangeListener*) {}

void OstrelAudioProcessor::addModulationListener (const juce::String&, ModulationListener*) {}

void OstrelAudioProcessor::removeModulationListener (const juce::String&, ModulationListener*) {}
