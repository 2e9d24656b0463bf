#pragma once

#include <JuceHeader.h>

/** A picture file decoded and scaled to the grid's size, with the copies a transform pass draws into, ready to be
    swapped in; null images when it did not decode. */
struct PreparedPicture
{
    juce::String path;
    juce::Image decoded, scaled, transformed, work;

    bool isValid() const noexcept { return decoded.isValid(); }
};

/** Decodes and scales the file at path. It takes long, so it is made before any lock is taken: neither the audio
    thread, nor the image thread, nor a host saving the state waits for it. [any thread but the audio thread] */
PreparedPicture preparePicture (const juce::String& path);
