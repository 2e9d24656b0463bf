#include "PluginProcessor.h"
#include "processor/sound/SoundFormulas.h"

namespace
{
/** The velocity the note gain is computed from when "IgnoreVel" is on. */
constexpr int ignoredVelocity = 80;
} // namespace

//==============================================================================
void OstrelAudioProcessor::handleMidiEvent (const juce::uint8* data, int numBytes)
{
    if (numBytes < 1 || numBytes > 3)
        return;

    const int data1 = numBytes > 1 ? data[1] : 0;
    const int data2 = numBytes > 2 ? data[2] : 0;

    // Every channel is handled alike.
    switch (data[0] & 0xF0)
    {
        case 0x80:
            handleNoteOff (data1 & 0x7F);
            break;

        case 0x90:
            if ((data2 & 0x7F) == 0)
                handleNoteOff (data1 & 0x7F);
            else
                startNote (data1 & 0x7F, data2 & 0x7F);
            break;

        case 0xB0:
            handleController (data1, data2);
            break;

        case 0xD0:
            midiControllerModulation (1, (float) (data1 * data1) * 0.0001f);
            break;

        case 0xE0:
        {
            // A factor on the period: about two semitones either way.
            const auto bend = data2 * 128 + data1 - 8192;
            synth.pitchBend = std::exp ((float) bend * -1.4102e-5f);
            break;
        }

        default:
            break;
    }
}

void OstrelAudioProcessor::handleReleaseEvent (const juce::uint8* data, int numBytes)
{
    if (numBytes < 1 || numBytes > 3)
        return;

    const int status = data[0] & 0xF0;
    const int data1 = numBytes > 1 ? data[1] : 0;
    const int data2 = numBytes > 2 ? data[2] : 0;

    const auto isNoteOff = status == 0x80 || (status == 0x90 && (data2 & 0x7F) == 0);
    const auto releasesVoices = status == 0xB0 && (data1 == 64 || (data1 >= 120 && data1 <= 127));

    if (isNoteOff || releasesVoices)
        handleMidiEvent (data, numBytes);
}

void OstrelAudioProcessor::handleNoteOff (int note)
{
    updateMidiNumber (false);
    synth.noteOff (note);
}

void OstrelAudioProcessor::handleController (int number, int value)
{
    if (number == 1)
    {
        midiControllerModulation (2, (float) (value * value) * 0.000005f);
    }
    else if (number == 64)
    {
        synth.sustainPedal = value >= 64;
        if (value <= 63)
            synth.noteOff (-1);
    }
    else if (number >= 120 && number <= 127)
    {
        // The amplitude envelopes keep their level, so sounding voices fade out rather than click; they are
        // released, since with their notes cleared no note-off could ever end them.
        for (auto& voice : synth.voices)
        {
            voice.resetVoice();
            voice.release();
        }

        synth.sustainPedal = false;
    }
}

void OstrelAudioProcessor::startNote (int note, int velocity)
{
    const auto gainVelocity = globalSynthConfigs[GlobalIndex::ignoreVel].raw() != 0.0f ? ignoredVelocity : velocity;

    midiControllerModulation (0, (float) velocity);

    const auto period = sound::notePeriod (note, synth.referencePeriod, overSampleConfigs[0].raw());

    const auto veloShift = globalSynthConfigs[GlobalIndex::veloShift].raw();
    const auto applyVelocityShift = [this, velocity, veloShift] (int voiceIndex)
    {
        voiceVelocityShift[voiceIndex] = (int) ((float) (velocity - 64) * veloShift);
        handleWavetableSampleSelection (voiceIndex);
        updateScanGeometry (voiceIndex);
    };

    auto& voices = synth.voices;
    int chosen = 0;

    if (synth.monoMode == 1)
    {
        if (veloShift != 0.0f)
            applyVelocityShift (0);

        if (voices[0].note > 0)
        {
            // Legato: the held notes move up through voices 1..7, newest first, for the note-off fallback.
            for (int i = numVoices - 1; i >= 1; --i)
            {
                const auto shiftedNote = voices[(size_t) i - 1].note;
                auto& voice = voices[(size_t) i];
                voice.release();
                voice.note = shiftedNote;
            }

            auto& voice = voices[0];
            voice.targetPeriod = period;
            voice.startLevel += sound::startLevelStep;
            voice.note = note;

            updateMidiNumber (true);
            return;
        }
    }
    else
    {
        chosen = -1;
        for (int i = 0; i < numVoices; ++i)
        {
            if (voices[(size_t) i].ampState == AmpStage::idle)
            {
                chosen = i;
                break;
            }
        }

        if (chosen < 0)
        {
            // The quietest voice, releasing ones counting half; voices 1..7 are never cut in their attack.
            const auto scoreOf = [&voices] (int i)
            {
                const auto& voice = voices[(size_t) i];
                if (voice.ampState == AmpStage::attack)
                    return i == 0 ? 1.0f : std::numeric_limits<float>::infinity();

                const auto score = voice.ampState == AmpStage::release ? voice.ampLevel * 0.5f : voice.ampLevel;
                return i == 0 ? std::min (score, 1.0f) : score;
            };

            chosen = 0;
            auto bestScore = scoreOf (0);
            for (int i = 1; i < numVoices; ++i)
            {
                if (const auto score = scoreOf (i); score < bestScore)
                {
                    bestScore = score;
                    chosen = i;
                }
            }
        }

        synth.currentVoice = chosen;

        if (veloShift != 0.0f)
            applyVelocityShift (chosen);
    }

    auto& voice = voices[(size_t) chosen];
    voice.start (period, note, ((float) ((gainVelocity + 64) * (gainVelocity + 64)) * 0.004f - 8.0f) / 100.0f);

    for (int i = 0; i < numLfos; ++i)
    {
        const auto& group = lfoConfigs[(size_t) i];
        if (group[LfoIndex::retrigger].raw() != 0.0f)
        {
            // Twice the offset (-2..2), wrapped into the cycle at once: the first control step reads the wave
            // before it advances the phase.
            const auto offset = group[LfoIndex::offset].raw();
            const auto start = 2.0f * offset;
            const auto wrapped = start - std::floor (start);
            voice.lfos[i].phase = wrapped < 1.0f ? wrapped : 0.0f;
            voice.lfos[i].offset = offset;
        }
    }

    updateMidiNumber (true);
}

//==============================================================================
void OstrelAudioProcessor::updateMidiNumber (bool noteOn)
{
    if (noteOn)
    {
        ++heldNoteCount;

        for (auto& env : modEnvelopeStates)
            sound::ExponentialEnvelope::gateOn (env.level, env.target, env.coefficient, env.attackCoefficient);

        for (int i = 0; i < numLfos; ++i)
        {
            const auto& group = lfoConfigs[(size_t) i];
            if (group[LfoIndex::retrigger].raw() == 1.0f)
                lfoStates[i].phase = 2.0f * group[LfoIndex::offset].raw();
        }

        return;
    }

    heldNoteCount = juce::jmax (0, heldNoteCount - 1);

    if (heldNoteCount == 0)
    {
        for (auto& env : modEnvelopeStates)
            sound::ExponentialEnvelope::gateOff (env.target, env.coefficient, env.releaseCoefficient);
    }
}

void OstrelAudioProcessor::handleFilterFreqModulation (float normalisedCutoff)
{
    if (!juce::isPositiveAndBelow (freqTargetRow, numModulationTargets))
        return;

    // Skipped for this stretch while the message thread changes the listener table.
    const juce::SpinLock::ScopedTryLockType listenersLock (modulationListenersLock);
    if (listenersLock.isLocked())
        if (auto* listener = listenerForTarget[freqTargetRow])
            listener->setModulationValue (normalisedCutoff * sound::cutoffScale);
}

void OstrelAudioProcessor::midiControllerModulation (int source, float value)
{
    switch (source)
    {
        case 0:
            midiSourceValues[0] = value / 128.0f;
            midiSourceValues[3] = sound::randomBipolar (modulationRandom);
            break;
        case 1:
            midiSourceValues[1] = value;
            break;
        case 2:
            midiSourceValues[2] = (float) (value / 0.08);
            break;
        case 3:
            midiSourceValues[3] = value;
            break;
        default:
            break;
    }
}

//==============================================================================
void OstrelAudioProcessor::pushHostNote (const juce::MidiMessage& message) noexcept
{
    if (message.getRawDataSize() < 3)
        return;

    const auto* data = message.getRawData();
    if ((data[0] & 0xE0) != 0x80)
        return;

    const auto on = (data[0] & 0xF0) == 0x90 && (data[2] & 0x7F) != 0;
    hostNotes.push ({ (juce::uint8) (data[1] & 0x7F), on }); // a full queue drops the light, not the note
}
