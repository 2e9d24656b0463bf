#include "ProcessorSupport.h"

#include <benchmark/benchmark.h>

#include <array>
#include <memory>

namespace
{
constexpr int hostRate = 48000;
constexpr int hostBlock = 512;
constexpr int factor = 4; // the default "OverSample x4"
constexpr int voiceBlock = hostBlock * factor;

/** Eight voices sounding a picture, every sound feature that costs per sample switched on. */
struct EightVoices
{
    explicit EightVoices (bool hiFidel)
    {
        juce::Random random (42);

        for (auto& cell : *grid)
            cell.store (random.nextFloat(), std::memory_order_relaxed);

        for (auto& table : processor->wavetableBuffers)
            for (int k = 0; k < table.getNumSamples(); ++k)
                table.setSample (0, k, random.nextFloat() * 2.0f - 1.0f);

        testing_helpers::setRaw (*processor, "HiFidel", hiFidel ? 1.0f : 0.0f);
        testing_helpers::setRaw (*processor, "subBass", 0.5f);
        testing_helpers::setRaw (*processor, "2OscType", 1.0f);
        testing_helpers::setRaw (*processor, "Q", 0.5f);
        testing_helpers::setRaw (*processor, "Freq", 8000.0f);
        testing_helpers::setRaw (*processor, "Mod_LFO1_Freq", 0.3f);
        testing_helpers::setRaw (*processor, "LFOAmount1", 1.0f);

        for (auto* config : processor->modulationTargets)
            config->currentValue = config->raw();

        auto& synth = processor->synth;
        synth.voiceSampleRate = (float) (factor * hostRate);
        synth.hostSampleRate = hostRate;
        synth.referencePeriod = synth.voiceSampleRate * 0.12231232970952988f;
        synth.grid = grid->data();
        synth.controlCountdown = 0;
        synth.updateParameters();

        for (int i = 0; i < 8; ++i)
        {
            auto& voice = synth.voices[(size_t) i];
            voice.prepareToPlay (hostRate);
            voice.grid = grid->data();
            voice.scanRow = 100.0f + 40.0f * (float) i;
            voice.scanCircle = i % 2 == 1;
            voice.scanCentre[0] = voice.scanCentre[1] = 256.0f;

            const int note = 48 + 3 * i;
            const float period =
                std::exp (-(float) note * 0.0577622652f) * synth.referencePeriod * (float) factor * 2.0f;
            voice.note = note;
            voice.period = voice.targetPeriod = period;
            voice.velocityGain = 1.0f;
            voice.startLevel = 0.0002f;
            voice.ampState = 3;
            voice.ampLevel = voice.sustain;
            voice.filterEnvLevel = 0.5f;
            voice.filterEnvTarget = 2.0f;
            voice.filterEnvCoef = voice.filterAttackCoef;
        }
    }

    std::unique_ptr<OstrelAudioProcessor> processor = std::make_unique<OstrelAudioProcessor>();
    std::unique_ptr<std::array<std::atomic<float>, 512 * 512>> grid =
        std::make_unique<std::array<std::atomic<float>, 512 * 512>>();
    std::array<float, voiceBlock> left{}, right{};
};

// One host block of 512 samples at 48 kHz rendered at x4: the voice engine's share of processBlock.
void renderEightVoices (benchmark::State& state, bool hiFidel)
{
    juce::ScopedNoDenormals noDenormals;
    EightVoices fixture (hiFidel);
    float* outputs[2] = { fixture.left.data(), fixture.right.data() };

    for (auto _ : state)
    {
        fixture.processor->synth.render (outputs, voiceBlock);
        benchmark::DoNotOptimize (fixture.left.data());
    }

    // Seconds of audio per second of CPU.
    state.counters["realtime_factor"] =
        benchmark::Counter ((double) state.iterations() * hostBlock / hostRate, benchmark::Counter::kIsRate);
}
} // namespace

static void BM_SynthRenderEightVoicesPicture (benchmark::State& state) { renderEightVoices (state, false); }
static void BM_SynthRenderEightVoicesHiFidel (benchmark::State& state) { renderEightVoices (state, true); }

BENCHMARK (BM_SynthRenderEightVoicesPicture)->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_SynthRenderEightVoicesHiFidel)->Unit (benchmark::kMicrosecond);
