#pragma once

#include <JuceHeader.h>

/** A flat text button: light green, dark red while pressed, with an orange border and its caption in black.
    The global panel's Reset and the presets bar's buttons. */
class CustomResetButton : public juce::TextButton
{
public:
    using juce::TextButton::TextButton;
    ~CustomResetButton() override = default;

    /** Nothing to lay out: the caption is drawn over the whole button. */
    void resized() override {}
    void paintButton (juce::Graphics&, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    /** The text drawn, which is also the title a screen reader reads: the button text stays the name the owner
        gave it. */
    void setCaption (const juce::String& newCaption);
    const juce::String& getCaption() const noexcept { return caption; }

private:
    juce::String caption;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CustomResetButton)
};
