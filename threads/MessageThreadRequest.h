#pragma once

#include <JuceHeader.h>

#include <atomic>
#include <functional>
#include <limits>

/** Has the message thread act on a request that may come from any thread but the audio thread: at once when the
    caller is the message thread, otherwise soon after, without waiting for it. The caller may hold a lock that the
    message thread waits for (a processor's listener list, which a closing window takes), so it must never wait.
    Requests that come before the message thread acts are merged: it acts once, on the newest. */
class MessageThreadRequest : private juce::AsyncUpdater
{
public:
    explicit MessageThreadRequest (std::function<void (int)> actionToRun);
    ~MessageThreadRequest() override;

    /** [any thread but the audio thread] */
    void request (int value);

private:
    void handleAsyncUpdate() override;

    static constexpr int none = std::numeric_limits<int>::min();
    std::function<void (int)> action;
    std::atomic<int> pending{ none };

    JUCE_DECLARE_NON_COPYABLE (MessageThreadRequest)
};
