// The filter panel's response curve against the four-pole response with feedback, worked out here on its own.
#include "EditorFixture.h"

#include <complex>

using namespace editor_testing;

namespace
{
/** |1 / ((1 + jx)^4 + k)| in dB. */
double responseDecibels (double x, double k)
{
    const auto h = 1.0 / (std::pow (std::complex<double> (1.0, x), 4) + k);
    return 20.0 * std::log10 (std::abs (h));
}

/** Where column i of a w x h view draws the response of the filter at cutoff Hz with resonance q. */
double expectedY (int i, int w, int h, double cutoff, double q, int type)
{
    const auto f = 20.0 * std::pow (10.0, 3.0 * i / w) / 22000.0; // 20 Hz over three decades
    const auto c = cutoff / 22000.0;
    const auto lowPass = responseDecibels (f / c, 4.0 * q);
    const auto highPass = responseDecibels (c / f, 4.0 * q);
    const auto dB = type == 0 ? lowPass : type == 1 ? highPass : 0.5 * (lowPass + highPass);

    // -60 dB 30 pixels below the bottom edge, 0 dB (the most shown) 30 pixels below the top.
    const auto shown = dB < -60.0 ? -60.0 : std::min (dB, 0.0);
    return h + 30.0 - (shown + 60.0) * h / 60.0;
}

std::vector<juce::Point<float>> pointsOf (const juce::Path& path)
{
    std::vector<juce::Point<float>> points;
    for (juce::Path::Iterator i (path); i.next();)
        if (i.elementType == juce::Path::Iterator::startNewSubPath || i.elementType == juce::Path::Iterator::lineTo)
            points.push_back ({ i.x1, i.y1 });
    return points;
}
} // namespace

TEST (FilterPanel, TheResponseFollowsTheFourPoleFormulaForEachTypeAndResonance)
{
    EditorHarness harness;
    auto& view = harness.editor().filterPanel.responseView;
    ASSERT_EQ (view.getWidth(), 221);
    ASSERT_EQ (view.getHeight(), 77);

    const char* const typeNames[] = { "Low Pass", "High Pass", "Band Pass" };
    for (const auto cutoff : { 1000.0f, 150.0f })
        for (const auto q : { 0.0f, 0.99f })
            for (int type = 0; type < 3; ++type)
            {
                SCOPED_TRACE (juce::String (typeNames[type]) + " at " + juce::String (cutoff) + " Hz, Q "
                              + juce::String (q));
                harness.host.set ("Freq", cutoff);
                harness.host.set ("Q", q);
                harness.host.set ("Type", (float) type);

                const auto points = pointsOf (view.createResponsePath());
                ASSERT_EQ (points.size(), 221u + 2u) << "a point per column, then the two closing corners";
                for (const auto i : { 0, 40, 85, 110, 150, 200, 220 })
                {
                    EXPECT_EQ (points[(size_t) i].x, (float) i);
                    EXPECT_NEAR (points[(size_t) i].y, expectedY (i, 221, 77, cutoff, q, type), 0.01) << "column " << i;
                }
                EXPECT_EQ (points[221], juce::Point<float> (221, 107));
                EXPECT_EQ (points[222], juce::Point<float> (0, 107));
            }

    // A tall resonance is flattened at 0 dB, 30 pixels below the top; the feedback lowers the pass band.
    harness.host.set ("Freq", 1000.0f);
    harness.host.set ("Q", 0.99f);
    harness.host.set ("Type", 0.0f);
    const auto points = pointsOf (view.createResponsePath());
    const auto top = std::min_element (points.begin(), points.end(), [] (auto a, auto b) { return a.y < b.y; });
    EXPECT_FLOAT_EQ (top->y, 30.0f);
    EXPECT_NEAR (points[0].y, 30.0 + 13.93 * 77 / 60, 0.05) << "about -13.9 dB far below the cut-off";
}

TEST (FilterPanel, TheViewStartsFromTheParametersAndFollowsTheHost)
{
    EditorHarness harness;
    harness.closeEditor();
    harness.host.set ("Freq", 2200.0f);
    harness.host.set ("Q", 0.5f);
    harness.host.set ("Type", 2.0f);
    harness.openEditor();

    // Not the view's own starting values 0.99, 0.3 and 0.
    auto& view = harness.editor().filterPanel.responseView;
    EXPECT_NEAR (view.normalisedCutoff, 0.1, 1e-6);
    EXPECT_NEAR (view.feedback, 2.0, 1e-6);
    EXPECT_EQ (view.responseType, 2);

    harness.host.set ("Type", 1.0f);
    EXPECT_EQ (view.responseType, 1);
}

TEST (FilterPanel, TheGridLiesOnTheCurvesScale)
{
    EditorHarness harness;
    harness.host.set ("Freq", 50.0f); // the curve falls away at once, leaving the view black above it
    harness.host.set ("Q", 0.0f);
    const auto image = snapshot (harness.editor().filterPanel.responseView);

    constexpr juce::uint32 grid = 0xff4c4c4c;
    for (const auto y : { 68, 56, 43, 30, 17, 4 })
        EXPECT_EQ (pixel (image, 120, y), grid) << "row " << y;
    for (const auto x : { 22, 44, 67, 89, 111, 133, 155, 177, 200 })
        EXPECT_EQ (pixel (image, x, 2), grid) << "column " << x;
    EXPECT_EQ (pixel (image, 120, 3), 0xff000000);
}
