#include "GeneratedPictures.h"
#include "SignalMeasures.h"
#include "TestPlayHead.h"
#include "Vst3Host.h"

#include <gtest/gtest.h>

#include <map>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;
constexpr int numPluginParameters = 1028;

/** A grey picture whose brightness follows one cycle of a sine from left to right, alike on every row: any row
    read as a wavetable is a sine, so a note sounds with its fundamental alone. */
juce::File writeSinePicture (const juce::String& name)
{
    return picture_fixtures::writePictureIntoHome (name, picture_fixtures::sineGreyPicture (128, 16));
}

/** The plug-in's documents folder, where it keeps the copies of its pictures. */

void setStateParameter (juce::XmlElement& state, const juce::String& paramID, double value)
{
    for (auto* parameter : state.getChildWithTagNameIterator ("PARAM"))
        if (parameter->getStringAttribute ("id") == paramID)
        {
            parameter->setAttribute ("value", value);
            return;
        }

    ADD_FAILURE() << "no parameter " << paramID << " in the saved state";
}

void namePicture (juce::XmlElement& state, const juce::File& picture)
{
    auto* node = state.getChildByName ("ImagePath");
    if (node == nullptr)
        node = state.createNewChildElement ("ImagePath");

    node->setAttribute ("path", picture.getFullPathName());
}

juce::String picturePath (const juce::MemoryBlock& hostState)
{
    const auto component = host::ComponentState::fromHostState (hostState);
    if (component.xml == nullptr)
        return {};

    const auto* node = component.xml->getChildByName ("ImagePath");
    return node == nullptr ? juce::String() : node->getStringAttribute ("path");
}

/** The picture's copy in the documents folder that the state names. */
juce::File documentsCopyNamedIn (const juce::MemoryBlock& hostState)
{
    const auto component = host::ComponentState::fromHostState (hostState);
    const auto* node = component.xml != nullptr ? component.xml->getChildByName ("ImagePath") : nullptr;
    const auto name = node == nullptr ? juce::String() : node->getStringAttribute ("copy");
    if (name.isEmpty())
        return {};

    return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory)
        .getChildFile ("Ostrel")
        .getChildFile (name);
}

/** Every parameter value of the plug-in's own state, by ID. */
std::map<juce::String, juce::String> stateParameters (const juce::MemoryBlock& hostState)
{
    std::map<juce::String, juce::String> values;
    const auto component = host::ComponentState::fromHostState (hostState);

    if (component.xml != nullptr)
        for (auto* parameter : component.xml->getChildWithTagNameIterator ("PARAM"))
            values[parameter->getStringAttribute ("id")] = parameter->getStringAttribute ("value");

    return values;
}

/** Renders blocks at the pace of a real audio callback, a probe note held, until the picture sounds (at most ten
    seconds), then lets the note go: the plug-in's image thread draws a restored picture into its grid once the
    plug-in is prepared, on the wall clock, and a busy machine can make it late. */
void playUntilThePictureSounds (juce::AudioProcessor& plugin)
{
    constexpr int probeNote = 69;
    const auto start = juce::Time::getMillisecondCounterHiRes();
    const auto maxBlocks = (int) (10.0 * sampleRate / blockSize);

    for (int block = 0; block < maxBlocks; ++block)
    {
        juce::MidiBuffer events;
        if (block == 0)
            events.addEvent (juce::MidiMessage::noteOn (1, probeNote, (juce::uint8) 100), 0);

        const auto output = host::render (plugin, events, blockSize, blockSize);
        if (output.getRMSLevel (0, 0, output.getNumSamples()) > 0.001f)
            break;

        const auto due = start + 1000.0 * (block + 1) * blockSize / sampleRate;
        const auto wait = due - juce::Time::getMillisecondCounterHiRes();
        if (wait > 1.0)
            juce::Thread::sleep ((int) wait);
    }

    juce::MidiBuffer release;
    release.addEvent (juce::MidiMessage::noteOff (1, probeNote), 0);
    host::render (plugin, release, blockSize, blockSize);
}

/** A stretch of the first output channel, from and to times in seconds. */
std::vector<float> stretch (const juce::AudioBuffer<float>& output, double from, double to)
{
    const auto* samples = output.getReadPointer (0);
    return { samples + (int) (from * sampleRate), samples + (int) (to * sampleRate) };
}

int at (double seconds) { return (int) (seconds * sampleRate); }

/** The built Ostrel.vst3 in JUCE's VST3 hosting, restored with a state that names a generated picture. */
class Vst3SoundTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto types = vst3.describe (OSTREL_VST3_BUNDLE);
        ASSERT_EQ (types.size(), 1) << "no single plug-in class in " << OSTREL_VST3_BUNDLE;
        description = *types[0];

        // A name of its own per test: the documents copy a previous test saved must not stand in for it.
        picture = writeSinePicture (::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_TRUE (picture.existsAsFile());
    }

    std::unique_ptr<juce::AudioPluginInstance> open()
    {
        juce::String error;
        auto plugin = vst3.open (description, sampleRate, blockSize, error);
        EXPECT_NE (plugin, nullptr) << error;
        if (plugin != nullptr)
            plugin->setPlayHead (&playHead);
        return plugin;
    }

    /** The plug-in's own state with the picture named and a few parameters off their defaults, written into
        the host state it gave: the way a session saved by a host carries it. */
    juce::MemoryBlock stateNamingThePicture (juce::AudioPluginInstance& plugin)
    {
        juce::MemoryBlock hostState;
        plugin.getStateInformation (hostState);

        auto component = host::ComponentState::fromHostState (hostState);
        if (component.xml == nullptr || !component.xml->hasTagName ("Ostrel"))
        {
            ADD_FAILURE() << "no Ostrel state inside the VST3 state";
            return {};
        }

        namePicture (*component.xml, picture);
        setStateParameter (*component.xml, "Release", 0.0);     // each note ends at its note-off
        setStateParameter (*component.xml, "LFORate2", 3.5);    // an LFO no route uses
        setStateParameter (*component.xml, "Mod_Press_Q", 0.5); // a route whose source stays at 0

        return component.toHostState (hostState);
    }

    /** Prepares the plug-in and plays note 69 for a second: the measured pitch of the held note. */
    double pitchOfNote69 (juce::AudioProcessor& plugin)
    {
        plugin.prepareToPlay (sampleRate, blockSize);
        playUntilThePictureSounds (plugin);

        juce::MidiBuffer events;
        events.addEvent (juce::MidiMessage::noteOn (1, 69, (juce::uint8) 100), 0);
        const auto output = host::render (plugin, events, at (1.0), blockSize);
        plugin.releaseResources();

        EXPECT_TRUE (host::allFinite (output));
        const auto held = stretch (output, 0.25, 1.0);
        EXPECT_GT (testing_helpers::rms (held), 0.005);
        return testing_helpers::fundamentalFrequency (held, sampleRate);
    }

    testing_helpers::TestPlayHead playHead; // outlives the instances that read it
    host::Vst3Host vst3;
    juce::PluginDescription description;
    juce::File picture;
};

TEST_F (Vst3SoundTest, RestoredPicturePlaysNotesAndChordsAtTheirPitch)
{
    auto plugin = open();
    ASSERT_NE (plugin, nullptr);

    const auto state = stateNamingThePicture (*plugin);
    plugin->setStateInformation (state.getData(), (int) state.getSize());
    plugin->prepareToPlay (sampleRate, blockSize);
    playUntilThePictureSounds (*plugin);

    // Note 69 for a second, note 81 for a second, then a chord; "Release" 0 ends each at its note-off.
    juce::MidiBuffer events;
    events.addEvent (juce::MidiMessage::noteOn (1, 69, (juce::uint8) 100), 0);
    events.addEvent (juce::MidiMessage::noteOff (1, 69), at (1.0));
    events.addEvent (juce::MidiMessage::noteOn (1, 81, (juce::uint8) 100), at (1.0));
    events.addEvent (juce::MidiMessage::noteOff (1, 81), at (2.0));
    for (const auto note : { 57, 60, 64, 69 })
        events.addEvent (juce::MidiMessage::noteOn (1, note, (juce::uint8) 90), at (2.0));

    const auto output = host::render (*plugin, events, at (3.0), blockSize);
    plugin->releaseResources();

    ASSERT_TRUE (host::allFinite (output));
    EXPECT_LT (output.getMagnitude (0, output.getNumSamples()), 4.0f);

    // With "Octave" at "0", note 69 is 110 Hz, two octaves below concert pitch, and 81 an octave above it.
    const auto note69 = stretch (output, 0.25, 0.95);
    const auto note81 = stretch (output, 1.25, 1.95);
    EXPECT_GT (testing_helpers::rms (note69), 0.005);
    EXPECT_NEAR (testing_helpers::fundamentalFrequency (note69, sampleRate), 110.0, 110.0 * 0.03);
    EXPECT_NEAR (testing_helpers::fundamentalFrequency (note81, sampleRate), 220.0, 220.0 * 0.03);

    const auto chord = stretch (output, 2.25, 3.0);
    EXPECT_GT (testing_helpers::rms (chord), testing_helpers::rms (note69));
}

TEST_F (Vst3SoundTest, SavedStateRoundTripsThroughAFreshInstance)
{
    auto first = open();
    ASSERT_NE (first, nullptr);

    const auto restored = stateNamingThePicture (*first);
    first->setStateInformation (restored.getData(), (int) restored.getSize());

    juce::MemoryBlock saved;
    first->getStateInformation (saved);
    ASSERT_EQ (picturePath (saved), picture.getFullPathName());

    // Saving wrote the picture's copy, as PNG, into the documents folder.
    const auto copy = documentsCopyNamedIn (saved);
    const auto copied = juce::ImageFileFormat::loadFrom (copy);
    ASSERT_TRUE (copied.isValid()) << copy.getFullPathName();
    EXPECT_EQ (copied.getWidth(), 128);
    EXPECT_EQ (copied.getHeight(), 16);

    auto second = open();
    ASSERT_NE (second, nullptr);
    second->setStateInformation (saved.getData(), (int) saved.getSize());

    juce::MemoryBlock savedAgain;
    second->getStateInformation (savedAgain);

    const auto parameters = stateParameters (saved);
    EXPECT_EQ (parameters.size(), (size_t) numPluginParameters);
    EXPECT_EQ (stateParameters (savedAgain), parameters);
    EXPECT_EQ (parameters.at ("Release").getDoubleValue(), 0.0);
    EXPECT_EQ (parameters.at ("Mod_Press_Q").getDoubleValue(), 0.5);

    for (int i = 0; i < numPluginParameters; ++i)
        EXPECT_FLOAT_EQ (second->getParameters()[i]->getValue(), first->getParameters()[i]->getValue())
            << first->getParameters()[i]->getName (64);

    // A restore prefers the documents copy to the stored path, so the fresh instance names the copy; from then on
    // the path no longer moves.
    EXPECT_EQ (picturePath (savedAgain), copy.getFullPathName());

    auto third = open();
    ASSERT_NE (third, nullptr);
    third->setStateInformation (savedAgain.getData(), (int) savedAgain.getSize());

    juce::MemoryBlock savedThird;
    third->getStateInformation (savedThird);
    EXPECT_EQ (picturePath (savedThird), picturePath (savedAgain));
    EXPECT_EQ (stateParameters (savedThird), parameters);

    // The fresh instance plays the restored picture.
    EXPECT_NEAR (pitchOfNote69 (*second), 110.0, 110.0 * 0.03);
}
} // namespace
