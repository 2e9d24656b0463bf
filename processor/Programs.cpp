#include "processor/PluginProcessor.h"
#include "processor/state/FrameworkReaderWorkarounds.h"

#include <algorithm>
#include <cmath>
#include <iterator>

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
OstrelAudioProcessor::PresetsFileResult
writePresetArray (const juce::File& file, const juce::Array<juce::var>& presets, bool backUpOldFile)
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

    OstrelAudioProcessor::PresetsFileResult result;

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

juce::String OstrelAudioProcessor::getFilePath (juce::String fileName) const
{
    return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory)
        .getChildFile (presetsFolderName)
        .getChildFile (fileName)
        .getFullPathName();
}

float OstrelAudioProcessor::sanitisedParameterValue (const juce::String& paramID, double value) const
{
    auto* parameter = valueTreeState.getParameter (paramID);
    if (parameter == nullptr)
        return (float) value;

    const auto& range = parameter->getNormalisableRange();

    if (std::isnan (value))
        return range.convertFrom0to1 (parameter->getDefaultValue());

    return (float) juce::jlimit ((double) range.start, (double) range.end, value);
}

std::vector<OstrelProgram> OstrelAudioProcessor::parsePresetsText (const juce::String& text) const
{
    std::vector<OstrelProgram> parsed;

    try
    {
        const auto root = framework_readers::safeJsonParse (text);
        const auto* presets = presetArrayOf (root);
        if (presets == nullptr)
            return parsed;

        std::vector<juce::Identifier> keys;
        for (auto* group : allConfigs)
            for (const auto& config : *group)
                keys.emplace_back (config.paramID);

        for (const auto& element : *presets)
        {
            auto* object = element.getDynamicObject();
            if (object == nullptr)
                continue;

            OstrelProgram program;
            program.name = object->getProperty (presetNameKey).toString();
            program.values.assign ((size_t) numPresetValues, 0.0f);

            for (size_t k = 0; k < keys.size() && k < program.values.size(); ++k)
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

void OstrelAudioProcessor::readProgramsFromPresetsFile()
{
    try
    {
        const juce::File file (getFilePath (pluginPresetFileCheckName));
        if (!file.existsAsFile() || file.getSize() <= 0)
            return;

        auto parsed = parsePresetsText (file.loadFileAsString());

        const juce::ScopedLock lock (programsLock);
        std::move (parsed.begin(), parsed.end(), std::back_inserter (programs));
    }
    catch (...)
    {
        // A file that cannot even be read leaves the list as it was; construction goes on.
    }
}

OstrelProgram OstrelAudioProcessor::makeProgramFromCurrentSettings (const juce::String& name)
{
    OstrelProgram program;
    program.name = name;
    program.values.reserve ((size_t) numPresetValues);

    for (auto* group : allConfigs)
        for (const auto& config : *group)
            program.values.push_back (config.raw());

    program.imagePath = getImagePath();
    return program;
}

OstrelAudioProcessor::PresetsFileResult OstrelAudioProcessor::writePresetToFile (const juce::File& file,
                                                                                 const OstrelProgram& program) const
{
    auto* object = new juce::DynamicObject();
    object->setProperty (presetNameKey, program.name);

    size_t k = 0;
    for (auto* group : allConfigs)
        for (const auto& config : *group)
        {
            object->setProperty (config.paramID, k < program.values.size() ? (double) program.values[k] : 0.0);
            ++k;
        }

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

OstrelAudioProcessor::PresetsFileResult
OstrelAudioProcessor::removePresetFromFile (const juce::File& file, const juce::String& name, int occurrence) const
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

OstrelAudioProcessor::PresetsFileResult OstrelAudioProcessor::savePreset (const OstrelProgram& program)
{
    {
        const juce::ScopedLock lock (programsLock);
        bool replaced = false;

        for (auto& existing : programs)
        {
            if (existing.name == program.name)
            {
                existing = program;
                replaced = true;
            }
        }

        if (!replaced)
            programs.push_back (program);
    }

    presetsFile = juce::File (getFilePath (pluginPresetFileCheckName));
    return writePresetToFile (presetsFile, program);
}

OstrelAudioProcessor::PresetsFileResult OstrelAudioProcessor::deletePreset (int programIndex)
{
    juce::String name;
    int occurrence = 0;

    {
        const juce::ScopedLock lock (programsLock);
        if (programIndex < 0 || programIndex >= (int) programs.size())
            return {};

        // A name alone does not say which preset is meant when several share it; the programs follow the file's
        // presets in order, so the chosen one is the preset of its name with as many of that name before it.
        name = programs[(size_t) programIndex].name;
        occurrence = (int) std::count_if (programs.begin(),
                                          programs.begin() + programIndex,
                                          [&name] (const OstrelProgram& program) { return program.name == name; });
        programs.erase (programs.begin() + programIndex);
    }

    presetsFile = juce::File (getFilePath (pluginPresetFileCheckName));
    return removePresetFromFile (presetsFile, name, occurrence);
}

int OstrelAudioProcessor::getNumPrograms()
{
    const juce::ScopedLock lock (programsLock);

    // Program 0 is "Init", so with presets there is one program more than there are presets.
    return programs.empty() ? 1 : (int) programs.size() + 1;
}

int OstrelAudioProcessor::getCurrentProgram() { return 0; }

void OstrelAudioProcessor::setCurrentProgram (int index)
{
    OstrelProgram program;

    {
        const juce::ScopedLock lock (programsLock);
        if (index < 1 || index > (int) programs.size())
            return;

        program = programs[(size_t) (index - 1)];
    }

    // Decoded before anything changes, as it takes long.
    auto picture = program.imagePath.isNotEmpty() ? preparePicture (program.imagePath) : PreparedPicture();

    const juce::ScopedLock stateGuard (stateLock);

    // The program goes in as a whole new tree, made from an up-to-date copy (a stale property would keep a value
    // that a host set since): the framework swaps it in under its own lock and sets every parameter from it, so
    // no property is written here while the framework's timer writes parameter values into the tree.
    auto state = valueTreeState.copyState();

    std::unordered_map<juce::String, juce::ValueTree> parameterNodes;
    for (auto child : state)
        if (child.hasProperty ("id"))
            parameterNodes.emplace (child.getProperty ("id").toString(), child);

    size_t k = 0;
    for (auto* group : allConfigs)
    {
        for (const auto& config : *group)
        {
            const auto stored = k < program.values.size() ? (double) program.values[k] : 0.0;
            if (const auto node = parameterNodes.find (config.paramID); node != parameterNodes.end())
                node->second.setProperty ("value", (double) sanitisedParameterValue (config.paramID, stored), nullptr);
            ++k;
        }
    }

    // The old picture is dropped: the state names the program's picture if it decodes, or none. It is named in the
    // tree swapped in, never in the live one, which the framework's timer writes on the message thread.
    state.removeChild (state.getChildWithName (imagePathType), nullptr);
    if (picture.isValid())
        recordPicture (state, program.imagePath);
    valueTreeState.replaceState (state);

    if (program.imagePath.isNotEmpty())
        swapInPicture (std::move (picture), true, false);
    else
        dropPicture();

    rebookModulationMatrices();
}

const juce::String OstrelAudioProcessor::getProgramName (int index)
{
    if (index == 0)
        return "Init";

    const juce::ScopedLock lock (programsLock);

    // Also for a number with no preset behind it: no host or bar asks for one, and it names none.
    if (index < 1 || index > (int) programs.size())
        return "NoPreset";

    return programs[(size_t) (index - 1)].name;
}

void OstrelAudioProcessor::changeProgramName (int, const juce::String&) {}
