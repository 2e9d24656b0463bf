#pragma once

// The small formulas the processor's modulation sources and the voices share, each written once. Not for the
// vector kernels (they include SoundConstants.h only): their lanes do these operations in the same order, and the
// golden-output test holds them to these functions' results.

#include "SoundConstants.h"

#include <JuceHeader.h>

#include <cmath>

namespace sound
{
/** One value of LFO shape `shape` (LfoShape) at phase p, 0 <= p < 1; heldValue is the random shape's. */
inline float lfoShapeValue (int shape, float p, float heldValue) noexcept
{
    switch (shape)
    {
        case LfoShape::sine:
            return std::sin (twoPi * p);
        case LfoShape::saw:
            return 1.0f - 2.0f * p;
        case LfoShape::square:
            return p < 0.5f ? 1.0f : -1.0f;
        case LfoShape::triangle:
            return 1.0f - 4.0f * std::abs (p - 0.5f);
        case LfoShape::random:
            return heldValue;
        default:
            return 0.0f;
    }
}

/** An LFO's phase moved on by advance and wrapped into 0..1, and whether the random shape draws a new held value
    there: when the cycle wrapped (the moved phase reached 1, or the new phase lies below the old one). */
struct LfoAdvance
{
    float phase;
    bool drawsHeldValue;
};

inline LfoAdvance advanceLfoPhase (int shape, float phase, float advance) noexcept
{
    const float moved = phase + advance;
    const float wrapped = moved - std::floor (moved);
    return { wrapped, shape == LfoShape::random && (moved >= 1.0f || wrapped < phase) };
}

/** A new held value of the random LFO shape, or of the "Rand" MIDI source: uniform in [-1, 1). */
inline float randomBipolar (juce::Random& random) noexcept { return random.nextFloat() * 2.0f - 1.0f; }

/** How fast an exponential envelope of setting x (0..100) moves, per second. */
inline float envelopeSpeed (float x) noexcept { return std::exp (speedAtZero - speedSlope * x); }

/** The voices' filter-envelope coefficient of setting x at sampleRate: exp (-speed / rate). */
inline float envelopeCoefficient (float x, float sampleRate) noexcept
{
    return std::exp (-envelopeSpeed (x) / sampleRate);
}

/** The modulation envelopes' coefficient of setting x at the host rate: exp (-(1 / rate) x speed), the same curve
    as envelopeCoefficient but rounded its own way. */
inline float modulationEnvelopeCoefficient (float x, float hostRate) noexcept
{
    return std::exp (-(1.0f / hostRate) * envelopeSpeed (x));
}

/** The gates and the attack's hand-over of an exponential envelope, on whichever fields hold its level, target
    and coefficient. */
struct ExponentialEnvelope
{
    /** Note-on: the attack starts from a level raised a little. */
    static void gateOn (float& level, float& target, float& coefficient, float attackCoefficient) noexcept
    {
        level += startLevelStep;
        target = attackTarget;
        coefficient = attackCoefficient;
    }

    static void gateOff (float& target, float& coefficient, float releaseCoefficient) noexcept
    {
        target = 0.0f;
        coefficient = releaseCoefficient;
    }

    /** Once the attack has passed level 1, the decay takes over towards the sustain level. */
    static void handOverToDecay (
        float level, float& target, float& coefficient, float sustainLevel, float decayCoefficient) noexcept
    {
        if (level + target > attackHandOver)
        {
            target = sustainLevel;
            coefficient = decayCoefficient;
        }
    }
};

/** A "HiFidel" grid coordinate limited to 0..511; NaN goes to 0. */
inline float clampToGrid (float coordinate) noexcept
{
    return coordinate > 0.0f ? (coordinate < 511.0f ? coordinate : 511.0f) : 0.0f;
}

/** The integer part of a "HiFidel" circle centre coordinate. Wild values (NaN included) are first brought near the
    grid, which changes nothing that a circle of radius up to 1,024 can read. */
inline float truncatedCentre (float coordinate) noexcept
{
    const float near = coordinate > -2048.0f ? (coordinate < 2048.0f ? coordinate : 2048.0f) : -2048.0f;
    return (float) (int) near;
}

/** period raised by octaves until it is at least shortestNotePeriod, then scaled by the oversampling factor that the
    raw "OverSample" choice selects (2^(choice + 1), in double). */
inline float periodAtOverSampling (float period, float overSampleChoice) noexcept
{
    // A period that is not positive would never get there by doubling.
    while (period < shortestNotePeriod && period > 0.0f)
        period *= 2.0f;

    return (float) ((double) period * std::pow (2.0, (double) overSampleChoice + 1.0));
}

/** The period, in voice samples, at which note-on starts note. */
inline float notePeriod (int note, float referencePeriod, float overSampleChoice) noexcept
{
    return periodAtOverSampling (std::exp ((float) -note * semitoneLogStep) * referencePeriod, overSampleChoice);
}

/** ln 2 in single precision, worked out once. */
inline const float lnTwo = std::log (2.0f);

/** The period to which the mono fallback of note-off takes a held note: the pitch of notePeriod, with the semitone
    step worked out as ln 2 / 12 (which rounds differently for about a quarter of the notes). */
inline float heldNotePeriod (int note, float referencePeriod, float overSampleChoice) noexcept
{
    return periodAtOverSampling (referencePeriod * std::exp (-(float) note * lnTwo / semitonesPerOctave),
                                 overSampleChoice);
}
} // namespace sound
