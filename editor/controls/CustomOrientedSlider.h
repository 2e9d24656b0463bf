#pragma once

#include "CustomSliderBase.h"

/** A panel's bar slider: caption below, value above, its modulated value as a yellow bar from its own. Clicks
    set the value where they land, each press to its release one gesture for the host; a right-click or Ctrl-click
    only picks the parameter for modulation, however quickly two of them come. */
class CustomOrientedSlider : public CustomSliderBase
{
public:
    enum Orientation
    {
        vertical = 0,
        horizontal = 1
    };

    CustomOrientedSlider (OstrelAudioProcessor& processor, const juce::String& paramID, Orientation orientation);
    ~CustomOrientedSlider() override;

    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    /** A plain double click returns the bar to its default; a picking one does nothing more than its presses. */
    void mouseDoubleClick (const juce::MouseEvent&) override;
    /** Sets the caption; the component name stays as it is. */
    void setName (const juce::String& newName) override;
    void paint (juce::Graphics&) override;
    /** The bands are laid out by paint. */
    void resized() override {}
    /** Bars are linear. */
    void setUseLogarithmicScaling (bool) override {}

    const juce::String& getCaption() const noexcept { return caption; }

private:
    /** The value under the mouse, to the nearest integer with Shift held; NaN when it cannot be told. */
    float valueAt (const juce::MouseEvent&) const;
    void setValueFromMouse (const juce::MouseEvent&);
    void paintHorizontal (juce::Graphics&);
    void paintVertical (juce::Graphics&);

    Orientation orientation;
    juce::Colour trackColour{ 0xff808080 };
    juce::Colour thumbColour{ 0xffffa500 };
    juce::Colour backgroundColour{ 0x00000000 };
    juce::String caption{ "Slider" };
    juce::Colour textColour{ 0xffffffff };
    /** Set by a press that picked the parameter: the drag that follows it leaves the value alone too. */
    bool pickingPress = false;
    /** Open from a press that sets the value to its release: the host's gesture, begun and ended through the
        slider's drag notifications, which the parameter attachment turns into gesture begin and end. */
    std::unique_ptr<juce::Slider::ScopedDragNotification> gesture;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CustomOrientedSlider)
};
