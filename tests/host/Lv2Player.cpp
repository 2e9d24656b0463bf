#include "Lv2Player.h"

#include "Lv2Host.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>

#include <algorithm>

namespace host
{
Lv2Bundle::Lv2Bundle (const std::string& bundlePath, const std::string& pluginUri) :
    world (std::make_unique<Lv2World> (bundlePath)), uri (pluginUri)
{
    const auto* found = world->findPlugin (uri);

    // An installed copy of the same URI must not stand in for the build's bundle.
    if (found == nullptr || world->bundleUri() != lilv_node_as_uri (lilv_plugin_get_bundle_uri (found)))
        return;

    plugin = found;

    auto* lilvWorld = world->world;
    auto* writable = lilv_new_uri (lilvWorld, LV2_PATCH__writable);
    auto* minimum = lilv_new_uri (lilvWorld, LV2_CORE__minimum);
    auto* maximum = lilv_new_uri (lilvWorld, LV2_CORE__maximum);

    // Asked of the plug-in, which loads its description first; the ranges are in that description too.
    auto* properties = lilv_plugin_get_value (found, writable);
    LILV_FOREACH (nodes, i, properties)
    {
        const auto* property = lilv_nodes_get (properties, i);
        auto* low = lilv_world_get (lilvWorld, property, minimum, nullptr);
        auto* high = lilv_world_get (lilvWorld, property, maximum, nullptr);

        if (low != nullptr && high != nullptr)
            parameters.push_back ({ world->urids.map (lilv_node_as_uri (property)),
                                    lilv_node_as_float (low),
                                    lilv_node_as_float (high) });

        lilv_node_free (low);
        lilv_node_free (high);
    }

    lilv_nodes_free (properties);
    lilv_node_free (writable);
    lilv_node_free (minimum);
    lilv_node_free (maximum);
}

Lv2Bundle::~Lv2Bundle() = default;

bool Lv2Bundle::found() const { return plugin != nullptr; }

//==============================================================================
Lv2Player::Lv2Player (Lv2Bundle& b, double sampleRate, std::uint32_t maxBlockSize) : bundle (b)
{
    if (!bundle.found())
        return;

    {
        const std::lock_guard<std::mutex> guard (bundle.worldLock);
        instance = std::make_unique<Lv2Instance> (*bundle.world,
                                                  *static_cast<const LilvPlugin*> (bundle.plugin),
                                                  sampleRate,
                                                  maxBlockSize);
    }

    if (!instance->isValid() || instance->midiInput() == nullptr || instance->numAudioOutputs() != 2)
        return;

    stateInterface = instance->extensionData (LV2_STATE__interface);
    stateKey = bundle.world->urids.map ((bundle.uri + ":StateString").c_str());
    stringType = bundle.world->urids.map (LV2_ATOM__String);

    pendingParameters.reserve (1024);
    blockParameters.reserve (1024);
    blockNotes.reserve (256);
}

Lv2Player::~Lv2Player()
{
    const std::lock_guard<std::mutex> guard (bundle.worldLock);
    instance.reset();
}

bool Lv2Player::isValid() const { return stateInterface != nullptr; }

bool Lv2Player::setFreeWheeling (bool freeWheeling)
{
    auto* value = instance->designatedInput (LV2_CORE__freeWheeling);
    if (value != nullptr)
        *value = freeWheeling ? 1.0f : 0.0f;

    return value != nullptr;
}

void Lv2Player::activate() { instance->activate(); }

void Lv2Player::deactivate() { instance->deactivate(); }

void Lv2Player::setParameter (std::size_t index, float normalised)
{
    if (bundle.parameters.empty())
        return;

    const auto& parameter = bundle.parameters[index % bundle.parameters.size()];
    const auto value =
        parameter.minimum + std::clamp (normalised, 0.0f, 1.0f) * (parameter.maximum - parameter.minimum);

    const std::lock_guard<std::mutex> guard (parameterLock);
    pendingParameters.emplace_back (parameter.urid, value);
}

void Lv2Player::noteOn (std::uint32_t frame, int note, int velocity)
{
    blockNotes.push_back ({ frame, note, std::max (1, velocity) });
}

void Lv2Player::noteOff (std::uint32_t frame, int note) { blockNotes.push_back ({ frame, note, 0 }); }

void Lv2Player::run (std::uint32_t numFrames)
{
    {
        const std::lock_guard<std::mutex> guard (parameterLock);
        blockParameters.swap (pendingParameters);
    }

    const std::lock_guard<std::mutex> guard (runLock);
    auto* events = instance->midiInput();

    // Events in time order: the parameter changes at the start of the block, then the notes.
    for (const auto& [urid, value] : blockParameters)
        events->addPatchSet (0, urid, value);

    std::stable_sort (blockNotes.begin(),
                      blockNotes.end(),
                      [] (const Note& a, const Note& b) { return a.frame < b.frame; });

    for (const auto& note : blockNotes)
        if (note.velocity > 0)
            events->addNoteOn (std::min (note.frame, numFrames - 1), 1, note.note, note.velocity);
        else
            events->addNoteOff (std::min (note.frame, numFrames - 1), 1, note.note);

    blockParameters.clear();
    blockNotes.clear();
    instance->run (numFrames);
}

const float* Lv2Player::output (int channel) const { return instance->audioOutput (channel).data(); }

namespace
{
    /** What a save stored under the key asked for, and the host's answer to a restore. */
    struct StoredState
    {
        std::uint32_t key = 0, type = 0;
        std::string value;
    };

    LV2_State_Status store (
        LV2_State_Handle handle, std::uint32_t key, const void* value, size_t size, std::uint32_t type, std::uint32_t)
    {
        auto& state = *static_cast<StoredState*> (handle);

        if (key == state.key && type == state.type && size > 0)
            state.value.assign (static_cast<const char*> (value), size - 1); // without its terminating zero

        return LV2_STATE_SUCCESS;
    }

    const void*
    retrieve (LV2_State_Handle handle, std::uint32_t key, size_t* size, std::uint32_t* type, std::uint32_t* flags)
    {
        const auto& state = *static_cast<const StoredState*> (handle);

        if (key != state.key)
            return nullptr;

        *size = state.value.size() + 1;
        *type = state.type;
        *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
        return state.value.c_str();
    }
} // namespace

std::string Lv2Player::saveState()
{
    const auto* state = static_cast<const LV2_State_Interface*> (stateInterface);
    StoredState stored{ stateKey, stringType, {} };
    const LV2_Feature* features[] = { nullptr };

    state->save (instance->handle(), store, &stored, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features);
    return stored.value;
}

bool Lv2Player::restoreState (const std::string& value)
{
    const auto* state = static_cast<const LV2_State_Interface*> (stateInterface);
    StoredState stored{ stateKey, stringType, value };
    const LV2_Feature* features[] = { nullptr };

    const std::lock_guard<std::mutex> guard (runLock);
    return state->restore (instance->handle(), retrieve, &stored, 0, features) == LV2_STATE_SUCCESS;
}
} // namespace host
