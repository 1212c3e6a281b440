// A yield that costs almost nothing: it counts calls, reads the clock every
// few calls, and enters the event loop only when a time slice has passed. Per
// field and per record yields on a million-record table stay cheap, while the
// windows still repaint and take input several times a second.
// Turns after a round trip follow their own pace: a round trip to a server
// (a tenth of a millisecond and more) costs far more than a turn, so each such
// piece of work gets one; pieces that finish within microseconds (a local
// database inside one transaction) share one turn per 50 microseconds, so
// that turns never cost more than the work they follow.
#pragma once

#include "platform/event_loop.h"

#include <chrono>
#include <functional>
#include <utility>

namespace platform {

class TimeSlicedEventLoop final : public EventLoop {
public:
    using Clock = std::chrono::steady_clock;

    explicit TimeSlicedEventLoop(std::function<void()> processEvents,
                                 std::chrono::milliseconds slice = std::chrono::milliseconds(10),
                                 std::function<void()> waitingTurn = {})
        : processEvents_(std::move(processEvents)), waitingTurn_(std::move(waitingTurn)), slice_(slice),
          last_(Clock::now())
    {
    }

    void yield() override
    {
        // A clock read costs about as much as building one value; look every 8th call.
        if ((++calls_ & 7u) != 0)
            return;
        const auto now = Clock::now();
        if (now - last_ < slice_)
            return;
        processEvents_();
        last_ = Clock::now();
    }

    void turnAfterRoundTrip() override
    {
        if (Clock::now() - lastTurn_ < kSharedTurn)
            return;
        processEvents_();
        lastTurn_ = Clock::now();
    }

    std::function<void()> waitingTurn() override { return waitingTurn_; }

private:
    static constexpr std::chrono::microseconds kSharedTurn{50};

    std::function<void()> processEvents_;
    std::function<void()> waitingTurn_;
    Clock::duration slice_;
    Clock::time_point last_;
    unsigned calls_ = 0;
    Clock::time_point lastTurn_{};
};

}  // namespace platform
