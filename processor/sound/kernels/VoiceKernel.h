#pragma once

// The voice kernel, written once over eight-lane vectors and compiled once per instruction set (included only by
// VoiceKernelAvx2.cpp and VoiceKernelAvx512.cpp, each built with its own target flags). Each lane does exactly
// the operations of Voice::render, in the same order and precision, so every lane gives the bits the scalar code
// gives. Everything here has internal linkage and calls nothing of the plug-in's: code compiled for a wider
// instruction set must never stand in for a function the rest of the plug-in calls. Its words (segment, steady,
// tick) are those of Synth.h.

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

    inline vd loadDoubles (const double* p) { return { load<vd4> (p), load<vd4> (p + 4) }; }

    inline void storeDoubles (double* p, vd v)
    {
        store (p, v.lo);
        store (p + 4, v.hi);
    }

    /** What a segment advances lane by lane: its working copy of State's values. */
    struct Lanes
    {
        vf phase, phaseStep, subPhase, subPhaseStep;
        vf envLevel, envTarget, envCoef;
        vi counter;
        vf lfoSum, cutoff;
        vd lastCutoff, stage1, stage2, stage3, stage4;
    };

    [[gnu::always_inline]] inline Lanes loadLanes (const State& state)
    {
        return { load<vf> (state.phase),         load<vf> (state.phaseStep),      load<vf> (state.subPhase),
                 load<vf> (state.subPhaseStep),  load<vf> (state.filterEnvLevel), load<vf> (state.filterEnvTarget),
                 load<vf> (state.filterEnvCoef), load<vi> (state.sampleCounter),  load<vf> (state.lfoSum),
                 load<vf> (state.cutoff),        loadDoubles (state.lastCutoff),  loadDoubles (state.stage1),
                 loadDoubles (state.stage2),     loadDoubles (state.stage3),      loadDoubles (state.stage4) };
    }

    /** The lanes and the amplitude envelope back into state. */
    [[gnu::always_inline]] inline void storeLanes (State& state, const Lanes& lanes, const AmpPass& amp)
    {
        store (state.phase, lanes.phase);
        store (state.phaseStep, lanes.phaseStep);
        store (state.subPhase, lanes.subPhase);
        store (state.subPhaseStep, lanes.subPhaseStep);
        store (state.filterEnvLevel, lanes.envLevel);
        store (state.filterEnvTarget, lanes.envTarget);
        store (state.filterEnvCoef, lanes.envCoef);
        store (state.ampLevel, amp.level);
        store (state.ampState, amp.state);
        store (state.sampleCounter, lanes.counter);
        store (state.lfoSum, lanes.lfoSum);
        store (state.cutoff, lanes.cutoff);
        storeDoubles (state.lastCutoff, lanes.lastCutoff);
        storeDoubles (state.stage1, lanes.stage1);
        storeDoubles (state.stage2, lanes.stage2);
        storeDoubles (state.stage3, lanes.stage3);
        storeDoubles (state.stage4, lanes.stage4);
    }

    /** After a steady segment of done samples: the idle lanes computed alongside keep what they had, and the sounding
        ones count the samples they rendered. */
    [[gnu::always_inline]] inline void keepIdleLanes (Lanes& lanes, const State& state, vi active, vi subRuns, int done)
    {
        const vl activeWide = widen (active);
        lanes.phase = select (active, lanes.phase, load<vf> (state.phase));
        lanes.phaseStep = select (active, lanes.phaseStep, load<vf> (state.phaseStep));
        lanes.subPhase = select (subRuns, lanes.subPhase, load<vf> (state.subPhase));
        lanes.subPhaseStep = select (subRuns, lanes.subPhaseStep, load<vf> (state.subPhaseStep));
        lanes.envLevel = select (active, lanes.envLevel, load<vf> (state.filterEnvLevel));
        lanes.envTarget = select (active, lanes.envTarget, load<vf> (state.filterEnvTarget));
        lanes.envCoef = select (active, lanes.envCoef, load<vf> (state.filterEnvCoef));
        lanes.counter = select (active, (lanes.counter + done) & splat (0x7fffffff), lanes.counter);
        lanes.cutoff = select (active, lanes.cutoff, load<vf> (state.cutoff));
        lanes.lastCutoff = select (activeWide, lanes.lastCutoff, loadDoubles (state.lastCutoff));
        lanes.stage1 = select (activeWide, lanes.stage1, loadDoubles (state.stage1));
        lanes.stage2 = select (activeWide, lanes.stage2, loadDoubles (state.stage2));
        lanes.stage3 = select (activeWide, lanes.stage3, loadDoubles (state.stage3));
        lanes.stage4 = select (activeWide, lanes.stage4, loadDoubles (state.stage4));
    }

    /** The amplitude envelope of a steady segment in which levels move: each lane stays in the stage it starts the
        segment in, and stageEnds gathers the lanes whose stage would have ended. */
    struct LevelStages
    {
        vi attacking, decaying, sustaining, releasing;
        vf attackStep, decayStep, sustain, releaseMultiplier;
    };

    /** One sample of it: the gain, and level moved on where active. */
    [[gnu::always_inline]] inline vf levelStep (const LevelStages& stages, vi active, vf& level, vi& stageEnds)
    {
        const vf attackLevel = level + stages.attackStep;
        const vf decayLevel = level - stages.decayStep;
        const vf releaseLevel = level * stages.releaseMultiplier;
        stageEnds |= (stages.attacking & (attackLevel >= splat (1.0f)))
                     | (stages.decaying & (stages.sustain >= decayLevel))
                     | (stages.releasing & (releaseLevel <= splat (sound::releaseEndLevel)));

        vf newLevel = level;
        newLevel = select (stages.attacking, attackLevel, newLevel);
        newLevel = select (stages.decaying, decayLevel, newLevel);
        newLevel = select (stages.sustaining, stages.sustain, newLevel);
        newLevel = select (stages.releasing, releaseLevel, newLevel);
        level = select (active, newLevel, level);
        return newLevel;
    }

    /** The picture oscillator's fixed inputs: each lane's table and gain, and the second oscillator. */
    struct TableRead
    {
        const float* tables;
        vi laneTable; // each lane's offset into tables
        vf gain;
        bool anySub; // a lane sounds with the second oscillator on
        const float* shapeTable;
        vf subLevel, subStep;
        vi subOn, subRunsAtStart;
    };

    /** The picture oscillator at newPhase, with the second oscillator moved on where it runs. */
    template <bool steady>
    [[gnu::always_inline]] inline vf
    tableOscillator (const TableRead& read, vf newPhase, vi active, vf& subPhase, vf& subPhaseStep)
    {
        // 512 points over 511 steps; with the phase in [0, 2π) the position stays below 511.
        const vf x = newPhase * splat (511.0f) / splat (twoPi);
        const vi j = truncate (x) & splat (tableSize - 1);
        const vf fraction = x - toFloat (j);
        vf t0, t1;
        gatherPairs (read.tables, read.laneTable + j, t0, t1);
        const vf value = t0 + fraction * (t1 - t0);

        vf sub = splat (0.0f);

        if (read.anySub)
        {
            const vi subRuns = steady ? read.subRunsAtStart : active & read.subOn;
            const vf newSubPhase = wrapPhase<steady> (subPhase + subPhaseStep, subRuns);
            const vi u = truncate (newSubPhase * splat (512.0f) / splat (twoPi)) & splat (tableSize - 1);
            const vf shape = read.shapeTable != nullptr ? gather (read.shapeTable, u) : splat (0.0f);
            sub = select (subRuns, shape * read.subLevel * splat (0.0625f), splat (0.0f));

            takeWhere<steady> (subRuns, subPhase, newSubPhase);
            takeWhere<steady> (subRuns, subPhaseStep, read.subStep);
        }

        return read.gain * value + sub;
    }

    /** The "HiFidel" line: the two rows around the scan row and their blend, which depend on the row alone. */
    struct RowRead
    {
        vi row0, row1;
        vf fraction;
    };

    inline RowRead rowReadOf (vf scanRow)
    {
        const vf row = clampToGrid (scanRow);
        const vi row0 = truncate (row);
        const vf rowBelow = toFloat (row0);
        return { row0, select (row > rowBelow, row0 + 1, row0) & splat (gridSize - 1), row - rowBelow };
    }

    /** The grid along the row at newPhase. */
    [[gnu::always_inline]] inline vf lineOscillator (const float* grid, const RowRead& row, vf newPhase)
    {
        const vf u = newPhase * splat (512.0f) / splat (twoPi);
        const vi u0 = truncate (u) & splat (gridSize - 1);
        const vi u1 = (u0 + 1) & splat (gridSize - 1);
        const vf fu = u - toFloat (u0);
        const vi column0 = u0 * gridSize, column1 = u1 * gridSize;

        const vf a0 = gridAt (grid, column0 + row.row0);
        const vf along0 = a0 + fu * (gridAt (grid, column1 + row.row0) - a0);
        const vf a1 = gridAt (grid, column0 + row.row1);
        const vf along1 = a1 + fu * (gridAt (grid, column1 + row.row1) - a1);
        return splat (0.2f) * (along0 + row.fraction * (along1 - along0));
    }

    /** The "HiFidel" circle: its truncated centre and its radius. */
    struct CircleRead
    {
        vf centreX, centreY, radius;
    };

    /** The grid around the circle at newPhase; the cosine and sine only in the lanes that sound. */
    [[gnu::always_inline]] inline vf
    circleOscillator (const float* grid, const CircleRead& circle, vf newPhase, vi active)
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

        const vf px = clampToGrid (circle.centreX + circle.radius * cosine);
        const vf py = clampToGrid (circle.centreY + circle.radius * sine);
        const vi i = truncate (px), j = truncate (py);
        const vi i1 = (i + 1) & splat (gridSize - 1), j1 = (j + 1) & splat (gridSize - 1);
        const vf fx = px - toFloat (i), fy = py - toFloat (j);
        const vf one = splat (1.0f);

        return splat (0.2f)
               * (gridAt (grid, i * gridSize + j) * (one - fx) * (one - fy)
                  + gridAt (grid, i1 * gridSize + j) * fx * (one - fy)
                  + gridAt (grid, i * gridSize + j1) * (one - fx) * fy + gridAt (grid, i1 * gridSize + j1) * fx * fy);
    }

    /** What the filter envelope, the cut-off and the filter coefficient read that stays fixed through a segment. */
    struct CutoffInputs
    {
        vf filterSustain, filterDecayCoef, cutoffHz;
        vd resonance;
        vi tickAt; // the sample of the segment each lane's LFO tick falls on, if any
        vf tickedLfoSum;
    };

    /** (lfoSum + 1) × level × cutoffHz, limited to the cut-off's range. */
    inline vf cutoffOf (vf lfoSum, vf level, vf cutoffHz)
    {
        const vf c = (lfoSum + splat (1.0f)) * level * cutoffHz / splat (sound::cutoffScale);
        return select (c < splat (sound::lowestCutoff),
                       splat (sound::lowestCutoff),
                       select (splat (sound::highestCutoff) < c, splat (sound::highestCutoff), c));
    }

    /** Sample k's filter envelope, the LFO tick worked out before the segment, cut-off and filter coefficient, in
        the lanes where active; returns the coefficient. */
    template <bool steady>
    [[gnu::always_inline]] inline vd
    cutoffStep (Lanes& lanes, const CutoffInputs& in, vi active, int k, vi& tickedLanes)
    {
        // A long release stops at the smallest normal float.
        vf newEnvLevel = lanes.envTarget + (lanes.envLevel - lanes.envTarget) * lanes.envCoef;
        newEnvLevel =
            select ((vf) ((vi) newEnvLevel & splat (0x7fffffff)) < splat (smallestNormal), splat (0.0f), newEnvLevel);
        const vi decays =
            (steady ? splat (-1) : active) & (newEnvLevel + lanes.envTarget > splat (sound::attackHandOver));
        lanes.envLevel = steady ? newEnvLevel : select (active, newEnvLevel, lanes.envLevel);
        lanes.envTarget = select (decays, in.filterSustain, lanes.envTarget);
        lanes.envCoef = select (decays, in.filterDecayCoef, lanes.envCoef);

        const vi tick = active & (in.tickAt == splat (k));
        tickedLanes |= tick;
        if constexpr (!steady)
            lanes.counter = select (active, (lanes.counter + 1) & splat (0x7fffffff), lanes.counter);
        lanes.lfoSum = select (tick, in.tickedLfoSum, lanes.lfoSum);

        const vf newCutoff = cutoffOf (lanes.lfoSum, lanes.envLevel, in.cutoffHz);
        lanes.cutoff = steady ? newCutoff : select (active, newCutoff, lanes.cutoff);
        const vi raisesCutoff = (steady ? splat (-1) : active) & (newCutoff > splat (sound::lowestCutoff));
        lanes.lastCutoff = select (widen (raisesCutoff), toDouble (newCutoff), lanes.lastCutoff);

        return coefficientOf (lanes.lastCutoff);
    }

    /** True when the filter envelope of every lane sounding in a steady segment has come to rest: the level it gives
        is the one it has, bit for bit, and hands over to no decay. */
    [[gnu::always_inline]] inline bool envelopeRests (const Lanes& lanes, vi active)
    {
        vf next = lanes.envTarget + (lanes.envLevel - lanes.envTarget) * lanes.envCoef;
        next = select ((vf) ((vi) next & splat (0x7fffffff)) < splat (smallestNormal), splat (0.0f), next);
        const vi same = (vi) next == (vi) lanes.envLevel;
        const vi handsOver = next + lanes.envTarget > splat (sound::attackHandOver);
        return !any (active & (~same | handsOver));
    }

    /** The cut-off pass of a segment whose filter envelope rests: the cut-off, and the coefficient with it, take one
        value up to each lane's LFO tick and another from there on. */
    [[gnu::always_inline]] inline void restingCutoff (
        Lanes& lanes, const CutoffInputs& in, vi active, int done, vd* coefficientAt, vd* feedbackAt, vi& tickedLanes)
    {
        const vi ticks = active & (in.tickAt < splat (done));
        const vf cutoffBefore = cutoffOf (lanes.lfoSum, lanes.envLevel, in.cutoffHz);
        const vf cutoffAfter = cutoffOf (in.tickedLfoSum, lanes.envLevel, in.cutoffHz);
        const vd lastBefore =
            select (widen (cutoffBefore > splat (sound::lowestCutoff)), toDouble (cutoffBefore), lanes.lastCutoff);
        const vd lastAtTick = select (widen (in.tickAt == splat (0)), lanes.lastCutoff, lastBefore);
        const vd lastAfter =
            select (widen (cutoffAfter > splat (sound::lowestCutoff)), toDouble (cutoffAfter), lastAtTick);
        const vd coefficientBefore = coefficientOf (lastBefore), coefficientAfter = coefficientOf (lastAfter);
        const vd feedbackBefore = in.resonance + in.resonance / (splat (1.0) - coefficientBefore);
        const vd feedbackAfter = in.resonance + in.resonance / (splat (1.0) - coefficientAfter);

        for (int k = 0; k < done; ++k)
        {
            const vl after = widen (ticks & (in.tickAt <= splat (k)));
            coefficientAt[k] = select (after, coefficientAfter, coefficientBefore);
            feedbackAt[k] = select (after, feedbackAfter, feedbackBefore);
        }

        tickedLanes = ticks;
        lanes.lfoSum = select (ticks, in.tickedLfoSum, lanes.lfoSum);
        lanes.cutoff = select (ticks, cutoffAfter, cutoffBefore);
        lanes.lastCutoff = select (widen (ticks), lastAfter, lastBefore);
    }

    /** Four one-pole stages over the oscillator's output s with coefficient f, moved on where active; returns the
        filter's output. */
    template <bool steady, int filterMode>
    [[gnu::always_inline]] inline vf
    filterStep (Lanes& lanes, vd s, vd f, vd feedback, vi active, const vl (&typeIs)[3])
    {
        const vd new1 = lanes.stage1 + f * ((s - lanes.stage1) + feedback * (lanes.stage1 - lanes.stage2));
        const vd new2 = lanes.stage2 + f * (new1 - lanes.stage2);
        const vd new3 = lanes.stage3 + f * (new2 - lanes.stage3);
        const vd new4 = lanes.stage4 + f * (new3 - lanes.stage4);

        const vl activeWide = widen (active);
        takeWhere<steady> (activeWide, lanes.stage1, new1);
        takeWhere<steady> (activeWide, lanes.stage2, new2);
        takeWhere<steady> (activeWide, lanes.stage3, new3);
        takeWhere<steady> (activeWide, lanes.stage4, new4);

        return toFloat (filterOutput<filterMode> (s, new1, new4, typeIs));
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
        Lanes lanes = loadLanes (state);
        const vi ampState = load<vi> (state.ampState);

        const vf oscillatorStep = load<vf> (controls.oscillatorStep);
        const vi filterType = load<vi> (controls.filterType);
        const vl typeIs[3] = { widen (filterType == splat (FilterType::lowPass)),
                               widen (filterType == splat (FilterType::highPass)),
                               widen (filterType == splat (FilterType::bandPass)) };

        const vi activeAtStart = ampState != splat (AmpStage::idle);
        const vf subLevel = load<vf> (controls.subLevel);
        const vi subOn = subLevel != splat (0.0f);
        const vi subRunsAtStart = activeAtStart & subOn;

        const TableRead table{ setup.tables,
                               vi{ 0, 1, 2, 3, 4, 5, 6, 7 } * tableSize,
                               load<vf> (controls.tableGain),
                               oscillatorKind == Oscillator::picture && any (subRunsAtStart),
                               setup.shapeTable,
                               subLevel,
                               load<vf> (controls.subStep),
                               subOn,
                               subRunsAtStart };
        const RowRead row = rowReadOf (load<vf> (controls.scanRow));
        const CircleRead circle{ load<vf> (controls.centreX), load<vf> (controls.centreY), load<vf> (controls.radius) };
        const CutoffInputs cutoffInputs{ load<vf> (controls.filterSustain), load<vf> (controls.filterDecayCoef),
                                         load<vf> (controls.cutoffHz),      loadDoubles (controls.resonance),
                                         load<vi> (controls.tickAt),        load<vf> (controls.tickedLfoSum) };

        // Four passes over the segment, each lane's operations in their order. The amplitude envelope decides which
        // voices sound; oscillator and cut-off follow from it, the filter from both. Apart, each pass carries only
        // its own short chains from sample to sample, so the CPU can overlap many samples of it.
        const vi* const activeAt = amp.activeAt;
        vf* const gainAt = amp.gainAt;
        const int done = amp.done;

        // Levels that move in a steady segment: each lane's amplitude envelope in the stage it starts the segment in,
        // worked out as the samples go, so that its chain runs beside the others. Should a stage end within the
        // segment after all, the segment is worked out again as one in which stages change.
        vf level = load<vf> (state.ampLevel);
        vi stageEnds = splat (0);
        const LevelStages stages{ ampState == splat (AmpStage::attack),  ampState == splat (AmpStage::decay),
                                  ampState == splat (AmpStage::sustain), ampState == splat (AmpStage::release),
                                  load<vf> (controls.attackStep),        load<vf> (controls.decayStep),
                                  load<vf> (controls.sustain),           load<vf> (controls.releaseMultiplier) };

        alignas (64) vf oscillatorAt[32];
        alignas (64) vd coefficientAt[32];
        alignas (64) vd feedbackAt[32];

        // Oscillator.
        const auto oscillatorPass = [&] (int k)
        {
            const vi active = activeAt[k];
            const vf newPhase = wrapPhase<steady> (lanes.phase + lanes.phaseStep, active);

            if constexpr (oscillatorKind == Oscillator::picture)
                oscillatorAt[k] = tableOscillator<steady> (table, newPhase, active, lanes.subPhase, lanes.subPhaseStep);
            else if constexpr (oscillatorKind == Oscillator::gridLine)
                oscillatorAt[k] = lineOscillator (setup.grid, row, newPhase);
            else
                oscillatorAt[k] = circleOscillator (setup.grid, circle, newPhase, active);

            takeWhere<steady> (active, lanes.phase, newPhase);
            takeWhere<steady> (active, lanes.phaseStep, oscillatorStep);
        };

        // Filter envelope, the LFO tick worked out before the segment, cut-off and filter coefficient.
        vd lastF = splat (__builtin_nan (""));
        vd feedback = splat (0.0);
        vi tickedLanes = splat (0);

        const auto cutoffPass = [&] (int k)
        {
            const vd f = cutoffStep<steady> (lanes, cutoffInputs, activeAt[k], k, tickedLanes);

            // A division that need not be repeated while no lane's coefficient moves.
            if (any (f != lastF))
            {
                feedback = cutoffInputs.resonance + cutoffInputs.resonance / (splat (1.0) - f);
                lastF = f;
            }

            coefficientAt[k] = f;
            feedbackAt[k] = feedback;
        };

        // Four one-pole stages, and the voices' output.
        const auto filterPass = [&] (int k)
        {
            const vi active = activeAt[k];
            const vf filtered = filterStep<steady, filterMode> (lanes,
                                                                toDouble (oscillatorAt[k]),
                                                                coefficientAt[k],
                                                                feedbackAt[k],
                                                                active,
                                                                typeIs);
            store (outputs + k * numLanes, select (active, filtered * gainAt[k], splat (0.0f)));
        };

        // The filter runs a few samples behind the rest, so that the CPU works on both chains at once.
        constexpr int lag = 4;

        // A filter envelope that has come to rest gives the same level at every sample.
        auto envelopeAtRest = false;

        if constexpr (steady)
            envelopeAtRest = done > 0 && envelopeRests (lanes, activeAtStart);

        if (envelopeAtRest)
            restingCutoff (lanes, cutoffInputs, activeAtStart, done, coefficientAt, feedbackAt, tickedLanes);

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
                    gainAt[k] = levelStep (stages, activeAt[k], level, stageEnds);

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
            keepIdleLanes (lanes, state, activeAtStart, subRunsAtStart, done);

        storeLanes (state, lanes, amp);
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
