#include "ProcessorSupport.h"

#include <gtest/gtest.h>

using Layout = juce::AudioProcessor::BusesLayout;

TEST (ProcessorShell, AcceptsMonoAndStereoOutputOnly)
{
    OstrelAudioProcessor processor;

    const struct
    {
        juce::AudioChannelSet output;
        bool accepted;
    } cases[]{
        { juce::AudioChannelSet::mono(), true },           { juce::AudioChannelSet::stereo(), true },
        { juce::AudioChannelSet::create5point1(), false }, { juce::AudioChannelSet::quadraphonic(), false },
        { juce::AudioChannelSet::disabled(), false },
    };

    for (const auto& c : cases)
    {
        Layout layout;
        layout.outputBuses.add (c.output);
        EXPECT_EQ (processor.checkBusesLayoutSupported (layout), c.accepted) << c.output.getDescription();
    }

    EXPECT_EQ (processor.getBusCount (true), 0);
    ASSERT_EQ (processor.getBusCount (false), 1);
    EXPECT_EQ (processor.getBus (false, 0)->getName(), "Output");
    EXPECT_EQ (processor.getBus (false, 0)->getCurrentLayout(), juce::AudioChannelSet::stereo());
    EXPECT_TRUE (processor.getBus (false, 0)->isEnabled());
}

TEST (ProcessorShell, CreatesTheDocumentsSubFolder)
{
    const auto folder = testing_helpers::documentsFolder();
    folder.deleteRecursively();
    ASSERT_FALSE (folder.exists());

    OstrelAudioProcessor processor;
    EXPECT_TRUE (folder.isDirectory());
    EXPECT_EQ (processor.getFilePath ("x.png"), folder.getChildFile ("x.png").getFullPathName());
}

TEST (ProcessorShell, ImageThreadRunsUntilTheDestructorStopsIt)
{
    auto processor = std::make_unique<OstrelAudioProcessor>();
    EXPECT_TRUE (processor->isThreadRunning());
    EXPECT_EQ (processor->getThreadName(), "NoName");
    EXPECT_FALSE (processor->imageUpdateWanted.load());

    // The destructor wakes the thread and waits for it: it returns at once, however loaded the machine, unless
    // the stop hangs. The bound only tells a hang from a slow machine.
    const auto start = juce::Time::getMillisecondCounterHiRes();
    processor.reset();
    EXPECT_LT (juce::Time::getMillisecondCounterHiRes() - start, 5000.0);
}

TEST (ProcessorShell, EditorIsAWindowOfTheRightSize)
{
    OstrelAudioProcessor processor;
    std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditor());
    ASSERT_NE (editor, nullptr);
    EXPECT_EQ (editor->getWidth(), 900);
    EXPECT_EQ (editor->getHeight(), 700);

    // The window's own background, in the column left of the picture area that no panel covers.
    const auto snapshot = editor->createComponentSnapshot (editor->getLocalBounds());
    EXPECT_EQ (snapshot.getPixelAt (0, 200).getARGB(), 0xff141414u);
}
