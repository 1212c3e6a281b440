// The watching thread, and the caller's wait while it turns the pump.
#include "platform/odbc/wait_watch.h"

#include <utility>

namespace platform::odbc {

namespace {

constexpr std::chrono::milliseconds kPumpEvery{40};

std::chrono::seconds Since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
}

}  // namespace

WaitWatch::WaitWatch(Notice notice, Pump pump, std::chrono::milliseconds first, std::chrono::milliseconds every)
    : notice_(std::move(notice)), pump_(std::move(pump)), first_(first), every_(every), thread_([this] { watch(); })
{
}

WaitWatch::~WaitWatch()
{
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void WaitWatch::run(const std::function<void()>& call)
{
    if (pump_) {
        runPumped(call);
        return;
    }
    // The watching thread is woken only when it waits for no call: one that
    // watches wakes at its time, and then sees which call is under way.
    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        ++call_;
        inCall_ = true;
        started_ = std::chrono::steady_clock::now();
        wake = !watching_;
    }
    if (wake)
        changed_.notify_all();
    struct Answered {
        WaitWatch& watch;
        ~Answered()
        {
            const std::lock_guard lock(watch.mutex_);
            watch.inCall_ = false;
        }
    } answered{*this};
    call();
}

void WaitWatch::runPumped(const std::function<void()>& call)
{
    if (pumping_) {
        // The pump's own call (the window closing) while the first waits: the
        // connection takes one call at a time, so it runs once the first is
        // answered, here on the caller's thread.
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return answered_; });
        lock.unlock();
        call();
        return;
    }
    std::unique_lock lock(mutex_);
    handed_ = &call;
    answered_ = false;
    failure_ = nullptr;
    changed_.notify_all();
    pumping_ = true;
    // However this ends, a pump that throws too, the handed call has been
    // answered first: it uses its caller's objects.
    struct Settled {
        WaitWatch& watch;
        std::unique_lock<std::mutex>& lock;
        ~Settled()
        {
            if (!lock.owns_lock())
                lock.lock();
            watch.changed_.wait(lock, [this] { return watch.answered_; });
            watch.pumping_ = false;
            watch.handed_ = nullptr;
        }
    };
    {
        const Settled settled{*this, lock};
        const auto started = std::chrono::steady_clock::now();
        auto due = started + first_;
        while (!changed_.wait_for(lock, kPumpEvery, [this] { return answered_; })) {
            lock.unlock();
            pump_();
            if (std::chrono::steady_clock::now() >= due) {
                notice_(Since(started));
                due += every_;
            }
            lock.lock();
        }
    }
    if (failure_)
        std::rethrow_exception(std::exchange(failure_, nullptr));
}

void WaitWatch::watch()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return ending_ || inCall_ || (handed_ && !answered_); });
        if (ending_)
            return;
        if (handed_ && !answered_) {
            const std::function<void()>& call = *handed_;
            lock.unlock();
            std::exception_ptr failure;
            try {
                call();
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            failure_ = failure;
            answered_ = true;
            changed_.notify_all();
            continue;
        }
        watchOne(lock);
        if (ending_)
            return;
    }
}

// Calls on the caller's thread: a notice when one has waited long enough, and
// at intervals, until it is answered. The watch wakes only at those times (or
// to end); a call answered meanwhile, or followed by others, is seen then.
void WaitWatch::watchOne(std::unique_lock<std::mutex>& lock)
{
    watching_ = true;
    std::uint64_t call = call_;
    auto due = started_ + first_;
    for (;;) {
        if (changed_.wait_until(lock, due, [&] { return ending_; }) || !inCall_)
            break;  // ending, or no call under way
        if (call_ != call) {
            call = call_;
            due = started_ + first_;
            continue;
        }
        const auto waited = Since(started_);
        lock.unlock();
        notice_(waited);
        lock.lock();
        due += every_;
    }
    watching_ = false;
}

}  // namespace platform::odbc
