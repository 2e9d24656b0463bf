#include "processor/PluginProcessor.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>

namespace
{
const juce::Identifier presetNameKey{ "PresetName" };
const juce::Identifier imagePathKey{ "imagePath" };

/** Deeper than any presets file is nested (root, array, preset: 3); the framework's JSON reader recurses once per
    level, so a file nested thousands deep would overflow the stack of whoever reads it. */
constexpr int maxPresetsNesting = 64;

/** True when text nests arrays and objects no deeper than maxPresetsNesting, counted as the framework's reader
    walks it: brackets inside strings (quoted with " or ', with backslash escapes) do not count. Anything the
    reader would refuse first does not matter, since it stops there. */
bool isNestedWithinLimit (const juce::String& text)
{
    int depth = 0;
    juce::juce_wchar quote = 0;

    for (auto p = text.getCharPointer(); !p.isEmpty();)
    {
        const auto c = p.getAndAdvance();

        if (quote != 0)
        {
            if (c == '\\')
            {
                if (p.isEmpty())
                    break;
                ++p;
            }
            else if (c == quote)
            {
                quote = 0;
            }
        }
        else if (c == '"' || c == '\'')
        {
            quote = c;
        }
        else if (c == '[' || c == '{')
        {
            if (++depth > maxPresetsNesting)
                return false;
        }
        else if (c == ']' || c == '}')
        {
            --depth;
        }
    }

    return true;
}

bool isDigit (char c) noexcept { return c >= '0' && c <= '9'; }

/** Roughly the power of ten of the unsigned literal in text[start, end): where its first significant digit stands,
    plus its exponent (saturated). Only its sign is used. */
long long decimalExponentOf (const std::string& text, size_t start, size_t end)
{
    long long position = 0;
    bool inFraction = false, significant = false;
    size_t i = start;

    for (; i < end && text[i] != 'e' && text[i] != 'E'; ++i)
    {
        if (text[i] == '.')
        {
            inFraction = true;
        }
        else if (text[i] != '0' || significant)
        {
            significant = true;
            position += inFraction ? 0 : 1;
        }
        else if (inFraction)
        {
            --position; // a zero between the point and the first significant digit
        }
    }

    long long exponent = 0;
    if (i < end)
    {
        const auto negative = i + 1 < end && text[i + 1] == '-';
        for (auto k = i + 1; k < end; ++k)
            if (isDigit (text[k]))
                exponent = std::min (exponent * 10 + (text[k] - '0'), (long long) 1 << 40);
        exponent = negative ? -exponent : exponent;
    }

    return position + exponent;
}

/** The number that the unsigned literal in text[start, end) denotes, written so that the framework's reader takes it
    exactly: the shortest text that reads back as the same double, ±infinity as 1e999. */
std::string canonicalNumberLiteral (const std::string& text, size_t start, size_t end)
{
    double value = 0.0;
    const auto [rest, error] = std::from_chars (text.data() + start, text.data() + end, value);
    juce::ignoreUnused (rest);

    if (error == std::errc::result_out_of_range)
        return decimalExponentOf (text, start, end) > 0 ? "1e999" : "0.0"; // too large for a double, or too near 0

    char buffer[64];
    const auto written = std::to_chars (buffer, buffer + sizeof (buffer), value, std::chars_format::scientific);
    return std::string (buffer, written.ptr);
}

/** text, with the number literals that the framework's JSON reader would mishandle rewritten first. The reader
    gathers a number's integer digits in a 64-bit integer without a bound, so 19 digits or more overflow it (undefined
    behaviour, in practice a wrapped value: 18446744073709551617 read as 1); it gathers exponent digits in an int the
    same way. Such literals become the double they denote. After a '-' the reader gathers whatever character comes
    first as if it were a digit, so a '-' followed by anything but a digit is made a syntax error, which legal JSON
    never has. Strings are copied as they are. Returns text itself when nothing needs rewriting. */
juce::String withSafeNumberLiterals (const juce::String& text)
{
    const auto source = text.toStdString(); // UTF-8: every byte JSON gives a meaning to is ASCII
    const auto size = source.size();
    std::string result;
    size_t copiedUpTo = 0;
    bool rewritten = false;
    const auto replace = [&] (size_t from, size_t to, const std::string& with)
    {
        rewritten = true;
        result.append (source, copiedUpTo, from - copiedUpTo);
        result += with;
        copiedUpTo = to;
    };

    char quote = 0;
    size_t i = 0;

    while (i < size)
    {
        const auto c = source[i];

        if (quote != 0)
        {
            i += c == '\\' ? 2 : 1;
            if (c == quote)
                quote = 0;
            continue;
        }

        if (c == '"' || c == '\'')
        {
            quote = c;
            ++i;
            continue;
        }

        if (c == '-')
        {
            auto next = i + 1;
            while (next < size
                   && juce::CharacterFunctions::isWhitespace ((juce::juce_wchar) (juce::uint8) source[next]))
                ++next;

            if (next < size && !isDigit (source[next]))
            {
                // Past the whole (possibly multi-byte) character the reader would take as the first digit.
                auto afterCharacter = next + 1;
                while (afterCharacter < size && ((juce::uint8) source[afterCharacter] & 0xc0) == 0x80)
                    ++afterCharacter;

                replace (afterCharacter, afterCharacter, "x");
                i = afterCharacter;
                continue;
            }

            i = next;
            continue;
        }

        if (!isDigit (c))
        {
            ++i;
            continue;
        }

        // A number: integer digits, then an optional fraction and exponent, as the reader's decimal fallback reads it.
        auto end = i;
        while (end < size && isDigit (source[end]))
            ++end;
        const auto integerDigits = end - i;

        if (end < size && source[end] == '.')
            for (++end; end < size && isDigit (source[end]);)
                ++end;

        size_t significantExponentDigits = 0;
        if (end < size && (source[end] == 'e' || source[end] == 'E'))
        {
            auto digits = end + 1;
            if (digits < size && (source[digits] == '+' || source[digits] == '-'))
                ++digits;

            auto exponentEnd = digits;
            while (exponentEnd < size && isDigit (source[exponentEnd]))
                ++exponentEnd;

            if (exponentEnd > digits)
            {
                const auto firstNonZero = source.find_first_not_of ('0', digits);
                significantExponentDigits = firstNonZero < exponentEnd ? exponentEnd - firstNonZero : 0;
                end = exponentEnd;
            }
        }

        if (integerDigits >= 19 || significantExponentDigits > 3)
            replace (i, end, canonicalNumberLiteral (source, i, end));

        i = end;
    }

    if (!rewritten)
        return text;

    result.append (source, copiedUpTo, std::string::npos);
    return juce::String::fromUTF8 (result.data(), (int) result.size());
}

/** The value of the four hex digits at text[at], or -1 when they are not four hex digits. */
int hexQuad (const std::string& text, size_t at)
{
    if (at + 4 > text.size())
        return -1;

    int value = 0;
    for (size_t i = at; i < at + 4; ++i)
    {
        const auto digit = juce::CharacterFunctions::getHexDigitValue ((juce::juce_wchar) (juce::uint8) text[i]);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

/** text, with every escaped UTF-16 surrogate pair inside a string ("\ud83c\udfb9") replaced by the character it
    encodes. The framework's writer escapes a character beyond the 16-bit range as such a pair, but its reader takes
    each half for a character of its own, so a preset name with one (an emoji) would not read back as written.
    Returns text itself when there is nothing to replace. */
juce::String withJoinedSurrogatePairs (const juce::String& text)
{
    // Most files have no escape at all; a quick look for a backslash keeps a large file's read from a second pass.
    const auto* escape = std::strchr (text.toRawUTF8(), '\\');
    while (escape != nullptr && !(escape[1] == 'u' && (escape[2] == 'd' || escape[2] == 'D')))
        escape = std::strchr (escape + 1, '\\');

    if (escape == nullptr)
        return text;

    const auto source = text.toStdString(); // UTF-8: every byte JSON gives a meaning to is ASCII
    const auto size = source.size();
    std::string result;
    size_t copiedUpTo = 0;
    bool rewritten = false;
    char quote = 0;

    for (size_t i = 0; i < size;)
    {
        const auto c = source[i];

        if (quote == 0)
        {
            if (c == '"' || c == '\'')
                quote = c;
            ++i;
            continue;
        }

        if (c == quote)
        {
            quote = 0;
            ++i;
            continue;
        }

        if (c != '\\')
        {
            ++i;
            continue;
        }

        const auto high = i + 1 < size && source[i + 1] == 'u' ? hexQuad (source, i + 2) : -1;
        const auto low =
            high >= 0xd800 && high <= 0xdbff && i + 7 < size && source[i + 6] == '\\' && source[i + 7] == 'u'
                ? hexQuad (source, i + 8)
                : -1;

        if (low < 0xdc00 || low > 0xdfff)
        {
            i += 2; // any other escape, kept as it is
            continue;
        }

        const auto codePoint = 0x10000 + ((high - 0xd800) << 10) + (low - 0xdc00);
        result.append (source, copiedUpTo, i - copiedUpTo);
        result += (char) (0xf0 | (codePoint >> 18));
        result += (char) (0x80 | ((codePoint >> 12) & 0x3f));
        result += (char) (0x80 | ((codePoint >> 6) & 0x3f));
        result += (char) (0x80 | (codePoint & 0x3f));
        i += 12;
        copiedUpTo = i;
        rewritten = true;
    }

    if (!rewritten)
        return text;

    result.append (source, copiedUpTo, std::string::npos);
    return juce::String::fromUTF8 (result.data(), (int) result.size());
}

/** The parsed text of a presets file; void when it does not parse or is nested too deeply to parse safely. */
juce::var parsePresetsJson (const juce::String& text)
{
    if (!isNestedWithinLimit (text))
        return {};

    return juce::JSON::parse (withJoinedSurrogatePairs (withSafeNumberLiterals (text)));
}

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

    const auto root = parsePresetsJson (file.loadFileAsString());

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
        const auto root = parsePresetsJson (text);
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
