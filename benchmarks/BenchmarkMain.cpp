#include "NoDisplay.h"
#include "TemporaryHome.h"

#include <JuceHeader.h>
#include <benchmark/benchmark.h>

int main (int argc, char** argv)
{
    // Benchmarks construct processors, which write into the documents folder.
    const TemporaryHome home ("ostrel-bench");
    if (!home.isValid())
        return 2;

    // The editor's benchmarks paint off screen.
    leaveNoDisplay();
    const juce::ScopedJuceInitialiser_GUI juce;
    benchmark::Initialize (&argc, argv);
    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
