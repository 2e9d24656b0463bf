#include "Lv2Host.h"
#include "SignalMeasures.h"

#include <gtest/gtest.h>
#include <lv2/core/lv2.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

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

/** The URID under which the plug-in takes the parameter paramID. Parameters have no control ports: hosts set them
    with patch:Set on the same atom port as the notes, under the plug-in's URI joined to the parameter ID. */
LV2_URID parameterUrid (host::Lv2World& world, const std::string& paramID)
{
    return world.urids.map ((std::string (OSTREL_LV2_URI) + ":" + paramID).c_str());
}

TEST_F (Lv2HostTest, SoundsFromTheNoteOnAndFallsSilentAfterTheNoteOff)
{
    host::Lv2Instance instance (world, *plugin, sampleRate, blockSize);
    ASSERT_TRUE (instance.isValid());
    ASSERT_NE (instance.midiInput(), nullptr);
    ASSERT_EQ (instance.numAudioOutputs(), 2);

    instance.activate();

    // With no picture only the second oscillator sounds; a zero "Release" ends the note at its note-off.
    ASSERT_TRUE (instance.midiInput()->addPatchSet (0, parameterUrid (world, "subBass"), 0.5f));
    ASSERT_TRUE (instance.midiInput()->addPatchSet (0, parameterUrid (world, "Release"), 0.0f));

    // Eight full blocks with a note in the first and its release in the fourth, then a short block.
    constexpr uint32_t noteOnAt = 100, noteOffAt = 3 * blockSize + 7;
    std::vector<float> output[2];

    for (uint32_t block = 0; block < 9; ++block)
    {
        if (block == 0)
        {
            ASSERT_TRUE (instance.midiInput()->addNoteOn (noteOnAt, 1, 69, 100));
        }
        if (block == 3)
        {
            ASSERT_TRUE (instance.midiInput()->addNoteOff (noteOffAt - 3 * blockSize, 1, 69));
        }

        const auto numFrames = block < 8 ? blockSize : 100u;
        instance.run (numFrames);

        for (int channel = 0; channel < instance.numAudioOutputs(); ++channel)
        {
            const auto& samples = instance.audioOutput (channel);
            EXPECT_TRUE (allFinite (samples, numFrames)) << "block " << block << ", channel " << channel;
            output[channel].insert (output[channel].end(), samples.begin(), samples.begin() + numFrames);
        }
    }

    instance.deactivate();

    for (const auto& samples : output)
    {
        const auto at = [&samples] (uint32_t from, size_t to)
        { return std::vector<float> (samples.begin() + from, samples.begin() + (long) to); };
        const auto held = testing_helpers::rms (at (noteOnAt + 500, noteOffAt));

        EXPECT_EQ (testing_helpers::peak (at (0, noteOnAt)), 0.0f);
        EXPECT_GT (held, 0.005);
        EXPECT_LT (testing_helpers::rms (at (noteOffAt + 1000, samples.size())), held * 1.0e-3);
    }
}

/** A note and the second oscillator's octave choice, and the pitch they must sound at. */
struct SecondOscillatorCase
{
    int note;
    float octaveChoice; // index into "-1", "0", "1"
    double expectedHz;
};

class Lv2PitchTest : public Lv2HostTest, public ::testing::WithParamInterface<SecondOscillatorCase>
{
};

TEST_P (Lv2PitchTest, SecondOscillatorSoundsAtThePitchOfTheNote)
{
    const auto& c = GetParam();

    host::Lv2Instance instance (world, *plugin, sampleRate, blockSize);
    ASSERT_TRUE (instance.isValid());
    ASSERT_NE (instance.midiInput(), nullptr);

    instance.activate();

    // With no picture loaded only the second oscillator sounds, a sine ("2OscType" keeps its default, "Sin").
    ASSERT_TRUE (instance.midiInput()->addPatchSet (0, parameterUrid (world, "subBass"), 0.5f));
    ASSERT_TRUE (instance.midiInput()->addPatchSet (0, parameterUrid (world, "subBassOc"), c.octaveChoice));
    ASSERT_TRUE (instance.midiInput()->addNoteOn (0, 1, c.note, 100));

    const auto numBlocks = (uint32_t) sampleRate / blockSize; // one second
    std::vector<float> output;

    for (uint32_t block = 0; block < numBlocks; ++block)
    {
        instance.run (blockSize);

        for (int channel = 0; channel < instance.numAudioOutputs(); ++channel)
            ASSERT_TRUE (allFinite (instance.audioOutput (channel), blockSize))
                << "block " << block << ", channel " << channel;

        const auto& left = instance.audioOutput (0);
        output.insert (output.end(), left.begin(), left.begin() + blockSize);
    }

    instance.deactivate();

    // The attack is over after a quarter of a second.
    const auto from = (size_t) (0.25 * sampleRate);
    const auto* held = output.data() + from;
    const auto heldLength = output.size() - from;

    EXPECT_GT (testing_helpers::rms (held, heldLength), 0.005);
    EXPECT_NEAR (testing_helpers::fundamentalFrequency (held, heldLength, sampleRate),
                 c.expectedHz,
                 c.expectedHz * 0.03);
}

// With "Octave" at its default "0", note 69 is 110 Hz; the second oscillator's "-1" plays the note's own pitch and
// "0" an octave above it.
INSTANTIATE_TEST_SUITE_P (Notes,
                          Lv2PitchTest,
                          ::testing::Values (SecondOscillatorCase{ 69, 0.0f, 110.0 },
                                             SecondOscillatorCase{ 81, 0.0f, 220.0 },
                                             SecondOscillatorCase{ 69, 1.0f, 220.0 }));
} // namespace
