#pragma once

#include <JuceHeader.h>

#include <cmath>

/** Pictures made in the program that needs them, for tests, fuzz seeds and benchmarks alike. */
namespace picture_fixtures
{
inline juce::Image
filledPicture (int width, int height, juce::Colour colour, juce::Image::PixelFormat format = juce::Image::RGB)
{
    juce::Image picture (format, width, height, true);
    picture.clear (picture.getBounds(), colour);
    return picture;
}

/** Every pixel a different colour from a seeded generator; alpha too when the format has it. */
inline juce::Image noisePicture (int width, int height, juce::Image::PixelFormat format, juce::int64 seed)
{
    juce::Image picture (format, width, height, true);
    juce::Image::BitmapData pixels (picture, juce::Image::BitmapData::writeOnly);
    juce::Random random (seed);

    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels.setPixelColour (
                x,
                y,
                juce::Colour ((juce::uint8) random.nextInt (256),
                              (juce::uint8) random.nextInt (256),
                              (juce::uint8) random.nextInt (256),
                              (juce::uint8) (format == juce::Image::ARGB ? random.nextInt (256) : 255)));

    return picture;
}
/** Grey, its brightness following one cycle of a sine from left to right, alike on every row: any row read as a
    wavetable is a sine. */
inline juce::Image sineGreyPicture (int width, int height)
{
    juce::Image picture (juce::Image::RGB, width, height, false);

    for (int x = 0; x < width; ++x)
    {
        const auto level = 0.5 + 0.5 * std::sin (juce::MathConstants<double>::twoPi * x / width);
        const auto grey = juce::Colour::greyLevel ((float) level);

        for (int y = 0; y < height; ++y)
            picture.setPixelAt (x, y, grey);
    }

    return picture;
}

/** Writes picture as <home>/pictures/<name>.png, in place of any file there, and returns the file. */
inline juce::File writePictureIntoHome (const juce::String& name, const juce::Image& picture)
{
    const auto folder = juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile ("pictures");
    folder.createDirectory();
    const auto file = folder.getChildFile (name + ".png");
    file.deleteFile();

    juce::FileOutputStream out (file);
    juce::PNGImageFormat().writeImageToStream (picture, out);
    return file;
}
} // namespace picture_fixtures
