// Everything the message thread does to a playing processor, at once, for a couple of seconds: the audio thread
// renders notes, the image thread redraws the picture, and the message thread loads pictures, books matrix cells,
// registers controls, switches programs, saves presets and saves and restores state. Meant for ThreadSanitizer,
// which must find nothing; in a plain build it still proves that the blocks stay finite throughout.
#include "PictureFixtures.h"
#include "ProcessorHarness.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

using namespace block_testing;

namespace
{
/** A control that only counts what the audio thread tells it. */
struct CountingControl : public ModulationListener
{
    void setModulationValue (float) override { calls.fetch_add (1, std::memory_order_relaxed); }
    std::atomic<int> calls{ 0 };
};

struct CountingGrid : public MySliderChangeListener, public MyModulationSelectChangeListener
{
    void sliderIndexChanged (int) override { ++calls; }
    void modulationIndexChanged (int) override { ++calls; }
    int calls = 0;
};

enum Operation
{
    loadGoodPicture,
    loadBadPicture,
    bookMatrixCell,
    registerControl,
    removeControl,
    switchProgram,
    savePreset,
    saveAndRestoreState,
    editorReads,
    numOperations
};

using Clock = std::chrono::steady_clock;
} // namespace

TEST (ConcurrencyStress, MessageThreadWorkMeetsTheAudioAndImageThreadsWithoutRaces)
{
    using namespace picture_fixtures;
    constexpr int side = OstrelAudioProcessor::gridSize;

    const juce::String goodPictures[]{
        writePng ("noise.png", noisePicture (96, 64, juce::Image::RGB, 1)),
        writeFile ("small.jpg", encodeJpeg (noisePicture (40, 40, juce::Image::RGB, 2))),
        writePng ("square.png", noisePicture (side, side, juce::Image::ARGB, 3)),
    };
    const auto png = encodePng (noisePicture (64, 64, juce::Image::RGB, 4));
    const juce::String badPictures[]{
        writeFile ("cut.png", truncated (png, png.getSize() / 2)),
        writeFile ("words.png", juce::MemoryBlock ("not a picture at all", 20)),
        writeFile ("empty.png", {}),
        juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile ("gone.png").getFullPathName(),
    };

    ProcessorHarness host (48000.0, 256);
    auto& processor = *host.processor;
    ASSERT_TRUE (processor.imageUpdateWanted.load()) << "prepareToPlay sets the image thread going";
    useSecondOscillatorOnly (host, 1);

    // Presets written through the processor's own Save: with a picture, with a damaged one, without one.
    processor.loadFile (goodPictures[0], false);
    host.set ("Shift", 100.0f);
    ASSERT_TRUE (processor.savePreset (processor.makeProgramFromCurrentSettings ("With picture")));
    processor.loadFile (badPictures[0], false);
    host.set ("Mod_LFO1_Shift", 0.3f);
    ASSERT_TRUE (processor.savePreset (processor.makeProgramFromCurrentSettings ("Damaged picture")));
    auto plain = processor.makeProgramFromCurrentSettings ("No picture");
    plain.imagePath = {};
    ASSERT_TRUE (processor.savePreset (plain));

    std::atomic<int> hostMessages{ 0 };
    processor.incomingMidiCallback = [&hostMessages] (const juce::MidiMessage& message)
    {
        if (message.getRawDataSize() > 0)
            hostMessages.fetch_add (1, std::memory_order_relaxed);
    };

    // Audio: notes, controllers, host automation and blocks of every size, some longer than prepared.
    std::atomic<bool> stop{ false };
    std::atomic<bool> audioFinite{ true };
    std::atomic<int> blocks{ 0 };

    std::thread audio (
        [&]
        {
            juce::Random random (11);
            auto* rotate = processor.valueTreeState.getParameter ("Rotate");
            auto* shift = processor.valueTreeState.getParameter ("Shift");
            auto* circle = processor.valueTreeState.getParameter ("TypeCircle");

            while (!stop.load())
            {
                const auto size = random.nextInt (600);
                std::vector<Event> events;
                for (int n = random.nextInt (4); --n >= 0;)
                {
                    const auto position = random.nextInt (juce::jmax (1, size));
                    const auto note = 36 + random.nextInt (48);
                    events.push_back (random.nextBool() ? noteOn (position, note, 1 + random.nextInt (127))
                                                        : noteOff (position, note));
                }
                if (random.nextInt (8) == 0)
                    events.push_back (controller (0, random.nextBool() ? 1 : 64, random.nextInt (128)));

                rotate->setValue (random.nextFloat());
                shift->setValue (random.nextFloat());
                if (random.nextInt (50) == 0)
                    circle->setValue (random.nextBool() ? 1.0f : 0.0f);

                const auto& output = host.process (size, events);

                for (int channel = 0; channel < output.getNumChannels(); ++channel)
                    for (int i = 0; i < output.getNumSamples(); ++i)
                        if (!std::isfinite (output.getSample (channel, i)))
                            audioFinite.store (false);

                blocks.fetch_add (1);
            }
        });

    // Message thread: this one, with its dispatch loop running now and then, as in a host.
    CountingControl controls[3];
    CountingGrid grid;
    processor.addSliderChangeListener (&grid);
    processor.addModulationChangeListener (&grid);

    int done[numOperations]{};
    juce::Random random (12);
    std::vector<float> scope (OstrelAudioProcessor::scopeSize), wave (OstrelAudioProcessor::wavetableSize);
    bool displaysFinite = true;
    const auto end = Clock::now() + std::chrono::seconds (2);

    for (int round = 0; Clock::now() < end || round < 2 * numOperations; ++round)
    {
        // Every operation in turn twice first, then at random.
        const auto operation = round < 2 * numOperations ? round % numOperations : random.nextInt (numOperations);

        switch (operation)
        {
            case loadGoodPicture:
                processor.loadFile (goodPictures[random.nextInt (3)], random.nextBool());
                break;

            case loadBadPicture:
                processor.loadFile (badPictures[random.nextInt (4)], false);
                break;

            case bookMatrixCell:
            {
                const auto type = static_cast<ModType> (random.nextInt (3));
                const auto& cells = type == ModType::LFO   ? processor.lfoMatrixConfigs
                                    : type == ModType::Env ? processor.envMatrixConfigs
                                                           : processor.midiMatrixConfigs;
                const auto row = random.nextInt (numModulationTargets);
                const auto column = random.nextInt (4);
                const auto value = random.nextBool() ? 0.0f : random.nextFloat() * 2.0f - 1.0f;
                host.set (cells[(size_t) (row * 4 + column)].paramID, value);
                processor.modulationMatrixRowCheckValues (type, row, column, value);
                processor.setParameterForModulation (processor.modulationTargetIds[row]);
                break;
            }

            case registerControl:
                processor.addModulationListener (processor.modulationTargetIds[random.nextInt (numModulationTargets)],
                                                 &controls[random.nextInt (3)]);
                break;

            case removeControl:
            {
                auto* control = &controls[random.nextInt (3)];
                for (const auto& id : processor.modulationTargetIds)
                    processor.removeModulationListener (id, control);
                break;
            }

            case switchProgram:
                processor.setCurrentProgram (random.nextInt (processor.getNumPrograms() + 1));
                processor.getProgramName (random.nextInt (processor.getNumPrograms()));
                break;

            case savePreset:
                processor.savePreset (processor.makeProgramFromCurrentSettings ("Saved " + juce::String (round % 4)));
                break;

            case saveAndRestoreState:
            {
                juce::MemoryBlock state;
                processor.getStateInformation (state);
                processor.setStateInformation (state.getData(), (int) state.getSize());
                break;
            }

            case editorReads:
            {
                // What the editor's timers and picture view do on the message thread.
                processor.scopeBuffer.read (scope.data());
                processor.waveDisplayBuffer.read (wave.data());
                for (auto v : scope)
                    displaysFinite = displaysFinite && std::isfinite (v);

                if (processor.spectrumBlockReady.load (std::memory_order_acquire))
                {
                    for (auto v : processor.spectrumFftData)
                        displaysFinite = displaysFinite && std::isfinite (v);
                    processor.spectrumBlockReady.store (false, std::memory_order_release);
                }

                {
                    const juce::SpinLock::ScopedLockType lock (spinCriticalSection);
                    if (processor.transformedImage.isValid())
                        displaysFinite = displaysFinite && processor.transformedImage.getWidth() == side;
                }

                const juce::ScopedLock lock (processor.keyboardMidiLock);
                processor.keyboardMidiBuffer.addEvent (
                    juce::MidiMessage::noteOn (1, 60 + random.nextInt (24), (juce::uint8) 127),
                    0);
                break;
            }

            default:
                break;
        }

        ++done[operation];
        juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
    }

    // Controls go away only after they removed themselves, as a knob's destructor does.
    for (auto& control : controls)
        for (const auto& id : processor.modulationTargetIds)
            processor.removeModulationListener (id, &control);

    stop.store (true);
    audio.join();
    processor.removeSliderChangeListener (&grid);
    processor.removeModulationChangeListener (&grid);

    for (int operation = 0; operation < numOperations; ++operation)
        EXPECT_GE (done[operation], 2) << "operation " << operation;

    EXPECT_GT (blocks.load(), 20);
    EXPECT_GT (hostMessages.load(), 0);
    EXPECT_GT (grid.calls, 0);
    EXPECT_TRUE (audioFinite.load());
    EXPECT_TRUE (displaysFinite);
    EXPECT_TRUE (processor.modulationListeners.empty());
    EXPECT_TRUE (processor.isThreadRunning());
}
