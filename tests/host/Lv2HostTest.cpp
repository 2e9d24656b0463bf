#include "Lv2Host.h"

#include <gtest/gtest.h>
#include <lv2/core/lv2.h>

#include <algorithm>
#include <cmath>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr uint32_t blockSize = 512;

/** The built Ostrel.lv2 in a lilv world of its own. */
class Lv2HostTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        plugin = world.findPlugin (OSTREL_LV2_URI);
        ASSERT_NE (plugin, nullptr) << OSTREL_LV2_URI << " not found in " << OSTREL_LV2_BUNDLE;

        // An installed copy of the same URI must not stand in for the build's bundle.
        ASSERT_STREQ (lilv_node_as_uri (lilv_plugin_get_bundle_uri (plugin)), world.bundleUri().c_str());
    }

    host::Lv2World world{ OSTREL_LV2_BUNDLE };
    const LilvPlugin* plugin = nullptr;
};

bool allFinite (const std::vector<float>& samples, uint32_t numFrames)
{
    return std::all_of (samples.begin(), samples.begin() + numFrames, [] (float s) { return std::isfinite (s); });
}

TEST_F (Lv2HostTest, IsAnInstrumentWithAnAtomMidiInputAndAStereoOutput)
{
    auto* name = lilv_plugin_get_name (plugin);
    EXPECT_STREQ (lilv_node_as_string (name), "Ostrel");
    lilv_node_free (name);

    EXPECT_STREQ (lilv_node_as_uri (lilv_plugin_class_get_uri (lilv_plugin_get_class (plugin))),
                  LV2_CORE__InstrumentPlugin);

    const auto& nodes = world.nodes;
    EXPECT_EQ (lilv_plugin_get_num_ports_of_class (plugin, nodes.audioPort, nodes.inputPort, nullptr), 0u);
    EXPECT_EQ (lilv_plugin_get_num_ports_of_class (plugin, nodes.audioPort, nodes.outputPort, nullptr), 2u);

    int midiInputs = 0;
    for (uint32_t i = 0; i < lilv_plugin_get_num_ports (plugin); ++i)
    {
        const auto* port = lilv_plugin_get_port_by_index (plugin, i);

        if (lilv_port_is_a (plugin, port, nodes.atomPort) && lilv_port_is_a (plugin, port, nodes.inputPort)
            && lilv_port_supports_event (plugin, port, nodes.midiEvent))
            ++midiInputs;
    }
    EXPECT_EQ (midiInputs, 1);
}

TEST_F (Lv2HostTest, RunsBlocksAroundANoteWithFiniteOutput)
{
    host::Lv2Instance instance (world, *plugin, sampleRate, blockSize);
    ASSERT_TRUE (instance.isValid());
    ASSERT_NE (instance.midiInput(), nullptr);
    ASSERT_EQ (instance.numAudioOutputs(), 2);

    instance.activate();

    // Eight full blocks with a note in the first and its release in the fourth, then a short block.
    for (uint32_t block = 0; block < 9; ++block)
    {
        if (block == 0)
        {
            ASSERT_TRUE (instance.midiInput()->addNoteOn (100, 1, 69, 100));
        }
        if (block == 3)
        {
            ASSERT_TRUE (instance.midiInput()->addNoteOff (7, 1, 69));
        }

        const auto numFrames = block < 8 ? blockSize : 100u;
        instance.run (numFrames);

        for (int channel = 0; channel < instance.numAudioOutputs(); ++channel)
            EXPECT_TRUE (allFinite (instance.audioOutput (channel), numFrames))
                << "block " << block << ", channel " << channel;
    }

    instance.deactivate();
}
} // namespace
