// Direct mode reads a table's records and builds their inserts on a thread of
// its own, a short way ahead of the run, while the server works on the run's
// current call. Whatever the reading reports travels with its record and is
// told on the run's thread when the run takes that record, in the order the
// reading met it among the builder's yields, so the reports, the yields and
// the calls keep the order of a run that reads as it sends.
#pragma once

#include "platform/event_loop.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace core {
class GuardedOperation;
}

namespace conversion {

// One record, read and built.
struct ReadRecord {
    struct Report {
        std::size_t atYield = 0;  // the builder's yields of the record before it
        int step = 0;
        std::exception_ptr error;
    };
    std::string statement;
    std::vector<Report> before;    // made while its statement was built
    std::vector<Report> after;     // made moving past it
    std::size_t yields = 0;        // the builder's
    std::vector<int> moreUnreadable;  // fields whose value failed again, after their report
    std::exception_ptr failure;    // what ended the reading outside any step
    bool failedAfterStatement = false;  // the failure came after the statement was built
    bool last = false;             // nothing is read after it
    // What the source had found when the record was read.
    std::uint64_t undecodable = 0;
    std::optional<std::string> damage;
};

// The builder's yields, counted on the reading thread: the run yields as often
// when it takes the record.
class CountedYields final : public platform::EventLoop {
public:
    void yield() override { ++count; }
    std::size_t count = 0;
};

// Before the record's statement is sent: the reports made building it, each
// among the builder's yields where reading met it, and the failure that ended
// the reading before the statement was built, if any.
void ReplayReports(const ReadRecord& record, core::GuardedOperation& op, platform::EventLoop& events);

// The reading thread and the short queue between it and the run.
class ReadAhead {
public:
    // Fills in one record; the thread reads until a record says it is the last.
    using Read = std::function<void(ReadRecord&)>;
    // `bytes`: about how much the queue holds before the reading waits.
    ReadAhead(Read read, std::size_t bytes);
    // Ends the reading (what waits is dropped) and waits for the thread.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next record, in order; waits for it. Never called after the last.
    ReadRecord& next();
    // Reading ends; what was read and not taken is dropped.
    void end();

private:
    void run();

    static constexpr std::size_t kChunk = 1024;  // records handed over at a time, at most
    Read read_;
    std::size_t bytes_;
    std::mutex mutex_;
    std::condition_variable changed_;
    struct Chunk {
        std::vector<ReadRecord> records;
        std::size_t bytes = 0;
    };
    std::deque<Chunk> chunks_;
    std::size_t queued_ = 0;  // bytes
    std::atomic<bool> quit_ = false;
    bool reading_ = true;        // false while the reading waits for room
    bool taking_waits_ = false;  // the run waits for a record
    std::vector<ReadRecord> taking_;
    std::size_t taken_ = 0;
    std::thread thread_;
};

}  // namespace conversion
