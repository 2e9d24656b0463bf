#pragma once

#include "GlobalPanelClass.h"
#include "editor/controls/CustomResetButton.h"

/** The global settings: gain, glide, octave, velocity shift, sub oscillator, second oscillator type, fine tunes,
    the mono, "HiFidel" and velocity toggles, and Reset, which returns every parameter to its default. */
class GlobalSynthPanel : public GlobalPanelClass
{
public:
    explicit GlobalSynthPanel (OstrelAudioProcessor& processor);
    ~GlobalSynthPanel() override = default;

    /** Every parameter of the plug-in back to its default, each change told to the host and the attachments as
        one complete gesture (begin, value, end). The picture stays. [message thread] */
    static void resetAllParameters (juce::AudioProcessor& plugin);

    CustomResetButton resetButton{ "ResetButton" };
    juce::Label titleLabel;

private:
    void layOut() override;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GlobalSynthPanel)
};
