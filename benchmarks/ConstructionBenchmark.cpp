#include "processor/PluginProcessor.h"

#include <benchmark/benchmark.h>

// A host constructs the plug-in on its main thread: this is how long it waits.
static void BM_ConstructAndDestroyProcessor (benchmark::State& state)
{
    for (auto _ : state)
    {
        auto processor = std::make_unique<OstrelAudioProcessor>();
        benchmark::DoNotOptimize (processor.get());
    }
}
BENCHMARK (BM_ConstructAndDestroyProcessor)->Unit (benchmark::kMillisecond);
