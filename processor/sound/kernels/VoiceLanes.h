#pragma once

// The eight voices side by side, one lane a voice, for the vector kernels. Plain data only: the kernels are
// compiled for other instruction sets than the rest of the plug-in, so nothing they include may carry code
// (an inline function compiled there could be picked by the linker for every caller).

namespace voice_lanes
{
constexpr int numLanes = 8;
constexpr int tableSize = 512;
constexpr int gridSize = 512;

/** What a kernel advances sample by sample. */
struct State
{
    alignas (64) float phase[numLanes];
    alignas (64) float phaseStep[numLanes];
    alignas (64) float subPhase[numLanes];
    alignas (64) float subPhaseStep[numLanes];
    alignas (64) float filterEnvLevel[numLanes];
    alignas (64) float filterEnvTarget[numLanes];
    alignas (64) float filterEnvCoef[numLanes];
    alignas (64) float ampLevel[numLanes];
    alignas (64) int ampState[numLanes];
    alignas (64) int sampleCounter[numLanes];
    alignas (64) float lfoSum[numLanes];
    alignas (64) float cutoff[numLanes];
    alignas (64) double lastCutoff[numLanes];
    alignas (64) double stage1[numLanes];
    alignas (64) double stage2[numLanes];
    alignas (64) double stage3[numLanes];
    alignas (64) double stage4[numLanes];
};

/** What stays fixed between two control steps. */
struct Controls
{
    alignas (64) float oscillatorStep[numLanes]; // the picture step, or the grid step in "HiFidel" mode
    alignas (64) float subStep[numLanes];
    alignas (64) float subLevel[numLanes];
    alignas (64) float tableGain[numLanes]; // velocityGain x 0.2
    alignas (64) float filterSustain[numLanes];
    alignas (64) float filterDecayCoef[numLanes];
    alignas (64) float cutoffHz[numLanes];
    alignas (64) float attackStep[numLanes];
    alignas (64) float decayStep[numLanes];
    alignas (64) float sustain[numLanes];
    alignas (64) float releaseMultiplier[numLanes];
    alignas (64) double resonance[numLanes];
    alignas (64) int filterType[numLanes];

    // The segment's LFO tick: the sample it falls on (or beyond the segment) and the sum it gives.
    alignas (64) int tickAt[numLanes];
    alignas (64) float tickedLfoSum[numLanes];

    // "HiFidel" geometry: the clamped row (line) or radius and truncated centre (circle).
    alignas (64) float scanRow[numLanes];
    alignas (64) float radius[numLanes];
    alignas (64) float centreX[numLanes];
    alignas (64) float centreY[numLanes];
};

enum class Oscillator
{
    picture,
    gridLine,
    gridCircle
};

/** A second-order filter's coefficients and state, run as the framework's filter runs it. */
struct OutputStage
{
    float b0, b1, b2, a1, a2;
    float lv1, lv2;
};

/** The stretch's fixed inputs, and the work the kernel does alongside: the output filter over the previous
    segment's sums. */
struct Setup
{
    Oscillator oscillator = Oscillator::picture;
    const float* tables = nullptr;     // numLanes tables of tableSize samples, one after the other
    const float* shapeTable = nullptr; // the second oscillator's shape (tableSize points); nullptr gives 0
    const float* grid = nullptr;       // gridSize x gridSize brightness values

    OutputStage* outputStage = nullptr; // filters stageCount samples of stageInput into stageOutput
    const float* stageInput = nullptr;
    float* stageOutput = nullptr;
    int stageCount = 0;
};

/** Renders numSamples (at most 32, one control segment) of every active lane and writes each sample's sum over
    the lanes, in lane order, to sums. Lanes whose tick fell inside the segment while they were active get ticked
    set to 1. */
using Kernel = void (*) (State&, const Controls&, const Setup&, int numSamples, float* sums, int* ticked);

void renderAvx2 (State&, const Controls&, const Setup&, int numSamples, float* sums, int* ticked);
void renderAvx512 (State&, const Controls&, const Setup&, int numSamples, float* sums, int* ticked);
} // namespace voice_lanes
