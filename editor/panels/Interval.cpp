#include "Interval.h"

#include "editor/LayoutCells.h"

namespace
{
enum Slider
{
    centreX = 0,
    centreY,
    shift,
    smooth,
    numSliders
};
constexpr int circle = 0;
} // namespace

IntervalPanel::IntervalPanel (OstrelAudioProcessor& p, const ParameterGroup& group) :
    GlobalPanelClass (p, group, { numSliders, 0, 1 })
{
    addTitle (titleLabel, "Intervals");

    // The binding set "Circle" from the parameter while the panel was still being built.
    if (isComplete())
        updateCentreKnobs();
}

void IntervalPanel::layOut()
{
    const auto w = getWidth();
    const auto h = getHeight();
    const auto t = placeTitle (titleLabel, 20, h);

    const auto n = sliders.size() + comboBoxes.size() + toggleButtons.size();
    const auto e = (w - 5 * n - 5) / n;
    const auto ch = h - t - 10;

    auto x = 5;
    for (auto* slider : sliders)
    {
        slider->setBounds (cell (x, t, e, ch));
        x += e + 5;
    }
    for (auto* box : comboBoxes)
    {
        box->setBounds (cell (x, t + ch / 5, e, 3 * ch / 5));
        x += e + 5;
    }
    for (auto* button : toggleButtons)
    {
        button->setBounds (cell (x, t, e, ch));
        x += e + 5;
    }

    updateCentreKnobs();
}

void IntervalPanel::controlChanged (juce::Component& control)
{
    // The knobs' own moves change neither the layout nor what is enabled.
    if (&control == toggleButtons[circle])
        resized();
}

void IntervalPanel::updateCentreKnobs()
{
    const auto on = toggleButtons[circle]->getToggleState();
    sliders[centreX]->setEnabled (on);
    sliders[centreY]->setEnabled (on);
}
