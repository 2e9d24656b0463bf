#include "Lv2Host.h"

#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/parameters/parameters.h>
#include <lv2/patch/patch.h>
#include <lv2/resize-port/resize-port.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace host
{
//==============================================================================
UridMap::UridMap()
{
    mapFeatureData.handle = this;
    mapFeatureData.map = [] (LV2_URID_Map_Handle handle, const char* uri)
    { return static_cast<UridMap*> (handle)->map (uri); };

    unmapFeatureData.handle = this;
    unmapFeatureData.unmap = [] (LV2_URID_Unmap_Handle handle, LV2_URID urid)
    { return static_cast<UridMap*> (handle)->unmap (urid); };
}

LV2_URID UridMap::map (const char* uri)
{
    const std::lock_guard<std::mutex> guard (lock);

    if (const auto found = ids.find (uri); found != ids.end())
        return found->second;

    uris.push_back (std::make_unique<std::string> (uri));
    const auto urid = (LV2_URID) uris.size();
    ids.emplace (*uris.back(), urid);
    return urid;
}

const char* UridMap::unmap (LV2_URID urid) const
{
    const std::lock_guard<std::mutex> guard (lock);
    return urid >= 1 && urid <= uris.size() ? uris[urid - 1]->c_str() : nullptr;
}

//==============================================================================
AtomSequence::AtomSequence (UridMap& uridMap, uint32_t capacityBytes) :
    urids (uridMap),
    storage ((std::max (capacityBytes, (uint32_t) sizeof (LV2_Atom_Sequence)) + 7) / 8, 0),
    capacity ((uint32_t) (storage.size() * 8)),
    sequenceType (uridMap.map (LV2_ATOM__Sequence)),
    chunkType (uridMap.map (LV2_ATOM__Chunk)),
    midiEventType (uridMap.map (LV2_MIDI__MidiEvent))
{
    clear();
}

void AtomSequence::clear()
{
    auto* sequence = get();
    sequence->atom.type = sequenceType;
    sequence->body.unit = 0; // frames
    sequence->body.pad = 0;
    lv2_atom_sequence_clear (sequence);
}

void AtomSequence::prepareForOutput()
{
    auto* sequence = get();
    sequence->atom.type = chunkType;
    sequence->atom.size = capacity - (uint32_t) sizeof (LV2_Atom);
}

bool AtomSequence::addEvent (int64_t frame, const LV2_Atom& body)
{
    std::vector<uint64_t> event ((sizeof (LV2_Atom_Event) + body.size + 7) / 8, 0);
    auto* header = reinterpret_cast<LV2_Atom_Event*> (event.data());
    header->time.frames = frame;
    header->body = body;
    std::memcpy (header + 1, &body + 1, body.size);

    return lv2_atom_sequence_append_event (get(), capacity - (uint32_t) sizeof (LV2_Atom), header) != nullptr;
}

bool AtomSequence::addMidi (int64_t frame, const std::vector<uint8_t>& bytes)
{
    std::vector<uint64_t> atom ((sizeof (LV2_Atom) + bytes.size() + 7) / 8, 0);
    auto* body = reinterpret_cast<LV2_Atom*> (atom.data());
    body->type = midiEventType;
    body->size = (uint32_t) bytes.size();
    std::memcpy (body + 1, bytes.data(), bytes.size());

    return addEvent (frame, *body);
}

bool AtomSequence::addPatchSet (int64_t frame, LV2_URID property, float value)
{
    alignas (8) uint8_t buffer[256] = {};
    LV2_Atom_Forge forge;
    lv2_atom_forge_init (&forge, &urids.mapFeatureData);
    lv2_atom_forge_set_buffer (&forge, buffer, sizeof (buffer));

    LV2_Atom_Forge_Frame object;
    const auto objectRef = lv2_atom_forge_object (&forge, &object, 0, urids.map (LV2_PATCH__Set));
    if (objectRef == 0)
        return false;

    lv2_atom_forge_key (&forge, urids.map (LV2_PATCH__property));
    lv2_atom_forge_urid (&forge, property);
    lv2_atom_forge_key (&forge, urids.map (LV2_PATCH__value));
    const auto written = lv2_atom_forge_float (&forge, value);
    lv2_atom_forge_pop (&forge, &object);

    // The forge's own reference to the object it wrote, rather than the buffer read as an atom.
    return written != 0 && addEvent (frame, *lv2_atom_forge_deref (&forge, objectRef));
}

bool AtomSequence::addNoteOn (int64_t frame, int channel, int note, int velocity)
{
    return addMidi (
        frame,
        { (uint8_t) (0x90 | ((channel - 1) & 0x0f)), (uint8_t) (note & 0x7f), (uint8_t) (velocity & 0x7f) });
}

bool AtomSequence::addNoteOff (int64_t frame, int channel, int note)
{
    return addMidi (frame, { (uint8_t) (0x80 | ((channel - 1) & 0x0f)), (uint8_t) (note & 0x7f), 0 });
}

int AtomSequence::numEvents() const
{
    int count = 0;
    LV2_ATOM_SEQUENCE_FOREACH (get(), event)
    {
        (void) event;
        ++count;
    }
    return count;
}

//==============================================================================
Lv2World::Lv2World (const std::string& bundlePath) : world (lilv_world_new())
{
    // The default path brings the LV2 specifications (plug-in classes, port types); the bundle is loaded by itself
    // so that the build's copy is the one checked, not an installed one.
    lilv_world_load_all (world);

    auto folder = bundlePath;
    if (folder.empty() || folder.back() != '/')
        folder += '/';

    bundle = lilv_new_file_uri (world, nullptr, folder.c_str());
    lilv_world_load_bundle (world, bundle);

    nodes.audioPort = lilv_new_uri (world, LV2_CORE__AudioPort);
    nodes.controlPort = lilv_new_uri (world, LV2_CORE__ControlPort);
    nodes.atomPort = lilv_new_uri (world, LV2_ATOM__AtomPort);
    nodes.cvPort = lilv_new_uri (world, LV2_CORE__CVPort);
    nodes.inputPort = lilv_new_uri (world, LV2_CORE__InputPort);
    nodes.outputPort = lilv_new_uri (world, LV2_CORE__OutputPort);
    nodes.midiEvent = lilv_new_uri (world, LV2_MIDI__MidiEvent);
    nodes.minimumSize = lilv_new_uri (world, LV2_RESIZE_PORT__minimumSize);
    nodes.instrumentPlugin = lilv_new_uri (world, LV2_CORE__InstrumentPlugin);
}

Lv2World::~Lv2World()
{
    for (auto* node : { nodes.audioPort,
                        nodes.controlPort,
                        nodes.atomPort,
                        nodes.cvPort,
                        nodes.inputPort,
                        nodes.outputPort,
                        nodes.midiEvent,
                        nodes.minimumSize,
                        nodes.instrumentPlugin,
                        bundle })
        lilv_node_free (node);

    lilv_world_free (world);
}

const LilvPlugin* Lv2World::findPlugin (const std::string& uri) const
{
    auto* node = lilv_new_uri (world, uri.c_str());
    const auto* plugin = lilv_plugins_get_by_uri (lilv_world_get_all_plugins (world), node);
    lilv_node_free (node);
    return plugin;
}

std::string Lv2World::bundleUri() const { return lilv_node_as_uri (bundle); }

//==============================================================================
Lv2Instance::Lv2Instance (Lv2World& w, const LilvPlugin& p, double sampleRate, uint32_t maxBlock) :
    maxBlockSize (maxBlock),
    world (w),
    plugin (p),
    sampleRateOption ((float) sampleRate),
    maxBlockOption ((int32_t) maxBlock)
{
    auto& urids = world.urids;
    const auto numPorts = lilv_plugin_get_num_ports (&plugin);

    // Atom buffers as large as the plug-in asks for (it may report every parameter in one block).
    uint32_t largestAtomBuffer = 8192;
    for (uint32_t i = 0; i < numPorts; ++i)
        if (auto* size = lilv_port_get (&plugin, lilv_plugin_get_port_by_index (&plugin, i), world.nodes.minimumSize))
        {
            largestAtomBuffer = std::max (largestAtomBuffer, (uint32_t) lilv_node_as_int (size));
            lilv_node_free (size);
        }

    sequenceSizeOption = (int32_t) largestAtomBuffer;

    const auto intType = urids.map (LV2_ATOM__Int);
    options = {
        { LV2_OPTIONS_INSTANCE,
          0,
          urids.map (LV2_PARAMETERS__sampleRate),
          sizeof (float),
          urids.map (LV2_ATOM__Float),
          &sampleRateOption },
        { LV2_OPTIONS_INSTANCE,
          0,
          urids.map (LV2_BUF_SIZE__minBlockLength),
          sizeof (int32_t),
          intType,
          &minBlockOption },
        { LV2_OPTIONS_INSTANCE,
          0,
          urids.map (LV2_BUF_SIZE__maxBlockLength),
          sizeof (int32_t),
          intType,
          &maxBlockOption },
        { LV2_OPTIONS_INSTANCE,
          0,
          urids.map (LV2_BUF_SIZE__sequenceSize),
          sizeof (int32_t),
          intType,
          &sequenceSizeOption },
        { LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr },
    };

    mapFeature = { LV2_URID__map, &urids.mapFeatureData };
    unmapFeature = { LV2_URID__unmap, &urids.unmapFeatureData };
    optionsFeature = { LV2_OPTIONS__options, options.data() };
    boundedBlockFeature = { LV2_BUF_SIZE__boundedBlockLength, nullptr };
    features = { &mapFeature, &unmapFeature, &optionsFeature, &boundedBlockFeature, nullptr };

    instance = lilv_plugin_instantiate (&plugin, sampleRate, features.data());
    if (instance == nullptr)
        return;

    std::vector<float> minimums (numPorts), maximums (numPorts), defaults (numPorts);
    lilv_plugin_get_port_ranges_float (&plugin, minimums.data(), maximums.data(), defaults.data());

    atomBuffers.resize (numPorts);

    for (uint32_t i = 0; i < numPorts; ++i)
    {
        const auto* port = lilv_plugin_get_port_by_index (&plugin, i);
        const auto isInput = lilv_port_is_a (&plugin, port, world.nodes.inputPort);
        void* data = nullptr;

        if (lilv_port_is_a (&plugin, port, world.nodes.audioPort) || lilv_port_is_a (&plugin, port, world.nodes.cvPort))
        {
            portBuffers.push_back (std::make_unique<std::vector<float>> (maxBlockSize, 0.0f));
            data = portBuffers.back()->data();

            if (!isInput && lilv_port_is_a (&plugin, port, world.nodes.audioPort))
                audioOutputs.push_back (portBuffers.back().get());
        }
        else if (lilv_port_is_a (&plugin, port, world.nodes.controlPort))
        {
            // Ports without a default (the latency output, for one) start at 0.
            portBuffers.push_back (
                std::make_unique<std::vector<float>> (1, std::isnan (defaults[i]) ? 0.0f : defaults[i]));
            data = portBuffers.back()->data();
            controlValues[i] = portBuffers.back()->data();
        }
        else if (lilv_port_is_a (&plugin, port, world.nodes.atomPort))
        {
            atomBuffers[i] = std::make_unique<AtomSequence> (urids, largestAtomBuffer);
            data = atomBuffers[i]->get();

            if (isInput)
            {
                if (midiInputPort < 0 && lilv_port_supports_event (&plugin, port, world.nodes.midiEvent))
                    midiInputPort = (int) i;
            }
            else
            {
                atomBuffers[i]->prepareForOutput();
                atomOutputPorts.push_back (i);
            }
        }

        lilv_instance_connect_port (instance, i, data);
    }
}

Lv2Instance::~Lv2Instance()
{
    if (instance == nullptr)
        return;

    if (active)
        deactivate();

    lilv_instance_free (instance);
}

const void* Lv2Instance::extensionData (const char* uri) const
{
    return instance == nullptr ? nullptr : lilv_instance_get_extension_data (instance, uri);
}

float* Lv2Instance::designatedInput (const char* designation)
{
    auto* node = lilv_new_uri (world.world, designation);
    const auto* port = lilv_plugin_get_port_by_designation (&plugin, world.nodes.inputPort, node);
    lilv_node_free (node);

    if (port == nullptr)
        return nullptr;

    const auto found = controlValues.find (lilv_port_get_index (&plugin, port));
    return found == controlValues.end() ? nullptr : found->second;
}

void Lv2Instance::activate()
{
    lilv_instance_activate (instance);
    active = true;
}

void Lv2Instance::deactivate()
{
    lilv_instance_deactivate (instance);
    active = false;
}

void Lv2Instance::run (uint32_t numFrames)
{
    for (auto port : atomOutputPorts)
        atomBuffers[port]->prepareForOutput();

    lilv_instance_run (instance, std::min (numFrames, maxBlockSize));

    // A host hands every block a fresh input sequence.
    for (size_t port = 0; port < atomBuffers.size(); ++port)
        if (atomBuffers[port] != nullptr
            && std::find (atomOutputPorts.begin(), atomOutputPorts.end(), (uint32_t) port) == atomOutputPorts.end())
            atomBuffers[port]->clear();
}
} // namespace host
