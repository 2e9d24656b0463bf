#include "PluginProcessor.h"
#include "processor/sound/SoundFormulas.h"

namespace
{
/** Moves an LFO on by steps increments, wrapping into 0..1 and drawing a new held value when the cycle wraps. */
void advanceLfo (LfoState& lfo, float steps, juce::Random& random) noexcept
{
    const auto advance = sound::advanceLfoPhase (lfo.shape, lfo.phase, lfo.increment * steps);
    lfo.phase = advance.phase;

    if (advance.drawsHeldValue)
        lfo.heldValue = sound::randomBipolar (random);
}

float clampToRange (const ParameterConfig& config, float v) noexcept
{
    return v < config.min ? config.min : std::min (config.max, v);
}
} // namespace

//==============================================================================
void OstrelAudioProcessor::prepareToPlay (double sampleRate, int samplesPerBlock)
{
    const auto rate4 = (float) (std::pow (2.0, oversamplingOrder) * sampleRate);
    synth.voiceSampleRate = rate4;
    for (auto& voice : synth.voices)
        voice.sampleRate = (int) rate4;

    reset();

    synth.referencePeriod = (float) (rate4 * sound::referencePeriodPerRate);
    hostSampleRate = (float) sampleRate;

    preparedBlockSize = juce::jmax (1, samplesPerBlock);
    for (auto& oversampler : oversamplers)
    {
        oversampler->reset();
        oversampler->initProcessing ((size_t) preparedBlockSize);
    }

    for (auto& downsampler : downsamplers)
        if (downsampler != nullptr)
            downsampler->prepare (preparedBlockSize);

    for (auto& lfo : lfoStates)
    {
        lfo.sampleRate = sampleRate;
        lfo.increment = lfo.rate / (float) lfo.sampleRate;
        lfo.phase = 0.0f;
    }

    synth.hostSampleRate = (int) sampleRate;
    for (auto& voice : synth.voices)
        voice.prepareToPlay ((int) sampleRate);

    synth.grid = imageGrid;
    for (auto& voice : synth.voices)
        voice.grid = imageGrid;

    imageUpdateWanted.store (true);

    offlinePassSchedule.prepare (sampleRate);

    modalFilter.prepare (sampleRate);

    // The work buffer of the render step at the highest oversampling factor, with room for each output channel's
    // filtered copy, so that processBlock never allocates.
    oversampledBuffer.setSize (3, 8 * preparedBlockSize);
    oversampledBuffer.clear();

    // Both channels of the output low-pass share one set of coefficients; designing it here keeps its
    // allocations off the audio thread.
    outputLowPass.prepare (getSampleRate(), oversamplingOrder);

    reportOutputLatency();
}

void OstrelAudioProcessor::reset()
{
    for (auto& voice : synth.voices)
        voice.resetVoice();

    synth.pitchBend = 1.0f;
    synth.sustainPedal = false;
    synth.controlCountdown = 0;
}

//==============================================================================
void OstrelAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages)
{
    juce::ScopedNoDenormals noDenormals;
    const auto numSamples = buffer.getNumSamples();

    // There are no input channels, so every output channel is cleared.
    for (auto channel = getTotalNumInputChannels(); channel < buffer.getNumChannels(); ++channel)
        buffer.clear (channel, 0, numSamples);

    // Only the short messages a note can be: a longer one (SysEx) would have to be copied onto the heap.
    if (incomingMidiCallback)
        for (const auto metadata : midiMessages)
            if (metadata.numBytes <= 3)
                incomingMidiCallback (metadata.getMessage());

    buffer.clear();

    const juce::ScopedLock keyboardLock (keyboardMidiLock);

    midiMessages.addEvents (keyboardMidiBuffer, 0, numSamples, 0);
    keyboardMidiBuffer.clear();

    const auto octaveChoice = globalSynthConfigs[GlobalIndex::octave].raw();
    const auto octaveExponent = (octaveChoice - 2.0f) * -sound::semitonesPerOctave + sound::octaveZeroExponent;
    synth.referencePeriod = (float) (std::exp (octaveExponent * sound::semitoneLogStep)
                                     * (std::pow (2.0, oversamplingOrder) * hostSampleRate));

    synth.monoMode = globalSynthConfigs[GlobalIndex::mono].raw() == 1.0f ? 1 : 8;

    const auto glide = globalSynthConfigs[GlobalIndex::glide].raw();
    synth.glideCoefficient =
        glide < 2.0f
            ? 1.0f
            : 1.0f - std::exp (-((float) synth.controlInterval / hostSampleRate) * std::exp (6.0f - 0.07f * glide));

    auto* hostPlayHead = getPlayHead();
    if (hostPlayHead == nullptr)
    {
        // Nothing sounds without a transport, but releases still act: a lost note-off would leave its voice
        // hanging once the transport is back. The plug-in emits no MIDI, so the buffer goes back empty.
        for (const auto metadata : midiMessages)
            handleReleaseEvent (metadata.data, metadata.numBytes);

        midiMessages.clear();
        return;
    }

    bpm = 120.0f;
    std::optional<juce::int64> timelineSample; // where the block starts on the host's running timeline
    if (const auto position = hostPlayHead->getPosition())
    {
        if (const auto tempo = position->getBpm())
            bpm = (float) *tempo;

        if (position->getIsPlaying())
            if (const auto time = position->getTimeInSamples())
                timelineSample = *time;
    }

    updateModulatedValues (numSamples);

    // Offline, the picture follows the audio's time rather than the image thread's clock.
    if (isNonRealtime())
        transformPictureForOfflineBlock (numSamples, timelineSample);
    else
        offlinePassSchedule.realTimeBlock();

    refillWavetables();

    for (int i = 0; i < numVoices; ++i)
        updateScanGeometry (i);

    {
        // loadFile may be clearing the tables on the message thread.
        const juce::SpinLock::ScopedLockType tableLock (spinCriticalSectionLoadWaveBuffer);
        waveDisplayBuffer.write (wavetableBuffers[0].getReadPointer (0));
    }

    // A host may hand more samples than it announced: the oversamplers and the work buffer only hold
    // the prepared size, so such a block is rendered in consecutive pieces.
    const auto pieceSize = preparedBlockSize > 0 ? preparedBlockSize : numSamples;
    auto nextEvent = midiMessages.cbegin();
    const auto endEvent = midiMessages.cend();
    auto pieceStart = 0;

    do
    {
        const auto pieceLength = juce::jmin (pieceSize, numSamples - pieceStart);
        const auto lastPiece = pieceStart + pieceLength >= numSamples;
        renderPiece (buffer, nextEvent, endEvent, pieceStart, pieceLength, lastPiece);
        pieceStart += pieceLength;
    } while (pieceStart < numSamples);

    midiMessages.clear();

    updateDisplayFeeds (buffer);

    const auto gain = juce::Decibels::decibelsToGain (globalSynthConfigs[GlobalIndex::gain].raw() + 6.0f);
    if (gain != 1.0f)
        buffer.applyGain (gain);
}

//==============================================================================
void OstrelAudioProcessor::updateModulatedValues (int numSamples)
{
    const auto& routes = publishedRoutes.latest();

    bool hasLfoOrEnvelopeRoute[numModulationTargets]{};
    for (int i = 0; i < routes.numModulatedTargets; ++i)
        if (juce::isPositiveAndBelow (routes.modulatedTargets[i], numModulationTargets))
            hasLfoOrEnvelopeRoute[routes.modulatedTargets[i]] = true;

    // The editor's controls are only told while nobody is changing the listener table, and only when these
    // routes are still the newest: a control that lost its last route may just have been sent its NaN.
    const juce::SpinLock::ScopedTryLockType listenersLock (modulationListenersLock);
    const auto mayTellListeners = listenersLock.isLocked() && !publishedRoutes.hasFresh();

    applyMidiRoutes (routes, hasLfoOrEnvelopeRoute, mayTellListeners);

    float lfoOut[numLfos]{};
    advanceModulationLfos (numSamples, lfoOut);

    float envOut[numModEnvelopes]{};
    advanceModulationEnvelopes (numSamples, envOut);

    applyLfoAndEnvelopeRoutes (routes, lfoOut, envOut, mayTellListeners);
}

void OstrelAudioProcessor::applyMidiRoutes (const ModulationRoutes& routes,
                                            const bool* hasLfoOrEnvelopeRoute,
                                            bool mayTellListeners)
{
    const auto numTargets = juce::jmin ((int) modulationTargets.size(), numModulationTargets);

    // MIDI sources only; targets with LFO or envelope routes are done in applyLfoAndEnvelopeRoutes.
    for (int row = 0; row < numTargets; ++row)
    {
        if (hasLfoOrEnvelopeRoute[row])
            continue;

        auto& config = *modulationTargets[(size_t) row];
        const auto raw = config.raw();

        if (!juce::isPositiveAndNotGreaterThan (routes.numMidiRoutes[row], numModulationSources)
            || routes.numMidiRoutes[row] == 0)
        {
            config.currentValue = raw;
            continue;
        }

        const auto sum = midiRouteSum (routes, row, config);
        if (std::isnan (sum))
        {
            config.currentValue = raw;
            continue;
        }

        config.currentValue = clampToRange (config, raw + sum);
        tellModulationListener (mayTellListeners, row, config.currentValue);
    }
}

void OstrelAudioProcessor::advanceModulationLfos (int numSamples, float* lfoOut)
{
    for (int i = 0; i < numLfos; ++i)
    {
        const auto& group = lfoConfigs[(size_t) i];
        auto& lfo = lfoStates[i];

        lfo.rate = lfoRate (i);

        lfo.increment = lfo.rate / (float) lfo.sampleRate;
        lfo.shape = (int) group[LfoIndex::type].raw();

        float value;
        if (numSamples > 0)
        {
            advanceLfo (lfo, (float) numSamples, modulationRandom);
            value = sound::lfoShapeValue (lfo.shape, lfo.phase, lfo.heldValue);
        }
        else
        {
            // A retrigger may have left the phase outside 0..1 (twice the offset), and here it is read before
            // any advance wraps it.
            lfo.phase -= std::floor (lfo.phase);
            value = sound::lfoShapeValue (lfo.shape, lfo.phase, lfo.heldValue);
            advanceLfo (lfo, 1.0f, modulationRandom);
        }

        lfoOut[i] = value * group[LfoIndex::amount].raw();
    }
}

void OstrelAudioProcessor::advanceModulationEnvelopes (int numSamples, float* envOut)
{
    const auto coefficientFor = [this] (float x) { return sound::modulationEnvelopeCoefficient (x, hostSampleRate); };

    for (int i = 0; i < numModEnvelopes; ++i)
    {
        const auto& group = envConfigs[(size_t) i];
        auto& env = modEnvelopeStates[i];

        env.attackCoefficient = coefficientFor (group[AdsrIndex::attack].currentValue);
        env.decayCoefficient = coefficientFor (group[AdsrIndex::decay].currentValue);
        env.sustainLevel = group[AdsrIndex::sustain].currentValue;
        env.releaseCoefficient = coefficientFor (group[AdsrIndex::release].currentValue);

        // One step for the whole block; the power in double so that long blocks do not underflow.
        env.level =
            (float) (env.target + (env.level - env.target) * std::pow ((double) env.coefficient, (double) numSamples));

        sound::ExponentialEnvelope::handOverToDecay (env.level,
                                                     env.target,
                                                     env.coefficient,
                                                     env.sustainLevel,
                                                     env.decayCoefficient);

        envOut[i] = env.level;
    }
}

void OstrelAudioProcessor::applyLfoAndEnvelopeRoutes (const ModulationRoutes& routes,
                                                      const float* lfoOut,
                                                      const float* envOut,
                                                      bool mayTellListeners)
{
    const auto numTargets = juce::jmin ((int) modulationTargets.size(), numModulationTargets);
    const auto* freqConfig = &filterConfigs[FilterIndex::freq];

    for (int i = 0; i < routes.numModulatedTargets; ++i)
    {
        const auto row = routes.modulatedTargets[i];
        if (!juce::isPositiveAndBelow (row, numTargets))
            continue;

        auto& config = *modulationTargets[(size_t) row];
        const auto raw = config.raw();

        // The voices move their own cut-off with the LFO matrix.
        if (&config == freqConfig)
        {
            config.currentValue = raw;
            continue;
        }

        auto lfoSum = 0.0f;
        auto envSum = 0.0f;
        for (int j = 0; j < numModulationSources; ++j)
        {
            if (const auto amount = lfoMatrixConfigs[(size_t) (4 * row + j)].raw(); amount != 0.0f)
                lfoSum += amount * lfoOut[j];
            if (const auto amount = envMatrixConfigs[(size_t) (4 * row + j)].raw(); amount != 0.0f)
                envSum += amount * envOut[j];
        }

        auto midiSum = 0.0f;
        if (juce::isPositiveAndNotGreaterThan (routes.numMidiRoutes[row], numModulationSources))
        {
            midiSum = midiRouteSum (routes, row, config);
            if (std::isnan (midiSum))
                midiSum = 0.0f;
        }

        config.currentValue = clampToRange (config, midiSum + ((config.max - config.min) * (lfoSum + envSum) + raw));
        tellModulationListener (mayTellListeners, row, config.currentValue);
    }
}

float OstrelAudioProcessor::midiRouteSum (const ModulationRoutes& routes, int row, const ParameterConfig& config) const
{
    auto sum = 0.0f;
    for (int i = 0; i < routes.numMidiRoutes[row]; ++i)
    {
        const auto& route = routes.midiRoutes[row][i];
        if (juce::isPositiveAndBelow (route.source, numModulationSources))
            sum += midiSourceValues[route.source] * route.amount * (config.max - config.min);
    }
    return sum;
}

void OstrelAudioProcessor::tellModulationListener (bool mayTell, int row, float value)
{
    if (mayTell)
        if (auto* listener = listenerForTarget[row])
            listener->setModulationValue (value);
}

void OstrelAudioProcessor::updateScanGeometry (int voiceIndex) noexcept
{
    auto& voice = synth.voices[(size_t) voiceIndex];
    const float shift = intervalConfigs[IntervalIndex::shift].currentValue;
    const auto velocityShift = (float) voiceVelocityShift[voiceIndex];

    // The same line or circle the wavetable refill reads; the voice takes the radius as half of scanRow.
    voice.scanCircle = intervalConfigs[IntervalIndex::typeCircle].raw() != 0.0f;

    if (voice.scanCircle)
    {
        voice.scanRow = 2.0f * juce::jlimit (0.0f, 512.0f, shift * 0.5f + 2.0f * velocityShift);
    }
    else
    {
        const auto offset = globalSynthConfigs[GlobalIndex::veloShift].raw() != 0.0f ? 4.0f * velocityShift : 0.0f;
        voice.scanRow = juce::jlimit (0.0f, 511.0f, shift - offset);
    }

    voice.scanCentre[0] = intervalConfigs[IntervalIndex::centreX].currentValue;
    voice.scanCentre[1] = intervalConfigs[IntervalIndex::centreY].currentValue;
}

//==============================================================================
void OstrelAudioProcessor::renderPiece (juce::AudioBuffer<float>& buffer,
                                        juce::MidiBufferIterator& nextEvent,
                                        juce::MidiBufferIterator endEvent,
                                        int pieceStart,
                                        int pieceLength,
                                        bool lastPiece)
{
    const auto numChannels = buffer.getNumChannels();
    const auto stage = juce::jlimit (1, 3, (int) (overSampleConfigs[0].raw() + 1.0f));
    const auto factor = 1 << stage;
    auto& downsampler = *downsamplers[(size_t) stage];
    const auto osLength = factor * pieceLength;

    // Before prepareToPlay there is nothing to render into: the events still act, nothing is rendered.
    const auto canRender = downsampler.isPrepared() && osLength > 0 && osLength <= oversampledBuffer.getNumSamples();
    const auto stereo = numChannels >= 2;

    // The work buffer W is oversampledBuffer, sized for the prepared block at the highest factor. Every channel
    // of W would carry the same samples, so only channel 0 is rendered; it keeps what the voices rendered, and
    // channel 0's low-pass runs alongside the voices into a channel of its own.
    float* work = canRender ? oversampledBuffer.getWritePointer (0) : nullptr;
    float* filtered = canRender ? oversampledBuffer.getWritePointer (1) : nullptr;
    OutputFilter filter;

    if (canRender)
    {
        outputLowPass.update (getSampleRate(), oversamplingOrder);

        // Channel 1 is worked out on its own only once its filters have parted from channel 0's (a one-channel
        // block advances channel 0 alone). From then on each channel keeps its own state; a channel that still
        // matches takes channel 0's state now, as it would have had it been filtered all along.
        if (!stereo || !outputLowPass.channelsMatch() || !downsampler.channelsMatch())
        {
            if (outputLowPass.channelsMatch())
                outputLowPass.separateChannels();

            if (downsampler.channelsMatch())
                downsampler.separateChannels();
        }

        filter = outputLowPass.filterFor (0);
    }

    const auto renderStretch = [this, work, filtered, &filter] (int from, int count)
    {
        float* outputs[2] = { work + from, nullptr };

        // loadFile may be clearing the tables the voices read.
        const juce::SpinLock::ScopedLockType tablesLock (wavetableRenderLock);
        synth.render (outputs, count, &filter, filtered + from);
    };

    auto position = 0;
    for (; nextEvent != endEvent; ++nextEvent)
    {
        const auto event = *nextEvent;
        if (!lastPiece && event.samplePosition >= pieceStart + pieceLength)
            break;

        const auto eventPosition = juce::jlimit (0, pieceLength, event.samplePosition - pieceStart) * factor;
        if (canRender && eventPosition > position)
        {
            renderStretch (position, eventPosition - position);
            position = eventPosition;
        }

        if (event.numBytes <= 3)
            handleMidiEvent (event.data, event.numBytes);
    }

    if (!canRender)
        return;

    if (position < osLength)
        renderStretch (position, osLength - position);

    outputLowPass.keepState (0, filter);

    auto* left = buffer.getWritePointer (0, pieceStart);

    if (stereo && !outputLowPass.channelsMatch())
    {
        auto* second = oversampledBuffer.getWritePointer (2);
        auto secondFilter = outputLowPass.filterFor (1);
        secondFilter.process (work, second, osLength);
        outputLowPass.keepState (1, secondFilter);
        downsampler.process (1, second, buffer.getWritePointer (1, pieceStart), pieceLength);
    }

    downsampler.process (0, filtered, left, pieceLength);

    if (stereo && outputLowPass.channelsMatch())
        std::copy (left, left + pieceLength, buffer.getWritePointer (1, pieceStart));
}

void OstrelAudioProcessor::updateDisplayFeeds (const juce::AudioBuffer<float>& buffer) noexcept
{
    const auto numChannels = buffer.getNumChannels();
    if (numChannels == 0)
        return;

    auto* ring = scopeRing.getWritePointer (0);
    const auto numSamples = buffer.getNumSamples();
    const float* channels[2] = { buffer.getReadPointer (0), numChannels > 1 ? buffer.getReadPointer (1) : nullptr };

    // The samples go in runs up to the next point where the scope ring is full or the spectrum FIFO is: inside a
    // run every sample is worked out alike and on its own.
    for (int n = 0; n < numSamples;)
    {
        if (scopeRingIndex == scopeSize - 1)
            scopeBuffer.write (ring);

        if (spectrumFifoIndex == fftSize)
        {
            spectrumFifoIndex = 0;

            // The editor owns the array while the flag is set; the collected samples are dropped then.
            if (!spectrumBlockReady.load (std::memory_order_acquire))
            {
                std::copy (spectrumFifo, spectrumFifo + fftSize, spectrumFftData);
                std::fill (spectrumFftData + fftSize, spectrumFftData + 2 * fftSize, 0.0f);
                spectrumBlockReady.store (true, std::memory_order_release);
            }
        }

        // The sample after this run's last would find the ring at its end or the FIFO full.
        const auto scopeRoom = scopeRingIndex == scopeSize - 1 ? scopeSize : scopeSize - 1 - scopeRingIndex;
        const auto run = juce::jmin (numSamples - n, scopeRoom, fftSize - spectrumFifoIndex);
        const auto ringStart = (scopeRingIndex + 1) % scopeSize;
        auto* ringRun = ring + ringStart;
        auto* fifoRun = spectrumFifo + spectrumFifoIndex;

        if (numChannels <= 2)
        {
            const auto* left = channels[0] + n;
            const auto* right = numChannels == 2 ? channels[1] + n : nullptr;

            for (int i = 0; i < run; ++i)
            {
                // From 0.0, as a sum over the channels starts: a -0.0 sample adds up to +0.0.
                auto x = 0.0 + (double) left[i];
                if (right != nullptr)
                    x += (double) right[i];

                ringRun[i] = (float) (3.0 * x / numChannels);
                fifoRun[i] = (float) (x / numChannels);
            }
        }
        else
        {
            for (int i = 0; i < run; ++i)
            {
                auto x = 0.0;
                for (int channel = 0; channel < numChannels; ++channel)
                    x += buffer.getSample (channel, n + i);

                ringRun[i] = (float) (3.0 * x / numChannels);
                fifoRun[i] = (float) (x / numChannels);
            }
        }

        scopeRingIndex = (ringStart + run - 1) % scopeSize;
        spectrumFifoIndex += run;
        n += run;
    }
}
