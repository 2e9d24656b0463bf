#include "PluginProcessor.h"

juce::String OstrelAudioProcessor::getFilePath (juce::String fileName) const
{
    return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory)
        .getChildFile (presetsFolderName)
        .getChildFile (fileName)
        .getFullPathName();
}

void OstrelAudioProcessor::readProgramsFromPresetsFile() {}

int OstrelAudioProcessor::getNumPrograms() { return 1; }

int OstrelAudioProcessor::getCurrentProgram() { return 0; }

void OstrelAudioProcessor::setCurrentProgram (int) {}

const juce::String OstrelAudioProcessor::getProgramName (int index)
{
    return index == 0 ? "Init" : "NoPreset";
}

void OstrelAudioProcessor::changeProgramName (int, const juce::String&) {}
