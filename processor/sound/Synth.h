#pragma once

// The voice engine: eight voices (Voice) rendered by the Synth, sample by sample in a plain loop or side by side in
// the lanes of a vector kernel (SynthLanes.cpp, kernels/). The words its code uses:
//
// How a host block is cut. processBlock renders a block in pieces of at most the prepared block size (the work
// buffer and the down-samplers hold no more), each at the oversampled rate of 2, 4 or 8 voice samples a host sample.
// The MIDI events cut a piece into stretches: each event acts between two of them, and one Synth::render call
// renders one stretch. A control step runs every controlInterval (32) voice samples, counted on across stretches
// and blocks: glide, the oscillators' tuning and the second one's level, the LFOs' shapes and rates, the filter
// type, the envelopes' coefficients and steps, and the amplitude stages these end (updateParameters, controlStep).
// A vector kernel renders a stretch in segments, each the samples up to the next control step or the stretch's end,
// at most 32; it works a segment the steady way when every phase and phase step is in [0, 2π) and no amplitude
// stage ends in it, and otherwise the general way, in which a lane may change stage at any sample. The plain loop
// renders whatever the kernels leave to it.
//
// A tick: each voice moves its cut-off LFOs once every 32 of its own samples. Its sampleCounter counts only while
// it sounds, so a voice's ticks fall where its own count says, not on the control steps.
//
// What is worked out ahead or kept:
// - The tick previews: before a segment, the tick each lane meets in it is worked out on the voice (previewLfoTick:
//   the LFO sum it gives and the phases it leaves); the kernel takes the sum at the tick's sample, and the phases go
//   to the voices after it. A voice whose LFOs hold the very bits of the last one worked out takes its preview. A
//   random LFO on the cut-off draws at its tick, in the order the voices tick, which no preview can do: the plain
//   loop renders from there.
// - The sine memo (LfoSineMemo): sin (2π p) of the LFO phases the previews met lately, found by the phase's bits.
// - The resting tables (the wavetable refill's RestingTables): once held notes have brought the wavetables to rest,
//   a refill gives back the very tables it was given; a refill with the same reads of the picture and the same
//   "Smooth" is then skipped.
// - Steps, coefficients and exponentials whose inputs rarely change, kept with those inputs (Voice, controlStep).
//
// Why caches compare bit patterns: every kernel (the plain loop, AVX2, AVX-512) must give the same samples, bit for
// bit, so a cache may hand back a result only for the very bits it was worked out from. 0.0 and -0.0 compare equal
// but divide to opposite infinities; NaNs compare unequal, even to themselves, and differ by payload. Caches whose
// inputs can come as -0.0 or NaN therefore compare bits (bit_patterns::sameBits, processor/BitPatterns.h).

#include "SoundConstants.h"
#include "processor/BitPatterns.h"
#include "processor/ParameterModel.h"
#include "processor/sound/kernels/VoiceLanes.h"

#include <cstdint>
#include <limits>

/** The five basic single-cycle shapes of the second oscillator, evaluated on the fly. */
struct WaveTableList
{
    WaveTableList();

    float sine (int u) const noexcept;
    float saw (int u) const noexcept;
    float triangle (int u) const noexcept;
    float square (int u) const noexcept;
    float noise() noexcept;

    /** The 512 points of periodic shape 0..3, or nullptr when the list is not of 512 points. */
    const float* shapeTable (int shape) const noexcept
    {
        return size == tableSize && shape >= 0 && shape < numPeriodicShapes ? shapeTables[shape] : nullptr;
    }

    /** Shape 0 sine, 1 saw, 2 square or 3 triangle at point u (0 <= u < 512), from tables made once: the
        second oscillator asks for one every sample. */
    float periodicShape (int shape, int u) const noexcept
    {
        jassert (shape >= 0 && shape < numPeriodicShapes && u >= 0 && u < tableSize);
        if (size == tableSize)
            return shapeTables[shape][u];

        return shape == 0 ? sine (u) : shape == 1 ? saw (u) : shape == 2 ? square (u) : triangle (u);
    }

    juce::Random random;
    int size = 512;

    static constexpr int numPeriodicShapes = 4;

private:
    static constexpr int tableSize = 512;
    float shapeTables[numPeriodicShapes][tableSize];
};

/** One of a voice's four private LFOs that move its filter cut-off. */
struct VoiceLfo
{
    float phase = 0.0f;
    float rateHz = 1.0f;
    float phaseStep = 0.0f;
    float heldValue = 0.0f;
    float offset = 0.0f;
    int waveform = LfoShape::sine;
    double tickRate = 44100.0;
};

/** sin (2π p) of the LFO phases met lately: the cut-off LFOs of voices started a few ticks apart run through the same
    phases, each a few ticks after the other. [audio thread] */
class LfoSineMemo
{
public:
    float sine (float phase) noexcept;

private:
    struct Entry
    {
        std::uint32_t phaseBits = 0;
        float value = 0.0f;
        bool valid = false;
    };

    Entry entries[256];
};

/** One voice: picture oscillator (or the grid itself), second oscillator, filter with its
    envelope, four cut-off LFOs and a linear amplitude envelope. Runs on the audio thread only. */
class Voice
{
public:
    Voice (IProcessor& owner, WaveTableList* list);

    /** Takes the host rate (not oversampled). [thread that prepares the processor] */
    void prepareToPlay (int sampleRate);
    /** One output sample at the oversampled rate. [audio thread] */
    float render() noexcept;
    /** Control-rate refresh. [audio thread] */
    void updateParameters() noexcept;

    /** What a control step reads from the parameters: the same for every voice of one step. */
    struct ControlValues
    {
        float subLevel = 0.0f;
        int subOctaveFactor = 1;
        float subFineTune = 0.0f, imageFineTune = 0.0f;
        int lfoWaveform[4]{};
        float lfoRate[4]{};
    };

    /** Reads the control step's parameter values. [audio thread] */
    void readControlValues (ControlValues& values) noexcept;
    /** The control step with values read by any voice: glide, second oscillator, LFO steps, filter type.
        [audio thread] */
    void applyControlValues (const ControlValues& values) noexcept;
    /** True when the control steps refresh this voice: once it has played a note since the last reset. */
    bool isRefreshed() const noexcept { return startLevel > sound::startedLevel; }
    /** One control step's glide of period towards targetPeriod; true when it left the period as it was, bit for
        bit. [audio thread] */
    bool glide() noexcept
    {
        const auto before = period;
        period += (targetPeriod - period) * voiceGlideCoefficient;
        return bit_patterns::sameBits (before, period);
    }
    /** The stage changes a control step makes once the amplitude envelope's steps are set: a release or attack
        without a step ends at once, a decay without a step or already at the sustain level ends. state and level
        are this voice's ampState and ampLevel, wherever they are kept while it renders. [audio thread] */
    void settleAmpStage (int& state, float& level) const noexcept
    {
        if (state == AmpStage::release && releaseMultiplier <= 0.0f)
        {
            level = 0.0f;
            state = AmpStage::idle;
        }
        else if (state == AmpStage::decay && (decayStep <= 0.0f || sustain >= level))
        {
            state = AmpStage::sustain;
        }
        else if (state == AmpStage::attack && attackStep <= 0.0f)
        {
            state = decayStep > 0.0f ? AmpStage::decay : AmpStage::sustain;
        }
    }
    /** Starts the note at its own pitch (no glide) and both envelopes, as note-on does. [audio thread] */
    void start (float newPeriod, int newNote, float newVelocityGain) noexcept;
    /** Starts the release of both envelopes the way a note-off does; leaves `note` alone. [audio thread] */
    void release() noexcept;
    /** Clears note, oscillator and filter state, start level and filter envelope; keeps the amplitude envelope.
        [audio thread, or the thread that prepares the processor] */
    void resetVoice() noexcept;

    IProcessor& owner;
    int filterTargetIndex = 0;
    int note = 0; // 0 = free, -1 = held by the sustain pedal
    float period = 100.0f;
    float targetPeriod = 100.0f;
    WaveTableList* waveTables = nullptr;
    float playPeriod = 100.0f;
    float velocityGain = 1.0f;
    double semitoneRatio = sound::semitoneRatio;

    float subPhase = 0.0f;
    float subPhaseStep = 0.0f;
    float subLevel = 0.0f;
    int subOctaveFactor = 1;
    float subFineTune = 0.0f;
    float imageFineTune = 0.0f;

    float phase = 0.0f;
    float phaseStep = 0.0f;
    float startLevel = 0.0f;

    double lastCutoff = 0.99;
    int filterType = FilterType::lowPass;
    double stage1 = 0.0, stage2 = 0.0, stage3 = 0.0, stage4 = 0.0;

    float filterAttackCoef = 0.99f;
    float filterDecayCoef = 0.95f;
    float filterSustain = 0.7f;
    float filterReleaseCoef = 0.9f;
    float filterEnvLevel = 0.0f;
    float filterEnvTarget = 0.0f;
    float filterEnvCoef = 0.0f;

    float cutoff = 0.001f;
    int pendingFilterType = 0;
    float cutoffHz = 0.0f;
    float resonance = 0.2f;
    float voiceGlideCoefficient = 1.0f;

    const std::atomic<float>* grid = nullptr;
    float scanCentre[2]{ 0.0f, 0.0f };
    float scanRow = 0.0f;
    bool scanCircle = false;

    VoiceLfo lfos[4];

    float releaseMultiplier = 0.9984365701675415f;
    int ampState = AmpStage::idle;
    float attackTime = 0.1f;
    float decayTime = 0.1f;
    float sustain = 1.0f;
    float releaseTime = 0.1f;
    double envelopeRate = 44100.0;
    float ampLevel = 0.0f;
    float attackStep = 1.0f / 4410.0f;
    float decayStep = 0.0f;

    juce::AudioBuffer<float>* wavetable = nullptr;

    int sampleCounter = 0;
    int sampleRate = 44100;
    float lfoSum = 0.0f;

private:
    friend class Synth;

    float pictureOscillator() noexcept;
    float secondOscillator() noexcept;
    float gridOscillator() noexcept;
    void tickLfos() noexcept;
    /** The next LFO tick's sum and new phases, with the LFOs' depths on the cut-off and amounts as read for this
        tick, without applying them; false (and nothing worked out) when a random LFO that reaches the cut-off would
        draw a new value. */
    bool previewLfoTick (
        float& sum, float* newPhases, const float* depths, const float* amounts, LfoSineMemo& sines) const noexcept;
    /** True when every LFO of this voice holds what the same LFO of other holds: their next ticks give the same. */
    bool lfosStandLike (const Voice& other) const noexcept;

    /** The oscillator steps follow playPeriod and the fine tunes, which change only at stretch starts and
        control steps; the synth calls this right after changing them. */
    void updateOscillatorSteps() noexcept;
    void updateOscillatorSteps (float stepPeriod, float imageTune, float subTune, int subOctave) noexcept;

    // Values that need a division or a power but whose inputs change rarely: recomputed only when an input
    // changed (NaN keys force the first computation).
    float pictureStepPeriod = std::numeric_limits<float>::quiet_NaN();
    float pictureStepFineTune = std::numeric_limits<float>::quiet_NaN();
    float pictureStep = 0.0f;
    float subStepPeriod = std::numeric_limits<float>::quiet_NaN();
    float subStepFineTune = std::numeric_limits<float>::quiet_NaN();
    int subStepOctaveFactor = 0;
    float subStep = 0.0f;
    float gridStepPeriod = std::numeric_limits<float>::quiet_NaN();
    float gridStep = 0.0f;
    float subOctaveKey = std::numeric_limits<float>::quiet_NaN();
    int subOctaveValue = 1;
    struct LfoStep
    {
        float rate = std::numeric_limits<float>::quiet_NaN();
        double tickRate = std::numeric_limits<double>::quiet_NaN();
        float value = 0.0f;
    };
    LfoStep lfoSteps[4];
    double feedbackCoefficient = std::numeric_limits<double>::quiet_NaN();
    float feedbackResonance = std::numeric_limits<float>::quiet_NaN();
    double feedback = 0.0;
};

/** The ways the voices can be rendered: the plain loop over the voices, or all eight voices at once in the
    lanes of the vector kernel built for AVX2 or for AVX-512. All give the same samples, bit for bit. */
enum class VoiceKernel
{
    scalar,
    avx2,
    avx512
};

/** A second-order filter (the framework's terms and order) run over the voices' sum as it is rendered. */
struct OutputFilter
{
    float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
    float lv1 = 0.0f, lv2 = 0.0f;

    /** output[i] = the filtered input[i]. */
    void process (const float* input, float* output, int numSamples) noexcept
    {
        // In locals, so that the state never waits on a store to memory the output might share.
        auto s1 = lv1, s2 = lv2;
        const auto c0 = b0, c1 = b1, c2 = b2, d1 = a1, d2 = a2;

        for (int i = 0; i < numSamples; ++i)
        {
            const auto in = input[i];
            const auto out = (in * c0) + s1;
            output[i] = out;
            s1 = (in * c1) - (out * d1) + s2;
            s2 = (in * c2) - (out * d2);
        }

        lv1 = s1;
        lv2 = s2;
    }
};

/** The eight-voice engine. Runs on the audio thread only. */
class Synth
{
public:
    explicit Synth (IProcessor& owner);

    /** True when this CPU can run the kernel. [any thread] */
    static bool canRun (VoiceKernel kernel) noexcept;
    /** The fastest kernel this CPU runs; the synth starts with it. [any thread] */
    static VoiceKernel fastestKernel() noexcept;
    /** Renders with kernel from the next render on (ignored when the CPU cannot run it). [thread that prepares the
        processor, or the audio thread between blocks] */
    void useKernel (VoiceKernel kernel) noexcept;
    VoiceKernel kernelInUse() const noexcept { return kernel; }

    /** Renders all sounding voices; outputs[1] may be null for a one-channel buffer. With outputFilter, the
        sum also goes through it into filtered (at the same positions as outputs[0]). [audio thread] */
    void
    render (float** outputs, int numSamples, OutputFilter* outputFilter = nullptr, float* filtered = nullptr) noexcept;
    /** Control-rate work, every controlInterval calls. [audio thread] */
    void updateParameters() noexcept;
    /** Releases note; -1 releases the voices held by the sustain pedal. [audio thread] */
    void noteOff (int note) noexcept;

    IProcessor& owner;
    WaveTableList waveTables;
    float referencePeriod = 440.0f;
    int monoMode = 8;
    int controlInterval = 32;
    float glideCoefficient = 1.0f;
    int currentVoice = 0;
    int hostSampleRate = 44100;
    float voiceSampleRate = 44100.0f;
    std::vector<Voice> voices;
    int controlCountdown = 32;
    float pitchBend = 1.0f;
    bool sustainPedal = false;
    const std::atomic<float>* grid = nullptr;

private:
    /** The plain loop over the voices from sample `from` on; the control step of that first sample is skipped when
        it already ran. */
    void renderVoices (float* left, float* right, int from, int numSamples, bool firstControlStepDone) noexcept;
    /** Renders with the vector kernel for as long as it may; returns the number of samples rendered. Sets
        controlStepDone when it stopped right after the control step of the sample it returns. */
    int renderLanes (float* left,
                     float* right,
                     int numSamples,
                     bool& controlStepDone,
                     OutputFilter* outputFilter,
                     float* filtered) noexcept;
    /** Copies the sounding voices' wavetables side by side for the kernel; false when a table or the second
        oscillator's shape cannot be read so, or the second oscillator plays noise, which draws for every voice and
        sample in voice order. */
    bool setUpPictureLanes (voice_lanes::Setup& setup) noexcept;
    /** Points the kernel at the grid every sounding voice reads, with each lane's line or circle; false when they do
        not all read one grid the same way. */
    bool setUpGridLanes (voice_lanes::Setup& setup) noexcept;
    /** The stretch's first control step in the lanes: on the voices themselves, with the lanes' amplitude envelopes,
        and the lanes' controls loaded from it. */
    void firstLaneControlStep (const Voice::ControlValues& values, bool hiFidel) noexcept;
    /** Works out the tick of every lane whose tick falls within the next length samples (the tick previews); false
        when one would draw a random value. */
    bool previewLaneTicks (int length, const float* depths, const float* amounts) noexcept;
    /** The previewed LFO phases into the voices whose lanes ticked. */
    void takeTickedLfoPhases (const int* ticked) noexcept;
    /** The control step with the parameter values read for it. */
    void controlStep (const Voice::ControlValues& values) noexcept;
    /** A control step that follows another one of the same stretch, with the same parameter values: all it can
        change is the glide, the oscillator steps that follow it and the amplitude stages, which it settles in the
        lanes. */
    void repeatControlStep (bool hiFidel) noexcept;
    void loadLanes() noexcept;
    void storeLanes() noexcept;
    void loadLaneControls (bool hiFidel) noexcept;

    // The control step's exponentials and divisions, kept with the inputs they were worked out from.
    struct FilterCoefficient
    {
        float input = std::numeric_limits<float>::quiet_NaN(), rate = 0.0f, value = 0.0f;
    };
    FilterCoefficient filterCoefficientCache[3];
    struct EnvelopeSteps
    {
        float attackTime = std::numeric_limits<float>::quiet_NaN(), decayTime = 0.0f, sustainLevel = 0.0f,
              releaseTime = 0.0f;
        double rate = 0.0;
        float attackStep = 0.0f, decayStep = 0.0f, releaseMultiplier = 0.0f;
    };
    EnvelopeSteps envelopeStepCache;

    LfoSineMemo lfoSines;
    VoiceKernel kernel = VoiceKernel::scalar;
    voice_lanes::Kernel laneKernel = nullptr;
    voice_lanes::State laneState{};
    voice_lanes::Controls laneControls{};
    alignas (64) float laneTables[voice_lanes::numLanes * voice_lanes::tableSize
                                  + 16]{}; // a pair read past the last point stays inside
    float pendingLfoPhases[voice_lanes::numLanes][numLfos]{};
};
