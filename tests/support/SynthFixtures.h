#pragma once

#include "ProcessorSupport.h"
#include "SignalMeasures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace synth_testing
{
using testing_helpers::peak;
using testing_helpers::rms;
using testing_helpers::zeroCrossingFrequency;

constexpr int hostRate = 48000;
constexpr float voiceRate = 4.0f * hostRate;

/** Stands in for the "Freq" control, counting the cut-off reports the voices make. The processor is
    not subclassed: its image thread starts in its constructor and would race a derived vtable. */
struct CutoffRecorder : ModulationListener
{
    void setModulationValue (float modulatedValue) override
    {
        ++cutoffReports;
        lastReportedCutoff = modulatedValue / 22000.0f;
    }

    int cutoffReports = 0;
    float lastReportedCutoff = -1.0f;
};

/** A processor whose synth is prepared at 48 kHz (voices at 4 x that rate) and whose voices read a grid
    owned by the test, so that the image thread never rewrites what a test crafted. */
class SynthTest : public ::testing::Test
{
protected:
    SynthTest()
    {
        synth.voiceSampleRate = voiceRate;
        synth.hostSampleRate = hostRate;
        synth.referencePeriod = voiceRate * 0.12231232970952988f;

        processor->addModulationListener ("Freq", &cutoffRecorder);

        for (auto& cell : *grid)
            cell.store (0.0f, std::memory_order_relaxed);

        synth.grid = grid->data();

        for (auto& voice : synth.voices)
        {
            voice.prepareToPlay (hostRate);
            voice.grid = grid->data();
        }

        for (auto& table : processor->wavetableBuffers)
            fillTable (table, [] (int k) { return std::sin (2.0 * juce::MathConstants<double>::pi * k / 512.0); });

        // What block processing does every block when nothing is routed.
        for (auto* config : processor->modulationTargets)
            config->currentValue = config->raw();

        // Plain tests: a near-transparent filter that follows its envelope to a sustain of 1.
        setParameter ("Q", 0.0f);
        setParameter ("SustainFilter", 1.0f);
        // ... and an amplitude envelope that holds 1 after a short attack.
        setParameter ("Sustain", 1.0f);
    }

    /** Sets a parameter's raw value and, for the 79 modulation targets, its per-block current value. */
    void setParameter (const juce::String& paramID, float value)
    {
        testing_helpers::setRaw (*processor, paramID, value);

        const auto found = processor->parameterIndex.find (paramID);
        if (found != processor->parameterIndex.end())
            processor->modulationTargets[(size_t) found->second]->currentValue = value;
    }

    static void fillTable (juce::AudioBuffer<float>& table, const std::function<double (int)>& shape)
    {
        for (int k = 0; k < table.getNumSamples(); ++k)
            table.setSample (0, k, (float) shape (k));
    }

    /** Runs the control-rate step now, so envelope steps follow the parameters before a note starts. */
    void refreshControls()
    {
        synth.controlCountdown = 0;
        synth.updateParameters();
    }

    /** Starts a voice the way note-on does, at a given period in voice samples. */
    Voice& start (int index, float period, float velocityGain = 1.0f, int note = 60)
    {
        refreshControls();

        auto& voice = synth.voices[(size_t) index];
        voice.start (period, note, velocityGain);
        synth.currentVoice = index;
        return voice;
    }

    /** Renders numSamples in one call (one stretch) and returns channel 0. */
    std::vector<float> render (int numSamples)
    {
        std::vector<float> left ((size_t) numSamples), right ((size_t) numSamples);
        float* outputs[2] = { left.data(), right.data() };
        synth.render (outputs, numSamples);
        return left;
    }

    struct Sample
    {
        float phase; // the voice's oscillator phase for this sample
        float out;
    };

    /** Renders one sample per call and pairs each with the phase voice index read it at. */
    std::vector<Sample> renderWithPhase (int index, int numSamples)
    {
        std::vector<Sample> result;
        for (int i = 0; i < numSamples; ++i)
        {
            const float out = render (1)[0];
            result.push_back ({ synth.voices[(size_t) index].phase, out });
        }
        return result;
    }

    /** Renders in host-sized stretches, as block processing would between events. */
    std::vector<float> renderInBlocks (int numSamples, int blockSize = 2048)
    {
        std::vector<float> all;
        while ((int) all.size() < numSamples)
        {
            const auto part = render (std::min (blockSize, numSamples - (int) all.size()));
            all.insert (all.end(), part.begin(), part.end());
        }
        return all;
    }

    CutoffRecorder cutoffRecorder; // outlives the processor that calls it
    std::unique_ptr<OstrelAudioProcessor> processor = std::make_unique<OstrelAudioProcessor>();
    Synth& synth = processor->synth;
    std::unique_ptr<std::array<std::atomic<float>, 512 * 512>> grid =
        std::make_unique<std::array<std::atomic<float>, 512 * 512>>();
};
} // namespace synth_testing
