#include "Vst3Host.h"

namespace host
{
Vst3Host::Vst3Host() { formats.addFormat (new juce::VST3PluginFormat()); }

juce::OwnedArray<juce::PluginDescription> Vst3Host::describe (const juce::String& bundlePath)
{
    juce::OwnedArray<juce::PluginDescription> types;

    for (auto* format : formats.getFormats())
        if (format->fileMightContainThisPluginType (bundlePath))
            format->findAllTypesForFile (types, bundlePath);

    return types;
}

std::unique_ptr<juce::AudioPluginInstance>
Vst3Host::open (const juce::PluginDescription& description, double sampleRate, int blockSize, juce::String& error)
{
    return formats.createPluginInstance (description, sampleRate, blockSize, error);
}

juce::AudioBuffer<float>
render (juce::AudioProcessor& plugin, const juce::MidiBuffer& events, int numSamples, int blockSize)
{
    const auto numOutputs = plugin.getTotalNumOutputChannels();
    juce::AudioBuffer<float> output (numOutputs, numSamples);
    juce::AudioBuffer<float> block (juce::jmax (numOutputs, plugin.getTotalNumInputChannels()), blockSize);
    juce::MidiBuffer blockEvents;

    for (int start = 0; start < numSamples; start += blockSize)
    {
        const auto length = juce::jmin (blockSize, numSamples - start);
        block.setSize (block.getNumChannels(), length, false, false, true);
        block.clear();

        blockEvents.clear();
        blockEvents.addEvents (events, start, length, -start);

        plugin.processBlock (block, blockEvents);

        for (int channel = 0; channel < numOutputs; ++channel)
            output.copyFrom (channel, start, block, channel, 0, length);
    }

    return output;
}

bool allFinite (const juce::AudioBuffer<float>& buffer)
{
    for (int channel = 0; channel < buffer.getNumChannels(); ++channel)
    {
        const auto* samples = buffer.getReadPointer (channel);

        if (!std::all_of (samples, samples + buffer.getNumSamples(), [] (float s) { return std::isfinite (s); }))
            return false;
    }

    return true;
}
} // namespace host
