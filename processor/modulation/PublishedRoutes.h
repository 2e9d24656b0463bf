#pragma once

#include "processor/ParameterModel.h"
#include "threads/LockFree.h"

#include <list>
#include <unordered_map>
#include <vector>

/** One MIDI-source route of a target: the cell's amount (never 0 while the route exists) and its source column. */
struct MidiModulation
{
    float amount = 0.0f;
    int source = 0;
};

/** What the audio thread needs of the routing tables, as one immutable, allocation-free value. */
struct ModulationRoutes
{
    int numModulatedTargets = 0;
    int modulatedTargets[numModulationTargets]{}; // rows of the targets with LFO or envelope routes, in list order
    int numMidiRoutes[numModulationTargets]{};
    MidiModulation midiRoutes[numModulationTargets][numModulationSources]{};
};

/** The routes as the audio thread reads them. The message thread rebuilds them from its tables after every change
    and hands them over whole, so that the audio thread never meets a container while it changes or after its
    storage went; neither side waits or allocates. One writer at a time: the tables' lock serialises the writers. */
class PublishedRoutes
{
public:
    /** Builds the routes from the tables and makes them the newest: the listed targets by their row in
        parameterIndex (an ID it does not hold is left out), at most one MIDI route per source of a row.
        [message thread, or the restoring thread; one at a time] */
    void publish (const std::list<juce::String>& modulatedTargetIds,
                  const std::unordered_map<juce::String, int>& parameterIndex,
                  const std::vector<std::vector<MidiModulation>>& midiModulations);

    /** The slot a writer may fill itself before publish(). [writer thread] */
    ModulationRoutes& back() noexcept { return routes.back(); }
    /** Makes the back slot the newest routes. [writer thread] */
    void publish() noexcept { routes.publish(); }

    /** The newest routes; what it returns stays as it is until the next call. [audio thread] */
    const ModulationRoutes& latest() noexcept { return routes.latest(); }
    /** True when newer routes were published since latest(), so that values worked out from its routes may be out
        of date. [audio thread] */
    bool hasFresh() const noexcept { return routes.hasFresh(); }

private:
    TripleBuffer<ModulationRoutes> routes;
};
