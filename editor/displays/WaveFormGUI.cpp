#include "WaveFormGUI.h"

WaveFormGUI::WaveFormGUI (OstrelAudioProcessor& p, ParameterSelectionListener& listener) :
    parameterSelectionListener (&listener),
    processor (p),
    affinePanel (p, p.affineConfigs),
    intervalPanel (p, p.intervalConfigs)
{
    addAndMakeVisible (affinePanel);
    addAndMakeVisible (intervalPanel);
    // Then parentTargetArea and waveFormWindow, once they exist.
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
    // parentTargetArea takes layout.parentTargetArea and waveFormWindow layout.waveFormWindow, once they exist.
    affinePanel.setBounds (layout.affinePanel);
    intervalPanel.setBounds (layout.intervalPanel);
}

void WaveFormGUI::onParameterSelected (const juce::String& paramID)
{
    parameterSelectionListener->onParameterSelected (paramID);
}
