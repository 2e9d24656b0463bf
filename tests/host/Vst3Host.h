#pragma once

// Hosting the built VST3 bundle through JUCE's own VST3 hosting, as a JUCE-based host does.

#include <JuceHeader.h>

#include <memory>

namespace host
{
/** Finds and opens VST3 plug-ins with JUCE's VST3 format. [message thread] */
class Vst3Host
{
public:
    Vst3Host();

    /** One description per plug-in class in the bundle (the factory is opened to fill in the bus shape). */
    juce::OwnedArray<juce::PluginDescription> describe (const juce::String& bundlePath);

    /** Opens an instance, or returns nullptr and sets error. */
    std::unique_ptr<juce::AudioPluginInstance>
    open (const juce::PluginDescription& description, double sampleRate, int blockSize, juce::String& error);

private:
    juce::AudioPluginFormatManager formats;
};

/** Renders numSamples through a prepared plug-in in blocks of at most blockSize, as a host's audio callback
    does: events are given at positions from the start of the render and each block receives its share.
    Returns the output channels, numSamples long. [audio thread] */
juce::AudioBuffer<float>
render (juce::AudioProcessor& plugin, const juce::MidiBuffer& events, int numSamples, int blockSize);

/** True when no sample of the buffer is NaN or infinite. */
bool allFinite (const juce::AudioBuffer<float>& buffer);

/** The plug-in's own part of a saved VST3 state. JUCE's VST3 hosting saves the component's state base64-encoded
    in the element "IComponent" of its own binary XML; a JUCE plug-in's component state is the plug-in's binary
    XML followed by the wrapper's private data (the bypass). */
struct ComponentState
{
    /** Reads it out of a state that getStateInformation gave; xml is null when there is none. */
    static ComponentState fromHostState (const juce::MemoryBlock& hostState);

    /** The host state with the component's part replaced by this xml and trailer. */
    juce::MemoryBlock toHostState (const juce::MemoryBlock& hostState) const;

    std::unique_ptr<juce::XmlElement> xml;
    juce::MemoryBlock trailer;
};
} // namespace host
