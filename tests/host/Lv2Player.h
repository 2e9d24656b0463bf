#pragma once

// The built LV2 bundle driven through lilv, behind a header that names neither lilv nor JUCE: a check built on JUCE
// (whose module folder carries LV2 headers of its own) can then play the LV2 beside a VST3 it hosts, in one process.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace host
{
class Lv2World;
class Lv2Instance;

/** A lilv world holding one bundle, and the plug-in of one URI in it. [one host thread at a time] */
class Lv2Bundle
{
public:
    Lv2Bundle (const std::string& bundlePath, const std::string& uri);
    ~Lv2Bundle();

    /** False when the bundle holds no plug-in of that URI. */
    bool found() const;

private:
    friend class Lv2Player;

    std::unique_ptr<Lv2World> world;
    const void* plugin = nullptr; // the LilvPlugin
    std::string uri;

    /** The plug-in's writable parameters, with their ranges. */
    struct Parameter
    {
        std::uint32_t urid;
        float minimum, maximum;
    };
    std::vector<Parameter> parameters;

    /** lilv's world is not safe across threads: instantiation and freeing go one at a time. */
    std::mutex worldLock;
};

/** One instance of the bundle's plug-in, with a stereo output and its MIDI input, run as a host runs it. */
class Lv2Player
{
public:
    Lv2Player (Lv2Bundle& bundle, double sampleRate, std::uint32_t maxBlockSize);
    ~Lv2Player();

    /** False when the plug-in refused to instantiate. */
    bool isValid() const;

    void activate();
    void deactivate();

    /** Tells the plug-in whether the host renders faster than real time (a freewheeling export), as hosts do through
        the port designated lv2:freeWheeling; false when it has no such port. [before activate] */
    bool setFreeWheeling (bool freeWheeling);

    std::size_t numParameters() const { return bundle.parameters.size(); }

    /** Sets parameter index (taken modulo numParameters) to the point normalised (0 .. 1) of its range, with a
        patch:Set in the next block, as a host's automation or a control surface does. [any thread] */
    void setParameter (std::size_t index, float normalised);

    /** A note for the next block. [audio thread] */
    void noteOn (std::uint32_t frame, int note, int velocity);
    void noteOff (std::uint32_t frame, int note);

    /** Runs one block with the queued parameter changes and notes. [audio thread] */
    void run (std::uint32_t numFrames);

    /** The last block's output of channel 0 or 1. [audio thread] */
    const float* output (int channel) const;

    /** The whole saved state: the one string the framework's LV2 wrapper stores it in (its base64 of the plug-in's
        state), empty when it stored none. Hosts may save while the plug-in runs. [any thread] */
    std::string saveState();

    /** Restores a state that saveState gave (or one made like it); false when the plug-in refused it. Never while a
        block runs: restoring waits for the running block, and the next waits for it. [any thread] */
    bool restoreState (const std::string& state);

private:
    Lv2Bundle& bundle;
    std::unique_ptr<Lv2Instance> instance;
    const void* stateInterface = nullptr; // the LV2_State_Interface
    std::uint32_t stateKey = 0, stringType = 0;

    std::mutex runLock; // one block or one restore at a time

    std::mutex parameterLock;
    std::vector<std::pair<std::uint32_t, float>> pendingParameters; // urid, plain value
    std::vector<std::pair<std::uint32_t, float>> blockParameters;   // the audio thread's copy

    struct Note
    {
        std::uint32_t frame;
        int note, velocity; // velocity 0: a note-off
    };
    std::vector<Note> blockNotes; // the audio thread's
};
} // namespace host
