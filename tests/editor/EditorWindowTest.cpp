// The window as it opens: its size and cells, what it paints itself, its two tab sets, the page switch that the
// processor's routing asks for (from any thread), and the bridge from the keyboard to the processor.
#include "EditorFixture.h"

#include <atomic>
#include <thread>

using namespace editor_testing;

namespace
{
constexpr juce::uint32 background = 0xff141414;
constexpr juce::uint32 separator = 0xff3c3c3c;
constexpr juce::uint32 yellow = 0xffffff00;

int currentSourcePage (OstrelAudioProcessorEditor& editor) { return editor.sourceTabs->getCurrentTabIndex(); }
} // namespace

TEST (EditorWindow, OpensAt900By700WithItsTabSetsInTheirCells)
{
    EditorHarness harness;
    auto& editor = harness.editor();

    EXPECT_EQ (editor.getWidth(), 900);
    EXPECT_EQ (editor.getHeight(), 700);
    EXPECT_FALSE (editor.isResizable());

    const auto layout = EditorLayout::forSize (900, 700);
    EXPECT_EQ (editor.sourceTabs->getBounds(), layout.sourceTabs);
    EXPECT_EQ (editor.matrixTabs->getBounds(), layout.matrixTabs);

    // The "filterType" toggles are bound but have no place.
    EXPECT_TRUE (editor.filterToggle1.getBounds().isEmpty());
    EXPECT_TRUE (editor.filterToggle2.getBounds().isEmpty());

    const juce::StringArray sourceNames{ "LFO1", "LFO2", "LFO3", "LFO4", "Env1", "Env2", "Env3", "Env4" };
    EXPECT_EQ (editor.sourceTabs->getTabbedButtonBar().getTabNames(), sourceNames);
    EXPECT_EQ (editor.matrixTabs->getTabbedButtonBar().getTabNames(), (juce::StringArray{ "LFOs", "ENVs", "Midi" }));
    EXPECT_EQ (editor.sourceTabs->getCurrentTabIndex(), 0);
    EXPECT_EQ (editor.matrixTabs->getCurrentTabIndex(), 0);
    EXPECT_EQ (editor.sourceTabs->getTabBarDepth(), 30);

    // Tabs are measured in an 8 px font, though drawn at 14 px, so that all eight fit side by side.
    for (auto* tabs : { editor.sourceTabs.get(), editor.matrixTabs.get() })
    {
        auto& bar = tabs->getTabbedButtonBar();
        for (int i = 0; i < bar.getNumTabs(); ++i)
        {
            auto* tab = bar.getTabButton (i);
            const auto expected = (int) std::ceil (juce::Font (8.0f).getStringWidthFloat (tab->getButtonText())) + 18;
            EXPECT_EQ (tab->getWidth(), expected) << tab->getButtonText();
            EXPECT_TRUE (tab->isVisible()) << tab->getButtonText();
        }
    }
}

TEST (EditorWindow, PaintsItsBackgroundAndTheTwoSeparatorLines)
{
    EditorHarness harness;
    auto& editor = harness.editor();
    const auto image = snapshot (editor);

    // Points in the gaps between the cells, which none of the window's parts covers.
    struct Point
    {
        int x, y;
        juce::uint32 colour;
    };
    const Point points[] = {
        { 0, 200, background }, { 899, 300, background }, { 0, 397, background },   { 0, 399, separator },
        { 0, 400, separator },  { 450, 399, separator },  { 898, 400, separator },  { 0, 402, background },
        { 0, 598, background }, { 0, 599, separator },    { 450, 600, separator },  { 898, 600, separator },
        { 0, 601, background }, { 3, 650, background },   { 896, 699, background },
    };

    for (const auto& p : points)
        EXPECT_EQ (pixel (image, p.x, p.y), p.colour) << p.x << ", " << p.y;

    // Each tab set frames itself and shows its front tab in yellow with an orange foot.
    for (auto* tabs : { editor.sourceTabs.get(), editor.matrixTabs.get() })
    {
        // The pages cover the frame's left line; its right one stays in view.
        const auto at = tabs->getPosition();
        EXPECT_EQ (pixel (image, at.x + tabs->getWidth() - 1, at.y + 100), separator);

        const auto front = tabs->getTabbedButtonBar().getTabButton (0)->getBounds() + at;
        const auto inside = front.reduced (2, 3);
        EXPECT_GT (countPixels (image, inside, yellow), inside.getWidth() * inside.getHeight() / 2);
        EXPECT_EQ (pixel (image, inside.getX() + 1, inside.getBottom() - 2), 0xffffa500u);

        const auto behind = tabs->getTabbedButtonBar().getTabButton (1)->getBounds() + at;
        EXPECT_EQ (countPixels (image, behind, yellow), 0);
    }
}

TEST (EditorWindow, RoutingASourceShowsItsPage)
{
    EditorHarness harness;
    auto& processor = harness.processor();
    auto& editor = harness.editor();
    const auto gainRow = processor.parameterIndex.at ("Gain");

    // Env2 is index 5; the MIDI sources (8..11) have no page, so then none is shown.
    struct Case
    {
        ModType type;
        int column, page;
    };
    for (const auto& c : { Case{ ModType::Env, 1, 5 },
                           Case{ ModType::LFO, 3, 3 },
                           Case{ ModType::Midi, 0, -1 },
                           Case{ ModType::Env, 3, 7 } })
    {
        processor.modulationMatrixRowCheckValues (c.type, gainRow, c.column, 0.5f);
        EXPECT_EQ (currentSourcePage (editor), c.page);
    }
}

TEST (EditorWindow, ASourceRoutedOnAHostThreadShowsItsPageOnTheMessageThreadWithoutWaitingForIt)
{
    EditorHarness harness;
    auto& editor = harness.editor();

    // The call returns while the message thread is busy (here: waiting for it), and the page only changes there.
    std::atomic<bool> returned{ false };
    std::thread host (
        [&]
        {
            editor.modulationIndexChanged (6);
            returned = true;
        });

    for (int waited = 0; !returned && waited < 5000; waited += 5)
        juce::Thread::sleep (5);

    const auto returnedWithoutTheMessageThread = returned.load();
    EXPECT_TRUE (returnedWithoutTheMessageThread);
    EXPECT_EQ (currentSourcePage (editor), 0);

    if (!returnedWithoutTheMessageThread)
        runUntil ([&] { return returned.load(); }); // so that the test can end
    host.join();

    EXPECT_TRUE (runUntil ([&] { return currentSourcePage (editor) == 6; }));

    // A state restored on a host thread routes its matrix there: the page follows once the message thread runs.
    juce::MemoryBlock state;
    {
        block_testing::ProcessorHarness other;
        other.set ("Mod_LFO3_Gain", 0.5f);
        other.processor->getStateInformation (state);
    }

    std::thread restore ([&] { harness.processor().setStateInformation (state.getData(), (int) state.getSize()); });
    restore.join();
    EXPECT_TRUE (runUntil ([&] { return currentSourcePage (editor) == 2; }));
}

TEST (EditorWindow, KeyboardNotesReachTheProcessorAtTheNextBlock)
{
    EditorHarness harness;
    auto& processor = harness.processor();

    harness.editor().sendKeyboardMessage (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 127));
    harness.editor().sendKeyboardMessage (juce::MidiMessage::noteOn (1, 64, (juce::uint8) 127));
    EXPECT_EQ (processor.heldNoteCount, 0);

    harness.process (256);
    EXPECT_EQ (processor.heldNoteCount, 2);
    EXPECT_TRUE (processor.keyboardMidiBuffer.isEmpty());

    harness.editor().sendKeyboardMessage (juce::MidiMessage::noteOff (1, 60));
    harness.process (256);
    EXPECT_EQ (processor.heldNoteCount, 1);
}

TEST (EditorWindow, ClosingLeavesNothingOfItInTheProcessor)
{
    EditorHarness harness;
    auto& processor = harness.processor();
    EXPECT_TRUE ((bool) processor.incomingMidiCallback);
    EXPECT_EQ (processor.modulationChangeListeners.size(), 4) << "the window and its three grids";
    EXPECT_EQ (processor.sliderChangeListeners.size(), 6) << "each grid and its cell area";

    harness.closeEditor();
    EXPECT_FALSE ((bool) processor.incomingMidiCallback);
    EXPECT_EQ (processor.modulationChangeListeners.size(), 0);
    EXPECT_EQ (processor.sliderChangeListeners.size(), 0);
    EXPECT_EQ (processor.getActiveEditor(), nullptr);

    // Blocks go on with host notes and no window.
    harness.process (256, { block_testing::noteOn (0, 60), block_testing::noteOff (100, 60) });
    harness.openEditor();
    EXPECT_TRUE ((bool) processor.incomingMidiCallback);
}
