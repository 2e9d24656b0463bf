#pragma once

#include "processor/PluginProcessor.h"

class ModulationRepaintTicker;

/** A panel's value control that shows its parameter's modulated value and picks its parameter as a modulation
    target. The modulated value may come from the audio thread: it is stored in an atomic and the shared
    ModulationRepaintTicker repaints the control on the message thread, so nothing is posted, locked or
    allocated for it. */
class CustomSliderBase : public juce::Slider, public ModulationListener
{
public:
    CustomSliderBase (OstrelAudioProcessor& processor, const juce::String& paramID);
    ~CustomSliderBase() override;

    /** Caption, range and default of the record; the value change is sent asynchronously. */
    virtual void applyParameterConfig (const ParameterConfig& config);
    /** Only knobs map logarithmically. */
    virtual void setUseLogarithmicScaling (bool) {}

    /** Keeps the value for the next repaint; NaN shows nothing. Never waits, allocates or paints.
        [audio or message thread] */
    void setModulationValue (float modulatedValue) final;
    /** The last value given to setModulationValue. [message thread] */
    float getModulationValue() const noexcept { return modulationValue.load (std::memory_order_relaxed); }
    /** Repaints when a different modulated value came since the last repaint. [message thread] */
    void repaintIfModulationChanged();

    const juce::String& getParameterID() const noexcept { return paramID; }

    /** A press with the right button or with Ctrl held: it picks the parameter as a modulation target. */
    static bool isPickingClick (juce::ModifierKeys mods) noexcept { return mods.isPopupMenu() || mods.isCtrlDown(); }

protected:
    /** Enters this control in the processor's listener table. Called last by the subclass's constructor, so
        that the audio thread never reaches a control still being built. */
    void startListeningForModulation();
    /** Removes exactly this control's entry (another control may have replaced it); once it returns the audio
        thread will not call this control again. Called first by the subclass's destructor. */
    void stopListeningForModulation();

    OstrelAudioProcessor& processor;
    const juce::String paramID;

private:
    std::atomic<float> modulationValue{ std::numeric_limits<float>::quiet_NaN() };
    std::atomic<bool> modulationChanged{ false };
    bool listening = false;
    juce::SharedResourcePointer<ModulationRepaintTicker> ticker;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CustomSliderBase)
};
