#include "HostNoteDisplay.h"

#include "controls/MidiKeyboard.h"

HostNoteDisplay::HostNoteDisplay (OstrelAudioProcessor& p) : processor (p) { startTimer (intervalMs); }

HostNoteDisplay::~HostNoteDisplay() { stopTimer(); }

void HostNoteDisplay::setKeyboard (HostNoteKeyboard* newKeyboard) { keyboard = newKeyboard; }

void HostNoteDisplay::showPendingNotes()
{
    HostNote note;
    while (processor.hostNotes.pop (note))
    {
        if (keyboard == nullptr)
            continue;

        const auto key = getKeyFromMidiNote (note.note);
        if (key.isNotEmpty())
            keyboard->showHostNote (key, note.on);
    }
}

void HostNoteDisplay::discardPendingNotes()
{
    HostNote note;
    while (processor.hostNotes.pop (note))
    {
    }
}

juce::String HostNoteDisplay::getKeyFromMidiNote (int note)
{
    // The keyboard's two octaves play the notes 60 to 83.
    if (note < 60 || note > 83)
        return {};

    return juce::String (MidiKeyboard::noteNames[note % 12]) + juce::String (note / 12 - 5);
}

void HostNoteDisplay::timerCallback() { showPendingNotes(); }
