// A word while the server does not answer. A call to the server is watched
// from its start to its answer; when it has waited some seconds, the notice
// says so, and again at intervals until the answer comes.
//
// Two ways to wait. Without a pump the call runs on the caller's thread and a
// thread of the watch's own gives the notice (a line on a terminal). With a
// pump the call itself runs on the watch's thread while the caller's thread
// turns the pump (a window's events, so that it repaints and can be closed)
// several times a second and gives the notice itself.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace platform::odbc {

class WaitWatch {
public:
    using Notice = std::function<void(std::chrono::seconds waited)>;
    using Pump = std::function<void()>;

    WaitWatch(Notice notice, Pump pump = {}, std::chrono::milliseconds first = std::chrono::seconds(10),
              std::chrono::milliseconds every = std::chrono::seconds(30));
    ~WaitWatch();
    WaitWatch(const WaitWatch&) = delete;
    WaitWatch& operator=(const WaitWatch&) = delete;

    // Runs one call to the server, watched; an exception of the call reaches
    // the caller. A call made by the pump while another waits runs unwatched
    // on the caller's thread, once the other is answered.
    void run(const std::function<void()>& call);

private:
    void watch();
    void watchOne(std::unique_lock<std::mutex>& lock);
    void runPumped(const std::function<void()>& call);

    Notice notice_;
    Pump pump_;
    std::chrono::milliseconds first_;
    std::chrono::milliseconds every_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t call_ = 0;  // the number of the call under way; counts up
    bool inCall_ = false;
    bool watching_ = false;  // the watching thread waits for a call's time, not for a call
    std::chrono::steady_clock::time_point started_;
    // With a pump: the call handed to the watch's thread, and what came of it.
    const std::function<void()>* handed_ = nullptr;
    bool answered_ = false;
    std::exception_ptr failure_;
    bool pumping_ = false;
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace platform::odbc
