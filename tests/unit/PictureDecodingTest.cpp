#include "PictureFixtures.h"

#include <zlib.h>

using namespace picture_fixtures;

namespace
{
struct NamedFile
{
    const char* name;
    juce::MemoryBlock bytes;
};

juce::MemoryBlock withByte (juce::MemoryBlock bytes, size_t position, juce::uint8 value)
{
    static_cast<juce::uint8*> (bytes.getData())[position] = value;
    return bytes;
}

/** A PNG whose header declares width x height (CRC made right), followed by a real 1 x 1 picture's data. */
juce::MemoryBlock pngDeclaring (juce::uint32 width, juce::uint32 height)
{
    auto bytes = encodePng (filledPicture (1, 1, juce::Colours::white));
    auto* data = static_cast<juce::uint8*> (bytes.getData());
    for (int i = 0; i < 4; ++i)
    {
        data[16 + i] = (juce::uint8) (width >> (24 - 8 * i));
        data[20 + i] = (juce::uint8) (height >> (24 - 8 * i));
    }

    const auto crc = (juce::uint32) crc32 (0, data + 12, 17);

    for (int i = 0; i < 4; ++i)
        data[29 + i] = (juce::uint8) (crc >> (24 - 8 * i));

    return bytes;
}

/** A JPEG whose frame header declares width x height. */
juce::MemoryBlock jpegDeclaring (int width, int height)
{
    auto bytes = encodeJpeg (filledPicture (8, 8, juce::Colours::grey));
    auto* data = static_cast<juce::uint8*> (bytes.getData());

    for (size_t i = 2; i + 9 < bytes.getSize(); ++i)
        if (data[i] == 0xff && data[i + 1] == 0xc0)
        {
            data[i + 5] = (juce::uint8) (height >> 8);
            data[i + 6] = (juce::uint8) height;
            data[i + 7] = (juce::uint8) (width >> 8);
            data[i + 8] = (juce::uint8) width;
            break;
        }

    return bytes;
}

const std::vector<juce::Colour> fourColours{
    juce::Colour (10, 200, 30), juce::Colour (255, 0, 0), juce::Colour (0, 0, 0), juce::Colour (40, 40, 41)
};

std::vector<int> seededIndices (int count, int range, int seed)
{
    juce::Random random (seed);
    std::vector<int> indices;

    for (int i = 0; i < count; ++i)
        indices.push_back (random.nextInt (range));

    return indices;
}

juce::MemoryBlock smallGif() { return encodeGif (5, 3, fourColours, seededIndices (15, 4, 1)); }

std::vector<NamedFile> goodFiles()
{
    return {
        { "PNG, RGB", encodePng (noisePicture (7, 5, juce::Image::RGB, 1)) },
        { "PNG, alpha", encodePng (noisePicture (9, 4, juce::Image::ARGB, 2)) },
        { "PNG, grey", encodePngKind (6, 5, PNG_COLOR_TYPE_GRAY, 8, false, 3) },
        { "PNG, grey 1-bit", encodePngKind (13, 3, PNG_COLOR_TYPE_GRAY, 1, false, 4) },
        { "PNG, grey and alpha", encodePngKind (6, 5, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, 5) },
        { "PNG, 16-bit RGB", encodePngKind (6, 5, PNG_COLOR_TYPE_RGB, 16, false, 6) },
        { "PNG, palette with transparency", encodePngKind (6, 5, PNG_COLOR_TYPE_PALETTE, 8, false, 7) },
        { "PNG, interlaced RGBA", encodePngKind (19, 17, PNG_COLOR_TYPE_RGB_ALPHA, 8, true, 8) },
        { "PNG, interlaced grey 2-bit", encodePngKind (11, 9, PNG_COLOR_TYPE_GRAY, 2, true, 9) },
        { "JPEG", encodeJpeg (noisePicture (17, 9, juce::Image::RGB, 10)) },
    };
}
} // namespace

TEST (PictureDecoding, GoodFilesDecodeAsTheFrameworkDecodesThem)
{
    for (const auto& file : goodFiles())
    {
        SCOPED_TRACE (file.name);
        const auto ours = decode (file.bytes);
        const auto framework = frameworkDecode (file.bytes);

        ASSERT_TRUE (ours.isValid());
        ASSERT_TRUE (framework.isValid());
        EXPECT_TRUE (samePixels (ours, framework));
        EXPECT_EQ (ours.getProperties()->getWithDefault ("originalImageHadAlpha", -1),
                   framework.getProperties()->getWithDefault ("originalImageHadAlpha", -2));
    }
}

// The framework's own GIF decoder reads outside its buffers even on good files, so it cannot
// serve as the reference under the sanitizers: the palette does.
TEST (PictureDecoding, GifPixelsComeFromItsPalette)
{
    std::vector<juce::Colour> manyColours;

    for (int i = 0; i < 256; ++i)
        manyColours.push_back (juce::Colour ((juce::uint8) i, (juce::uint8) (255 - i), (juce::uint8) (i * 7)));

    const auto gif = [] (int width,
                         int height,
                         const std::vector<juce::Colour>& palette,
                         std::vector<int> indices,
                         int transparentIndex = -1,
                         bool interlaced = false)
    {
        GifPicture picture;
        picture.width = width;
        picture.height = height;
        picture.palette = palette;
        picture.indices = std::move (indices);
        picture.transparentIndex = transparentIndex;
        picture.interlaced = interlaced;
        return picture;
    };

    // The first image only, at its descriptor's size (not the screen's), in its local palette.
    auto local = gif (6, 4, fourColours, seededIndices (24, 8, 14));
    local.localPalette.assign (manyColours.begin() + 100, manyColours.begin() + 108);
    local.screenWidth = 10;
    local.screenHeight = 3;
    local.secondIndices = seededIndices (24, 8, 15);

    struct Case
    {
        const char* name;
        GifPicture picture;
        bool literalCodes; // written with literal codes only, or compressed by giflib's encoder
    };

    const Case cases[]{
        { "plain", gif (5, 3, fourColours, seededIndices (15, 4, 1)), true },
        { "transparent", gif (4, 4, fourColours, seededIndices (16, 4, 11), 2), true },
        { "interlaced", gif (3, 19, fourColours, seededIndices (57, 4, 12), -1, true), true },
        { "256 colours", gif (40, 30, manyColours, seededIndices (1200, 256, 13)), true },
        { "compressed", gif (40, 30, fourColours, seededIndices (1200, 4, 16)), false },
        { "compressed, interlaced, transparent", gif (7, 19, fourColours, seededIndices (133, 4, 17), 3, true), false },
        { "compressed, 256 colours", gif (40, 30, manyColours, seededIndices (1200, 256, 18)), false },
        { "compressed, codes of 12 bits, the table cleared",
          gif (128, 128, manyColours, seededIndices (16384, 256, 19)),
          false },
        { "local palette, a wider screen, a second image", local, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto& g = c.picture;
        const auto picture = decode (
            c.literalCodes ? encodeGif (g.width, g.height, g.palette, g.indices, g.transparentIndex, g.interlaced)
                           : encodeGifCompressed (g));
        const auto& colours = g.localPalette.empty() ? g.palette : g.localPalette;

        ASSERT_TRUE (picture.isValid());
        EXPECT_EQ (picture.getWidth(), g.width);
        EXPECT_EQ (picture.getHeight(), g.height);
        EXPECT_EQ (picture.getFormat(), g.transparentIndex >= 0 ? juce::Image::ARGB : juce::Image::RGB);
        EXPECT_EQ ((bool) picture.getProperties()->getWithDefault ("originalImageHadAlpha", -1),
                   g.transparentIndex >= 0);

        int mismatches = 0;

        for (int y = 0; y < g.height; ++y)
            for (int x = 0; x < g.width; ++x)
            {
                const int index = g.indices[(size_t) (y * g.width + x)];
                const auto expected =
                    index == g.transparentIndex ? juce::Colours::transparentBlack : colours[(size_t) index];
                mismatches += picture.getPixelAt (x, y) != expected ? 1 : 0;
            }

        EXPECT_EQ (mismatches, 0);
    }
}

// A stream that ends before the picture is full, by its end code or by its data's terminator, leaves the rest
// clear, as the framework leaves it; a file cut short does not decode (below).
TEST (PictureDecoding, GifWhoseStreamEndsEarlyLeavesTheRestClear)
{
    const auto indices = seededIndices (1200, 4, 23);

    // Ten rows of data, then the end code, under a header of thirty rows.
    auto endCodeEarly = encodeGif (40, 10, fourColours, indices);
    static_cast<juce::uint8*> (endCodeEarly.getData())[8] = 30;
    static_cast<juce::uint8*> (endCodeEarly.getData())[13 + 12 + 7] = 30;

    // The first hundred bytes of the data, then its terminator.
    const auto whole = encodeGif (40, 30, fourColours, indices);
    auto terminatorEarly = truncated (whole, 13 + 12 + 10 + 1);
    const juce::uint8 length = 100, end[] = { 0, ';' };
    terminatorEarly.append (&length, 1);
    terminatorEarly.append (static_cast<const juce::uint8*> (whole.getData()) + 13 + 12 + 10 + 2, length);
    terminatorEarly.append (end, sizeof (end));

    // 100 bytes hold 266 whole codes of 3 bits: a clear code, then two pixels and a clear code over and over.
    const int pixelsInHundredBytes = 177;

    const std::pair<const char*, juce::MemoryBlock> cases[]{ { "end code after ten rows", endCodeEarly },
                                                             { "terminator after 100 bytes", terminatorEarly } };
    const int decodedPixels[]{ 400, pixelsInHundredBytes };

    for (size_t i = 0; i < std::size (cases); ++i)
    {
        SCOPED_TRACE (cases[i].first);
        const auto picture = decode (cases[i].second);

        ASSERT_TRUE (picture.isValid());
        EXPECT_EQ (picture.getWidth(), 40);
        EXPECT_EQ (picture.getHeight(), 30);

        int mismatches = 0;

        for (int p = 0; p < 1200; ++p)
        {
            const auto expected =
                p < decodedPixels[i] ? fourColours[(size_t) indices[(size_t) p]] : juce::Colours::black;
            mismatches += picture.getPixelAt (p % 40, p / 40) != expected ? 1 : 0;
        }

        EXPECT_EQ (mismatches, 0);
    }
}

TEST (PictureDecoding, WhatIsNotAWholePictureDoesNotDecode)
{
    const auto png = encodePng (noisePicture (40, 30, juce::Image::RGB, 20));
    const auto jpeg = encodeJpeg (noisePicture (40, 30, juce::Image::RGB, 21));
    const auto gif = encodeGif (40, 30, fourColours, seededIndices (1200, 4, 22));
    const juce::String text ("Just some words in a file.");

    juce::MemoryBlock pngGarbage (png.getData(), 8);
    pngGarbage.append (text.toRawUTF8(), text.getNumBytesAsUTF8());
    juce::MemoryBlock jpegGarbage (jpeg.getData(), 4);
    jpegGarbage.append (png.getData(), png.getSize());

    const juce::uint8 bitmapHeader[] = { 'B', 'M',  0x36, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0,
                                         0,   0x28, 0,    0, 0, 4, 0, 0, 0, 4, 0,    0, 0 };

    const std::vector<NamedFile> badFiles{
        { "empty", {} },
        { "three bytes", juce::MemoryBlock ("PNG", 3) },
        { "text", juce::MemoryBlock (text.toRawUTF8(), text.getNumBytesAsUTF8()) },
        { "a bitmap header", juce::MemoryBlock (bitmapHeader, sizeof (bitmapHeader)) },
        { "PNG signature, then text", pngGarbage },
        { "PNG cut after the signature", truncated (png, 8) },
        { "PNG cut in its header", truncated (png, 20) },
        { "PNG cut in its data", truncated (png, png.getSize() / 2) },
        { "PNG without its end chunk", truncated (png, png.getSize() - 12) },
        { "PNG with a damaged data byte", withByte (png, png.getSize() - 20, 0x5a) },
        { "JPEG cut in its header", truncated (jpeg, 100) },
        { "JPEG cut in its data", truncated (jpeg, jpeg.getSize() / 2) },
        { "JPEG without its end marker", truncated (jpeg, jpeg.getSize() - 2) },
        { "JPEG start, then a PNG", jpegGarbage },
        { "GIF cut in its header", truncated (gif, 8) },
        { "GIF cut in its palette", truncated (gif, 15) },
        { "GIF cut in its data", truncated (gif, gif.getSize() / 2) },
        { "GIF with no picture", juce::MemoryBlock ("GIF89a\1\0\1\0\0\0\0;", 14) },
        { "GIF with a code size of 13", withByte (smallGif(), 13 + 12 + 10, 13) },
        { "GIF with a code size of 0", withByte (smallGif(), 13 + 12 + 10, 0) },
        { "GIF with a code not yet in its table", withByte (smallGif(), 13 + 12 + 10 + 2, 0xff) },
    };

    for (const auto& file : badFiles)
    {
        SCOPED_TRACE (file.name);
        EXPECT_TRUE (decode (file.bytes).isNull());
    }
}

TEST (PictureDecoding, AbsurdSizesAreRefusedFromTheHeader)
{
    struct Case
    {
        const char* name;
        juce::MemoryBlock bytes;
        int declaredWidth, declaredHeight;
        bool decodes;
    };

    auto gifScreenSmallPictureHuge = encodeGif (1, 1, fourColours, { 0 });
    auto* gifData = static_cast<juce::uint8*> (gifScreenSmallPictureHuge.getData());
    gifData[13 + 12 + 5] = 0x40; // image descriptor width 40000 (0x9c40)
    gifData[13 + 12 + 6] = 0x9c;
    gifData[13 + 12 + 7] = 0x40;
    gifData[13 + 12 + 8] = 0x9c;

    const std::vector<Case> cases{
        { "PNG of 40000 x 40000", pngDeclaring (40000, 40000), 40000, 40000, false },
        { "PNG of 4 x 2^31 - 1", pngDeclaring (4, 0x7fffffff), 4, 0x7fffffff, false },
        { "PNG over the pixel limit", pngDeclaring (8193, 8192), 8193, 8192, false },
        { "JPEG of 40000 x 40000", jpegDeclaring (40000, 40000), 40000, 40000, false },
        { "JPEG of 65535 x 1", jpegDeclaring (65535, 1), 65535, 1, false },
        { "PNG one pixel wider than allowed",
          encodePng (filledPicture (PictureLimits::maxSide + 1, 1, juce::Colours::red)),
          PictureLimits::maxSide + 1,
          1,
          false },
        { "PNG as wide as allowed",
          encodePng (filledPicture (PictureLimits::maxSide, 1, juce::Colours::red)),
          PictureLimits::maxSide,
          1,
          true },
        { "GIF whose picture is 40000 x 40000", gifScreenSmallPictureHuge, 1, 1, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        int width = 0, height = 0;
        ASSERT_TRUE (readDeclaredPictureSize (static_cast<const juce::uint8*> (c.bytes.getData()),
                                              c.bytes.getSize(),
                                              width,
                                              height));
        EXPECT_EQ (width, c.declaredWidth);
        EXPECT_EQ (height, c.declaredHeight);
        EXPECT_EQ (decode (c.bytes).isValid(), c.decodes);
    }
}

// Every cut of a picture and many seeded damaged copies: none may crash, no cut PNG or JPEG may
// decode, a cut GIF only when all its pixels made it.
TEST (PictureDecoding, DamagedFilesNeverCrash)
{
    const std::vector<NamedFile> originals{
        { "PNG", encodePng (noisePicture (12, 10, juce::Image::ARGB, 30)) },
        { "interlaced PNG", encodePngKind (12, 10, PNG_COLOR_TYPE_RGB, 8, true, 31) },
        { "JPEG", encodeJpeg (noisePicture (24, 20, juce::Image::RGB, 32)) },
        { "GIF", encodeGif (12, 10, fourColours, seededIndices (120, 4, 33)) },
    };

    juce::Random random (34);

    for (const auto& original : originals)
    {
        SCOPED_TRACE (original.name);
        const auto whole = decode (original.bytes);
        ASSERT_TRUE (whole.isValid());
        const bool isGif = juce::String (original.name) == "GIF";

        for (size_t size = 0; size < original.bytes.getSize(); ++size)
        {
            const auto cut = decode (truncated (original.bytes, size));
            EXPECT_TRUE (cut.isNull() || (isGif && samePixels (cut, whole))) << "cut at " << size;
        }

        for (int i = 0; i < 300; ++i)
        {
            auto damaged = original.bytes;
            auto* data = static_cast<juce::uint8*> (damaged.getData());

            for (int n = 1 + random.nextInt (3); --n >= 0;)
                data[random.nextInt ((int) damaged.getSize())] = (juce::uint8) random.nextInt (256);

            const auto picture = decode (damaged);
            EXPECT_TRUE (picture.isNull() || isAcceptablePictureSize (picture.getWidth(), picture.getHeight()));
        }
    }
}

TEST (PictureDecoding, FilesAreReadByContentNotByName)
{
    const auto picture = noisePicture (6, 4, juce::Image::RGB, 40);
    const auto path = writeFile ("picture.gif", encodePng (picture));

    EXPECT_TRUE (samePixels (decodePictureFile (juce::File (path)), decode (encodePng (picture))));
    EXPECT_TRUE (decodePictureFile (juce::File (path).getSiblingFile ("missing.png")).isNull());
    EXPECT_TRUE (decodePictureFile (juce::File (path).getParentDirectory()).isNull());
}
