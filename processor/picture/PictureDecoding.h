#pragma once

#include <JuceHeader.h>

/** What a picture file may be before it is refused unread or undecoded: a picture is only ever
    drawn at 512 x 512, so anything larger only costs memory. */
namespace PictureLimits
{
constexpr int maxSide = 16384;
constexpr juce::int64 maxPixels = (juce::int64) 8192 * 8192;
constexpr juce::int64 maxFileBytes = (juce::int64) 256 * 1024 * 1024;
} // namespace PictureLimits

/** Decodes PNG, JPEG and GIF data into the same image the framework's default formats make of it,
    chosen by content in the same order. Anything that is not a whole picture within PictureLimits
    (empty, truncated, corrupt, absurdly large) gives a null image, without crashing and without
    allocating for the declared size. [message thread or host thread] */
juce::Image decodePictureData (const void* data, size_t numBytes);

/** Reads a file of at most PictureLimits::maxFileBytes and decodes it; a null image when it cannot
    be read or decoded. [message thread or host thread] */
juce::Image decodePictureFile (const juce::File& file);

/** The size a PNG, JPEG or GIF declares in its header, read from the first bytes only; false when
    the data declares none. */
bool readDeclaredPictureSize (const juce::uint8* data, size_t numBytes, int& width, int& height);

/** True for a width and height a picture may have. */
bool isAcceptablePictureSize (juce::int64 width, juce::int64 height);
