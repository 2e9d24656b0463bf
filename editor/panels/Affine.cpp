#include "Affine.h"

#include "editor/LayoutCells.h"

AffinePanel::AffinePanel (OstrelAudioProcessor& p, const ParameterGroup& group) :
    GlobalPanelClass (p, group, { 6, 0, 0 })
{
    addTitle (titleLabel, "Affines");
}

void AffinePanel::layOut()
{
    const auto w = getWidth();
    const auto h = getHeight();
    const auto t = placeTitle (titleLabel, 25, h);

    // Equal heights with 10-pixel gaps, filling the space below the title.
    const auto n = sliders.size();
    const auto d = (h - 10 * n - t + 10) / n;
    for (int i = 0; i < n; ++i)
        sliders[i]->setBounds (cell (5, t + i * (d + 10), w - 10, d));
}
