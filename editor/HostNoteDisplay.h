#pragma once

#include "processor/PluginProcessor.h"

/** The on-screen keyboard as the host-note display sees it. */
class HostNoteKeyboard
{
public:
    virtual ~HostNoteKeyboard() = default;
    /** A host note turned the key keyName ("C0" .. "B1") on or off. [message thread] */
    virtual void showHostNote (const juce::String& keyName, bool on) = 0;
};

/** Lights the keyboard's keys for the notes the host plays. The audio thread only queues the notes in the
    processor's hostNotes (pushHostNote); a timer here takes them on the message thread. */
class HostNoteDisplay : private juce::Timer
{
public:
    static constexpr int intervalMs = 30;

    explicit HostNoteDisplay (OstrelAudioProcessor& processor);
    ~HostNoteDisplay() override;

    /** The keyboard that shows the notes; null shows nothing. [message thread] */
    void setKeyboard (HostNoteKeyboard* keyboard);
    /** Shows every queued note on the keyboard now; what each tick does. [message thread] */
    void showPendingNotes();
    /** Drops the queued notes unseen: what a window before this one left unshown. [message thread] */
    void discardPendingNotes();

    /** The name of the key that plays note: "C0" for 60 .. "B1" for 83; empty for notes with no key. */
    static juce::String getKeyFromMidiNote (int note);

private:
    void timerCallback() override;

    OstrelAudioProcessor& processor;
    HostNoteKeyboard* keyboard = nullptr;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (HostNoteDisplay)
};
