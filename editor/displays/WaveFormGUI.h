#pragma once

#include "editor/ParameterSelectionListener.h"
#include "editor/panels/Affine.h"
#include "editor/panels/Interval.h"

/** The picture area: the picture with its scan overlay, the waveform window below it, the scan controls under
    that and the picture-transform column at the right. */
class WaveFormGUI : public juce::Component, public ParameterSelectionListener
{
public:
    WaveFormGUI (OstrelAudioProcessor& processor, ParameterSelectionListener& listener);
    ~WaveFormGUI() override = default;

    /** The children cover everything worth drawing. */
    void paint (juce::Graphics&) override {}
    void resized() override;
    /** Passed on to the editor unchanged. */
    void onParameterSelected (const juce::String& paramID) override;

    /** The cells of an area of width w and height h, each child's cell reduced by 1 pixel on every side. */
    struct Layout
    {
        juce::Rectangle<int> parentTargetArea, affinePanel, waveFormWindow, intervalPanel;
    };
    static Layout layoutFor (int w, int h);

private:
    ParameterSelectionListener* parameterSelectionListener;
    [[maybe_unused]] OstrelAudioProcessor& processor; // for the picture frame and the waveform window

public:
    AffinePanel affinePanel;
    IntervalPanel intervalPanel;
    // parentTargetArea: ParentTargetArea (the processor), the picture frame holding the picture view
    // waveFormWindow: WaveFormWindow (the processor), the current wavetable with its trail

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WaveFormGUI)
};
