#pragma once

// A small LV2 host on lilv, free of JUCE, so the bundle is checked exactly as a non-JUCE host sees it.

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace host
{
/** The urid:map and urid:unmap features: one number per URI, stable for the host's lifetime. */
class UridMap
{
public:
    UridMap();

    LV2_URID map (const char* uri);
    const char* unmap (LV2_URID urid) const;

    LV2_URID_Map mapFeatureData;
    LV2_URID_Unmap unmapFeatureData;

private:
    // Plug-ins may map from any of their threads.
    mutable std::mutex lock;
    std::unordered_map<std::string, LV2_URID> ids;
    std::vector<std::unique_ptr<std::string>> uris; // uris[urid - 1]; stable addresses for unmap
};

/** An atom buffer holding one LV2 sequence, 64-bit aligned as the atom extension wants it.
    As an input it collects the block's MIDI events in time order; as an output it offers its capacity. */
class AtomSequence
{
public:
    AtomSequence (UridMap& uridMap, uint32_t capacityBytes);

    /** Empties the sequence, ready to take the next block's events. */
    void clear();

    /** Marks the whole buffer as free space for the plug-in to write its output sequence into. */
    void prepareForOutput();

    /** Appends one MIDI message at a frame of the block; frames must not decrease. False when full. */
    bool addMidi (int64_t frame, const std::vector<uint8_t>& bytes);

    bool addNoteOn (int64_t frame, int channel, int note, int velocity);
    bool addNoteOff (int64_t frame, int channel, int note);

    /** Appends a patch:Set of a plug-in property to a float, the message with which LV2 hosts set a parameter
        that has no control port. False when full. */
    bool addPatchSet (int64_t frame, LV2_URID property, float value);

    /** The number of events in the sequence. */
    int numEvents() const;

    LV2_Atom_Sequence* get() { return reinterpret_cast<LV2_Atom_Sequence*> (storage.data()); }
    const LV2_Atom_Sequence* get() const { return reinterpret_cast<const LV2_Atom_Sequence*> (storage.data()); }

private:
    /** Appends an event whose atom is followed in memory by its body of body.size bytes. */
    bool addEvent (int64_t frame, const LV2_Atom& body);

    UridMap& urids;
    std::vector<uint64_t> storage;
    uint32_t capacity;
    LV2_URID sequenceType, chunkType, midiEventType;
};

/** A lilv world holding the system's LV2 specifications and one plug-in bundle. */
class Lv2World
{
public:
    /** Loads the specifications from the default LV2 path, then the bundle folder given. */
    explicit Lv2World (const std::string& bundlePath);
    ~Lv2World();

    /** The plug-in of that URI, or nullptr when the world does not know it. */
    const LilvPlugin* findPlugin (const std::string& uri) const;

    /** The URI of the bundle folder given to the constructor, as lilv spells it. */
    std::string bundleUri() const;

    LilvWorld* world = nullptr;
    UridMap urids;

    /** Nodes the checks and the instance use. */
    struct Nodes
    {
        LilvNode *audioPort, *controlPort, *atomPort, *cvPort, *inputPort, *outputPort;
        LilvNode *midiEvent, *minimumSize, *instrumentPlugin;
    };
    Nodes nodes{};

private:
    LilvNode* bundle = nullptr;
};

/** One running instance of a plug-in with every port connected to a buffer of the host's:
    audio outputs to float buffers, control inputs to their defaults, atom ports to sequences. */
class Lv2Instance
{
public:
    Lv2Instance (Lv2World& world, const LilvPlugin& plugin, double sampleRate, uint32_t maxBlockSize);
    ~Lv2Instance();

    /** False when the plug-in refused to instantiate. */
    bool isValid() const { return instance != nullptr; }

    void activate();
    void deactivate();

    /** Runs one block of numFrames (at most the maximum block size) with the events now in midiInput(),
        then empties midiInput() for the next block. */
    void run (uint32_t numFrames);

    /** The events for the next run(): the first atom input port that takes MIDI, nullptr when there is none. */
    AtomSequence* midiInput() { return midiInputPort < 0 ? nullptr : atomBuffers[(size_t) midiInputPort].get(); }

    int numAudioOutputs() const { return (int) audioOutputs.size(); }

    /** The plug-in's extension data for that URI (its state interface, for one), nullptr when it has none. */
    const void* extensionData (const char* uri) const;

    /** The value of the control input with that designation (lv2:freeWheeling, for one), which the host may change
        between blocks; nullptr when there is none. */
    float* designatedInput (const char* designation);

    /** The plug-in's handle, which its extensions' functions take. */
    LV2_Handle handle() const { return lilv_instance_get_handle (instance); }

    /** The last block's samples of audio output `index` (maxBlockSize long; run() wrote its first numFrames). */
    const std::vector<float>& audioOutput (int index) const { return *audioOutputs[(size_t) index]; }

    const uint32_t maxBlockSize;

private:
    Lv2World& world;
    const LilvPlugin& plugin;

    // Kept alive for the instance's lifetime: the plug-in may hold on to any of them.
    float sampleRateOption;
    int32_t minBlockOption = 0, maxBlockOption, sequenceSizeOption;
    std::vector<LV2_Options_Option> options;
    LV2_Feature mapFeature, unmapFeature, optionsFeature, boundedBlockFeature;
    std::vector<const LV2_Feature*> features;

    std::vector<std::unique_ptr<std::vector<float>>> portBuffers; // audio and control storage
    std::vector<std::vector<float>*> audioOutputs;
    std::unordered_map<uint32_t, float*> controlValues;     // by port index
    std::vector<std::unique_ptr<AtomSequence>> atomBuffers; // indexed by port, nullptr for other ports
    std::vector<uint32_t> atomOutputPorts;
    int midiInputPort = -1;

    LilvInstance* instance = nullptr;
    bool active = false;
};
} // namespace host
