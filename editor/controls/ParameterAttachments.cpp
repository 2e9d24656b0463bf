#include "ParameterAttachments.h"

ParameterLink::ParameterLink (juce::RangedAudioParameter& p,
                              std::function<void (float)> setControlFunction,
                              juce::UndoManager* um) :
    parameter (p), undoManager (um), setControl (std::move (setControlFunction))
{
    poller->add (*this);
    parameter.addListener (this);
}

ParameterLink::~ParameterLink()
{
    // Once this returns, no other thread is inside parameterValueChanged.
    parameter.removeListener (this);
    poller->remove (*this);
}

void ParameterLink::sendInitialUpdate() { parameterValueChanged ({}, parameter.getValue()); }

template <typename Callback>
void ParameterLink::callIfParameterValueChanged (float newDenormalisedValue, Callback&& callback)
{
    const auto newValue = parameter.convertTo0to1 (newDenormalisedValue);

    if (parameter.getValue() != newValue)
        callback (newValue);
}

void ParameterLink::setValueAsCompleteGesture (float newDenormalisedValue)
{
    callIfParameterValueChanged (newDenormalisedValue,
                                 [this] (float value)
                                 {
                                     beginGesture();
                                     parameter.setValueNotifyingHost (value);
                                     endGesture();
                                 });
}

void ParameterLink::beginGesture()
{
    if (undoManager != nullptr)
        undoManager->beginNewTransaction();

    parameter.beginChangeGesture();
}

void ParameterLink::setValueAsPartOfGesture (float newDenormalisedValue)
{
    callIfParameterValueChanged (newDenormalisedValue,
                                 [this] (float value) { parameter.setValueNotifyingHost (value); });
}

void ParameterLink::endGesture() { parameter.endChangeGesture(); }

void ParameterLink::parameterValueChanged (int, float newValue)
{
    if (juce::MessageManager::existsAndIsCurrentThread())
    {
        changedElsewhere.store (false, std::memory_order_relaxed);
        if (setControl != nullptr)
            setControl (parameter.convertFrom0to1 (newValue));
        return;
    }

    // The audio thread or a host's thread: only a flag, which the poller sees on the message thread.
    changedElsewhere.store (true, std::memory_order_release);
}

void ParameterLink::applyPendingChange()
{
    // The parameter's value as it is now: a later change on the same thread only makes it newer.
    if (changedElsewhere.exchange (false, std::memory_order_acquire) && setControl != nullptr)
        setControl (parameter.convertFrom0to1 (parameter.getValue()));
}

//==============================================================================
namespace
{
/** The link for paramID's parameter, which moves the control through setValue; null when state has none. */
template <typename Attachment>
std::unique_ptr<ParameterLink> makeLink (juce::AudioProcessorValueTreeState& state,
                                         const juce::String& paramID,
                                         Attachment& attachment,
                                         void (Attachment::*setValue) (float))
{
    auto* parameter = state.getParameter (paramID);
    if (parameter == nullptr)
        return {};

    return std::make_unique<ParameterLink> (
        *parameter,
        [&attachment, setValue] (float value) { (attachment.*setValue) (value); },
        state.undoManager);
}
} // namespace

SliderAttachment::SliderAttachment (juce::AudioProcessorValueTreeState& state,
                                    const juce::String& paramID,
                                    juce::Slider& s) :
    slider (s), link (makeLink (state, paramID, *this, &SliderAttachment::setValue))
{
    auto* parameter = state.getParameter (paramID);
    if (parameter == nullptr)
        return;

    auto& param = *parameter;
    slider.valueFromTextFunction = [&param] (const juce::String& text)
    { return (double) param.convertFrom0to1 (param.getValueForText (text)); };
    slider.textFromValueFunction = [&param] (double value)
    { return param.getText (param.convertTo0to1 ((float) value), 0); };
    slider.setDoubleClickReturnValue (true, param.convertFrom0to1 (param.getDefaultValue()));

    // The parameter's own mapping, over whatever range the slider is given.
    auto range = param.getNormalisableRange();

    juce::NormalisableRange<double> sliderRange{ (double) range.start,
                                                 (double) range.end,
                                                 [range] (double start, double end, double proportion) mutable
                                                 {
                                                     range.start = (float) start;
                                                     range.end = (float) end;
                                                     return (double) range.convertFrom0to1 ((float) proportion);
                                                 },
                                                 [range] (double start, double end, double value) mutable
                                                 {
                                                     range.start = (float) start;
                                                     range.end = (float) end;
                                                     return (double) range.convertTo0to1 ((float) value);
                                                 },
                                                 [range] (double start, double end, double value) mutable
                                                 {
                                                     range.start = (float) start;
                                                     range.end = (float) end;
                                                     return (double) range.snapToLegalValue ((float) value);
                                                 } };
    sliderRange.interval = range.interval;
    sliderRange.skew = range.skew;
    sliderRange.symmetricSkew = range.symmetricSkew;
    slider.setNormalisableRange (sliderRange);

    link->sendInitialUpdate();
    slider.valueChanged();
    slider.addListener (this);
}

SliderAttachment::~SliderAttachment()
{
    slider.removeListener (this);

    // A window closed during a drag: the host would otherwise wait for the end of a gesture that never comes.
    if (inGesture)
        link->endGesture();
}

void SliderAttachment::setValue (float newValue)
{
    const juce::ScopedValueSetter<bool> ignoring (ignoreCallbacks, true);
    slider.setValue (newValue, juce::sendNotificationSync);
}

void SliderAttachment::sliderValueChanged (juce::Slider*)
{
    if (!ignoreCallbacks && link != nullptr)
        link->setValueAsPartOfGesture ((float) slider.getValue());
}

void SliderAttachment::sliderDragStarted (juce::Slider*)
{
    if (link == nullptr || inGesture)
        return;

    link->beginGesture();
    inGesture = true;
}

void SliderAttachment::sliderDragEnded (juce::Slider*)
{
    if (!inGesture)
        return;

    link->endGesture();
    inGesture = false;
}

//==============================================================================
ComboBoxAttachment::ComboBoxAttachment (juce::AudioProcessorValueTreeState& state,
                                        const juce::String& paramID,
                                        juce::ComboBox& box) :
    comboBox (box),
    parameter (state.getParameter (paramID)),
    link (makeLink (state, paramID, *this, &ComboBoxAttachment::setValue))
{
    if (link == nullptr)
        return;

    link->sendInitialUpdate();
    comboBox.addListener (this);
}

ComboBoxAttachment::~ComboBoxAttachment() { comboBox.removeListener (this); }

void ComboBoxAttachment::setValue (float newValue)
{
    const auto index = juce::roundToInt (parameter->convertTo0to1 (newValue) * (float) (comboBox.getNumItems() - 1));
    if (index == comboBox.getSelectedItemIndex())
        return;

    const juce::ScopedValueSetter<bool> ignoring (ignoreCallbacks, true);
    comboBox.setSelectedItemIndex (index, juce::sendNotificationSync);
}

void ComboBoxAttachment::comboBoxChanged (juce::ComboBox*)
{
    if (ignoreCallbacks || link == nullptr)
        return;

    const auto numItems = comboBox.getNumItems();
    const auto selected = (float) comboBox.getSelectedItemIndex();
    const auto proportion = numItems > 1 ? selected / (float) (numItems - 1) : 0.0f;
    link->setValueAsCompleteGesture (parameter->convertFrom0to1 (proportion));
}

//==============================================================================
ButtonAttachment::ButtonAttachment (juce::AudioProcessorValueTreeState& state,
                                    const juce::String& paramID,
                                    juce::Button& b) :
    button (b), link (makeLink (state, paramID, *this, &ButtonAttachment::setValue))
{
    if (link == nullptr)
        return;

    link->sendInitialUpdate();
    button.addListener (this);
}

ButtonAttachment::~ButtonAttachment() { button.removeListener (this); }

void ButtonAttachment::setValue (float newValue)
{
    const juce::ScopedValueSetter<bool> ignoring (ignoreCallbacks, true);
    button.setToggleState (newValue >= 0.5f, juce::sendNotificationSync);
}

void ButtonAttachment::buttonClicked (juce::Button*)
{
    if (!ignoreCallbacks && link != nullptr)
        link->setValueAsCompleteGesture (button.getToggleState() ? 1.0f : 0.0f);
}
