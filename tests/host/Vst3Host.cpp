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

namespace
{
    const juce::String componentElement{ "IComponent" };

    /** The size of what copyXmlToBinary wrote at the start of bytes: magic, length, text and its zero byte. */
    size_t binaryXmlSize (const juce::MemoryBlock& bytes)
    {
        if (bytes.getSize() < 9)
            return 0;

        juce::MemoryInputStream in (bytes, false);
        in.readInt();
        return juce::jmin (bytes.getSize(), (size_t) (juce::uint32) in.readInt() + 9);
    }
} // namespace

ComponentState ComponentState::fromHostState (const juce::MemoryBlock& hostState)
{
    ComponentState result;
    const auto head = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize());
    if (head == nullptr)
        return result;

    const auto* element = head->getChildByName (componentElement);
    juce::MemoryBlock bytes;
    if (element == nullptr || !bytes.fromBase64Encoding (element->getAllSubText()))
        return result;

    result.xml = juce::AudioProcessor::getXmlFromBinary (bytes.getData(), (int) bytes.getSize());
    const auto xmlSize = binaryXmlSize (bytes);
    result.trailer.append (static_cast<const char*> (bytes.getData()) + xmlSize, bytes.getSize() - xmlSize);
    return result;
}

juce::MemoryBlock ComponentState::toHostState (const juce::MemoryBlock& hostState) const
{
    auto head = juce::AudioProcessor::getXmlFromBinary (hostState.getData(), (int) hostState.getSize());
    if (head == nullptr)
        head = std::make_unique<juce::XmlElement> ("VST3PluginState");

    juce::MemoryBlock bytes;
    if (xml != nullptr)
        juce::AudioProcessor::copyXmlToBinary (*xml, bytes);
    bytes.append (trailer.getData(), trailer.getSize());

    auto* element = head->getChildByName (componentElement);
    if (element == nullptr)
        element = head->createNewChildElement (componentElement);

    element->deleteAllChildElements();
    element->addTextElement (bytes.toBase64Encoding());

    juce::MemoryBlock result;
    juce::AudioProcessor::copyXmlToBinary (*head, result);
    return result;
}
} // namespace host
