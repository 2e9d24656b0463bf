#include "processor/PluginProcessor.h"

#include <algorithm>
#include <cmath>
#include <iterator>

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

        auto parsed = presetsFileFormat.parse (file.loadFileAsString());

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
    JUCE_ASSERT_MESSAGE_THREAD
    OstrelProgram program;
    program.name = name;
    program.values.reserve ((size_t) numPresetValues);

    for (auto* group : allConfigs)
        for (const auto& config : *group)
            program.values.push_back (config.raw());

    program.imagePath = getImagePath();
    return program;
}

OstrelAudioProcessor::PresetsFileResult OstrelAudioProcessor::savePreset (const OstrelProgram& program)
{
    JUCE_ASSERT_MESSAGE_THREAD
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
    return presetsFileFormat.write (presetsFile, program);
}

OstrelAudioProcessor::PresetsFileResult OstrelAudioProcessor::deletePreset (int programIndex)
{
    JUCE_ASSERT_MESSAGE_THREAD
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
    return presetsFileFormat.remove (presetsFile, name, occurrence);
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
