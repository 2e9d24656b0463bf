// The three modulation grids of the window: cells bound to the matrix parameters and booked, headers lit by the
// routes, the row of a picked target, and grids that follow the matrices whoever changes them and from whichever
// thread (automation inside the audio callback, a restore or a program change on a host thread, Reset).
#include "EditorFixture.h"
#include "RoutingStateFixtures.h"
#include "editor/panels/GlobalPanelClass.h"
#include "editor/panels/GlobalSynthPanel.h"

#include <atomic>
#include <thread>

using namespace editor_testing;

namespace
{
constexpr ModType allTypes[] = { ModType::LFO, ModType::Env, ModType::Midi };

GridContainerComponent& gridFor (OstrelAudioProcessorEditor& editor, ModType type)
{
    return type == ModType::LFO ? *editor.lfoGrid : type == ModType::Env ? *editor.envGrid : *editor.midiGrid;
}

const ParameterGroup& matrixOf (OstrelAudioProcessor& processor, ModType type)
{
    return type == ModType::LFO   ? processor.lfoMatrixConfigs
           : type == ModType::Env ? processor.envMatrixConfigs
                                  : processor.midiMatrixConfigs;
}

juce::Colour textColour (const juce::Label& label) { return label.findColour (juce::Label::textColourId); }

/** Whether the route of cell (row, column) is in the processor's tables, read as the grid reads them. */
bool isRouted (OstrelAudioProcessor& processor, ModType type, int row, int column)
{
    const juce::ScopedLock lock (processor.routingLock);

    if (type == ModType::Midi)
    {
        const auto& routes = processor.midiModulations[(size_t) row];
        return processor.midiSourcesInUse[(size_t) row][(size_t) column]
               && std::any_of (routes.begin(), routes.end(), [column] (auto& r) { return r.source == column; });
    }

    const auto& flags = type == ModType::LFO ? processor.lfoSourcesInUse : processor.envSourcesInUse;
    const auto& listed = processor.modulatedTargetIds;
    return flags[(size_t) row][(size_t) column]
           && std::find (listed.begin(), listed.end(), processor.modulationTargetIds[row]) != listed.end();
}

/** What is wrong with the grids' cells and headers, measured against the matrix parameters; empty when they
    show them. */
std::string gridsDifferFromMatrices (OstrelAudioProcessorEditor& editor, OstrelAudioProcessor& processor)
{
    std::string differences;

    for (const auto type : allTypes)
    {
        auto& container = gridFor (editor, type);
        const auto& matrix = matrixOf (processor, type);
        std::array<bool, numModulationSources> inUse{};

        for (int k = 0; k < numMatrixCells; ++k)
        {
            const auto raw = matrix[(size_t) k].raw();
            inUse[(size_t) (k % 4)] = inUse[(size_t) (k % 4)] || raw != 0.0f;

            const auto& label = *container.grid.valueLabels[k];
            if (label.getText() != juce::String (raw, 2)
                || textColour (label) != (raw != 0.0f ? juce::Colours::lightgreen : juce::Colours::grey))
                differences += (matrix[(size_t) k].paramID + " shows " + label.getText() + "; ").toStdString();
        }

        for (int k = 0; k < numModulationSources; ++k)
            if (textColour (*container.headers[k + 1])
                != (inUse[(size_t) k] ? juce::Colours::greenyellow : juce::Colours::lightgrey))
                differences += (container.headers[k + 1]->getText() + " header; ").toStdString();
    }

    return differences;
}

/** The message thread runs until the grids and the route tables show the matrices; what still differs then. */
std::string settle (EditorHarness& harness)
{
    auto& processor = harness.processor();
    const auto differences = [&]
    {
        return gridsDifferFromMatrices (harness.editor(), processor)
               + routing_fixtures::tablesDifferFromParameters (processor);
    };
    runUntil ([&] { return differences().empty(); }, 5000);
    return differences();
}

bool isTurquoise (juce::Colour c) { return c.getRed() < 0x70 && c.getGreen() > 0xb0 && c.getBlue() > 0xa0; }
} // namespace

TEST (ModulationGrid, ThreeGridsOfEveryTargetAndTheirGroupsSources)
{
    EditorHarness harness;
    auto& processor = harness.processor();
    auto& editor = harness.editor();

    const std::pair<ModType, juce::StringArray> groups[] = { { ModType::LFO, processor.lfoSourceNames },
                                                             { ModType::Env, processor.envSourceNames },
                                                             { ModType::Midi, processor.midiSourceNames } };
    for (int tab = 0; tab < 3; ++tab)
    {
        const auto& [type, sources] = groups[tab];
        auto& container = gridFor (editor, type);
        EXPECT_EQ (editor.matrixTabs->getTabContentComponent (tab), &container);
        EXPECT_EQ (container.getBounds().getWidth(), editor.matrixTabs->getWidth() - 2);

        juce::StringArray headers;
        for (auto* header : container.headers)
            headers.add (header->getText());
        auto expected = sources;
        expected.insert (0, "Name");
        EXPECT_EQ (headers, expected);

        auto& grid = container.grid;
        ASSERT_EQ (grid.sliders.size(), 79 * 4);
        EXPECT_EQ (grid.getHeight(), 79 * 30);
        EXPECT_EQ (grid.cells[5 * 7].text, processor.modulationTargetIds[7]);
        EXPECT_EQ (grid.cells[5 * 7 + 2].text, "");

        // Cell (row 7, column 2): its slider is bound to its parameter, 4 pixels inside its cell.
        const auto colW = grid.getWidth() / 5;
        auto& slider = *grid.sliders[7 * 4 + 2];
        EXPECT_EQ (slider.getBounds(), juce::Rectangle<int> (3 * colW + 4, 7 * 30 + 4, colW - 8, 22));
        EXPECT_EQ (grid.valueLabels[7 * 4 + 2]->getBounds(),
                   juce::Rectangle<int> (3 * colW + (colW - 50) / 2, 7 * 30 + 3, 50, 20));
        const auto id = createParamIDforMatrix (sources[2], processor.modulationTargetIds[7]);
        harness.host.set (id, -0.35f);
        EXPECT_NEAR (slider.getValue(), -0.35, 1e-6) << id;
        EXPECT_EQ (grid.valueLabels[7 * 4 + 2]->getText(), "-0.35");
    }
}

TEST (ModulationGrid, HeadersShareTheWidthAndDropTheRemainder)
{
    EditorHarness harness;
    auto& container = *harness.editor().lfoGrid;

    for (const auto& [width, first, others] : { std::tuple{ 290, 58, 58 }, { 293, 58, 58 }, { 299, 59, 60 } })
    {
        container.setSize (width, 160);
        EXPECT_EQ (container.headers[0]->getBounds(), juce::Rectangle<int> (0, 0, first, 30)) << width;
        for (int k = 1; k < 5; ++k)
            EXPECT_EQ (container.headers[k]->getBounds(),
                       juce::Rectangle<int> (first + (k - 1) * others, 0, others, 30))
                << width << " header " << k;
        EXPECT_EQ (container.viewport->getBounds(), juce::Rectangle<int> (0, 30, width, 130));
    }
}

TEST (ModulationGrid, ACellShowsItsValueAndBooksItsRoute)
{
    EditorHarness harness;
    auto& processor = harness.processor();

    struct Case
    {
        ModType type;
        const char* target;
        int column;
    };

    for (const auto& c :
         { Case{ ModType::LFO, "Q", 1 }, Case{ ModType::Env, "Rotate", 2 }, Case{ ModType::Midi, "Attack", 3 } })
    {
        SCOPED_TRACE (c.target);
        auto& grid = gridFor (harness.editor(), c.type).grid;
        const auto row = processor.parameterIndex.at (c.target);
        auto& slider = *grid.sliders[row * 4 + c.column];
        auto& label = *grid.valueLabels[row * 4 + c.column];
        const auto& cell = matrixOf (processor, c.type)[(size_t) (row * 4 + c.column)];

        slider.setValue (0.5, juce::sendNotificationSync); // as a drag ends there
        EXPECT_EQ (label.getText(), "0.50");
        EXPECT_EQ (textColour (label), juce::Colours::lightgreen);
        EXPECT_FLOAT_EQ (cell.raw(), 0.5f);
        EXPECT_TRUE (isRouted (processor, c.type, row, c.column));

        slider.mouseDoubleClick (
            mouseEventAt (slider, { 5, 5 }, juce::ModifierKeys::leftButtonModifier, { 5, 5 }, false));
        EXPECT_EQ (label.getText(), "0.00");
        EXPECT_EQ (textColour (label), juce::Colours::grey);
        EXPECT_EQ (cell.raw(), 0.0f);
        EXPECT_FALSE (isRouted (processor, c.type, row, c.column));
    }

    EXPECT_TRUE (routing_fixtures::noRouteLeft (processor));
}

TEST (ModulationGrid, ACellPaintsItsValueAsABarFromTheCentre)
{
    EditorHarness harness;
    auto& slider = *harness.editor().lfoGrid->grid.sliders[0];
    slider.setSize (50, 22); // body 46 x 18 from (2, 2); bar rows 17.4 .. 20; centre line at x = 23

    // x positions well inside the value bar, and well outside it (and off the thumb).
    struct Case
    {
        double value;
        std::vector<int> inside, outside;
        juce::uint32 thumb;
    };
    const Case cases[] = {
        { 0.0, {}, { 5, 15, 30, 40 }, 0xff808080 },
        { 0.5, { 25, 29 }, { 5, 15, 20, 40 }, 0xffffff00 },
        { -1.0, { 5, 15, 20 }, { 28, 40 }, 0xffffff00 },
    };

    const auto isOrange = [] (juce::Colour c)
    { return c.getRed() > 0xb0 && c.getGreen() > 0x80 && c.getGreen() < 0xc0 && c.getBlue() < 0x40; };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.value);
        slider.setValue (c.value, juce::sendNotificationSync);
        const auto image = snapshot (slider);

        for (const auto x : c.inside)
            EXPECT_TRUE (isOrange (image.getPixelAt (x, 19))) << x;
        for (const auto x : c.outside)
            EXPECT_FALSE (isOrange (image.getPixelAt (x, 19))) << x;

        // The thumb, 4 wide at (w - 8) * (v + 1) / 2, over the lower half of the slider.
        EXPECT_EQ (image.getPixelAt ((int) (42.0 * (c.value + 1.0) / 2.0) + 1, 18).getARGB(), c.thumb);
        EXPECT_EQ (image.getPixelAt ((int) (42.0 * (c.value + 1.0) / 2.0) + 1, 12).getARGB() == c.thumb, false);
    }
}

TEST (ModulationGrid, PickingAKnobScrollsEveryGridToItsRowAndMarksIt)
{
    EditorHarness harness;
    auto& processor = harness.processor();
    auto& editor = harness.editor();

    // Panels of knobs as the window will hold them: a right-click on a knob picks its parameter.
    GlobalPanelClass voice (processor, processor.adsrVoiceConfigs);
    GlobalPanelClass global (processor, processor.globalSynthConfigs);
    GlobalPanelClass env4 (processor, processor.envConfigs[3]);

    const auto viewHeight = editor.lfoGrid->viewport->getViewHeight();
    ASSERT_GT (viewHeight, 30);

    // Row r is scrolled to one row below the top, as far as the viewport lets it.
    struct Case
    {
        CustomSliderBase& knob;
        int expectedY;
    };
    const Case cases[] = {
        { *voice.sliders[0], 0 },                                               // "Attack", row 0
        { *global.sliders[0], processor.parameterIndex.at ("Gain") * 30 - 30 }, // "Gain"
        { *env4.sliders[3], 79 * 30 - viewHeight },                             // "Release4", the last row
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.knob.getParameterID());
        const auto row = processor.parameterIndex.at (c.knob.getParameterID());
        c.knob.setBounds (0, 0, 60, 80);
        rightClick (c.knob, { 30, 40 });

        for (const auto type : allTypes)
        {
            auto& container = gridFor (editor, type);
            EXPECT_EQ (container.viewport->getViewPositionY(), c.expectedY);
            EXPECT_EQ (container.grid.selectedRow, row);

            // The turquoise mark at the left of the row's first source cell, and not in the row beside it.
            const auto colW = container.grid.getWidth() / 5;
            const auto image = container.grid.createComponentSnapshot ({ 0, row * 30 - 60, colW * 2, 150 }, true, 1.0f);
            const auto rowTop = juce::jmin (60, row * 30);
            EXPECT_TRUE (isTurquoise (image.getPixelAt (colW + 2, rowTop + 15)));
            EXPECT_TRUE (isTurquoise (image.getPixelAt (colW + 3, rowTop + 15)));
            EXPECT_FALSE (isTurquoise (image.getPixelAt (colW + 2, rowTop + (row > 0 ? -15 : 45))));
        }
    }
}

TEST (ModulationGrid, AHeaderIsLitWhileItsSourceIsInUseAnywhereInTheGroup)
{
    EditorHarness harness;
    auto& editor = harness.editor();

    for (const auto& [type, column] : { std::pair{ ModType::LFO, 1 }, { ModType::Env, 3 }, { ModType::Midi, 0 } })
    {
        auto& grid = gridFor (editor, type).grid;
        const auto litHeaders = [&]
        {
            std::vector<juce::String> lit;
            for (const auto other : allTypes)
                for (auto* header : gridFor (editor, other).headers)
                    if (textColour (*header) == juce::Colours::greenyellow)
                        lit.push_back (header->getText());
            return lit;
        };
        const auto lit = std::vector<juce::String>{ gridFor (editor, type).headers[column + 1]->getText() };

        EXPECT_TRUE (litHeaders().empty());
        grid.sliders[3 * 4 + column]->setValue (0.2, juce::sendNotificationSync);
        EXPECT_EQ (litHeaders(), lit);
        grid.sliders[60 * 4 + column]->setValue (-0.9, juce::sendNotificationSync);
        grid.sliders[3 * 4 + column]->setValue (0.0, juce::sendNotificationSync);
        EXPECT_EQ (litHeaders(), lit) << "one target still routes it";
        grid.sliders[60 * 4 + column]->setValue (0.0, juce::sendNotificationSync);
        EXPECT_TRUE (litHeaders().empty());
    }
}

TEST (ModulationGrid, EveryLayoutOfTheMidiGridClearsTheKnobsModulation)
{
    EditorHarness harness;
    auto& processor = harness.processor();
    auto& editor = harness.editor();
    GlobalPanelClass panel (processor, processor.filterConfigs);
    auto& q = *panel.sliders[1];

    for (const auto& [container, clears] :
         { std::pair{ editor.lfoGrid.get(), false }, { editor.envGrid.get(), false }, { editor.midiGrid.get(), true } })
    {
        q.setModulationValue (0.5f);
        container->modulationIndexChanged (0);
        EXPECT_EQ (std::isnan (q.getModulationValue()), clears) << container->headers[1]->getText();
    }
}

TEST (ModulationGrid, AutomationInsideTheAudioCallbackReachesTheCellsTheHeadersAndTheSound)
{
    EditorHarness harness;
    auto& processor = harness.processor();
    block_testing::useSecondOscillatorOnly (harness.host);
    const auto rate = harness.host.sampleRate;
    const auto blocks = [&] (int n, std::vector<block_testing::Event> firstEvents = {})
    {
        std::vector<float> samples;
        testing_helpers::onOwnThread (
            [&]
            {
                for (int i = 0; i < n; ++i)
                {
                    const auto& block =
                        harness.process (512, i == 0 ? firstEvents : std::vector<block_testing::Event>{});
                    samples.insert (samples.end(), block.getReadPointer (0), block.getReadPointer (0) + 512);
                }
            });
        return samples;
    };

    const auto base =
        testing_helpers::zeroCrossingFrequency (blocks (16, { block_testing::noteOn (0, 81, 127) }), rate, 2048);
    ASSERT_GT (base, 150.0);

    for (const auto amount : { 0.5f, 0.0f })
    {
        SCOPED_TRACE (amount);
        testing_helpers::onOwnThread (
            [&]
            {
                harness.host.set ("Mod_Vel_fineTuneMain", amount);
                harness.process (512);
            });
        EXPECT_EQ (settle (harness), "");

        const auto row = processor.parameterIndex.at ("fineTuneMain");
        EXPECT_EQ (harness.editor().midiGrid->grid.valueLabels[row * 4]->getText(), juce::String (amount, 2));
        const auto semitones = 12.0 * std::log2 (testing_helpers::zeroCrossingFrequency (blocks (8), rate, 256) / base);
        EXPECT_NEAR (semitones, amount * 24.0 * 127.0 / 128.0, 0.05);
    }
}

TEST (ModulationGrid, ARestoreOrAProgramChangeOnAHostThreadReachesTheGrids)
{
    EditorHarness harness;
    auto& processor = harness.processor();

    // What the host brings: routes in every matrix, and none of those the window shows now.
    const std::pair<const char*, float> brought[] = {
        { "Mod_LFO3_Gain", 0.5f },    { "Mod_LFO3_Attack", 0.25f }, { "Mod_Env1_Q", -0.25f },
        { "Mod_Rand_Attack", 0.75f }, { "Mod_Vel_Freq", 0.1f },
    };
    const std::pair<const char*, float> shown[] = { { "Mod_LFO1_Zoom", 0.3f },
                                                    { "Mod_Press_Q", -0.6f },
                                                    { "Mod_Env4_Gain", 1.0f } };

    for (const auto& [id, value] : brought)
        harness.host.set (id, value);
    juce::MemoryBlock state;
    processor.getStateInformation (state);
    ASSERT_TRUE (processor.savePreset (processor.makeProgramFromCurrentSettings ("Grids")));
    int program = -1;
    for (int i = 0; i < processor.getNumPrograms(); ++i)
        if (processor.getProgramName (i) == "Grids")
            program = i;
    ASSERT_GT (program, 0);

    const std::pair<const char*, std::function<void()>> changes[] = {
        { "state restored", [&] { processor.setStateInformation (state.getData(), (int) state.getSize()); } },
        { "program changed", [&] { processor.setCurrentProgram (program); } },
    };

    for (const auto& [what, changeOnce] : changes)
    {
        SCOPED_TRACE (what);
        const auto& change = changeOnce; // a lambda may not capture a structured binding
        GlobalSynthPanel::resetAllParameters (processor);
        for (const auto& [id, value] : shown)
            harness.host.set (id, value);
        ASSERT_EQ (settle (harness), "");

        // The host plays on while its own thread brings the new matrices.
        std::atomic<bool> stop{ false };
        std::thread audio (
            [&]
            {
                while (!stop)
                    harness.process (256, { block_testing::controller (0, 1, 64) });
            });
        // The message thread goes on meanwhile: it books, lays out and paints while the host's thread routes.
        std::atomic<bool> changed{ false };
        std::thread host (
            [&]
            {
                change();
                changed = true;
            });
        runUntil ([&] { return changed.load(); }, 10000);
        host.join();
        runFor (20);
        stop = true;
        audio.join();

        EXPECT_EQ (settle (harness), "");
        for (const auto& [id, value] : brought)
            EXPECT_NEAR (routing_fixtures::rawValue (processor, id), value, 1e-6) << id;
    }
}

TEST (ModulationGrid, ResetLeavesNoRouteWithTheGridsOpenOrClosed)
{
    for (const auto open : { true, false })
    {
        SCOPED_TRACE (open ? "grids open" : "grids closed");
        EditorHarness harness;
        auto& processor = harness.processor();
        for (const auto* id : { "Mod_LFO2_Freq", "Mod_LFO4_Glide", "Mod_Env3_Glide", "Mod_Mod_Q", "Mod_Vel_Gain" })
            harness.host.set (id, -0.5f);
        ASSERT_EQ (settle (harness), "");

        if (open)
        {
            harness.editor().globalSynthPanel.resetButton.triggerClick();
        }
        else
        {
            harness.closeEditor();
            GlobalSynthPanel::resetAllParameters (processor); // what the window's Reset does
        }
        EXPECT_TRUE (runUntil ([&] { return routing_fixtures::noRouteLeft (processor); }, 5000));

        if (!open)
            harness.openEditor();
        EXPECT_EQ (settle (harness), "");
        EXPECT_TRUE (routing_fixtures::noRouteLeft (processor));
    }
}
