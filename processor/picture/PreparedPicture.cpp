#include "PreparedPicture.h"
#include "BrightnessGrid.h"
#include "PictureDecoding.h"

namespace
{
/** picture rescaled to the grid's size as juce::Image::rescaled does it (medium resampling quality), but onto a
    cleared image: the framework clears its new image only for pictures with alpha, and the edge pixels that the
    scaled picture covers only in part would blend in whatever that memory held, a little different at every load.
    A picture of the grid's size is shared, not copied. */
juce::Image rescaledToGrid (const juce::Image& picture)
{
    constexpr int side = brightnessGridSize;

    if (picture.getWidth() == side && picture.getHeight() == side)
        return picture;

    juce::Image scaled (picture.getFormat(), side, side, true, *picture.getPixelData()->createType());
    juce::Graphics g (scaled);
    g.setImageResamplingQuality (juce::Graphics::mediumResamplingQuality);
    g.drawImageTransformed (picture,
                            juce::AffineTransform::scale ((float) side / (float) picture.getWidth(),
                                                          (float) side / (float) picture.getHeight()),
                            false);
    return scaled;
}
} // namespace

PreparedPicture preparePicture (const juce::String& path)
{
    PreparedPicture picture;
    picture.path = path;

    if (juce::File::isAbsolutePath (path))
        picture.decoded = decodePictureFile (juce::File (path));

    if (picture.isValid())
    {
        picture.scaled = rescaledToGrid (picture.decoded);
        picture.transformed = picture.scaled.createCopy();
        picture.work = picture.transformed.createCopy();
    }

    return picture;
}
