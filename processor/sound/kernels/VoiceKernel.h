#pragma once

// The voice kernel, written once over eight-lane vectors and compiled once per instruction set (included only by
// VoiceKernelAvx2.cpp and VoiceKernelAvx512.cpp, each built with its own target flags). Each lane does exactly
// the operations of Voice::render, in the same order and precision, so every lane gives the bits the scalar code
// gives. Everything here has internal linkage and calls nothing of the plug-in's: code compiled for a wider
// instruction set must never stand in for a function the rest of the plug-in calls.

#include "VoiceLanes.h"
#include "processor/sound/SoundConstants.h"

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
    typedef double vd4 __attribute__ ((vector_size (32)));
    typedef long long vl4 __attribute__ ((vector_size (32)));
    typedef float vf4 __attribute__ ((vector_size (16)));
    typedef int vi4 __attribute__ ((vector_size (16)));

    /** Eight doubles as two halves of four: 256-bit double arithmetic has the shorter latency on the CPUs that have
        AVX-512, and the filter is one long chain of it. */
    struct vd
    {
        vd4 lo, hi;
    };

    struct vl
    {
        vl4 lo, hi;
    };

    inline vd operator+ (vd a, vd b) { return { a.lo + b.lo, a.hi + b.hi }; }
    inline vd operator- (vd a, vd b) { return { a.lo - b.lo, a.hi - b.hi }; }
    inline vd operator* (vd a, vd b) { return { a.lo * b.lo, a.hi * b.hi }; }
    inline vd operator/ (vd a, vd b) { return { a.lo / b.lo, a.hi / b.hi }; }
    inline vl operator<(vd a, vd b) { return { a.lo < b.lo, a.hi < b.hi }; }
    inline vl operator!= (vd a, vd b) { return { a.lo != b.lo, a.hi != b.hi }; }
    inline vl operator& (vl a, vl b) { return { a.lo & b.lo, a.hi & b.hi }; }
    inline vl operator| (vl a, vl b) { return { a.lo | b.lo, a.hi | b.hi }; }

    using sound::twoPi;
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
    inline vd splat (double x) { return { vd4{ x, x, x, x }, vd4{ x, x, x, x } }; }

    inline vf select (vi mask, vf a, vf b) { return (vf) ((mask & (vi) a) | (~mask & (vi) b)); }
    inline vi select (vi mask, vi a, vi b) { return (mask & a) | (~mask & b); }

    inline vd4 select (vl4 mask, vd4 a, vd4 b) { return (vd4) ((mask & (vl4) a) | (~mask & (vl4) b)); }
    inline vd select (vl mask, vd a, vd b) { return { select (mask.lo, a.lo, b.lo), select (mask.hi, a.hi, b.hi) }; }

    /** A lane's new value where it runs. In a steady segment every lane runs (the idle lanes are put back once at
        its end), so the new value is taken whole. */
    template <bool steady, typename Vector, typename Mask>
    inline void takeWhere (Mask runs, Vector& value, Vector newValue)
    {
        if constexpr (steady)
            value = newValue;
        else
            value = select (runs, newValue, value);
    }

    inline vl widen (vi mask)
    {
        return { (vl4) _mm256_cvtepi32_epi64 (_mm256_castsi256_si128 ((__m256i) mask)),
                 (vl4) _mm256_cvtepi32_epi64 (_mm256_extracti128_si256 ((__m256i) mask, 1)) };
    }

    inline bool any (vi mask) { return _mm256_movemask_ps ((__m256) mask) != 0; }
    inline bool any (vl mask) { return _mm256_movemask_pd ((__m256d) (mask.lo | mask.hi)) != 0; }
    inline bool all (vi mask) { return _mm256_movemask_ps ((__m256) mask) == 0xff; }

    inline vi truncate (vf x) { return __builtin_convertvector(x, vi); }
    inline vf toFloat (vi x) { return __builtin_convertvector(x, vf); }

    inline vd toDouble (vf x)
    {
        return { (vd4) _mm256_cvtps_pd (_mm256_castps256_ps128 ((__m256) x)),
                 (vd4) _mm256_cvtps_pd (_mm256_extractf128_ps ((__m256) x, 1)) };
    }

    inline vf toFloat (vd x)
    {
        return (vf) _mm256_set_m128 (_mm256_cvtpd_ps ((__m256d) x.hi), _mm256_cvtpd_ps ((__m256d) x.lo));
    }

    inline vf gather (const float* base, vi index) { return (vf) _mm256_i32gather_ps (base, (__m256i) index, 4); }

    /** base[index] and base[index + 1] of every lane, read as one pair. */
    inline void gatherPairs (const float* base, vi index, vf& first, vf& second)
    {
        const auto* pairs = reinterpret_cast<const double*> (base);
        const vf lo = (vf) _mm256_i32gather_pd (pairs, _mm256_castsi256_si128 ((__m256i) index), 4);
        const vf hi = (vf) _mm256_i32gather_pd (pairs, _mm256_extracti128_si256 ((__m256i) index, 1), 4);
        first = __builtin_shufflevector (lo, hi, 0, 2, 4, 6, 8, 10, 12, 14);
        second = __builtin_shufflevector (lo, hi, 1, 3, 5, 7, 9, 11, 13, 15);
    }

    /** fmod (a, 2π) as the voices wrap a phase plus one step: one subtraction in [0, 4π), fmod elsewhere, where a
        result below 0 (from a NaN) restarts the cycle at 0. Only the lanes in relevant need to be right; with
        inRangeKnown the caller has made sure that a is in [0, 4π) in every relevant lane. */
    template <bool inRangeKnown>
    inline vf wrapPhase (vf a, vi relevant)
    {
#ifdef __AVX512VL__
        // One subtraction under the comparison's mask.
        vf wrapped = (vf) _mm256_mask_sub_ps ((__m256) a,
                                              _mm256_cmp_ps_mask ((__m256) a, _mm256_set1_ps (twoPi), _CMP_GE_OQ),
                                              (__m256) a,
                                              _mm256_set1_ps (twoPi));
#else
        vf wrapped = select (a >= splat (twoPi), a - splat (twoPi), a);
#endif

        if constexpr (!inRangeKnown)
        {
            const vi inRange = (a >= splat (0.0f)) & (a < splat (2.0f * twoPi));

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
        }

        return wrapped;
    }

    /** A grid coordinate limited to 0..511; NaN goes to 0. */
    inline vf clampToGrid (vf c)
    {
        return select (c > splat (0.0f), select (c < splat (511.0f), c, splat (511.0f)), splat (0.0f));
    }

    /** The filter coefficient of a last cut-off: limited to its range, in double. */
    inline vd coefficientOf (vd lastCutoff)
    {
        return select (lastCutoff < splat (sound::lowestFilterCoefficient),
                       splat (sound::lowestFilterCoefficient),
                       select (splat (sound::highestFilterCoefficient) < lastCutoff,
                               splat (sound::highestFilterCoefficient),
                               lastCutoff));
    }

    inline vf gridAt (const float* grid, vi index) { return gather (grid, index & splat (gridSize * gridSize - 1)); }

    /** True when x is in [0, 2π) in every lane of mask. */
    inline bool phaseRange (vf x, vi mask) { return !any (mask & ~((x >= splat (0.0f)) & (x < splat (twoPi)))); }

    /** filtered by type: 0 low-pass, 1 high-pass, 2 band-pass, anything else 0. filterMode 0..2 says every lane has
        that type; 3 that they may differ. */
    template <int filterMode>
    inline vd filterOutput (vd s, vd stage1, vd stage4, const vl (&typeIs)[3])
    {
        if constexpr (filterMode == 0)
            return stage4;
        else if constexpr (filterMode == 1)
            return s - stage4;
        else if constexpr (filterMode == 2)
            return stage1 - stage4;
        else
            return select (typeIs[0],
                           stage4,
                           select (typeIs[1], s - stage4, select (typeIs[2], stage1 - stage4, splat (0.0))));
    }

    /** Sums[i] = the lanes of sample i added in lane order, from 0. */
    inline void sumLanes (const float* outputs, int numSamples, float* sums)
    {
        for (int first = 0; first < numSamples; first += 8)
        {
            vf r[8];
            for (int i = 0; i < 8; ++i)
                r[i] = load<vf> (outputs + (first + i) * numLanes);

            vf u[8];
            for (int half = 0; half < 2; ++half)
            {
                const vf* rows = r + 4 * half;
                const vf t0 = __builtin_shufflevector (rows[0], rows[1], 0, 8, 1, 9, 4, 12, 5, 13);
                const vf t1 = __builtin_shufflevector (rows[0], rows[1], 2, 10, 3, 11, 6, 14, 7, 15);
                const vf t2 = __builtin_shufflevector (rows[2], rows[3], 0, 8, 1, 9, 4, 12, 5, 13);
                const vf t3 = __builtin_shufflevector (rows[2], rows[3], 2, 10, 3, 11, 6, 14, 7, 15);
                u[4 * half + 0] = __builtin_shufflevector (t0, t2, 0, 1, 8, 9, 4, 5, 12, 13);
                u[4 * half + 1] = __builtin_shufflevector (t0, t2, 2, 3, 10, 11, 6, 7, 14, 15);
                u[4 * half + 2] = __builtin_shufflevector (t1, t3, 0, 1, 8, 9, 4, 5, 12, 13);
                u[4 * half + 3] = __builtin_shufflevector (t1, t3, 2, 3, 10, 11, 6, 7, 14, 15);
            }

            // Column v holds lane v of the eight samples.
            vf sum = splat (0.0f);
            for (int v = 0; v < 4; ++v)
                sum += __builtin_shufflevector (u[v], u[4 + v], 0, 1, 2, 3, 8, 9, 10, 11);
            for (int v = 0; v < 4; ++v)
                sum += __builtin_shufflevector (u[v], u[4 + v], 4, 5, 6, 7, 12, 13, 14, 15);

            const int count = numSamples - first < 8 ? numSamples - first : 8;
            if (count == 8)
                store (sums + first, sum);
            else
                for (int i = 0; i < count; ++i)
                    sums[first + i] = sum[i];
        }
    }

    /** The amplitude envelope over a segment: which lanes sound at each sample and at what gain, and the level and
        stage each lane ends with. done is the number of samples before every lane fell silent. */
    struct AmpPass
    {
        alignas (64) vi activeAt[32];
        alignas (64) vf gainAt[32];
        vf level;
        vi state;
        int done;
    };

    /** The amplitude envelope of every lane, sample by sample, in Voice::render's order. */
    inline void runAmpPass (const State& state, const Controls& controls, int numSamples, AmpPass& pass)
    {
        vf ampLevel = load<vf> (state.ampLevel);
        vi ampState = load<vi> (state.ampState);
        const vf attackStep = load<vf> (controls.attackStep);
        const vf decayStep = load<vf> (controls.decayStep);
        const vf sustain = load<vf> (controls.sustain);
        const vf releaseMultiplier = load<vf> (controls.releaseMultiplier);
        const vi attackEnds = select (decayStep > splat (0.0f), splat (AmpStage::decay), splat (AmpStage::sustain));

        int done = 0;

        for (; done < numSamples; ++done)
        {
            const vi active = ampState != splat (AmpStage::idle);
            if (!any (active))
                break;

            const vf attackLevel = ampLevel + attackStep;
            const vi attackDone = attackLevel >= splat (1.0f);
            const vf decayLevel = ampLevel - decayStep;
            const vi decayDone = sustain >= decayLevel;
            const vf releaseLevel = ampLevel * releaseMultiplier;
            const vi releaseDone = releaseLevel <= splat (sound::releaseEndLevel);

            const vi attacking = ampState == splat (AmpStage::attack), decaying = ampState == splat (AmpStage::decay);
            const vi sustaining = ampState == splat (AmpStage::sustain);
            const vi releasing = ampState == splat (AmpStage::release);

            vf newAmpLevel = ampLevel;
            newAmpLevel = select (attacking, select (attackDone, splat (1.0f), attackLevel), newAmpLevel);
            newAmpLevel = select (decaying, select (decayDone, sustain, decayLevel), newAmpLevel);
            newAmpLevel = select (sustaining, sustain, newAmpLevel);
            newAmpLevel = select (releasing, select (releaseDone, splat (0.0f), releaseLevel), newAmpLevel);

            vi newAmpState = ampState;
            newAmpState = select (attacking & attackDone, attackEnds, newAmpState);
            newAmpState = select (decaying & decayDone, splat (AmpStage::sustain), newAmpState);
            newAmpState = select (releasing & releaseDone, splat (AmpStage::idle), newAmpState);

            ampLevel = select (active, newAmpLevel, ampLevel);
            ampState = select (active, newAmpState, ampState);
            pass.activeAt[done] = active;
            pass.gainAt[done] = newAmpLevel;
        }

        pass.level = ampLevel;
        pass.state = ampState;
        pass.done = done;
    }

    /** The amplitude envelope of a segment in which every lane is idle or sustaining. */
    inline void holdAmpPass (const State& state, const Controls& controls, int numSamples, AmpPass& pass)
    {
        const vi ampState = load<vi> (state.ampState);
        const vi active = ampState != splat (AmpStage::idle);
        const vf sustain = load<vf> (controls.sustain);

        for (int k = 0; k < numSamples; ++k)
        {
            pass.activeAt[k] = active;
            pass.gainAt[k] = sustain;
        }

        pass.level = select (active, sustain, load<vf> (state.ampLevel));
        pass.state = ampState;
        pass.done = numSamples;
    }

    /** The kernel for one oscillator and one kind of segment, given its amplitude envelope. In a steady segment no
        lane changes its envelope stage and every phase and step is in [0, 2π): the idle lanes may compute alongside
        (their results are dropped at the end) and no phase needs more than one subtraction to wrap. */
    template <Oscillator oscillatorKind, bool steady, int filterMode>
    int renderSegment (State& state,
                       const Controls& controls,
                       const Setup& setup,
                       AmpPass& amp,
                       bool levelsMove,
                       float* outputs,
                       int* ticked)
    {
        vf phase = load<vf> (state.phase);
        vf phaseStep = load<vf> (state.phaseStep);
        vf subPhase = load<vf> (state.subPhase);
        vf subPhaseStep = load<vf> (state.subPhaseStep);
        vf envLevel = load<vf> (state.filterEnvLevel);
        vf envTarget = load<vf> (state.filterEnvTarget);
        vf envCoef = load<vf> (state.filterEnvCoef);
        const vi ampState = load<vi> (state.ampState);
        vi counter = load<vi> (state.sampleCounter);
        vf lfoSum = load<vf> (state.lfoSum);
        vf cutoff = load<vf> (state.cutoff);
        vd lastCutoff = { load<vd4> (state.lastCutoff), load<vd4> (state.lastCutoff + 4) };
        vd stage1 = { load<vd4> (state.stage1), load<vd4> (state.stage1 + 4) };
        vd stage2 = { load<vd4> (state.stage2), load<vd4> (state.stage2 + 4) };
        vd stage3 = { load<vd4> (state.stage3), load<vd4> (state.stage3 + 4) };
        vd stage4 = { load<vd4> (state.stage4), load<vd4> (state.stage4 + 4) };

        const vf oscillatorStep = load<vf> (controls.oscillatorStep);
        const vf subStep = load<vf> (controls.subStep);
        const vf subLevel = load<vf> (controls.subLevel);
        const vf tableGain = load<vf> (controls.tableGain);
        const vf filterSustain = load<vf> (controls.filterSustain);
        const vf filterDecayCoef = load<vf> (controls.filterDecayCoef);
        const vf cutoffHz = load<vf> (controls.cutoffHz);
        const vd resonance = { load<vd4> (controls.resonance), load<vd4> (controls.resonance + 4) };
        const vi filterType = load<vi> (controls.filterType);
        const vi tickAt = load<vi> (controls.tickAt);
        const vf tickedLfoSum = load<vf> (controls.tickedLfoSum);

        const vi laneTable = vi{ 0, 1, 2, 3, 4, 5, 6, 7 } * tableSize;
        const vi subOn = subLevel != splat (0.0f);
        const vl typeIs[3] = { widen (filterType == splat (FilterType::lowPass)),
                               widen (filterType == splat (FilterType::highPass)),
                               widen (filterType == splat (FilterType::bandPass)) };

        // "HiFidel" line: the two rows and their blend depend on the row alone.
        const vf row = clampToGrid (load<vf> (controls.scanRow));
        const vi row0 = truncate (row);
        const vf rowBelow = toFloat (row0);
        const vi row1 = select (row > rowBelow, row0 + 1, row0) & splat (gridSize - 1);
        const vf rowFraction = row - rowBelow;
        const vf radius = load<vf> (controls.radius);
        const vf centreX = load<vf> (controls.centreX), centreY = load<vf> (controls.centreY);

        const vi activeAtStart = ampState != splat (AmpStage::idle);
        const vi subRunsAtStart = activeAtStart & subOn;
        const bool anySub = oscillatorKind == Oscillator::picture && any (subRunsAtStart);

        // Four passes over the segment, each lane's operations in their order. The amplitude envelope decides which
        // voices sound; oscillator and cut-off follow from it, the filter from both. Apart, each pass carries only
        // its own short chains from sample to sample, so the CPU can overlap many samples of it.
        const vi* const activeAt = amp.activeAt;
        vf* const gainAt = amp.gainAt;

        // Levels that move in a steady segment: each lane's amplitude envelope in the stage it starts the segment in,
        // worked out as the samples go, so that its chain runs beside the others. Should a stage end within the
        // segment after all, the segment is worked out again as one in which stages change.
        vf level = load<vf> (state.ampLevel);
        vi stageEnds = splat (0);
        const vi attacking = ampState == splat (AmpStage::attack), decaying = ampState == splat (AmpStage::decay);
        const vi sustaining = ampState == splat (AmpStage::sustain), releasing = ampState == splat (AmpStage::release);
        const vf attackStep = load<vf> (controls.attackStep), decayStep = load<vf> (controls.decayStep);
        const vf sustain = load<vf> (controls.sustain), releaseMultiplier = load<vf> (controls.releaseMultiplier);

        const auto levelPass = [&] (int k)
        {
            const vf attackLevel = level + attackStep;
            const vf decayLevel = level - decayStep;
            const vf releaseLevel = level * releaseMultiplier;
            stageEnds |= (attacking & (attackLevel >= splat (1.0f))) | (decaying & (sustain >= decayLevel))
                         | (releasing & (releaseLevel <= splat (sound::releaseEndLevel)));

            vf newLevel = level;
            newLevel = select (attacking, attackLevel, newLevel);
            newLevel = select (decaying, decayLevel, newLevel);
            newLevel = select (sustaining, sustain, newLevel);
            newLevel = select (releasing, releaseLevel, newLevel);
            level = select (activeAt[k], newLevel, level);
            gainAt[k] = newLevel;
        };
        alignas (64) vf oscillatorAt[32];
        alignas (64) vd coefficientAt[32];
        alignas (64) vd feedbackAt[32];

        const int done = amp.done;

        // Oscillator.
        const auto oscillatorPass = [&] (int k)
        {
            const vi active = activeAt[k];
            const vf newPhase = wrapPhase<steady> (phase + phaseStep, active);
            vf oscillator;

            if constexpr (oscillatorKind == Oscillator::picture)
            {
                // 512 points over 511 steps; with the phase in [0, 2π) the position stays below 511.
                const vf x = newPhase * splat (511.0f) / splat (twoPi);
                const vi j = truncate (x) & splat (tableSize - 1);
                const vf fraction = x - toFloat (j);
                vf t0, t1;
                gatherPairs (setup.tables, laneTable + j, t0, t1);
                const vf value = t0 + fraction * (t1 - t0);

                vf sub = splat (0.0f);

                if (anySub)
                {
                    const vi subRuns = steady ? subRunsAtStart : active & subOn;
                    const vf newSubPhase = wrapPhase<steady> (subPhase + subPhaseStep, subRuns);
                    const vi u = truncate (newSubPhase * splat (512.0f) / splat (twoPi)) & splat (tableSize - 1);
                    const vf shape = setup.shapeTable != nullptr ? gather (setup.shapeTable, u) : splat (0.0f);
                    sub = select (subRuns, shape * subLevel * splat (0.0625f), splat (0.0f));

                    takeWhere<steady> (subRuns, subPhase, newSubPhase);
                    takeWhere<steady> (subRuns, subPhaseStep, subStep);
                }

                oscillator = tableGain * value + sub;
            }
            else if constexpr (oscillatorKind == Oscillator::gridLine)
            {
                const vf u = newPhase * splat (512.0f) / splat (twoPi);
                const vi u0 = truncate (u) & splat (gridSize - 1);
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
                vf cosine = splat (0.0f), sine = splat (0.0f);

                for (int lane = 0; lane < numLanes; ++lane)
                {
                    if (active[lane] != 0)
                    {
                        cosine[lane] = __builtin_cosf (newPhase[lane]);
                        sine[lane] = __builtin_sinf (newPhase[lane]);
                    }
                }

                const vf px = clampToGrid (centreX + radius * cosine);
                const vf py = clampToGrid (centreY + radius * sine);
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

            takeWhere<steady> (active, phase, newPhase);
            takeWhere<steady> (active, phaseStep, oscillatorStep);

            oscillatorAt[k] = oscillator;
        };

        // Filter envelope, the LFO tick worked out before the segment, cut-off and filter coefficient.
        vd lastF = splat (__builtin_nan (""));
        vd feedback = splat (0.0);
        vi tickedLanes = splat (0);

        const auto cutoffPass = [&] (int k)
        {
            const vi active = activeAt[k];

            // A long release stops at the smallest normal float.
            vf newEnvLevel = envTarget + (envLevel - envTarget) * envCoef;
            newEnvLevel = select ((vf) ((vi) newEnvLevel & splat (0x7fffffff)) < splat (smallestNormal),
                                  splat (0.0f),
                                  newEnvLevel);
            const vi decays =
                (steady ? splat (-1) : active) & (newEnvLevel + envTarget > splat (sound::attackHandOver));
            envLevel = steady ? newEnvLevel : select (active, newEnvLevel, envLevel);
            envTarget = select (decays, filterSustain, envTarget);
            envCoef = select (decays, filterDecayCoef, envCoef);

            const vi tick = active & (tickAt == splat (k));
            tickedLanes |= tick;
            if constexpr (!steady)
                counter = select (active, (counter + 1) & splat (0x7fffffff), counter);
            lfoSum = select (tick, tickedLfoSum, lfoSum);

            vf newCutoff = (lfoSum + splat (1.0f)) * envLevel * cutoffHz / splat (sound::cutoffScale);
            newCutoff =
                select (newCutoff < splat (sound::lowestCutoff),
                        splat (sound::lowestCutoff),
                        select (splat (sound::highestCutoff) < newCutoff, splat (sound::highestCutoff), newCutoff));
            cutoff = steady ? newCutoff : select (active, newCutoff, cutoff);
            const vi raisesCutoff = (steady ? splat (-1) : active) & (newCutoff > splat (sound::lowestCutoff));
            lastCutoff = select (widen (raisesCutoff), toDouble (newCutoff), lastCutoff);

            const vd f = coefficientOf (lastCutoff);

            // A division that need not be repeated while no lane's coefficient moves.
            if (any (f != lastF))
            {
                feedback = resonance + resonance / (splat (1.0) - f);
                lastF = f;
            }

            coefficientAt[k] = f;
            feedbackAt[k] = feedback;
        };

        // Four one-pole stages, and the voices' output.
        const auto filterPass = [&] (int k)
        {
            const vi active = activeAt[k];
            const vd f = coefficientAt[k];
            const vd s = toDouble (oscillatorAt[k]);
            const vd new1 = stage1 + f * ((s - stage1) + feedbackAt[k] * (stage1 - stage2));
            const vd new2 = stage2 + f * (new1 - stage2);
            const vd new3 = stage3 + f * (new2 - stage3);
            const vd new4 = stage4 + f * (new3 - stage4);

            const vl activeWide = widen (active);
            takeWhere<steady> (activeWide, stage1, new1);
            takeWhere<steady> (activeWide, stage2, new2);
            takeWhere<steady> (activeWide, stage3, new3);
            takeWhere<steady> (activeWide, stage4, new4);

            const vf filtered = toFloat (filterOutput<filterMode> (s, new1, new4, typeIs));
            store (outputs + k * numLanes, select (active, filtered * gainAt[k], splat (0.0f)));
        };

        // The filter runs a few samples behind the rest, so that the CPU works on both chains at once.
        constexpr int lag = 4;

        // A filter envelope that has come to rest gives the same level at every sample: then the cut-off, and the
        // coefficient with it, take one value up to each lane's LFO tick and another from there on.
        auto envelopeAtRest = false;

        if constexpr (steady)
        {
            vf next = envTarget + (envLevel - envTarget) * envCoef;
            next = select ((vf) ((vi) next & splat (0x7fffffff)) < splat (smallestNormal), splat (0.0f), next);
            const vi same = (vi) next == (vi) envLevel;
            const vi handsOver = next + envTarget > splat (sound::attackHandOver);
            envelopeAtRest = done > 0 && !any (activeAtStart & (~same | handsOver));
        }

        if (envelopeAtRest)
        {
            const auto cutoffOf = [&] (vf sum)
            {
                const vf c = (sum + splat (1.0f)) * envLevel * cutoffHz / splat (sound::cutoffScale);
                return select (c < splat (sound::lowestCutoff),
                               splat (sound::lowestCutoff),
                               select (splat (sound::highestCutoff) < c, splat (sound::highestCutoff), c));
            };

            const vi ticks = activeAtStart & (tickAt < splat (done));
            const vf cutoffBefore = cutoffOf (lfoSum);
            const vf cutoffAfter = cutoffOf (tickedLfoSum);
            const vd lastBefore =
                select (widen (cutoffBefore > splat (sound::lowestCutoff)), toDouble (cutoffBefore), lastCutoff);
            const vd lastAtTick = select (widen (tickAt == splat (0)), lastCutoff, lastBefore);
            const vd lastAfter =
                select (widen (cutoffAfter > splat (sound::lowestCutoff)), toDouble (cutoffAfter), lastAtTick);
            const vd coefficientBefore = coefficientOf (lastBefore), coefficientAfter = coefficientOf (lastAfter);
            const vd feedbackBefore = resonance + resonance / (splat (1.0) - coefficientBefore);
            const vd feedbackAfter = resonance + resonance / (splat (1.0) - coefficientAfter);

            for (int k = 0; k < done; ++k)
            {
                const vl after = widen (ticks & (tickAt <= splat (k)));
                coefficientAt[k] = select (after, coefficientAfter, coefficientBefore);
                feedbackAt[k] = select (after, feedbackAfter, feedbackBefore);
            }

            tickedLanes = ticks;
            lfoSum = select (ticks, tickedLfoSum, lfoSum);
            cutoff = select (ticks, cutoffAfter, cutoffBefore);
            lastCutoff = select (widen (ticks), lastAfter, lastBefore);
        }

        // The output filter over the previous segment's sums, one sample in every sample of this one: its chain
        // runs beside the voices' instead of after them.
        const int stageCount = setup.outputStage != nullptr ? setup.stageCount : 0;
        OutputStage stage = stageCount > 0 ? *setup.outputStage : OutputStage{};
        float s1 = stage.lv1, s2 = stage.lv2;

        const auto outputStagePass = [&] (int k)
        {
            const auto in = setup.stageInput[k];
            const auto out = (in * stage.b0) + s1;
            setup.stageOutput[k] = out;
            s1 = (in * stage.b1) - (out * stage.a1) + s2;
            s2 = (in * stage.b2) - (out * stage.a2);
        };

        int k = 0;

        for (; k < done + lag; ++k)
        {
            if (k < done)
            {
                if (steady && levelsMove)
                    levelPass (k);

                oscillatorPass (k);

                if (!envelopeAtRest)
                    cutoffPass (k);
            }

            if (k >= lag)
                filterPass (k - lag);

            if (k < stageCount)
                outputStagePass (k);
        }

        for (; k < stageCount; ++k)
            outputStagePass (k);

        if (steady && levelsMove)
        {
            if (any (activeAtStart & stageEnds))
                return -1;

            amp.level = level;
        }

        if (stageCount > 0)
        {
            setup.outputStage->lv1 = s1;
            setup.outputStage->lv2 = s2;
        }

        if constexpr (steady)
        {
            // The idle lanes computed alongside: they keep what they had.
            const vl activeWide = widen (activeAtStart);
            const vi subRuns = subRunsAtStart;
            phase = select (activeAtStart, phase, load<vf> (state.phase));
            phaseStep = select (activeAtStart, phaseStep, load<vf> (state.phaseStep));
            subPhase = select (subRuns, subPhase, load<vf> (state.subPhase));
            subPhaseStep = select (subRuns, subPhaseStep, load<vf> (state.subPhaseStep));
            envLevel = select (activeAtStart, envLevel, load<vf> (state.filterEnvLevel));
            envTarget = select (activeAtStart, envTarget, load<vf> (state.filterEnvTarget));
            envCoef = select (activeAtStart, envCoef, load<vf> (state.filterEnvCoef));
            counter = select (activeAtStart, (counter + done) & splat (0x7fffffff), counter);
            cutoff = select (activeAtStart, cutoff, load<vf> (state.cutoff));
            lastCutoff =
                select (activeWide, lastCutoff, vd{ load<vd4> (state.lastCutoff), load<vd4> (state.lastCutoff + 4) });
            stage1 = select (activeWide, stage1, vd{ load<vd4> (state.stage1), load<vd4> (state.stage1 + 4) });
            stage2 = select (activeWide, stage2, vd{ load<vd4> (state.stage2), load<vd4> (state.stage2 + 4) });
            stage3 = select (activeWide, stage3, vd{ load<vd4> (state.stage3), load<vd4> (state.stage3 + 4) });
            stage4 = select (activeWide, stage4, vd{ load<vd4> (state.stage4), load<vd4> (state.stage4 + 4) });
        }

        store (state.phase, phase);
        store (state.phaseStep, phaseStep);
        store (state.subPhase, subPhase);
        store (state.subPhaseStep, subPhaseStep);
        store (state.filterEnvLevel, envLevel);
        store (state.filterEnvTarget, envTarget);
        store (state.filterEnvCoef, envCoef);
        store (state.ampLevel, amp.level);
        store (state.ampState, amp.state);
        store (state.sampleCounter, counter);
        store (state.lfoSum, lfoSum);
        store (state.cutoff, cutoff);
        store (state.lastCutoff, lastCutoff.lo);
        store (state.lastCutoff + 4, lastCutoff.hi);
        store (state.stage1, stage1.lo);
        store (state.stage1 + 4, stage1.hi);
        store (state.stage2, stage2.lo);
        store (state.stage2 + 4, stage2.hi);
        store (state.stage3, stage3.lo);
        store (state.stage3 + 4, stage3.hi);
        store (state.stage4, stage4.lo);
        store (state.stage4 + 4, stage4.hi);
        store (ticked, tickedLanes);
        return done;
    }

    template <Oscillator oscillatorKind, bool steady>
    int renderWithFilter (int filterMode,
                          State& state,
                          const Controls& controls,
                          const Setup& setup,
                          AmpPass& amp,
                          bool levelsMove,
                          float* outputs,
                          int* ticked)
    {
        switch (filterMode)
        {
            case 0:
                return renderSegment<oscillatorKind, steady, 0> (state,
                                                                 controls,
                                                                 setup,
                                                                 amp,
                                                                 levelsMove,
                                                                 outputs,
                                                                 ticked);
            case 1:
                return renderSegment<oscillatorKind, steady, 1> (state,
                                                                 controls,
                                                                 setup,
                                                                 amp,
                                                                 levelsMove,
                                                                 outputs,
                                                                 ticked);
            case 2:
                return renderSegment<oscillatorKind, steady, 2> (state,
                                                                 controls,
                                                                 setup,
                                                                 amp,
                                                                 levelsMove,
                                                                 outputs,
                                                                 ticked);
            default:
                return renderSegment<oscillatorKind, steady, 3> (state,
                                                                 controls,
                                                                 setup,
                                                                 amp,
                                                                 levelsMove,
                                                                 outputs,
                                                                 ticked);
        }
    }

    template <Oscillator oscillatorKind>
    int renderOscillator (bool steady,
                          bool levelsMove,
                          int filterMode,
                          State& state,
                          const Controls& controls,
                          const Setup& setup,
                          AmpPass& amp,
                          float* outputs,
                          int* ticked)
    {
        return steady ? renderWithFilter<oscillatorKind,
                                         true> (filterMode, state, controls, setup, amp, levelsMove, outputs, ticked)
                      : renderWithFilter<oscillatorKind,
                                         false> (filterMode, state, controls, setup, amp, false, outputs, ticked);
    }
} // namespace

void OSTREL_VOICE_KERNEL_NAME (
    State& state, const Controls& controls, const Setup& setup, int numSamples, float* sums, int* ticked)
{
    // One control segment at most.
    if (numSamples > 32)
        numSamples = 32;

    const vi ampState = load<vi> (state.ampState);
    const vi active = ampState != splat (AmpStage::idle);

    // Steady: every phase and step of a sounding lane in [0, 2π), and no lane changes its stage in the segment. That is
    // sure when every lane is idle or sustaining; otherwise it is taken to hold, and the kernel tells when it did not.
    const vi subRuns = active & (load<vf> (controls.subLevel) != splat (0.0f));
    const auto steady =
        phaseRange (load<vf> (state.phase), active) && phaseRange (load<vf> (state.phaseStep), active)
        && phaseRange (load<vf> (controls.oscillatorStep), active)
        && (setup.oscillator != Oscillator::picture
            || (phaseRange (load<vf> (state.subPhase), subRuns) && phaseRange (load<vf> (state.subPhaseStep), subRuns)
                && phaseRange (load<vf> (controls.subStep), subRuns)));
    const auto levelsMove = any (active & (ampState != splat (AmpStage::sustain)));

    AmpPass amp;

    // One filter type for every sounding lane lets the kernel work out only that output.
    const vi type = load<vi> (controls.filterType);
    int filterMode = 3;
    for (int t = 0; t < 3; ++t)
        if (!any (active & (type != splat (t))))
            filterMode = t;

    alignas (64) float outputs[(32 + 8) * numLanes];

    const auto render = [&] (bool steadyKind, bool moving)
    {
        switch (setup.oscillator)
        {
            case Oscillator::picture:
                return renderOscillator<Oscillator::picture> (steadyKind,
                                                              moving,
                                                              filterMode,
                                                              state,
                                                              controls,
                                                              setup,
                                                              amp,
                                                              outputs,
                                                              ticked);
            case Oscillator::gridLine:
                return renderOscillator<Oscillator::gridLine> (steadyKind,
                                                               moving,
                                                               filterMode,
                                                               state,
                                                               controls,
                                                               setup,
                                                               amp,
                                                               outputs,
                                                               ticked);
            case Oscillator::gridCircle:
                return renderOscillator<Oscillator::gridCircle> (steadyKind,
                                                                 moving,
                                                                 filterMode,
                                                                 state,
                                                                 controls,
                                                                 setup,
                                                                 amp,
                                                                 outputs,
                                                                 ticked);
        }

        return 0;
    };

    int done = -1;

    if (steady)
    {
        holdAmpPass (state, controls, numSamples, amp);
        done = render (true, levelsMove);
    }

    if (done < 0)
    {
        runAmpPass (state, controls, numSamples, amp);
        done = render (false, false);
    }

    // Each sample's sum over the voices, in voice order; idle lanes add +0, which changes no sum.
    for (int i = done; i < ((done + 7) & ~7); ++i)
        store (outputs + i * numLanes, splat (0.0f));

    sumLanes (outputs, done, sums);

    for (int i = done; i < numSamples; ++i)
        sums[i] = 0.0f;
}
} // namespace voice_lanes
