#include "PictureCopies.h"

namespace
{
/** The file-name part of a picture path: the text after its last "/", or the whole path. */
juce::String fileNamePart (const juce::String& path) { return path.fromLastOccurrenceOf ("/", false, false); }

/** The copy's name carries a hash of its bytes: 16 hexadecimal digits of 64-bit FNV-1a. */
constexpr int hashDigits = 16;
/** Picture names are cut to this many characters in the copy's name, so that the name stays within what
    file systems allow. */
constexpr int maxStemLength = 40;

/** The hash a copy's file name carries ("<stem>-<hash>.png"), or empty for any other name. */
juce::String hashInCopyName (const juce::String& name)
{
    if (!name.endsWith (".png"))
        return {};

    const auto body = name.dropLastCharacters (4);
    const auto hash = body.getLastCharacters (hashDigits);

    if (body.length() <= hashDigits || body[body.length() - hashDigits - 1] != '-'
        || !hash.containsOnly ("0123456789abcdef"))
        return {};

    return hash;
}

/** True when file holds exactly bytes. */
bool holdsExactly (const juce::File& file, const juce::MemoryBlock& bytes)
{
    if (file.getSize() != (juce::int64) bytes.getSize())
        return false;

    juce::MemoryBlock existing;
    return file.loadFileAsData (existing) && existing == bytes;
}

/** A file name that stays inside the folder it is looked up in. */
bool isPlainFileName (const juce::String& name)
{
    return name.isNotEmpty() && !name.containsAnyOf ("/\\") && name != "." && name != "..";
}
} // namespace

std::optional<juce::String>
PictureCopies::madeFor (juce::uint64 load, const juce::String& storedPath, const juce::File& folder) const
{
    if (lastCopy.load == load && lastCopy.sourcePath == storedPath && lastCopy.fileName.isNotEmpty()
        && folder.getChildFile (lastCopy.fileName).existsAsFile())
        return lastCopy.fileName;

    return std::nullopt;
}

void PictureCopies::remember (juce::uint64 load, const juce::String& storedPath, const juce::String& fileName)
{
    lastCopy = { load, storedPath, fileName };
}

juce::String PictureCopies::copyOf (const juce::Image& picture, const juce::File& source, const juce::File& folder)
{
    // A picture restored from its copy is that copy: its bytes carry the hash its name says.
    if (source.getParentDirectory() == folder)
    {
        if (const auto hash = hashInCopyName (source.getFileName()); hash.isNotEmpty())
        {
            juce::MemoryBlock bytes;
            if (source.loadFileAsData (bytes) && contentHash (bytes.getData(), bytes.getSize()) == hash)
                return source.getFileName();
        }
    }

    juce::MemoryOutputStream encoded;
    if (!juce::PNGImageFormat().writeImageToStream (picture, encoded))
        return {};

    const auto& png = encoded.getMemoryBlock();
    const auto hash = contentHash (png.getData(), png.getSize());

    // One copy per content, whatever the picture was called: an existing copy of the same bytes is used as it is.
    for (const auto& existing : folder.findChildFiles (juce::File::findFiles, false, "*-" + hash + ".png"))
        if (holdsExactly (existing, png))
            return existing.getFileName();

    auto stem = source.getFileNameWithoutExtension().substring (0, maxStemLength);
    if (stem.isEmpty())
        stem = "picture";

    // Named by its content, the copy never stands in for another picture; and a file of that name that holds
    // other bytes is not this plug-in's copy: it is left alone, and the state names no copy.
    const auto target = folder.getChildFile (stem + "-" + hash + ".png");
    if (target.exists() || !folder.createDirectory().wasOk())
        return {};

    // Written beside the copy and moved into place, so the copy holds exactly the PNG or does not exist.
    juce::TemporaryFile temporary (target);

    {
        juce::FileOutputStream stream (temporary.getFile(), 0);
        if (!stream.openedOk() || !stream.write (png.getData(), png.getSize()))
            return {};

        stream.flush();
        if (stream.getStatus().failed())
            return {};
    }

    return temporary.overwriteTargetFileWithTemporary() ? target.getFileName() : juce::String();
}

juce::String PictureCopies::nameToRestore (const juce::String& storedPath,
                                           const std::optional<juce::String>& recordedName)
{
    const auto name = recordedName.has_value() ? *recordedName : fileNamePart (storedPath);
    return isPlainFileName (name) ? name : juce::String();
}

juce::String PictureCopies::contentHash (const void* data, size_t size)
{
    auto hash = (juce::uint64) 14695981039346656037ull;
    const auto* bytes = static_cast<const juce::uint8*> (data);

    for (size_t i = 0; i < size; ++i)
    {
        hash ^= bytes[i];
        hash *= (juce::uint64) 1099511628211ull;
    }

    return juce::String::toHexString ((juce::int64) hash).paddedLeft ('0', hashDigits);
}
