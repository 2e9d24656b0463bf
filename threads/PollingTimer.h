#pragma once

#include <JuceHeader.h>

/** One message-thread timer for every object of a kind that other threads only flag (an atomic store, nothing
    posted, locked or allocated): each tick calls poll on every object registered. The objects share it through
    juce::SharedResourcePointer, so there is one timer however many objects there are. */
template <typename Client, void (Client::*poll)(), int interval>
class PollingTimer : private juce::Timer
{
public:
    static constexpr int intervalMs = interval;

    PollingTimer() { startTimer (intervalMs); }
    ~PollingTimer() override { stopTimer(); }

    /** [message thread] */
    void add (Client& client)
    {
        JUCE_ASSERT_MESSAGE_THREAD
        clients.addIfNotAlreadyThere (&client);
    }
    /** [message thread] */
    void remove (Client& client)
    {
        JUCE_ASSERT_MESSAGE_THREAD
        clients.removeFirstMatchingValue (&client);
    }

    /** What each tick does: polls every object. [message thread] */
    void pollAll()
    {
        JUCE_ASSERT_MESSAGE_THREAD

        // By index, so that an object a poll removes never leaves this walking freed memory.
        for (int i = 0; i < clients.size(); ++i)
            (clients.getUnchecked (i)->*poll)();
    }

private:
    void timerCallback() override { pollAll(); }

    juce::Array<Client*> clients;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PollingTimer)
};
