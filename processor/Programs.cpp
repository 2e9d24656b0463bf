#include "PluginProcessor.h"

#include <cmath>

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

/** The preset array of the file as it stands; empty when it is missing, empty or not a presets file. */
juce::Array<juce::var> readPresetArray (const juce::File& file)
{
    if (!file.existsAsFile() || file.getSize() <= 0)
        return {};

    const auto root = juce::JSON::parse (file.loadFileAsString());

    if (const auto* presets = presetArrayOf (root))
        return *presets;

    return {};
}

bool isPresetNamed (const juce::var& element, const juce::String& name)
{
    auto* object = element.getDynamicObject();
    return object != nullptr && object->getProperty (presetNameKey).toString() == name;
}

/** Replaces file by the presets in one step: the text goes to a temporary file beside it first, so a failed
    write leaves the old file as it was. */
bool writePresetArray (const juce::File& file, const juce::Array<juce::var>& presets)
{
    auto* root = new juce::DynamicObject();
    root->setProperty (pluginPresetFileCheckName, presets);
    const auto text = juce::JSON::toString (juce::var (root), true, 15);

    if (file.isDirectory() || !file.getParentDirectory().createDirectory().wasOk())
        return false;

    juce::TemporaryFile temporary (file);

    {
        juce::FileOutputStream stream (temporary.getFile(), 16384);
        if (!stream.openedOk())
            return false;

        if (!stream.writeString (text)) // with its trailing zero byte
            return false;

        stream.flush();
        if (stream.getStatus().failed())
            return false;
    }

    return temporary.overwriteTargetFileWithTemporary();
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

void OstrelAudioProcessor::readProgramsFromPresetsFile()
{
    try
    {
        const juce::File file (getFilePath (pluginPresetFileCheckName));
        if (!file.existsAsFile() || file.getSize() <= 0)
            return;

        const auto root = juce::JSON::parse (file.loadFileAsString());
        const auto* presets = presetArrayOf (root);
        if (presets == nullptr)
            return;

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

            const juce::ScopedLock lock (programsLock);
            programs.push_back (std::move (program));
        }
    }
    catch (...)
    {
        // A damaged file ends the reading; the presets read so far stay.
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

bool OstrelAudioProcessor::writePresetToFile (const juce::File& file, const OstrelProgram& program) const
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
    auto presets = readPresetArray (file);
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

    return writePresetArray (file, presets);
}

bool OstrelAudioProcessor::removePresetFromFile (const juce::File& file, const juce::String& name) const
{
    auto presets = readPresetArray (file);
    presets.removeIf ([&name] (const juce::var& element) { return isPresetNamed (element, name); });
    return writePresetArray (file, presets);
}

bool OstrelAudioProcessor::savePreset (const OstrelProgram& program)
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

bool OstrelAudioProcessor::deletePreset (int programIndex)
{
    juce::String name;

    {
        const juce::ScopedLock lock (programsLock);
        if (programIndex < 0 || programIndex >= (int) programs.size())
            return false;

        name = programs[(size_t) programIndex].name;
        programs.erase (programs.begin() + programIndex);
    }

    presetsFile = juce::File (getFilePath (pluginPresetFileCheckName));
    return removePresetFromFile (presetsFile, name);
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

    // Brings the tree up to date first: a tree property that still holds an old value would swallow an
    // assignment of that same value, and the parameter would keep the value a host set since.
    valueTreeState.copyState();

    size_t k = 0;
    for (auto* group : allConfigs)
    {
        for (const auto& config : *group)
        {
            const auto stored = k < program.values.size() ? (double) program.values[k] : 0.0;
            valueTreeState.getParameterAsValue (config.paramID) =
                (double) sanitisedParameterValue (config.paramID, stored);
            ++k;
        }
    }

    {
        const juce::SpinLock::ScopedLockType pictureLock (spinCriticalSection);
        imagePath = program.imagePath;
    }

    for (auto& cell : imageGrid)
        cell.store (0.0f, std::memory_order_relaxed);

    if (program.imagePath.isNotEmpty())
    {
        loadFile (program.imagePath, false);
    }
    else
    {
        const juce::SpinLock::ScopedLockType pictureLock (spinCriticalSection);
        transformedImage = juce::Image();
    }

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
