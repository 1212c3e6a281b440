// The wait watch with a pump: the call runs on the watch's thread while the
// caller's thread turns the pump and says the notice; what the call or the
// pump throws reaches the caller once the call is answered, and a call the
// pump makes runs after it. Without one the call runs on the caller's thread
// and the watch's thread says the notice.
#include "platform/odbc/wait_watch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using platform::odbc::WaitWatch;

TEST(WaitWatch, APumpTurnsOnTheCallersThreadWhileTheCallRunsOnTheWatchs)
{
    const auto caller = std::this_thread::get_id();
    std::vector<std::thread::id> pumps;
    std::vector<std::thread::id> notices;
    std::thread::id callThread;
    std::atomic<bool> answered = false;
    bool nestedAfterIt = false;
    WaitWatch* self = nullptr;
    WaitWatch watch([&](std::chrono::seconds) { notices.push_back(std::this_thread::get_id()); },
                    [&] {
                        pumps.push_back(std::this_thread::get_id());
                        if (pumps.size() == 6)  // a call the pump makes waits for the one under way
                            self->run([&] { nestedAfterIt = answered.load(); });
                    },
                    100ms, 100ms);
    self = &watch;
    watch.run([&] {
        callThread = std::this_thread::get_id();
        std::this_thread::sleep_for(450ms);
        answered = true;
    });
    EXPECT_NE(callThread, caller);
    EXPECT_GE(pumps.size(), 5u);
    EXPECT_GE(notices.size(), 2u);
    for (const auto& id : pumps)
        EXPECT_EQ(id, caller);
    for (const auto& id : notices)
        EXPECT_EQ(id, caller);
    EXPECT_TRUE(nestedAfterIt);
    EXPECT_THROW(watch.run([] { throw std::runtime_error("refused"); }), std::runtime_error);
    int quick = 0;
    watch.run([&] { ++quick; });  // the watch goes on after a failure
    EXPECT_EQ(quick, 1);
    WaitWatch failing([](std::chrono::seconds) {}, [] { throw std::runtime_error("pump"); }, 100ms, 100ms);
    EXPECT_THROW(failing.run([&] { std::this_thread::sleep_for(100ms), ++quick; }), std::runtime_error);
    EXPECT_EQ(quick, 2);
}

// Quick calls one after another say nothing; a call that waits after them does.
TEST(WaitWatch, WithoutAPumpTheWatchsThreadTellsTheCallThatWaits)
{
    std::atomic<int> notices = 0;
    WaitWatch watch([&](std::chrono::seconds) { ++notices; }, {}, 100ms, 100ms);
    for (int i = 0; i < 50; ++i)
        watch.run([] {});
    std::this_thread::sleep_for(150ms);  // the watch waits for a call again
    EXPECT_EQ(notices, 0);
    std::thread::id callThread;
    watch.run([&] {
        callThread = std::this_thread::get_id();
        std::this_thread::sleep_for(350ms);
    });
    EXPECT_EQ(callThread, std::this_thread::get_id());
    EXPECT_GE(notices, 2);
}

}  // namespace
