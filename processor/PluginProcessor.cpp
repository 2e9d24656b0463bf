#include "PluginProcessor.h"

#include "editor/PluginEditor.h"

OstrelAudioProcessor::OstrelAudioProcessor()
    : juce::AudioProcessor (BusesProperties().withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      juce::Thread ("NoName"),
      valueTreeState (*this, &undoManager),
      synth (*this)
{
    buildProcessorParameterLists();

    for (int k = 0; k < (int) oversamplers.size(); ++k)
        oversamplers[(size_t) k] = std::make_unique<juce::dsp::Oversampling<float>> (
            2, (size_t) k, juce::dsp::Oversampling<float>::filterHalfBandFIREquiripple, true, true);

    for (int k = 1; k < (int) downsamplers.size(); ++k)
        downsamplers[(size_t) k] = std::make_unique<Downsampler> (k);

    presetsFolderName = "Ostrel";

    scopeRing.setSize (1, scopeSize);
    scopeRing.clear();

    for (auto& table : wavetableBuffers)
    {
        table.setSize (1, wavetableSize);
        table.clear();
    }

    for (auto& cell : imageGrid)
        cell.store (0.0f, std::memory_order_relaxed);

    completeParameterModel();
    freqTargetRow = parameterIndex.at (filterConfigs[FilterIndex::freq].paramID);

    for (int i = 0; i < numVoices; ++i)
        synth.voices[(size_t) i].wavetable = &wavetableBuffers[i];

    for (const auto& config : affineConfigs)
        valueTreeState.addParameterListener (config.paramID, this);

    fillNoteLengthBeats();

    numPresetValues = 0;
    for (auto* group : allConfigs)
        numPresetValues += (int) group->size();

    programs.clear();
    if (juce::File (getFilePath (pluginPresetFileCheckName)).exists())
        readProgramsFromPresetsFile();

    startThread();

    juce::File::getSpecialLocation (juce::File::userDocumentsDirectory).getChildFile (presetsFolderName).createDirectory();
}

OstrelAudioProcessor::~OstrelAudioProcessor()
{
    for (const auto& config : affineConfigs)
        valueTreeState.removeParameterListener (config.paramID, this);

    stopThread (100);

    // On Linux the LV2 and VST3 wrappers run the framework's message thread themselves, and hosts destroy the
    // plug-in on a thread of their own while that message thread may be inside the parameter tree's timer. Holding
    // the message thread until the tree is gone means no timer callback is halfway through it as it is taken down.
#if JUCE_LINUX || JUCE_BSD
    const auto wrapperRunsMessageThread = wrapperType == wrapperType_LV2 || wrapperType == wrapperType_VST3;
#else
    const auto wrapperRunsMessageThread = false;
#endif

    if (auto* messageManager = juce::MessageManager::getInstanceWithoutCreating();
        wrapperRunsMessageThread && messageManager != nullptr && !messageManager->isThisTheMessageThread())
        teardownLock = std::make_unique<juce::MessageManagerLock>();
}

const juce::String OstrelAudioProcessor::getName() const { return "Ostrel"; }

bool OstrelAudioProcessor::acceptsMidi() const { return true; }

// Declared so hosts route MIDI through; every block hands back an empty MIDI buffer.
bool OstrelAudioProcessor::producesMidi() const { return true; }

bool OstrelAudioProcessor::isMidiEffect() const { return false; }

double OstrelAudioProcessor::getTailLengthSeconds() const { return 0.0; }

bool OstrelAudioProcessor::hasEditor() const { return true; }

juce::AudioProcessorEditor* OstrelAudioProcessor::createEditor() { return new OstrelAudioProcessorEditor (*this); }

void OstrelAudioProcessor::releaseResources() {}

// The picture transform follows its parameters by polling on the image thread.
void OstrelAudioProcessor::parameterChanged (const juce::String&, float) {}

bool OstrelAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto output = layouts.getMainOutputChannelSet();
    return output == juce::AudioChannelSet::mono() || output == juce::AudioChannelSet::stereo();
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter() { return new OstrelAudioProcessor(); }
