// A picture the user drops is decoded before anything changes: a file that does not decode leaves the picture, its
// path, the grid, the wavetables and the state as they were; one that does is loaded as loadFile loads it.
#include "PictureFixtures.h"

using namespace picture_fixtures;

namespace
{
constexpr int gridSize = OstrelAudioProcessor::gridSize;

juce::String statePath (OstrelAudioProcessor& processor)
{
    return processor.valueTreeState.state.getChildWithName ("ImagePath").getProperty ("path").toString();
}

juce::String homePath (const juce::String& name)
{
    return juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile (name).getFullPathName();
}

/** A processor playing a good picture: loaded, transformed, its grid and tables filled. */
void playPicture (OstrelAudioProcessor& processor, const juce::String& path)
{
    processor.loadFile (path, false);
    processor.updateImageManupulations();
    processor.intervalConfigs[IntervalIndex::shift].currentValue = 200.0f;

    for (int i = 0; i < OstrelAudioProcessor::numVoices; ++i)
        processor.handleWavetableSampleSelection (i);
}
} // namespace

TEST (DroppedPicture, AFileThatDoesNotDecodeChangesNothing)
{
    const auto png = encodePng (noisePicture (64, 64, juce::Image::RGB, 70));
    const auto folder = juce::File (homePath ("a.png"));
    ASSERT_TRUE (folder.createDirectory());

    const std::vector<std::pair<const char*, juce::String>> badPaths{
        { "truncated PNG", writeFile ("cut.png", truncated (png, png.getSize() / 2)) },
        { "BMP", writeFile ("old.bmp", encodeBmp (noisePicture (8, 8, juce::Image::RGB, 71))) },
        { "folder named a.png", folder.getFullPathName() },
        { "text named like a picture", writeFile ("notes.JPG", juce::MemoryBlock ("not a picture", 13)) },
        { "missing file", homePath ("missing.gif") },
        { "relative path", "picture.png" },
    };

    for (const auto& [name, badPath] : badPaths)
    {
        SCOPED_TRACE (name);
        OstrelAudioProcessor processor;
        const auto good = writePng ("good.png", noisePicture (gridSize, gridSize, juce::Image::RGB, 72));
        playPicture (processor, good);

        const auto* picture = processor.transformedImage.getPixelData();
        const auto* decoded = processor.loadedImage.getPixelData();
        const auto grid = gridCopy (processor);
        const auto table = tableCopy (processor, 3);

        int calls = 0;
        EXPECT_FALSE (processor.loadDroppedPicture (badPath, [&] { ++calls; }));

        EXPECT_EQ (calls, 0) << "nothing may be done for a file that is no picture";
        EXPECT_EQ (processor.transformedImage.getPixelData(), picture);
        EXPECT_EQ (processor.loadedImage.getPixelData(), decoded);
        EXPECT_EQ (processor.getImagePath(), good);
        EXPECT_EQ (statePath (processor), good);
        EXPECT_EQ (tableCopy (processor, 3), table);

        // The image thread goes on drawing the same picture.
        processor.updateImageManupulations();
        EXPECT_EQ (gridCopy (processor), grid);
    }
}

TEST (DroppedPicture, APictureIsLoadedAsLoadFileLoadsItOnceItIsKnownToDecode)
{
    OstrelAudioProcessor processor;
    const auto first = writePng ("first.png", filledPicture (16, 16, juce::Colours::black));
    const auto second = writePng ("second.PNG", filledPicture (16, 16, juce::Colours::white));
    playPicture (processor, first);

    // What the caller does once the file decoded comes before the new picture is in.
    juce::String pathSeen;
    int calls = 0;
    EXPECT_TRUE (processor.loadDroppedPicture (second,
                                               [&]
                                               {
                                                   ++calls;
                                                   pathSeen = processor.getImagePath();
                                               }));
    EXPECT_EQ (calls, 1);
    EXPECT_EQ (pathSeen, first);

    EXPECT_EQ (processor.getImagePath(), second);
    EXPECT_EQ (statePath (processor), second);
    EXPECT_TRUE (processor.transformedImage.isValid());
    EXPECT_EQ (tableCopy (processor, 3), std::vector<float> ((size_t) OstrelAudioProcessor::wavetableSize, 0.0f));

    processor.updateImageManupulations();
    EXPECT_EQ (gridAt (processor, 100, 100), 1.0f);

    // Without anything to do first, too.
    EXPECT_TRUE (processor.loadDroppedPicture (first));
    EXPECT_EQ (processor.getImagePath(), first);
}
