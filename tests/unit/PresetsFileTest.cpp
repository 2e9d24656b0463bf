// The presets file on its own, over a model of three parameters: what it writes byte for byte, what it reads back,
// and which elements Save's write and Delete's remove change.
#include "processor/state/PresetsFile.h"

#include <gtest/gtest.h>

namespace
{
const juce::StringArray threeKeys{ "Attack", "Decay", "Mod_LFO1_Q" };

/** A file of its own under the test's HOME, not yet there. */
juce::File freshFile (const juce::String& name)
{
    const auto folder = juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile ("presets-file");
    folder.createDirectory();
    const auto file = folder.getChildFile (name);
    file.deleteFile();
    return file;
}

juce::MemoryBlock bytesOf (const juce::File& file)
{
    juce::MemoryBlock bytes;
    file.loadFileAsData (bytes);
    return bytes;
}

juce::MemoryBlock textWithZeroByte (const juce::String& text)
{
    juce::MemoryBlock bytes (text.toRawUTF8(), text.getNumBytesAsUTF8());
    bytes.append ("", 1);
    return bytes;
}

/** Each element as "name=Attack" for a program, "<text>" or "<array>" for anything else, one after the other. */
std::string elementsOf (const juce::File& file)
{
    juce::StringArray elements;
    const auto root = juce::JSON::parse (file.loadFileAsString());
    if (const auto* array = root["OstrelPresets.json"].getArray())
        for (const auto& element : *array)
            elements.add (element.getDynamicObject() != nullptr
                              ? element["PresetName"].toString() + "=" + element["Attack"].toString()
                              : "<" + (element.isArray() ? "array" : element.toString()) + ">");
    return elements.joinIntoString (" ").toStdString();
}
} // namespace

TEST (PresetsFile, WritesTheFileFormatAndReadsItBack)
{
    const PresetsFile presets (threeKeys);
    const auto file = freshFile ("format.json");

    ASSERT_TRUE (presets.write (file, { "Lead", { 1.5f, -2.25f, 0.125f }, "/pictures/cat.png" }));
    ASSERT_TRUE (presets.write (file, { "Short", { 7.0f }, {} }));

    // One line, a zero byte after it; keys in model order; a missing value written as 0; no path without a picture.
    EXPECT_EQ (
        bytesOf (file),
        textWithZeroByte ("{\"OstrelPresets.json\": [{\"PresetName\": \"Lead\", \"Attack\": 1.5, \"Decay\": "
                          "-2.25, \"Mod_LFO1_Q\": 0.125, \"imagePath\": \"/pictures/cat.png\"}, {\"PresetName\": "
                          "\"Short\", \"Attack\": 7.0, \"Decay\": 0.0, \"Mod_LFO1_Q\": 0.0}]}"));

    const auto read = presets.parse (file.loadFileAsString());
    ASSERT_EQ (read.size(), 2u);
    EXPECT_EQ (read[0].name, "Lead");
    EXPECT_EQ (read[0].values, (std::vector<float>{ 1.5f, -2.25f, 0.125f }));
    EXPECT_EQ (read[0].imagePath, "/pictures/cat.png");
    EXPECT_EQ (read[1].name, "Short");
    EXPECT_EQ (read[1].values, (std::vector<float>{ 7.0f, 0.0f, 0.0f }));
    EXPECT_TRUE (read[1].imagePath.isEmpty());

    // Values are found by their key, wherever it stands; a key the file lacks reads as 0.
    const auto other = PresetsFile ({ "Mod_LFO1_Q", "Release", "Attack" }).parse (file.loadFileAsString());
    ASSERT_EQ (other.size(), 2u);
    EXPECT_EQ (other[0].values, (std::vector<float>{ 0.125f, 0.0f, 1.5f }));
}

TEST (PresetsFile, WriteReplacesEveryPresetOfItsNameAndRemoveOnlyTheOneCounted)
{
    const PresetsFile presets (threeKeys);
    const auto before = "{\"OstrelPresets.json\": [{\"PresetName\": \"Pad\", \"Attack\": 1}, \"keep\", "
                        "{\"PresetName\": \"Bass\", \"Attack\": 2}, [{\"PresetName\": \"Pad\"}], "
                        "{\"PresetName\": \"Pad\", \"Attack\": 3}, {\"PresetName\": \"pad\", \"Attack\": 4}]}";
    const auto pad = OstrelProgram{ "Pad", { 9.0f, 0.0f, 0.0f }, {} };
    const auto fresh = OstrelProgram{ "Fresh", { 5.0f, 0.0f, 0.0f }, {} };

    struct Case
    {
        const char* what;
        std::function<PresetsFileResult (const juce::File&)> change;
        std::string after;
    };

    const Case cases[]{
        { "write Pad",
          [&] (const juce::File& f) { return presets.write (f, pad); },
          "Pad=9.0 <keep> Bass=2 <array> Pad=9.0 pad=4" },
        { "write Fresh",
          [&] (const juce::File& f) { return presets.write (f, fresh); },
          "Pad=1 <keep> Bass=2 <array> Pad=3 pad=4 Fresh=5.0" },
        { "remove the first Pad",
          [&] (const juce::File& f) { return presets.remove (f, "Pad", 0); },
          "<keep> Bass=2 <array> Pad=3 pad=4" },
        { "remove the second Pad (the one in an array does not count)",
          [&] (const juce::File& f) { return presets.remove (f, "Pad", 1); },
          "Pad=1 <keep> Bass=2 <array> pad=4" },
        { "remove a third Pad, which there is not",
          [&] (const juce::File& f) { return presets.remove (f, "Pad", 2); },
          "Pad=1 <keep> Bass=2 <array> Pad=3 pad=4" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        const auto file = freshFile ("changes.json");
        ASSERT_TRUE (file.replaceWithText (before));

        const auto result = c.change (file);
        EXPECT_TRUE (result.written);
        EXPECT_EQ (result.unreadableFileBackup, juce::File());
        EXPECT_EQ (elementsOf (file), c.after);
    }
}

TEST (PresetsFile, AnUnreadableFileIsKeptBesideTheNewOneAndAFailedWriteChangesNothing)
{
    const PresetsFile presets (threeKeys);
    const auto file = freshFile ("unreadable.json");
    ASSERT_TRUE (file.replaceWithText ("not a presets file ["));

    const auto result = presets.remove (file, "Any", 0);
    EXPECT_TRUE (result.written);
    EXPECT_EQ (result.unreadableFileBackup.getParentDirectory(), file.getParentDirectory());
    EXPECT_TRUE (result.unreadableFileBackup.getFileName().startsWith ("unreadable.unreadable-"));
    EXPECT_EQ (result.unreadableFileBackup.loadFileAsString(), "not a presets file [");
    EXPECT_EQ (elementsOf (file), "");
    EXPECT_TRUE (presets.parse (file.loadFileAsString()).empty());

    // A folder where the file should be: nothing is written, nothing is moved.
    const auto folder = freshFile ("folder.json");
    ASSERT_TRUE (folder.createDirectory());
    const auto failed = presets.write (folder, { "Lead", {}, {} });
    EXPECT_FALSE (failed);
    EXPECT_EQ (failed.unreadableFileBackup, juce::File());
    EXPECT_TRUE (folder.isDirectory());
}
