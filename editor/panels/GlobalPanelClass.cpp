#include "GlobalPanelClass.h"

#include "editor/controls/CustomOrientedSlider.h"
#include "editor/controls/CustomRoratySlider.h"

GlobalPanelClass::GlobalPanelClass (OstrelAudioProcessor& p, const ParameterGroup& group) : processor (p)
{
    lookAndFeel.setColour (juce::ToggleButton::textColourId, juce::Colours::white);
    lookAndFeel.setColour (juce::ToggleButton::tickColourId, juce::Colours::orange);
    lookAndFeel.setColour (juce::ToggleButton::tickDisabledColourId, juce::Colours::grey);

    for (const auto& config : group)
    {
        // Compared unsigned, so that a negative kind counts as unknown.
        switch ((unsigned int) config.type)
        {
            case ParameterKind::rotary:
            case ParameterKind::logRotary:
            case ParameterKind::choiceRotary:
            case ParameterKind::barSlider:
                createSlider (config);
                break;
            case ParameterKind::comboBox:
                createComboBox (config);
                break;
            case ParameterKind::toggle:
                createButton (config);
                break;
            default:
                break;
        }
    }

    lookAndFeel.setColour (juce::PopupMenu::backgroundColourId, juce::Colours::black);
    lookAndFeel.setColour (juce::PopupMenu::textColourId, juce::Colours::lightgreen);
    lookAndFeel.setColour (juce::ComboBox::textColourId, juce::Colours::lightgreen);

    setOpaque (false);
}

GlobalPanelClass::GlobalPanelClass (OstrelAudioProcessor& p, const ParameterGroup& group, Controls expected) :
    GlobalPanelClass (p, group)
{
    complete = hasControls (expected.numSliders, expected.numComboBoxes, expected.numToggleButtons);
    jassert (complete);
}

GlobalPanelClass::~GlobalPanelClass()
{
    setLookAndFeel (nullptr);

    // Every binding goes before the control it binds, every control before the look that draws it.
    buttonAttachments.clear();
    comboBoxAttachments.clear();
    sliderAttachments.clear();
    toggleButtons.clear();
    comboBoxes.clear();
    sliders.clear();
}

void GlobalPanelClass::paint (juce::Graphics& g)
{
    g.setColour (juce::Colour (0xff3c3c3c));
    g.drawRect (juce::Rectangle<float> (1.0f, 1.0f, (float) getWidth() - 1.0f, (float) getHeight() - 1.0f), 1.0f);
}

void GlobalPanelClass::resized()
{
    if (complete)
        layOut();
}

void GlobalPanelClass::sliderValueChanged (juce::Slider* slider) { changed (slider); }

void GlobalPanelClass::comboBoxChanged (juce::ComboBox* box) { changed (box); }

void GlobalPanelClass::buttonClicked (juce::Button* button) { changed (button); }

void GlobalPanelClass::changed (juce::Component* control)
{
    if (complete && control != nullptr)
        controlChanged (*control);
}

bool GlobalPanelClass::hasControls (int numSliders, int numComboBoxes, int numToggleButtons) const noexcept
{
    return sliders.size() == numSliders && comboBoxes.size() == numComboBoxes
           && toggleButtons.size() == numToggleButtons;
}

void GlobalPanelClass::addTitle (juce::Label& label, const juce::String& text)
{
    label.setText (text, juce::dontSendNotification);
    label.setJustificationType (juce::Justification::centred);
    addAndMakeVisible (label);
    label.setColour (juce::Label::textColourId, juce::Colours::turquoise);
    label.setFont (juce::Font ("Arial", 20.0f, juce::Font::bold));
}

int GlobalPanelClass::placeTitle (juce::Label& label, int height, int within)
{
    const auto rows = juce::jmin (height, within);
    label.setBounds (0, 0, getWidth(), rows);
    return rows;
}

void GlobalPanelClass::createSlider (const ParameterConfig& config)
{
    auto made = createSliderForType (processor, config);
    if (made == nullptr)
        return;

    made->setName (config.name);
    made->setRange (config.min, config.max, 0.0);
    made->setValue (config.defaultValue, juce::dontSendNotification);

    auto* slider = sliders.add (std::move (made));
    addAndMakeVisible (slider);

    // The attachment gives the slider the parameter's own range and current value.
    sliderAttachments.add (std::make_unique<SliderAttachment> (processor.valueTreeState, config.paramID, *slider));
    slider->addListener (this);

    slider->addMouseListener (this, true);
}

void GlobalPanelClass::createComboBox (const ParameterConfig& config)
{
    auto* box = comboBoxes.add (std::make_unique<juce::ComboBox>());
    box->setName (config.name);

    for (const auto& choice : config.choices)
        box->addItem (choice, box->getNumItems() + 1);

    addAndMakeVisible (box);
    comboBoxAttachments.add (std::make_unique<ComboBoxAttachment> (processor.valueTreeState, config.paramID, *box));
    box->addListener (this);
    box->setLookAndFeel (&lookAndFeel);
}

void GlobalPanelClass::createButton (const ParameterConfig& config)
{
    auto* button = toggleButtons.add (std::make_unique<juce::ToggleButton> (config.name));
    addAndMakeVisible (button);
    buttonAttachments.add (std::make_unique<ButtonAttachment> (processor.valueTreeState, config.paramID, *button));
    button->addListener (this);
    button->setLookAndFeel (&lookAndFeel);
}

std::unique_ptr<CustomSliderBase> GlobalPanelClass::createSliderForType (OstrelAudioProcessor& p,
                                                                         const ParameterConfig& config)
{
    switch ((unsigned int) config.type)
    {
        case ParameterKind::rotary:
        case ParameterKind::choiceRotary:
            return std::make_unique<CustomRoratySlider> (p, config.paramID);

        case ParameterKind::logRotary:
        {
            auto knob = std::make_unique<CustomRoratySlider> (p, config.paramID);
            knob->setUseLogarithmicScaling (true);
            return knob;
        }

        case ParameterKind::barSlider:
            return std::make_unique<CustomOrientedSlider> (p, config.paramID, CustomOrientedSlider::horizontal);

        default:
            return nullptr;
    }
}
