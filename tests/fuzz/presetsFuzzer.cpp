// Feeds arbitrary text to the presets-file reader, then applies the first and the last preset it read, as the
// host's or the presets bar's program change does.
#include "FuzzSupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    auto& processor = fuzzing::processor();
    // Decoded as reading the file decodes it (byte-order marks, UTF-16 or UTF-8).
    auto programs = processor.presetsFileFormat.parse (
        juce::String::createStringFromData (data, (int) std::min (size, (std::size_t) 1 << 24)));
    const auto numPrograms = (int) programs.size();

    {
        const juce::ScopedLock lock (processor.programsLock);
        processor.programs = std::move (programs);
    }

    if (numPrograms > 0)
    {
        processor.setCurrentProgram (1);
        processor.setCurrentProgram (numPrograms);
    }

    fuzzing::renderAndCheck (processor);
    return 0;
}
