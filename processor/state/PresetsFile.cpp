#include "PresetsFile.h"

#include "FrameworkReaderWorkarounds.h"
#include "processor/ParameterModel.h"

namespace
{
const juce::Identifier presetNameKey{ "PresetName" };
const juce::Identifier imagePathKey{ "imagePath" };

/** The preset array of a parsed presets file, or null when the root does not hold one. */
const juce::Array<juce::var>* presetArrayOf (const juce::var& root)
{
    if (auto* object = root.getDynamicObject())
        if (object->hasProperty (pluginPresetFileCheckName))
            return object->getProperty (pluginPresetFileCheckName).getArray();

    return nullptr;
}

/** The preset array of the file as it stands: empty when the file is missing or empty, and also when it cannot be
    read as a presets file, which is then marked unreadable (its bytes are still worth keeping). */
struct PresetsFileContents
{
    juce::Array<juce::var> presets;
    bool unreadable = false;
};

PresetsFileContents readPresetArray (const juce::File& file)
{
    if (!file.existsAsFile() || file.getSize() <= 0)
        return {};

    const auto root = framework_readers::safeJsonParse (file.loadFileAsString());

    if (const auto* presets = presetArrayOf (root))
        return { *presets, false };

    return { {}, true };
}

/** A name beside file that says what the backup is and when it was made, and that no file has yet:
    "OstrelPresets.unreadable-20261211-142501.json", then "...-142501-2.json" and so on. */
juce::File unusedBackupName (const juce::File& file)
{
    const auto base =
        file.getFileNameWithoutExtension() + ".unreadable-" + juce::Time::getCurrentTime().formatted ("%Y%m%d-%H%M%S");

    for (int n = 1; n <= 1000; ++n)
    {
        const auto candidate =
            file.getSiblingFile (base + (n > 1 ? "-" + juce::String (n) : juce::String()) + file.getFileExtension());
        if (!candidate.exists())
            return candidate;
    }

    return {};
}

/** True when element reads as a program (an object: the reader skips anything else) named name (an object without
    "PresetName" reads as the name ""). */
bool isPresetNamed (const juce::var& element, const juce::String& name)
{
    auto* object = element.getDynamicObject();
    return object != nullptr && object->getProperty (presetNameKey).toString() == name;
}

/** Replaces file by the presets in one step: the text goes to a temporary file beside it first, so a failed
    write leaves the old file as it was. An unreadable old file is moved to a backup just before the new one takes
    its place; when it cannot be moved, nothing is written. */
PresetsFileResult writePresetArray (const juce::File& file, const juce::Array<juce::var>& presets, bool backUpOldFile)
{
    auto* root = new juce::DynamicObject();
    root->setProperty (pluginPresetFileCheckName, presets);
    const auto text = juce::JSON::toString (juce::var (root), true, 15);

    if (file.isDirectory() || !file.getParentDirectory().createDirectory().wasOk())
        return {};

    juce::TemporaryFile temporary (file);

    {
        juce::FileOutputStream stream (temporary.getFile(), 16384);
        if (!stream.openedOk())
            return {};

        if (!stream.writeString (text)) // with its trailing zero byte
            return {};

        stream.flush();
        if (stream.getStatus().failed())
            return {};
    }

    // The stream reports no write that the system cut short (a full disk, a size limit) when the text fitted its
    // buffer: the file's size tells.
    if (temporary.getFile().getSize() != (juce::int64) text.getNumBytesAsUTF8() + 1)
        return {};

    PresetsFileResult result;

    if (backUpOldFile)
    {
        const auto backup = unusedBackupName (file);
        if (backup == juce::File() || !file.moveFileTo (backup))
            return {};

        result.unreadableFileBackup = backup;
    }

    result.written = temporary.overwriteTargetFileWithTemporary();

    // Not written after all: the old file goes back to its place.
    if (!result.written && result.unreadableFileBackup != juce::File() && !file.exists()
        && result.unreadableFileBackup.moveFileTo (file))
        result.unreadableFileBackup = juce::File();

    return result;
}
} // namespace

PresetsFile::PresetsFile (const juce::StringArray& parameterIDs)
{
    keys.reserve ((size_t) parameterIDs.size());
    for (const auto& id : parameterIDs)
        keys.emplace_back (id);
}

std::vector<OstrelProgram> PresetsFile::parse (const juce::String& text) const
{
    std::vector<OstrelProgram> parsed;

    try
    {
        const auto root = framework_readers::safeJsonParse (text);
        const auto* presets = presetArrayOf (root);
        if (presets == nullptr)
            return parsed;

        for (const auto& element : *presets)
        {
            auto* object = element.getDynamicObject();
            if (object == nullptr)
                continue;

            OstrelProgram program;
            program.name = object->getProperty (presetNameKey).toString();
            program.values.assign (keys.size(), 0.0f);

            for (size_t k = 0; k < keys.size(); ++k)
                if (object->hasProperty (keys[k]))
                    program.values[k] = (float) (double) object->getProperty (keys[k]);

            program.imagePath = object->getProperty (imagePathKey).toString();
            parsed.push_back (std::move (program));
        }
    }
    catch (...)
    {
        // A damaged file ends the reading; the presets read so far stay.
    }

    return parsed;
}

PresetsFileResult PresetsFile::write (const juce::File& file, const OstrelProgram& program) const
{
    auto* object = new juce::DynamicObject();
    object->setProperty (presetNameKey, program.name);

    for (size_t k = 0; k < keys.size(); ++k)
        object->setProperty (keys[k], k < program.values.size() ? (double) program.values[k] : 0.0);

    if (program.imagePath.isNotEmpty())
        object->setProperty (imagePathKey, program.imagePath);

    const juce::var preset (object);
    auto [presets, unreadable] = readPresetArray (file);
    bool replaced = false;

    for (auto& element : presets)
    {
        if (isPresetNamed (element, program.name))
        {
            element = preset;
            replaced = true;
        }
    }

    if (!replaced)
        presets.add (preset);

    return writePresetArray (file, presets, unreadable);
}

PresetsFileResult PresetsFile::remove (const juce::File& file, const juce::String& name, int occurrence) const
{
    auto [presets, unreadable] = readPresetArray (file);

    for (int i = 0, seen = 0; i < presets.size(); ++i)
    {
        if (isPresetNamed (presets.getReference (i), name) && seen++ == occurrence)
        {
            presets.remove (i);
            break;
        }
    }

    return writePresetArray (file, presets, unreadable);
}
