// A word while the server does not answer: a thread of its own watches the
// calls to the server and, when one has waited some seconds, says so, and
// again at intervals until the answer comes. What the word is for (a line on
// a terminal) is the caller's; it is said on the watching thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace platform::odbc {

class WaitWatch {
public:
    using Notice = std::function<void(std::chrono::seconds waited)>;

    WaitWatch(Notice notice, std::chrono::milliseconds first = std::chrono::seconds(10),
              std::chrono::milliseconds every = std::chrono::seconds(30));
    ~WaitWatch();
    WaitWatch(const WaitWatch&) = delete;
    WaitWatch& operator=(const WaitWatch&) = delete;

    // A call to the server, from its start to its answer.
    class Call {
    public:
        explicit Call(WaitWatch* watch);
        ~Call();
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;

    private:
        WaitWatch* watch_;
    };

private:
    void watch();

    Notice notice_;
    std::chrono::milliseconds first_;
    std::chrono::milliseconds every_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t call_ = 0;  // the number of the call under way; counts up
    bool inCall_ = false;
    std::chrono::steady_clock::time_point started_;
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace platform::odbc
