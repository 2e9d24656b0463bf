#pragma once

// The sound's constants and its stage and shape numbers, named once for the processor, the voices and the vector
// kernels. Values only, no code: the kernels are built for other instruction sets and include this too.

namespace sound
{
/** One full cycle of every phase: 2π in single precision. */
constexpr float twoPi = 6.2831855f;
/** π in single precision, widened: the picture oscillator works its step out in double from this. */
constexpr double singlePrecisionPi = 3.1415927410125732;

/** 2^(1/12): the frequency ratio of one semitone, as the fine tunes use it. */
constexpr double semitoneRatio = 1.0594630943592953;
/** ln 2 / 12 to ten digits: one semitone as a step of the natural logarithm of a period. */
constexpr float semitoneLogStep = 0.0577622652f;
/** Semitones of one octave. */
constexpr float semitonesPerOctave = 12.0f;
/** The period of MIDI note 0 in voice samples is this many times the voices' rate (1 / 8.1758 Hz). */
constexpr double referencePeriodPerRate = 0.12231232970952988;
/** With the "Octave" choice "0", note 0 lies this many semitone steps from the voices' rate: note 69 then sounds
    two octaves below concert pitch. */
constexpr float octaveZeroExponent = -36.37630081176758f;
/** A note's period below this many samples is raised by octaves. */
constexpr float shortestNotePeriod = 6.0f;

/** The frequency, in Hz, that a normalised cut-off of 1 stands for. */
constexpr float cutoffScale = 22000.0f;
/** The normalised cut-off's limits, and the filter coefficient's (in double). */
constexpr float lowestCutoff = 0.001f;
constexpr float highestCutoff = 1.0f;
constexpr double lowestFilterCoefficient = 0.001;
constexpr double highestFilterCoefficient = 0.99;

/** What every note-on adds to a voice's start level and to the level of an exponential envelope it gates on. */
constexpr float startLevelStep = 0.0002f;
/** A voice whose start level is above this has played a note since its last reset. */
constexpr float startedLevel = 0.0001f;

/** The exponential envelopes (the voices' filter envelope, the four modulation envelopes) keep their stage in the
    target: this while attacking, the sustain level while decaying or sustaining, 0 while releasing. */
constexpr float attackTarget = 2.0f;
/** Level plus target above this: the attack has passed level 1 and hands over to the decay. */
constexpr float attackHandOver = 3.0f;
/** An exponential envelope of setting x (0..100) moves at exp (speedAtZero - speedSlope x) per second. */
constexpr float speedAtZero = 5.5f;
constexpr float speedSlope = 0.075f;
/** The amplitude envelope's release falls by this natural-log step over its release time (1 to 0.001). */
constexpr double releaseLogStep = -6.9;
/** At or below this level a release has ended. */
constexpr float releaseEndLevel = 0.001f;
} // namespace sound

/** The stages of a voice's linear amplitude envelope (`Voice::ampState`); other values hold the level as it is. */
namespace AmpStage
{
enum : int
{
    idle = 0,
    attack = 1,
    decay = 2,
    sustain = 3,
    release = 4
};
}

/** The LFO shapes (the processor's LFOs and the voices' cut-off LFOs); other values give 0. */
namespace LfoShape
{
enum : int
{
    sine = 0,
    saw = 1,
    square = 2,
    triangle = 3,
    random = 4
};
}

/** The second oscillator's shapes ("2OscType"); other values give 0. */
namespace OscillatorShape
{
enum : int
{
    sine = 0,
    saw = 1,
    square = 2,
    triangle = 3,
    noise = 4
};
}

/** The voice filter's outputs ("Type"); other values give 0. */
namespace FilterType
{
enum : int
{
    lowPass = 0,
    highPass = 1,
    bandPass = 2
};
}
