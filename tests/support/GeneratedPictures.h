#pragma once

#include <JuceHeader.h>

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
} // namespace picture_fixtures
