#include "FilterGUI.h"

#include "editor/LayoutCells.h"
#include "editor/PanelColours.h"

namespace
{
// Controls by their index in the base's arrays.
constexpr int freqKnob = 0, qKnob = 1, typeBox = 0;

/** Magnitude in dB of 1 / ((1 + jx)^4 + k). */
double fourPoleDecibels (float x, double k)
{
    const auto xx = (double) x * (double) x;
    const auto re = (1.0 - xx) * (1.0 - xx) + k - 4.0 * xx;
    const auto im = 4.0 * (double) x * (1.0 - xx);
    return 20.0 * std::log10 (std::sqrt (1.0 / (re * re + im * im)));
}
} // namespace

//==============================================================================
juce::Path FrequencyResponseView::createResponsePath() const
{
    const auto w = getWidth();
    const auto h = (float) getHeight();
    // 0 dB lies 30 pixels below the top edge, -60 dB 30 pixels below the bottom one.
    const auto bottom = h + 30.0f;

    juce::Path path;
    for (int i = 0; i < w; ++i)
    {
        // 20 Hz at column 0, a factor 1000 over the width, normalised like the cut-off.
        const auto f = (double) (std::pow (10.0f, 3.0f * (float) i / (float) w + 1.30103f) / 22000.0f);

        const auto lowPass = fourPoleDecibels ((float) (f / normalisedCutoff), feedback);
        const auto highPass = fourPoleDecibels ((float) (normalisedCutoff / f), feedback);
        const auto dB = responseType == 1 ? highPass : responseType == 2 ? (lowPass + highPass) * 0.5 : lowPass;

        const auto v = dB < -60.0 ? 0.0f : (float) juce::jmin (dB, 0.0) + 60.0f;
        const auto y = v * -h / 60.0f + bottom;

        if (i == 0)
            path.startNewSubPath (0.0f, y);
        else
            path.lineTo ((float) i, y);
    }

    path.lineTo ((float) w, bottom);
    path.lineTo (0.0f, bottom);
    path.closeSubPath();
    return path;
}

void FrequencyResponseView::paint (juce::Graphics& g)
{
    const auto w = getWidth();
    const auto h = getHeight();
    const auto bottom = (float) (h + 30);

    g.fillAll (juce::Colours::black);

    const auto path = createResponsePath();
    g.setGradientFill (curveFill ({ 0.0f, bottom }, { (float) w, bottom }));
    g.fillPath (path);
    g.setColour (juce::Colours::orange);
    g.strokePath (path, juce::PathStrokeType (2.0f));

    // The grid on the curve's own scale: every 10 dB from -60 to +20, and the columns of 20 x 2^n Hz.
    g.setColour (juce::Colours::white.withAlpha ((juce::uint8) 0x4c));
    if (w > 0)
        for (int v = 0; v <= 80; v += 10)
            g.drawHorizontalLine (juce::roundToInt ((float) v * (float) -h / 60.0f + bottom), 0.0f, (float) w);

    if (h + 30 > 0)
        for (const auto p : { 0.0f,
                              0.100343309f,
                              0.200686648f,
                              0.30102995f,
                              0.401373357f,
                              0.501716673f,
                              0.60205996f,
                              0.702403367f,
                              0.802746594f,
                              0.90309f })
            g.drawVerticalLine (juce::roundToInt ((float) w * p), 0.0f, bottom);
}

//==============================================================================
FilterGUI::FilterGUI (OstrelAudioProcessor& p, const ParameterGroup& group) : GlobalPanelClass (p, group, { 2, 1, 0 })
{
    addTitle (titleLabel, "Filter");
    addAndMakeVisible (responseView);
}

void FilterGUI::layOut()
{
    const auto w = getWidth();
    const auto h = getHeight();

    const auto lower = juce::jmin (h / 2, h);
    const auto upper = h - lower;
    const auto t = placeTitle (titleLabel, 25, upper);
    const auto rowH = upper - t;

    const auto c = w / 3;

    // The cut-off knob is drawn larger: its cell grows by 3 pixels on every side.
    const auto w0 = juce::jmin (c, w);
    sliders[freqKnob]->setBounds (cell (-3, t - 3, w0 + 6, rowH + 6));
    auto rw = w - w0;
    auto x = w0;

    const auto w1 = juce::jmin (c, rw);
    sliders[qKnob]->setBounds (reducedCell (x, t, w1, rowH, 5, 5));
    rw -= w1;
    x += w1;

    const auto cw = juce::jmin (c, rw);
    comboBoxes[typeBox]->setBounds (cell (x + 5, t + (rowH - 24) / 2, cw - 10, 24));

    responseView.setBounds (10, upper + 1, w >= 21 ? w - 20 : 0, lower >= 3 ? lower - 2 : 0);
}

void FilterGUI::updateResponseView()
{
    const auto cutoff = (float) sliders[freqKnob]->getValue();
    const auto k = (float) (sliders[qKnob]->getValue() * 4.0);

    responseView.responseType = comboBoxes[typeBox]->getSelectedId() - 1;

    // The cut-off's range keeps it well above this; a lower one would leave the curve where it was.
    if (const auto normalised = (double) (cutoff / 22000.0f); normalised > 0.001)
        responseView.normalisedCutoff = normalised;

    responseView.feedback = (double) k;
    responseView.repaint();
}
