#include "Synth.h"

#include "SoundFormulas.h"

#include <cfloat>
#include <cstring>

namespace
{
using sound::singlePrecisionPi;
using sound::twoPi;

/** fmod (a, 2π). A phase plus one step lands in [0, 4π): there a single subtraction is exact
    (Sterbenz) and gives the same float as fmod, without its cost. A result that fmod cannot give in
    [0, 2π) (from a NaN or negative phase) restarts the cycle at 0, so every table read stays in range. */
inline float wrapPhase (float a) noexcept
{
    if (a >= 0.0f && a < 2.0f * twoPi)
        return a >= twoPi ? a - twoPi : a;

    const float wrapped = std::fmod (a, twoPi);
    return wrapped >= 0.0f ? wrapped : 0.0f;
}

using bit_patterns::sameBits;
using sound::clampToGrid;
using sound::truncatedCentre;

inline float gridAt (const std::atomic<float>* grid, int index) noexcept
{
    return grid[index].load (std::memory_order_relaxed);
}
} // namespace

//==============================================================================
WaveTableList::WaveTableList()
{
    random.setSeedRandomly();

    for (int u = 0; u < tableSize; ++u)
    {
        shapeTables[0][u] = sine (u);
        shapeTables[1][u] = saw (u);
        shapeTables[2][u] = square (u);
        shapeTables[3][u] = triangle (u);
    }
}

float WaveTableList::sine (int u) const noexcept
{
    return (float) std::sin (2.0 * u * juce::MathConstants<double>::pi / size);
}

float WaveTableList::saw (int u) const noexcept { return 2.0f * (float) u / (float) size - 1.0f; }

float WaveTableList::triangle (int u) const noexcept
{
    return std::abs ((float) (u - size / 2) / (float) size) * 4.0f - 1.0f;
}

float WaveTableList::square (int u) const noexcept { return u < size / 2 ? 1.0f : -1.0f; }

float WaveTableList::noise() noexcept { return (float) (random.nextDouble() - 0.5); }

//==============================================================================
Voice::Voice (IProcessor& o, WaveTableList* list) : owner (o), waveTables (list) {}

void Voice::prepareToPlay (int newSampleRate)
{
    sampleRate = newSampleRate;

    for (auto& lfo : lfos)
    {
        lfo.tickRate = (double) (sampleRate / 8);
        lfo.phaseStep = (float) (lfo.rateHz / lfo.tickRate);
    }

    filterTargetIndex = owner.parameterIndex.at ("Freq");

    envelopeRate = 4.0 * sampleRate;
    ampLevel = 0.0f;
    ampState = AmpStage::idle;
}

void Voice::updateOscillatorSteps() noexcept
{
    updateOscillatorSteps (playPeriod, imageFineTune, subFineTune, subOctaveFactor);
}

void Voice::updateOscillatorSteps (float stepPeriod, float imageTune, float subTune, int subOctave) noexcept
{
    if (stepPeriod != pictureStepPeriod || imageTune != pictureStepFineTune)
    {
        pictureStepPeriod = stepPeriod;
        pictureStepFineTune = imageTune;
        pictureStep =
            (float) (2.0 * singlePrecisionPi * std::pow (semitoneRatio, (double) imageTune) / (double) stepPeriod);
    }

    if (stepPeriod != subStepPeriod || subTune != subStepFineTune || subOctave != subStepOctaveFactor)
    {
        subStepPeriod = stepPeriod;
        subStepFineTune = subTune;
        subStepOctaveFactor = subOctave;
        subStep = (float) ((double) subOctave * std::pow (semitoneRatio, (double) subTune) * 2.0 * singlePrecisionPi
                           / (double) stepPeriod);
    }

    if (stepPeriod != gridStepPeriod)
    {
        gridStepPeriod = stepPeriod;
        gridStep = twoPi / stepPeriod;
    }
}

float Voice::pictureOscillator() noexcept
{
    const float oldStep = phaseStep;
    phaseStep = pictureStep;
    phase = wrapPhase (phase + oldStep);

    jassert (wavetable != nullptr);
    const float* table = wavetable->getReadPointer (0);
    const int n = wavetable->getNumSamples();

    // 512 points over 511 steps: the cycle ends on the last point and never interpolates back to the first.
    // With the phase in [0, 2π), x stays below 511.
    const float x = phase * 511.0f / twoPi;
    const int j = (int) x;
    jassert (j >= 0 && j < n);
    const float value = table[j] + (x - (float) j) * (table[j + 1 < n ? j + 1 : 0] - table[j]);

    return velocityGain * 0.2f * value + secondOscillator();
}

float Voice::secondOscillator() noexcept
{
    if (subLevel == 0.0f)
        return 0.0f;

    subPhase = wrapPhase (subPhase + subPhaseStep);
    subPhaseStep = subStep;

    const int u = (int) (subPhase * 512.0f / twoPi);
    const int shapeIndex = (int) owner.globalSynthConfigs[GlobalIndex::oscType].currentValue.load();
    float shape;

    if (shapeIndex >= 0 && shapeIndex < WaveTableList::numPeriodicShapes)
        shape = waveTables->periodicShape (shapeIndex, u); // sine, saw, square, triangle
    else if (shapeIndex == OscillatorShape::noise)
        shape = waveTables->noise();
    else
        shape = 0.0f;

    return shape * subLevel * 0.0625f;
}

float Voice::gridOscillator() noexcept
{
    const float oldStep = phaseStep;
    phaseStep = gridStep;
    phase = wrapPhase (phase + oldStep);

    jassert (grid != nullptr);
    float value;

    if (!scanCircle)
    {
        // Along picture row c, column by column; rows and columns interpolate to their neighbours.
        const float c = clampToGrid (scanRow);
        const float u = phase * 512.0f / twoPi;
        const int u0 = (int) u;
        const int u1 = (u0 + 1) % 512;
        const float fu = u - (float) u0;
        // c is never negative here, so truncation is floor and one step up is ceil.
        const int r0 = (int) c;
        const float rowBelow = (float) r0;
        const int r1 = (c > rowBelow ? r0 + 1 : r0) % 512;
        const float fc = c - rowBelow;

        const float a0 = gridAt (grid, u0 * 512 + r0);
        const float along0 = a0 + fu * (gridAt (grid, u1 * 512 + r0) - a0);
        const float a1 = gridAt (grid, u0 * 512 + r1);
        const float along1 = a1 + fu * (gridAt (grid, u1 * 512 + r1) - a1);
        value = along0 + fc * (along1 - along0);
    }
    else
    {
        const float radius = scanRow / 2.0f;
        const float px = clampToGrid (truncatedCentre (scanCentre[0]) + radius * std::cos (phase));
        const float py = clampToGrid (truncatedCentre (scanCentre[1]) + radius * std::sin (phase));
        const int i = (int) px;
        const int j = (int) py;
        const int i1 = (i + 1) % 512;
        const int j1 = (j + 1) % 512;
        const float fx = px - (float) i;
        const float fy = py - (float) j;

        value = gridAt (grid, i * 512 + j) * (1.0f - fx) * (1.0f - fy) + gridAt (grid, i1 * 512 + j) * fx * (1.0f - fy)
                + gridAt (grid, i * 512 + j1) * (1.0f - fx) * fy + gridAt (grid, i1 * 512 + j1) * fx * fy;
    }

    return 0.2f * value;
}

void Voice::tickLfos() noexcept
{
    lfoSum = 0.0f;

    for (int i = 0; i < numLfos; ++i)
    {
        const float depth = owner.lfoMatrixConfigs[(size_t) (filterTargetIndex * 4 + i)].raw();

        // An LFO that does not reach the cut-off stands still, and resumes from there.
        if (depth == 0.0f)
            continue;

        auto& lfo = lfos[i];
        const float wave = sound::lfoShapeValue (lfo.waveform, lfo.phase, lfo.heldValue);
        const auto advance = sound::advanceLfoPhase (lfo.waveform, lfo.phase, lfo.phaseStep);
        lfo.phase = advance.phase;

        if (advance.drawsHeldValue)
            lfo.heldValue = sound::randomBipolar (owner.modulationRandom);

        lfoSum += depth * (wave * owner.lfoConfigs[(size_t) i][LfoIndex::amount].raw());
    }
}

float LfoSineMemo::sine (float phase) noexcept
{
    std::uint32_t bits;
    std::memcpy (&bits, &phase, sizeof (bits));
    auto& entry = entries[(bits * 2654435761u) >> 24];

    if (!entry.valid || entry.phaseBits != bits)
        entry = { bits, sound::lfoShapeValue (LfoShape::sine, phase, 0.0f), true };

    return entry.value;
}

bool Voice::previewLfoTick (
    float& sum, float* newPhases, const float* depths, const float* amounts, LfoSineMemo& sines) const noexcept
{
    sum = 0.0f;

    for (int i = 0; i < numLfos; ++i)
    {
        const auto& lfo = lfos[i];
        newPhases[i] = lfo.phase;
        const float depth = depths[i];

        if (depth == 0.0f)
            continue;

        if (lfo.waveform == LfoShape::random)
            return false;

        const float wave = lfo.waveform == LfoShape::sine
                               ? sines.sine (lfo.phase)
                               : sound::lfoShapeValue (lfo.waveform, lfo.phase, lfo.heldValue);
        newPhases[i] = sound::advanceLfoPhase (lfo.waveform, lfo.phase, lfo.phaseStep).phase;
        sum += depth * (wave * amounts[i]);
    }

    return true;
}

bool Voice::lfosStandLike (const Voice& other) const noexcept
{
    for (int i = 0; i < numLfos; ++i)
    {
        const auto &mine = lfos[i], &theirs = other.lfos[i];

        if (!sameBits (mine.phase, theirs.phase) || !sameBits (mine.phaseStep, theirs.phaseStep)
            || mine.waveform != theirs.waveform || !sameBits (mine.heldValue, theirs.heldValue))
            return false;
    }

    return true;
}

float Voice::render() noexcept
{
    const float oscillator =
        owner.globalSynthConfigs[GlobalIndex::hiFidel].raw() == 0.0f ? pictureOscillator() : gridOscillator();

    filterEnvLevel = filterEnvTarget + (filterEnvLevel - filterEnvTarget) * filterEnvCoef;

    // A long filter release creeps towards 0: stop it at the smallest normal float.
    if (std::abs (filterEnvLevel) < FLT_MIN)
        filterEnvLevel = 0.0f;

    sound::ExponentialEnvelope::handOverToDecay (filterEnvLevel,
                                                 filterEnvTarget,
                                                 filterEnvCoef,
                                                 filterSustain,
                                                 filterDecayCoef);

    // The counter wraps at 2^31, a multiple of 32, so the LFO ticks stay regular in very long sessions.
    const bool lfoTick = (sampleCounter & 31) == 0;
    sampleCounter = (int) (((unsigned int) sampleCounter + 1u) & 0x7fffffffu);

    if (lfoTick)
        tickLfos();

    cutoff = juce::jlimit (sound::lowestCutoff,
                           sound::highestCutoff,
                           (lfoSum + 1.0f) * filterEnvLevel * cutoffHz / sound::cutoffScale);

    // A cut-off pinned at its floor keeps the coefficient it had.
    if (cutoff > sound::lowestCutoff)
        lastCutoff = cutoff;

    const double f = juce::jlimit (sound::lowestFilterCoefficient, sound::highestFilterCoefficient, lastCutoff);

    if (f != feedbackCoefficient || resonance != feedbackResonance)
    {
        feedbackCoefficient = f;
        feedbackResonance = resonance;
        const double q = resonance;
        feedback = q + q / (1.0 - f);
    }

    const double s = oscillator;
    stage1 += f * ((s - stage1) + feedback * (stage1 - stage2));
    stage2 += f * (stage1 - stage2);
    stage3 += f * (stage2 - stage3);
    stage4 += f * (stage3 - stage4);

    double filtered;

    switch (filterType)
    {
        case FilterType::lowPass:
            filtered = stage4;
            break;
        case FilterType::highPass:
            filtered = s - stage4;
            break;
        case FilterType::bandPass:
            filtered = stage1 - stage4;
            break;
        default:
            filtered = 0.0;
            break;
    }

    float gain;

    switch (ampState)
    {
        case AmpStage::idle:
            gain = 0.0f;
            break;

        case AmpStage::attack:
            ampLevel += attackStep;
            if (ampLevel >= 1.0f)
            {
                ampLevel = 1.0f;
                ampState = decayStep > 0.0f ? AmpStage::decay : AmpStage::sustain;
            }
            gain = ampLevel;
            break;

        case AmpStage::decay:
            ampLevel -= decayStep;
            if (sustain >= ampLevel)
            {
                ampLevel = sustain;
                ampState = AmpStage::sustain;
            }
            gain = ampLevel;
            break;

        case AmpStage::sustain:
            ampLevel = sustain;
            gain = ampLevel;
            break;

        case AmpStage::release:
            ampLevel *= releaseMultiplier;
            if (ampLevel <= sound::releaseEndLevel)
            {
                ampLevel = 0.0f;
                ampState = AmpStage::idle;
            }
            gain = ampLevel;
            break;

        default:
            gain = ampLevel;
            break;
    }

    return (float) filtered * gain;
}

void Voice::readControlValues (ControlValues& values) noexcept
{
    const auto& global = owner.globalSynthConfigs;
    values.subLevel = global[GlobalIndex::subBass].raw();

    // A power at every control step, of an input that rarely changes: worked out when it does.
    if (const auto octave = global[GlobalIndex::subBassOc].raw(); !sameBits (octave, subOctaveKey))
    {
        subOctaveKey = octave;
        subOctaveValue = (int) std::pow (2.0f, octave);
    }

    values.subOctaveFactor = subOctaveValue;
    values.subFineTune = global[GlobalIndex::fineTuneMain].currentValue;
    values.imageFineTune = global[GlobalIndex::fineTuneImg].currentValue;

    for (int i = 0; i < numLfos; ++i)
    {
        values.lfoWaveform[i] = (int) owner.lfoConfigs[(size_t) i][LfoIndex::type].raw();
        values.lfoRate[i] = owner.lfoRate (i);
    }
}

void Voice::applyControlValues (const ControlValues& values) noexcept
{
    glide();

    subLevel = values.subLevel;
    subOctaveFactor = values.subOctaveFactor;
    subFineTune = values.subFineTune;
    imageFineTune = values.imageFineTune;

    for (int i = 0; i < numLfos; ++i)
    {
        auto& lfo = lfos[i];
        const float rate = values.lfoRate[i];
        lfo.waveform = values.lfoWaveform[i];
        lfo.rateHz = rate;

        // A division at every control step, of inputs that rarely change: worked out when they do.
        auto& step = lfoSteps[i];
        if (!sameBits (rate, step.rate) || !sameBits (lfo.tickRate, step.tickRate))
        {
            step.rate = rate;
            step.tickRate = lfo.tickRate;
            step.value = (float) (rate / lfo.tickRate);
        }

        lfo.phaseStep = step.value;
    }

    filterType = pendingFilterType;
}

void Voice::updateParameters() noexcept
{
    ControlValues values;
    readControlValues (values);
    applyControlValues (values);
}

void Voice::start (float newPeriod, int newNote, float newVelocityGain) noexcept
{
    targetPeriod = newPeriod;
    period = newPeriod;
    note = newNote;
    velocityGain = newVelocityGain;
    startLevel += sound::startLevelStep;

    // The attack rises from whatever level the voice still has.
    if (attackStep > 0.0f)
    {
        ampState = AmpStage::attack;
    }
    else if (decayStep > 0.0f)
    {
        ampState = AmpStage::decay;
        ampLevel = 1.0f;
    }
    else
    {
        ampState = AmpStage::sustain;
        ampLevel = sustain;
    }

    sound::ExponentialEnvelope::gateOn (filterEnvLevel, filterEnvTarget, filterEnvCoef, filterAttackCoef);
}

void Voice::release() noexcept
{
    sound::ExponentialEnvelope::gateOff (filterEnvTarget, filterEnvCoef, filterReleaseCoef);

    if (ampState == AmpStage::idle)
        return;

    if (releaseTime > 0.0f)
    {
        ampState = AmpStage::release;
    }
    else
    {
        ampLevel = 0.0f;
        ampState = AmpStage::idle;
    }
}

void Voice::resetVoice() noexcept
{
    note = 0;
    phase = 0.0f;
    subPhase = 0.0f;

    for (auto& lfo : lfos)
        lfo.phase = 0.0f;

    stage1 = stage2 = stage3 = stage4 = 0.0;
    startLevel = 0.0f;
    filterEnvLevel = 0.0f;
    filterEnvTarget = 0.0f;
    filterEnvCoef = 0.0f;
}

//==============================================================================
Synth::Synth (IProcessor& o) : owner (o)
{
    voices.reserve (voice_lanes::numLanes);
    for (int i = 0; i < voice_lanes::numLanes; ++i)
        voices.emplace_back (owner, &waveTables);

    useKernel (fastestKernel());
}

void Synth::render (float** outputs, int numSamples, OutputFilter* outputFilter, float* filtered) noexcept
{
    // Block processing already flushes denormals; this keeps any other caller from meeting slow subnormal
    // filter states when a voice plays a silent table.
    juce::ScopedNoDenormals noDenormals;

    const auto& filter = owner.filterConfigs;
    const float q = filter[FilterIndex::q].currentValue;
    const float freq = filter[FilterIndex::freq].currentValue;
    const int type = (int) filter[FilterIndex::type].currentValue.load();

    for (auto& voice : voices)
    {
        if (voice.ampState == AmpStage::idle)
            continue;

        voice.playPeriod = voice.period * pitchBend;
        voice.updateOscillatorSteps();
        voice.voiceGlideCoefficient = glideCoefficient;
        voice.resonance = q;
        voice.cutoffHz = freq;
        voice.pendingFilterType = type;
    }

    float* left = outputs[0];
    float* right = outputs[1];
    auto controlStepDone = false;
    const auto done = kernel != VoiceKernel::scalar
                          ? renderLanes (left, right, numSamples, controlStepDone, outputFilter, filtered)
                          : 0;
    renderVoices (left, right, done, numSamples, controlStepDone);

    if (outputFilter != nullptr && done < numSamples)
        outputFilter->process (left + done, filtered + done, numSamples - done);

    for (auto& voice : voices)
        if (voice.ampState == AmpStage::idle)
            voice.ampLevel = 0.0f;

    if (currentVoice >= 0 && currentVoice < (int) voices.size()
        && voices[(size_t) currentVoice].ampState != AmpStage::idle)
        owner.handleFilterFreqModulation (voices[(size_t) currentVoice].cutoff);
}

void Synth::renderVoices (float* left, float* right, int from, int numSamples, bool firstControlStepDone) noexcept
{
    for (int i = from; i < numSamples; ++i)
    {
        if (i > from || !firstControlStepDone)
            updateParameters();

        float sum = 0.0f;

        for (auto& voice : voices)
            if (voice.ampState != AmpStage::idle)
                sum += voice.render();

        left[i] = sum;

        if (right != nullptr)
            right[i] = sum;
    }
}

void Synth::updateParameters() noexcept
{
    if (controlCountdown-- > 1)
        return;

    controlCountdown = controlInterval;

    // Every voice reads the same parameters: once for all of them.
    Voice::ControlValues values;

    for (const auto& voice : voices)
    {
        if (voice.isRefreshed())
        {
            voices[0].readControlValues (values);
            break;
        }
    }

    controlStep (values);
}

void Synth::controlStep (const Voice::ControlValues& values) noexcept
{
    for (auto& voice : voices)
    {
        if (voice.isRefreshed())
        {
            voice.applyControlValues (values);
            voice.playPeriod = voice.period * pitchBend;

            // From the values themselves rather than the fields just written, which the CPU would have to wait for.
            voice.updateOscillatorSteps (voice.playPeriod,
                                         values.imageFineTune,
                                         values.subFineTune,
                                         values.subOctaveFactor);
        }
    }

    const auto& amp = owner.adsrVoiceConfigs;
    const float attack = amp[AdsrIndex::attack].currentValue;
    const float decay = amp[AdsrIndex::decay].currentValue;
    const float sustainLevel = amp[AdsrIndex::sustain].currentValue;
    const float release = amp[AdsrIndex::release].currentValue;

    const auto& filterAdsr = owner.adsrFilterConfigs;
    const float fs = voiceSampleRate;
    // Exponentials of inputs that rarely change: worked out again only when an input did.
    const auto coefficient = [this, fs] (int which, float x)
    {
        auto& cached = filterCoefficientCache[which];
        if (!sameBits (x, cached.input) || !sameBits (fs, cached.rate))
        {
            cached.input = x;
            cached.rate = fs;
            cached.value = sound::envelopeCoefficient (x, fs);
        }
        return cached.value;
    };
    const float filterAttack = coefficient (0, filterAdsr[AdsrIndex::attack].currentValue);
    const float filterDecay = coefficient (1, filterAdsr[AdsrIndex::decay].currentValue);
    const float filterSustainLevel = filterAdsr[AdsrIndex::sustain].currentValue;
    const float filterRelease = coefficient (2, filterAdsr[AdsrIndex::release].currentValue);

    const float attackTime = attack / 20.0f;
    const float decayTime = decay / 20.0f;
    const float releaseTime = release / 5.0f;

    // The steps depend on the voice's envelope rate, which all voices normally share: compute once per rate.
    double stepsRate = std::numeric_limits<double>::quiet_NaN();
    float attackStep = 0.0f, decayStep = 0.0f, releaseMultiplier = 0.0f;

    for (auto& voice : voices)
    {
        voice.filterAttackCoef = filterAttack;
        voice.filterDecayCoef = filterDecay;
        voice.filterSustain = filterSustainLevel;
        voice.filterReleaseCoef = filterRelease;

        voice.attackTime = attackTime;
        voice.decayTime = decayTime;
        voice.sustain = sustainLevel;
        voice.releaseTime = releaseTime;

        if (voice.envelopeRate != stepsRate)
        {
            stepsRate = voice.envelopeRate;
            auto& cached = envelopeStepCache;

            if (!sameBits (attackTime, cached.attackTime) || !sameBits (decayTime, cached.decayTime)
                || !sameBits (sustainLevel, cached.sustainLevel) || !sameBits (releaseTime, cached.releaseTime)
                || !sameBits (stepsRate, cached.rate))
            {
                cached.attackTime = attackTime;
                cached.decayTime = decayTime;
                cached.sustainLevel = sustainLevel;
                cached.releaseTime = releaseTime;
                cached.rate = stepsRate;
                cached.attackStep = attackTime > 0.0f ? (float) (1.0 / ((double) attackTime * stepsRate)) : -1.0f;
                cached.decayStep = decayTime > 0.0f
                                       ? (float) ((1.0 - (double) sustainLevel) / ((double) decayTime * stepsRate))
                                       : -1.0f;
                cached.releaseMultiplier =
                    releaseTime > 0.0f ? (float) std::exp (sound::releaseLogStep / (stepsRate * releaseTime)) : 0.0f;
            }

            attackStep = cached.attackStep;
            decayStep = cached.decayStep;
            releaseMultiplier = cached.releaseMultiplier;
        }

        voice.attackStep = attackStep;
        voice.decayStep = decayStep;
        voice.releaseMultiplier = releaseMultiplier;
        voice.settleAmpStage (voice.ampState, voice.ampLevel);
    }
}

void Synth::noteOff (int note) noexcept
{
    auto& first = voices[0];

    // Mono: releasing the sounding key falls back to the most recent key still held, without a new attack.
    if (monoMode == 1 && first.note == note)
    {
        for (size_t i = 1; i < voices.size(); ++i)
        {
            auto& held = voices[i];

            if (held.note <= 0)
                continue;

            const int n = held.note;
            held.note = 0;

            first.targetPeriod = sound::heldNotePeriod (n, referencePeriod, owner.overSampleConfigs[0].raw());
            first.startLevel += sound::startLevelStep;
            first.note = n;
            break;
        }
    }

    for (auto& voice : voices)
    {
        if (voice.note != note)
            continue;

        if (sustainPedal)
        {
            voice.note = -1;
            continue;
        }

        voice.release();
        voice.note = 0;
    }
}
