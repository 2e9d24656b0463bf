#include "Synth.h"

#include "SoundFormulas.h"

// The voices rendered side by side by a vector kernel: the voices' state is copied into lanes for a stretch, the
// control steps still run on the voices themselves, and between two control steps the kernel renders a whole
// segment of up to 32 samples of all eight voices at once. The words are those of Synth.h.

namespace
{
constexpr int noTick = 1 << 20;

/** True when the stretch's LFO ticks cannot be worked out ahead: a random LFO on the cut-off draws at its tick, in
    the order the voices tick, both as the LFOs are and as the control steps set them; and the depths, read once for
    every voice, must be each voice's. */
bool ticksNeedThePlainLoop (const std::vector<Voice>& voices,
                            const Voice::ControlValues& values,
                            const float* depths) noexcept
{
    for (int i = 0; i < numLfos; ++i)
    {
        if (depths[i] == 0.0f)
            continue;

        if (values.lfoWaveform[i] == LfoShape::random)
            return true;

        for (const auto& voice : voices)
            if (voice.lfos[i].waveform == LfoShape::random || voice.filterTargetIndex != voices[0].filterTargetIndex)
                return true;
    }

    return false;
}
} // namespace

bool Synth::canRun (VoiceKernel choice) noexcept
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();

    switch (choice)
    {
        case VoiceKernel::scalar:
            return true;
        case VoiceKernel::avx2:
            return __builtin_cpu_supports ("avx2");
        case VoiceKernel::avx512:
            return __builtin_cpu_supports ("avx512f") && __builtin_cpu_supports ("avx512vl")
                   && __builtin_cpu_supports ("avx512dq") && __builtin_cpu_supports ("avx512bw");
    }

    return false;
#else
    return choice == VoiceKernel::scalar;
#endif
}

VoiceKernel Synth::fastestKernel() noexcept
{
    for (const auto choice : { VoiceKernel::avx512, VoiceKernel::avx2 })
        if (canRun (choice))
            return choice;

    return VoiceKernel::scalar;
}

void Synth::useKernel (VoiceKernel choice) noexcept
{
    if (!canRun (choice))
        return;

    kernel = choice;

#if defined(__x86_64__) || defined(__i386__)
    laneKernel = choice == VoiceKernel::avx512 ? voice_lanes::renderAvx512
                 : choice == VoiceKernel::avx2 ? voice_lanes::renderAvx2
                                               : nullptr;
#endif
}

void Synth::loadLanes() noexcept
{
    auto& s = laneState;

    for (int v = 0; v < voice_lanes::numLanes; ++v)
    {
        const auto& voice = voices[(size_t) v];
        s.phase[v] = voice.phase;
        s.phaseStep[v] = voice.phaseStep;
        s.subPhase[v] = voice.subPhase;
        s.subPhaseStep[v] = voice.subPhaseStep;
        s.filterEnvLevel[v] = voice.filterEnvLevel;
        s.filterEnvTarget[v] = voice.filterEnvTarget;
        s.filterEnvCoef[v] = voice.filterEnvCoef;
        s.ampLevel[v] = voice.ampLevel;
        s.ampState[v] = voice.ampState;
        s.sampleCounter[v] = voice.sampleCounter;
        s.lfoSum[v] = voice.lfoSum;
        s.cutoff[v] = voice.cutoff;
        s.lastCutoff[v] = voice.lastCutoff;
        s.stage1[v] = voice.stage1;
        s.stage2[v] = voice.stage2;
        s.stage3[v] = voice.stage3;
        s.stage4[v] = voice.stage4;
    }
}

void Synth::storeLanes() noexcept
{
    const auto& s = laneState;

    for (int v = 0; v < voice_lanes::numLanes; ++v)
    {
        auto& voice = voices[(size_t) v];
        voice.phase = s.phase[v];
        voice.phaseStep = s.phaseStep[v];
        voice.subPhase = s.subPhase[v];
        voice.subPhaseStep = s.subPhaseStep[v];
        voice.filterEnvLevel = s.filterEnvLevel[v];
        voice.filterEnvTarget = s.filterEnvTarget[v];
        voice.filterEnvCoef = s.filterEnvCoef[v];
        voice.ampLevel = s.ampLevel[v];
        voice.ampState = s.ampState[v];
        voice.sampleCounter = s.sampleCounter[v];
        voice.lfoSum = s.lfoSum[v];
        voice.cutoff = s.cutoff[v];
        voice.lastCutoff = s.lastCutoff[v];
        voice.stage1 = s.stage1[v];
        voice.stage2 = s.stage2[v];
        voice.stage3 = s.stage3[v];
        voice.stage4 = s.stage4[v];
    }
}

void Synth::loadLaneControls (bool hiFidel) noexcept
{
    auto& c = laneControls;

    for (int v = 0; v < voice_lanes::numLanes; ++v)
    {
        const auto& voice = voices[(size_t) v];
        c.oscillatorStep[v] = hiFidel ? voice.gridStep : voice.pictureStep;
        c.subStep[v] = voice.subStep;
        c.subLevel[v] = voice.subLevel;
        c.tableGain[v] = voice.velocityGain * 0.2f;
        c.filterSustain[v] = voice.filterSustain;
        c.filterDecayCoef[v] = voice.filterDecayCoef;
        c.cutoffHz[v] = voice.cutoffHz;
        c.attackStep[v] = voice.attackStep;
        c.decayStep[v] = voice.decayStep;
        c.sustain[v] = voice.sustain;
        c.releaseMultiplier[v] = voice.releaseMultiplier;
        c.resonance[v] = (double) voice.resonance;
        c.filterType[v] = voice.filterType;
    }
}

void Synth::repeatControlStep (bool hiFidel) noexcept
{
    for (int v = 0; v < voice_lanes::numLanes; ++v)
    {
        auto& voice = voices[(size_t) v];

        // The period stays put once the glide has arrived, and the oscillator steps with it.
        if (voice.isRefreshed() && !voice.glide())
        {
            voice.playPeriod = voice.period * pitchBend;
            voice.updateOscillatorSteps();
            laneControls.oscillatorStep[v] = hiFidel ? voice.gridStep : voice.pictureStep;
            laneControls.subStep[v] = voice.subStep;
        }

        voice.settleAmpStage (laneState.ampState[v], laneState.ampLevel[v]);
    }
}

bool Synth::setUpPictureLanes (voice_lanes::Setup& setup) noexcept
{
    using namespace voice_lanes;

    // Noise draws a value for every voice and sample, in voice order: left to the plain loop.
    const int shapeIndex = (int) owner.globalSynthConfigs[GlobalIndex::oscType].currentValue.load();
    if (shapeIndex == OscillatorShape::noise)
        return false;

    setup.oscillator = Oscillator::picture;
    setup.shapeTable = waveTables.shapeTable (shapeIndex);

    if (setup.shapeTable == nullptr && shapeIndex >= 0 && shapeIndex < WaveTableList::numPeriodicShapes)
        return false;

    // The tables only change between stretches; the kernel reads them side by side.
    for (int v = 0; v < numLanes; ++v)
    {
        const auto& voice = voices[(size_t) v];
        if (voice.ampState == AmpStage::idle)
            continue;

        if (voice.wavetable == nullptr || voice.wavetable->getNumChannels() < 1
            || voice.wavetable->getNumSamples() != tableSize)
            return false;

        const auto* table = voice.wavetable->getReadPointer (0);
        std::copy (table, table + tableSize, laneTables + v * tableSize);
    }

    setup.tables = laneTables;
    return true;
}

bool Synth::setUpGridLanes (voice_lanes::Setup& setup) noexcept
{
    using namespace voice_lanes;

    const std::atomic<float>* sharedGrid = nullptr;
    auto circle = false;

    for (int v = 0; v < numLanes; ++v)
    {
        const auto& voice = voices[(size_t) v];
        if (voice.ampState == AmpStage::idle)
            continue;

        if (voice.grid == nullptr
            || (sharedGrid != nullptr && (voice.grid != sharedGrid || voice.scanCircle != circle)))
            return false;

        sharedGrid = voice.grid;
        circle = voice.scanCircle;
    }

    if (sharedGrid == nullptr)
        return false;

    // Every cell is written and read whole; the kernel reads them as the plain floats they hold.
    static_assert (sizeof (std::atomic<float>) == sizeof (float) && std::atomic<float>::is_always_lock_free);
    setup.grid = reinterpret_cast<const float*> (sharedGrid);
    setup.oscillator = circle ? Oscillator::gridCircle : Oscillator::gridLine;

    for (int v = 0; v < numLanes; ++v)
    {
        const auto& voice = voices[(size_t) v];
        laneControls.scanRow[v] = voice.scanRow;
        laneControls.radius[v] = voice.scanRow / 2.0f;
        laneControls.centreX[v] = sound::truncatedCentre (voice.scanCentre[0]);
        laneControls.centreY[v] = sound::truncatedCentre (voice.scanCentre[1]);
    }

    return true;
}

void Synth::firstLaneControlStep (const Voice::ControlValues& values, bool hiFidel) noexcept
{
    for (int v = 0; v < voice_lanes::numLanes; ++v)
    {
        voices[(size_t) v].ampLevel = laneState.ampLevel[v];
        voices[(size_t) v].ampState = laneState.ampState[v];
    }

    controlStep (values);

    for (int v = 0; v < voice_lanes::numLanes; ++v)
    {
        laneState.ampLevel[v] = voices[(size_t) v].ampLevel;
        laneState.ampState[v] = voices[(size_t) v].ampState;
    }

    loadLaneControls (hiFidel);
}

bool Synth::previewLaneTicks (int length, const float* depths, const float* amounts) noexcept
{
    using namespace voice_lanes;

    // Each voice ticks its LFOs every 32 of its own samples: at most once in a segment, and not at all once it
    // falls silent, since then its count stops.
    auto tickPreviewsHold = true;

    // Voices whose LFOs stand alike tick alike: the last one worked out stands for the ones that follow it.
    int previewed = -1;
    auto previewHeld = true;

    for (int v = 0; v < numLanes; ++v)
    {
        laneControls.tickAt[v] = noTick;

        if (laneState.ampState[v] == AmpStage::idle)
            continue;

        const int at = (32 - (laneState.sampleCounter[v] & 31)) & 31;
        if (at >= length)
            continue;

        laneControls.tickAt[v] = at;
        const auto& voice = voices[(size_t) v];

        if (previewed >= 0 && voice.lfosStandLike (voices[(size_t) previewed]))
        {
            laneControls.tickedLfoSum[v] = laneControls.tickedLfoSum[previewed];
            std::copy (pendingLfoPhases[previewed], pendingLfoPhases[previewed] + numLfos, pendingLfoPhases[v]);
        }
        else
        {
            previewHeld =
                voice.previewLfoTick (laneControls.tickedLfoSum[v], pendingLfoPhases[v], depths, amounts, lfoSines);
            previewed = v;
        }

        tickPreviewsHold = previewHeld && tickPreviewsHold;
    }

    return tickPreviewsHold;
}

void Synth::takeTickedLfoPhases (const int* ticked) noexcept
{
    for (int v = 0; v < voice_lanes::numLanes; ++v)
    {
        if (ticked[v] == 0)
            continue;

        auto& voice = voices[(size_t) v];
        for (int i = 0; i < numLfos; ++i)
            voice.lfos[i].phase = pendingLfoPhases[v][i];
    }
}

int Synth::renderLanes (float* left,
                        float* right,
                        int numSamples,
                        bool& controlStepDone,
                        OutputFilter* outputFilter,
                        float* filtered) noexcept
{
    using namespace voice_lanes;
    controlStepDone = false;

    if (laneKernel == nullptr || numSamples <= 0 || voices.size() != (size_t) numLanes)
        return 0;

    const bool hiFidel = owner.globalSynthConfigs[GlobalIndex::hiFidel].raw() != 0.0f;
    Setup setup;

    if (!(hiFidel ? setUpGridLanes (setup) : setUpPictureLanes (setup)))
        return 0;

    // The parameters this stretch's control steps and LFO ticks read, read once for all of them.
    Voice::ControlValues values;
    voices[0].readControlValues (values);

    float depths[numLfos], amounts[numLfos];
    for (int i = 0; i < numLfos; ++i)
    {
        depths[i] = owner.lfoMatrixConfigs[(size_t) (voices[0].filterTargetIndex * 4 + i)].raw();
        amounts[i] = owner.lfoConfigs[(size_t) i][LfoIndex::amount].raw();
    }

    if (ticksNeedThePlainLoop (voices, values, depths))
        return 0;

    loadLanes();
    loadLaneControls (hiFidel);

    // The kernel filters each segment's sums while it renders the next.
    OutputStage stage{};
    if (outputFilter != nullptr)
    {
        stage = { outputFilter->b0, outputFilter->b1,  outputFilter->b2, outputFilter->a1,
                  outputFilter->a2, outputFilter->lv1, outputFilter->lv2 };
        setup.outputStage = &stage;
    }

    int done = 0;
    alignas (64) float sums[32];
    alignas (64) float pendingSums[32];
    alignas (64) int ticked[numLanes];

    auto controlStepRan = false;

    while (done < numSamples)
    {
        // This sample's control step, on the voices themselves. The first of the stretch sets what stays the same
        // up to its end; the ones after it only move what can still move.
        if (controlCountdown <= 1)
        {
            controlCountdown = controlInterval;

            if (!controlStepRan)
                firstLaneControlStep (values, hiFidel);
            else
                repeatControlStep (hiFidel);

            controlStepRan = true;
        }
        else
        {
            --controlCountdown;
        }

        // The segment runs up to the next control step.
        const int length = juce::jlimit (1, juce::jmin (32, numSamples - done), controlCountdown);

        if (!previewLaneTicks (length, depths, amounts))
        {
            // A random LFO appeared at this very control step: the plain loop goes on from this sample.
            controlStepDone = true;
            break;
        }

        laneKernel (laneState, laneControls, setup, length, sums, ticked);
        controlCountdown -= length - 1;
        takeTickedLfoPhases (ticked);

        std::copy (sums, sums + length, left + done);
        if (right != nullptr)
            std::copy (sums, sums + length, right + done);

        // These sums go through the output filter during the next segment.
        if (outputFilter != nullptr)
        {
            std::copy (sums, sums + length, pendingSums);
            setup.stageInput = pendingSums;
            setup.stageOutput = filtered + done;
            setup.stageCount = length;
        }

        done += length;
    }

    // The last segment's sums, filtered now.
    if (outputFilter != nullptr)
    {
        outputFilter->lv1 = stage.lv1;
        outputFilter->lv2 = stage.lv2;
        outputFilter->process (setup.stageInput, setup.stageOutput, setup.stageCount);
    }

    storeLanes();
    return done;
}
