// The LFO panel: "Sync" swapping the rate knobs in place, the preview's shapes, and the noise preview's steps,
// rotation and generator.
#include "EditorFixture.h"
#include "editor/panels/LFOPanels.h"

#include <thread>

using namespace editor_testing;

namespace
{
std::vector<float> columnYs (const juce::Path& path)
{
    std::vector<float> ys;
    for (juce::Path::Iterator i (path); i.next();)
        if (i.elementType == juce::Path::Iterator::startNewSubPath || i.elementType == juce::Path::Iterator::lineTo)
            ys.push_back (i.y1);
    return ys;
}

LFOGUI& lfoPage (OstrelAudioProcessorEditor& editor, int index)
{
    return dynamic_cast<LFOGUI&> (*editor.sourceTabs->getTabContentComponent (index));
}
} // namespace

TEST (LfoPanel, SyncShowsTheNoteValueRateInPlaceOfTheFreeRate)
{
    EditorHarness harness;
    auto& panel = lfoPage (harness.editor(), 1); // "LFO2"
    auto& freeRate = *panel.sliders[0];
    auto& noteRate = *panel.sliders[3];
    auto& sync = *panel.toggleButtons[0];

    const auto shows = [&] (bool synced) { return freeRate.isVisible() == !synced && noteRate.isVisible() == synced; };

    ASSERT_TRUE (shows (false));
    EXPECT_EQ (noteRate.getBounds(), freeRate.getBounds());
    const auto place = freeRate.getBounds();

    // By a click, and by the host from its own thread.
    for (const auto on : { true, false })
    {
        sync.triggerClick();
        ASSERT_TRUE (runUntil ([&] { return shows (on); })) << (on ? "on" : "off");
        EXPECT_EQ (harness.host.raw ("LFOSync2"), on ? 1.0f : 0.0f);
        EXPECT_EQ (noteRate.getBounds(), place);
        EXPECT_EQ (freeRate.getBounds(), place);
    }
    for (const auto on : { true, false })
    {
        std::thread host ([&] { harness.host.set ("LFOSync2", on ? 1.0f : 0.0f); });
        host.join();
        EXPECT_TRUE (runUntil ([&] { return shows (on); })) << (on ? "on" : "off");
    }

    // The other LFOs are not affected.
    EXPECT_TRUE (lfoPage (harness.editor(), 0).sliders[0]->isVisible());
}

TEST (LfoPanel, ThePreviewDrawsOneCycleOfEachShape)
{
    block_testing::ProcessorHarness host;
    LFOGUI panel (*host.processor, host.processor->lfoConfigs[0]);
    panel.setSize (240, 163);
    auto& view = *panel.lfoView;
    ASSERT_EQ (view.getBounds(), juce::Rectangle<int> (20, 86, 200, 73));

    // 68 rows above the bottom band: value v at amount a lies at 34 - 27.2 a v. Columns 25, 75, 125 and 175 are
    // phases 1/8, 3/8, 5/8 and 7/8 of the cycle (less the offset).
    struct Case
    {
        const char* shape;
        int type;
        float amount, offset;
        float y[4];
    };
    const Case cases[] = {
        { "Sine", 0, 1.0f, 0.0f, { 14.767f, 14.767f, 53.233f, 53.233f } },
        { "Saw", 1, 1.0f, 0.0f, { 13.6f, 27.2f, 40.8f, 54.4f } }, // one falling ramp, as the engine's
        { "Square", 2, 1.0f, 0.0f, { 6.8f, 6.8f, 61.2f, 61.2f } },
        { "Triangle", 3, 1.0f, 0.0f, { 47.6f, 20.4f, 20.4f, 47.6f } },
        { "Saw, inverted, a quarter back", 1, -1.0f, -0.25f, { 13.6f, 54.4f, 40.8f, 27.2f } },
        { "Triangle at half amount", 3, 0.5f, 0.0f, { 40.8f, 27.2f, 27.2f, 40.8f } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.shape);
        host.set ("LFOType1", (float) c.type);
        host.set ("LFOAmount1", c.amount);
        host.set ("LFOOffset1", c.offset);
        ASSERT_EQ (view.waveType, c.type);

        const auto ys = columnYs (view.createWavePath());
        ASSERT_EQ (ys.size(), 200u);
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR (ys[(size_t) (25 + 50 * k)], c.y[k], 1e-3) << "column " << 25 + 50 * k;
    }
}

TEST (LfoPanel, ThePreviewStartsFromTheParameters)
{
    EditorHarness harness;
    harness.closeEditor();
    harness.host.set ("LFOType3", 4.0f);
    harness.host.set ("LFOAmount3", 0.5f);
    harness.openEditor();

    auto& view = *lfoPage (harness.editor(), 2).lfoView;
    EXPECT_EQ (view.waveType, 4);
    EXPECT_FLOAT_EQ (view.amount, 0.5f);

    snapshot (view);
    EXPECT_EQ (view.noiseWidth, 271) << "the noise is made for the width it is shown at";
    EXPECT_EQ (view.rawNoise.size(), 271);
}

TEST (LfoPanel, TheNoiseStepsRotateWithinTheirBuffersAtAnyWidthAndOffset)
{
    // The shift is an eighth of trunc (W x offset) mod W, the remainder taking the offset's sign.
    struct Case
    {
        int width;
        float offset;
        int shift;
        int steps;
    };
    const Case cases[] = {
        { 5, -0.7f, 0, 5 }, // narrower than 8: every column its own step
        { 1, -0.3f, 0, 1 }, // a single column
        { 3, -1.0f, 0, 3 },      { 7, 0.99f, 0, 7 }, { 100, -0.5f, -6, 9 }, // eight steps of 12 and a short one of 4
        { 200, -0.99f, -24, 8 }, { 64, 0.9f, 7, 8 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.width) + " wide, offset " + juce::String (c.offset));
        LFOView view;
        view.setSize (c.width, 30);
        view.waveType = 4;
        view.offset = c.offset;
        snapshot (view); // paints, and so makes the noise for this width

        ASSERT_EQ (view.noiseWidth, c.width);
        ASSERT_EQ (view.rawNoise.size(), c.width);
        ASSERT_EQ (view.displayNoise.size(), c.width);

        int steps = 1;
        for (int i = 1; i < c.width; ++i)
            steps += view.rawNoise[i] != view.rawNoise[i - 1] ? 1 : 0;
        EXPECT_EQ (steps, c.steps);

        for (int i = 0; i < c.width; ++i)
        {
            EXPECT_GE (view.rawNoise[i], -1.0f);
            EXPECT_LT (view.rawNoise[i], 1.0f);
            EXPECT_EQ (view.displayNoise[i], view.rawNoise[((i + c.shift) % c.width + c.width) % c.width]) << i;
        }

        // Drawn as they are held, at 0.8 of the half height round the middle (h5 = 25).
        const auto ys = columnYs (view.createWavePath());
        ASSERT_EQ ((int) ys.size(), c.width);
        for (int i = 0; i < c.width; ++i)
            EXPECT_NEAR (ys[(size_t) i], (view.displayNoise[i] * 0.8f + 1.0f) * -12.5f + 25.0f, 1e-4);
    }

    // The same through the panel: a preview 5 pixels wide, the offset negative.
    block_testing::ProcessorHarness host;
    LFOGUI panel (*host.processor, host.processor->lfoConfigs[3]);
    host.set ("LFOType4", 4.0f);
    host.set ("LFOOffset4", -0.7f);
    panel.setSize (45, 40);
    ASSERT_EQ (panel.lfoView->getWidth(), 5);
    snapshot (panel);
    EXPECT_EQ (panel.lfoView->displayNoise.size(), 5);
}

TEST (LfoPanel, TheNoiseStaysUntilRandomIsChosenAgainAndComesFromThePreviewsOwnGenerator)
{
    block_testing::ProcessorHarness host;
    LFOGUI panel (*host.processor, host.processor->lfoConfigs[0]);
    panel.setSize (240, 163);
    auto& view = *panel.lfoView;

    // Other threads draw from the shared generator; the preview must leave it alone.
    auto untouched = juce::Random::getSystemRandom(); // a copy: what the shared one would give next
    host.set ("LFOType1", 4.0f);
    const auto first = view.rawNoise;
    ASSERT_EQ (first.size(), 200);
    EXPECT_EQ (juce::Random::getSystemRandom().nextInt64(), untouched.nextInt64());

    // Moving the offset only turns the same steps.
    host.set ("LFOOffset1", 0.5f);
    EXPECT_EQ (view.rawNoise, first);
    EXPECT_EQ (view.displayNoise[0], first[(int) (200 * 0.5f) / 8]);

    // Away from Random and back: new steps.
    host.set ("LFOType1", 0.0f);
    host.set ("LFOType1", 4.0f);
    EXPECT_NE (view.rawNoise, first);
}
