#include "Vst3Host.h"

#include <gtest/gtest.h>

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
        plugin = vst3.open (description, sampleRate, blockSize, error);
        ASSERT_NE (plugin, nullptr) << error;
    }

    void TearDown() override { plugin.reset(); }

    host::Vst3Host vst3;
    juce::PluginDescription description;
    std::unique_ptr<juce::AudioPluginInstance> plugin;
};

TEST_F (Vst3HostTest, IsAnInstrumentWithMidiInputAndOneStereoOutput)
{
    EXPECT_EQ (description.name, "Ostrel");
    EXPECT_EQ (description.pluginFormatName, "VST3");
    EXPECT_TRUE (description.isInstrument);
    EXPECT_EQ (description.numInputChannels, 0);
    EXPECT_EQ (description.numOutputChannels, 2);

    EXPECT_TRUE (plugin->acceptsMidi());
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

TEST_F (Vst3HostTest, RendersFiniteBlocksAroundANote)
{
    plugin->prepareToPlay (sampleRate, blockSize);

    juce::MidiBuffer events;
    events.addEvent (juce::MidiMessage::noteOn (1, 69, (juce::uint8) 100), 100);
    events.addEvent (juce::MidiMessage::noteOff (1, 69), 3 * blockSize + 7);

    // Eight full blocks and a short one, as hosts send at the end of a loop.
    const auto output = host::render (*plugin, events, 8 * blockSize + 100, blockSize);
    plugin->releaseResources();

    EXPECT_EQ (output.getNumChannels(), 2);
    EXPECT_TRUE (host::allFinite (output));
}

TEST_F (Vst3HostTest, StateSurvivesAHostSaveAndRestore)
{
    plugin->prepareToPlay (sampleRate, blockSize);

    juce::MemoryBlock saved;
    plugin->getStateInformation (saved);
    ASSERT_GT (saved.getSize(), 0u);

    std::vector<float> values;
    for (int i = 0; i < numPluginParameters; ++i)
        values.push_back (plugin->getParameters()[i]->getValue());

    plugin->setStateInformation (saved.getData(), (int) saved.getSize());

    for (int i = 0; i < numPluginParameters; ++i)
        EXPECT_EQ (plugin->getParameters()[i]->getValue(), values[(size_t) i]) << i;

    // A restore gives the state its (empty) picture node, so the first save after it may differ from a state saved
    // before; from then on saving and restoring changes nothing.
    juce::MemoryBlock savedAgain;
    plugin->getStateInformation (savedAgain);
    plugin->setStateInformation (savedAgain.getData(), (int) savedAgain.getSize());

    juce::MemoryBlock savedThird;
    plugin->getStateInformation (savedThird);
    EXPECT_EQ (savedThird, savedAgain);

    EXPECT_TRUE (host::allFinite (host::render (*plugin, {}, 2 * blockSize, blockSize)));
    plugin->releaseResources();
}
} // namespace
