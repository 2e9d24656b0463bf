#include "Affine.h"

#include "editor/LayoutCells.h"

AffinePanel::AffinePanel (OstrelAudioProcessor& p, const ParameterGroup& group) : GlobalPanelClass (p, group)
{
    complete = hasControls (6, 0, 0);
    jassert (complete);

    addTitle (titleLabel, "Affines");
}

void AffinePanel::paint (juce::Graphics& g) { GlobalPanelClass::paint (g); }

void AffinePanel::resized()
{
    if (!complete)
        return;

    const auto w = getWidth();
    const auto h = getHeight();

    const auto t = juce::jmin (25, h);
    titleLabel.setBounds (0, 0, w, t);

    // Equal heights with 10-pixel gaps, filling the space below the title.
    const auto n = sliders.size();
    const auto d = (h - 10 * n - t + 10) / n;
    for (int i = 0; i < n; ++i)
        sliders[i]->setBounds (cell (5, t + i * (d + 10), w - 10, d));
}
