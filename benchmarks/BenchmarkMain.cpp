#include <JuceHeader.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main (int argc, char** argv)
{
    // Benchmarks construct processors, which write into the documents folder: keep that temporary.
    std::string home = (std::filesystem::temp_directory_path() / "ostrel-bench-XXXXXX").string();
    if (mkdtemp (home.data()) == nullptr)
        return 2;
    setenv ("HOME", home.c_str(), 1);

    {
        juce::ScopedJuceInitialiser_GUI juce;
        benchmark::Initialize (&argc, argv);
        if (benchmark::ReportUnrecognizedArguments (argc, argv))
            return 1;
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }

    std::error_code ignored;
    std::filesystem::remove_all (home, ignored);
    return 0;
}
