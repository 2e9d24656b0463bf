// A panel built over a group it does not expect places, reads and draws none of its controls, instead of reading
// past the ones it has.
#include "EditorFixture.h"
#include "editor/panels/LFOPanels.h"

using namespace editor_testing;

TEST (PanelGuards, APanelOverAGroupOfTheWrongSizeLaysOutAndReadsNothing)
{
    block_testing::ProcessorHarness host;
    auto& processor = *host.processor;
    const ParameterGroup threeKnobs (processor.adsrVoiceConfigs.begin(), processor.adsrVoiceConfigs.begin() + 3);
    const ParameterGroup oneKnob{ processor.adsrVoiceConfigs[0] };
    const ParameterGroup none;

    struct Case
    {
        const char* what;
        std::function<std::unique_ptr<GlobalPanelClass>()> make;
    };
    const Case cases[] = {
        { "an envelope of three knobs",
          [&] { return std::make_unique<ADSRSComponent> (processor, threeKnobs, "Env"); } },
        { "a filter over an envelope",
          [&] { return std::make_unique<FilterGUI> (processor, processor.adsrVoiceConfigs); } },
        { "a filter of one knob", [&] { return std::make_unique<FilterGUI> (processor, oneKnob); } },
        { "an LFO over the filter", [&] { return std::make_unique<LFOGUI> (processor, processor.filterConfigs); } },
        { "an LFO over nothing", [&] { return std::make_unique<LFOGUI> (processor, none); } },
        { "intervals over nothing", [&] { return std::make_unique<IntervalPanel> (processor, none); } },
        { "intervals over an envelope",
          [&] { return std::make_unique<IntervalPanel> (processor, processor.adsrVoiceConfigs); } },
        { "affines over nothing", [&] { return std::make_unique<AffinePanel> (processor, none); } },
        { "affines of three knobs", [&] { return std::make_unique<AffinePanel> (processor, threeKnobs); } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        const auto panel = c.make();
        panel->setSize (300, 160);

        for (auto* child : panel->getChildren())
            EXPECT_TRUE (child->getBounds().isEmpty());

        // A control it has may still change; the panel then reads nothing either.
        for (auto* slider : panel->sliders)
            slider->setValue (slider->getMaximum(), juce::sendNotificationSync);
        for (auto* box : panel->comboBoxes)
            box->setSelectedItemIndex (1, juce::sendNotificationSync);
        if (auto* filter = dynamic_cast<FilterGUI*> (panel.get()))
            filter->comboBoxChanged (nullptr);
        if (auto* lfo = dynamic_cast<LFOGUI*> (panel.get()))
            lfo->comboBoxChanged (nullptr);

        if (auto* envelope = dynamic_cast<ADSRSComponent*> (panel.get()))
        {
            EXPECT_TRUE (envelope->drawingArea.envelopePath.isEmpty());
        }

        // It still draws its frame, and nothing else.
        const auto image = snapshot (*panel);
        EXPECT_EQ (pixel (image, 1, 80), 0xff3c3c3cu);
        EXPECT_EQ (image.getPixelAt (150, 80).getAlpha(), 0);
    }
}
