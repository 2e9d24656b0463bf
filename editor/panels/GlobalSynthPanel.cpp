#include "GlobalSynthPanel.h"

#include "editor/LayoutCells.h"

namespace
{
// Controls by their index in the base's arrays.
enum Slider
{
    gain = 0,
    glide,
    octave,
    veloShift,
    subBass,
    subBassOc,
    tuneImage,
    tuneSecondOsc,
    numSliders
};
enum Toggle
{
    mono = 0,
    hiFidel,
    ignoreVelocity,
    numToggles
};
constexpr int oscType = 0;
} // namespace

GlobalSynthPanel::GlobalSynthPanel (OstrelAudioProcessor& p) :
    GlobalPanelClass (p, p.globalSynthConfigs, { numSliders, 1, numToggles })
{
    addTitle (titleLabel, "Synth");
    addAndMakeVisible (resetButton);
    resetButton.setCaption ("Reset");
    resetButton.onClick = [this] { resetAllParameters (processor); };
}

void GlobalSynthPanel::layOut()
{
    const auto w = getWidth();
    const auto h = getHeight();

    const auto t = placeTitle (titleLabel, 20, h);
    const auto rem = h - t;

    const auto c1 = juce::jmin (w / 3, w);
    const auto c2 = juce::jmin ((w - c1) / 2, w - c1);
    const auto c3 = w - c1 - c2;
    const int columnX[] = { 0, c1, c1 + c2 };
    const int columnW[] = { c1, c2, c3 };

    const auto place = [&] (juce::Component& c, int column, int y, int rowH, int dx, int dy)
    { c.setBounds (reducedCell (columnX[column], y, columnW[column], rowH, dx, dy)); };

    // Row 1 takes a quarter of the whole height.
    const auto r1 = juce::jmin (h / 4, rem);
    const auto y1 = t;
    place (*sliders[gain], 0, y1, r1, 7, 2);
    place (*sliders[octave], 1, y1, r1, 7, 2);
    place (*sliders[veloShift], 2, y1, r1, 7, 2);

    const auto rem2 = rem - r1;
    const auto r2 = juce::jmin (rem2 / 3, rem2);
    const auto y2 = y1 + r1;
    place (*comboBoxes[oscType], 0, y2, r2, 7, 15);
    place (*sliders[subBass], 1, y2, r2, 7, 2);
    place (*sliders[subBassOc], 2, y2, r2, 7, 2);

    const auto rem3 = rem2 - r2;
    const auto r3 = juce::jmin (rem3 / 2, rem3);
    const auto y3 = y2 + r2;
    const auto half = juce::jmin (w / 2, w);
    sliders[tuneImage]->setBounds (reducedCell (0, y3, half, r3, 7, 2));
    sliders[tuneSecondOsc]->setBounds (reducedCell (half, y3, w - half, r3, 7, 2));

    const auto y4 = y3 + r3;
    const auto r4 = rem3 - r3;
    place (*sliders[glide], 0, y4, r4, 7, 2);

    const auto hb = juce::jmax (r4 - 8, 0);
    const auto top = hb / 2;
    const auto toggleW = juce::jmax (c2 - 14, 0);
    toggleButtons[mono]->setBounds (c1 + 7, y4 + 4, toggleW, top);
    toggleButtons[ignoreVelocity]->setBounds (c1 + 7, y4 + top + 6, toggleW, hb - top < 5 ? 0 : hb - top - 4);

    place (resetButton, 2, y4, r4, 7, 15);

    // "HiFidel" changes the sound, so it gets a place too: the strip of the last row's third column above Reset,
    // which no other control uses.
    toggleButtons[hiFidel]->setBounds (c1 + c2 + 7, y4 + 2, juce::jmax (c3 - 14, 0), juce::jlimit (0, 13, r4 - 4));
}

void GlobalSynthPanel::resetAllParameters (juce::AudioProcessor& plugin)
{
    // Each change is a whole gesture of its own, so that hosts record it under touch and latch automation and
    // can undo it; a parameter already at its default is left out, so the host is not handed a thousand empty ones.
    for (auto* parameter : plugin.getParameters())
    {
        if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter))
        {
            const auto v = ranged->getDefaultValue();
            if (ranged->getValue() == v)
                continue;

            ranged->beginChangeGesture();
            ranged->setValueNotifyingHost (v);
            ranged->endChangeGesture();
        }
    }
}
