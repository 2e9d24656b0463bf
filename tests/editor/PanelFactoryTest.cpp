// A panel makes one control per record by the record's kind, binds it both ways, and enters its sliders in the
// processor's listener table for exactly their lifetime.
#include "EditorFixture.h"
#include "editor/controls/CustomOrientedSlider.h"
#include "editor/controls/CustomRoratySlider.h"
#include "editor/panels/GlobalPanelClass.h"

using namespace editor_testing;

namespace
{
/** The processor's own record of paramID, with its kind replaced. */
ParameterConfig recordOf (OstrelAudioProcessor& processor, const juce::String& paramID, int kind)
{
    for (auto* group : processor.allConfigs)
        for (const auto& config : *group)
            if (config.paramID == paramID)
            {
                auto copy = config;
                copy.type = kind;
                return copy;
            }

    ADD_FAILURE() << "no record " << paramID;
    return {};
}

bool isListenerFor (OstrelAudioProcessor& processor, const juce::String& paramID, const void* control)
{
    const auto entry = processor.modulationListeners.find (paramID);
    return entry != processor.modulationListeners.end() && (const void*) entry->second == control;
}
} // namespace

TEST (PanelFactory, MakesOneBoundControlPerRecordByKind)
{
    block_testing::ProcessorHarness host;
    auto& processor = *host.processor;

    const ParameterGroup group{
        recordOf (processor, "Attack", 0), recordOf (processor, "Freq", 1),   recordOf (processor, "Type", 2),
        recordOf (processor, "Mono", 3),   recordOf (processor, "Octave", 4), recordOf (processor, "fineTuneImg", 5),
        recordOf (processor, "Gain", 6),   recordOf (processor, "Glide", -1),
    };

    auto panel = std::make_unique<GlobalPanelClass> (processor, group);

    // Kinds 0, 1, 4 and 5 are sliders, in record order; 2 a combo box, 3 a toggle; 6 and -1 make nothing.
    ASSERT_EQ (panel->sliders.size(), 4);
    ASSERT_EQ (panel->comboBoxes.size(), 1);
    ASSERT_EQ (panel->toggleButtons.size(), 1);
    EXPECT_EQ (panel->sliderAttachments.size(), 4);
    EXPECT_EQ (panel->comboBoxAttachments.size(), 1);
    EXPECT_EQ (panel->buttonAttachments.size(), 1);

    struct Slider
    {
        const char* paramID;
        const char* caption;
        bool isKnob;
        double proportionOfDefault;
    };
    const Slider sliders[] = {
        { "Attack", "Attack", true, 0.001 }, // 0.1 of 0..100
        { "Freq", "Freq", true, 1.0 },       // 20000 of 50..20000, on a log scale
        { "Octave", "Octave", true, 0.5 },   // choice "0" of five
        { "fineTuneImg", "Tune Image", false, 0.5 },
    };

    for (int i = 0; i < 4; ++i)
    {
        auto* slider = panel->sliders[i];
        SCOPED_TRACE (sliders[i].paramID);
        EXPECT_EQ (slider->getParameterID(), sliders[i].paramID);
        EXPECT_EQ (dynamic_cast<CustomRoratySlider*> (slider) != nullptr, sliders[i].isKnob);
        EXPECT_EQ (dynamic_cast<CustomOrientedSlider*> (slider) != nullptr, !sliders[i].isKnob);
        EXPECT_TRUE (slider->getName().isEmpty()) << "the display name is a caption, not the component name";
        EXPECT_NEAR (slider->valueToProportionOfLength (slider->getValue()), sliders[i].proportionOfDefault, 1e-6);
        EXPECT_TRUE (isListenerFor (processor, sliders[i].paramID, static_cast<ModulationListener*> (slider)));
        EXPECT_TRUE (slider->isVisible());
    }
    EXPECT_EQ (dynamic_cast<CustomRoratySlider*> (panel->sliders[0])->getCaption(), "Attack");
    EXPECT_EQ (dynamic_cast<CustomOrientedSlider*> (panel->sliders[3])->getCaption(), "Tune Image");
    EXPECT_NEAR (panel->sliders[1]->valueToProportionOfLength (1000.0), 0.5, 1e-9) << "Freq maps logarithmically";

    auto& box = *panel->comboBoxes[0];
    EXPECT_EQ (box.getName(), "Type");
    EXPECT_EQ (box.getNumItems(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ (box.getItemId (i), i + 1);
    EXPECT_EQ (box.getItemText (1), "High Pass");

    auto& toggle = *panel->toggleButtons[0];
    EXPECT_EQ (toggle.getButtonText(), "Mono");

    // Host to control ...
    host.set ("Attack", 42.0f);
    host.set ("Type", 2.0f);
    host.set ("Mono", 1.0f);
    host.set ("fineTuneImg", -6.0f);
    EXPECT_DOUBLE_EQ (panel->sliders[0]->getValue(), 42.0);
    EXPECT_EQ (box.getSelectedId(), 3);
    EXPECT_TRUE (toggle.getToggleState());
    EXPECT_DOUBLE_EQ (panel->sliders[3]->getValue(), -6.0);

    // ... and control to host.
    panel->sliders[1]->setValue (1000.0, juce::sendNotificationSync);
    box.setSelectedId (2, juce::sendNotificationSync);
    toggle.setToggleState (false, juce::sendNotificationSync);
    panel->sliders[2]->setValue (4.0, juce::sendNotificationSync);
    EXPECT_FLOAT_EQ (host.raw ("Freq"), 1000.0f);
    EXPECT_FLOAT_EQ (host.raw ("Type"), 1.0f);
    EXPECT_FLOAT_EQ (host.raw ("Mono"), 0.0f);
    EXPECT_FLOAT_EQ (host.raw ("Octave"), 4.0f);

    panel.reset();
    for (const auto* id : { "Attack", "Freq", "Octave", "fineTuneImg" })
        EXPECT_EQ (processor.modulationListeners.count (id), 0u) << id;
}

TEST (PanelFactory, AnEmptyGroupMakesAFramedPanelWithNoControls)
{
    block_testing::ProcessorHarness host;
    GlobalPanelClass panel (*host.processor, {});
    panel.setSize (40, 30);

    EXPECT_EQ (panel.getNumChildComponents(), 0);
    const auto image = snapshot (panel);
    EXPECT_EQ (pixel (image, 1, 10), 0xff3c3c3cu);
    EXPECT_EQ (pixel (image, 20, 1), 0xff3c3c3cu);
    EXPECT_EQ (image.getPixelAt (20, 15).getAlpha(), 0) << "no background of its own";
}

TEST (PanelFactory, AControlRemovesOnlyItsOwnListenerEntry)
{
    block_testing::ProcessorHarness host;
    auto& processor = *host.processor;

    // A second control under the same ID takes the entry over; the first one going must not take it away.
    auto first = std::make_unique<CustomRoratySlider> (processor, "Gain");
    auto second = std::make_unique<CustomOrientedSlider> (processor, "Gain", CustomOrientedSlider::horizontal);
    EXPECT_TRUE (isListenerFor (processor, "Gain", static_cast<ModulationListener*> (second.get())));

    first.reset();
    EXPECT_TRUE (isListenerFor (processor, "Gain", static_cast<ModulationListener*> (second.get())));
    const auto row = processor.parameterIndex.at ("Gain");
    EXPECT_EQ (processor.listenerForTarget[row], static_cast<ModulationListener*> (second.get()));

    second.reset();
    EXPECT_EQ (processor.modulationListeners.count ("Gain"), 0u);
    EXPECT_EQ (processor.listenerForTarget[row], nullptr);
}
