#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ReadWriteGate.h"

namespace {

// Many threads reading and writing at random: a writer is always alone, readers share, and
// every thread gets through (no deadlock, no starvation that outlasts the test's time-out).
TEST(ReadWriteGate, AWriterIsAloneAndEveryoneGetsThrough) {
    TReadWriteGate gate;
    std::atomic<int> reading{0}, writing{0}, clashes{0}, done{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 12; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                const bool write = (i + t) % 7 == 0;
                TGateHold hold(gate, write);
                std::atomic<int>& mine = write ? writing : reading;
                mine.fetch_add(1);
                if (writing.load() > 1 || (writing.load() == 1 && reading.load() > 0)) {
                    ++clashes;
                }
                std::this_thread::yield();
                mine.fetch_sub(1);
                ++done;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(clashes.load(), 0);
    EXPECT_EQ(done.load(), 12 * 2000);
}

// Three writers wait behind a reader. Once the first of them is inside, a reader and a fourth
// writer arrive: the three go one after another, then the reader, then the late writer.
TEST(ReadWriteGate, AWritePhaseLetsThroughTheWritersThatWaitedWhenItBegan) {
    TReadWriteGate gate;
    std::mutex orderMutex;
    std::string order;
    auto enter = [&](char who) {
        std::lock_guard lock(orderMutex);
        order += who;
        return order.size();
    };
    auto waitFor = [](auto condition) {
        while (!condition()) {
            std::this_thread::yield();
        }
    };
    gate.LockShared();
    std::vector<std::thread> threads;
    for (int w = 0; w < 3; ++w) {
        threads.emplace_back([&] {
            TGateHold hold(gate, true);
            if (enter('W') == 1) {
                waitFor([&] { return gate.ReadersWaiting() == 1 && gate.WritersWaiting() == 3; });
            }
        });
    }
    waitFor([&] { return gate.WritersWaiting() == 3; });
    gate.UnlockShared();
    waitFor([&] {
        std::lock_guard lock(orderMutex);
        return !order.empty();
    });
    threads.emplace_back([&] {
        TGateHold hold(gate, false);
        enter('R');
    });
    waitFor([&] { return gate.ReadersWaiting() == 1; });
    threads.emplace_back([&] {
        TGateHold hold(gate, true);
        enter('L');
    });
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(order, "WWWRL");
}

}  // namespace
