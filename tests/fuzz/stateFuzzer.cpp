// Feeds arbitrary bytes to setStateInformation, as a host does from a damaged or foreign project.
#include "FuzzSupport.h"

#include <climits>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    auto& processor = fuzzing::processor();
    processor.setStateInformation (data, (int) std::min (size, (std::size_t) INT_MAX));
    fuzzing::renderAndCheck (processor);
    return 0;
}
