// The reading thread of direct mode and its queue.
#include "conversion/read_ahead.h"

#include "core/error_report.h"

#include <utility>

namespace conversion {

void ReplayReports(const ReadRecord& record, core::GuardedOperation& op, platform::EventLoop& events)
{
    std::size_t yields = 0;
    for (const ReadRecord::Report& report : record.before) {
        for (; yields < report.atYield; ++yields)
            events.yield();
        op.step(report.step, [&] { std::rethrow_exception(report.error); });
    }
    for (; yields < record.yields; ++yields)
        events.yield();
    if (record.failure && !record.failedAfterStatement)
        std::rethrow_exception(record.failure);
}

ReadAhead::ReadAhead(Read read, std::size_t bytes) : read_(std::move(read)), bytes_(bytes)
{
    thread_ = std::thread([this] { run(); });
}

ReadAhead::~ReadAhead()
{
    end();
    thread_.join();
}

void ReadAhead::end()
{
    const std::lock_guard lock(mutex_);
    quit_ = true;
    chunks_.clear();
    queued_ = 0;
    changed_.notify_all();
}

void ReadAhead::run()
{
    bool last = false;
    while (!last) {
        Chunk chunk;
        chunk.records.reserve(kChunk);
        while (!last && chunk.records.size() < kChunk && chunk.bytes < bytes_ / 8) {
            if (quit_)
                return;
            ReadRecord& record = chunk.records.emplace_back();
            try {
                read_(record);
            } catch (...) {
                record.failure = std::current_exception();
                record.last = true;
            }
            last = record.last;
            chunk.bytes += record.statement.size() + 1;
        }
        std::unique_lock lock(mutex_);
        // Once full, the reading waits until the run has taken half of the
        // queue: fewer turns of both threads.
        if (queued_ > 0 && queued_ + chunk.bytes > bytes_) {
            reading_ = false;
            changed_.wait(lock, [&] { return quit_ || queued_ <= bytes_ / 2; });
            reading_ = true;
        }
        if (quit_)
            return;
        queued_ += chunk.bytes;
        chunks_.push_back(std::move(chunk));
        if (taking_waits_)
            changed_.notify_all();
    }
}

ReadRecord& ReadAhead::next()
{
    if (taken_ == taking_.size()) {
        std::unique_lock lock(mutex_);
        if (chunks_.empty()) {
            taking_waits_ = true;
            changed_.wait(lock, [&] { return !chunks_.empty(); });
            taking_waits_ = false;
        }
        queued_ -= chunks_.front().bytes;
        taking_ = std::move(chunks_.front().records);
        chunks_.pop_front();
        taken_ = 0;
        if (!reading_ && queued_ <= bytes_ / 2)
            changed_.notify_all();
    }
    return taking_[taken_++];
}

}  // namespace conversion
