#pragma once

#include <JuceHeader.h>

#include <atomic>
#include <vector>

/** A float that several threads read and one thread writes; readers accept whichever value was
    written last. Copyable so that parameter records stay plain values. */
class RelaxedFloat
{
public:
    RelaxedFloat (float initial = 0.0f) noexcept : value (initial) {}
    RelaxedFloat (const RelaxedFloat& other) noexcept : value (other.load()) {}
    RelaxedFloat& operator= (const RelaxedFloat& other) noexcept
    {
        store (other.load());
        return *this;
    }
    RelaxedFloat& operator= (float newValue) noexcept
    {
        store (newValue);
        return *this;
    }

    float load() const noexcept { return value.load (std::memory_order_relaxed); }
    void store (float newValue) noexcept { value.store (newValue, std::memory_order_relaxed); }
    operator float() const noexcept { return load(); }

private:
    std::atomic<float> value;
};

/** One automatable setting and the control that edits it. */
struct ParameterConfig
{
    juce::String name;
    juce::String paramID;
    float min = 0.0f;
    float max = 1.0f;
    float defaultValue = 0.0f;
    std::atomic<float>* value = nullptr; // live raw value held by the parameter tree
    RelaxedFloat currentValue;           // value after modulation, written once per block
    int type = 0;
    juce::StringArray choices;

    /** The live raw value. [any thread] */
    float raw() const noexcept { return value->load (std::memory_order_relaxed); }
};

using ParameterGroup = std::vector<ParameterConfig>;

/** Control kinds of ParameterConfig::type. */
namespace ParameterKind
{
enum
{
    rotary = 0,
    logRotary = 1,
    comboBox = 2,
    toggle = 3,
    choiceRotary = 4,
    barSlider = 5
};
}

/** Names the three modulation matrices. */
enum class ModType
{
    LFO = 0,
    Env = 1,
    Midi = 2
};

/** "Mod_" + source + "_" + target: the parameter ID of one matrix cell. */
juce::String createParamIDforMatrix (juce::String source, juce::String target);

/** Names of the second oscillator's waveforms. */
static const juce::StringArray OscMainWaveString{ "Sin", "Saw", "Square", "Triangle", "Noise" };

/** The presets file's name and the key of its preset array. */
extern const juce::String pluginPresetFileCheckName;

/** Guards the four pictures. Taken by picture loading, the image thread's passes and the editor's picture view; the
    audio thread takes it only for a block the host renders offline, never in a real-time one. */
extern juce::SpinLock spinCriticalSection;
/** Guards the eight picture wavetables. */
extern juce::SpinLock spinCriticalSectionLoadWaveBuffer;

constexpr int numModulationTargets = 79;
constexpr int numModulationSources = 4;
constexpr int numMatrixCells = numModulationTargets * numModulationSources;
constexpr int numLfos = 4;
constexpr int numModEnvelopes = 4;

/** The fixed parameter tables and the engine's calls back into the processor. */
class IProcessor
{
public:
    IProcessor();
    virtual ~IProcessor() = default;

    /** Refills one picture wavetable from the brightness grid. [audio thread] */
    virtual void handleWavetableSampleSelection (int index) = 0;
    /** Counts held notes and gates the modulation envelopes. [audio thread] */
    virtual void updateMidiNumber (bool noteOn) = 0;
    /** Shows the current voice's cut-off on the "Freq" control. [audio thread] */
    virtual void handleFilterFreqModulation (float normalisedCutoff) = 0;
    /** Sets one of the MIDI modulation sources. [audio thread] */
    virtual void midiControllerModulation (int source, float value) = 0;

    juce::StringArray filterTypeNames;
    ParameterGroup intervalConfigs;
    ParameterGroup adsrVoiceConfigs;
    ParameterGroup adsrFilterConfigs;
    ParameterGroup filterConfigs;
    ParameterGroup globalSynthConfigs;
    ParameterGroup overSampleConfigs;
    std::vector<ParameterGroup> lfoConfigs;
    std::vector<ParameterGroup> envConfigs;
    std::vector<float> noteLengthBeats;
    ParameterGroup lfoMatrixConfigs;
    ParameterGroup envMatrixConfigs;
    ParameterGroup midiMatrixConfigs;
    std::unordered_map<juce::String, int> parameterIndex;
    int voiceVelocityShift[8]{};
    float bpm = 120.0f;
    /** LFO i's rate in cycles per second, as the processor's LFOs and the voices' take it: with "LFOSync" on,
        the note value of "LFORateDiscrete" (limited to the list) at the tempo, else "LFORate". [audio thread] */
    float lfoRate (int i) const noexcept;

    /** Draws the random LFO shapes' held values (the processor's LFOs and the voices') and the "Rand" MIDI source:
        one generator per instance, seeded from its address and the time, so that instances on different audio
        threads never share one. [audio thread] */
    juce::Random modulationRandom;

    JUCE_DECLARE_NON_COPYABLE (IProcessor)
};

// Positions of records inside their groups, so that engine code reads by position and never by ID.
// clang-format off
namespace AdsrIndex { enum { attack = 0, decay, sustain, release }; }
namespace FilterIndex { enum { freq = 0, q, type }; }
namespace AffineIndex { enum { rotate = 0, zoom, hSkew, vSkew, upDown, leftRight }; }
namespace IntervalIndex { enum { centreX = 0, centreY, shift, typeCircle, smooth }; }
namespace GlobalIndex
{
    enum
    {
        gain = 0,
        mono,
        hiFidel,
        glide,
        octave,
        veloShift,
        subBass,
        subBassOc,
        oscType,
        fineTuneImg,
        fineTuneMain,
        ignoreVel
    };
}
namespace LfoIndex { enum { rate = 0, amount, offset, sync, type, rateDiscrete, retrigger }; }
// clang-format on
