#include "MessageThreadRequest.h"

MessageThreadRequest::MessageThreadRequest (std::function<void (int)> actionToRun) : action (std::move (actionToRun)) {}

MessageThreadRequest::~MessageThreadRequest() { cancelPendingUpdate(); }

void MessageThreadRequest::request (int value)
{
    if (juce::MessageManager::existsAndIsCurrentThread())
    {
        action (value);
        return;
    }

    pending.store (value, std::memory_order_relaxed);
    triggerAsyncUpdate();
}

void MessageThreadRequest::handleAsyncUpdate()
{
    const auto value = pending.exchange (none, std::memory_order_relaxed);
    if (value != none)
        action (value);
}
