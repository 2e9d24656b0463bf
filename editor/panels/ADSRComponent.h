#pragma once

#include "ADSRDrawingArea.h"
#include "GlobalPanelClass.h"

/** One envelope's attack, decay, sustain and release knobs under a title, with the envelope drawn below them.
    The drawing follows the knobs whoever moves them: mouse, host automation, programs, state. */
class ADSRSComponent : public GlobalPanelClass
{
public:
    /** Over an envelope group of exactly four records: attack, decay, sustain, release. */
    ADSRSComponent (OstrelAudioProcessor& processor, const ParameterGroup& group, juce::String title);
    ~ADSRSComponent() override = default;

    /** Rebuilds the drawn envelope from the knobs and repaints it; over any other group, nothing. [message thread] */
    void updateADSRDrawingArea();

    juce::Label titleLabel;
    ADSRDrawingArea drawingArea;

private:
    void layOut() override;
    void controlChanged (juce::Component&) override { updateADSRDrawingArea(); }

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ADSRSComponent)
};
