#include "processor/PluginProcessor.h"
#include "processor/state/FrameworkReaderWorkarounds.h"

#include <cmath>
#include <optional>

namespace
{
/** The file-name part of a picture path: the text after its last "/", or the whole path. */
juce::String fileNamePart (const juce::String& path) { return path.fromLastOccurrenceOf ("/", false, false); }

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
    auto xml = framework_readers::isSafeXmlState (data, sizeInBytes) ? getXmlFromBinary (data, sizeInBytes) : nullptr;

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
        if (const auto safe = framework_readers::withSafeExponents (child->getStringAttribute ("value")))
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
