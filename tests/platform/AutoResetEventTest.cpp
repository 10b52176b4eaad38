#include "platform/AutoResetEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using vistrel::AutoResetEvent;

TEST(AutoResetEvent, TokenIsConsumedByExactlyOneWait)
{
    AutoResetEvent ev;
    EXPECT_FALSE(ev.Wait(0));
    ev.Set();
    ev.Set(); // setting twice still leaves one token
    EXPECT_TRUE(ev.Wait(0));
    EXPECT_FALSE(ev.Wait(0));

    AutoResetEvent initially(true);
    initially.Reset();
    EXPECT_FALSE(initially.Wait(0));
}

TEST(AutoResetEvent, WaitWakesOnSetFromAnotherThreadAndTimesOut)
{
    AutoResetEvent ev;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(ev.Wait(50));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(45));

    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ev.Set();
    });
    EXPECT_TRUE(ev.Wait(5000));
    setter.join();
}
