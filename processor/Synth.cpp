#include "Synth.h"

float WaveTableList::sine (int) const noexcept { return 0.0f; }
float WaveTableList::saw (int) const noexcept { return 0.0f; }
float WaveTableList::triangle (int) const noexcept { return 0.0f; }
float WaveTableList::square (int) const noexcept { return 0.0f; }
float WaveTableList::noise() noexcept { return 0.0f; }

Voice::Voice (IProcessor& o, WaveTableList* list) : owner (o), waveTables (list) {}

void Voice::prepareToPlay (int newSampleRate) { sampleRate = newSampleRate; }

float Voice::render() noexcept { return 0.0f; }

void Voice::updateParameters() noexcept {}

void Voice::release() noexcept {}

void Voice::resetVoice() noexcept {}

Synth::Synth (IProcessor& o) : owner (o)
{
    voices.reserve (8);
    for (int i = 0; i < 8; ++i)
        voices.emplace_back (owner, &waveTables);
}

void Synth::render (float**, int) noexcept {}

void Synth::updateParameters() noexcept {}

void Synth::noteOff (int) noexcept {}
