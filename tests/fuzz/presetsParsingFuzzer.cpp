// Feeds arbitrary text to the presets-file reader alone, without applying what it reads: the fast companion of the
// presets fuzzer.
#include "FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    const auto& processor = fuzzing::processor();
    static const auto numValues = [&processor]
    {
        size_t count = 0;
        for (const auto* group : processor.allConfigs)
            count += group->size();
        return count;
    }();

    // Decoded as reading the file decodes it (byte-order marks, UTF-16 or UTF-8).
    const auto programs = processor.presetsFileFormat.parse (
        juce::String::createStringFromData (data, (int) std::min (size, (std::size_t) 1 << 24)));

    for (const auto& program : programs)
        if (program.values.size() != numValues)
        {
            std::fprintf (stderr, "A program read with %d values\n", (int) program.values.size());
            std::abort();
        }

    return 0;
}
