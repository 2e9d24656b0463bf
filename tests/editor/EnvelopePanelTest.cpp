// The drawn envelope: its points for knob settings at the panel's sizes, the same whoever moves the knob, and its
// grid.
#include "EditorFixture.h"

#include <thread>

using namespace editor_testing;

namespace
{
using P = juce::Point<float>;

std::vector<P> pointsOf (const juce::Path& path)
{
    std::vector<P> points;
    for (juce::Path::Iterator i (path); i.next();)
        if (i.elementType == juce::Path::Iterator::startNewSubPath || i.elementType == juce::Path::Iterator::lineTo)
            points.push_back ({ i.x1, i.y1 });
    return points;
}

void setEnvelope (block_testing::ProcessorHarness& host, const juce::String& suffix, const float (&adsr)[4])
{
    host.set ("Attack" + suffix, adsr[0]);
    host.set ("Decay" + suffix, adsr[1]);
    host.set ("Sustain" + suffix, adsr[2]);
    host.set ("Release" + suffix, adsr[3]);
}
} // namespace

TEST (EnvelopePanel, ThePathRunsThroughTheEnvelopesPointsAtThePanelsSize)
{
    EditorHarness harness;
    auto& panel = harness.editor().adsrVoicePanel;
    ASSERT_EQ (panel.drawingArea.getBounds(), juce::Rectangle<int> (20, 79, 201, 79));

    // The 201 x 79 area: usable width 181 and height 59; attack, decay and release take up to 181 / 3 each, the
    // plateau ends at 150.
    struct Case
    {
        float adsr[4];
        P points[5];
    };
    const Case cases[] = {
        { { 0.1f, 20.0f, 0.7f, 20.0f },
          { { 10, 69 }, { 10.0603f, 10 }, { 22.127f, 27.7f }, { 150, 27.7f }, { 162.0667f, 69 } } },
        { { 0.0f, 0.0f, 1.0f, 0.0f }, { { 10, 69 }, { 10, 10 }, { 10, 10 }, { 150, 10 }, { 150, 69 } } },
        { { 100.0f, 100.0f, 0.01f, 100.0f },
          { { 10, 69 }, { 70.3333f, 10 }, { 130.6667f, 68.41f }, { 150, 68.41f }, { 210.3333f, 69 } } },
        { { 50.0f, 25.0f, 0.5f, 75.0f },
          { { 10, 69 }, { 40.1667f, 10 }, { 55.25f, 39.5f }, { 150, 39.5f }, { 195.25f, 69 } } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.adsr[0]) + " " + juce::String (c.adsr[1]) + " " + juce::String (c.adsr[2]) + " "
                      + juce::String (c.adsr[3]));
        setEnvelope (harness.host, {}, c.adsr);
        const auto points = pointsOf (panel.drawingArea.envelopePath);
        ASSERT_EQ (points.size(), 5u);
        for (size_t i = 0; i < 5; ++i)
        {
            EXPECT_NEAR (points[i].x, c.points[i].x, 1e-3) << "P" << i;
            EXPECT_NEAR (points[i].y, c.points[i].y, 1e-3) << "P" << i;
        }
        EXPECT_FALSE (panel.drawingArea.envelopePath.isEmpty());
    }

    // An area 20 pixels wide or narrower and 20 high or lower has no usable size: everything starts at 10, and only
    // the plateau's end moves with the width (3 x 10 / 4 = 7).
    ADSRSComponent narrow (harness.processor(), harness.processor().adsrVoiceConfigs, "narrow");
    narrow.setSize (50, 40);
    ASSERT_EQ (narrow.drawingArea.getBounds(), juce::Rectangle<int> (20, 20, 10, 20));
    const auto points = pointsOf (narrow.drawingArea.envelopePath);
    const P expected[] = { { 10, 10 }, { 10, 10 }, { 10, 10 }, { 7, 10 }, { 7, 10 } };
    ASSERT_EQ (points.size(), 5u);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ (points[i], expected[i]) << "P" << i;
}

TEST (EnvelopePanel, AutomationDrawsTheSamePathAsMovingTheKnob)
{
    EditorHarness harness;
    auto& editor = harness.editor();
    auto& panel = dynamic_cast<ADSRSComponent&> (*editor.sourceTabs->getTabContentComponent (5)); // "Env2"
    auto& decay = *panel.sliders[1];

    const auto before = panel.drawingArea.envelopePath;
    drag (decay, { 33, 40 }, { 33, 10 });
    const auto moved = decay.getValue();
    ASSERT_NE (moved, 20.0) << "the drag moved the knob";
    ASSERT_FLOAT_EQ (harness.host.raw ("Decay2"), (float) moved);
    const auto byMouse = panel.drawingArea.envelopePath;
    EXPECT_NE (byMouse, before);

    harness.host.set ("Decay2", 20.0f);
    EXPECT_EQ (panel.drawingArea.envelopePath, before);

    // The host automates from its own thread; the panel follows on the message thread.
    std::thread host ([&] { harness.host.set ("Decay2", (float) moved); });
    host.join();
    ASSERT_TRUE (runUntil ([&] { return decay.getValue() == moved; }));
    EXPECT_EQ (panel.drawingArea.envelopePath, byMouse);
}

TEST (EnvelopePanel, TheGridLeavesTheBottomTenRowsFree)
{
    EditorHarness harness;
    auto& area = harness.editor().adsrVoicePanel.drawingArea;
    area.envelopePath.clear(); // the grid alone
    const auto image = snapshot (area);

    constexpr juce::uint32 grid = 0xff333333, black = 0xff000000;
    // Rows at 0, 17, 34, 52, 69 and columns at 0, 25, 50, 75, 100, 126, 151, 176 (and 201, outside).
    for (const auto y : { 0, 17, 34, 52, 69 })
        EXPECT_EQ (pixel (image, 12, y), grid) << "row " << y;
    for (const auto x : { 0, 25, 50, 75, 100, 126, 151, 176 })
        EXPECT_EQ (pixel (image, x, 8), grid) << "column " << x;
    for (const auto& [x, y] : { std::pair{ 12, 16 }, { 12, 53 }, { 101, 8 }, { 125, 8 }, { 25, 74 }, { 100, 78 } })
        EXPECT_EQ (pixel (image, x, y), black) << x << ", " << y;
}
