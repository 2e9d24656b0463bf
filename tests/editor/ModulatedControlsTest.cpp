// The knobs and bars of the panels: their value mapping and mouse handling, picking a modulation target, and the
// modulated value that the audio thread hands them, drawn on the message thread.
#include "EditorFixture.h"
#include "editor/controls/CustomOrientedSlider.h"
#include "editor/controls/CustomRoratySlider.h"
#include "editor/controls/ModulationRepaintTicker.h"
#include "editor/panels/GlobalPanelClass.h"

#include <thread>

using namespace editor_testing;

namespace
{
/** The processor's record of paramID, so that the control is made and bound as a panel does it. */
ParameterGroup groupOf (OstrelAudioProcessor& processor, const juce::String& paramID)
{
    for (auto* group : processor.allConfigs)
        for (const auto& config : *group)
            if (config.paramID == paramID)
                return { config };

    ADD_FAILURE() << "no record " << paramID;
    return {};
}

/** A panel holding the one control of paramID, of width w and height h. */
struct OneControl
{
    OneControl (OstrelAudioProcessor& processor, const juce::String& paramID, int w, int h) :
        panel (processor, groupOf (processor, paramID)), control (*panel.sliders.getFirst())
    {
        panel.setSize (w, h);
        control.setBounds (0, 0, w, h);
    }

    GlobalPanelClass panel;
    CustomSliderBase& control;
};

struct PickedTargets : public MySliderChangeListener
{
    void sliderIndexChanged (int row) override { rows.push_back (row); }
    std::vector<int> rows;
};

bool isYellow (juce::Colour c)
{
    return c.getAlpha() >= 0xc0 && c.getRed() >= 0xc0 && c.getGreen() >= 0xc0 && c.getBlue() <= 0x40;
}

/** The pixel under the knob's modulation arc (radius 30 about the centre of a 60 x 80 knob) at proportion p. */
juce::Point<int> arcPixel (double p)
{
    const auto angle = p * 4.712389 + 3.926991;
    return { (int) std::floor (30.0 + 30.0 * std::sin (angle)), (int) std::floor (40.0 - 30.0 * std::cos (angle)) };
}

/** Counts the repaints a component asks for while it is not on screen. */
struct RepaintCounter : public juce::CachedComponentImage
{
    void paint (juce::Graphics&) override {}
    bool invalidateAll() override { return ++*count, true; }
    bool invalidate (const juce::Rectangle<int>&) override { return ++*count, true; }
    void releaseResources() override {}
    std::shared_ptr<int> count = std::make_shared<int> (0);
};
} // namespace

TEST (ModulatedControls, FreqKnobMapsLogarithmically)
{
    block_testing::ProcessorHarness host;
    OneControl freq (*host.processor, "Freq", 60, 80);
    auto& knob = freq.control;

    // 1000 / 50 = 20 and 20000 / 50 = 400 = 20 squared: 1000 Hz sits half way.
    const std::pair<double, double> values[] = { { 50.0, 0.0 },      { 1000.0, 0.5 }, { 20000.0, 1.0 },
                                                 { 223.6068, 0.25 }, { 10.0, 0.0 },   { 90000.0, 1.0 } };
    for (const auto& [hz, p] : values)
        EXPECT_NEAR (knob.valueToProportionOfLength (hz), p, 1e-6) << hz;

    for (const auto& [p, hz] :
         { std::pair{ 0.5, 1000.0 }, { 0.25, 223.6068 }, { 0.0, 50.0 }, { -1.0, 50.0 }, { 2.0, 20000.0 } })
        EXPECT_NEAR (knob.proportionOfLengthToValue (p), hz, 1e-3) << p;
}

TEST (ModulatedControls, DraggingAKnobSetsTheRawParameterValue)
{
    block_testing::ProcessorHarness host;

    // 250 pixels up (or right) run the whole sweep; 50 pixels are a fifth of it.
    struct Case
    {
        const char* paramID;
        float start, expected;
    };
    for (const auto& c : { Case{ "Freq", 1000.0f, 3314.45f }, Case{ "Attack", 0.1f, 20.1f } })
    {
        SCOPED_TRACE (c.paramID);
        OneControl one (*host.processor, c.paramID, 60, 80);
        host.set (c.paramID, c.start);

        drag (one.control, { 30, 60 }, { 30, 10 });
        EXPECT_NEAR (host.raw (c.paramID), c.expected, 0.011);
    }
}

TEST (ModulatedControls, APickingClickPicksTheTargetAndLeavesTheValue)
{
    block_testing::ProcessorHarness host;
    auto& processor = *host.processor;
    PickedTargets picked;
    processor.addSliderChangeListener (&picked);

    // A knob hands the press on to the framework's dragging; a bar's picking press does not move it, nor does the
    // drag that follows that press.
    struct Case
    {
        const char* paramID;
        float value;
        bool isBar;
    };
    for (const auto& c : { Case{ "Attack", 30.0f, false }, Case{ "fineTuneImg", 4.0f, true } })
    {
        SCOPED_TRACE (c.paramID);
        OneControl one (processor, c.paramID, 200, 60);
        host.set (c.paramID, c.value);
        const auto row = processor.parameterIndex.at (c.paramID);

        picked.rows.clear();
        rightClick (one.control, { 20, 30 });
        click (one.control,
               { 180, 30 },
               juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier | juce::ModifierKeys::ctrlModifier));
        if (c.isBar)
            drag (one.control, { 20, 30 }, { 190, 5 }, juce::ModifierKeys::rightButtonModifier);

        EXPECT_EQ (picked.rows, std::vector<int> (c.isBar ? 3 : 2, row));
        EXPECT_FLOAT_EQ (host.raw (c.paramID), c.value);

        // A plain click picks nothing.
        const auto before = picked.rows.size();
        click (one.control, { 100, 30 });
        EXPECT_EQ (picked.rows.size(), before);
    }

    processor.removeSliderChangeListener (&picked);
}

TEST (ModulatedControls, ABarTakesTheValueUnderTheMouse)
{
    block_testing::ProcessorHarness host;
    OneControl bar (*host.processor, "fineTuneImg", 200, 20); // -12 .. 12

    const auto shift = juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier | juce::ModifierKeys::shiftModifier);
    click (bar.control, { 150, 10 });
    EXPECT_FLOAT_EQ (host.raw ("fineTuneImg"), 6.0f);
    click (bar.control, { 130, 10 }, shift); // 3.6, rounded
    EXPECT_FLOAT_EQ (host.raw ("fineTuneImg"), 4.0f);
    drag (bar.control, { 100, 10 }, { 50, 10 });
    EXPECT_FLOAT_EQ (host.raw ("fineTuneImg"), -6.0f);
    drag (bar.control, { 100, 10 }, { 140, 10 }, shift); // 4.8, rounded
    EXPECT_FLOAT_EQ (host.raw ("fineTuneImg"), 5.0f);

    // A bar with no width tells no value: the click changes nothing.
    bar.control.setSize (0, 20);
    click (bar.control, { 0, 10 });
    EXPECT_FLOAT_EQ (host.raw ("fineTuneImg"), 5.0f);
}

TEST (ModulatedControls, AKnobDrawsItsModulationAsAnArcFromItsValue)
{
    block_testing::ProcessorHarness host;
    OneControl attack (*host.processor, "Attack", 60, 80); // 0 .. 100
    host.set ("Attack", 30.0f);

    constexpr auto inf = std::numeric_limits<float>::infinity();
    struct Case
    {
        float modulation;
        bool at10, at50, at90; // arc under proportion 0.1, 0.5, 0.9 of the sweep
    };
    const Case cases[] = {
        { 80.0f, false, true, false }, { std::numeric_limits<float>::quiet_NaN(), false, false, false },
        { inf, false, true, true },                                  // held at the end of the range
        { 150.0f, false, true, true }, { -inf, true, false, false }, // held at its start
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.modulation);
        attack.control.setModulationValue (c.modulation);
        const auto image = snapshot (attack.control);

        const std::pair<double, bool> points[] = { { 0.1, c.at10 }, { 0.5, c.at50 }, { 0.9, c.at90 } };
        for (const auto& [p, drawn] : points)
        {
            const auto at = arcPixel (p);
            EXPECT_EQ (isYellow (image.getPixelAt (at.x, at.y)), drawn) << "at " << p;
        }
    }
}

TEST (ModulatedControls, ABarDrawsItsValueAndModulationAsBars)
{
    block_testing::ProcessorHarness host;
    OneControl bar (*host.processor, "fineTuneImg", 200, 20); // line on y = 14

    const auto nan = std::numeric_limits<float>::quiet_NaN();
    host.set ("fineTuneImg", 6.0f);
    bar.control.setModulationValue (nan);
    auto image = snapshot (bar.control);

    // The green bar runs from zero (x = 100) to the value (x = 150, under the thumb), around the grey line.
    for (const auto x : { 101, 125, 145 })
        EXPECT_GT (image.getPixelAt (x, 11).getGreen(), 0xc0) << x;
    for (const auto x : { 95, 156 })
        EXPECT_EQ (image.getPixelAt (x, 11).getAlpha(), 0) << x;
    EXPECT_FALSE (isYellow (image.getPixelAt (125, 14)));

    host.set ("fineTuneImg", 0.0f);
    bar.control.setModulationValue (6.0f);
    image = snapshot (bar.control);
    EXPECT_TRUE (isYellow (image.getPixelAt (125, 14)));
    EXPECT_FALSE (isYellow (image.getPixelAt (160, 14)));
    EXPECT_EQ (image.getPixelAt (100, 14).getARGB(), 0xffffa500u) << "the thumb";

    for (const auto v : { nan, std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity() })
    {
        bar.control.setModulationValue (v);
        image = snapshot (bar.control);
        EXPECT_EQ (isYellow (image.getPixelAt (125, 14)), std::isinf (v) && v > 0) << v;
    }
}

TEST (ModulatedControls, AValueFromAnotherThreadIsRepaintedOnTheMessageThreadOnlyWhenItChanges)
{
    block_testing::ProcessorHarness host;
    OneControl attack (*host.processor, "Attack", 60, 80);
    auto* counter = new RepaintCounter();
    const auto repaints = counter->count;
    attack.control.setCachedComponentImage (counter);
    attack.control.setVisible (true);
    *repaints = 0;

    std::thread audio ([&] { attack.control.setModulationValue (40.0f); });
    audio.join();
    EXPECT_EQ (*repaints, 0) << "nothing is painted off the message thread";
    EXPECT_TRUE (runUntil ([&] { return *repaints > 0; }));

    // The audio thread sends every block; the same value again asks for nothing more.
    const auto afterFirst = *repaints;
    for (int block = 0; block < 10; ++block)
    {
        std::thread again ([&] { attack.control.setModulationValue (40.0f); });
        again.join();
        runFor (5);
    }
    runFor (3 * ModulationRepaintTicker::intervalMs);
    EXPECT_EQ (*repaints, afterFirst);

    attack.control.setModulationValue (std::numeric_limits<float>::quiet_NaN());
    EXPECT_TRUE (runUntil ([&] { return *repaints > afterFirst; }));
}
