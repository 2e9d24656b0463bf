#include "CustomSliderBase.h"

#include "ModulationRepaintTicker.h"
#include "processor/BitPatterns.h"

CustomSliderBase::CustomSliderBase (OstrelAudioProcessor& p, const juce::String& id) : processor (p), paramID (id)
{
    ticker->add (*this);
}

CustomSliderBase::~CustomSliderBase()
{
    // The subclass must have left the listener table before its own members went.
    jassert (!listening);
    stopListeningForModulation();
    ticker->remove (*this);
}

void CustomSliderBase::applyParameterConfig (const ParameterConfig& config)
{
    setName (config.name);
    setRange (config.min, config.max, 0.0);
    setValue (config.defaultValue, juce::sendNotificationAsync);
}

void CustomSliderBase::setModulationValue (float modulatedValue)
{
    // The audio thread sends every block; only a different value needs a repaint.
    const auto previous = modulationValue.exchange (modulatedValue, std::memory_order_relaxed);
    if (!bit_patterns::sameBits (previous, modulatedValue))
        modulationChanged.store (true, std::memory_order_release);
}

void CustomSliderBase::repaintIfModulationChanged()
{
    if (modulationChanged.exchange (false, std::memory_order_acquire))
        repaint();
}

void CustomSliderBase::startListeningForModulation()
{
    processor.addModulationListener (paramID, this);
    listening = true;
}

void CustomSliderBase::stopListeningForModulation()
{
    if (!listening)
        return;

    processor.removeModulationListener (paramID, this);
    listening = false;
}
