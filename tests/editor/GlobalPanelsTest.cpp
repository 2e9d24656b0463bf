// The global panel's Reset, the interval panel's centre knobs following "TypeCircle" however it changes, and the
// flat button's look.
#include "EditorFixture.h"
#include "PictureFixtures.h"

#include <thread>

using namespace editor_testing;

namespace
{
/** Every parameter panel of the window, the tab pages included. */
std::vector<GlobalPanelClass*> allPanels (OstrelAudioProcessorEditor& editor)
{
    std::vector<GlobalPanelClass*> panels{
        &editor.adsrVoicePanel, &editor.adsrFilterPanel,           &editor.globalSynthPanel,
        &editor.filterPanel,    &editor.waveFormGUI.intervalPanel, &editor.waveFormGUI.affinePanel
    };
    for (int i = 0; i < editor.sourceTabs->getNumTabs(); ++i)
        if (auto* panel = dynamic_cast<GlobalPanelClass*> (editor.sourceTabs->getTabContentComponent (i)))
            panels.push_back (panel);
    return panels;
}

/** The group whose records made panel's controls, found by its first slider. */
const ParameterGroup& groupOf (OstrelAudioProcessor& processor, GlobalPanelClass& panel)
{
    for (auto* group : processor.allConfigs)
        for (const auto& config : *group)
            if (config.paramID == panel.sliders[0]->getParameterID())
                return *group;
    throw std::runtime_error ("no group");
}

/** The records of one kind of the group, in group order. */
std::vector<const ParameterConfig*> recordsOfKind (const ParameterGroup& group, int kind)
{
    std::vector<const ParameterConfig*> records;
    for (const auto& config : group)
        if (config.type == kind)
            records.push_back (&config);
    return records;
}

float defaultOf (juce::RangedAudioParameter& parameter)
{
    return parameter.convertFrom0to1 (parameter.getDefaultValue());
}

IntervalPanel& intervals (EditorHarness& harness) { return harness.editor().waveFormGUI.intervalPanel; }

bool centreKnobsEnabled (EditorHarness& harness)
{
    auto& panel = intervals (harness);
    EXPECT_EQ (panel.sliders[0]->isEnabled(), panel.sliders[1]->isEnabled());
    EXPECT_TRUE (panel.sliders[2]->isEnabled()) << "Shift is never disabled";
    EXPECT_TRUE (panel.sliders[3]->isEnabled()) << "Smooth is never disabled";
    return panel.sliders[0]->isEnabled();
}

void onHostThread (std::function<void()> work)
{
    std::thread host (std::move (work));
    host.join();
}

/** The position of the record paramID among a program's values. */
size_t programIndexOf (OstrelAudioProcessor& processor, const juce::String& paramID)
{
    size_t k = 0;
    for (auto* group : processor.allConfigs)
        for (const auto& config : *group)
        {
            if (config.paramID == paramID)
                return k;
            ++k;
        }
    throw std::runtime_error ("no record");
}
} // namespace

TEST (GlobalPanels, ResetPutsEveryParameterAndEveryControlBackToItsDefaultAndKeepsThePicture)
{
    EditorHarness harness;
    auto& processor = harness.processor();
    auto& editor = harness.editor();

    const auto picture =
        picture_fixtures::writePng ("reset.png", picture_fixtures::filledPicture (8, 8, juce::Colours::orange));
    processor.loadFile (picture, false);
    ASSERT_EQ (processor.getImagePath(), picture);

    // Every parameter away from its default: the base ones, every matrix cell and "filterType".
    int numParameters = 0;
    for (auto* p : processor.getParameters())
    {
        auto& parameter = dynamic_cast<juce::RangedAudioParameter&> (*p);
        parameter.setValueNotifyingHost (parameter.getDefaultValue() < 0.5f ? 0.9f : 0.1f);
        ASSERT_NE (parameter.getValue(), parameter.getDefaultValue()) << parameter.paramID;
        ++numParameters;
    }
    EXPECT_EQ (numParameters, 1028);
    EXPECT_TRUE (editor.filterToggle1.getToggleState());

    editor.globalSynthPanel.resetButton.triggerClick();
    ASSERT_TRUE (runUntil ([&] { return harness.host.raw ("Gain") == 0.0f; }));

    for (auto* p : processor.getParameters())
    {
        auto& parameter = dynamic_cast<juce::RangedAudioParameter&> (*p);
        EXPECT_EQ (parameter.getValue(), parameter.getDefaultValue()) << parameter.paramID;
        EXPECT_EQ (harness.host.raw (parameter.paramID), defaultOf (parameter)) << parameter.paramID;
    }
    EXPECT_EQ (processor.getImagePath(), picture);

    // Each control shows its default.
    int numControls = 0;
    for (auto* panel : allPanels (editor))
    {
        const auto& group = groupOf (processor, *panel);
        for (auto* slider : panel->sliders)
        {
            auto& parameter = *processor.valueTreeState.getParameter (slider->getParameterID());
            EXPECT_FLOAT_EQ ((float) slider->getValue(), defaultOf (parameter)) << slider->getParameterID();
            ++numControls;
        }

        const auto combos = recordsOfKind (group, ParameterKind::comboBox);
        for (int i = 0; i < panel->comboBoxes.size(); ++i)
        {
            auto& parameter = *processor.valueTreeState.getParameter (combos[(size_t) i]->paramID);
            EXPECT_EQ (panel->comboBoxes[i]->getSelectedId(), (int) defaultOf (parameter) + 1) << parameter.paramID;
            ++numControls;
        }

        const auto toggles = recordsOfKind (group, ParameterKind::toggle);
        for (int i = 0; i < panel->toggleButtons.size(); ++i)
        {
            auto& parameter = *processor.valueTreeState.getParameter (toggles[(size_t) i]->paramID);
            EXPECT_EQ (panel->toggleButtons[i]->getToggleState(), defaultOf (parameter) >= 0.5f) << parameter.paramID;
            ++numControls;
        }
    }
    EXPECT_EQ (numControls, 78) << "every base parameter but the presets bar's \"OverSample\" has its control here";
    EXPECT_FALSE (editor.filterToggle1.getToggleState()) << "\"filterType\" is back at \"Filter 1\"";
}

TEST (GlobalPanels, TheCircleCentreKnobsAreEnabledExactlyWhileCircleModeIsOnWhateverChangesIt)
{
    EditorHarness harness;
    auto& processor = harness.processor();

    // The "TypeCircle" values each way of changing it sets, applied from wherever that way runs.
    const auto viaClick = [&] (bool on)
    {
        auto& toggle = *intervals (harness).toggleButtons[0];
        if (toggle.getToggleState() != on)
            toggle.triggerClick();
    };
    const auto viaHostThread = [&] (bool on)
    { onHostThread ([&] { harness.host.set ("TypeCircle", on ? 1.0f : 0.0f); }); };
    const auto viaProgram = [&] (bool on)
    {
        auto program = processor.makeProgramFromCurrentSettings (on ? "Circle" : "Line");
        program.values[programIndexOf (processor, "TypeCircle")] = on ? 1.0f : 0.0f;
        int index;
        {
            const juce::ScopedLock lock (processor.programsLock);
            processor.programs.push_back (program);
            index = (int) processor.programs.size();
        }
        onHostThread ([&] { processor.setCurrentProgram (index); });
    };
    const auto viaState = [&] (bool on)
    {
        juce::MemoryBlock state;
        {
            block_testing::ProcessorHarness other;
            other.set ("TypeCircle", on ? 1.0f : 0.0f);
            other.processor->getStateInformation (state);
        }
        onHostThread ([&] { processor.setStateInformation (state.getData(), (int) state.getSize()); });
    };

    struct Change
    {
        const char* how;
        std::function<void (bool)> set;
    };
    const Change changes[] = {
        { "a click", viaClick },
        { "host automation on another thread", viaHostThread },
        { "a program chosen on the host's thread", viaProgram },
        { "a state restored on the host's thread", viaState },
    };

    EXPECT_FALSE (centreKnobsEnabled (harness)) << "line mode is the default";

    for (const auto& change : changes)
    {
        for (const auto on : { true, false })
        {
            SCOPED_TRACE (juce::String (change.how) + (on ? ": on" : ": off"));
            change.set (on);
            EXPECT_TRUE (runUntil ([&] { return centreKnobsEnabled (harness) == on; }));
            EXPECT_EQ (harness.host.raw ("TypeCircle"), on ? 1.0f : 0.0f);
        }
    }
}

TEST (GlobalPanels, ThePanelsOpenWithCircleModeAsTheParameterHoldsIt)
{
    EditorHarness harness;
    harness.closeEditor();
    harness.host.set ("TypeCircle", 1.0f);
    harness.openEditor();
    EXPECT_TRUE (centreKnobsEnabled (harness));
}

TEST (GlobalPanels, TheFlatButtonDrawsItsStates)
{
    CustomResetButton button ("ResetButton");
    button.setSize (60, 24);

    struct State
    {
        bool highlighted, down;
        juce::Colour fill, border;
    };
    // The border is orange divided by 1.09 while pressed, by 1.9 otherwise.
    const State states[] = {
        { false, true, juce::Colours::darkred, juce::Colour (0xffe99700) },
        { true, true, juce::Colours::darkred, juce::Colour (0xffe99700) },
        { true, false, juce::Colours::lightgreen.brighter (0.2f), juce::Colour (0xff865600) },
        { false, false, juce::Colours::lightgreen.darker (0.2f), juce::Colour (0xff865600) },
    };

    for (const auto& s : states)
    {
        SCOPED_TRACE (juce::String (s.highlighted ? "highlighted" : "plain") + (s.down ? ", down" : ""));
        juce::Image image (juce::Image::ARGB, 60, 24, true);
        {
            juce::Graphics g (image);
            button.paintButton (g, s.highlighted, s.down);
        }
        EXPECT_EQ (image.getPixelAt (8, 12), s.fill);
        EXPECT_EQ (image.getPixelAt (30, 0), s.border);
        EXPECT_EQ (image.getPixelAt (0, 12), s.border);
    }

    // The caption is drawn in black over the fill.
    button.setCaption ("Reset");
    juce::Image image (juce::Image::ARGB, 60, 24, true);
    {
        juce::Graphics g (image);
        button.paintButton (g, false, false);
    }
    int dark = 0;
    for (int y = 4; y < 20; ++y)
        for (int x = 15; x < 45; ++x)
            dark += image.getPixelAt (x, y).getBrightness() < 0.25f ? 1 : 0;
    EXPECT_GT (dark, 20);
}

TEST (GlobalPanels, TheFlatButtonsAreReadOutByTheirCaptions)
{
    EditorHarness harness;
    auto& editor = harness.editor();

    // Accessibility clients read a button's title, and its button text only when it has none.
    const std::pair<CustomResetButton*, const char*> buttons[] = { { &editor.globalSynthPanel.resetButton, "Reset" },
                                                                   { &editor.presetsBar.saveButton, "Save" },
                                                                   { &editor.presetsBar.deleteButton, "Del" } };
    for (const auto& [button, caption] : buttons)
    {
        SCOPED_TRACE (caption);
        EXPECT_EQ (button->getButtonText(), "ResetButton");
        EXPECT_EQ (button->getCaption(), caption);
        EXPECT_EQ (button->getTitle(), caption);
    }
}
