#include "Vst3Host.h"
#include "SignalMeasures.h"
#include "TestPlayHead.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;
constexpr int numPluginParameters = 1028;

/** The built Ostrel.vst3, opened through JUCE's VST3 hosting for each test. */
class Vst3HostTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto types = vst3.describe (OSTREL_VST3_BUNDLE);
        ASSERT_EQ (types.size(), 1) << "no single plug-in class in " << OSTREL_VST3_BUNDLE;
        description = *types[0];

        juce::String error;
        plugin = open (error);
        ASSERT_NE (plugin, nullptr) << error;
    }

    void TearDown() override { plugin.reset(); }

    /** A new instance with the host's transport. */
    std::unique_ptr<juce::AudioPluginInstance> open (juce::String& error)
    {
        auto instance = vst3.open (description, sampleRate, blockSize, error);
        if (instance != nullptr)
            instance->setPlayHead (&playHead);
        return instance;
    }

    testing_helpers::TestPlayHead playHead; // outlives the instances that read it
    host::Vst3Host vst3;
    juce::PluginDescription description;
    std::unique_ptr<juce::AudioPluginInstance> plugin;
};

/** The plug-in's parameter of that name as the host lists it, or nullptr. */
juce::AudioProcessorParameter* parameterNamed (juce::AudioPluginInstance& plugin, const juce::String& name)
{
    for (auto* parameter : plugin.getParameters())
        if (parameter->getName (64) == name)
            return parameter;

    ADD_FAILURE() << "no parameter " << name;
    return nullptr;
}

/** Sets parameters as a host's automation does, by their normalised values. */
void setParameters (juce::AudioPluginInstance& plugin, const std::vector<std::pair<juce::String, float>>& values)
{
    for (const auto& [name, value] : values)
        if (auto* parameter = parameterNamed (plugin, name))
            parameter->setValueNotifyingHost (value);
}

std::vector<float> samplesOf (const juce::AudioBuffer<float>& output, int channel, int from, int to)
{
    return { output.getReadPointer (channel) + from, output.getReadPointer (channel) + to };
}

TEST_F (Vst3HostTest, IsAnInstrumentWithMidiInputAndOneStereoOutput)
{
    EXPECT_EQ (description.name, "Ostrel");
    EXPECT_EQ (description.pluginFormatName, "VST3");
    EXPECT_TRUE (description.isInstrument);
    EXPECT_EQ (description.numInputChannels, 0);
    EXPECT_EQ (description.numOutputChannels, 2);

    EXPECT_TRUE (plugin->acceptsMidi());
    EXPECT_TRUE (plugin->producesMidi()) << "a MIDI output for hosts to route, though it sends nothing";
    EXPECT_EQ (plugin->getTailLengthSeconds(), 0.0);
    EXPECT_EQ (plugin->getBusCount (true), 0);
    ASSERT_EQ (plugin->getBusCount (false), 1);
    EXPECT_EQ (plugin->getChannelCountOfBus (false, 0), 2);
}

TEST_F (Vst3HostTest, DeclaresItsParametersAheadOfTheWrappers)
{
    // The VST3 wrapper appends its own parameters after the plug-in's: the bypass every VST3 must have,
    // a program selector when there are several programs, and stand-ins for MIDI controllers.
    const auto& parameters = plugin->getParameters();
    ASSERT_GT (parameters.size(), numPluginParameters);

    const auto* bypass = plugin->getBypassParameter();
    ASSERT_NE (bypass, nullptr);
    EXPECT_EQ (bypass->getParameterIndex(), numPluginParameters);

    EXPECT_EQ (parameters[0]->getName (64), "Attack");
    EXPECT_EQ (parameters[numPluginParameters - 1]->getName (64), "filterType");

    for (int i = numPluginParameters + 1; i < parameters.size(); ++i)
    {
        const auto name = parameters[i]->getName (64);
        EXPECT_TRUE (name == "Program" || name.startsWith ("MIDI CC ")) << "unexpected parameter " << i << ": " << name;
    }
}

TEST_F (Vst3HostTest, SoundsFromTheNoteOnAndFallsSilentAfterTheNoteOff)
{
    // With no picture only the second oscillator sounds; a zero "Release" ends the note at its note-off.
    setParameters (*plugin, { { "subBass", 0.5f }, { "Release", 0.0f } });
    plugin->prepareToPlay (sampleRate, blockSize);

    constexpr int noteOnAt = 100, noteOffAt = 3 * blockSize + 7;
    juce::MidiBuffer events;
    events.addEvent (juce::MidiMessage::noteOn (1, 69, (juce::uint8) 100), noteOnAt);
    events.addEvent (juce::MidiMessage::noteOff (1, 69), noteOffAt);

    // Eight full blocks and a short one, as hosts send at the end of a loop.
    const auto output = host::render (*plugin, events, 8 * blockSize + 100, blockSize);
    plugin->releaseResources();

    ASSERT_EQ (output.getNumChannels(), 2);
    EXPECT_TRUE (host::allFinite (output));

    for (int channel = 0; channel < 2; ++channel)
    {
        SCOPED_TRACE ("channel " + std::to_string (channel));
        const auto held = testing_helpers::rms (samplesOf (output, channel, noteOnAt + 500, noteOffAt));
        EXPECT_EQ (testing_helpers::peak (samplesOf (output, channel, 0, noteOnAt)), 0.0f);
        EXPECT_GT (held, 0.005);
        EXPECT_LT (testing_helpers::rms (samplesOf (output, channel, noteOffAt + 1000, output.getNumSamples())),
                   held * 1.0e-3);
    }
}

TEST_F (Vst3HostTest, AStateOffTheDefaultsSurvivesAHostSaveAndRestoreIntoAFreshInstance)
{
    // The first and the last of the plug-in's parameters, a choice and a matrix cell (named by source and target),
    // moved as a host moves them.
    const std::vector<std::pair<juce::String, float>> changes{ { "Attack", 0.37f },
                                                               { "Mono", 1.0f },
                                                               { "LFO1 Freq", 0.25f },
                                                               { "filterType", 1.0f } };
    setParameters (*plugin, changes);
    plugin->prepareToPlay (sampleRate, blockSize);
    host::render (*plugin, {}, blockSize, blockSize);

    juce::MemoryBlock saved;
    plugin->getStateInformation (saved);
    ASSERT_GT (saved.getSize(), 0u);

    juce::String error;
    auto restored = open (error);
    ASSERT_NE (restored, nullptr) << error;
    for (const auto& [name, value] : changes)
    {
        auto* parameter = parameterNamed (*restored, name);
        ASSERT_NE (parameter, nullptr);
        ASSERT_NE (parameter->getValue(), value) << name << " is off its default";
        EXPECT_EQ (parameterNamed (*plugin, name)->getValue(), value) << name;
    }

    restored->setStateInformation (saved.getData(), (int) saved.getSize());

    for (int i = 0; i < numPluginParameters; ++i)
        EXPECT_EQ (restored->getParameters()[i]->getValue(), plugin->getParameters()[i]->getValue())
            << plugin->getParameters()[i]->getName (64);

    // A restore gives the state its (empty) picture node, so the first save after it may differ from the state it
    // restored; from then on saving and restoring changes nothing.
    juce::MemoryBlock savedAgain;
    restored->getStateInformation (savedAgain);
    restored->setStateInformation (savedAgain.getData(), (int) savedAgain.getSize());

    juce::MemoryBlock savedThird;
    restored->getStateInformation (savedThird);
    EXPECT_EQ (savedThird, savedAgain);

    restored->prepareToPlay (sampleRate, blockSize);
    EXPECT_TRUE (host::allFinite (host::render (*restored, {}, 2 * blockSize, blockSize)));
    restored->releaseResources();
    plugin->releaseResources();
}
} // namespace
