// A request from outside a run that it stop at its next statement boundary: a
// signal to the command, the main window closing. Set from a signal handler,
// so it is one lock-free atomic.
#pragma once

#include <atomic>

namespace platform {

class StopRequest {
public:
    // What asked: a signal's number, or another positive number of the caller's.
    void request(int reason) noexcept { reason_.store(reason, std::memory_order_relaxed); }
    // The first request wins; false when one came before (the caller may then end at once).
    bool requestFirst(int reason) noexcept
    {
        int none = 0;
        return reason_.compare_exchange_strong(none, reason, std::memory_order_relaxed);
    }
    bool requested() const noexcept { return reason() != 0; }
    int reason() const noexcept { return reason_.load(std::memory_order_relaxed); }
    void clear() noexcept { reason_.store(0, std::memory_order_relaxed); }

private:
    std::atomic<int> reason_{0};
    static_assert(std::atomic<int>::is_always_lock_free);
};

}  // namespace platform
