#pragma once

// What tests, fuzz targets and benchmarks do to a processor the way a host or the image thread would.

#include "processor/PluginProcessor.h"

#include <functional>

namespace testing_helpers
{
/** The documents folder the processor uses (inside the program's temporary HOME). */
juce::File documentsFolder();

/** Sets a parameter by ID to a raw (unnormalised) value, as a host would. */
void setRaw (OstrelAudioProcessor& processor, const juce::String& paramID, float rawValue);

/** Polls until condition holds or timeoutMs passes, running the message loop meanwhile. */
bool waitFor (std::function<bool()> condition, int timeoutMs);

/** Runs work on a thread of its own (as a host's audio callback or restoring thread would) and waits for it, while
    the calling thread, the message thread in tests, is kept waiting too. */
void onOwnThread (const std::function<void()>& work);

/** Fills the brightness grid with a pattern, as the image thread would after a picture is loaded; with no picture
    loaded the image thread leaves the grid alone. */
void fillGridWithPattern (OstrelAudioProcessor& processor);
} // namespace testing_helpers
