#pragma once

#include "FuzzEntryPoints.h"
#include "processor/PluginProcessor.h"

namespace fuzzing
{
/** The one processor of the fuzzing run, prepared and with a play head: construction costs more than most inputs,
    so every input meets the processor the inputs before it left. Its documents folder lies in a fresh HOME. */
OstrelAudioProcessor& processor();

/** Plays a few small blocks with notes and aborts the run when a sample is not finite. */
void renderAndCheck (OstrelAudioProcessor& processor);
} // namespace fuzzing
