#include "ProcessorSupport.h"
#include "TestPlayHead.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;

/** A processor with a picture in its grid and tables and eight voices holding a chord. */
std::unique_ptr<OstrelAudioProcessor>
makeSoundingProcessor (float overSample, bool hiFidel, testing_helpers::TestPlayHead& playHead, bool decaying = false)
{
    auto processor = std::make_unique<OstrelAudioProcessor>();
    processor->setPlayConfigDetails (0, 2, sampleRate, blockSize);
    processor->prepareToPlay (sampleRate, blockSize);
    processor->setPlayHead (&playHead);

    testing_helpers::fillGridWithPattern (*processor);

    for (auto& table : processor->wavetableBuffers)
        for (int k = 0; k < table.getNumSamples(); ++k)
            table.setSample (0, k, std::sin ((float) k * 0.0122718463f) + 0.3f * std::sin ((float) k * 0.0613592315f));

    testing_helpers::setRaw (*processor, "OverSample", overSample);
    testing_helpers::setRaw (*processor, "HiFidel", hiFidel ? 1.0f : 0.0f);
    testing_helpers::setRaw (*processor, "subBass", 0.3f);
    testing_helpers::setRaw (*processor, "Mod_LFO1_Freq", 0.3f);
    testing_helpers::setRaw (*processor, "LFOAmount1", 0.5f);

    // Envelopes that take their time: both still decay, block after block, as they do in a note's first second.
    if (decaying)
    {
        testing_helpers::setRaw (*processor, "Decay", 100.0f);
        testing_helpers::setRaw (*processor, "Sustain", 0.01f);
        testing_helpers::setRaw (*processor, "DecayFilter", 100.0f);
        testing_helpers::setRaw (*processor, "SustainFilter", 0.01f);
    }

    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer chord;
    for (int i = 0; i < OstrelAudioProcessor::numVoices; ++i)
        chord.addEvent (juce::MidiMessage::noteOn (1, 48 + 3 * i, (juce::uint8) 100), i * 8);
    processor->processBlock (buffer, chord);

    return processor;
}

/** The voices still sounding at the end, the seconds of audio per second of CPU, and the run's label. */
void reportFigures (benchmark::State& state, OstrelAudioProcessor& processor, const juce::String& label)
{
    int sounding = 0;
    for (const auto& voice : processor.synth.voices)
        sounding += voice.ampState != 0 ? 1 : 0;

    state.counters["voices"] = sounding;
    state.counters["realtime"] =
        benchmark::Counter ((double) state.iterations() * blockSize / sampleRate, benchmark::Counter::kIsRate);
    state.SetLabel (label.toStdString());
}

/** One host block of 512 samples at 48 kHz with eight voices sounding, rendered with kernel; "realtime" is
    seconds of audio per second of CPU. */
void renderEightVoices (benchmark::State& state, VoiceKernel kernel)
{
    if (!Synth::canRun (kernel))
    {
        state.SkipWithError ("this CPU cannot run the kernel");
        return;
    }

    testing_helpers::TestPlayHead playHead; // 120 BPM
    const auto overSample = (float) state.range (0);
    const auto hiFidel = state.range (1) != 0;
    auto processor = makeSoundingProcessor (overSample, hiFidel, playHead);
    processor->synth.useKernel (kernel);

    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer midi;

    for (auto _ : state)
    {
        processor->processBlock (buffer, midi);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
    }

    const auto kernelName = kernel == Synth::fastestKernel() ? "" : kernel == VoiceKernel::avx2 ? "AVX2 " : "scalar ";
    reportFigures (state,
                   *processor,
                   juce::String (kernelName) + (hiFidel ? "HiFidel " : "") + "x"
                       + juce::String (2 << (int) overSample));
    processor->setPlayHead (nullptr);
}
} // namespace

/** With the fastest kernel this CPU runs. */
void BM_ProcessBlockEightVoices (benchmark::State& state) { renderEightVoices (state, Synth::fastestKernel()); }

/** With the AVX2 kernel, which CPUs without AVX-512 run. */
void BM_ProcessBlockEightVoicesAvx2 (benchmark::State& state) { renderEightVoices (state, VoiceKernel::avx2); }

/** The same while the eight voices' envelopes still move: the amplitude and filter envelopes decay (over 5 s, a
    run stays well inside), so every sample works the cut-off out anew. Restarted whenever the decay nears its end. */
void BM_ProcessBlockEightDecayingVoices (benchmark::State& state)
{
    testing_helpers::TestPlayHead playHead;
    const auto overSample = (float) state.range (0);
    auto processor = makeSoundingProcessor (overSample, false, playHead, true);

    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer midi;
    int blocks = 0;

    for (auto _ : state)
    {
        if (++blocks == 300) // 3.2 s
        {
            state.PauseTiming();
            processor->setPlayHead (nullptr);
            processor = makeSoundingProcessor (overSample, false, playHead, true);
            blocks = 0;
            state.ResumeTiming();
        }

        processor->processBlock (buffer, midi);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
    }

    reportFigures (state, *processor, "decaying x" + juce::String (2 << (int) overSample));
    processor->setPlayHead (nullptr);
}

BENCHMARK (BM_ProcessBlockEightDecayingVoices)->Arg (1)->Unit (benchmark::kMicrosecond);

BENCHMARK (BM_ProcessBlockEightVoices)
    ->Args ({ 0, 0 })
    ->Args ({ 1, 0 })
    ->Args ({ 2, 0 })
    ->Args ({ 1, 1 })
    ->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_ProcessBlockEightVoicesAvx2)->Args ({ 1, 0 })->Args ({ 1, 1 })->Unit (benchmark::kMicrosecond);
