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

IntervalPanel::IntervalPanel (OstrelAudioProcessor& p, const ParameterGroup& group) : GlobalPanelClass (p, group)
{
    complete = hasControls (numSliders, 0, 1);
    jassert (complete);

    addTitle (titleLabel, "Intervals");

    for (auto* button : toggleButtons)
        button->addListener (this);

    // The attachment set "Circle" from the parameter before this panel listened.
    updateCentreKnobs();
}

IntervalPanel::~IntervalPanel()
{
    for (auto* button : toggleButtons)
        button->removeListener (this);
}

void IntervalPanel::paint (juce::Graphics& g) { GlobalPanelClass::paint (g); }

void IntervalPanel::resized()
{
    if (!complete)
        return;

    const auto w = getWidth();
    const auto h = getHeight();

    const auto t = juce::jmin (20, h);
    titleLabel.setBounds (0, 0, w, t);

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

void IntervalPanel::buttonClicked (juce::Button*) { resized(); }

void IntervalPanel::updateCentreKnobs()
{
    if (!complete)
        return;

    const auto on = toggleButtons[circle]->getToggleState();
    sliders[centreX]->setEnabled (on);
    sliders[centreY]->setEnabled (on);
}
