// Feeds arbitrary bytes to the reading and checking of a state, the part of setStateInformation before anything is
// restored, and checks what it lets through: every known parameter's value finite and in its range.
#include "FuzzSupport.h"

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    const auto& processor = fuzzing::processor();
    const auto xml = processor.readCheckedState (data, (int) std::min (size, (std::size_t) INT_MAX));

    if (xml == nullptr)
        return 0;

    for (auto* child : xml->getChildIterator())
    {
        auto* parameter = processor.valueTreeState.getParameter (child->getStringAttribute ("id"));

        if (parameter == nullptr || !child->hasAttribute ("value"))
            continue;

        const auto value = (float) child->getDoubleAttribute ("value");
        const auto& range = parameter->getNormalisableRange();

        if (!std::isfinite (value) || value < range.start || value > range.end)
        {
            std::fprintf (stderr,
                          "Parameter %s passed the check as %g\n",
                          child->getStringAttribute ("id").toRawUTF8(),
                          (double) value);
            std::abort();
        }
    }

    // Made into the tree that would replace the parameter state, as restoring does.
    juce::ignoreUnused (juce::ValueTree::fromXml (*xml));
    return 0;
}
