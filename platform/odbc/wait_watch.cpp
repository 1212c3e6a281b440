// The watching thread.
#include "platform/odbc/wait_watch.h"

namespace platform::odbc {

WaitWatch::WaitWatch(Notice notice, std::chrono::milliseconds first, std::chrono::milliseconds every)
    : notice_(std::move(notice)), first_(first), every_(every), thread_([this] { watch(); })
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

WaitWatch::Call::Call(WaitWatch* watch) : watch_(watch)
{
    if (!watch_)
        return;
    {
        const std::lock_guard lock(watch_->mutex_);
        ++watch_->call_;
        watch_->inCall_ = true;
        watch_->started_ = std::chrono::steady_clock::now();
    }
    watch_->changed_.notify_all();
}

WaitWatch::Call::~Call()
{
    if (!watch_)
        return;
    {
        const std::lock_guard lock(watch_->mutex_);
        watch_->inCall_ = false;
    }
    watch_->changed_.notify_all();
}

void WaitWatch::watch()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return ending_ || inCall_; });
        if (ending_)
            return;
        const std::uint64_t call = call_;
        auto due = started_ + first_;
        for (;;) {
            if (changed_.wait_until(lock, due, [&] { return ending_ || !inCall_ || call_ != call; }))
                break;  // answered, or ending
            const auto waited = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started_);
            lock.unlock();
            notice_(waited);
            lock.lock();
            due += every_;
        }
        if (ending_)
            return;
    }
}

}  // namespace platform::odbc
