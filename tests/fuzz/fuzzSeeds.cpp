// Writes generated seeds for the fuzzers into a folder: for the picture fuzzer small PNG, JPEG and GIF files of every
// kind the decoders tell apart; for the state fuzzers small states of a few parameters, in range and out of it.
#include "PictureFixtures.h"

#include <jpeglib.h>

#include <cstdio>

using namespace picture_fixtures;

namespace
{
/** A JPEG written with libjpeg directly: greyscale or colour, baseline or progressive. */
juce::MemoryBlock encodeJpegKind (int width, int height, bool grey, bool progressive, int seed)
{
    jpeg_compress_struct jpeg;
    jpeg_error_mgr errors;
    jpeg.err = jpeg_std_error (&errors);
    jpeg_create_compress (&jpeg);

    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest (&jpeg, &buffer, &size);

    jpeg.image_width = (JDIMENSION) width;
    jpeg.image_height = (JDIMENSION) height;
    jpeg.input_components = grey ? 1 : 3;
    jpeg.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults (&jpeg);
    jpeg_set_quality (&jpeg, 75, TRUE);

    if (progressive)
        jpeg_simple_progression (&jpeg);

    jpeg_start_compress (&jpeg, TRUE);

    juce::Random random (seed);
    std::vector<JSAMPLE> row ((size_t) (width * jpeg.input_components));

    while (jpeg.next_scanline < jpeg.image_height)
    {
        for (auto& sample : row)
            sample = (JSAMPLE) random.nextInt (256);

        JSAMPROW rowPointer = row.data();
        jpeg_write_scanlines (&jpeg, &rowPointer, 1);
    }

    jpeg_finish_compress (&jpeg);
    jpeg_destroy_compress (&jpeg);

    juce::MemoryBlock bytes (buffer, size);
    std::free (buffer);
    return bytes;
}

std::vector<int> indices (int count, int range, int seed)
{
    juce::Random random (seed);
    std::vector<int> result;

    // Runs of repeated indices, so the LZW table fills with longer strings.
    while ((int) result.size() < count)
    {
        const auto index = random.nextInt (range);
        for (int n = 1 + random.nextInt (6); --n >= 0 && (int) result.size() < count;)
            result.push_back (index);
    }

    return result;
}

std::vector<juce::Colour> palette (int size, int seed)
{
    juce::Random random (seed);
    std::vector<juce::Colour> colours;

    for (int i = 0; i < size; ++i)
        colours.emplace_back ((juce::uint8) random.nextInt (256),
                              (juce::uint8) random.nextInt (256),
                              (juce::uint8) random.nextInt (256));

    return colours;
}

using Seeds = std::vector<std::pair<const char*, juce::MemoryBlock>>;

Seeds stateSeeds()
{
    const auto state = [] (std::initializer_list<std::pair<const char*, const char*>> parameters, bool withPicture)
    {
        juce::XmlElement root ("Ostrel");

        for (const auto& [id, value] : parameters)
        {
            auto* parameter = root.createNewChildElement ("PARAM");
            parameter->setAttribute ("id", id);
            parameter->setAttribute ("value", value);
        }

        if (withPicture)
            root.createNewChildElement ("ImagePath")->setAttribute ("path", "/dev/stdin");

        juce::MemoryBlock bytes;
        juce::AudioProcessor::copyXmlToBinary (root, bytes);
        return bytes;
    };

    return {
        { "empty.bin", state ({}, false) },
        { "few.bin",
          state ({ { "Attack", "12.5" }, { "Freq", "0.25" }, { "Rotate", "-90" }, { "2OscType", "1.0" } }, true) },
        { "out-of-range.bin",
          state ({ { "Attack", "1e300" }, { "Freq", "nan" }, { "Zoom", "-inf" }, { "Unknown", "3" }, { "Shift", "" } },
                 false) },
    };
}

Seeds pictureSeeds()
{
    GifPicture plain;
    plain.width = 9;
    plain.height = 7;
    plain.palette = palette (4, 1);
    plain.indices = indices (63, 4, 2);

    auto transparent = plain;
    transparent.transparentIndex = 1;

    GifPicture interlaced;
    interlaced.width = 5;
    interlaced.height = 19;
    interlaced.palette = palette (16, 3);
    interlaced.indices = indices (95, 16, 4);
    interlaced.interlaced = true;

    GifPicture local;
    local.width = 6;
    local.height = 4;
    local.palette = palette (2, 5);
    local.localPalette = palette (8, 6);
    local.indices = indices (24, 8, 7);
    local.screenWidth = 10;
    local.screenHeight = 3;
    local.secondIndices = indices (24, 8, 8);

    GifPicture manyColours;
    manyColours.width = 32;
    manyColours.height = 24;
    manyColours.palette = palette (256, 9);
    manyColours.indices = indices (768, 256, 10);

    return {
        { "rgb.png", encodePng (noisePicture (7, 5, juce::Image::RGB, 11)) },
        { "argb.png", encodePng (noisePicture (6, 4, juce::Image::ARGB, 12)) },
        { "grey-1bit.png", encodePngKind (13, 3, PNG_COLOR_TYPE_GRAY, 1, false, 13) },
        { "grey-alpha.png", encodePngKind (5, 5, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, 14) },
        { "rgb-16bit.png", encodePngKind (4, 3, PNG_COLOR_TYPE_RGB, 16, false, 15) },
        { "palette.png", encodePngKind (6, 5, PNG_COLOR_TYPE_PALETTE, 8, false, 16) },
        { "interlaced.png", encodePngKind (11, 9, PNG_COLOR_TYPE_RGB_ALPHA, 8, true, 17) },
        { "colour.jpg", encodeJpeg (noisePicture (17, 9, juce::Image::RGB, 18)) },
        { "grey.jpg", encodeJpegKind (16, 8, true, false, 19) },
        { "progressive.jpg", encodeJpegKind (24, 16, false, true, 20) },
        { "plain.gif", encodeGifCompressed (plain) },
        { "transparent.gif", encodeGifCompressed (transparent) },
        { "interlaced.gif", encodeGifCompressed (interlaced) },
        { "local-two-images.gif", encodeGifCompressed (local) },
        { "256-colours.gif", encodeGifCompressed (manyColours) },
        { "literal-codes.gif", encodeGif (5, 3, palette (4, 21), indices (15, 4, 22), 2) },
    };
}
} // namespace

int main (int argc, char** argv)
{
    const juce::String kind (argc == 3 ? argv[1] : "");

    if (kind != "picture" && kind != "state")
    {
        std::fprintf (stderr, "usage: %s picture|state <folder>\n", argv[0]);
        return 2;
    }

    const juce::File folder (juce::File::getCurrentWorkingDirectory().getChildFile (argv[2]));

    if (!folder.createDirectory().wasOk())
        return 1;

    const auto seeds = kind == "picture" ? pictureSeeds() : stateSeeds();

    for (const auto& [name, bytes] : seeds)
        if (bytes.isEmpty() || !folder.getChildFile (name).replaceWithData (bytes.getData(), bytes.getSize()))
        {
            std::fprintf (stderr, "Could not write %s\n", name);
            return 1;
        }

    return 0;
}
