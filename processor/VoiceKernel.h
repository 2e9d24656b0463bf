#pragma once

// The voice kernel, written once over eight-lane vectors and compiled once per instruction set (included only by
// VoiceKernelAvx2.cpp and VoiceKernelAvx512.cpp, each built with its own target flags). Each lane does exactly
// the operations of Voice::render, in the same order and precision, so every lane gives the bits the scalar code
// gives. Everything here has internal linkage and calls nothing of the plug-in's: code compiled for a wider
// instruction set must never stand in for a function the rest of the plug-in calls.

#include "VoiceLanes.h"

#include <immintrin.h>

#ifndef OSTREL_VOICE_KERNEL_NAME
#error "Define OSTREL_VOICE_KERNEL_NAME before including VoiceKernel.h"
#endif

namespace voice_lanes
{
namespace
{
    typedef float vf __attribute__ ((vector_size (32)));
    typedef int vi __attribute__ ((vector_size (32)));
    typedef double vd __attribute__ ((vector_size (64)));
    typedef long long vl __attribute__ ((vector_size (64)));

    constexpr float twoPi = 6.2831855f;
    constexpr float smallestNormal = 1.17549435e-38f;

    template <typename Vector, typename Scalar>
    inline Vector load (const Scalar* p)
    {
        Vector v;
        __builtin_memcpy (&v, p, sizeof (v));
        return v;
    }

    template <typename Vector, typename Scalar>
    inline void store (Scalar* p, Vector v)
    {
        __builtin_memcpy (p, &v, sizeof (v));
    }

    inline vf splat (float x) { return vf{ x, x, x, x, x, x, x, x }; }
    inline vi splat (int x) { return vi{ x, x, x, x, x, x, x, x }; }
    inline vd splat (double x) { return vd{ x, x, x, x, x, x, x, x }; }
    inline vl splat (long long x) { return vl{ x, x, x, x, x, x, x, x }; }

    inline vf select (vi mask, vf a, vf b) { return (vf) ((mask & (vi) a) | (~mask & (vi) b)); }
    inline vi select (vi mask, vi a, vi b) { return (mask & a) | (~mask & b); }
    inline vd select (vl mask, vd a, vd b) { return (vd) ((mask & (vl) a) | (~mask & (vl) b)); }

    inline vl widen (vi mask) { return __builtin_convertvector(mask, vl); }
    inline bool any (vi mask) { return _mm256_movemask_ps ((__m256) mask) != 0; }

    inline vi truncate (vf x) { return __builtin_convertvector(x, vi); }
    inline vf toFloat (vi x) { return __builtin_convertvector(x, vf); }
    inline vd toDouble (vf x) { return __builtin_convertvector(x, vd); }
    inline vf toFloat (vd x) { return __builtin_convertvector(x, vf); }

    inline vf gather (const float* base, vi index) { return (vf) _mm256_i32gather_ps (base, (__m256i) index, 4); }

    /** fmod (a, 2π) as the voices wrap a phase plus one step: one subtraction in [0, 4π), fmod elsewhere, where a
        result below 0 (from a NaN) restarts the cycle at 0. Only the lanes in relevant need to be right. */
    inline vf wrapPhase (vf a, vi relevant)
    {
        const vi inRange = (a >= splat (0.0f)) & (a < splat (2.0f * twoPi));
        vf wrapped = select (a >= splat (twoPi), a - splat (twoPi), a);

        if (any (relevant & ~inRange))
        {
            for (int lane = 0; lane < numLanes; ++lane)
            {
                if (inRange[lane] == 0)
                {
                    const float w = __builtin_fmodf (a[lane], twoPi);
                    wrapped[lane] = w >= 0.0f ? w : 0.0f;
                }
            }
        }

        return wrapped;
    }

    /** A grid coordinate limited to 0..511; NaN goes to 0. */
    inline vf clampToGrid (vf c)
    {
        return select (c > splat (0.0f), select (c < splat (511.0f), c, splat (511.0f)), splat (0.0f));
    }

    inline vf gridAt (const float* grid, vi index) { return gather (grid, index); }
} // namespace

void OSTREL_VOICE_KERNEL_NAME (
    State& state, const Controls& controls, const Setup& setup, int numSamples, float* sums, int* ticked)
{
    vf phase = load<vf> (state.phase);
    vf phaseStep = load<vf> (state.phaseStep);
    vf subPhase = load<vf> (state.subPhase);
    vf subPhaseStep = load<vf> (state.subPhaseStep);
    vf envLevel = load<vf> (state.filterEnvLevel);
    vf envTarget = load<vf> (state.filterEnvTarget);
    vf envCoef = load<vf> (state.filterEnvCoef);
    vf ampLevel = load<vf> (state.ampLevel);
    vi ampState = load<vi> (state.ampState);
    vi counter = load<vi> (state.sampleCounter);
    vf lfoSum = load<vf> (state.lfoSum);
    vf cutoff = load<vf> (state.cutoff);
    vd lastCutoff = load<vd> (state.lastCutoff);
    vd stage1 = load<vd> (state.stage1);
    vd stage2 = load<vd> (state.stage2);
    vd stage3 = load<vd> (state.stage3);
    vd stage4 = load<vd> (state.stage4);

    const vf oscillatorStep = load<vf> (controls.oscillatorStep);
    const vf subStep = load<vf> (controls.subStep);
    const vf subLevel = load<vf> (controls.subLevel);
    const vf tableGain = load<vf> (controls.tableGain);
    const vf filterSustain = load<vf> (controls.filterSustain);
    const vf filterDecayCoef = load<vf> (controls.filterDecayCoef);
    const vf cutoffHz = load<vf> (controls.cutoffHz);
    const vf attackStep = load<vf> (controls.attackStep);
    const vf decayStep = load<vf> (controls.decayStep);
    const vf sustain = load<vf> (controls.sustain);
    const vf releaseMultiplier = load<vf> (controls.releaseMultiplier);
    const vd resonance = load<vd> (controls.resonance);
    const vi filterType = load<vi> (controls.filterType);
    const vi tickAt = load<vi> (controls.tickAt);
    const vf tickedLfoSum = load<vf> (controls.tickedLfoSum);

    const vi laneTable = vi{ 0, 1, 2, 3, 4, 5, 6, 7 } * tableSize;
    const vi subOn = subLevel != splat (0.0f);
    const vi attackEnds = select (decayStep > splat (0.0f), splat (2), splat (3));

    // "HiFidel" line: the two rows and their blend depend on the row alone.
    const vf row = clampToGrid (load<vf> (controls.scanRow));
    const vi row0 = truncate (row);
    const vf rowBelow = toFloat (row0);
    const vi row1 = select (row > rowBelow, row0 + 1, row0) & splat (gridSize - 1);
    const vf rowFraction = row - rowBelow;

    // One control segment at most.
    if (numSamples > 32)
        numSamples = 32;

    vi tickedLanes = splat (0);
    alignas (64) float outputs[32 * numLanes];
    int done = 0;

    for (; done < numSamples; ++done)
    {
        const vi active = ampState != splat (0);
        if (!any (active))
            break;

        // Oscillator.
        const vf newPhase = wrapPhase (phase + phaseStep, active);
        vf oscillator;
        vf newSubPhase = subPhase;

        if (setup.oscillator == Oscillator::picture)
        {
            // 512 points over 511 steps; with the phase in [0, 2π) the position stays below 511.
            const vf x = newPhase * splat (511.0f) / splat (twoPi);
            const vi j = select (active, truncate (x), splat (0));
            const vf fraction = x - toFloat (j);
            const vi index = laneTable + j;
            const vf t0 = gather (setup.tables, index);
            const vf t1 = gather (setup.tables, index + 1);
            const vf value = t0 + fraction * (t1 - t0);

            const vi subRuns = active & subOn;
            vf sub = splat (0.0f);

            if (any (subRuns))
            {
                newSubPhase = wrapPhase (subPhase + subPhaseStep, subRuns);
                const vi u = select (subRuns, truncate (newSubPhase * splat (512.0f) / splat (twoPi)), splat (0));
                const vf shape = setup.shapeTable != nullptr ? gather (setup.shapeTable, u) : splat (0.0f);
                sub = select (subRuns, shape * subLevel * splat (0.0625f), splat (0.0f));
                newSubPhase = select (subRuns, newSubPhase, subPhase);
                subPhaseStep = select (subRuns, subStep, subPhaseStep);
            }

            oscillator = tableGain * value + sub;
        }
        else if (setup.oscillator == Oscillator::gridLine)
        {
            const vf u = newPhase * splat (512.0f) / splat (twoPi);
            const vi u0 = select (active, truncate (u), splat (0));
            const vi u1 = (u0 + 1) & splat (gridSize - 1);
            const vf fu = u - toFloat (u0);
            const vi column0 = u0 * gridSize, column1 = u1 * gridSize;

            const vf a0 = gridAt (setup.grid, column0 + row0);
            const vf along0 = a0 + fu * (gridAt (setup.grid, column1 + row0) - a0);
            const vf a1 = gridAt (setup.grid, column0 + row1);
            const vf along1 = a1 + fu * (gridAt (setup.grid, column1 + row1) - a1);
            oscillator = splat (0.2f) * (along0 + rowFraction * (along1 - along0));
        }
        else
        {
            const vf radius = load<vf> (controls.radius);
            vf cosine = splat (0.0f), sine = splat (0.0f);

            for (int lane = 0; lane < numLanes; ++lane)
            {
                if (active[lane] != 0)
                {
                    cosine[lane] = __builtin_cosf (newPhase[lane]);
                    sine[lane] = __builtin_sinf (newPhase[lane]);
                }
            }

            const vf px = clampToGrid (load<vf> (controls.centreX) + radius * cosine);
            const vf py = clampToGrid (load<vf> (controls.centreY) + radius * sine);
            const vi i = truncate (px), j = truncate (py);
            const vi i1 = (i + 1) & splat (gridSize - 1), j1 = (j + 1) & splat (gridSize - 1);
            const vf fx = px - toFloat (i), fy = py - toFloat (j);
            const vf one = splat (1.0f);

            oscillator = splat (0.2f)
                         * (gridAt (setup.grid, i * gridSize + j) * (one - fx) * (one - fy)
                            + gridAt (setup.grid, i1 * gridSize + j) * fx * (one - fy)
                            + gridAt (setup.grid, i * gridSize + j1) * (one - fx) * fy
                            + gridAt (setup.grid, i1 * gridSize + j1) * fx * fy);
        }

        phase = select (active, newPhase, phase);
        phaseStep = select (active, oscillatorStep, phaseStep);
        subPhase = newSubPhase;

        // Filter envelope; a long release stops at the smallest normal float.
        vf newEnvLevel = envTarget + (envLevel - envTarget) * envCoef;
        newEnvLevel =
            select ((vf) ((vi) newEnvLevel & splat (0x7fffffff)) < splat (smallestNormal), splat (0.0f), newEnvLevel);
        const vi decays = active & (newEnvLevel + envTarget > splat (3.0f));
        envLevel = select (active, newEnvLevel, envLevel);
        envTarget = select (decays, filterSustain, envTarget);
        envCoef = select (decays, filterDecayCoef, envCoef);

        // The LFO tick, worked out before the segment.
        const vi tick = active & (tickAt == splat (done));
        tickedLanes |= tick;
        counter = select (active, (counter + 1) & splat (0x7fffffff), counter);
        lfoSum = select (tick, tickedLfoSum, lfoSum);

        // Cut-off and filter coefficient.
        vf newCutoff = (lfoSum + splat (1.0f)) * envLevel * cutoffHz / splat (22000.0f);
        newCutoff = select (newCutoff < splat (0.001f),
                            splat (0.001f),
                            select (splat (1.0f) < newCutoff, splat (1.0f), newCutoff));
        cutoff = select (active, newCutoff, cutoff);
        lastCutoff = select (widen (active & (newCutoff > splat (0.001f))), toDouble (newCutoff), lastCutoff);

        const vd f = select (lastCutoff < splat (0.001),
                             splat (0.001),
                             select (splat (0.99) < lastCutoff, splat (0.99), lastCutoff));
        const vd feedback = resonance + resonance / (splat (1.0) - f);

        // Four one-pole stages.
        const vd s = toDouble (oscillator);
        const vd new1 = stage1 + f * ((s - stage1) + feedback * (stage1 - stage2));
        const vd new2 = stage2 + f * (new1 - stage2);
        const vd new3 = stage3 + f * (new2 - stage3);
        const vd new4 = stage4 + f * (new3 - stage4);
        const vl activeWide = widen (active);
        stage1 = select (activeWide, new1, stage1);
        stage2 = select (activeWide, new2, stage2);
        stage3 = select (activeWide, new3, stage3);
        stage4 = select (activeWide, new4, stage4);

        const vl type = __builtin_convertvector(filterType, vl);
        const vd filtered =
            select (type == splat (0ll),
                    new4,
                    select (type == splat (1ll), s - new4, select (type == splat (2ll), new1 - new4, splat (0.0))));

        // Amplitude envelope.
        const vf attackLevel = ampLevel + attackStep;
        const vi attackDone = attackLevel >= splat (1.0f);
        const vf decayLevel = ampLevel - decayStep;
        const vi decayDone = sustain >= decayLevel;
        const vf releaseLevel = ampLevel * releaseMultiplier;
        const vi releaseDone = releaseLevel <= splat (0.001f);

        const vi attacking = ampState == splat (1), decaying = ampState == splat (2);
        const vi sustaining = ampState == splat (3), releasing = ampState == splat (4);

        vf newAmpLevel = ampLevel;
        newAmpLevel = select (attacking, select (attackDone, splat (1.0f), attackLevel), newAmpLevel);
        newAmpLevel = select (decaying, select (decayDone, sustain, decayLevel), newAmpLevel);
        newAmpLevel = select (sustaining, sustain, newAmpLevel);
        newAmpLevel = select (releasing, select (releaseDone, splat (0.0f), releaseLevel), newAmpLevel);

        vi newAmpState = ampState;
        newAmpState = select (attacking & attackDone, attackEnds, newAmpState);
        newAmpState = select (decaying & decayDone, splat (3), newAmpState);
        newAmpState = select (releasing & releaseDone, splat (0), newAmpState);

        ampLevel = select (active, newAmpLevel, ampLevel);
        ampState = select (active, newAmpState, ampState);

        const vf out = select (active, toFloat (filtered) * newAmpLevel, splat (0.0f));
        store (outputs + done * numLanes, out);
    }

    // Each sample's sum over the voices, in voice order; idle lanes add +0, which changes no sum.
    for (int i = 0; i < done; ++i)
    {
        const float* lanes = outputs + i * numLanes;
        float sum = 0.0f;

        for (int lane = 0; lane < numLanes; ++lane)
            sum += lanes[lane];

        sums[i] = sum;
    }

    for (int i = done; i < numSamples; ++i)
        sums[i] = 0.0f;

    store (state.phase, phase);
    store (state.phaseStep, phaseStep);
    store (state.subPhase, subPhase);
    store (state.subPhaseStep, subPhaseStep);
    store (state.filterEnvLevel, envLevel);
    store (state.filterEnvTarget, envTarget);
    store (state.filterEnvCoef, envCoef);
    store (state.ampLevel, ampLevel);
    store (state.ampState, ampState);
    store (state.sampleCounter, counter);
    store (state.lfoSum, lfoSum);
    store (state.cutoff, cutoff);
    store (state.lastCutoff, lastCutoff);
    store (state.stage1, stage1);
    store (state.stage2, stage2);
    store (state.stage3, stage3);
    store (state.stage4, stage4);
    store (ticked, tickedLanes);
}
} // namespace voice_lanes
