// The engine's output, bit for bit: a fixed scene rendered for every oversampling choice and both "HiFidel"
// read paths, hashed over both channels. Any change to how the engine works must leave these hashes alone.
#include "ProcessorHarness.h"
#include "processor/picture/BrightnessGrid.h"

#include <cstring>
#include <map>

using namespace block_testing;

namespace
{
constexpr int sceneBlocks = 300;
constexpr int sceneBlockSize = 512;

/** A picture with soft gradients, rings and hard edges, made from formulas alone. */
juce::Image scenePicture()
{
    juce::Image picture (juce::Image::RGB, OstrelAudioProcessor::gridSize, OstrelAudioProcessor::gridSize, true);

    for (int y = 0; y < picture.getHeight(); ++y)
    {
        for (int x = 0; x < picture.getWidth(); ++x)
        {
            const auto dx = x - 200, dy = y - 300;
            const auto ring = (dx * dx + dy * dy) / 97 % 256;
            const auto red = (x * 3 + y) % 256;
            const auto green = ((x / 16 + y / 16) % 2) * 200 + (y % 37);
            const auto blue = (ring * 7 + x * y / 64) % 256;
            picture.setPixelAt (x, y, juce::Colour ((juce::uint8) red, (juce::uint8) green, (juce::uint8) blue));
        }
    }

    return picture;
}

struct Variant
{
    const char* name;
    float overSample;
    bool hiFidel;
    bool circle;
};

const Variant variants[] = {
    { "x2", 0.0f, false, false },
    { "x4", 1.0f, false, false },
    { "x8", 2.0f, false, false },
    { "HiFidel line x4", 1.0f, true, false },
    { "HiFidel circle x4", 1.0f, true, true },
};

/** FNV-1a over the bit patterns of the samples. */
struct OutputHash
{
    void add (const float* samples, int numSamples)
    {
        for (int i = 0; i < numSamples; ++i)
        {
            peak = std::isfinite (samples[i]) ? std::max (peak, std::abs (samples[i])) : INFINITY;

            std::uint32_t bits;
            std::memcpy (&bits, samples + i, sizeof (bits));

            for (int byte = 0; byte < 4; ++byte)
            {
                value ^= (bits >> (8 * byte)) & 0xffu;
                value *= 0x100000001b3ull;
            }
        }
    }

    std::uint64_t value = 0xcbf29ce484222325ull;
    float peak = 0.0f;
};

/** The scene's MIDI, block by block: eight notes, then a note-off and a new note-on inside one block
    (stealing a voice), pitch bend, the sustain pedal, releases and a late chord. */
std::map<int, std::vector<Event>> sceneEvents()
{
    std::map<int, std::vector<Event>> events;

    const int notes[] = { 48, 52, 55, 59, 62, 65, 69, 72 };
    for (int i = 0; i < 8; ++i)
        events[0].push_back (noteOn (i * 37, notes[i], 60 + 8 * i));

    events[30] = { noteOff (100, 52), noteOn (300, 76, 90) };
    events[60] = { { 200, juce::MidiMessage::pitchWheel (1, 9000) } };
    events[90] = { controller (10, 64, 127) };
    events[95] = { noteOff (0, 48), noteOff (411, 55) };
    events[110] = { controller (257, 64, 0) };
    events[140] = { { 5, juce::MidiMessage::pitchWheel (1, 8192) }, noteOn (128, 50, 127) };
    events[200] = { noteOff (3, 59),   noteOff (64, 62),  noteOff (65, 65), noteOff (500, 69),
                    noteOff (501, 72), noteOff (502, 76), noteOff (510, 50) };
    events[230] = { noteOn (17, 45, 70), noteOn (17, 57, 80), noteOn (333, 64, 100) };
    events[265] = { noteOff (250, 45), noteOff (251, 57), noteOff (252, 64) };

    return events;
}

/** Renders the scene for one variant with one voice kernel and hashes both output channels of every block. */
OutputHash renderScene (const Variant& variant, VoiceKernel kernel, bool randomSources = false)
{
    ProcessorHarness host (48000.0, sceneBlockSize, 2);
    auto& processor = *host.processor;
    processor.synth.useKernel (kernel);

    // The noise shape's and the random LFOs' draws are seeded, so that two renders of one run draw the same values.
    if (randomSources)
    {
        processor.synth.waveTables.random.setSeed (42);
        processor.modulationRandom.setSeed (43);
    }

    // Written straight into the grid: with no picture loaded the image thread leaves the grid alone.
    writeBrightnessGrid (scenePicture(), processor.imageGrid);

    host.set ("OverSample", variant.overSample);
    host.set ("HiFidel", variant.hiFidel ? 1.0f : 0.0f);
    host.set ("TypeCircle", variant.circle ? 1.0f : 0.0f);
    host.set ("Shift", 180.37f);
    host.set ("..", 200.0f);
    host.set (":", 300.0f);
    host.set ("Smooth", 0.5f);
    host.set ("VeloShift", 0.3f);

    host.set ("Q", 0.5f);
    host.set ("Freq", 3000.0f);
    host.set ("Type", 0.0f);
    host.set ("subBass", 0.4f);
    host.set ("2OscType", 1.0f);
    host.set ("fineTuneImg", 0.37f);
    host.set ("fineTuneMain", -0.5f);
    host.set ("Glide", 30.0f);

    host.set ("Attack", 3.0f);
    host.set ("Decay", 10.0f);
    host.set ("Sustain", 0.6f);
    host.set ("Release", 8.0f);
    host.set ("AttackFilter", 20.0f);
    host.set ("DecayFilter", 30.0f);
    host.set ("SustainFilter", 0.5f);
    host.set ("ReleaseFilter", 40.0f);

    // The voices' four cut-off LFOs, one of each shape but the random one.
    const float lfoTypes[] = { 0.0f, 3.0f, 1.0f, 2.0f };
    const float lfoRates[] = { 3.0f, 0.7f, 5.5f, 1.3f };
    const float lfoDepths[] = { 0.4f, -0.25f, 0.15f, 0.1f };
    for (int i = 0; i < numLfos; ++i)
    {
        const auto n = juce::String (i + 1);
        host.set ("LFOType" + n, lfoTypes[i]);
        host.set ("LFORate" + n, lfoRates[i]);
        // With random sources LFO 4 takes turns at being random.
        host.set ("LFOAmount" + n, 0.8f);
        host.set ("Mod_LFO" + n + "_Freq", lfoDepths[i]);
    }

    // Block-rate routes: a processor LFO moves the scanned row, an envelope the resonance.
    host.set ("Mod_LFO2_Shift", 0.05f);
    host.set ("Mod_Env1_Q", 0.3f);
    host.set ("Attack1", 20.0f);
    processor.rebookModulationMatrices();

    const auto events = sceneEvents();
    OutputHash hash;

    for (int block = 0; block < sceneBlocks; ++block)
    {
        if (randomSources && (block == 40 || block == 100 || block == 180))
            host.set ("LFOType4", 4.0f);
        else if (randomSources && (block == 70 || block == 130))
            host.set ("LFOType4", 2.0f);

        if (block == 120)
        {
            host.set ("2OscType", 3.0f);
            host.set ("Type", 1.0f);
        }
        else if (block == 170)
        {
            host.set ("2OscType", randomSources ? 4.0f : 2.0f);
            host.set ("Type", 2.0f);
        }

        const auto found = events.find (block);
        const auto& output =
            host.process (sceneBlockSize, found != events.end() ? found->second : std::vector<Event>{});

        for (int channel = 0; channel < output.getNumChannels(); ++channel)
            hash.add (output.getReadPointer (channel), output.getNumSamples());
    }

    return hash;
}

/** This machine's hashes of the scene, one per variant, in the order of variants. */
const std::uint64_t storedHashes[] = {
    0xb5bbfa528ff58979ull, 0x33e2c28f5c9cf415ull, 0x5c29792d2d5fadf1ull, 0x83c28c053a5c2c11ull, 0xbb72134180c1a9a1ull,
};

juce::String hex (std::uint64_t value) { return "0x" + juce::String::toHexString ((juce::int64) value); }

const char* nameOf (VoiceKernel kernel)
{
    return kernel == VoiceKernel::avx512 ? "AVX-512" : kernel == VoiceKernel::avx2 ? "AVX2" : "scalar";
}
} // namespace

TEST (GoldenOutput, TheSceneRendersAsItAlwaysHasOnEveryKernel)
{
    std::vector<VoiceKernel> kernels;
    for (const auto kernel : { VoiceKernel::scalar, VoiceKernel::avx2, VoiceKernel::avx512 })
        if (Synth::canRun (kernel))
            kernels.push_back (kernel);

    for (size_t i = 0; i < std::size (variants); ++i)
    {
        const auto& variant = variants[i];
        const auto scalar = renderScene (variant, VoiceKernel::scalar);

        // A hash of silence would guard nothing.
        EXPECT_GT (scalar.peak, 0.01f) << variant.name;
        EXPECT_LT (scalar.peak, 10.0f) << variant.name;

        for (const auto kernel : kernels)
        {
            const auto hash = kernel == VoiceKernel::scalar ? scalar.value : renderScene (variant, kernel).value;

            EXPECT_EQ (hash, scalar.value)
                << variant.name << ": the " << nameOf (kernel) << " kernel does not give the scalar kernel's samples";

            EXPECT_EQ (hash, storedHashes[i])
                << variant.name << ", " << nameOf (kernel) << " kernel: the output hash is " << hex (hash)
                << ", stored " << hex (storedHashes[i])
                << ". glibc picks some libm variants by CPU at run time (FMA versions of expf, sinf and others), "
                   "so on another CPU a stored hash may legitimately differ; the comparison with the scalar "
                   "kernel, rendered in the same run, holds on any CPU.";
        }
    }
}

// A random LFO on the cut-off and the noise shape draw voice by voice and sample by sample, so the kernels hand
// those stretches to the scalar loop and take them back: with the draws alike, every kernel must still give the
// scalar kernel's samples. Random draws have no stored hash.
TEST (GoldenOutput, RandomSourcesRenderAlikeOnEveryKernel)
{
    for (const auto& variant : { variants[1], variants[3] })
    {
        const auto scalar = renderScene (variant, VoiceKernel::scalar, true);
        EXPECT_GT (scalar.peak, 0.01f) << variant.name;

        for (const auto kernel : { VoiceKernel::avx2, VoiceKernel::avx512 })
        {
            if (Synth::canRun (kernel))
            {
                EXPECT_EQ (renderScene (variant, kernel, true).value, scalar.value)
                    << variant.name << " with random sources: the " << nameOf (kernel)
                    << " kernel does not give the scalar kernel's samples";
            }
        }
    }
}
