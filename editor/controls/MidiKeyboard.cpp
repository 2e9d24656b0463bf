#include "MidiKeyboard.h"

MidiKeyboard::MidiKeyboard()
{
    // Names are a note name and the keyboard's own octave index (0 or 1), not a pitch octave.
    for (int octave = 0; octave < numOctaves; ++octave)
    {
        for (const auto* letter : { "C", "D", "E", "F", "G", "A", "B" })
        {
            const auto name = letter + juce::String (octave);
            whiteKeys.add (name);
            keyStates[name] = false;
        }

        for (const auto* letter : { "C#", "D#", "F#", "G#", "A#" })
        {
            const auto name = letter + juce::String (octave);
            blackKeys.add (name);
            keyStates[name] = false;
        }
    }
}

MidiKeyboard::~MidiKeyboard()
{
    // A key held while the window closes would otherwise sound until something else stops it.
    if (currentKey.isNotEmpty())
        sendNote (currentKey, false);
}

//==============================================================================
int MidiKeyboard::getMidiNoteNumber (const juce::String& name)
{
    const auto length = name.length();
    const auto last = length > 0 ? name[length - 1] : 0;
    const auto offset = length >= 2 && last >= '0' && last <= '9' ? 12 * (int) (last - '0') : 0;
    const auto base = name.dropLastCharacters (1);

    for (int k = 0; k < 12; ++k)
        if (base == noteNames[k])
            return 60 + k + offset;

    return -1;
}

int MidiKeyboard::blackKeyIndexFromWhiteIndex (int whiteIndex)
{
    static constexpr int mapping[]{ 0, 1, -1, 2, 3, 4, -1 };
    return whiteIndex >= 0 && whiteIndex < 7 ? mapping[whiteIndex] : -1;
}

int MidiKeyboard::whiteKeyWidth() const noexcept { return getWidth() / (numOctaves * 7); }

int MidiKeyboard::blackKeyHeight() const noexcept { return (int) (getHeight() / 1.5); }

int MidiKeyboard::blackKeyWidth() const noexcept { return whiteKeyWidth() - 22; }

int MidiKeyboard::blackKeyLeft (int column) const noexcept { return 35 + column * whiteKeyWidth(); }

juce::String MidiKeyboard::getKeyAt (int x, int y) const
{
    const auto keyW = whiteKeyWidth();
    if (keyW == 0 || x < 0 || y < 0 || x >= getWidth() || y >= getHeight())
        return {};

    // The black keys lie over the white ones: a point on one plays it, wherever the white columns are. Each is
    // hit over exactly the area drawn for it.
    if (y < blackKeyHeight())
    {
        for (int column = 0; column < whiteKeys.size(); ++column)
        {
            const auto black = blackKeyIndexFromWhiteIndex (column % 7);
            const auto index = 5 * (column / 7) + black;
            const auto left = blackKeyLeft (column);

            if (black >= 0 && index < blackKeys.size() && left <= x && x < left + blackKeyWidth())
                return blackKeys[index];
        }
    }

    const auto column = x / keyW;
    return column < whiteKeys.size() ? whiteKeys[column] : juce::String();
}

//==============================================================================
void MidiKeyboard::sendNote (const juce::String& name, bool on)
{
    const auto note = getMidiNoteNumber (name);
    if (note < 0 || !midiOutputCallback)
        return;

    const auto status = (juce::uint8) (on ? 0x90 : 0x80);
    midiOutputCallback (juce::MidiMessage (status, note & 0x7f, on ? 127 : 0, 0.0));
}

void MidiKeyboard::updateKeyState (const juce::String& name)
{
    keyStates[name] = name == currentKey || hostKeys.count (name) > 0;
}

bool MidiKeyboard::isKeyShownPressed (const juce::String& name) const
{
    const auto state = keyStates.find (name);
    return state != keyStates.end() && state->second;
}

void MidiKeyboard::pressKey (const juce::String& name)
{
    currentKey = name;
    keyStates[name] = true;
    sendNote (name, true);
    repaint();
}

void MidiKeyboard::releaseCurrentKey()
{
    if (currentKey.isEmpty())
        return;

    const auto released = currentKey;
    currentKey.clear();
    updateKeyState (released); // still lit while the host holds it
    sendNote (released, false);
    repaint();
}

void MidiKeyboard::showHostNote (const juce::String& keyName, bool on)
{
    if (keyStates.find (keyName) == keyStates.end())
        return;

    if (on)
        hostKeys.insert (keyName);
    else
        hostKeys.erase (keyName);

    updateKeyState (keyName); // still lit while the mouse holds it
    repaint();
}

//==============================================================================
void MidiKeyboard::mouseDown (const juce::MouseEvent& e)
{
    const auto key = getKeyAt (e.x, e.y);
    if (key.isEmpty())
        return;

    // Only a second pointer finds a key held here; its note-off goes first, or the note would never end.
    releaseCurrentKey();
    pressKey (key);
}

void MidiKeyboard::mouseDrag (const juce::MouseEvent& e)
{
    const auto key = getKeyAt (e.x, e.y);
    if (key == currentKey)
        return;

    releaseCurrentKey();
    if (key.isNotEmpty())
        pressKey (key);
}

void MidiKeyboard::mouseUp (const juce::MouseEvent&) { releaseCurrentKey(); }

void MidiKeyboard::mouseExit (const juce::MouseEvent&) { releaseCurrentKey(); }

//==============================================================================
void MidiKeyboard::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colours::grey);

    const auto keyW = whiteKeyWidth();
    if (whiteKeys.isEmpty())
        return;

    const auto h = getHeight();
    const auto shadow = juce::Colours::black.withAlpha ((juce::uint8) 0x80);
    const auto colourOf = [this] (const juce::String& name, juce::Colour unpressed)
    { return isKeyShownPressed (name) ? pressedKeyColour : unpressed; };

    // Each white key leaves a 2-pixel gap at its right, where its shadow shows.
    for (int i = 0; i < whiteKeys.size(); ++i)
    {
        const auto x = i * keyW;
        g.setColour (shadow);
        g.fillRect (x + 2, 2, keyW - 2, h + 2);
        g.setColour (colourOf (whiteKeys[i], whiteKeyColour));
        g.fillRect (x, 0, keyW - 2, h);
    }

    const auto blackH = blackKeyHeight();
    const auto shadowH = (int) (h / 1.5 + 2);

    for (int i = 0; i < whiteKeys.size(); ++i)
    {
        const auto black = blackKeyIndexFromWhiteIndex (i % 7);
        const auto index = 5 * (i / 7) + black;
        if (black < 0 || index >= blackKeys.size())
            continue;

        const auto x = blackKeyLeft (i);
        g.setColour (shadow);
        g.fillRect (x + 2, 2, blackKeyWidth(), shadowH);
        g.setColour (colourOf (blackKeys[index], blackKeyColour));
        g.fillRect (x, 0, blackKeyWidth(), blackH);
    }
}
