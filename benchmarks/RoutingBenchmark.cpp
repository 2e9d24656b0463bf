#include "processor/PluginProcessor.h"

#include <benchmark/benchmark.h>

// A grid cell dragged by the user books a value at every change: the tables, the rebuilt routes and the
// listeners, all on the message thread.
static void BM_BookOneMatrixCell (benchmark::State& state)
{
    auto processor = std::make_unique<OstrelAudioProcessor>();
    float value = 0.1f;

    for (auto _ : state)
    {
        processor->modulationMatrixRowCheckValues (ModType::Midi, 10, 2, value);
        value = value > 0.9f ? 0.1f : value + 0.01f;
    }
}
BENCHMARK (BM_BookOneMatrixCell)->Unit (benchmark::kMicrosecond);

// What a host waits for when it reopens a project: parameters, picture path and the re-booked matrices.
static void BM_RestoreState (benchmark::State& state)
{
    auto processor = std::make_unique<OstrelAudioProcessor>();
    for (int row = 0; row < 20; ++row)
        processor->valueTreeState.getParameter (processor->lfoMatrixConfigs[(size_t) row * 4].paramID)
            ->setValueNotifyingHost (0.75f);

    juce::MemoryBlock saved;
    processor->getStateInformation (saved);

    for (auto _ : state)
        processor->setStateInformation (saved.getData(), (int) saved.getSize());
}
BENCHMARK (BM_RestoreState)->Unit (benchmark::kMillisecond);
