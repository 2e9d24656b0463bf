#include "processor/PluginProcessor.h"

#include <cmath>
#include <cstring>
#include <optional>

namespace
{
/** The file-name part of a picture path: the text after its last "/", or the whole path. */
juce::String fileNamePart (const juce::String& path) { return path.fromLastOccurrenceOf ("/", false, false); }

/** More than any state needs: its XML nests the parameters one level below the root. */
constexpr int maxStateNesting = 256;

/** True when a processing instruction ("<?...?>") is followed, past the whitespace, comments and instructions that the
    framework's reader skips with it, by anything but a tag or the end. Inside an element the reader loops for ever on
    such text: it skips the instruction looking for a tag, finds text, steps back to read that text from before the
    instruction, and meets the instruction again. A state holds one instruction, its declaration, before its root. */
bool hasInstructionBeforeText (const juce::String& text)
{
    const auto startsWith = [] (juce::CharPointer_UTF8 p, const char* prefix)
    {
        return juce::CharacterFunctions::compareUpTo (p, juce::CharPointer_ASCII (prefix), (int) std::strlen (prefix))
               == 0;
    };

    for (auto p = text.getCharPointer(); !p.isEmpty();)
    {
        if (!startsWith (p, "<?"))
        {
            ++p;
            continue;
        }

        for (;;)
        {
            const bool instruction = startsWith (p, "<?");
            if (!instruction && !startsWith (p, "<!--"))
                break;

            const auto* closing = instruction ? "?>" : "-->";
            p += instruction ? 2 : 4;

            const auto end = p.indexOf (juce::CharPointer_ASCII (closing));
            if (end < 0)
                return false; // the reader stops at an unclosed one, and so does every later one

            p += end + (int) std::strlen (closing);
            p.incrementToEndOfWhitespace();
        }

        if (!p.isEmpty() && *p != '<')
            return true;
    }

    return false;
}

/** True when the framework's reader would read on past the end of text: it steps over whatever ends the hex digits
    (at most eight) of a character reference "&#x", and so over the end of the text when they run into it. */
bool endsInHexReference (const juce::String& text)
{
    auto p = text.getCharPointer().findTerminatingNull();
    const auto start = text.getCharPointer();

    for (int digits = 0; digits <= 8 && p != start; ++digits)
    {
        --p;
        if (juce::CharacterFunctions::getHexDigitValue (*p) < 0)
            return (*p == 'x' || *p == 'X') && p != start && *--p == '#' && p != start && *--p == '&';
    }

    return false;
}

/** False for state bytes whose XML the framework's reader must not be given. The reader steps over a UTF-8 sequence
    by its first byte without looking at the rest, so a broken sequence can carry it past the end of the text: the
    text must be valid UTF-8. And it recurses once per element that has children, without a limit, so text nested
    some ten thousand deep overflows the stack of the host's thread. Each nesting level takes one '>' that does not
    end "/>", so counting those bounds the depth, whatever else the text holds; the text is decoded as the reader
    decodes it (an over-long UTF-8 sequence can stand for '>'). Nor may it hold text after a processing instruction
    (hasInstructionBeforeText), end in a cut character reference (endsInHexReference) or declare a document type. */
bool isSafeToParse (const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes <= 8)
        return true; // the reader takes nothing from these

    const auto length = (int) juce::ByteOrder::littleEndianInt (juce::addBytesToPointer (data, 4));
    if (length <= 0)
        return true;

    const auto* bytes = static_cast<const char*> (data) + 8;
    const auto numBytes = juce::jmin (sizeInBytes - 8, length);

    if (!juce::CharPointer_UTF8::isValidString (bytes, numBytes))
        return false;

    const auto text = juce::String::fromUTF8 (bytes, numBytes);

    // A document type makes the reader expand entities into text that it reads again, past its end too.
    if (hasInstructionBeforeText (text) || endsInHexReference (text) || text.contains ("<!DOCTYPE"))
        return false;

    int levels = 0;
    juce::juce_wchar previous = 0;

    for (auto p = text.getCharPointer(); !p.isEmpty();)
    {
        const auto c = p.getAndAdvance();

        if (c == '>' && previous != '/' && ++levels > maxStateNesting)
            return false;

        previous = c;
    }

    return true;
}

/** text with every exponent of ten significant digits or more written as 999999999, which reads as the same
    infinity or zero; nothing when it has none. The framework's number reader gathers an exponent's digits in an int
    without a bound, so ten or more overflow it (undefined behaviour; in practice a wrapped exponent, with
    "4.2e-4294967295" read as 42). Digits are read as the reader reads them, decoded. */
std::optional<juce::String> withSafeExponents (const juce::String& text)
{
    const auto isDigit = [] (juce::juce_wchar c) { return c >= '0' && c <= '9'; };
    juce::String result;
    auto copiedUpTo = text.getCharPointer();
    bool rewritten = false;

    for (auto p = text.getCharPointer(); !p.isEmpty();)
    {
        const auto c = p.getAndAdvance();
        if (c != 'e' && c != 'E')
            continue;

        auto digits = p;
        if (*digits == '+' || *digits == '-')
            ++digits;

        auto end = digits;
        int significant = 0;
        while (isDigit (*end))
            significant += (end.getAndAdvance() != '0' || significant > 0) ? 1 : 0;

        if (significant >= 10)
        {
            result += juce::String (copiedUpTo, digits);
            result += "999999999";
            copiedUpTo = end;
            rewritten = true;
        }

        p = end;
    }

    if (!rewritten)
        return std::nullopt;

    return result + juce::String (copiedUpTo);
}

bool isExistingFile (const juce::String& path)
{
    return juce::File::isAbsolutePath (path) && juce::File (path).existsAsFile();
}

/** The copy's name carries a hash of its bytes: 16 hexadecimal digits of 64-bit FNV-1a. */
constexpr int hashDigits = 16;
/** Picture names are cut to this many characters in the copy's name, so that the name stays within what
    file systems allow. */
constexpr int maxStemLength = 40;

juce::String contentHash (const void* data, size_t size)
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

/** The name of the copy of picture (decoded from source) in folder, made when no copy of it exists there; empty
    when none can be made. */
juce::String copyOfPicture (const juce::Image& picture, const juce::File& source, const juce::File& folder)
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

/** A file name that stays inside the folder it is looked up in. */
bool isPlainFileName (const juce::String& name)
{
    return name.isNotEmpty() && !name.containsAnyOf ("/\\") && name != "." && name != "..";
}
} // namespace

void OstrelAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    const juce::ScopedLock stateGuard (stateLock);
    auto state = valueTreeState.copyState();

    if (auto node = state.getChildWithName (imagePathType); node.isValid())
        if (const auto stored = node.getProperty (imagePathProperty).toString(); stored.isNotEmpty())
            if (const auto copyName = pictureCopyNameFor (stored))
                node.setProperty (pictureCopyProperty, *copyName, nullptr);

    if (const auto xml = state.createXml())
        copyXmlToBinary (*xml, destData);
}

std::optional<juce::String> OstrelAudioProcessor::pictureCopyNameFor (const juce::String& storedPath)
{
    juce::String path;
    juce::Image picture;
    juce::uint64 load;

    {
        // The image handle is shared, not copied: loadFile replaces loadedImage but never draws into it.
        const juce::SpinLock::ScopedLockType pictureLock (spinCriticalSection);
        path = imagePath;
        picture = loadedImage;
        load = pictureLoads;
    }

    const juce::File folder (getFilePath ({}));

    // Hosts save again and again (autosave): a picture is encoded and written once per load.
    if (pictureCopy.load == load && pictureCopy.sourcePath == storedPath && pictureCopy.fileName.isNotEmpty()
        && folder.getChildFile (pictureCopy.fileName).existsAsFile())
        return pictureCopy.fileName;

    // The state names a picture that is not the one in use (a restore found it nowhere): its record stays.
    if (path != storedPath || !picture.isValid())
        return std::nullopt;

    juce::String name;

    {
        // Encoding a large picture takes long; the state being saved is a copy already, so nothing waits for it.
        const juce::ScopedUnlock unlocked (stateLock);
        name = copyOfPicture (picture, juce::File (path), folder);
    }

    if (name.isNotEmpty())
        pictureCopy = { load, storedPath, name };

    return name;
}

std::unique_ptr<juce::XmlElement> OstrelAudioProcessor::readCheckedState (const void* data, int sizeInBytes) const
{
    auto xml = isSafeToParse (data, sizeInBytes) ? getXmlFromBinary (data, sizeInBytes) : nullptr;

    if (xml == nullptr)
        return nullptr;

    // A damaged or foreign state must not bring NaN, infinity or out-of-range values to the engine. The framework
    // takes any child with a parameter's ID for that parameter's, whatever its tag.
    for (auto* child : xml->getChildIterator())
    {
        const auto paramID = child->getStringAttribute ("id");
        if (valueTreeState.getParameter (paramID) == nullptr || !child->hasAttribute ("value"))
            continue;

        // Before the framework reads it, here or when it restores the parameter.
        if (const auto safe = withSafeExponents (child->getStringAttribute ("value")))
            child->setAttribute ("value", *safe);

        const auto stored = child->getDoubleAttribute ("value");
        const auto sanitised = sanitisedParameterValue (paramID, stored);

        if (!std::isfinite (stored) || (float) stored != sanitised)
            child->setAttribute ("value", (double) sanitised);
    }

    return xml;
}

void OstrelAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    const auto xml = readCheckedState (data, sizeInBytes);

    const juce::ScopedLock stateGuard (stateLock);

    // What the restore changes in the tree goes in with the tree, swapped in whole under the framework's lock: the
    // framework's timer writes parameter values into the live tree on the message thread meanwhile.
    juce::ValueTree restored;

    if (xml != nullptr && xml->hasTagName (valueTreeState.state.getType().toString()))
    {
        restored = juce::ValueTree::fromXml (*xml);
        restored.getOrCreateChildWithName (imagePathType, nullptr);
    }

    // An unreadable state changes no parameter; the picture the current state names is loaded again.
    const auto node = (restored.isValid() ? restored : valueTreeState.state).getChildWithName (imagePathType);
    const auto stored = node.getProperty (imagePathProperty).toString();

    if (stored.isNotEmpty())
    {
        juce::String copy;

        if (node.hasProperty (pictureCopyProperty))
        {
            // The copy the state names, which holds exactly its picture; "" when it has none.
            if (const auto name = node.getProperty (pictureCopyProperty).toString(); isPlainFileName (name))
                copy = getFilePath (name);
        }
        else
        {
            // A state saved before copies were named by their content: the copy of the picture's file name.
            if (const auto name = fileNamePart (stored); isPlainFileName (name))
                copy = getFilePath (name);
        }

        auto chosen = isExistingFile (copy) ? copy : stored;
        if (!isExistingFile (chosen))
            chosen = {};

        const juce::SpinLock::ScopedLockType pictureLock (spinCriticalSection);
        std::swap (imagePath, chosen);
    }

    const auto path = getImagePath();
    auto picture = path.isNotEmpty() ? preparePicture (path) : PreparedPicture();

    if (restored.isValid())
    {
        if (picture.isValid())
            recordPicture (restored, path);

        valueTreeState.replaceState (restored);
    }
    else if (picture.isValid() && node.getProperty (imagePathProperty).toString() != path)
    {
        // Loaded from the copy: the state names it from now on.
        auto state = valueTreeState.copyState();
        recordPicture (state, path);
        valueTreeState.replaceState (state);
    }

    if (path.isNotEmpty())
        swapInPicture (std::move (picture), false, false);

    rebookModulationMatrices();
}
