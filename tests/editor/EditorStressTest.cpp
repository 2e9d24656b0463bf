// The editor opened and closed again and again while the host plays, restores state and changes programs on its
// own threads. Meant for ThreadSanitizer and AddressSanitizer, which must find nothing.
#include "EditorFixture.h"
#include "editor/panels/GlobalPanelClass.h"

#include <atomic>
#include <thread>

using namespace editor_testing;

TEST (EditorStress, OpeningAndClosingWhileTheHostPlaysRestoresStateAndChangesPrograms)
{
    EditorHarness harness (256);
    auto& processor = harness.processor();
    harness.closeEditor();

    // Two programs and a state, each with routes, so that restoring re-routes and the knobs are told values.
    juce::MemoryBlock state;
    harness.host.set ("LFOAmount1", 1.0f);
    harness.host.set ("Mod_LFO1_Gain", 0.5f);
    harness.host.set ("Mod_Env2_Q", 0.3f);
    harness.host.set ("Mod_Mod_Freq", 0.4f);
    ASSERT_TRUE (processor.savePreset (processor.makeProgramFromCurrentSettings ("Routed")));
    processor.getStateInformation (state);
    harness.host.set ("Mod_LFO1_Gain", 0.0f);
    harness.host.set ("Mod_LFO3_Attack", -0.7f);
    ASSERT_TRUE (processor.savePreset (processor.makeProgramFromCurrentSettings ("Other")));
    const auto numPrograms = processor.getNumPrograms();

    std::atomic<bool> stop{ false };
    std::atomic<int> blocks{ 0 }, restores{ 0 };
    std::atomic<bool> finite{ true };

    std::thread audio (
        [&]
        {
            juce::Random random (21);
            while (!stop)
            {
                std::vector<block_testing::Event> events;
                for (int n = random.nextInt (6); --n >= 0;)
                {
                    const auto note = 55 + random.nextInt (34);
                    const auto at = random.nextInt (256);
                    events.push_back (random.nextBool() ? block_testing::noteOn (at, note, 1 + random.nextInt (127))
                                                        : block_testing::noteOff (at, note));
                }
                events.push_back (block_testing::controller (0, 1, random.nextInt (128)));

                const auto& output = harness.process (256, events);
                for (int i = 0; i < output.getNumSamples(); ++i)
                    if (!std::isfinite (output.getSample (0, i)))
                        finite = false;
                ++blocks;
            }
        });

    std::thread host (
        [&]
        {
            for (int round = 0; !stop; ++round)
            {
                if (round % 2 == 0)
                    processor.setStateInformation (state.getData(), (int) state.getSize());
                else
                    processor.setCurrentProgram (round % numPrograms);
                ++restores;
                juce::Thread::sleep (1);
            }
        });

    for (int round = 0; round < 50; ++round)
    {
        harness.openEditor();
        auto& editor = harness.editor();

        // Knobs and bars of the routed parameters, as the panels will put them into the window.
        std::vector<std::unique_ptr<GlobalPanelClass>> panels;
        for (auto* group : { &processor.filterConfigs, &processor.globalSynthConfigs, &processor.adsrVoiceConfigs })
        {
            panels.push_back (std::make_unique<GlobalPanelClass> (processor, *group));
            editor.addAndMakeVisible (*panels.back());
            panels.back()->setBounds (0, 0, 200, 100);
        }

        editor.modulationIndexChanged (round % 12);
        runFor (round % 5 == 0 ? 40 : 3);

        panels.clear();
        harness.closeEditor();
        runFor (1);
    }

    stop = true;
    audio.join();
    host.join();
    runFor (50);

    EXPECT_TRUE (finite);
    EXPECT_GT (blocks.load(), 50);
    EXPECT_GT (restores.load(), 10);
}
