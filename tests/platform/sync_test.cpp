#include <atomic>
#include <gtest/gtest.h>

#include "platform/sync.h"

namespace {

constexpr uint32_t kBound = 10000;  // generous bound for waits that should end at once

struct Events {
    platform::EventHandle first = platform::CreateManualEvent();
    platform::EventHandle second = platform::CreateManualEvent();
    ~Events() {
        platform::CloseEventHandle(first);
        platform::CloseEventHandle(second);
    }
};

TEST(Event, IsManualResetAndReportsTheFirstOfTwo) {
    Events e;
    ASSERT_NE(e.first, nullptr);
    ASSERT_NE(e.second, nullptr);
    EXPECT_EQ(platform::WaitForEither(e.first, e.second, 0), -1);
    platform::SignalEvent(e.second);
    EXPECT_EQ(platform::WaitForEither(e.first, e.second, kBound), 1);
    EXPECT_EQ(platform::WaitForEither(e.first, e.second, kBound), 1);  // stays signalled
    platform::SignalEvent(e.first);
    EXPECT_EQ(platform::WaitForEither(e.first, e.second, kBound), 0);
    platform::ClearEvent(e.first);
    EXPECT_EQ(platform::WaitForEither(e.first, e.second, kBound), 1);
    platform::ClearEvent(e.second);
    EXPECT_EQ(platform::WaitForEither(e.first, e.second, 0), -1);
}

TEST(Event, WaitTimesOutAndWakesOnASignalFromAnotherThread) {
    Events e;
    uint32_t start = platform::TickCountMs();
    EXPECT_EQ(platform::WaitForEither(e.first, e.second, 30), -1);
    EXPECT_GE(platform::TickCountMs() - start, 25u);

    platform::ThreadHandle thread = platform::StartThread(
        [](void* events) -> uint32_t {
            platform::SleepMs(10);
            platform::SignalEvent(static_cast<Events*>(events)->second);
            return 0;
        },
        &e);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(platform::WaitForEither(e.first, e.second, kBound), 1);
    platform::WaitThread(thread);
    platform::CloseThreadHandle(thread);
}

struct Counter {
    platform::CriticalSection lock;
    int value = 0;  // under lock
};

TEST(Thread, RunsWithItsArgumentAndIsJoined) {
    Counter counter;
    platform::ThreadHandle threads[4];
    for (auto& thread : threads) {
        thread = platform::StartThread(
            [](void* raw) -> uint32_t {
                auto* c = static_cast<Counter*>(raw);
                for (int i = 0; i < 10000; ++i) {
                    platform::ScopedLock guard(c->lock);
                    ++c->value;
                }
                return 0;
            },
            &counter);
        ASSERT_NE(thread, nullptr);
    }
    for (auto& thread : threads) {
        platform::WaitThread(thread);
        platform::CloseThreadHandle(thread);
    }
    EXPECT_EQ(counter.value, 40000);  // joined: every increment is visible
}

}  // namespace
