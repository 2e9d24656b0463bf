#include "RoutingStateFixtures.h"

using namespace routing_fixtures;

namespace
{
/** Gives the processor a decoded picture as loadFile leaves it, without decoding anything. */
void givePicture (OstrelAudioProcessor& processor, const juce::String& path, const juce::Image& picture)
{
    const juce::SpinLock::ScopedLockType lock (spinCriticalSection);
    processor.imagePath = path;
    processor.loadedImage = picture;
}

void setStoredPicturePath (OstrelAudioProcessor& processor, const juce::String& path)
{
    processor.valueTreeState.state.getOrCreateChildWithName ("ImagePath", nullptr).setProperty ("path", path, nullptr);
}

/** The copy's file name the state records, and whether it records one at all. */
std::pair<bool, juce::String> recordedCopy (const juce::MemoryBlock& state)
{
    const auto xml = xmlOf (state);
    const auto* node = xml != nullptr ? xml->getChildByName ("ImagePath") : nullptr;
    if (node == nullptr || !node->hasAttribute ("copy"))
        return { false, {} };
    return { true, node->getStringAttribute ("copy") };
}

juce::MemoryBlock bytesOf (const juce::File& file)
{
    juce::MemoryBlock bytes;
    file.loadFileAsData (bytes);
    return bytes;
}

juce::Array<juce::File> documentsFiles()
{
    return testing_helpers::documentsFolder().findChildFiles (juce::File::findFiles, false);
}

bool isPngData (const juce::File& file)
{
    juce::FileInputStream stream (file);
    juce::PNGImageFormat png;
    return stream.openedOk() && png.canUnderstand (stream);
}

/** A state blob whose parameters are given as (id, value text) pairs. */
juce::MemoryBlock craftedState (const std::vector<std::pair<juce::String, juce::String>>& params,
                                const juce::String& tag = "Ostrel")
{
    juce::XmlElement xml (tag);
    for (const auto& [id, value] : params)
    {
        auto* child = xml.createNewChildElement ("PARAM");
        child->setAttribute ("id", id);
        child->setAttribute ("value", value);
    }
    return stateBlob (xml);
}
} // namespace

TEST (State, RoundTripRestoresEveryParameter)
{
    OstrelAudioProcessor source;
    testing_helpers::setRaw (source, "Attack", 12.0f);
    testing_helpers::setRaw (source, "Octave", 4.0f);
    testing_helpers::setRaw (source, "Mono", 1.0f);
    testing_helpers::setRaw (source, "Mod_Env2_Shift", -0.5f);
    testing_helpers::setRaw (source, "filterType", 1.0f);
    const auto state = stateOf (source);

    const auto xml = xmlOf (state);
    ASSERT_NE (xml, nullptr);
    EXPECT_TRUE (xml->hasTagName ("Ostrel"));
    EXPECT_EQ (juce::ByteOrder::littleEndianInt (state.getData()), 0x21324356u);
    EXPECT_EQ (juce::ByteOrder::littleEndianInt (static_cast<const char*> (state.getData()) + 4), state.getSize() - 9);
    EXPECT_EQ (state[state.getSize() - 1], 0);

    OstrelAudioProcessor target;
    restore (target, state);
    EXPECT_EQ (allRawValues (target), allRawValues (source));
    EXPECT_FLOAT_EQ (rawValue (target, "filterType"), 1.0f);
    EXPECT_TRUE (target.getImagePath().isEmpty());
}

TEST (State, PictureCopyIsPngDataNamedByThePictureAndItsContent)
{
    const auto jpeg = writeJpeg (picturesFolder().getChildFile ("cat.jpg"));
    OstrelAudioProcessor source;
    source.loadFile (jpeg.getFullPathName(), false);
    ASSERT_TRUE (source.loadedImage.isValid());

    const auto state = stateOf (source);
    const auto [recorded, name] = recordedCopy (state);
    ASSERT_TRUE (recorded);
    EXPECT_TRUE (name.matchesWildcard ("cat-????????????????.png", false)) << name;
    EXPECT_TRUE (
        name.fromFirstOccurrenceOf ("-", false, false).dropLastCharacters (4).containsOnly ("0123456789abcdef"));

    const auto copy = testing_helpers::documentsFolder().getChildFile (name);
    ASSERT_TRUE (copy.existsAsFile());
    EXPECT_TRUE (isPngData (copy));
    EXPECT_TRUE (samePicture (juce::ImageFileFormat::loadFrom (copy), source.loadedImage))
        << "a lossless copy of the decoded picture";
    EXPECT_EQ (documentsFiles().size(), 1) << "no temporary file is left behind";

    // Only the copy is left: the restore loads it.
    ASSERT_TRUE (jpeg.deleteFile());
    OstrelAudioProcessor target;
    restore (target, state);
    EXPECT_EQ (target.getImagePath(), copy.getFullPathName());
    EXPECT_TRUE (samePicture (target.loadedImage, source.loadedImage));
    EXPECT_TRUE (target.transformedImage.isValid());
}

TEST (State, SameNamedPicturesFromTwoFoldersEachComeBackWithTheirState)
{
    const auto first = writePng (picturesFolder().getChildFile ("one/pic.png"), smallPicture (8, 6));
    const auto second = writePng (picturesFolder().getChildFile ("two/pic.png"), smallPicture (5, 9));

    OstrelAudioProcessor projectOne, projectTwo;
    projectOne.loadFile (first.getFullPathName(), false);
    projectTwo.loadFile (second.getFullPathName(), false);
    const auto stateOne = stateOf (projectOne);
    const auto stateTwo = stateOf (projectTwo);
    EXPECT_NE (recordedCopy (stateOne).second, recordedCopy (stateTwo).second);

    for (const auto originalsDeleted : { false, true })
    {
        SCOPED_TRACE (originalsDeleted ? "originals deleted" : "originals in place");
        if (originalsDeleted)
        {
            ASSERT_TRUE (first.deleteFile() && second.deleteFile());
        }

        for (const auto* project : { &projectOne, &projectTwo })
        {
            OstrelAudioProcessor reopened;
            restore (reopened, project == &projectOne ? stateOne : stateTwo);
            EXPECT_TRUE (samePicture (reopened.loadedImage, project->loadedImage));

            // Saved and restored once more, as a host does with a project it reopened.
            OstrelAudioProcessor again;
            restore (again, stateOf (reopened));
            EXPECT_TRUE (samePicture (again.loadedImage, project->loadedImage));
        }
    }

    EXPECT_EQ (documentsFiles().size(), 2) << "one copy per picture, however often saved";
}

TEST (State, SavingLeavesEveryFileButItsOwnCopyAlone)
{
    // Files in the documents folder that are not this plug-in's copies: the presets file, a picture called like
    // it, a JPEG the user keeps there, and a file that carries the name the copy would have but not its bytes.
    const auto folder = testing_helpers::documentsFolder();
    writePresetsFile (presetsText ({ presetObject ("Kept", { { "Attack", 3.0 } }) }));
    const auto namedLikePresets =
        writePng (picturesFolder().getChildFile (pluginPresetFileCheckName), smallPicture (4, 4));
    const auto keptJpeg = writeJpeg (folder.getChildFile ("holiday.jpg"), smallPicture (7, 3));

    const juce::File pictures[]{ namedLikePresets, keptJpeg };
    std::vector<std::pair<juce::File, juce::MemoryBlock>> before;
    for (const auto& file : { presetsFile(), keptJpeg })
        before.emplace_back (file, bytesOf (file));

    for (const auto& picture : pictures)
    {
        SCOPED_TRACE (picture.getFileName());
        OstrelAudioProcessor processor;
        processor.loadFile (picture.getFullPathName(), false);
        ASSERT_TRUE (processor.loadedImage.isValid());

        const auto state = stateOf (processor);
        const auto copy = folder.getChildFile (recordedCopy (state).second);
        ASSERT_TRUE (copy.existsAsFile());
        EXPECT_TRUE (samePicture (juce::ImageFileFormat::loadFrom (copy), processor.loadedImage));

        for (const auto& [file, bytes] : before)
            EXPECT_EQ (bytesOf (file), bytes) << file.getFileName() << " is left byte for byte";

        // A file with the copy's name but other bytes is never overwritten; the state then names no copy.
        ASSERT_TRUE (copy.deleteFile());
        juce::MemoryBlock other (100);
        other.fillWith (0x5a);
        ASSERT_TRUE (copy.replaceWithData (other.getData(), other.getSize()));

        OstrelAudioProcessor another;
        another.loadFile (picture.getFullPathName(), false);
        const auto [recorded, name] = recordedCopy (stateOf (another));
        EXPECT_TRUE (recorded);
        EXPECT_TRUE (name.isEmpty());
        EXPECT_EQ (bytesOf (copy), other);
        ASSERT_TRUE (copy.deleteFile());
    }
}

TEST (State, RestorePrefersTheCopyToTheStoredPath)
{
    const auto original = writePng (picturesFolder().getChildFile ("dog.png"));
    const auto copy = writePng (testing_helpers::documentsFolder().getChildFile ("dog.png"));

    OstrelAudioProcessor source;
    setStoredPicturePath (source, original.getFullPathName());
    const auto state = stateOf (source);

    OstrelAudioProcessor target;
    restore (target, state);
    EXPECT_EQ (target.getImagePath(), copy.getFullPathName());

    ASSERT_TRUE (copy.deleteFile());
    OstrelAudioProcessor second;
    restore (second, state);
    EXPECT_EQ (second.getImagePath(), original.getFullPathName()) << "without a copy the stored path is used";
}

TEST (State, PictureGoneFromBothPlacesLeavesNoPath)
{
    OstrelAudioProcessor source;
    setStoredPicturePath (source, picturesFolder().getChildFile ("gone.png").getFullPathName());
    const auto state = stateOf (source);

    OstrelAudioProcessor target;
    givePicture (target, "/somewhere/else.png", smallPicture());
    restore (target, state);
    EXPECT_TRUE (target.getImagePath().isEmpty());
    EXPECT_TRUE (target.loadedImage.isValid()) << "the picture already loaded stays in use";
}

TEST (State, MissingImagePathChildKeepsTheCurrentPicture)
{
    OstrelAudioProcessor source;
    testing_helpers::setRaw (source, "Glide", 30.0f);
    const auto state = stateOf (source);
    ASSERT_EQ (xmlOf (state)->getChildByName ("ImagePath"), nullptr);

    OstrelAudioProcessor withoutPicture;
    restore (withoutPicture, state);
    EXPECT_TRUE (withoutPicture.getImagePath().isEmpty());
    EXPECT_FLOAT_EQ (rawValue (withoutPicture, "Glide"), 30.0f);
    const auto emptyChild = withoutPicture.valueTreeState.state.getChildWithName ("ImagePath");
    ASSERT_TRUE (emptyChild.isValid());
    EXPECT_FALSE (emptyChild.hasProperty ("path"));

    OstrelAudioProcessor withPicture;
    const auto current = writePng (picturesFolder().getChildFile ("current.png"));
    withPicture.loadFile (current.getFullPathName(), false);
    withPicture.loadedImage = {}; // so that the restore is seen to load it again
    restore (withPicture, state);

    EXPECT_EQ (withPicture.getImagePath(), current.getFullPathName());
    EXPECT_TRUE (withPicture.loadedImage.isValid());
    EXPECT_EQ (withPicture.valueTreeState.state.getChildWithName ("ImagePath")["path"].toString(),
               current.getFullPathName());
}

TEST (State, OldFileOfThePicturesNameStaysAndTheCopyHoldsExactlyThePng)
{
    const auto old = testing_helpers::documentsFolder().getChildFile ("big.png");
    old.getParentDirectory().createDirectory();
    juce::MemoryBlock junk (200000);
    junk.fillWith (0x5a);
    ASSERT_TRUE (old.replaceWithData (junk.getData(), junk.getSize()));

    OstrelAudioProcessor processor;
    givePicture (processor, picturesFolder().getChildFile ("big.png").getFullPathName(), smallPicture());
    setStoredPicturePath (processor, processor.getImagePath());
    const auto state = stateOf (processor);

    juce::MemoryOutputStream expected;
    juce::PNGImageFormat png;
    png.writeImageToStream (smallPicture(), expected);

    EXPECT_EQ (bytesOf (testing_helpers::documentsFolder().getChildFile (recordedCopy (state).second)),
               expected.getMemoryBlock());
    EXPECT_EQ (bytesOf (old), junk) << "the file named like the picture is not its copy";
    EXPECT_EQ (documentsFiles().size(), 2) << "no temporary file is left behind";
}

TEST (State, ACopyIsWrittenOncePerPictureAndNoPictureWritesNothing)
{
    OstrelAudioProcessor source;
    source.loadFile (writePng (picturesFolder().getChildFile ("self.png"), smallPicture (5, 5)).getFullPathName(),
                     false);
    const auto name = recordedCopy (stateOf (source)).second;
    const auto copy = testing_helpers::documentsFolder().getChildFile (name);
    ASSERT_TRUE (copy.existsAsFile());

    // Later saves find the copy made: it is not written again (an older time stamp stays).
    const auto earlier = juce::Time (2001, 0, 1, 0, 0);
    ASSERT_TRUE (copy.setLastModificationTime (earlier));
    EXPECT_EQ (recordedCopy (stateOf (source)).second, name);
    EXPECT_EQ (copy.getLastModificationTime(), earlier);

    // A restore loads the copy itself; its saves name that copy and write nothing.
    OstrelAudioProcessor reopened;
    restore (reopened, stateOf (source));
    ASSERT_EQ (reopened.getImagePath(), copy.getFullPathName());
    EXPECT_EQ (recordedCopy (stateOf (reopened)).second, name);
    EXPECT_EQ (copy.getLastModificationTime(), earlier);
    EXPECT_EQ (documentsFiles().size(), 1);

    // A copy deleted meanwhile is made again.
    ASSERT_TRUE (copy.deleteFile());
    EXPECT_EQ (recordedCopy (stateOf (source)).second, name);
    EXPECT_TRUE (copy.existsAsFile());

    OstrelAudioProcessor withoutPicture;
    givePicture (withoutPicture, picturesFolder().getChildFile ("undecodable.png").getFullPathName(), {});
    setStoredPicturePath (withoutPicture, withoutPicture.getImagePath());
    const auto state = stateOf (withoutPicture);
    EXPECT_NE (xmlOf (state), nullptr) << "the state is produced all the same";
    EXPECT_FALSE (recordedCopy (state).first) << "no copy of a picture it does not have";
    EXPECT_EQ (documentsFiles().size(), 1);
}

TEST (State, BytesThatAreNotOurStateChangeNoParameter)
{
    juce::XmlElement foreign ("OtherPlugin");
    foreign.createNewChildElement ("PARAM")->setAttribute ("id", "Attack");
    foreign.getChildElement (0)->setAttribute ("value", "77");

    const auto good = craftedState ({ { "Attack", "77" } });
    const juce::String garbageText ("\x01\x02garbage bytes that are not a state");

    std::vector<std::pair<const char*, juce::MemoryBlock>> cases{
        { "another plug-in", stateBlob (foreign) },
        { "empty", {} },
        { "garbage", juce::MemoryBlock (garbageText.toRawUTF8(), garbageText.getNumBytesAsUTF8()) },
        { "truncated to the header", juce::MemoryBlock (good.getData(), 8) },
        { "truncated mid-text", juce::MemoryBlock (good.getData(), good.getSize() / 2) },
        { "zero length field",
          [&]
          {
              auto copy = good;
              std::memset (static_cast<char*> (copy.getData()) + 4, 0, 4);
              return copy;
          }() },
    };

    for (const auto& [name, bytes] : cases)
    {
        SCOPED_TRACE (name);
        OstrelAudioProcessor processor;
        testing_helpers::setRaw (processor, "Attack", 3.0f);
        const auto before = allRawValues (processor);

        processor.setStateInformation (bytes.getData(), (int) bytes.getSize());
        EXPECT_EQ (allRawValues (processor), before);
        EXPECT_TRUE (processor.valueTreeState.state.hasType ("Ostrel"));
    }

    OstrelAudioProcessor processor;
    processor.setStateInformation (nullptr, 0);
    processor.setStateInformation (good.getData(), -5);
    EXPECT_FLOAT_EQ (rawValue (processor, "Attack"), 0.1f);
}

TEST (State, DamagedValuesAreClampedAndNaNGivesTheDefault)
{
    const auto state = craftedState ({ { "Attack", "nan" },
                                       { "Decay", "inf" },
                                       { "Release", "-inf" },
                                       { "Gain", "1e30" },
                                       { "Freq", "-5" },
                                       { "Octave", "17" },
                                       { "Mod_Press_Zoom", "-3.5" },
                                       { "Glide", "42" } });
    OstrelAudioProcessor processor;
    restore (processor, state);

    const std::pair<const char*, float> expected[]{ { "Attack", 0.1f },          { "Decay", 100.0f },
                                                    { "Release", 0.0f },         { "Gain", 12.0f },
                                                    { "Freq", 50.0f },           { "Octave", 4.0f },
                                                    { "Mod_Press_Zoom", -1.0f }, { "Glide", 42.0f } };
    for (const auto& [id, value] : expected)
        EXPECT_FLOAT_EQ (rawValue (processor, id), value) << id;

    for (auto* group : processor.allConfigs)
        for (const auto& config : *group)
            EXPECT_TRUE (std::isfinite (config.raw())) << config.paramID;
}

TEST (State, StateFormatIsStable)
{
    // Generated once by this code and committed: a state of an earlier build must still restore.
    juce::MemoryBlock frozen;
    ASSERT_TRUE (frozenFixturesFolder().getChildFile ("state-v1.bin").loadFileAsData (frozen));

    OstrelAudioProcessor processor;
    RecordingSelectListener selects;
    processor.addModulationChangeListener (&selects);
    restore (processor, frozen);

    EXPECT_FLOAT_EQ (rawValue (processor, "Attack"), 12.5f);
    EXPECT_FLOAT_EQ (rawValue (processor, "Octave"), 3.0f);
    EXPECT_FLOAT_EQ (rawValue (processor, "Mod_LFO2_Freq"), 0.5f);
    EXPECT_FLOAT_EQ (rawValue (processor, "Mod_Mod_Gain"), -0.25f);
    EXPECT_EQ (modulatedIds (processor), std::vector<juce::String>{ "Freq" });
    ASSERT_EQ (processor.midiModulations[(size_t) processor.parameterIndex.at ("Gain")].size(), 1u);
    EXPECT_EQ (selects.indices, (std::vector<int>{ 1, 10 }));
    EXPECT_TRUE (processor.getImagePath().isEmpty()) << "its picture exists nowhere here";
    processor.removeModulationChangeListener (&selects);
}
