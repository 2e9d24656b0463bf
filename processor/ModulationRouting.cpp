#include "PluginProcessor.h"

#include <cmath>
#include <limits>

// The message-side tables (midiModulations, modulatedTargetIds, the three flag tables) change only under
// routingLock, and every change ends with publishing them: the audio thread never sees these containers, only the
// immutable routes it takes from publishedRoutes once per block. The listener table is changed under
// modulationListenersLock, which the audio thread only try-locks.

namespace
{
bool isNonZero (float value) noexcept
{
    return value != 0.0f; // a NaN counts as non-zero
}

int sourceIndexFor (ModType type, int column) noexcept { return 4 * static_cast<int> (type) + column; }
} // namespace

void OstrelAudioProcessor::modulationMatrixRowCheckValues (ModType type, int row, int column, float value)
{
    if (row < 0 || row >= numModulationTargets || column < 0 || column >= numModulationSources)
    {
        jassertfalse;
        return;
    }

    const auto nonZero = isNonZero (value);
    bool targetLeftTheList = false;

    {
        const juce::ScopedLock tablesLock (routingLock);

        if (type == ModType::Midi)
        {
            auto& routes = midiModulations[(size_t) row];
            const auto found = std::find_if (routes.begin(),
                                             routes.end(),
                                             [column] (const MidiModulation& route) { return route.source == column; });

            if (nonZero)
            {
                if (found != routes.end())
                    found->amount = value;
                else
                    routes.push_back ({ value, column });
            }
            else if (found != routes.end())
            {
                routes.erase (found);
            }

            midiSourcesInUse[(size_t) row][(size_t) column] = nonZero;
        }
        else
        {
            auto& flags = type == ModType::LFO ? lfoSourcesInUse : envSourcesInUse;
            flags[(size_t) row][(size_t) column] = nonZero;

            auto stillModulated = nonZero;

            // The other seven cells are read from their parameters, not from the flags.
            for (int j = 0; j < numModulationSources && !stillModulated; ++j)
            {
                const auto cell = (size_t) (row * numModulationSources + j);

                if (!(type == ModType::LFO && j == column) && isNonZero (lfoMatrixConfigs[cell].raw()))
                    stillModulated = true;

                if (!(type == ModType::Env && j == column) && isNonZero (envMatrixConfigs[cell].raw()))
                    stillModulated = true;
            }

            const auto& id = modulationTargetIds[row];
            const auto listed = std::find (modulatedTargetIds.begin(), modulatedTargetIds.end(), id);

            if (stillModulated)
            {
                if (listed == modulatedTargetIds.end())
                    modulatedTargetIds.push_back (id);
            }
            else if (listed != modulatedTargetIds.end())
            {
                modulatedTargetIds.erase (listed);
                targetLeftTheList = true;
            }
        }

        publishedRoutes.publish (modulatedTargetIds, parameterIndex, midiModulations);
    }

    if (targetLeftTheList)
    {
        // Sent after the routes without this target were published. The audio thread calls controls only while
        // it holds modulationListenersLock and only when no newer routes were published since its block began,
        // so a value from an older routing cannot overwrite this NaN.
        const juce::SpinLock::ScopedLockType listenersLock (modulationListenersLock);
        const auto entry = modulationListeners.find (modulationTargetIds[row]);

        if (entry != modulationListeners.end() && entry->second != nullptr)
            entry->second->setModulationValue (std::numeric_limits<float>::quiet_NaN());
    }

    const auto sourceIndex = sourceIndexFor (type, column);
    modulationChangeListeners.call ([sourceIndex] (MyModulationSelectChangeListener& listener)
                                    { listener.modulationIndexChanged (sourceIndex); });
}

void OstrelAudioProcessor::rebookModulationMatrices()
{
    struct Matrix
    {
        ModType type;
        const ParameterGroup& cells;
    };

    const Matrix matrices[]{ { ModType::LFO, lfoMatrixConfigs },
                             { ModType::Env, envMatrixConfigs },
                             { ModType::Midi, midiMatrixConfigs } };

    const auto rowIsUnmodulated = [this] (int row)
    {
        for (int j = 0; j < numModulationSources; ++j)
        {
            const auto cell = (size_t) (row * numModulationSources + j);
            if (isNonZero (lfoMatrixConfigs[cell].raw()) || isNonZero (envMatrixConfigs[cell].raw()))
                return false;
        }
        return true;
    };

    for (const auto& matrix : matrices)
        for (int k = 0; k < numMatrixCells; ++k)
            if (const auto value = matrix.cells[(size_t) k].raw(); isNonZero (value))
                modulationMatrixRowCheckValues (matrix.type, k / numModulationSources, k % numModulationSources, value);

    // Then every cell that is zero now but still has a route, a flag or a listed target behind it.
    for (const auto& matrix : matrices)
    {
        for (int k = 0; k < numMatrixCells; ++k)
        {
            if (isNonZero (matrix.cells[(size_t) k].raw()))
                continue;

            const auto row = k / numModulationSources;
            const auto column = k % numModulationSources;
            bool stale = false;

            {
                const juce::ScopedLock tablesLock (routingLock);

                if (matrix.type == ModType::Midi)
                {
                    const auto& routes = midiModulations[(size_t) row];
                    stale = midiSourcesInUse[(size_t) row][(size_t) column]
                            || std::any_of (routes.begin(),
                                            routes.end(),
                                            [column] (const MidiModulation& route) { return route.source == column; });
                }
                else
                {
                    // A listed target whose eight cells are all zero now must leave the list, even when no
                    // flag is left to say so (its cells were changed without being booked).
                    const auto& flags = matrix.type == ModType::LFO ? lfoSourcesInUse : envSourcesInUse;
                    stale = flags[(size_t) row][(size_t) column]
                            || (rowIsUnmodulated (row)
                                && std::find (modulatedTargetIds.begin(),
                                              modulatedTargetIds.end(),
                                              modulationTargetIds[row])
                                       != modulatedTargetIds.end());
                }
            }

            if (stale)
                modulationMatrixRowCheckValues (matrix.type, row, column, 0.0f);
        }
    }
}

//==============================================================================
// The tables follow the matrix parameters whoever changes them: each change only marks its cell (hosts deliver
// automation inside the audio callback, where nothing may wait or allocate), and a message-thread job books the
// marked cells through modulationMatrixRowCheckValues, the one booking path of the grids, programs and restores.

void OstrelAudioProcessor::followMatrixParameters()
{
    matrixCellWatch.start ({ &lfoMatrixConfigs, &envMatrixConfigs, &midiMatrixConfigs },
                           [this] (ModType type, int row, int column, float value)
                           { bookChangedMatrixCell (type, row, column, value); });
}

void OstrelAudioProcessor::stopFollowingMatrixParameters() { matrixCellWatch.stop(); }

void OstrelAudioProcessor::bookChangedMatrixCell (ModType type, int row, int column, float value)
{
    JUCE_ASSERT_MESSAGE_THREAD
    // A parameter is also announced when it is set to the value it has (Reset sets them all, and the framework
    // announces each parameter's first setting whatever its value); booking those would tell the listeners of
    // sources that nothing routed, and the window would show their pages.
    if (!tablesHoldCell (type, row, column, value))
        modulationMatrixRowCheckValues (type, row, column, value);
}

bool OstrelAudioProcessor::tablesHoldCell (ModType type, int row, int column, float value)
{
    const auto nonZero = isNonZero (value);
    const juce::ScopedLock tablesLock (routingLock);

    if (type == ModType::Midi)
    {
        const auto& routes = midiModulations[(size_t) row];
        const auto found = std::find_if (routes.begin(),
                                         routes.end(),
                                         [column] (const MidiModulation& route) { return route.source == column; });
        const auto routeHeld = nonZero ? found != routes.end() && found->amount == value : found == routes.end();
        return routeHeld && midiSourcesInUse[(size_t) row][(size_t) column] == nonZero;
    }

    // Whether the target is listed follows from its cells' flags: a cell whose flag holds its value leaves the
    // list as it is, and the cell that changed it has a flag that does not.
    const auto& flags = type == ModType::LFO ? lfoSourcesInUse : envSourcesInUse;
    return flags[(size_t) row][(size_t) column] == nonZero;
}

void OstrelAudioProcessor::clearEveryModulationDisplay()
{
    JUCE_ASSERT_MESSAGE_THREAD
    // listenerForTarget mirrors the table's entries for the targets, under the same lock.
    const juce::SpinLock::ScopedLockType listenersLock (modulationListenersLock);

    for (auto* listener : listenerForTarget)
        if (listener != nullptr)
            listener->setModulationValue (std::numeric_limits<float>::quiet_NaN());
}

void OstrelAudioProcessor::setParameterForModulation (juce::String paramID)
{
    JUCE_ASSERT_MESSAGE_THREAD
    const auto index = parameterIndex.find (paramID);
    if (index == parameterIndex.end())
        return;

    const auto row = index->second;
    sliderChangeListeners.call ([row] (MySliderChangeListener& listener) { listener.sliderIndexChanged (row); });
}

void OstrelAudioProcessor::addSliderChangeListener (MySliderChangeListener* listener)
{
    if (listener != nullptr)
        sliderChangeListeners.add (listener);
}

void OstrelAudioProcessor::removeSliderChangeListener (MySliderChangeListener* listener)
{
    if (listener != nullptr)
        sliderChangeListeners.remove (listener);
}

void OstrelAudioProcessor::addModulationChangeListener (MyModulationSelectChangeListener* listener)
{
    if (listener != nullptr)
        modulationChangeListeners.add (listener);
}

void OstrelAudioProcessor::removeModulationChangeListener (MyModulationSelectChangeListener* listener)
{
    if (listener != nullptr)
        modulationChangeListeners.remove (listener);
}

void OstrelAudioProcessor::addModulationListener (const juce::String& paramID, ModulationListener* listener)
{
    JUCE_ASSERT_MESSAGE_THREAD
    if (listener == nullptr)
        return;

    const auto index = parameterIndex.find (paramID);
    const juce::SpinLock::ScopedLockType lock (modulationListenersLock);

    modulationListeners[paramID] = listener;

    if (index != parameterIndex.end())
        listenerForTarget[index->second] = listener;
}

void OstrelAudioProcessor::removeModulationListener (const juce::String& paramID, ModulationListener* listener)
{
    JUCE_ASSERT_MESSAGE_THREAD
    const auto index = parameterIndex.find (paramID);
    const juce::SpinLock::ScopedLockType lock (modulationListenersLock);

    const auto entry = modulationListeners.find (paramID);
    if (entry == modulationListeners.end() || entry->second != listener)
        return;

    modulationListeners.erase (entry);

    if (index != parameterIndex.end() && listenerForTarget[index->second] == listener)
        listenerForTarget[index->second] = nullptr;
}
