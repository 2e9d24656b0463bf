#include "GeneratedPictures.h"
#include "Lv2Player.h"
#include "SignalMeasures.h"
#include "TestPlayHead.h"
#include "Vst3Host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <numeric>
#include <optional>
#include <random>
#include <shared_mutex>
#include <thread>

// The LV2 and the VST3 binary of the plug-in in one process, as a host holds them on two tracks: each binary brings
// its own copy of the framework with its own message thread, and every instance its own image thread, while all of
// them share one documents folder. Each instance plays on an audio thread of its own; state is saved and restored and
// parameters move on other threads meanwhile; instances are unloaded one by one while the others play.

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 256;
constexpr double blockMs = 1000.0 * blockSize / sampleRate;
constexpr int numPluginParameters = 1028;

struct Note
{
    int frame, note, velocity; // velocity 0: a note-off
};

/** One instance of either binary, as the threads of a host drive it. */
class HostedInstance
{
public:
    explicit HostedInstance (juce::String n) : name (std::move (n)) {}
    virtual ~HostedInstance() = default;

    /** Tells the plug-in that the host renders faster than real time (a freewheeling export). [before prepare] */
    virtual void setOffline() = 0;

    /** [message thread] */
    virtual void prepare() = 0;
    virtual void release() = 0;

    /** Renders one block with the notes given: the RMS level of its first channel, NaN when a sample of any channel
        was not finite. [audio thread] */
    virtual double render (const std::vector<Note>& notes) = 0;

    /** Moves parameter index (taken modulo their number) to a normalised value. [any thread] */
    virtual void setParameter (int index, float normalised) = 0;

    /** The state as the host stores it. [the binary's state thread] */
    virtual juce::MemoryBlock save() = 0;
    virtual void restore (const juce::MemoryBlock& state) = 0;

    /** The plug-in's own state inside a saved one, and a saved one with the plug-in's own state replaced. */
    virtual std::unique_ptr<juce::XmlElement> ownState (const juce::MemoryBlock& saved) const = 0;
    virtual juce::MemoryBlock withOwnState (const juce::MemoryBlock& saved, const juce::XmlElement& own) const = 0;

    const juce::String name;
};

double levelOf (const float* const* channels, int numChannels, int numSamples)
{
    for (int channel = 0; channel < numChannels; ++channel)
        for (int i = 0; i < numSamples; ++i)
            if (!std::isfinite (channels[channel][i]))
                return std::numeric_limits<double>::quiet_NaN();

    return testing_helpers::rms (channels[0], (size_t) numSamples);
}

class Lv2Hosted : public HostedInstance
{
public:
    Lv2Hosted (host::Lv2Bundle& bundle, const juce::String& n) :
        HostedInstance (n), player (bundle, sampleRate, blockSize)
    {
    }

    bool isValid() const { return player.isValid(); }

    void setOffline() override { EXPECT_TRUE (player.setFreeWheeling (true)) << name; }
    void prepare() override { player.activate(); }
    void release() override { player.deactivate(); }

    double render (const std::vector<Note>& notes) override
    {
        for (const auto& note : notes)
            if (note.velocity > 0)
                player.noteOn ((std::uint32_t) note.frame, note.note, note.velocity);
            else
                player.noteOff ((std::uint32_t) note.frame, note.note);

        player.run (blockSize);
        const float* channels[] = { player.output (0), player.output (1) };
        return levelOf (channels, 2, blockSize);
    }

    void setParameter (int index, float normalised) override { player.setParameter ((size_t) index, normalised); }

    juce::MemoryBlock save() override
    {
        const auto text = player.saveState();
        return { text.data(), text.size() };
    }

    void restore (const juce::MemoryBlock& state) override
    {
        EXPECT_TRUE (player.restoreState (state.toString().toStdString())) << name;
    }

    std::unique_ptr<juce::XmlElement> ownState (const juce::MemoryBlock& saved) const override
    {
        // The framework's LV2 wrapper stores its own base64 text of the plug-in's binary state.
        juce::MemoryBlock bytes;
        if (!bytes.fromBase64Encoding (saved.toString()))
            return nullptr;

        return juce::AudioProcessor::getXmlFromBinary (bytes.getData(), (int) bytes.getSize());
    }

    juce::MemoryBlock withOwnState (const juce::MemoryBlock&, const juce::XmlElement& own) const override
    {
        juce::MemoryBlock bytes;
        juce::AudioProcessor::copyXmlToBinary (own, bytes);
        const auto text = bytes.toBase64Encoding();
        return { text.toRawUTF8(), text.getNumBytesAsUTF8() };
    }

private:
    host::Lv2Player player;
};

class Vst3Hosted : public HostedInstance
{
public:
    Vst3Hosted (std::unique_ptr<juce::AudioPluginInstance> p, const juce::String& n) :
        HostedInstance (n), plugin (std::move (p)), block (plugin->getTotalNumOutputChannels(), blockSize)
    {
        plugin->setPlayHead (&playHead);
        events.ensureSize (1024);
    }

    void setOffline() override { plugin->setNonRealtime (true); }
    void prepare() override { plugin->prepareToPlay (sampleRate, blockSize); }
    void release() override { plugin->releaseResources(); }

    double render (const std::vector<Note>& notes) override
    {
        events.clear();
        for (const auto& note : notes)
            events.addEvent (note.velocity > 0 ? juce::MidiMessage::noteOn (1, note.note, (juce::uint8) note.velocity)
                                               : juce::MidiMessage::noteOff (1, note.note),
                             note.frame);

        block.clear();
        plugin->processBlock (block, events);
        return levelOf (block.getArrayOfReadPointers(), block.getNumChannels(), blockSize);
    }

    void setParameter (int index, float normalised) override
    {
        // The plug-in's own parameters, not the wrapper's bypass and program parameters after them.
        const auto& parameters = plugin->getParameters();
        parameters[index % juce::jmin (parameters.size(), numPluginParameters)]->setValueNotifyingHost (normalised);
    }

    juce::MemoryBlock save() override
    {
        juce::MemoryBlock state;
        plugin->getStateInformation (state);
        return state;
    }

    void restore (const juce::MemoryBlock& state) override
    {
        plugin->setStateInformation (state.getData(), (int) state.getSize());
    }

    std::unique_ptr<juce::XmlElement> ownState (const juce::MemoryBlock& saved) const override
    {
        return host::ComponentState::fromHostState (saved).xml;
    }

    juce::MemoryBlock withOwnState (const juce::MemoryBlock& saved, const juce::XmlElement& own) const override
    {
        auto component = host::ComponentState::fromHostState (saved);
        component.xml = std::make_unique<juce::XmlElement> (own);
        return component.toHostState (saved);
    }

private:
    testing_helpers::TestPlayHead playHead; // outlives the plug-in's use of it: declared before it
    std::unique_ptr<juce::AudioPluginInstance> plugin;
    juce::AudioBuffer<float> block;
    juce::MidiBuffer events;
};

/** A grey picture whose brightness follows one cycle of a sine from left to right: any row read as a wavetable
    sounds. With the second oscillator off by default, a note sounds only once the picture is in the grid. */
juce::File writePicture (const juce::String& name)
{
    return picture_fixtures::writePictureIntoHome (name, picture_fixtures::sineGreyPicture (64, 16));
}

/** The documents-folder copy of the picture that a saved own state names, or no file. */
juce::File documentsCopyNamedIn (const juce::XmlElement* own)
{
    const auto* node = own != nullptr ? own->getChildByName ("ImagePath") : nullptr;
    const auto name = node != nullptr ? node->getStringAttribute ("copy") : juce::String();

    if (name.isEmpty())
        return {};

    return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory)
        .getChildFile ("Ostrel")
        .getChildFile (name);
}

enum class Binary
{
    lv2,
    vst3
};

/** Which instances a round opens, in that order, the order in which it unloads them (indices into the first), and
    whether the host renders them as fast as it can, as an export does, or at the pace of real time. */
struct Round
{
    const char* name;
    std::vector<Binary> open;
    std::vector<int> unload;
    bool offline;
};

/** Names the round in the test's name, rather than its bytes. */
void PrintTo (const Round& round, std::ostream* out) { *out << round.name; }

class TwoBinariesTest : public ::testing::TestWithParam<Round>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE (lv2.found()) << OSTREL_LV2_URI << " not found in " << OSTREL_LV2_BUNDLE;

        auto types = vst3.describe (OSTREL_VST3_BUNDLE);
        ASSERT_EQ (types.size(), 1) << "no single plug-in class in " << OSTREL_VST3_BUNDLE;
        vst3Description = *types[0];

        picture = writePicture (juce::String ("two-binaries-") + GetParam().name);
        ASSERT_TRUE (picture.existsAsFile());
    }

    std::unique_ptr<HostedInstance> open (Binary binary, const juce::String& name)
    {
        if (binary == Binary::lv2)
        {
            auto instance = std::make_unique<Lv2Hosted> (lv2, name);
            EXPECT_TRUE (instance->isValid()) << name;
            return instance->isValid() ? std::move (instance) : nullptr;
        }

        juce::String error;
        auto plugin = vst3.open (vst3Description, sampleRate, blockSize, error);
        EXPECT_NE (plugin, nullptr) << name << ": " << error;
        return plugin != nullptr ? std::make_unique<Vst3Hosted> (std::move (plugin), name) : nullptr;
    }

    /** The instance's state with the picture named in it, as a session saved by a host carries it. */
    juce::MemoryBlock stateNamingThePicture (HostedInstance& instance)
    {
        const auto saved = instance.save();
        auto own = instance.ownState (saved);
        if (own == nullptr || !own->hasTagName ("Ostrel"))
        {
            ADD_FAILURE() << instance.name << ": no Ostrel state in what it saved";
            return saved;
        }

        auto* node = own->getChildByName ("ImagePath");
        if (node == nullptr)
            node = own->createNewChildElement ("ImagePath");
        node->setAttribute ("path", picture.getFullPathName());

        return instance.withOwnState (saved, *own);
    }

    host::Lv2Bundle lv2{ OSTREL_LV2_BUNDLE, OSTREL_LV2_URI };
    host::Vst3Host vst3;
    juce::PluginDescription vst3Description;
    juce::File picture;
};

/** Runs while one instance is loaded: its audio thread first holds a note until the picture sounds (ten seconds at
    most), then plays random notes until it is told to stop. Blocks come at four times the pace of real time, or as
    fast as they are rendered offline. */
class AudioThread
{
public:
    AudioThread (HostedInstance& i, bool offline, unsigned seed) :
        instance (i), paced (!offline), thread ([this, seed] { play (seed); })
    {
    }

    ~AudioThread() { stop(); }

    void stop()
    {
        stopping = true;
        if (thread.joinable())
            thread.join();
    }

    std::atomic<bool> finishedProbe{ false }, sounded{ false }, allFinite{ true };

private:
    void play (unsigned seed)
    {
        std::mt19937 random (seed);
        const auto start = juce::Time::getMillisecondCounterHiRes();
        std::vector<Note> notes{ { 0, 69, 100 } };

        for (long block = 0; !stopping; ++block)
        {
            const auto level = instance.render (notes);
            notes.clear();

            if (std::isnan (level))
                allFinite = false;

            if (!finishedProbe)
            {
                const auto timedOut = juce::Time::getMillisecondCounterHiRes() - start > 10000.0;
                if (level > 0.001 || timedOut)
                {
                    sounded = !timedOut;
                    notes.push_back ({ 0, 69, 0 });
                    finishedProbe = true;
                }
            }
            else if (random() % 8 == 0)
            {
                notes.push_back (
                    { (int) (random() % blockSize), 48 + (int) (random() % 36), (int) (random() % 2) * 100 });
            }

            const auto due = start + (double) (block + 1) * blockMs / 4.0;
            if (const auto wait = due - juce::Time::getMillisecondCounterHiRes(); paced && wait > 1.0)
                std::this_thread::sleep_for (std::chrono::microseconds ((long) (wait * 1000.0)));
        }
    }

    HostedInstance& instance;
    const bool paced;
    std::atomic<bool> stopping{ false };
    std::thread thread;
};

TEST_P (TwoBinariesTest, BothBinariesPlaySideBySideWhileStateAndParametersMoveAndUnloadInAnyOrder)
{
    const auto& round = GetParam();
    static std::atomic<unsigned> runs{ 0 };
    const auto seed = 1000u * runs++;

    // Opened on the message thread, as hosts do, each restored with the picture and then prepared.
    std::vector<std::unique_ptr<HostedInstance>> instances;
    for (size_t i = 0; i < round.open.size(); ++i)
    {
        const auto name = juce::String (round.open[i] == Binary::lv2 ? "LV2 #" : "VST3 #") + juce::String ((int) i);
        instances.push_back (open (round.open[i], name));
        ASSERT_NE (instances.back(), nullptr);
    }

    std::vector<juce::MemoryBlock> restoredStates;
    for (auto& instance : instances)
    {
        restoredStates.push_back (stateNamingThePicture (*instance));
        instance->restore (restoredStates.back());
        if (round.offline)
            instance->setOffline();
        instance->prepare();
    }

    std::vector<std::unique_ptr<AudioThread>> audioThreads;
    for (size_t i = 0; i < instances.size(); ++i)
        audioThreads.push_back (std::make_unique<AudioThread> (*instances[i], round.offline, seed + (unsigned) i));

    // The instances the other threads may touch; an instance leaves it before it is unloaded.
    std::shared_mutex loadedLock;
    std::vector<size_t> loaded (instances.size());
    std::iota (loaded.begin(), loaded.end(), size_t{ 0 });

    std::atomic<bool> moving{ false }, done{ false };

    /** Does one thing to a random loaded instance of one binary (of any binary with no binary given), if any. */
    const auto withRandomInstance = [&] (std::mt19937& random, std::optional<Binary> binary, auto&& action)
    {
        const std::shared_lock<std::shared_mutex> guard (loadedLock);
        std::vector<size_t> candidates;
        for (auto i : loaded)
            if (!binary || round.open[i] == *binary)
                candidates.push_back (i);

        if (!candidates.empty())
            action (candidates[random() % candidates.size()]);
    };

    /** Saves or restores a random instance of one binary: its restored state, or the last state one of them saved
        (saved is the binary's state thread's own). */
    const auto moveState = [&] (std::mt19937& random, Binary binary, juce::MemoryBlock& saved)
    {
        withRandomInstance (random,
                            binary,
                            [&] (size_t i)
                            {
                                auto& instance = *instances[i];
                                if (random() % 2 == 0 || saved.isEmpty())
                                    saved = instance.save();
                                else
                                    instance.restore (random() % 2 == 0 ? restoredStates[i] : saved);
                            });
    };

    // Automation from a thread of its own, once every instance has sounded.
    std::thread parameters (
        [&, random = std::mt19937 (seed + 100)]() mutable
        {
            while (!done)
            {
                if (moving)
                    withRandomInstance (
                        random,
                        std::nullopt,
                        [&] (size_t i)
                        { instances[i]->setParameter ((int) (random() % 4096), (float) (random() % 1001) / 1000.0f); });

                std::this_thread::sleep_for (std::chrono::milliseconds (1));
            }
        });

    // The LV2 instances' state on a host thread of its own; the VST3 instances' on the message thread (their
    // UI thread), below.
    std::thread lv2State (
        [&, random = std::mt19937 (seed + 200), saved = juce::MemoryBlock()]() mutable
        {
            while (!done)
            {
                if (moving)
                    moveState (random, Binary::lv2, saved);

                std::this_thread::sleep_for (std::chrono::milliseconds (15));
            }
        });

    std::mt19937 random (seed + 300);
    juce::MemoryBlock savedVst3State;
    const auto runMessageThreadFor = [&] (double milliseconds)
    {
        const auto end = juce::Time::getMillisecondCounterHiRes() + milliseconds;
        while (juce::Time::getMillisecondCounterHiRes() < end)
        {
            juce::MessageManager::getInstance()->runDispatchLoopUntil (15);
            if (moving)
                moveState (random, Binary::vst3, savedVst3State);
        }
    };

    while (!std::all_of (audioThreads.begin(), audioThreads.end(), [] (auto& t) { return t->finishedProbe.load(); }))
        runMessageThreadFor (10.0);

    for (size_t i = 0; i < instances.size(); ++i)
        EXPECT_TRUE (audioThreads[i]->sounded) << instances[i]->name << " never played its picture";

    moving = true;
    runMessageThreadFor (400.0);

    // Unloaded one by one while the others go on playing and moving.
    for (const auto i : round.unload)
    {
        {
            const std::unique_lock<std::shared_mutex> guard (loadedLock);
            loaded.erase (std::find (loaded.begin(), loaded.end(), (size_t) i));
        }

        audioThreads[(size_t) i]->stop();
        EXPECT_TRUE (audioThreads[(size_t) i]->allFinite) << instances[(size_t) i]->name;

        // Restored once more, then saved: the state names the picture's copy in the shared documents folder.
        auto& instance = *instances[(size_t) i];
        instance.restore (restoredStates[(size_t) i]);
        const auto copy = documentsCopyNamedIn (instance.ownState (instance.save()).get());
        const auto copied = juce::ImageFileFormat::loadFrom (copy);
        EXPECT_TRUE (copied.isValid() && copied.getWidth() == 64 && copied.getHeight() == 16)
            << instance.name << ": no copy of the picture at " << copy.getFullPathName();

        instance.release();
        instances[(size_t) i].reset();
        runMessageThreadFor (100.0);
    }

    done = true;
    parameters.join();
    lv2State.join();
}

INSTANTIATE_TEST_SUITE_P (
    Rounds,
    TwoBinariesTest,
    ::testing::Values (
        Round{ "Lv2FirstOutFirst", { Binary::lv2, Binary::vst3 }, { 0, 1 }, false },
        Round{ "Lv2FirstOutLastOffline", { Binary::lv2, Binary::vst3 }, { 1, 0 }, true },
        Round{ "TwoOfEach", { Binary::vst3, Binary::lv2, Binary::vst3, Binary::lv2 }, { 1, 2, 3, 0 }, false },
        Round{ "TwoOfEachOffline", { Binary::lv2, Binary::vst3, Binary::lv2, Binary::vst3 }, { 3, 0, 2, 1 }, true }),
    [] (const auto& test) { return std::string (test.param.name); });
} // namespace
