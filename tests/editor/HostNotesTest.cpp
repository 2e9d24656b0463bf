// Host notes light the keyboard's keys: the audio thread only queues them, the editor's timer shows them.
#include "EditorFixture.h"

using namespace editor_testing;
using block_testing::Event;

namespace
{
Event message (int position, juce::MidiMessage m) { return { position, m }; }
} // namespace

TEST (HostNotes, KeyNamesCoverTheKeyboardsTwoOctavesOnly)
{
    const std::pair<int, const char*> cases[] = { { 60, "C0" }, { 61, "C#0" }, { 71, "B0" }, { 72, "C1" }, { 83, "B1" },
                                                  { 59, "" },   { 84, "" },    { 0, "" },    { 127, "" },  { -1, "" } };

    for (const auto& [note, name] : cases)
        EXPECT_EQ (HostNoteDisplay::getKeyFromMidiNote (note), juce::String (name)) << note;
}

TEST (HostNotes, LightTheKeysOfTheirNotesOnceTheTimerRan)
{
    EditorHarness harness;
    RecordingKeyboard keyboard;
    harness.editor().getHostNoteDisplay().setKeyboard (&keyboard);

    harness.process (512,
                     {
                         message (0, juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100)),
                         message (10, juce::MidiMessage::noteOn (16, 83, (juce::uint8) 1)),  // any channel
                         message (20, juce::MidiMessage::noteOn (1, 59, (juce::uint8) 100)), // below the keys
                         message (30, juce::MidiMessage::noteOn (1, 84, (juce::uint8) 100)), // above them
                         message (40, juce::MidiMessage::noteOn (1, 64, (juce::uint8) 100)),
                         message (50, juce::MidiMessage::noteOn (1, 64, (juce::uint8) 0)), // velocity 0: off
                         message (60, juce::MidiMessage::noteOn (3, 62, (juce::uint8) 90)),
                         message (70, juce::MidiMessage::noteOff (3, 62)),
                         message (80, juce::MidiMessage::controllerEvent (1, 1, 64)), // not a note
                         message (90, juce::MidiMessage::pitchWheel (1, 9000)),
                         message (95, juce::MidiMessage::aftertouchChange (1, 65, 100)),
                     });

    // Nothing is shown on the audio thread; the timer takes the notes on the message thread.
    EXPECT_TRUE (keyboard.shown.empty());
    EXPECT_TRUE (runUntil ([&] { return keyboard.shown.size() >= 6; }));
    runFor (2 * HostNoteDisplay::intervalMs);

    const std::vector<std::pair<juce::String, bool>> expected{
        { "C0", true }, { "B1", true }, { "E0", true }, { "E0", false }, { "D0", true }, { "D0", false },
    };
    EXPECT_EQ (keyboard.shown, expected);
}

TEST (HostNotes, AFullQueueDropsKeyLightsButNeverANote)
{
    EditorHarness harness;
    RecordingKeyboard keyboard;
    harness.editor().getHostNoteDisplay().setKeyboard (&keyboard);
    auto& processor = harness.processor();

    // Far more notes than the queue holds, with no message thread running to take them.
    constexpr int blocks = 4, notesPerBlock = 600;
    for (int block = 0; block < blocks; ++block)
    {
        std::vector<Event> flood;
        for (int i = 0; i < notesPerBlock; ++i)
            flood.push_back (block_testing::noteOn (i % 512, 60 + i % 24));
        harness.process (512, flood);
    }

    EXPECT_EQ (processor.heldNoteCount, blocks * notesPerBlock);

    EXPECT_TRUE (runUntil ([&] { return !keyboard.shown.empty(); }));
    runFor (2 * HostNoteDisplay::intervalMs);
    EXPECT_EQ ((int) keyboard.shown.size(), decltype (processor.hostNotes)::size());
    EXPECT_EQ (keyboard.shown.front(), std::make_pair (juce::String ("C0"), true));

    // Once taken, the queue has room again.
    keyboard.shown.clear();
    harness.process (512, { block_testing::noteOff (0, 71) });
    EXPECT_TRUE (runUntil ([&] { return !keyboard.shown.empty(); }));
    EXPECT_EQ (keyboard.keys["B0"], false);
    EXPECT_EQ (keyboard.shown.size(), 1u);
}

TEST (HostNotes, ANewWindowShowsNoneOfTheNotesAnEarlierOneLeftUnshown)
{
    EditorHarness harness;
    harness.process (512, { block_testing::noteOn (0, 60) });
    harness.closeEditor();
    harness.openEditor();

    RecordingKeyboard keyboard;
    harness.editor().getHostNoteDisplay().setKeyboard (&keyboard);
    harness.process (512, { block_testing::noteOn (0, 62) });
    EXPECT_TRUE (runUntil ([&] { return !keyboard.shown.empty(); }));
    runFor (2 * HostNoteDisplay::intervalMs);

    EXPECT_EQ (keyboard.shown, (std::vector<std::pair<juce::String, bool>>{ { "D0", true } }));
}
