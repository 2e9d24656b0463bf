#include "PublishedRoutes.h"

#include <algorithm>

void PublishedRoutes::publish (const std::list<juce::String>& modulatedTargetIds,
                               const std::unordered_map<juce::String, int>& parameterIndex,
                               const std::vector<std::vector<MidiModulation>>& midiModulations)
{
    auto& next = routes.back();

    next.numModulatedTargets = 0;
    for (const auto& id : modulatedTargetIds)
    {
        const auto index = parameterIndex.find (id);
        if (index != parameterIndex.end() && next.numModulatedTargets < numModulationTargets)
            next.modulatedTargets[next.numModulatedTargets++] = index->second;
    }

    for (int row = 0; row < numModulationTargets; ++row)
    {
        const auto& source = midiModulations[(size_t) row];
        const auto count = std::min ((int) source.size(), numModulationSources);

        next.numMidiRoutes[row] = count;
        std::copy (source.begin(), source.begin() + count, next.midiRoutes[row]);
    }

    routes.publish();
}
