// The picture view, the waveform window, the scope and the spectrum painted again and again while the audio thread
// plays, the image thread redraws the picture and a host's thread changes programs and restores state, swapping
// the picture under the views. Meant for ThreadSanitizer and AddressSanitizer, which must find nothing.
#include "EditorFixture.h"
#include "PictureFixtures.h"

#include <atomic>
#include <thread>

using namespace editor_testing;
using namespace picture_fixtures;

TEST (DisplayConcurrency, PaintingWhileTheImageThreadRunsAndTheHostChangesProgramsAndState)
{
    EditorHarness harness (256);
    auto& processor = harness.processor();
    auto& editor = harness.editor();
    const auto dialogs = std::make_shared<FakeDialogs>();
    editor.setDialogLauncher (std::make_unique<FakeDialogLauncher> (dialogs));

    // Programs with a picture each and one without, and a state with a third picture.
    const juce::String pictures[] = {
        writePng ("noise.png", noisePicture (64, 48, juce::Image::RGB, 90)),
        writePng ("white.png", filledPicture (512, 512, juce::Colours::white)),
        writePng ("alpha.png", noisePicture (40, 40, juce::Image::ARGB, 91)),
    };
    for (const auto* name : { "Noise", "White" })
    {
        processor.loadFile (pictures[juce::String (name) == "Noise" ? 0 : 1], false);
        ASSERT_TRUE (processor.savePreset (processor.makeProgramFromCurrentSettings (name)));
    }
    auto bare = processor.makeProgramFromCurrentSettings ("Bare");
    bare.imagePath = {};
    ASSERT_TRUE (processor.savePreset (bare));
    processor.loadFile (pictures[2], false);
    harness.host.set ("TypeCircle", 1.0f);
    juce::MemoryBlock state;
    processor.getStateInformation (state);
    const auto numPrograms = processor.getNumPrograms();

    const auto bad = writeFile ("cut.png", truncated (encodePng (noisePicture (32, 32, juce::Image::RGB, 92)), 100));

    std::atomic<bool> stop{ false };
    std::atomic<int> blocks{ 0 }, changes{ 0 };

    std::thread audio (
        [&]
        {
            juce::Random random (31);
            while (!stop)
            {
                std::vector<block_testing::Event> events;
                if (random.nextInt (4) == 0)
                    events.push_back (block_testing::noteOn (random.nextInt (256), 48 + random.nextInt (36)));
                if (random.nextInt (4) == 0)
                    events.push_back (block_testing::noteOff (random.nextInt (256), 48 + random.nextInt (36)));
                harness.process (256, events);
                ++blocks;
            }
        });

    std::thread host (
        [&]
        {
            for (int round = 0; !stop; ++round)
            {
                if (round % 3 == 0)
                    processor.setStateInformation (state.getData(), (int) state.getSize());
                else
                    processor.setCurrentProgram (1 + round % (numPrograms - 1));
                ++changes;
                juce::Thread::sleep (2);
            }
        });

    auto& view = editor.waveFormGUI.parentTargetArea.targetArea;
    auto& spectrum = editor.spectrumPanel.spectrumView;

    // At least 120 rounds of painting, and on until the audio and host threads have done their share alongside: a
    // loaded machine slows them down, it does not change what is checked. The deadline only ends a run that hangs.
    const auto deadline = juce::Time::getMillisecondCounterHiRes() + 120000.0;
    const auto threadsDidTheirShare = [&] { return blocks.load() > 100 && changes.load() > 20; };

    for (int round = 0; round < 120 || (!threadsDidTheirShare() && juce::Time::getMillisecondCounterHiRes() < deadline);
         ++round)
    {
        harness.host.set ("TypeCircle", round % 2 == 0 ? 0.0f : 1.0f);
        harness.host.set ("VeloShift", (float) (round % 5) * 0.1f);

        snapshot (view);
        snapshot (editor.waveFormGUI.waveFormWindow);
        snapshot (editor.visualiserRect);
        spectrum.timerCallback();
        snapshot (editor.spectrumPanel);

        // Now and then a drop, of a picture or of a file that is none.
        if (round % 20 == 0)
        {
            view.filesDropped ({ round % 40 == 0 ? pictures[round % 3] : bad }, 0, 0);
            dialogs->answer (dialogs->requests.size() - 1, round % 40 == 0 ? TargetArea::no : TargetArea::yes);
        }

        runFor (1);
    }

    stop = true;
    audio.join();
    host.join();
    runFor (20);

    EXPECT_GT (blocks.load(), 100);
    EXPECT_GT (changes.load(), 20);
}
