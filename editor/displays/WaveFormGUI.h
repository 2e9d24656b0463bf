#pragma once

#include "ImageArea.h"
#include "WaveFormWindow.h"
#include "editor/ParameterSelectionListener.h"
#include "editor/panels/Affine.h"
#include "editor/panels/Interval.h"

/** The picture's frame: holds the picture view over its whole area and repaints it every 30 ms, which moves the
    circle-mode arrows on. */
class ParentTargetArea : public juce::Component, public juce::Timer
{
public:
    explicit ParentTargetArea (OstrelAudioProcessor& processor);
    ~ParentTargetArea() override = default;

    /** The picture view covers the frame. */
    void paint (juce::Graphics&) override {}
    void resized() override;
    void timerCallback() override { repaint(); }

private:
    [[maybe_unused]] OstrelAudioProcessor& processor;

public:
    TargetArea targetArea;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ParentTargetArea)
};

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
    OstrelAudioProcessor& processor;

public:
    AffinePanel affinePanel;
    IntervalPanel intervalPanel;
    ParentTargetArea parentTargetArea;
    WaveFormWindow waveFormWindow;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WaveFormGUI)
};
