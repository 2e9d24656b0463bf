#include "ADSRComponent.h"

#include "editor/LayoutCells.h"

ADSRSComponent::ADSRSComponent (OstrelAudioProcessor& p, const ParameterGroup& group, juce::String title) :
    GlobalPanelClass (p, group, { 4, 0, 0 })
{
    addTitle (titleLabel, title);
    addAndMakeVisible (drawingArea);
}

void ADSRSComponent::layOut()
{
    const auto w = getWidth();
    const auto h = getHeight();

    const auto lower = juce::jmin (h, (int) (h * 0.5));
    const auto upper = h - lower;
    const auto t = placeTitle (titleLabel, 25, upper);

    // Four knobs side by side, each with a 5-pixel margin.
    const auto n = sliders.size();
    const auto rows = (n + 3) / 4;
    const auto rowH = (upper - t) / rows;
    const auto colW = w / 4;
    for (int i = 0; i < n; ++i)
        sliders[i]->setBounds (cell (colW * (i % 4) + 5, t + 5 + rowH * (i / 4), colW - 10, rowH - 10));

    drawingArea.setBounds (20, upper, w >= 41 ? w - 40 : 0, juce::jmax (lower, 0));

    updateADSRDrawingArea();
}

void ADSRSComponent::updateADSRDrawingArea()
{
    if (!isComplete())
        return;

    const auto a = (float) (sliders[0]->getValue() / 100.0);
    const auto d = (float) (sliders[1]->getValue() / 100.0);
    const auto s = (float) sliders[2]->getValue();
    const auto r = (float) (sliders[3]->getValue() / 100.0);

    const auto w = drawingArea.getWidth();
    const auto h = drawingArea.getHeight();
    const auto wu = (float) (w >= 21 ? w - 20 : 0);
    const auto hu = (float) (h >= 21 ? h - 20 : 0);

    // Attack, decay and release each take up to a third of the usable width; the plateau always ends at three
    // quarters of the whole width.
    const juce::Point<float> p0 (10.0f, hu + 10.0f);
    const juce::Point<float> p1 (a * wu / 3.0f + 10.0f, 10.0f);
    const juce::Point<float> p2 (p1.x + d * wu / 3.0f, (1.0f - s) * hu + 10.0f);
    const juce::Point<float> p3 ((float) (3 * w / 4), p2.y);
    const juce::Point<float> p4 (p3.x + r * wu / 3.0f, hu + 10.0f);

    auto& path = drawingArea.envelopePath;
    path.clear();
    path.startNewSubPath (p0);
    path.lineTo (p1);
    path.lineTo (p2);
    path.lineTo (p3);
    path.lineTo (p4);

    drawingArea.repaint();
}
