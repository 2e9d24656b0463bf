#pragma once

#include <JuceHeader.h>

#include <optional>

/** The copies of pictures that saved states name, in the documents folder, so that a project reopens with its own
    picture even when the original file has moved or was deleted. One PNG per content, named "<stem>-<hash>.png":
    the picture file's name (cut to 40 characters; "picture" when it has none) and 16 hexadecimal digits of the
    64-bit FNV-1a hash of the PNG's bytes. A copy never overwrites a file, and a file of a copy's name that holds
    other bytes is not taken for one.

    Remembers the copy made for the picture of one load, so that hosts that save again and again (autosave) have it
    encoded and written once. That record is guarded by the caller's lock (the processor's stateLock); the static
    functions touch no member and take no lock. [message thread or the host's saving and restoring threads] */
class PictureCopies
{
public:
    /** The file name of the copy remembered for load (a count of successful loads) of the picture at storedPath,
        when it still lies in folder; nothing otherwise. */
    std::optional<juce::String>
    madeFor (juce::uint64 load, const juce::String& storedPath, const juce::File& folder) const;

    /** Remembers fileName as the copy made for load of the picture at storedPath. */
    void remember (juce::uint64 load, const juce::String& storedPath, const juce::String& fileName);

    /** The file name of the copy of picture, decoded from the file source, in folder: source's own when it is such a
        copy, that of an existing copy of the same PNG bytes, or that of a new copy, written beside its place and
        moved there so that it holds exactly the PNG or does not exist. Empty when none can be made. Encodes the
        picture, which takes long. */
    static juce::String copyOf (const juce::Image& picture, const juce::File& source, const juce::File& folder);

    /** The file name, in the documents folder, of the copy that restores the picture at storedPath: recordedName,
        the copy a state names ("" when it names none), or, for a state saved before copies were named by their
        content (no recordedName), the file-name part of storedPath. Empty when the name would lead out of the
        folder. */
    static juce::String nameToRestore (const juce::String& storedPath, const std::optional<juce::String>& recordedName);

    /** The 16 hexadecimal digits of the 64-bit FNV-1a hash of size bytes, as a copy's name carries them. */
    static juce::String contentHash (const void* data, size_t size);

private:
    /** The copy made for the picture of one successful load. */
    struct Record
    {
        juce::uint64 load = 0;
        juce::String sourcePath;
        juce::String fileName;
    };

    Record lastCopy;
};
