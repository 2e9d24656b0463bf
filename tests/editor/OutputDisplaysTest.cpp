// The oscilloscope and the spectrum as the output feeds them: the trace of a steady sine, its recovery from samples
// that are not finite, the spectrum's peak in the right place, and the hand-over of its blocks.
#include "EditorFixture.h"
#include "RepaintRecorder.h"

#include <cmath>

using namespace editor_testing;

namespace
{
constexpr int scopeSize = OstrelAudioProcessor::scopeSize;
constexpr float twoPi = 6.2831855f;

std::vector<float> sine (int length, float amplitude, float cyclesPerLength)
{
    std::vector<float> samples ((size_t) length);
    for (int i = 0; i < length; ++i)
        samples[(size_t) i] = amplitude * std::sin (twoPi * cyclesPerLength * (float) i / (float) length);
    return samples;
}

bool isDrawn (juce::Colour c) { return c.getRed() > 40 || c.getGreen() > 40 || c.getBlue() > 40; }

/** Whether the trace reaches the top and bottom rows and runs through every column. */
void expectTraceSpansTheView (const juce::Image& image)
{
    const auto w = image.getWidth(), h = image.getHeight();
    int columns = 0;
    bool top = false, bottom = false;

    for (int x = 0; x < w; ++x)
    {
        bool any = false;
        for (int y = 0; y < h; ++y)
        {
            if (!isDrawn (image.getPixelAt (x, y)))
                continue;
            any = true;
            top = top || y <= 1;
            bottom = bottom || y >= h - 2;
        }
        columns += any ? 1 : 0;
    }

    EXPECT_EQ (columns, w);
    EXPECT_TRUE (top);
    EXPECT_TRUE (bottom);
}

/** The scope's trace index that the spectrum shows bin b at: its frequency axis is skewed logarithmically, index i
    showing bin trunc (512 (1 - (1 - i / 256)^0.2)). */
int binShownAt (int i)
{
    return (int) ((1.0f - std::exp (std::log (1.0f - (float) i / 256.0f) * 0.2f)) * 1024.0f * 0.5f);
}

void handOver (OstrelAudioProcessor& processor, const std::vector<float>& block)
{
    std::copy (block.begin(), block.end(), processor.spectrumFftData);
    std::fill (processor.spectrumFftData + 1024, processor.spectrumFftData + 2048, 0.0f);
    processor.spectrumBlockReady.store (true, std::memory_order_release);
}

int loudestIndex (const SpectrumView& view)
{
    return (int) (std::max_element (std::begin (view.scopeData), std::end (view.scopeData))
                  - std::begin (view.scopeData));
}
} // namespace

TEST (Scope, ASteadySineSpansTheViewAndTheTraceRecoversFromSamplesThatAreNotFinite)
{
    EditorHarness harness;
    auto& scope = harness.editor().visualiserRect.visualiser;
    auto& feed = harness.processor().scopeBuffer;

    // Amplitude 0.25 with the gain of 4 and the centre weight of 1 touches both edges, from the first paint on.
    const auto steady = sine (scopeSize, 0.25f, 16.0f);
    feed.write (steady.data());
    expectTraceSpansTheView (snapshot (scope));

    struct Case
    {
        const char* name;
        float value;
    };
    for (const auto& c : { Case{ "NaN", std::nanf ("") },
                           Case{ "infinity", std::numeric_limits<float>::infinity() },
                           Case{ "largest float", std::numeric_limits<float>::max() } })
    {
        SCOPED_TRACE (c.name);
        std::vector<float> poisoned ((size_t) scopeSize, c.value);
        feed.write (poisoned.data());
        snapshot (scope);
        for (int i = 0; i < scopeSize; ++i)
            ASSERT_TRUE (std::isfinite (scope.smoothed[i])) << i;

        feed.write (steady.data());
        for (int paint = 0; paint < 40; ++paint)
            snapshot (scope);
        expectTraceSpansTheView (snapshot (scope));
        EXPECT_NEAR (*std::max_element (scope.smoothed.begin(), scope.smoothed.end()), 1.0f, 0.01f);
    }

    EXPECT_EQ (scope.history.size(), 5u);
}

TEST (Spectrum, ASineShowsInItsBinAndEachBlockIsTakenOnceAndGivenBack)
{
    EditorHarness harness;
    auto& processor = harness.processor();
    auto& view = harness.editor().spectrumPanel.spectrumView;
    auto& recorder = RepaintRecorder::install (view);

    // A full-scale sine at bin 100 (whole cycles, no leakage): -6 dB after the window and the scaling, at index 170.
    ASSERT_EQ (binShownAt (170), 100);
    handOver (processor, sine (1024, 1.0f, 100.0f));
    view.timerCallback();
    EXPECT_FALSE (processor.spectrumBlockReady.load());
    EXPECT_EQ (recorder.repaints, 1);
    EXPECT_EQ (loudestIndex (view), 170);
    EXPECT_NEAR (view.scopeData[170], (100.0f - 6.02f) / 100.0f, 0.005f);
    EXPECT_LT (view.scopeData[20], 0.2f);

    // No block, no work and no repaint.
    const std::vector<float> shown (std::begin (view.scopeData), std::end (view.scopeData));
    for (int tick = 0; tick < 5; ++tick)
        view.timerCallback();
    EXPECT_EQ (recorder.repaints, 1);
    EXPECT_EQ (std::vector<float> (std::begin (view.scopeData), std::end (view.scopeData)), shown);

    // Samples that are not finite count as silence: the hold falls by its step and stays finite.
    for (const auto value : { std::nanf (""), std::numeric_limits<float>::infinity() })
    {
        std::vector<float> poisoned (1024, 0.5f);
        poisoned[300] = value;
        poisoned[301] = -value;
        handOver (processor, poisoned);
        view.timerCallback();
        EXPECT_FALSE (processor.spectrumBlockReady.load());
        for (int i = 0; i < SpectrumView::scopeSize; ++i)
            ASSERT_TRUE (std::isfinite (view.peakLevels[i])) << i;
    }
    EXPECT_EQ (recorder.repaints, 3);
    EXPECT_NEAR (view.scopeData[170], shown[170] - 2 * 0.007f, 1.0e-5f);

    // And a later sine shows where it belongs.
    ASSERT_EQ (binShownAt (47), 20);
    handOver (processor, sine (1024, 1.0f, 20.0f));
    view.timerCallback();
    EXPECT_EQ (binShownAt (loudestIndex (view)), 20);

    RepaintRecorder::remove (view);
}

TEST (Spectrum, TheGridAndTheCurveAreWhereTheyBelong)
{
    EditorHarness harness;
    auto& view = harness.editor().spectrumPanel.spectrumView;
    ASSERT_EQ (view.getWidth(), 287);
    ASSERT_EQ (view.getHeight(), 127);

    const auto image = snapshot (view);
    const auto greyAt = [&] (int x, int y) { return (int) image.getPixelAt (x, y).getRed(); };

    // Faint white lines on black, away from the curve and the title.
    for (const int x : { 28, 57, 86, 114, 143, 172, 200, 229, 258 })
    {
        EXPECT_GT (greyAt (x, 60), 30) << x;
        EXPECT_LT (greyAt (x + 1, 60), 10) << x + 1;
    }
    for (const int y : { 25, 50, 76 })
    {
        EXPECT_GT (greyAt (210, y), 30) << y;
        EXPECT_LT (greyAt (210, y + 1), 10) << y + 1;
    }

    // Silence: the curve lies on its baseline, 20 pixels above the bottom.
    const auto baseline = image.getPixelAt (150, 127 - 20);
    EXPECT_GT ((int) baseline.getRed(), 150);
    EXPECT_GT ((int) baseline.getRed(), 2 * (int) baseline.getBlue()) << "orange";
    EXPECT_LT (greyAt (150, 127 - 23), 10);
}
