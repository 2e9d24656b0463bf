// Every parameter panel at the size the window gives it: the title, each control and each drawing in its place.
#include "EditorFixture.h"
#include "editor/panels/LFOPanels.h"

using namespace editor_testing;

namespace
{
using R = juce::Rectangle<int>;
using Editor = OstrelAudioProcessorEditor;

template <typename Panel>
Panel& page (Editor& editor, int index)
{
    auto* panel = dynamic_cast<Panel*> (editor.sourceTabs->getTabContentComponent (index));
    if (panel == nullptr)
        throw std::runtime_error ("no such page");
    return *panel;
}

struct Placed
{
    const char* what;
    std::function<juce::Component&(Editor&)> find;
    R bounds; // in the parent's coordinates
};

// Worked out by hand from the layout rules at 900 x 700. The tab pages get the tab set's 313 x 194 less its
// 30-pixel tab bar and 1-pixel outline: 311 x 163.
const Placed placed[] = {
    { "waveFormGUI", [] (Editor& e) -> juce::Component& { return e.waveFormGUI; }, { 1, 1, 413, 399 } },
    { "adsrVoicePanel", [] (Editor& e) -> juce::Component& { return e.adsrVoicePanel; }, { 415, 81, 241, 158 } },
    { "adsrFilterPanel", [] (Editor& e) -> juce::Component& { return e.adsrFilterPanel; }, { 415, 241, 241, 158 } },
    { "globalSynthPanel", [] (Editor& e) -> juce::Component& { return e.globalSynthPanel; }, { 658, 1, 241, 238 } },
    { "filterPanel", [] (Editor& e) -> juce::Component& { return e.filterPanel; }, { 658, 241, 241, 158 } },

    // The picture area.
    { "affinePanel", [] (Editor& e) -> juce::Component& { return e.waveFormGUI.affinePanel; }, { 315, 1, 97, 397 } },
    { "intervalPanel",
      [] (Editor& e) -> juce::Component& { return e.waveFormGUI.intervalPanel; },
      { 1, 311, 312, 87 } },

    // "ADSR Voice" (241 x 158); "ADSR Filter" is laid out alike.
    { "voice title", [] (Editor& e) -> juce::Component& { return e.adsrVoicePanel.titleLabel; }, { 0, 0, 241, 25 } },
    { "voice Attack", [] (Editor& e) -> juce::Component& { return *e.adsrVoicePanel.sliders[0]; }, { 5, 30, 50, 44 } },
    { "voice Decay", [] (Editor& e) -> juce::Component& { return *e.adsrVoicePanel.sliders[1]; }, { 65, 30, 50, 44 } },
    { "voice Sustain",
      [] (Editor& e) -> juce::Component& { return *e.adsrVoicePanel.sliders[2]; },
      { 125, 30, 50, 44 } },
    { "voice Release",
      [] (Editor& e) -> juce::Component& { return *e.adsrVoicePanel.sliders[3]; },
      { 185, 30, 50, 44 } },
    { "voice drawing",
      [] (Editor& e) -> juce::Component& { return e.adsrVoicePanel.drawingArea; },
      { 20, 79, 201, 79 } },
    { "filter envelope drawing",
      [] (Editor& e) -> juce::Component& { return e.adsrFilterPanel.drawingArea; },
      { 20, 79, 201, 79 } },

    // Filter (241 x 158): the cut-off knob grows by 3 pixels on every side.
    { "filter title", [] (Editor& e) -> juce::Component& { return e.filterPanel.titleLabel; }, { 0, 0, 241, 25 } },
    { "Freq", [] (Editor& e) -> juce::Component& { return *e.filterPanel.sliders[0]; }, { -3, 22, 86, 60 } },
    { "Q", [] (Editor& e) -> juce::Component& { return *e.filterPanel.sliders[1]; }, { 85, 30, 70, 44 } },
    { "Type", [] (Editor& e) -> juce::Component& { return *e.filterPanel.comboBoxes[0]; }, { 165, 40, 70, 24 } },
    { "response", [] (Editor& e) -> juce::Component& { return e.filterPanel.responseView; }, { 10, 80, 221, 77 } },

    // Synth (241 x 238), "HiFidel" in the strip above Reset.
    { "synth title", [] (Editor& e) -> juce::Component& { return e.globalSynthPanel.titleLabel; }, { 0, 0, 241, 20 } },
    { "Gain", [] (Editor& e) -> juce::Component& { return *e.globalSynthPanel.sliders[0]; }, { 7, 22, 66, 55 } },
    { "Octave", [] (Editor& e) -> juce::Component& { return *e.globalSynthPanel.sliders[2]; }, { 87, 22, 66, 55 } },
    { "VeloShift", [] (Editor& e) -> juce::Component& { return *e.globalSynthPanel.sliders[3]; }, { 167, 22, 67, 55 } },
    { "2OscType", [] (Editor& e) -> juce::Component& { return *e.globalSynthPanel.comboBoxes[0]; }, { 7, 94, 66, 23 } },
    { "subBass", [] (Editor& e) -> juce::Component& { return *e.globalSynthPanel.sliders[4]; }, { 87, 81, 66, 49 } },
    { "subBassOc", [] (Editor& e) -> juce::Component& { return *e.globalSynthPanel.sliders[5]; }, { 167, 81, 67, 49 } },
    { "Tune Image",
      [] (Editor& e) -> juce::Component& { return *e.globalSynthPanel.sliders[6]; },
      { 7, 134, 106, 49 } },
    { "Tune 2. Osc",
      [] (Editor& e) -> juce::Component& { return *e.globalSynthPanel.sliders[7]; },
      { 127, 134, 107, 49 } },
    { "Glide", [] (Editor& e) -> juce::Component& { return *e.globalSynthPanel.sliders[1]; }, { 7, 187, 66, 49 } },
    { "Mono",
      [] (Editor& e) -> juce::Component& { return *e.globalSynthPanel.toggleButtons[0]; },
      { 87, 189, 66, 22 } },
    { "Vel.Ign.",
      [] (Editor& e) -> juce::Component& { return *e.globalSynthPanel.toggleButtons[2]; },
      { 87, 213, 66, 19 } },
    { "Reset", [] (Editor& e) -> juce::Component& { return e.globalSynthPanel.resetButton; }, { 167, 200, 67, 23 } },
    { "HiFidel",
      [] (Editor& e) -> juce::Component& { return *e.globalSynthPanel.toggleButtons[1]; },
      { 167, 187, 67, 13 } },

    // Intervals (312 x 87): five cells of 56 with 5-pixel gaps.
    { "intervals title",
      [] (Editor& e) -> juce::Component& { return e.waveFormGUI.intervalPanel.titleLabel; },
      { 0, 0, 312, 20 } },
    { "..", [] (Editor& e) -> juce::Component& { return *e.waveFormGUI.intervalPanel.sliders[0]; }, { 5, 20, 56, 57 } },
    { ":", [] (Editor& e) -> juce::Component& { return *e.waveFormGUI.intervalPanel.sliders[1]; }, { 66, 20, 56, 57 } },
    { "Shift",
      [] (Editor& e) -> juce::Component& { return *e.waveFormGUI.intervalPanel.sliders[2]; },
      { 127, 20, 56, 57 } },
    { "Smooth",
      [] (Editor& e) -> juce::Component& { return *e.waveFormGUI.intervalPanel.sliders[3]; },
      { 188, 20, 56, 57 } },
    { "Circle",
      [] (Editor& e) -> juce::Component& { return *e.waveFormGUI.intervalPanel.toggleButtons[0]; },
      { 249, 20, 56, 57 } },

    // Affines (97 x 397): six knobs of 53 with 10-pixel gaps.
    { "affines title",
      [] (Editor& e) -> juce::Component& { return e.waveFormGUI.affinePanel.titleLabel; },
      { 0, 0, 97, 25 } },
    { "Rotate",
      [] (Editor& e) -> juce::Component& { return *e.waveFormGUI.affinePanel.sliders[0]; },
      { 5, 25, 87, 53 } },
    { "Zoom", [] (Editor& e) -> juce::Component& { return *e.waveFormGUI.affinePanel.sliders[1]; }, { 5, 88, 87, 53 } },
    { "Left-Right",
      [] (Editor& e) -> juce::Component& { return *e.waveFormGUI.affinePanel.sliders[5]; },
      { 5, 340, 87, 53 } },

    // LFO pages (311 x 163): the three knob cells of 62, the rest for the type and the toggles.
    { "LFO1 page", [] (Editor& e) -> juce::Component& { return page<LFOGUI> (e, 0); }, { 1, 30, 311, 163 } },
    { "LFO title", [] (Editor& e) -> juce::Component& { return page<LFOGUI> (e, 0).titleLabel; }, { 0, 0, 311, 25 } },
    { "LFO Rate", [] (Editor& e) -> juce::Component& { return *page<LFOGUI> (e, 0).sliders[0]; }, { 4, 29, 54, 49 } },
    { "LFO Amount",
      [] (Editor& e) -> juce::Component& { return *page<LFOGUI> (e, 0).sliders[1]; },
      { 66, 29, 54, 49 } },
    { "LFO Offset",
      [] (Editor& e) -> juce::Component& { return *page<LFOGUI> (e, 1).sliders[2]; },
      { 128, 29, 54, 49 } },
    { "LFO note Rate",
      [] (Editor& e) -> juce::Component& { return *page<LFOGUI> (e, 2).sliders[3]; },
      { 4, 29, 54, 49 } },
    { "LFOType",
      [] (Editor& e) -> juce::Component& { return *page<LFOGUI> (e, 3).comboBoxes[0]; },
      { 196, 30, 105, 18 } },
    { "Sync",
      [] (Editor& e) -> juce::Component& { return *page<LFOGUI> (e, 0).toggleButtons[0]; },
      { 190, 57, 54, 21 } },
    { "Retrigger",
      [] (Editor& e) -> juce::Component& { return *page<LFOGUI> (e, 0).toggleButtons[1]; },
      { 252, 57, 55, 21 } },
    { "LFO preview", [] (Editor& e) -> juce::Component& { return *page<LFOGUI> (e, 3).lfoView; }, { 20, 86, 271, 73 } },

    // Envelope pages (311 x 163).
    { "Env4 page", [] (Editor& e) -> juce::Component& { return page<ADSRSComponent> (e, 7); }, { 1, 30, 311, 163 } },
    { "Env title",
      [] (Editor& e) -> juce::Component& { return page<ADSRSComponent> (e, 4).titleLabel; },
      { 0, 0, 311, 25 } },
    { "Env Attack",
      [] (Editor& e) -> juce::Component& { return *page<ADSRSComponent> (e, 4).sliders[0]; },
      { 5, 30, 67, 47 } },
    { "Env Release",
      [] (Editor& e) -> juce::Component& { return *page<ADSRSComponent> (e, 5).sliders[3]; },
      { 236, 30, 67, 47 } },
    { "Env drawing",
      [] (Editor& e) -> juce::Component& { return page<ADSRSComponent> (e, 6).drawingArea; },
      { 20, 82, 271, 81 } },
};
} // namespace

TEST (PanelLayout, EveryPanelPlacesItsPartsAtTheWindowsSizes)
{
    EditorHarness harness;
    auto& editor = harness.editor();

    for (const auto& p : placed)
        EXPECT_EQ (p.find (editor).getBounds(), p.bounds) << p.what;

    // The layout's cells, the picture view's and the waveform window's among them.
    const auto cells = WaveFormGUI::layoutFor (413, 399);
    EXPECT_EQ (cells.parentTargetArea, R (1, 1, 312, 264));
    EXPECT_EQ (cells.waveFormWindow, R (1, 267, 312, 42));
    EXPECT_EQ (cells.affinePanel, R (315, 1, 97, 397));
    EXPECT_EQ (cells.intervalPanel, R (1, 311, 312, 87));

    // Titles and pages as the window names them.
    EXPECT_EQ (editor.adsrVoicePanel.titleLabel.getText(), "ADSR Voice");
    EXPECT_EQ (editor.adsrFilterPanel.titleLabel.getText(), "ADSR Filter");
    EXPECT_EQ (editor.globalSynthPanel.titleLabel.getText(), "Synth");
    EXPECT_EQ (editor.filterPanel.titleLabel.getText(), "Filter");
    EXPECT_EQ (editor.waveFormGUI.intervalPanel.titleLabel.getText(), "Intervals");
    EXPECT_EQ (editor.waveFormGUI.affinePanel.titleLabel.getText(), "Affines");
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ (page<LFOGUI> (editor, i).titleLabel.getText(), "LFO");
        EXPECT_EQ (page<LFOGUI> (editor, i).sliders[0]->getParameterID(), "LFORate" + juce::String (i + 1));
        EXPECT_EQ (page<ADSRSComponent> (editor, 4 + i).titleLabel.getText(), "Env" + juce::String (i + 1));
        EXPECT_EQ (page<ADSRSComponent> (editor, 4 + i).sliders[0]->getParameterID(), "Attack" + juce::String (i + 1));
    }
    // Every control is on screen inside its panel, "HiFidel" too; only the rate that "Sync" does not choose hides.
    std::vector<GlobalPanelClass*> panels{
        &editor.adsrVoicePanel, &editor.adsrFilterPanel,           &editor.globalSynthPanel,
        &editor.filterPanel,    &editor.waveFormGUI.intervalPanel, &editor.waveFormGUI.affinePanel
    };
    for (int i = 0; i < editor.sourceTabs->getNumTabs(); ++i)
        panels.push_back (dynamic_cast<GlobalPanelClass*> (editor.sourceTabs->getTabContentComponent (i)));

    for (auto* panel : panels)
    {
        ASSERT_NE (panel, nullptr);
        std::vector<juce::Component*> controls (panel->sliders.begin(), panel->sliders.end());
        controls.insert (controls.end(), panel->comboBoxes.begin(), panel->comboBoxes.end());
        controls.insert (controls.end(), panel->toggleButtons.begin(), panel->toggleButtons.end());
        for (auto* control : controls)
        {
            const auto hiddenRate = dynamic_cast<LFOGUI*> (panel) != nullptr && control == panel->sliders[3];
            EXPECT_EQ (control->isVisible(), !hiddenRate) << panel->getName() << " " << control->getName();
            EXPECT_FALSE (control->getBounds().isEmpty()) << control->getName();
            EXPECT_TRUE (panel->getLocalBounds().expanded (3).contains (control->getBounds())) << control->getName();
        }
    }

    EXPECT_EQ (editor.globalSynthPanel.resetButton.getName(), "ResetButton");
    EXPECT_EQ (editor.globalSynthPanel.resetButton.getCaption(), "Reset");
}
