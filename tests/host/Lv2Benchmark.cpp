// Times the built LV2 bundle in a plain lilv host: eight held notes for a stretch of audio at 48 kHz in 512-sample
// blocks, and the real-time factor (seconds of audio per second of CPU) of the plug-in's run calls.
//
//     ostrel_lv2_benchmark [--oversample 0|1|2] [--hifidel] [--seconds S] [--repetitions N] [--bundle PATH]
//
// --bundle times another build's Ostrel.lv2 (of the same URI) in place of this build's.

#include "Lv2Host.h"
#include "SignalMeasures.h"
#include "TemporaryHome.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr uint32_t blockSize = 512;

double threadSeconds()
{
    timespec now{};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &now);
    return (double) now.tv_sec + (double) now.tv_nsec * 1.0e-9;
}

/** One run: a fresh instance, the chord in the first block, then the held notes; returns the CPU seconds spent
    in the plug-in's run calls. */
double timeOneRun (host::Lv2World& world, const LilvPlugin& plugin, float overSample, bool hiFidel, double seconds)
{
    host::Lv2Instance instance (world, plugin, sampleRate, blockSize);
    if (!instance.isValid() || instance.midiInput() == nullptr)
    {
        std::fprintf (stderr, "The plug-in did not instantiate with a MIDI input.\n");
        std::exit (1);
    }

    instance.activate();

    // Parameters are set with patch:Set on the notes' atom port, under the plug-in's URI joined to the ID.
    const auto property = [&world] (const std::string& paramID)
    { return world.urids.map ((std::string (OSTREL_LV2_URI) + ":" + paramID).c_str()); };

    auto* input = instance.midiInput();
    input->addPatchSet (0, property ("OverSample"), overSample);
    input->addPatchSet (0, property ("HiFidel"), hiFidel ? 1.0f : 0.0f);
    input->addPatchSet (0, property ("subBass"), 0.3f);
    input->addPatchSet (0, property ("Mod_LFO1_Freq"), 0.3f);
    input->addPatchSet (0, property ("LFOAmount1"), 0.5f);

    for (int i = 0; i < 8; ++i)
        input->addNoteOn (i * 8, 1, 48 + 3 * i, 100);

    const auto numBlocks = (int) (seconds * sampleRate / blockSize);
    const auto start = threadSeconds();

    for (int block = 0; block < numBlocks; ++block)
        instance.run (blockSize);

    const auto spent = threadSeconds() - start;

    // A silent plug-in would time nothing worth knowing. With "HiFidel" the voices read the brightness grid itself,
    // which stays empty here (the host gives the plug-in no picture): silent, but the same work sample for sample.
    const auto peak = testing_helpers::peak (instance.audioOutput (0).data(), (std::size_t) blockSize);
    if (!hiFidel && !(peak > 1.0e-4f))
    {
        std::fprintf (stderr, "The held notes are silent (peak %g).\n", (double) peak);
        std::exit (1);
    }

    instance.deactivate();
    return spent;
}
} // namespace

int main (int argc, char** argv)
{
    float overSample = 1.0f;
    bool hiFidel = false;
    double seconds = 10.0;
    int repetitions = 5;
    std::string bundle = OSTREL_LV2_BUNDLE;

    for (int i = 1; i < argc; ++i)
    {
        const std::string argument = argv[i];
        if (argument == "--oversample" && i + 1 < argc)
            overSample = (float) std::atof (argv[++i]);
        else if (argument == "--hifidel")
            hiFidel = true;
        else if (argument == "--seconds" && i + 1 < argc)
            seconds = std::atof (argv[++i]);
        else if (argument == "--bundle" && i + 1 < argc)
            bundle = argv[++i];
        else if (argument == "--repetitions" && i + 1 < argc)
            repetitions = std::max (1, std::atoi (argv[++i]));
        else
        {
            std::fprintf (
                stderr,
                "usage: %s [--oversample 0|1|2] [--hifidel] [--seconds S] [--repetitions N] [--bundle PATH]\n",
                argv[0]);
            return 2;
        }
    }

    // The plug-in creates its documents folder when it is opened.
    const TemporaryHome home ("ostrel-lv2-bench");
    if (!home.isValid())
        return 2;

    host::Lv2World world (bundle);
    const auto* plugin = world.findPlugin (OSTREL_LV2_URI);
    if (plugin == nullptr)
    {
        std::fprintf (stderr, "%s not found in %s\n", OSTREL_LV2_URI, bundle.c_str());
        return 1;
    }

    std::vector<double> factors;
    for (int r = 0; r < repetitions; ++r)
        factors.push_back (seconds / timeOneRun (world, *plugin, overSample, hiFidel, seconds));

    std::sort (factors.begin(), factors.end());
    std::printf ("LV2 through lilv, %sx%d, 8 held notes, %.0f s at 48 kHz in %u-sample blocks: "
                 "median %.1f x real time (min %.1f, max %.1f, %d runs)\n",
                 hiFidel ? "HiFidel " : "",
                 2 << (int) overSample,
                 seconds,
                 blockSize,
                 factors[factors.size() / 2],
                 factors.front(),
                 factors.back(),
                 repetitions);
    return 0;
}
