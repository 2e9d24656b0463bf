// The fixed ring that carries host notes from the audio thread to the editor.
#include "threads/LockFree.h"

#include <gtest/gtest.h>

#include <thread>

TEST (HostNoteQueue, HoldsItsCapacityInOrderRoundAndRoundTheRing)
{
    LockFreeFifo<int, 5> fifo;
    int pushed = 0, taken = 0, item = 0;

    for (int round = 0; round < 7; ++round)
    {
        while (fifo.push (pushed))
            ++pushed;
        EXPECT_EQ (pushed - taken, 5) << "a full ring refuses, it never overwrites";

        for (int i = 0; i < 3; ++i)
        {
            ASSERT_TRUE (fifo.pop (item));
            EXPECT_EQ (item, taken++);
        }
    }

    while (fifo.pop (item))
        EXPECT_EQ (item, taken++);
    EXPECT_EQ (taken, pushed);
    EXPECT_FALSE (fifo.pop (item));
}

TEST (HostNoteQueue, CarriesEveryItemInOrderFromOneThreadToAnother)
{
    LockFreeFifo<int, 64> fifo;
    constexpr int count = 200000;

    // The writer tries again when the ring is full, so that every item has to arrive, in order.
    std::thread writer (
        [&]
        {
            for (int i = 0; i < count; ++i)
                while (!fifo.push (i))
                    std::this_thread::yield();
        });

    int received = 0, item = 0;
    bool inOrder = true;
    while (received < count)
    {
        if (fifo.pop (item))
            inOrder = inOrder && item == received++;
        else
            std::this_thread::yield();
    }

    writer.join();
    EXPECT_TRUE (inOrder);
    EXPECT_FALSE (fifo.pop (item));
}
