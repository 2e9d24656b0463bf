#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

/** Hands the latest value of T from one writer thread to one reader thread without either
    ever waiting or allocating (a triple buffer). The writer fills its private slot and swaps it
    into the middle; the reader swaps the middle out when a new value is there. */
template <typename T>
class TripleBuffer
{
public:
    TripleBuffer() = default;

    /** The slot the writer may fill before calling publish(). [writer thread] */
    T& back() noexcept { return slots[backIndex]; }

    /** Makes the back slot the newest value. [writer thread] */
    void publish() noexcept
    {
        const auto previous =
            middle.exchange (static_cast<std::uint8_t> (backIndex | freshBit), std::memory_order_acq_rel);
        backIndex = previous & indexMask;
    }

    /** Takes the newest published value, if one came since the last call; returns the slot the
        reader owns now either way. [reader thread] */
    const T& latest() noexcept
    {
        if ((middle.load (std::memory_order_relaxed) & freshBit) != 0)
        {
            const auto previous = middle.exchange (frontIndex, std::memory_order_acq_rel);
            frontIndex = previous & indexMask;
        }

        return slots[frontIndex];
    }

    /** True when a value was published since the reader last took one. [reader thread] */
    bool hasFresh() const noexcept { return (middle.load (std::memory_order_acquire) & freshBit) != 0; }

private:
    static constexpr std::uint8_t freshBit = 4;
    static constexpr std::uint8_t indexMask = 3;

    std::array<T, 3> slots{};
    std::uint8_t backIndex = 0;
    std::uint8_t frontIndex = 1;
    std::atomic<std::uint8_t> middle{ 2 };
};

/** A block of display samples written by the audio thread and copied by the editor's timers. */
template <int numSamples>
class DisplayFeed
{
public:
    /** Publishes a copy of samples. [audio thread] */
    void write (const float* samples) noexcept
    {
        auto& slot = buffer.back();
        std::copy (samples, samples + numSamples, slot.begin());
        buffer.publish();
    }

    /** Copies the newest published samples into dest. [message thread] */
    void read (float* dest) noexcept
    {
        const auto& slot = buffer.latest();
        std::copy (slot.begin(), slot.end(), dest);
    }

    static constexpr int size() noexcept { return numSamples; }

private:
    TripleBuffer<std::array<float, (std::size_t) numSamples>> buffer;
};

/** A fixed ring of items handed from one writer thread to one reader thread: neither ever waits or allocates.
    A push into a full ring is refused, so the writer keeps going and the reader sees the older items first. */
template <typename T, int capacity>
class LockFreeFifo
{
public:
    /** Appends item; false, and nothing stored, when the ring is full. [writer thread] */
    bool push (const T& item) noexcept
    {
        const auto write = writeIndex.load (std::memory_order_relaxed);
        const auto next = (write + 1) % numSlots;

        if (next == readIndex.load (std::memory_order_acquire))
            return false;

        slots[(std::size_t) write] = item;
        writeIndex.store (next, std::memory_order_release);
        return true;
    }

    /** Takes the oldest item into item; false when the ring is empty. [reader thread] */
    bool pop (T& item) noexcept
    {
        const auto read = readIndex.load (std::memory_order_relaxed);

        if (read == writeIndex.load (std::memory_order_acquire))
            return false;

        item = slots[(std::size_t) read];
        readIndex.store ((read + 1) % numSlots, std::memory_order_release);
        return true;
    }

    static constexpr int size() noexcept { return capacity; }

private:
    // One slot stays empty, so that a full ring and an empty one look different.
    static constexpr int numSlots = capacity + 1;

    std::array<T, (std::size_t) numSlots> slots{};
    std::atomic<int> writeIndex{ 0 };
    std::atomic<int> readIndex{ 0 };
};

/** A fixed set of flags that any thread raises and one thread takes: raising is one atomic or, with no lock and no
    allocation, so the audio thread may raise them too. */
template <int numFlags>
class AtomicFlagSet
{
public:
    /** Raises flag index (0 <= index < numFlags). [any thread] */
    void raise (int index) noexcept
    {
        words[(std::size_t) (index / bitsPerWord)].fetch_or (std::uint64_t{ 1 } << (index % bitsPerWord),
                                                             std::memory_order_release);
    }

    /** Lowers every raised flag and calls action (index) for each, in index order; whatever a thread wrote before
        raising a flag is seen by action. [the taking thread] */
    template <typename Action>
    void takeEach (Action&& action)
    {
        for (int w = 0; w < numWords; ++w)
        {
            auto bits = words[(std::size_t) w].exchange (0, std::memory_order_acq_rel);

            for (int bit = 0; bits != 0; ++bit, bits >>= 1)
                if ((bits & 1) != 0)
                    action (w * bitsPerWord + bit);
        }
    }

    static constexpr int size() noexcept { return numFlags; }

private:
    static constexpr int bitsPerWord = 64;
    static constexpr int numWords = (numFlags + bitsPerWord - 1) / bitsPerWord;

    std::array<std::atomic<std::uint64_t>, (std::size_t) numWords> words{};
};
