#pragma once

#include <JuceHeader.h>

#include <vector>

/** One preset: a value per parameter record in model order, and its picture. */
struct OstrelProgram
{
    juce::String name;
    std::vector<float> values;
    juce::String imagePath;
};

/** What Save or Delete of the presets bar did to the presets file. Tests as a bool: whether it was written. */
struct PresetsFileResult
{
    /** True when the presets file now holds the change. */
    bool written = false;
    /** Where a presets file that could not be read (not JSON, or no preset array under its key) was moved before
        the new file was written, so that the presets it held are not lost; no file when there was none to move. */
    juce::File unreadableFileBackup;

    explicit operator bool() const noexcept { return written; }
};

/** The presets file's format and its changes: a JSON object whose one property, named like the file
    (pluginPresetFileCheckName), holds the presets, each an object with "PresetName", one number per parameter ID
    in model order and "imagePath" when it has a picture. Elements that read as no program (not objects) stay in the
    file as they are. A file is always replaced in one step, and one that cannot be read is kept in a backup beside
    it before it is replaced. Holds only the parameter IDs, fixed once built, so any thread but the audio thread may
    use it. */
class PresetsFile
{
public:
    /** Reads and writes no parameter: a file read gives programs without values. */
    PresetsFile() = default;
    /** parameterIDs: one per value of a program, in model order. */
    explicit PresetsFile (const juce::StringArray& parameterIDs);

    /** The presets that the text of a presets file holds, in file order, each with a value per parameter ID (0 for
        a key it lacks). Damage ends the reading; the presets read until then are returned. */
    std::vector<OstrelProgram> parse (const juce::String& text) const;

    /** Puts program into file in place of every preset of its name, or appends it. */
    PresetsFileResult write (const juce::File& file, const OstrelProgram& program) const;

    /** Drops the preset named name with occurrence presets of that name before it (0: the first) from file, counting
        only the elements that read as programs; drops none when the file holds fewer. Every other element stays as
        it is. */
    PresetsFileResult remove (const juce::File& file, const juce::String& name, int occurrence) const;

private:
    std::vector<juce::Identifier> keys;
};
