#include "PluginProcessor.h"

#include "editor/PluginEditor.h"

namespace
{
/** Host samples from the voices to the output at stages x2, x4 and x8: where the output's response to a step in
    the voices passes half its height (the oversamplers' down-sampling filters, with the output low-pass). */
constexpr int outputLatencies[] = { 20, 26, 27 };

/** How often the message thread looks for work the other threads asked for. */
constexpr int messageThreadJobsIntervalMs = 50;
} // namespace

OstrelAudioProcessor::OstrelAudioProcessor() :
    juce::AudioProcessor (BusesProperties().withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
    juce::Thread ("NoName"),
    valueTreeState (*this, &undoManager),
    synth (*this)
{
    buildProcessorParameterLists();

    // Room for a flurry of on-screen keyboard notes, so that adding one under keyboardMidiLock, which the audio
    // thread takes every block, does not allocate.
    keyboardMidiBuffer.ensureSize (4096);

    for (int k = 0; k < (int) oversamplers.size(); ++k)
        oversamplers[(size_t) k] = std::make_unique<juce::dsp::Oversampling<float>> (
            2,
            (size_t) k,
            juce::dsp::Oversampling<float>::filterHalfBandFIREquiripple,
            true,
            true);

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

    // The host is told the output latency whenever the oversampling choice changes.
    valueTreeState.addParameterListener (overSampleConfigs[0].paramID, this);

    fillNoteLengthBeats();

    // A preset holds a value per record, keyed by its ID.
    juce::StringArray presetKeys;
    for (auto* group : allConfigs)
        for (const auto& config : *group)
            presetKeys.add (config.paramID);

    numPresetValues = presetKeys.size();
    presetsFileFormat = PresetsFile (presetKeys);

    programs.clear();
    if (juce::File (getFilePath (pluginPresetFileCheckName)).exists())
        readProgramsFromPresetsFile();

    latencyJob = messageThreadJobs.add ([this] { reportOutputLatency(); });
    followMatrixParameters();
    messageThreadJobs.start (messageThreadJobsIntervalMs);

    startThread();

    juce::File::getSpecialLocation (juce::File::userDocumentsDirectory)
        .getChildFile (presetsFolderName)
        .createDirectory();
}

OstrelAudioProcessor::~OstrelAudioProcessor()
{
    messageThreadJobs.stop();
    stopFollowingMatrixParameters();

    for (const auto& config : affineConfigs)
        valueTreeState.removeParameterListener (config.paramID, this);
    valueTreeState.removeParameterListener (overSampleConfigs[0].paramID, this);

    // A transform pass is short and always ends, so the image thread is waited for, never killed: killed inside a
    // pass, it would leave the global picture lock held and every other instance spinning on it for ever.
    signalThreadShouldExit();
    notify();
    stopThread (-1);

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

// The picture transform follows its parameters by polling, at every pass. Called on whichever thread set the
// parameter, the audio thread included: the latency is only marked for the message thread here.
void OstrelAudioProcessor::parameterChanged (const juce::String& parameterID, float)
{
    if (parameterID == overSampleConfigs[0].paramID)
        messageThreadJobs.mark (latencyJob);
}

int OstrelAudioProcessor::outputLatencyForStage (int stage) noexcept
{
    return outputLatencies[juce::jlimit (1, 3, stage) - 1];
}

int OstrelAudioProcessor::currentOversamplingStage() const noexcept
{
    return juce::jlimit (1, 3, (int) (overSampleConfigs[0].raw() + 1.0f));
}

void OstrelAudioProcessor::reportOutputLatency()
{
    // A host reads the latency as soon as prepareToPlay returns, so it is set there, on whichever thread the host
    // prepares on; the stage is read under the lock too, so that the last writer writes the latest choice.
    const juce::ScopedLock lock (latencyLock);
    setLatencySamples (outputLatencyForStage (currentOversamplingStage()));
}

bool OstrelAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto output = layouts.getMainOutputChannelSet();
    return output == juce::AudioChannelSet::mono() || output == juce::AudioChannelSet::stereo();
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter() { return new OstrelAudioProcessor(); }
