// The parameter tree and the picture from several threads at once: a host's thread saving and restoring the state
// and changing programs while the message thread loads pictures and runs the framework's timers. Meant for
// ThreadSanitizer, which must find nothing.
#include "ProcessorHarness.h"
#include "RoutingStateFixtures.h"

#include <atomic>
#include <thread>

using namespace routing_fixtures;

TEST (StateConcurrency, PicturesStatesAndProgramsFromSeveralThreadsStayConsistent)
{
    const juce::Image images[]{ smallPicture (8, 6), smallPicture (6, 8), smallPicture (9, 9) };
    const juce::File pictures[]{ writePng (picturesFolder().getChildFile ("a.png"), images[0]),
                                 writePng (picturesFolder().getChildFile ("b.png"), images[1]),
                                 writePng (picturesFolder().getChildFile ("program.png"), images[2]) };
    writePresetsFile (presetsText ({ presetObject ("Pictured", { { "Attack", 5.0 } }, pictures[2].getFullPathName()),
                                     presetObject ("Plain", { { "Attack", 9.0 } }) }));

    OstrelAudioProcessor processor;
    processor.prepareToPlay (48000.0, 256); // the image thread transforms every picture loaded

    std::atomic<bool> hostDone{ false };
    std::thread host (
        [&]
        {
            for (int round = 0; round < 300; ++round)
            {
                juce::MemoryBlock state;
                processor.getStateInformation (state);
                processor.setStateInformation (state.getData(), (int) state.getSize());
                processor.setCurrentProgram (1 + round % 2);
            }
            hostDone = true;
        });

    // The message thread: dropped pictures, parameters that the framework's timer writes into the tree.
    for (int round = 0; !hostDone; ++round)
    {
        processor.loadFile (pictures[round % 2].getFullPathName(), false);
        testing_helpers::setRaw (processor, "Glide", (float) (round % 100));
        juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
    }

    host.join();

    // The state names the picture in use, which is one of those used or a copy of one.
    const auto xml = xmlOf (stateOf (processor));
    ASSERT_NE (xml, nullptr);
    const auto* node = xml->getChildByName ("ImagePath");
    const auto named = node != nullptr ? node->getStringAttribute ("path") : juce::String();

    EXPECT_EQ (named, processor.getImagePath());
    if (named.isNotEmpty())
    {
        const auto decoded = juce::ImageFileFormat::loadFrom (juce::File (named));
        EXPECT_TRUE (samePicture (decoded, images[0]) || samePicture (decoded, images[1])
                     || samePicture (decoded, images[2]))
            << named;
        EXPECT_TRUE (samePicture (decoded, processor.loadedImage));
    }
}

TEST (StateConcurrency, DestroyingAProcessorMidPassWaitsForThePassAndOthersKeepRendering)
{
    block_testing::ProcessorHarness other;
    const auto small = writePng (picturesFolder().getChildFile ("small.png"), smallPicture());
    other.processor->loadFile (small.getFullPathName(), false);

    std::atomic<int> blocks{ 0 };
    std::atomic<bool> stop{ false };
    std::thread audio (
        [&]
        {
            while (!stop)
            {
                other.process (256, { block_testing::noteOn (0, 60) });
                ++blocks;
            }
        });

    juce::Image large (juce::Image::RGB, 2048, 1536, false);
    large.clear (large.getBounds(), juce::Colours::orange);
    const auto largeFile = writePng (picturesFolder().getChildFile ("large.png"), large);

    // A round only shows something when the image thread was caught in its pass; on a busy machine it may not have
    // reached it yet, and then the destructor rightly returns at once.
    int caughtRounds = 0;
    for (int round = 0; round < 8 && caughtRounds < 3; ++round)
    {
        auto doomed = std::make_unique<OstrelAudioProcessor>();
        doomed->loadFile (largeFile.getFullPathName(), false);
        doomed->affineConfigs[AffineIndex::rotate].currentValue = 30.0f;
        doomed->prepareToPlay (48000.0, 256);

        // The picture view holds the picture lock (as it does while it draws), so the image thread is caught
        // entering its pass, and stays there longer than the destructor once waited (100 ms).
        constexpr int heldMs = 300;
        spinCriticalSection.enter();
        juce::Thread::sleep (100);
        std::thread view (
            []
            {
                juce::Thread::sleep (heldMs);
                spinCriticalSection.exit();
            });

        const auto blocksBefore = blocks.load();
        const auto start = juce::Time::getMillisecondCounterHiRes();
        doomed.reset();
        const auto destroyedAfter = juce::Time::getMillisecondCounterHiRes() - start;
        view.join();

        if (destroyedAfter < 50.0)
            continue; // not caught

        ++caughtRounds;
        EXPECT_GT (destroyedAfter, 150.0) << "the pass was waited for, not cut short after 100 ms";
        EXPECT_GT (blocks.load(), blocksBefore) << "the other instance rendered meanwhile";
    }

    EXPECT_GT (caughtRounds, 0) << "the image thread was never caught in its pass";

    // Nothing was left holding the global locks: the other instance loads and keeps playing.
    other.processor->loadFile (small.getFullPathName(), false);
    const auto blocksNow = blocks.load();
    EXPECT_TRUE (testing_helpers::waitFor ([&] { return blocks.load() > blocksNow + 5; }, 5000));

    stop = true;
    audio.join();
}
