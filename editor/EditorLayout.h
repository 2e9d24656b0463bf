#pragma once

#include <JuceHeader.h>

/** Where everything of the editor window goes for a window of a given size. */
struct EditorLayout
{
    /** The cells of a window of width w and height h. */
    static EditorLayout forSize (int w, int h);

    juce::Rectangle<int> waveFormGUI, presetsBar, adsrVoicePanel, adsrFilterPanel, globalSynthPanel, filterPanel;
    juce::Rectangle<int> sourceTabs, matrixTabs, visualiserRect, spectrumPanel, keyboard;

    /** The two separator lines: under the picture area and above the keyboard band. */
    int upperSeparatorY = 0, lowerSeparatorY = 0;
};
