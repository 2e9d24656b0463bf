#include "LFOPanels.h"

#include "editor/LayoutCells.h"

namespace
{
enum Slider
{
    rateKnob = 0,
    amountKnob,
    offsetKnob,
    noteRateKnob,
    numSliders
};
enum Toggle
{
    syncToggle = 0,
    retriggerToggle,
    numToggles
};
constexpr int lfoType = 0;
constexpr int randomId = 5;

const char* const waveNames[] = { "Sine", "Saw", "Square", "Triangle", "Random" };
} // namespace

//==============================================================================
void LFOView::generateNoiseBuffer()
{
    const auto w = juce::jmax (0, getWidth());
    rawNoise.resize (w);
    displayNoise.resize (w);

    // A new value every segW pixels; a width that is no multiple of numSteps gets shorter steps at the right.
    const auto segW = juce::jmax (1, w / numSteps);
    for (int i = 0; i < w; ++i)
        rawNoise.set (i, i % segW == 0 ? random.nextFloat() * 2.0f - 1.0f : rawNoise.getUnchecked (i - 1));

    rotateNoise();
}

void LFOView::rotateNoise()
{
    const auto w = rawNoise.size();
    displayNoise.resize (w);
    if (w == 0)
        return;

    // An eighth of the pixel shift the other shapes get; a negative offset turns the other way.
    const auto s = ((int) ((float) w * offset) % w) / 8;
    for (int i = 0; i < w; ++i)
        displayNoise.set (i, rawNoise.getUnchecked (((i + s) % w + w) % w));
}

juce::Path LFOView::createWavePath() const
{
    const auto w = getWidth();
    const auto h5 = (float) (getHeight() - 5);

    juce::Path path;
    for (int j = 0; j < w; ++j)
    {
        const auto p = (float) j / (float) w + offset;
        const auto phase = p - std::floor (p);

        float value = 0.0f;
        switch (waveType)
        {
            case 0:
                value = std::sin (phase * 6.2831855f);
                break;
            case 1:
                // One falling ramp per cycle, as the engine's saw.
                value = 1.0f - 2.0f * phase;
                break;
            case 2:
                value = phase < 0.5f ? 1.0f : -1.0f;
                break;
            case 3:
                value = 1.0f - 4.0f * std::abs (phase - 0.5f);
                break;
            case 4:
                value = displayNoise[j]; // 0 past the end, though the steps are made for this width
                break;
            default:
                break;
        }

        const auto y = (value * 0.8f * amount + 1.0f) * -h5 * 0.5f + h5;
        if (j == 0)
            path.startNewSubPath (0.0f, y);
        else
            path.lineTo ((float) j, y);
    }

    return path;
}

void LFOView::paint (juce::Graphics& g)
{
    const auto w = getWidth();
    const auto h = getHeight();
    const auto h5 = h - 5;

    g.fillAll (juce::Colours::black);

    g.setColour (juce::Colours::white.withAlpha ((juce::uint8) 0x33));
    if (h >= 5 && w > 0)
        for (int k = 0; k <= 4; ++k)
            g.drawHorizontalLine (juce::roundToInt ((float) (k * h5) / 4.0f), 0.0f, (float) w);

    if (h >= 6)
        for (int k = 0; k <= 8; ++k)
            g.drawVerticalLine (juce::roundToInt ((float) (k * w) / 8.0f), 0.0f, (float) h5);

    if (waveType == 4 && (noiseWidth != w || displayNoise.isEmpty()))
    {
        generateNoiseBuffer();
        noiseWidth = w;
    }

    g.setColour (juce::Colours::orange);
    g.strokePath (createWavePath(), juce::PathStrokeType (2.0f));

    if (juce::isPositiveAndBelow (waveType, (int) std::size (waveNames)))
    {
        g.setColour (juce::Colours::white);
        g.setFont (juce::Font (14.0f, juce::Font::bold));
        g.drawText (waveNames[waveType], 0, 0, w, juce::jmin (h, 20), juce::Justification::centred, false);
    }
}

//==============================================================================
LFOGUI::LFOGUI (OstrelAudioProcessor& p, const ParameterGroup& group) :
    GlobalPanelClass (p, group, { numSliders, 1, numToggles }), lfoView (std::make_unique<LFOView>())
{
    addTitle (titleLabel, "LFO");
    addAndMakeVisible (*lfoView);
}

void LFOGUI::layOut()
{
    const auto w = getWidth();
    const auto h = getHeight();

    const auto lower = juce::jmin (h, (int) (h * 2.5 / 5));
    const auto upper = h - lower;
    const auto t = placeTitle (titleLabel, 25, upper);
    const auto rowH = upper - t;

    // Knob cells from the left, each a share of what is left.
    auto x = 0;
    auto rw = w;
    for (const auto& [index, share] : { std::pair{ rateKnob, 5 }, { amountKnob, 4 }, { offsetKnob, 3 } })
    {
        const auto cw = juce::jmin (rw / share, rw);
        sliders[index]->setBounds (reducedCell (x, t, cw, rowH, 4, 4));
        x += cw;
        rw -= cw;
    }

    // The note-value "Rate" takes the free rate's place; "Sync" chooses which one shows.
    sliders[noteRateKnob]->setBounds (sliders[rateKnob]->getBounds());
    const auto synced = toggleButtons[syncToggle]->getToggleState();
    sliders[rateKnob]->setVisible (!synced);
    sliders[noteRateKnob]->setVisible (synced);

    const auto half = juce::jmin (rowH / 2, rowH);
    comboBoxes[lfoType]->setBounds (x + 10, t + 5, rw >= 21 ? rw - 20 : 0, half >= 11 ? half - 10 : 0);

    const auto bw = juce::jmin (rw / 2, rw);
    toggleButtons[syncToggle]->setBounds (reducedCell (x, t + half, bw, rowH - half, 4, 4));
    toggleButtons[retriggerToggle]->setBounds (reducedCell (x + bw, t + half, rw - bw, rowH - half, 4, 4));

    lfoView->setBounds (20, upper + 4, w >= 41 ? w - 40 : 0, lower >= 9 ? lower - 8 : 0);
}

void LFOGUI::controlChanged (juce::Component& control)
{
    updateView();

    if (dynamic_cast<juce::Button*> (&control) != nullptr)
        resized();
}

void LFOGUI::updateView()
{
    auto& view = *lfoView;
    const auto id = comboBoxes[lfoType]->getSelectedId();
    const auto width = view.getWidth();

    const auto changed = id - 1 != view.waveType || view.noiseWidth != width;
    const auto previousOffset = view.offset;

    view.amount = (float) sliders[amountKnob]->getValue();
    view.offset = (float) sliders[offsetKnob]->getValue();
    view.waveType = id - 1;

    if (changed && id == randomId)
    {
        view.generateNoiseBuffer();
        view.noiseWidth = width;
    }
    else if (id == randomId && width > 0 && (changed || view.offset != previousOffset))
    {
        view.rotateNoise();
    }

    view.repaint();
}
