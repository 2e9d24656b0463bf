#pragma once

#include "editor/HostNoteDisplay.h"

#include <functional>
#include <map>
#include <set>

/** The two-octave keyboard at the bottom of the window. Clicking and dragging plays the notes 60 to 83 through
    midiOutputCallback; host notes light its keys. The key the mouse holds and the keys the host lights are kept
    apart: the mouse only ever releases what it pressed, and host notes only light and unlight. [message thread] */
class MidiKeyboard : public juce::Component, public HostNoteKeyboard
{
public:
    MidiKeyboard();
    /** Releases the key the mouse holds, so that no note outlives the keyboard. */
    ~MidiKeyboard() override;

    void mouseExit (const juce::MouseEvent&) override;
    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void paint (juce::Graphics&) override;

    /** Lights or unlights keyName for a host note; never plays anything. */
    void showHostNote (const juce::String& keyName, bool on) override;

    /** The note a key name plays: "C0" 60 .. "B1" 83; -1 for a name that is no key. Only one trailing digit is
        read as the keyboard's octave. */
    static int getMidiNoteNumber (const juce::String& name);
    /** The names of the twelve notes of an octave, from C; a key's name adds its octave above the first, "C0". */
    static constexpr const char* noteNames[12]{ "C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B" };
    /** For a white key's place in its octave (0..6 = C..B), the index among the octave's five black keys of the
        black key to its right; -1 for E and B, which have none. */
    static int blackKeyIndexFromWhiteIndex (int whiteIndex);

    /** The key drawn at (x, y) in the keyboard's pixels; empty where there is none. */
    juce::String getKeyAt (int x, int y) const;
    /** The mouse presses name: it becomes the current key and its note-on goes out. */
    void pressKey (const juce::String& name);
    /** The mouse lets go of the current key, if any: its note-off goes out. */
    void releaseCurrentKey();

    /** Whether the key is drawn pressed (by the mouse or by the host). */
    bool isKeyShownPressed (const juce::String& name) const;
    const juce::String& getCurrentKey() const noexcept { return currentKey; }

    int numOctaves = 2;
    juce::StringArray whiteKeys;
    juce::StringArray blackKeys;
    juce::Colour whiteKeyColour{ 0xff646464 };
    juce::Colour blackKeyColour{ 0xff141414 };
    juce::Colour pressedKeyColour{ juce::Colours::red };
    /** True while a key is drawn pressed; every key name is in it. */
    std::map<juce::String, bool> keyStates;
    /** Where every note the mouse plays or releases goes; empty until the editor sets it. */
    std::function<void (const juce::MidiMessage&)> midiOutputCallback;

private:
    /** The keyboard's white key pitch in pixels. */
    int whiteKeyWidth() const noexcept;
    /** Height of the drawn black keys. */
    int blackKeyHeight() const noexcept;
    /** Width of the drawn black keys. */
    int blackKeyWidth() const noexcept;
    /** Left edge of the black key drawn right of white column column. */
    int blackKeyLeft (int column) const noexcept;
    /** The note-on or note-off of key name through the callback, if it plays a note and the callback is set. */
    void sendNote (const juce::String& name, bool on);
    /** The drawn state of name from who holds it. */
    void updateKeyState (const juce::String& name);

    /** The key the mouse holds; empty for none. */
    juce::String currentKey;
    /** The keys the host's notes light. */
    std::set<juce::String> hostKeys;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MidiKeyboard)
};
