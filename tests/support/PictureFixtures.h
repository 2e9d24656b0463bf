#pragma once

#include "GeneratedPictures.h"
#include "ProcessorSupport.h"
#include "SignalMeasures.h"
#include "processor/picture/PictureDecoding.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>

#include <vector>

/** Small pictures made in the test, as images and as the bytes of PNG, JPEG and GIF files. */
namespace picture_fixtures
{
inline juce::MemoryBlock encode (juce::ImageFileFormat& format, const juce::Image& picture)
{
    juce::MemoryOutputStream out;
    format.writeImageToStream (picture, out);
    return out.getMemoryBlock();
}

inline juce::MemoryBlock encodePng (const juce::Image& picture)
{
    juce::PNGImageFormat png;
    return encode (png, picture);
}

inline juce::MemoryBlock encodeJpeg (const juce::Image& picture)
{
    juce::JPEGImageFormat jpeg;
    jpeg.setQuality (1.0f);
    return encode (jpeg, picture);
}

/** A PNG of any colour type, depth and interlacing, with seeded random samples (indices into
    a 256-entry palette, partly transparent, for palette pictures). */
inline juce::MemoryBlock encodePngKind (int width, int height, int colourType, int bitDepth, bool interlaced, int seed)
{
    juce::MemoryOutputStream out;
    auto* png = png_create_write_struct (PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    auto* info = png_create_info_struct (png);
    png_set_write_fn (
        png,
        &out,
        [] (png_structp p, png_bytep data, size_t size)
        { static_cast<juce::MemoryOutputStream*> (png_get_io_ptr (p))->write (data, size); },
        nullptr);
    png_set_IHDR (png,
                  info,
                  (png_uint_32) width,
                  (png_uint_32) height,
                  bitDepth,
                  colourType,
                  interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                  PNG_COMPRESSION_TYPE_DEFAULT,
                  PNG_FILTER_TYPE_DEFAULT);

    juce::Random random (seed);
    std::vector<png_color> palette (256);
    std::vector<png_byte> alphas (256);

    for (int i = 0; i < 256; ++i)
    {
        palette[(size_t) i] = { (png_byte) random.nextInt (256),
                                (png_byte) random.nextInt (256),
                                (png_byte) random.nextInt (256) };
        alphas[(size_t) i] = (png_byte) random.nextInt (256);
    }

    if (colourType == PNG_COLOR_TYPE_PALETTE)
    {
        png_set_PLTE (png, info, palette.data(), 256);
        png_set_tRNS (png, info, alphas.data(), 256, nullptr);
    }

    png_write_info (png, info);

    const auto rowBytes = png_get_rowbytes (png, info);
    std::vector<png_byte> samples (rowBytes * (size_t) height);

    for (auto& sample : samples)
        sample = (png_byte) random.nextInt (256);

    std::vector<png_bytep> rows;

    for (int y = 0; y < height; ++y)
        rows.push_back (samples.data() + rowBytes * (size_t) y);

    png_write_image (png, rows.data());
    png_write_end (png, nullptr);
    png_destroy_write_struct (&png, &info);
    return out.getMemoryBlock();
}

/** A GIF of palette indices (row by row), written with literal LZW codes only. */
inline juce::MemoryBlock encodeGif (int width,
                                    int height,
                                    const std::vector<juce::Colour>& palette,
                                    const std::vector<int>& indices,
                                    int transparentIndex = -1,
                                    bool interlaced = false)
{
    int paletteBits = 1;

    while ((1 << paletteBits) < (int) palette.size())
        ++paletteBits;

    const int minimumCodeSize = juce::jmax (2, paletteBits);

    juce::MemoryOutputStream out;
    out.write ("GIF89a", 6);
    out.writeShort ((short) width);
    out.writeShort ((short) height);
    out.writeByte ((char) (0x80 | (paletteBits - 1)));
    out.writeByte (0);
    out.writeByte (0);

    for (int i = 0; i < (1 << paletteBits); ++i)
    {
        const auto colour = i < (int) palette.size() ? palette[(size_t) i] : juce::Colours::black;
        out.writeByte ((char) colour.getRed());
        out.writeByte ((char) colour.getGreen());
        out.writeByte ((char) colour.getBlue());
    }

    if (transparentIndex >= 0)
    {
        const char control[] = { '!', (char) 0xf9, 4, 1, 0, 0, (char) transparentIndex, 0 };
        out.write (control, sizeof (control));
    }

    out.writeByte (',');
    out.writeShort (0);
    out.writeShort (0);
    out.writeShort ((short) width);
    out.writeShort ((short) height);
    out.writeByte (interlaced ? 0x40 : 0);
    out.writeByte ((char) minimumCodeSize);

    std::vector<int> rowOrder;

    if (interlaced)
    {
        for (const auto& [start, step] : { std::pair{ 0, 8 }, { 4, 8 }, { 2, 4 }, { 1, 2 } })
            for (int y = start; y < height; y += step)
                rowOrder.push_back (y);
    }
    else
    {
        for (int y = 0; y < height; ++y)
            rowOrder.push_back (y);
    }

    // A clear code before the table would grow keeps every code the same width.
    const int clearCode = 1 << minimumCodeSize;
    const int codeSize = minimumCodeSize + 1;
    std::vector<juce::uint8> packed;
    juce::uint32 bits = 0;
    int numBits = 0;

    const auto emit = [&] (int code)
    {
        bits |= (juce::uint32) code << numBits;
        numBits += codeSize;

        while (numBits >= 8)
        {
            packed.push_back ((juce::uint8) (bits & 0xff));
            bits >>= 8;
            numBits -= 8;
        }
    };

    int sinceClear = 0;
    emit (clearCode);

    for (const int y : rowOrder)
        for (int x = 0; x < width; ++x)
        {
            if (sinceClear == clearCode - 2)
            {
                emit (clearCode);
                sinceClear = 0;
            }

            emit (indices[(size_t) (y * width + x)]);
            ++sinceClear;
        }

    emit (clearCode + 1);

    if (numBits > 0)
        packed.push_back ((juce::uint8) bits);

    for (size_t start = 0; start < packed.size(); start += 255)
    {
        const auto length = juce::jmin ((size_t) 255, packed.size() - start);
        out.writeByte ((char) length);
        out.write (packed.data() + start, length);
    }

    out.writeByte (0);
    out.writeByte (';');
    return out.getMemoryBlock();
}

/** A 24-bit uncompressed BMP of the picture: a real picture file in a format the plug-in does not read. */
inline juce::MemoryBlock encodeBmp (const juce::Image& picture)
{
    const int width = picture.getWidth(), height = picture.getHeight();
    const int rowBytes = (width * 3 + 3) & ~3;
    const int pixelBytes = rowBytes * height;

    juce::MemoryOutputStream out;
    out.write ("BM", 2);
    out.writeInt (54 + pixelBytes);
    out.writeInt (0);
    out.writeInt (54);
    out.writeInt (40);
    out.writeInt (width);
    out.writeInt (height);
    out.writeShort (1);
    out.writeShort (24);
    out.writeInt (0);
    out.writeInt (pixelBytes);
    out.writeInt (2835);
    out.writeInt (2835);
    out.writeInt (0);
    out.writeInt (0);

    // Bottom row first, blue-green-red.
    for (int y = height; --y >= 0;)
    {
        for (int x = 0; x < width; ++x)
        {
            const auto colour = picture.getPixelAt (x, y);
            out.writeByte ((char) colour.getBlue());
            out.writeByte ((char) colour.getGreen());
            out.writeByte ((char) colour.getRed());
        }
        for (int pad = width * 3; pad < rowBytes; ++pad)
            out.writeByte (0);
    }

    return out.getMemoryBlock();
}

/** What a GIF written by giflib's encoder (real LZW compression) holds; the screen is the first image's size unless
    given, and the palette is global unless localPalette is set. */
struct GifPicture
{
    int width = 1, height = 1;
    std::vector<juce::Colour> palette;
    std::vector<int> indices;
    int transparentIndex = -1;
    bool interlaced = false;
    std::vector<juce::Colour> localPalette;
    int screenWidth = 0, screenHeight = 0;
    /** When not empty, a second image of the same size follows the first with these indices. */
    std::vector<int> secondIndices;
};

inline juce::MemoryBlock encodeGifCompressed (const GifPicture& gif)
{
    const auto makeMap = [] (const std::vector<juce::Colour>& colours)
    {
        int size = 2;
        while (size < (int) colours.size())
            size *= 2;

        std::vector<GifColorType> entries ((size_t) size);
        for (size_t i = 0; i < colours.size(); ++i)
            entries[i] = { colours[i].getRed(), colours[i].getGreen(), colours[i].getBlue() };

        return GifMakeMapObject (size, entries.data());
    };

    juce::MemoryOutputStream out;
    int error = 0;
    auto* file = EGifOpen (
        &out,
        [] (GifFileType* f, const GifByteType* data, int size)
        { return static_cast<juce::MemoryOutputStream*> (f->UserData)->write (data, (size_t) size) ? size : 0; },
        &error);
    EGifSetGifVersion (file, true);

    auto* globalMap = gif.palette.empty() ? nullptr : makeMap (gif.palette);
    auto* localMap = gif.localPalette.empty() ? nullptr : makeMap (gif.localPalette);
    EGifPutScreenDesc (file,
                       gif.screenWidth > 0 ? gif.screenWidth : gif.width,
                       gif.screenHeight > 0 ? gif.screenHeight : gif.height,
                       8,
                       0,
                       globalMap);

    const auto putImage = [&] (const std::vector<int>& indices)
    {
        if (gif.transparentIndex >= 0)
        {
            GraphicsControlBlock control{ DISPOSAL_UNSPECIFIED, false, 0, gif.transparentIndex };
            GifByteType extension[4];
            EGifGCBToExtension (&control, extension);
            EGifPutExtension (file, GRAPHICS_EXT_FUNC_CODE, 4, extension);
        }

        EGifPutImageDesc (file, 0, 0, gif.width, gif.height, gif.interlaced, localMap);

        std::vector<int> rowOrder;
        for (const auto& [start, step] :
             gif.interlaced ? std::vector<std::pair<int, int>>{ { 0, 8 }, { 4, 8 }, { 2, 4 }, { 1, 2 } }
                            : std::vector<std::pair<int, int>>{ { 0, 1 } })
            for (int y = start; y < gif.height; y += step)
                rowOrder.push_back (y);

        std::vector<GifPixelType> row ((size_t) gif.width);
        for (const int y : rowOrder)
        {
            for (int x = 0; x < gif.width; ++x)
                row[(size_t) x] = (GifPixelType) indices[(size_t) (y * gif.width + x)];

            EGifPutLine (file, row.data(), gif.width);
        }
    };

    putImage (gif.indices);
    if (!gif.secondIndices.empty())
        putImage (gif.secondIndices);

    EGifCloseFile (file, &error);
    GifFreeMapObject (globalMap);
    GifFreeMapObject (localMap);
    return out.getMemoryBlock();
}

inline juce::MemoryBlock truncated (const juce::MemoryBlock& bytes, size_t size)
{
    return juce::MemoryBlock (bytes.getData(), juce::jmin (size, bytes.getSize()));
}

/** Writes bytes into a file of the test's temporary HOME; returns its full path. */
inline juce::String writeFile (const juce::String& name, const juce::MemoryBlock& bytes)
{
    const auto file = juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile (name);
    file.replaceWithData (bytes.getData(), bytes.getSize());
    return file.getFullPathName();
}

inline juce::String writePng (const juce::String& name, const juce::Image& picture)
{
    return writeFile (name, encodePng (picture));
}

/** What the framework's own decoder makes of the bytes (only for files it survives). */
inline juce::Image frameworkDecode (const juce::MemoryBlock& bytes)
{
    juce::MemoryInputStream in (bytes, false);
    return juce::ImageFileFormat::loadFrom (in);
}

inline juce::Image decode (const juce::MemoryBlock& bytes)
{
    return decodePictureData (bytes.getData(), bytes.getSize());
}

/** True when both pictures have the same size, format and stored pixels. */
inline bool samePixels (const juce::Image& a, const juce::Image& b)
{
    if (a.getBounds() != b.getBounds() || a.getFormat() != b.getFormat())
        return false;

    const juce::Image::BitmapData da (a, juce::Image::BitmapData::readOnly);
    const juce::Image::BitmapData db (b, juce::Image::BitmapData::readOnly);

    for (int y = 0; y < a.getHeight(); ++y)
        if (std::memcmp (da.getLinePointer (y), db.getLinePointer (y), (size_t) (a.getWidth() * da.pixelStride)) != 0)
            return false;

    return true;
}

inline float gridAt (const OstrelAudioProcessor& processor, int x, int y)
{
    return processor.imageGrid[x * OstrelAudioProcessor::gridSize + y].load (std::memory_order_relaxed);
}

inline std::vector<float> gridCopy (const OstrelAudioProcessor& processor)
{
    std::vector<float> copy;

    for (const auto& cell : processor.imageGrid)
        copy.push_back (cell.load (std::memory_order_relaxed));

    return copy;
}

inline std::vector<float> tableCopy (const OstrelAudioProcessor& processor, int index)
{
    const auto* samples = processor.wavetableBuffers[index].getReadPointer (0);
    return { samples, samples + OstrelAudioProcessor::wavetableSize };
}

/** Sets every transform value the image thread reads (as block processing would). */
inline void setTransform (OstrelAudioProcessor& processor,
                          float rotate,
                          float zoom = 0.0f,
                          float hSkew = 0.0f,
                          float vSkew = 0.0f,
                          float upDown = 0.0f,
                          float leftRight = 0.0f)
{
    const float values[] = { rotate, zoom, hSkew, vSkew, upDown, leftRight };

    for (int i = 0; i < 6; ++i)
        processor.affineConfigs[(size_t) i].currentValue = values[i];
}
} // namespace picture_fixtures
