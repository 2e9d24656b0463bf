// The picture copies on their own: how a copy is named and written, when an existing file is reused or left alone,
// the record of the copy made for a load, and which copy a restored state is read from.
#include "processor/state/PictureCopies.h"

#include <gtest/gtest.h>

namespace
{
/** A folder of its own under the test's HOME, empty. */
juce::File freshFolder (const juce::String& name)
{
    auto folder = juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile (name);
    folder.deleteRecursively();
    folder.createDirectory();
    return folder;
}

juce::Image picture (int width, int height, juce::Colour colour)
{
    juce::Image image (juce::Image::RGB, width, height, true);
    image.clear (image.getBounds(), colour);
    return image;
}

juce::MemoryBlock pngOf (const juce::Image& image)
{
    juce::MemoryOutputStream out;
    juce::PNGImageFormat().writeImageToStream (image, out);
    return out.getMemoryBlock();
}

juce::MemoryBlock bytesOf (const juce::File& file)
{
    juce::MemoryBlock bytes;
    file.loadFileAsData (bytes);
    return bytes;
}

int numFilesIn (const juce::File& folder) { return folder.getNumberOfChildFiles (juce::File::findFiles); }
} // namespace

TEST (PictureCopies, NamesCarryTheSixtyFourBitFnv1aOfThePng)
{
    // Copies made by earlier builds are found by this hash: it must stay the same function.
    const std::pair<const char*, const char*> vectors[]{
        { "", "cbf29ce484222325" },
        { "a", "af63dc4c8601ec8c" },
        { "foobar", "85944171f73967e8" },
    };
    for (const auto& [text, hash] : vectors)
        EXPECT_EQ (PictureCopies::contentHash (text, std::strlen (text)), hash) << text;

    const auto folder = freshFolder ("copies-named");
    const auto red = picture (6, 4, juce::Colours::red);
    const auto png = pngOf (red);

    const auto name = PictureCopies::copyOf (red, juce::File ("/pictures/cat.jpg"), folder);
    EXPECT_EQ (name, "cat-" + PictureCopies::contentHash (png.getData(), png.getSize()) + ".png");
    EXPECT_EQ (bytesOf (folder.getChildFile (name)), png) << "exactly the PNG, whatever the picture's own format";
    EXPECT_EQ (numFilesIn (folder), 1) << "no temporary file is left behind";

    const auto longStem = PictureCopies::copyOf (picture (3, 3, juce::Colours::blue),
                                                 juce::File ("/pictures/" + juce::String::repeatedString ("n", 60)),
                                                 folder);
    EXPECT_TRUE (longStem.startsWith (juce::String::repeatedString ("n", 40) + "-")) << longStem;
    EXPECT_EQ (longStem.length(), 40 + 1 + 16 + 4);

    EXPECT_TRUE (
        PictureCopies::copyOf (picture (2, 2, juce::Colours::green), juce::File(), folder).startsWith ("picture-"));
}

TEST (PictureCopies, OneCopyPerContentAndNoFileOfAnotherContentIsTouched)
{
    const auto folder = freshFolder ("copies-reused");
    const auto red = picture (6, 4, juce::Colours::red);
    const auto first = PictureCopies::copyOf (red, juce::File ("/pictures/cat.jpg"), folder);
    ASSERT_TRUE (first.isNotEmpty());
    const auto copy = folder.getChildFile (first);
    const auto earlier = juce::Time (2001, 0, 1, 0, 0);
    ASSERT_TRUE (copy.setLastModificationTime (earlier));

    // The same picture under another name, and the copy itself as the picture in use: the copy there is taken.
    EXPECT_EQ (PictureCopies::copyOf (red, juce::File ("/elsewhere/dog.png"), folder), first);
    EXPECT_EQ (PictureCopies::copyOf (red, copy, folder), first);
    EXPECT_EQ (copy.getLastModificationTime(), earlier) << "neither was written again";
    EXPECT_EQ (numFilesIn (folder), 1);

    // A file with the name a copy would have but other bytes is not a copy: it stays as it is, and there is none.
    const auto blue = picture (5, 5, juce::Colours::blue);
    const auto bluePng = pngOf (blue);
    const auto squatter =
        folder.getChildFile ("sky-" + PictureCopies::contentHash (bluePng.getData(), bluePng.getSize()) + ".png");
    ASSERT_TRUE (squatter.replaceWithText ("not a picture"));

    EXPECT_EQ (PictureCopies::copyOf (blue, juce::File ("/pictures/sky.png"), folder), "");
    EXPECT_EQ (squatter.loadFileAsString(), "not a picture");
    EXPECT_EQ (numFilesIn (folder), 2);
}

TEST (PictureCopies, TheCopyOfALoadIsRememberedWhileItsFileLasts)
{
    const auto folder = freshFolder ("copies-remembered");
    const auto copy = folder.getChildFile ("cat-0123456789abcdef.png");
    ASSERT_TRUE (copy.replaceWithText ("png"));

    PictureCopies copies;
    EXPECT_FALSE (copies.madeFor (0, {}, folder).has_value()) << "nothing made yet";

    copies.remember (3, "/pictures/cat.jpg", copy.getFileName());
    EXPECT_EQ (copies.madeFor (3, "/pictures/cat.jpg", folder), copy.getFileName());
    EXPECT_FALSE (copies.madeFor (4, "/pictures/cat.jpg", folder).has_value()) << "another load";
    EXPECT_FALSE (copies.madeFor (3, "/pictures/dog.jpg", folder).has_value()) << "another picture";

    ASSERT_TRUE (copy.deleteFile());
    EXPECT_FALSE (copies.madeFor (3, "/pictures/cat.jpg", folder).has_value()) << "a copy deleted is made again";
}

TEST (PictureCopies, ARestoredStateIsReadFromTheCopyItNamesInsideTheFolder)
{
    const std::tuple<const char*, std::optional<juce::String>, const char*> cases[]{
        { "/pictures/cat.jpg", juce::String ("cat-0123456789abcdef.png"), "cat-0123456789abcdef.png" },
        { "/pictures/cat.jpg", juce::String(), "" },              // the state names no copy
        { "/pictures/cat.jpg", std::nullopt, "cat.jpg" },         // saved before copies were named by content
        { "cat.jpg", std::nullopt, "cat.jpg" },                   // a path without a folder
        { "/pictures/", std::nullopt, "" },                       // no file name at all
        { "/pictures/cat.jpg", juce::String ("../cat.png"), "" }, // names that would leave the folder
        { "/pictures/cat.jpg", juce::String ("a\\b.png"), "" },
        { "/pictures/cat.jpg", juce::String (".."), "" },
        { "/pictures/..", std::nullopt, "" },
    };

    for (const auto& [stored, recorded, expected] : cases)
        EXPECT_EQ (PictureCopies::nameToRestore (stored, recorded), expected)
            << stored << " / " << recorded.value_or ("(none)");
}
