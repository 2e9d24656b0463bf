#pragma once

#include "threads/PollingTimer.h"

/** Keeps a control and a parameter in step, as the framework's parameter attachments do, but never posts a message
    from another thread. Hosts set parameters on their audio thread (automation arrives inside the audio callback),
    and the framework's attachments post an update from there, which takes the message queue's lock and can
    allocate. Here a change reported on any thread but the message thread only raises a flag; one shared
    message-thread timer brings the control up to the parameter's value. */
class ParameterLink : private juce::AudioProcessorParameter::Listener
{
public:
    /** setControl receives the parameter's value in its own units. [message thread] */
    ParameterLink (juce::RangedAudioParameter& parameter,
                   std::function<void (float)> setControl,
                   juce::UndoManager* undoManager);
    ~ParameterLink() override;

    /** Gives the control the parameter's current value. [message thread] */
    void sendInitialUpdate();
    /** The control moved: one whole change, told to the host as a gesture. [message thread] */
    void setValueAsCompleteGesture (float newDenormalisedValue);
    void beginGesture();
    void setValueAsPartOfGesture (float newDenormalisedValue);
    void endGesture();

    /** Moves the control when another thread changed the parameter since the last look. [message thread] */
    void applyPendingChange();

    using Poller = PollingTimer<ParameterLink, &ParameterLink::applyPendingChange, 20>;

private:
    void parameterValueChanged (int, float newValue) override;
    void parameterGestureChanged (int, bool) override {}

    template <typename Callback>
    void callIfParameterValueChanged (float newDenormalisedValue, Callback&& callback);

    juce::RangedAudioParameter& parameter;
    juce::UndoManager* undoManager;
    std::function<void (float)> setControl;
    std::atomic<bool> changedElsewhere{ false };
    juce::SharedResourcePointer<Poller> poller;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ParameterLink)
};

/** A slider bound to the parameter of paramID in state: the parameter's range, text and default, and its value both
    ways. A drag of the slider is one gesture for the host; one still open when the attachment goes is ended then.
    Binds nothing when state has no such parameter. */
class SliderAttachment : private juce::Slider::Listener
{
public:
    SliderAttachment (juce::AudioProcessorValueTreeState& state, const juce::String& paramID, juce::Slider& slider);
    ~SliderAttachment() override;

private:
    void setValue (float newValue);
    void sliderValueChanged (juce::Slider*) override;
    void sliderDragStarted (juce::Slider*) override;
    void sliderDragEnded (juce::Slider*) override;

    juce::Slider& slider;
    std::unique_ptr<ParameterLink> link;
    bool ignoreCallbacks = false;
    bool inGesture = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SliderAttachment)
};

/** A combo box bound to a choice parameter: item index k stands for the k-th choice. */
class ComboBoxAttachment : private juce::ComboBox::Listener
{
public:
    ComboBoxAttachment (juce::AudioProcessorValueTreeState& state, const juce::String& paramID, juce::ComboBox& box);
    ~ComboBoxAttachment() override;

private:
    void setValue (float newValue);
    void comboBoxChanged (juce::ComboBox*) override;

    juce::ComboBox& comboBox;
    juce::RangedAudioParameter* parameter;
    std::unique_ptr<ParameterLink> link;
    bool ignoreCallbacks = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ComboBoxAttachment)
};

/** A toggle button bound to a parameter: on is any value of at least half its range. */
class ButtonAttachment : private juce::Button::Listener
{
public:
    ButtonAttachment (juce::AudioProcessorValueTreeState& state, const juce::String& paramID, juce::Button& button);
    ~ButtonAttachment() override;

private:
    void setValue (float newValue);
    void buttonClicked (juce::Button*) override;

    juce::Button& button;
    std::unique_ptr<ParameterLink> link;
    bool ignoreCallbacks = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ButtonAttachment)
};
