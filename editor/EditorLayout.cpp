#include "EditorLayout.h"

#include "LayoutCells.h"

namespace
{
/** Truncation toward zero of a product computed in double precision. */
int truncated (double x) { return (int) x; }
} // namespace

EditorLayout EditorLayout::forSize (int w, int h)
{
    EditorLayout layout;

    // The panels take at most 600 rows; the keyboard band gets the rest.
    const auto panelHeight = juce::jmin (h, 600);

    const auto pictureWidth = truncated (2.3 * w / 5);
    const auto pictureHeight = 2 * panelHeight / 3;
    layout.waveFormGUI = cell (1, 1, pictureWidth - 1, pictureHeight - 1);

    const auto upperHeight = juce::jmin (panelHeight, pictureHeight);
    const auto left = juce::jmin (pictureWidth, w);
    const auto rest = w - left;
    const auto middle = juce::jmin (rest, rest / 2);
    const auto right = rest - middle;

    const auto presetsHeight = juce::jmin (upperHeight, truncated (0.2 * upperHeight));
    const auto belowPresets = upperHeight - presetsHeight;
    const auto voiceHeight = juce::jmin (belowPresets, belowPresets / 2);
    layout.presetsBar = cell (left + 1, 1, middle - 2, presetsHeight - 2);
    layout.adsrVoicePanel = cell (left + 1, presetsHeight + 1, middle - 2, voiceHeight - 2);
    layout.adsrFilterPanel =
        cell (left + 1, presetsHeight + voiceHeight + 1, middle - 2, upperHeight - presetsHeight - voiceHeight - 2);

    const auto globalHeight = juce::jmin (upperHeight, truncated (0.6 * upperHeight));
    layout.globalSynthPanel = cell (left + middle + 1, 1, right - 2, globalHeight - 2);
    layout.filterPanel = cell (left + middle + 1, globalHeight + 1, right - 2, upperHeight - globalHeight - 2);

    const auto lowerHeight = panelHeight - upperHeight;
    const auto sourceWidth = juce::jmin (w, truncated (0.35 * w));
    const auto matrixWidth = juce::jmin (w - sourceWidth, truncated (0.5 * (w - sourceWidth)));
    const auto displayWidth = w - sourceWidth - matrixWidth;
    const auto displayX = sourceWidth + matrixWidth + 1;
    const auto spectrumHeight = juce::jmin (lowerHeight, 2 * lowerHeight / 3);
    layout.sourceTabs = cell (1, upperHeight + 3, sourceWidth - 2, lowerHeight - 6);
    layout.matrixTabs = cell (sourceWidth + 1, upperHeight + 3, matrixWidth - 2, lowerHeight - 6);
    layout.spectrumPanel = cell (displayX, panelHeight - spectrumHeight + 1, displayWidth - 2, spectrumHeight - 2);
    layout.visualiserRect = cell (displayX, upperHeight + 1, displayWidth - 2, lowerHeight - spectrumHeight - 2);

    layout.keyboard = cell (6, panelHeight + 3, w - 12, h - panelHeight - 6);

    layout.upperSeparatorY = layout.waveFormGUI.getBottom();
    layout.lowerSeparatorY = layout.keyboard.getY() - 3;
    return layout;
}
