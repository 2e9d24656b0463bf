// Feeds arbitrary bytes to the picture decoders through the entry the loader uses, and checks that whatever decodes
// is a picture the pipeline can take.
#include "FuzzEntryPoints.h"
#include "processor/PictureDecoding.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace
{
[[noreturn]] void fail (const char* what)
{
    std::fprintf (stderr, "%s\n", what);
    std::abort();
}

/** Reads every pixel once, as the rescale after decoding does, and checks that no colour component exceeds its
    alpha (the pixels are premultiplied). Outside the coverage: its loops would otherwise cost most of the run's
    time and guide it nowhere. */
__attribute__ ((no_sanitize ("coverage"))) void checkPixels (const juce::Image& picture)
{
    const juce::Image::BitmapData pixels (picture, juce::Image::BitmapData::readOnly);
    const bool premultiplied = pixels.pixelFormat == juce::Image::ARGB;
    bool ok = true;

    for (int y = 0; y < pixels.height; ++y)
        for (int x = 0; x < pixels.width; ++x)
        {
            const auto* pixel = pixels.getPixelPointer (x, y);

            if (premultiplied)
            {
                const auto& argb = *reinterpret_cast<const juce::PixelARGB*> (pixel);
                ok &= argb.getRed() <= argb.getAlpha() && argb.getGreen() <= argb.getAlpha()
                      && argb.getBlue() <= argb.getAlpha();
            }
            else
            {
                volatile auto red = reinterpret_cast<const juce::PixelRGB*> (pixel)->getRed();
                (void) red;
            }
        }

    if (!ok)
        fail ("A decoded pixel is not premultiplied");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    const auto picture = decodePictureData (data, size);

    if (picture.isNull())
        return 0;

    if (!isAcceptablePictureSize (picture.getWidth(), picture.getHeight()))
        fail ("A decoded picture is larger than the limits allow");

    const auto format = picture.getFormat();

    if (format != juce::Image::ARGB && format != juce::Image::RGB)
        fail ("A decoded picture is neither ARGB nor RGB");

    if (!picture.getProperties()->contains ("originalImageHadAlpha")
        || (bool) picture.getProperties()->getWithDefault ("originalImageHadAlpha", false)
               != (format == juce::Image::ARGB))
        fail ("A decoded picture says wrongly whether it had alpha");

    checkPixels (picture);
    return 0;
}
