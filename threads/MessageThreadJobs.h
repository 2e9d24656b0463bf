#pragma once

#include <JuceHeader.h>

#include <array>
#include <atomic>
#include <functional>

/** Work that any thread may ask for and the message thread does. Asking is one atomic store, with no lock and no
    allocation, so the audio thread may ask too (posting a message would lock and allocate there); a timer on the
    message thread runs each job that was asked for, once, however often it was asked since. Jobs are added before
    the timer starts and stay until the object is stopped. */
class MessageThreadJobs : private juce::Timer
{
public:
    static constexpr int maxJobs = 8;

    MessageThreadJobs() = default;
    ~MessageThreadJobs() override { stop(); }

    /** Adds a job and returns its number, for mark(). [constructing thread, before start] */
    int add (std::function<void()> job)
    {
        jassert (numJobs < maxJobs && !isTimerRunning());
        jobs[(size_t) numJobs] = std::move (job);
        return numJobs++;
    }

    /** Asks for a job to run on the message thread soon. [any thread, the audio thread included] */
    void mark (int job) noexcept
    {
        if (juce::isPositiveAndBelow (job, numJobs))
            pending[(size_t) job].store (true, std::memory_order_release);
    }

    /** True while a job waits for the message thread. [any thread] */
    bool isMarked (int job) const noexcept
    {
        return juce::isPositiveAndBelow (job, numJobs) && pending[(size_t) job].load (std::memory_order_acquire);
    }

    /** Starts looking for marked jobs every intervalMs. */
    void start (int intervalMs) { startTimer (intervalMs); }

    /** No job runs after this returns; a job in progress is waited for. [any thread] */
    void stop()
    {
        stopTimer();
        const juce::ScopedLock lock (runLock);
        stopped = true;
    }

    /** Runs every marked job now. [message thread] */
    void runMarkedJobs()
    {
        JUCE_ASSERT_MESSAGE_THREAD
        const juce::ScopedLock lock (runLock);
        if (stopped)
            return;

        for (int i = 0; i < numJobs; ++i)
            if (pending[(size_t) i].exchange (false, std::memory_order_acq_rel))
                jobs[(size_t) i]();
    }

private:
    void timerCallback() override { runMarkedJobs(); }

    std::array<std::function<void()>, maxJobs> jobs;
    std::array<std::atomic<bool>, maxJobs> pending{};
    int numJobs = 0;
    juce::CriticalSection runLock;
    bool stopped = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MessageThreadJobs)
};
