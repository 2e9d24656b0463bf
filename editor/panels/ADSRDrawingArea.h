#pragma once

#include <JuceHeader.h>

/** The drawn shape of one envelope on a grid; its owning panel builds the path from the knobs. */
class ADSRDrawingArea : public juce::Component
{
public:
    ADSRDrawingArea() = default;
    ~ADSRDrawingArea() override = default;

    /** The drawing is not edited with the mouse. */
    void mouseDown (const juce::MouseEvent&) override {}
    void mouseDrag (const juce::MouseEvent&) override {}
    void paint (juce::Graphics&) override;
    void resized() override {}

    /** Attack peak, decay, sustain plateau and release, left open; empty until the panel's first layout. */
    juce::Path envelopePath;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ADSRDrawingArea)
};
