// The window's cells from its size alone, so the layout is checked before the parts that fill it exist.
#include "editor/EditorLayout.h"

#include <gtest/gtest.h>

namespace
{
using R = juce::Rectangle<int>;

struct Size
{
    int w, h;
    R waveFormGUI, presetsBar, adsrVoicePanel, adsrFilterPanel, globalSynthPanel, filterPanel;
    R sourceTabs, matrixTabs, visualiserRect, spectrumPanel, keyboard;
    int upperSeparatorY, lowerSeparatorY;
};

// Worked out by hand from the layout rules: at 900 x 700 the window's own table; taller than 700 the panels keep
// their 600 rows and the keyboard band grows; lower than 600 there is no keyboard band and the panels shrink.
const Size sizes[] = {
    { 900,
      700,
      { 1, 1, 413, 399 },
      { 415, 1, 241, 78 },
      { 415, 81, 241, 158 },
      { 415, 241, 241, 158 },
      { 658, 1, 241, 238 },
      { 658, 241, 241, 158 },
      { 1, 403, 313, 194 },
      { 316, 403, 290, 194 },
      { 608, 401, 291, 65 },
      { 608, 468, 291, 131 },
      { 6, 603, 888, 94 },
      400,
      600 },
    { 1000,
      800,
      { 1, 1, 459, 399 },
      { 461, 1, 268, 78 },
      { 461, 81, 268, 158 },
      { 461, 241, 268, 158 },
      { 731, 1, 268, 238 },
      { 731, 241, 268, 158 },
      { 1, 403, 348, 194 },
      { 351, 403, 323, 194 },
      { 676, 401, 323, 65 },
      { 676, 468, 323, 131 },
      { 6, 603, 988, 194 },
      400,
      600 },
    { 900,
      500,
      { 1, 1, 413, 332 },
      { 415, 1, 241, 64 },
      { 415, 67, 241, 131 },
      { 415, 200, 241, 132 },
      { 658, 1, 241, 197 },
      { 658, 200, 241, 132 },
      { 1, 336, 313, 161 },
      { 316, 336, 290, 161 },
      { 608, 334, 291, 54 },
      { 608, 390, 291, 109 },
      { 6, 503, 888, 0 },
      333,
      500 },
};
} // namespace

TEST (EditorLayout, CellsFollowTheWindowSize)
{
    for (const auto& s : sizes)
    {
        SCOPED_TRACE (juce::String (s.w) + " x " + juce::String (s.h));
        const auto layout = EditorLayout::forSize (s.w, s.h);

        EXPECT_EQ (layout.waveFormGUI, s.waveFormGUI);
        EXPECT_EQ (layout.presetsBar, s.presetsBar);
        EXPECT_EQ (layout.adsrVoicePanel, s.adsrVoicePanel);
        EXPECT_EQ (layout.adsrFilterPanel, s.adsrFilterPanel);
        EXPECT_EQ (layout.globalSynthPanel, s.globalSynthPanel);
        EXPECT_EQ (layout.filterPanel, s.filterPanel);
        EXPECT_EQ (layout.sourceTabs, s.sourceTabs);
        EXPECT_EQ (layout.matrixTabs, s.matrixTabs);
        EXPECT_EQ (layout.visualiserRect, s.visualiserRect);
        EXPECT_EQ (layout.spectrumPanel, s.spectrumPanel);
        EXPECT_EQ (layout.keyboard, s.keyboard);
        EXPECT_EQ (layout.upperSeparatorY, s.upperSeparatorY);
        EXPECT_EQ (layout.lowerSeparatorY, s.lowerSeparatorY);
    }
}

TEST (EditorLayout, NoCellHasANegativeSize)
{
    for (const auto& [w, h] : { std::pair{ 0, 0 }, { 1, 1 }, { 5, 3 }, { 12, 700 }, { 900, 4 } })
    {
        const auto layout = EditorLayout::forSize (w, h);
        for (const auto& cell : { layout.waveFormGUI,
                                  layout.presetsBar,
                                  layout.adsrVoicePanel,
                                  layout.adsrFilterPanel,
                                  layout.globalSynthPanel,
                                  layout.filterPanel,
                                  layout.sourceTabs,
                                  layout.matrixTabs,
                                  layout.visualiserRect,
                                  layout.spectrumPanel,
                                  layout.keyboard })
        {
            EXPECT_GE (cell.getWidth(), 0) << w << " x " << h;
            EXPECT_GE (cell.getHeight(), 0) << w << " x " << h;
        }
    }
}
