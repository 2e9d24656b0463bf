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

TEST (State, PictureCopyIsPngDataUnderThePicturesOwnName)
{
    const auto jpeg = writeJpeg (picturesFolder().getChildFile ("cat.jpg"));
    OstrelAudioProcessor source;
    source.loadFile (jpeg.getFullPathName(), false);
    ASSERT_TRUE (source.loadedImage.isValid());

    const auto state = stateOf (source);
    const auto copy = testing_helpers::documentsFolder().getChildFile ("cat.jpg");
    ASSERT_TRUE (copy.existsAsFile());
    EXPECT_TRUE (isPngData (copy));

    const auto decoded = juce::ImageFileFormat::loadFrom (copy);
    ASSERT_TRUE (decoded.isValid());
    EXPECT_EQ (decoded.getBounds(), source.loadedImage.getBounds());
    EXPECT_EQ (decoded.getPixelAt (3, 2), source.loadedImage.getPixelAt (3, 2))
        << "a lossless copy of the decoded picture";

    // Only the copy is left: the restore loads it.
    ASSERT_TRUE (jpeg.deleteFile());
    OstrelAudioProcessor target;
    restore (target, state);
    EXPECT_EQ (target.getImagePath(), copy.getFullPathName());
    ASSERT_TRUE (target.loadedImage.isValid());
    EXPECT_EQ (target.loadedImage.getBounds(), source.loadedImage.getBounds());
    EXPECT_TRUE (target.transformedImage.isValid());
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

TEST (State, LongerOldCopyIsReplacedByExactlyTheNewPng)
{
    const auto copy = testing_helpers::documentsFolder().getChildFile ("big.png");
    copy.getParentDirectory().createDirectory();
    juce::MemoryBlock junk (200000);
    junk.fillWith (0x5a);
    ASSERT_TRUE (copy.replaceWithData (junk.getData(), junk.getSize()));

    OstrelAudioProcessor processor;
    givePicture (processor, picturesFolder().getChildFile ("big.png").getFullPathName(), smallPicture());
    stateOf (processor);

    juce::MemoryOutputStream expected;
    juce::PNGImageFormat png;
    png.writeImageToStream (smallPicture(), expected);

    juce::MemoryBlock written;
    copy.loadFileAsData (written);
    EXPECT_EQ (written, expected.getMemoryBlock());
    EXPECT_EQ (testing_helpers::documentsFolder().findChildFiles (juce::File::findFiles, false).size(), 1)
        << "no temporary file is left behind";
}

TEST (State, CopyOfItselfIsRewrittenInPlaceAndNoPictureWritesNothing)
{
    OstrelAudioProcessor processor;
    const auto copy = testing_helpers::documentsFolder().getChildFile ("self.png");
    givePicture (processor, copy.getFullPathName(), smallPicture (5, 5));
    stateOf (processor);
    EXPECT_TRUE (isPngData (copy));
    EXPECT_EQ (juce::ImageFileFormat::loadFrom (copy).getWidth(), 5);

    OstrelAudioProcessor withoutPicture;
    givePicture (withoutPicture, picturesFolder().getChildFile ("undecodable.png").getFullPathName(), {});
    const auto state = stateOf (withoutPicture);
    EXPECT_NE (xmlOf (state), nullptr) << "the state is produced all the same";
    EXPECT_FALSE (testing_helpers::documentsFolder().getChildFile ("undecodable.png").exists());
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
