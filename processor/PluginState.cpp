#include "processor/PluginProcessor.h"
#include "processor/state/FrameworkReaderWorkarounds.h"

#include <cmath>
#include <optional>

namespace
{
bool isExistingFile (const juce::String& path)
{
    return juce::File::isAbsolutePath (path) && juce::File (path).existsAsFile();
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
    if (const auto made = pictureCopies.madeFor (load, storedPath, folder))
        return made;

    // The state names a picture that is not the one in use (a restore found it nowhere): its record stays.
    if (path != storedPath || !picture.isValid())
        return std::nullopt;

    juce::String name;

    {
        // Encoding a large picture takes long; the state being saved is a copy already, so nothing waits for it.
        const juce::ScopedUnlock unlocked (stateLock);
        name = PictureCopies::copyOf (picture, juce::File (path), folder);
    }

    if (name.isNotEmpty())
        pictureCopies.remember (load, storedPath, name);

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
        // The copy the state names, which holds exactly its picture, or in a state saved before copies were named
        // by their content, the copy of the picture's file name.
        const auto recordedCopy = node.hasProperty (pictureCopyProperty)
                                      ? std::optional<juce::String> (node.getProperty (pictureCopyProperty).toString())
                                      : std::nullopt;
        const auto copyName = PictureCopies::nameToRestore (stored, recordedCopy);
        const auto copy = copyName.isNotEmpty() ? getFilePath (copyName) : juce::String();

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
