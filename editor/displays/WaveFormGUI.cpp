#include "WaveFormGUI.h"

WaveFormGUI::WaveFormGUI (OstrelAudioProcessor& p, ParameterSelectionListener& listener) :
    parameterSelectionListener (&listener),
    processor (p),
    affinePanel (p, p.affineConfigs),
    intervalPanel (p, p.intervalConfigs),
    parentTargetArea (processor),
    waveFormWindow (processor)
{
    addAndMakeVisible (affinePanel);
    addAndMakeVisible (intervalPanel);
    addAndMakeVisible (parentTargetArea);
    addAndMakeVisible (waveFormWindow);
}

WaveFormGUI::Layout WaveFormGUI::layoutFor (int w, int h)
{
    const auto rightW = juce::jmin (w, (int) (w * 1.2 / 5));
    const auto leftW = w - rightW;
    const auto bottomH = juce::jmin (h, h / 3);
    const auto topH = h - bottomH;
    const auto waveH = juce::jmin (bottomH, bottomH / 3);
    const auto intervalH = bottomH - waveH;

    const auto inset = [] (int x, int y, int cw, int ch)
    { return juce::Rectangle<int> (x + 1, y + 1, juce::jmax (0, cw - 2), juce::jmax (0, ch - 2)); };

    return { inset (0, 0, leftW, topH),
             inset (leftW, 0, rightW, h),
             inset (0, topH, leftW, waveH),
             inset (0, topH + waveH, leftW, intervalH) };
}

void WaveFormGUI::resized()
{
    const auto layout = layoutFor (getWidth(), getHeight());
    parentTargetArea.setBounds (layout.parentTargetArea);
    waveFormWindow.setBounds (layout.waveFormWindow);
    affinePanel.setBounds (layout.affinePanel);
    intervalPanel.setBounds (layout.intervalPanel);
}

void WaveFormGUI::onParameterSelected (const juce::String& paramID)
{
    parameterSelectionListener->onParameterSelected (paramID);
}

//==============================================================================
ParentTargetArea::ParentTargetArea (OstrelAudioProcessor& p) : processor (p), targetArea (p)
{
    addAndMakeVisible (targetArea);
    startTimer (30);
}

void ParentTargetArea::resized() { targetArea.setBounds (getLocalBounds()); }
