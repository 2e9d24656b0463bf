#include "ProcessorSupport.h"

#include <cmath>
#include <thread>

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
    while (!condition())
    {
        if (juce::Time::getMillisecondCounter() > deadline)
            return false;
        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
    }
    return true;
}

void fillGridWithPattern (OstrelAudioProcessor& processor)
{
    constexpr auto size = OstrelAudioProcessor::gridSize;

    for (int x = 0; x < size; ++x)
        for (int y = 0; y < size; ++y)
            processor.imageGrid[x * size + y].store (
                0.5f + 0.5f * (float) std::sin (2.0 * juce::MathConstants<double>::pi * (x * (1 + y % 5)) / 512.0),
                std::memory_order_relaxed);
}
void onOwnThread (const std::function<void()>& work)
{
    std::thread thread (work);
    thread.join();
}
} // namespace testing_helpers
