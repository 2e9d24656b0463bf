#include "PluginProcessor.h"

void OstrelAudioProcessor::run()
{
    while (! threadShouldExit())
    {
        if (imageUpdateWanted.load())
            updateImageManupulations();

        wait (33);
    }
}

void OstrelAudioProcessor::loadFile (const juce::String&, bool) {}

void OstrelAudioProcessor::updateImageManupulations() {}

void OstrelAudioProcessor::handleWavetableSampleSelection (int) {}

juce::String OstrelAudioProcessor::getImagePath() const
{
    const juce::SpinLock::ScopedLockType lock (spinCriticalSection);
    return imagePath;
}
