#include "PictureDecoding.h"

#include <gif_lib.h>

#include <csetjmp>
#include <cstring>

// On Linux the framework hands PNG and JPEG to the system's libpng and libjpeg with error
// handlers that do not stop those libraries safely: a truncated or corrupt file crashes the host.
// Here the same libraries are driven with proper error handling and the same pixel conversion.
#if JUCE_LINUX || JUCE_BSD
#define OSTREL_OWN_PNG_JPEG_DECODING 1
#include <jerror.h>
#include <jpeglib.h>
#include <png.h>
#else
#define OSTREL_OWN_PNG_JPEG_DECODING 0
#endif

namespace
{
enum class PictureFormat
{
    none,
    png,
    jpeg,
    gif
};

// The framework's order and its tests of the first bytes.
PictureFormat sniffFormat (const juce::uint8* data, size_t numBytes)
{
    if (numBytes >= 4 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G')
        return PictureFormat::png;

    if (numBytes >= 24 && data[0] == 0xff && data[1] == 0xd8 && data[2] == 0xff)
        return PictureFormat::jpeg;

    if (numBytes >= 4 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F')
        return PictureFormat::gif;

    return PictureFormat::none;
}

juce::uint32 bigEndian32 (const juce::uint8* p)
{
    return ((juce::uint32) p[0] << 24) | ((juce::uint32) p[1] << 16) | ((juce::uint32) p[2] << 8) | p[3];
}

int bigEndian16 (const juce::uint8* p) { return (p[0] << 8) | p[1]; }

int littleEndian16 (const juce::uint8* p) { return p[0] | (p[1] << 8); }

bool isJpegFrameMarker (int marker)
{
    return marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
}

bool readJpegFrameSize (const juce::uint8* data, size_t numBytes, int& width, int& height)
{
    size_t pos = 2;

    for (;;)
    {
        if (pos >= numBytes || data[pos] != 0xff)
            return false;

        while (pos < numBytes && data[pos] == 0xff)
            ++pos;

        if (pos >= numBytes)
            return false;

        const int marker = data[pos++];

        if (marker == 0xd8 || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7))
            continue;

        if (marker == 0xd9 || marker == 0xda || pos + 2 > numBytes)
            return false; // an image without a frame header, or cut short

        const auto length = (size_t) bigEndian16 (data + pos);

        if (length < 2)
            return false;

        if (isJpegFrameMarker (marker))
        {
            if (length < 7 || pos + 7 > numBytes)
                return false;

            height = bigEndian16 (data + pos + 3);
            width = bigEndian16 (data + pos + 5);
            return true;
        }

        pos += length;
    }
}

//==============================================================================
/** The bytes of a GIF for giflib, which reads through this exactly what it needs, never ahead: so between two
    records the position is the next record's first byte. While the image data is read it follows the sub-blocks
    (a length byte, then that many bytes), so it can tell a stream that ended (a zero length) from damage. */
struct GifSource
{
    const juce::uint8* data;
    size_t size;
    size_t pos = 0;
    bool inImageData = false;
    bool expectingLength = true;
    bool sawEndOfData = false;
};

int readGifBytes (GifFileType* file, GifByteType* out, int count)
{
    auto& source = *static_cast<GifSource*> (file->UserData);
    const auto wanted = (size_t) juce::jmax (count, 0);

    if (wanted > source.size - source.pos)
        return 0; // a short read is refused whole: the file is cut

    std::memcpy (out, source.data + source.pos, wanted);
    source.pos += wanted;

    if (source.inImageData && wanted > 0)
    {
        if (!source.expectingLength)
            source.expectingLength = true;
        else if (wanted == 1 && out[0] == 0)
            source.sawEndOfData = true;
        else if (wanted == 1)
            source.expectingLength = false;
    }

    return count;
}

bool isGifRecordStart (juce::uint8 byte) { return byte == '!' || byte == ',' || byte == ';'; }

/** Fills palette from a giflib colour map, opaque and premultiplied; entries past the map keep what they held. */
void setGifPalette (juce::PixelARGB* palette, const ColorMapObject* map)
{
    if (map == nullptr)
        return;

    for (int i = 0; i < juce::jmin (map->ColorCount, 256); ++i)
    {
        palette[i].setARGB (0xff, map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue);
        palette[i].premultiply();
    }
}

/** Reads one extension, taking the transparent index from a graphic control extension that sets one. */
bool readGifExtension (GifFileType* file, int& transparent)
{
    int code = 0;
    GifByteType* block = nullptr;

    if (DGifGetExtension (file, &code, &block) == GIF_ERROR)
        return false;

    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4 && (block[1] & 1) != 0)
        transparent = block[4];

    while (block != nullptr)
        if (DGifGetExtensionNext (file, &block) == GIF_ERROR)
            return false;

    return true;
}

/** The image whose descriptor giflib has just read, with palette as the screen's colour map left it. */
juce::Image readGifImage (GifFileType* file, GifSource& source, juce::PixelARGB* palette, int transparent)
{
    const auto& descriptor = file->Image;

    if (!isAcceptablePictureSize (descriptor.Width, descriptor.Height))
        return {};

    // The byte giflib read last is the image data's code size; it accepts sizes no encoder writes.
    const auto minimumCodeSize = source.data[source.pos - 1];

    if (minimumCodeSize < 1 || minimumCodeSize > 8)
        return {};

    setGifPalette (palette, descriptor.ColorMap);

    if (transparent >= 0)
        palette[transparent].setARGB (0, 0, 0, 0);

    const int width = descriptor.Width, height = descriptor.Height;
    juce::Image image (transparent >= 0 ? juce::Image::ARGB : juce::Image::RGB, width, height, true);
    image.getProperties()->set ("originalImageHadAlpha", transparent >= 0);

    const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::writeOnly);

    if (pixels.data == nullptr)
        return {};

    const bool hasAlpha = pixels.pixelFormat == juce::Image::ARGB;
    source.inImageData = true;

    // Interlaced pictures store every eighth row from 0, then from 4, every fourth from 2, every second from 1.
    static constexpr int passStart[] = { 0, 4, 2, 1 };
    static constexpr int passStep[] = { 8, 8, 4, 2 };
    const int numPasses = descriptor.Interlace ? 4 : 1;

    for (int pass = 0; pass < numPasses; ++pass)
    {
        for (int y = descriptor.Interlace ? passStart[pass] : 0; y < height;
             y += descriptor.Interlace ? passStep[pass] : 1)
        {
            // A pixel at a time, so a stream that ends early is known to the pixel.
            for (int x = 0; x < width; ++x)
            {
                GifPixelType index = 0;

                if (DGifGetLine (file, &index, 1) == GIF_ERROR)
                {
                    // What a stream that stops early leaves is clear, as the framework leaves it; anything else is
                    // damage or a cut file.
                    const bool ended = file->Error == D_GIF_ERR_EOF_TOO_SOON
                                       || (file->Error == D_GIF_ERR_IMAGE_DEFECT && source.sawEndOfData);
                    return ended ? image : juce::Image();
                }

                const auto& colour = palette[index];
                auto* pixel = pixels.getPixelPointer (x, y);

                if (hasAlpha)
                    reinterpret_cast<juce::PixelARGB*> (pixel)->set (colour);
                else
                    reinterpret_cast<juce::PixelRGB*> (pixel)->set (colour);
            }
        }
    }

    return image;
}

/** GIF, first image only, through giflib, with the framework's conventions: the image descriptor's size, the local
    palette over the global one, the palette premultiplied, the transparent index of a preceding graphic control
    extension, ARGB when there is one and RGB otherwise. */
juce::Image decodeGif (const juce::uint8* data, size_t numBytes)
{
    // The framework's test of the header; giflib would take any "GIF" followed by three bytes.
    if (numBytes < 13 || (std::memcmp (data, "GIF87a", 6) != 0 && std::memcmp (data, "GIF89a", 6) != 0)
        || littleEndian16 (data + 6) <= 0 || littleEndian16 (data + 8) <= 0)
        return {};

    GifSource source{ data, numBytes };
    int error = 0;
    auto* file = DGifOpen (&source, readGifBytes, &error);

    if (file == nullptr)
        return {};

    juce::PixelARGB palette[256]{};
    setGifPalette (palette, file->SColorMap);

    juce::Image image;
    int transparent = -1;

    for (;;)
    {
        // Any other byte between records is skipped, as the framework does.
        while (source.pos < source.size && !isGifRecordStart (source.data[source.pos]))
            ++source.pos;

        GifRecordType type = UNDEFINED_RECORD_TYPE;

        if (DGifGetRecordType (file, &type) == GIF_ERROR || type == TERMINATE_RECORD_TYPE)
            break;

        if (type == EXTENSION_RECORD_TYPE)
        {
            if (!readGifExtension (file, transparent))
                break;
        }
        else if (type == IMAGE_DESC_RECORD_TYPE)
        {
            if (DGifGetImageDesc (file) != GIF_ERROR)
                image = readGifImage (file, source, palette, transparent);

            break;
        }
    }

    DGifCloseFile (file, &error);
    return image;
}

#if OSTREL_OWN_PNG_JPEG_DECODING
//==============================================================================
// libpng and libjpeg report errors by longjmp: the functions that call them hold no object with a
// destructor, and every buffer is made by their callers.

struct PngSource
{
    const juce::uint8* data;
    size_t size;
    size_t pos;
};

void readPngBytes (png_structp png, png_bytep out, size_t count)
{
    auto* source = static_cast<PngSource*> (png_get_io_ptr (png));

    if (count > source->size - source->pos)
        png_error (png, "truncated");

    std::memcpy (out, source->data + source->pos, count);
    source->pos += count;
}

void stopPngDecoding (png_structp png, png_const_charp) { png_longjmp (png, 1); }

void ignorePngWarning (png_structp, png_const_charp) {}

struct PngHeader
{
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0, interlaceType = 0;
    bool hasAlpha = false;
};

bool readPngHeader (png_structp png, png_infop info, PngSource* source, PngHeader* header)
{
    if (setjmp (png_jmpbuf (png)) != 0)
        return false;

    png_set_read_fn (png, source, readPngBytes);
    png_set_user_limits (png, PictureLimits::maxSide, PictureLimits::maxSide);
    png_read_info (png, info);
    png_get_IHDR (png,
                  info,
                  &header->width,
                  &header->height,
                  &header->bitDepth,
                  &header->colourType,
                  &header->interlaceType,
                  nullptr,
                  nullptr);

    png_bytep transparentAlpha = nullptr;
    png_color_16p transparentColour = nullptr;
    int numTransparent = 0;
    png_get_tRNS (png, info, &transparentAlpha, &numTransparent, &transparentColour);
    header->hasAlpha = (header->colourType & PNG_COLOR_MASK_ALPHA) != 0 || numTransparent != 0;
    return true;
}

// Every pixel ends as 8-bit R, G, B, A, as the framework asks of libpng.
bool readPngPixels (png_structp png,
                    png_infop info,
                    const PngHeader* header,
                    juce::uint8* rows,
                    bool wholeImage,
                    const juce::Image::BitmapData* pixels)
{
    if (setjmp (png_jmpbuf (png)) != 0)
        return false;

    if (header->bitDepth == 16)
        png_set_strip_16 (png);

    if (header->colourType == PNG_COLOR_TYPE_PALETTE || header->bitDepth < 8)
        png_set_expand (png);

    if (header->colourType == PNG_COLOR_TYPE_GRAY || header->colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb (png);

    if (png_get_valid (png, info, PNG_INFO_tRNS) != 0)
        png_set_expand (png);

    png_set_add_alpha (png, 0xff, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling (png);
    png_read_update_info (png, info);

    const auto width = (size_t) header->width;

    if (png_get_rowbytes (png, info) != width * 4)
        return false;

    const auto convertRow = [pixels, width] (int y, const juce::uint8* src)
    {
        auto* dest = pixels->getLinePointer (y);

        for (size_t i = 0; i < width; ++i, src += 4, dest += pixels->pixelStride)
        {
            if (pixels->pixelFormat == juce::Image::ARGB)
            {
                auto* pixel = reinterpret_cast<juce::PixelARGB*> (dest);
                pixel->setARGB (src[3], src[0], src[1], src[2]);
                pixel->premultiply();
            }
            else
            {
                reinterpret_cast<juce::PixelRGB*> (dest)->setARGB (0, src[0], src[1], src[2]);
            }
        }
    };

    const auto height = (int) header->height;

    if (wholeImage)
    {
        for (int pass = 0; pass < passes; ++pass)
            for (int y = 0; y < height; ++y)
                png_read_row (png, rows + (size_t) y * width * 4, nullptr);

        for (int y = 0; y < height; ++y)
            convertRow (y, rows + (size_t) y * width * 4);
    }
    else
    {
        for (int y = 0; y < height; ++y)
        {
            png_read_row (png, rows, nullptr);
            convertRow (y, rows);
        }
    }

    png_read_end (png, nullptr);
    return true;
}

juce::Image decodePng (const juce::uint8* data, size_t numBytes)
{
    auto* png = png_create_read_struct (PNG_LIBPNG_VER_STRING, nullptr, stopPngDecoding, ignorePngWarning);

    if (png == nullptr)
        return {};

    auto* info = png_create_info_struct (png);
    const auto destroy = [&png, &info] { png_destroy_read_struct (&png, info != nullptr ? &info : nullptr, nullptr); };

    if (info == nullptr)
    {
        destroy();
        return {};
    }

    PngSource source{ data, numBytes, 0 };
    PngHeader header;
    juce::Image image;

    if (readPngHeader (png, info, &source, &header) && isAcceptablePictureSize (header.width, header.height))
    {
        // Interlaced pictures arrive in passes over the whole image; others one row at a time.
        const bool wholeImage = header.interlaceType != PNG_INTERLACE_NONE;
        const auto rowBytes = (size_t) header.width * 4;
        juce::HeapBlock<juce::uint8> rows;
        rows.allocate (wholeImage ? rowBytes * header.height : rowBytes, true);

        image = juce::Image (header.hasAlpha ? juce::Image::ARGB : juce::Image::RGB,
                             (int) header.width,
                             (int) header.height,
                             header.hasAlpha);
        image.getProperties()->set ("originalImageHadAlpha", image.hasAlphaChannel());

        const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::writeOnly);

        if (rows == nullptr || pixels.data == nullptr || !readPngPixels (png, info, &header, rows, wholeImage, &pixels))
            image = {};
    }

    destroy();
    return image;
}

//==============================================================================
struct JpegErrors
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void stopJpegDecoding (j_common_ptr info)
{
    std::longjmp (reinterpret_cast<JpegErrors*> (info->err)->jump, 1);
}

// A premature end of the data is a truncated file, not a picture; other warnings are tolerated.
void onJpegMessage (j_common_ptr info, int level)
{
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF)
        stopJpegDecoding (info);
}

void ignoreJpegOutput (j_common_ptr) {}

bool readJpegHeader (jpeg_decompress_struct* jpeg, JpegErrors* errors, const juce::uint8* data, size_t numBytes)
{
    if (setjmp (errors->jump) != 0)
        return false;

    jpeg_create_decompress (jpeg);
    jpeg_mem_src (jpeg, data, (unsigned long) numBytes);

    if (jpeg_read_header (jpeg, TRUE) != JPEG_HEADER_OK)
        return false;

    jpeg->out_color_space = JCS_RGB;
    return true;
}

bool readJpegPixels (jpeg_decompress_struct* jpeg,
                     JpegErrors* errors,
                     juce::uint8* row,
                     const juce::Image::BitmapData* pixels)
{
    if (setjmp (errors->jump) != 0)
        return false;

    if (!jpeg_start_decompress (jpeg))
        return false;

    if ((int) jpeg->output_width != pixels->width || (int) jpeg->output_height != pixels->height
        || jpeg->output_components != 3)
        return false;

    for (int y = 0; y < pixels->height; ++y)
    {
        JSAMPROW rowPointer = row;

        if (jpeg_read_scanlines (jpeg, &rowPointer, 1) != 1)
            return false;

        const juce::uint8* src = row;
        auto* dest = pixels->getLinePointer (y);

        for (int x = 0; x < pixels->width; ++x, src += 3, dest += pixels->pixelStride)
            reinterpret_cast<juce::PixelRGB*> (dest)->setARGB (0xff, src[0], src[1], src[2]);
    }

    jpeg_finish_decompress (jpeg);
    return true;
}

juce::Image decodeJpeg (const juce::uint8* data, size_t numBytes)
{
    if (numBytes <= 16)
        return {};

    jpeg_decompress_struct jpeg;
    std::memset (&jpeg, 0, sizeof (jpeg));
    JpegErrors errors;
    jpeg.err = jpeg_std_error (&errors.manager);
    errors.manager.error_exit = stopJpegDecoding;
    errors.manager.emit_message = onJpegMessage;
    errors.manager.output_message = ignoreJpegOutput;

    juce::Image image;

    if (readJpegHeader (&jpeg, &errors, data, numBytes)
        && isAcceptablePictureSize (jpeg.image_width, jpeg.image_height))
    {
        juce::HeapBlock<juce::uint8> row;
        row.allocate ((size_t) jpeg.image_width * 3, true);

        image = juce::Image (juce::Image::RGB, (int) jpeg.image_width, (int) jpeg.image_height, false);
        image.getProperties()->set ("originalImageHadAlpha", false);

        const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::writeOnly);

        if (row == nullptr || pixels.data == nullptr || !readJpegPixels (&jpeg, &errors, row, &pixels))
            image = {};
    }

    jpeg_destroy_decompress (&jpeg);
    return image;
}
#endif
} // namespace

//==============================================================================
bool isAcceptablePictureSize (juce::int64 width, juce::int64 height)
{
    return width >= 1 && height >= 1 && width <= PictureLimits::maxSide && height <= PictureLimits::maxSide
           && width * height <= PictureLimits::maxPixels;
}

bool readDeclaredPictureSize (const juce::uint8* data, size_t numBytes, int& width, int& height)
{
    switch (sniffFormat (data, numBytes))
    {
        case PictureFormat::png:
            if (numBytes < 24 || std::memcmp (data + 12, "IHDR", 4) != 0)
                return false;

            if (bigEndian32 (data + 16) > 0x7fffffff || bigEndian32 (data + 20) > 0x7fffffff)
                return false;

            width = (int) bigEndian32 (data + 16);
            height = (int) bigEndian32 (data + 20);
            return true;

        case PictureFormat::jpeg:
            return readJpegFrameSize (data, numBytes, width, height);

        case PictureFormat::gif:
            if (numBytes < 10)
                return false;

            width = littleEndian16 (data + 6);
            height = littleEndian16 (data + 8);
            return true;

        case PictureFormat::none:
            break;
    }

    return false;
}

juce::Image decodePictureData (const void* data, size_t numBytes)
{
    if (data == nullptr)
        return {};

    const auto* bytes = static_cast<const juce::uint8*> (data);
    int width = 0, height = 0;

    // Refused before any decoder sees it, so no decoder ever allocates for an absurd size.
    if (!readDeclaredPictureSize (bytes, numBytes, width, height) || !isAcceptablePictureSize (width, height))
        return {};

    switch (sniffFormat (bytes, numBytes))
    {
        case PictureFormat::gif:
            return decodeGif (bytes, numBytes);

#if OSTREL_OWN_PNG_JPEG_DECODING
        case PictureFormat::png:
            return decodePng (bytes, numBytes);

        case PictureFormat::jpeg:
            return decodeJpeg (bytes, numBytes);
#else
        case PictureFormat::png:
        case PictureFormat::jpeg:
            return juce::ImageFileFormat::loadFrom (data, numBytes);
#endif

        case PictureFormat::none:
            break;
    }

    return {};
}

juce::Image decodePictureFile (const juce::File& file)
{
    if (!file.existsAsFile() || file.getSize() > PictureLimits::maxFileBytes)
        return {};

    juce::FileInputStream stream (file);

    if (!stream.openedOk())
        return {};

    // Only what starts like a picture is read on, and never more than the limit (the file may
    // have grown since its size was read, or be a device that reads without end).
    juce::MemoryBlock contents;
    stream.readIntoMemoryBlock (contents, 32);

    if (sniffFormat (static_cast<const juce::uint8*> (contents.getData()), contents.getSize()) == PictureFormat::none)
        return {};

    stream.readIntoMemoryBlock (contents,
                                (ssize_t) (PictureLimits::maxFileBytes + 1 - (juce::int64) contents.getSize()));

    if ((juce::int64) contents.getSize() > PictureLimits::maxFileBytes)
        return {};

    return decodePictureData (contents.getData(), contents.getSize());
}
