#pragma once

#include "processor/PluginProcessor.h"

#include <gtest/gtest.h>

namespace testing_helpers
{
/** The documents folder the processor uses (inside the test's temporary HOME). */
juce::File documentsFolder();

/** Sets a parameter by ID to a raw (unnormalised) value, as a host would. */
void setRaw (OstrelAudioProcessor& processor, const juce::String& paramID, float rawValue);

/** Polls until condition holds or timeoutMs passes, running the message loop meanwhile. */
bool waitFor (std::function<bool()> condition, int timeoutMs);
} // namespace testing_helpers
