// The on-screen keyboard: which key a point plays, the notes the mouse sends into the processor's keyboard queue,
// host notes that only light keys, and the note-off of a key still held when the window closes.
#include "EditorFixture.h"

using namespace editor_testing;

namespace
{
/** The messages waiting in the processor's keyboard queue, as {status, note, velocity}; the queue is emptied. */
std::vector<std::vector<int>> takeQueued (OstrelAudioProcessor& processor)
{
    std::vector<std::vector<int>> messages;
    const juce::ScopedLock lock (processor.keyboardMidiLock);
    for (const auto metadata : processor.keyboardMidiBuffer)
    {
        std::vector<int> bytes;
        for (int i = 0; i < metadata.numBytes; ++i)
            bytes.push_back (metadata.data[i]);
        messages.push_back (bytes);
    }
    processor.keyboardMidiBuffer.clear();
    return messages;
}

using Messages = std::vector<std::vector<int>>;

void down (juce::Component& c, juce::Point<int> at)
{
    c.mouseDown (mouseEventAt (c, at, juce::ModifierKeys::leftButtonModifier, at, false));
}

void up (juce::Component& c, juce::Point<int> at)
{
    c.mouseUp (mouseEventAt (c, at, juce::ModifierKeys::leftButtonModifier, at, false));
}

void leave (juce::Component& c, juce::Point<int> at) { c.mouseExit (mouseEventAt (c, at, {}, at, false)); }

// On the window's 888 x 94 keyboard: white keys 63 apart, black keys 62 high from x = 35 + 63i.
const juce::Point<int> c0Low{ 40, 80 }, d0Low{ 103, 80 }, e0Top{ 150, 5 };
} // namespace

TEST (MidiKeyboard, EachPointPlaysTheKeyDrawnThereAndPointsOutsidePlayNothing)
{
    MidiKeyboard keyboard;
    keyboard.setSize (888, 94);

    struct Case
    {
        int x, y;
        const char* key;
    };
    const Case cases[] = {
        { 10, 5, "C0" },                     // white key, top
        { 10, 93, "C0" },                    // white key, bottom row
        { 40, 80, "C0" },                    // white key below a black key's column
        { 40, 62, "C0" },                    // the first row below the black key
        { 40, 61, "C#0" },                   // the black key's last row
        { 35, 0, "C#0" },                    // its top left pixel
        { 34, 0, "C0" },                     // just left of it
        { 70, 10, "C#0" },                   // where it lies over the next white key's column
        { 75, 30, "C#0" },                   // its last column
        { 76, 30, "D0" },                    // just right of it, on its shadow
        { 150, 10, "E0" },                   // E has no black key to its right
        { 800, 30, "A#1" },                  // the last black key
        { 850, 30, "B1" },                   // the last white key
        { 881, 50, "B1" },                   // its last column
        { 882, 50, "" },                     // the pixels left over right of the last key
        { 887, 10, "" },    { 888, 10, "" }, // right of the keyboard
        { -1, 10, "" },                      // left of it
        { -40, 80, "" },    { 10, -1, "" },  // above it
        { 10, 94, "" },                      // below it
        { 40, 200, "" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (keyboard.getKeyAt (c.x, c.y), juce::String (c.key)) << c.x << ", " << c.y;

    // Narrower than fourteen pixels there is no key anywhere.
    keyboard.setSize (13, 94);
    for (const auto& c : cases)
        EXPECT_EQ (keyboard.getKeyAt (c.x, c.y), juce::String()) << c.x << ", " << c.y;
}

TEST (MidiKeyboard, ItsKeysPlayTheNotes60To83EachOnce)
{
    MidiKeyboard keyboard;
    EXPECT_EQ (keyboard.whiteKeys.size(), 14);
    EXPECT_EQ (keyboard.blackKeys.size(), 10);
    EXPECT_EQ (keyboard.keyStates.size(), 24u);

    std::set<int> notes;
    for (const auto& [name, pressed] : keyboard.keyStates)
    {
        EXPECT_FALSE (pressed);
        const auto note = MidiKeyboard::getMidiNoteNumber (name);
        EXPECT_EQ (HostNoteDisplay::getKeyFromMidiNote (note), name) << "the host lights the key that plays the note";
        notes.insert (note);
    }
    EXPECT_EQ (notes.size(), 24u);
    EXPECT_EQ (*notes.begin(), 60);
    EXPECT_EQ (*notes.rbegin(), 83);

    // The last character is taken for the octave, digit or not.
    EXPECT_EQ (MidiKeyboard::getMidiNoteNumber ("C#"), 60);
    for (const auto* name : { "", "C", "H0", "C10", "c0" })
        EXPECT_EQ (MidiKeyboard::getMidiNoteNumber (name), -1) << name;
}

TEST (MidiKeyboard, PressReleaseAndDragSendTheirNotesIntoTheKeyboardQueue)
{
    EditorHarness harness;
    auto& processor = harness.processor();
    auto& keyboard = harness.editor().keyboard;
    ASSERT_EQ (keyboard.getBounds(), EditorLayout::forSize (900, 700).keyboard);

    down (keyboard, c0Low);
    EXPECT_TRUE (keyboard.isKeyShownPressed ("C0"));
    EXPECT_EQ (takeQueued (processor), (Messages{ { 0x90, 60, 127 } }));
    up (keyboard, c0Low);
    EXPECT_FALSE (keyboard.isKeyShownPressed ("C0"));
    EXPECT_EQ (takeQueued (processor), (Messages{ { 0x80, 60, 0 } }));

    drag (keyboard, c0Low, d0Low);
    EXPECT_EQ (takeQueued (processor),
               (Messages{ { 0x90, 60, 127 }, { 0x80, 60, 0 }, { 0x90, 62, 127 }, { 0x80, 62, 0 } }));

    // Off the keys the note ends; the mouse leaving the keyboard ends it too.
    drag (keyboard, e0Top, { 150, 150 });
    EXPECT_EQ (takeQueued (processor), (Messages{ { 0x90, 64, 127 }, { 0x80, 64, 0 } }));
    down (keyboard, { 850, 30 });
    leave (keyboard, { 850, 120 });
    EXPECT_EQ (takeQueued (processor), (Messages{ { 0x90, 83, 127 }, { 0x80, 83, 0 } }));
    EXPECT_TRUE (keyboard.getCurrentKey().isEmpty());

    // The notes play.
    down (keyboard, c0Low);
    harness.process (256);
    EXPECT_EQ (processor.heldNoteCount, 1);
    up (keyboard, c0Low);
    harness.process (256);
    EXPECT_EQ (processor.heldNoteCount, 0);
}

TEST (MidiKeyboard, HostNotesOnlyLightKeysAndTheMouseReleasesOnlyWhatItPressed)
{
    EditorHarness harness;
    auto& processor = harness.processor();
    auto& keyboard = harness.editor().keyboard;

    harness.process (512, { block_testing::noteOn (0, 64) });
    ASSERT_TRUE (runUntil ([&] { return keyboard.isKeyShownPressed ("E0"); }));

    leave (keyboard, { 150, 120 });
    up (keyboard, { 150, 120 });
    EXPECT_TRUE (takeQueued (processor).empty()) << "the host's note is not the mouse's to end";
    EXPECT_TRUE (keyboard.isKeyShownPressed ("E0"));
    EXPECT_TRUE (keyboard.getCurrentKey().isEmpty());

    // The mouse plays the host's key too and ends only its own note; the key stays lit while the host holds it.
    click (keyboard, e0Top);
    EXPECT_EQ (takeQueued (processor), (Messages{ { 0x90, 64, 127 }, { 0x80, 64, 0 } }));
    EXPECT_TRUE (keyboard.isKeyShownPressed ("E0"));

    // A key the mouse holds stays lit through the host's note on it, and is the mouse's to release.
    down (keyboard, c0Low);
    EXPECT_EQ (takeQueued (processor), (Messages{ { 0x90, 60, 127 } }));
    harness.process (512, { block_testing::noteOn (0, 60), block_testing::noteOff (10, 60) });
    runFor (3 * HostNoteDisplay::intervalMs);
    EXPECT_TRUE (keyboard.isKeyShownPressed ("C0"));
    EXPECT_EQ (keyboard.getCurrentKey(), "C0");
    up (keyboard, c0Low);
    EXPECT_FALSE (keyboard.isKeyShownPressed ("C0"));
    EXPECT_EQ (takeQueued (processor), (Messages{ { 0x80, 60, 0 } }));

    harness.process (512, { block_testing::noteOff (0, 64) });
    EXPECT_TRUE (runUntil ([&] { return !keyboard.isKeyShownPressed ("E0"); }));
}

TEST (MidiKeyboard, AKeyHeldWhileTheWindowClosesIsReleased)
{
    EditorHarness harness;
    auto& processor = harness.processor();

    down (harness.editor().keyboard, d0Low);
    harness.process (256);
    ASSERT_EQ (processor.heldNoteCount, 1);

    harness.closeEditor();
    EXPECT_EQ (takeQueued (processor), (Messages{ { 0x80, 62, 0 } }));

    // Without a key held, closing sends nothing.
    harness.openEditor();
    harness.closeEditor();
    EXPECT_TRUE (takeQueued (processor).empty());
}

TEST (MidiKeyboard, EveryPixelDrawnPressedPlaysThePressedKey)
{
    MidiKeyboard keyboard;
    keyboard.setSize (888, 94);
    constexpr juce::uint32 red = 0xffff0000, white = 0xff646464, black = 0xff141414, background = 0xff808080;

    const auto unpressed = snapshot (keyboard);
    EXPECT_EQ (pixel (unpressed, 10, 50), white);
    EXPECT_EQ (pixel (unpressed, 50, 30), black);
    EXPECT_EQ (pixel (unpressed, 885, 0), background);
    EXPECT_EQ (countPixels (unpressed, keyboard.getLocalBounds(), red), 0);

    for (const auto& [name, ignored] : keyboard.keyStates)
    {
        keyboard.showHostNote (name, true);
        const auto image = snapshot (keyboard);

        int lit = 0;
        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                if (pixel (image, x, y) == red)
                {
                    ++lit;
                    ASSERT_EQ (keyboard.getKeyAt (x, y), name) << x << ", " << y;
                }

        EXPECT_GT (lit, 40 * 60) << name;
        keyboard.showHostNote (name, false);
    }

    // Host notes for names that are no key change nothing.
    keyboard.showHostNote ("C2", true);
    EXPECT_EQ (countPixels (snapshot (keyboard), keyboard.getLocalBounds(), red), 0);
}
