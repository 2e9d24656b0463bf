#include "TestHelpers.h"

namespace testing_helpers
{
juce::File documentsFolder()
{
    return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory).getChildFile ("Ostrel");
}

void setRaw (OstrelAudioProcessor& processor, const juce::String& paramID, float rawValue)
{
    auto* parameter = processor.valueTreeState.getParameter (paramID);
    jassert (parameter != nullptr);
    parameter->setValueNotifyingHost (parameter->convertTo0to1 (rawValue));
}

bool waitFor (std::function<bool()> condition, int timeoutMs)
{
    const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() > deadline)
            return false;
        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
    }
    return true;
}
} // namespace testing_helpers
