// Yielding to the event loop during long work, so that windows repaint and
// take input. A yield is cheap: the real one enters the event loop only when
// some milliseconds have passed since it last did.
#pragma once

#include <functional>

namespace platform {

class EventLoop {
public:
    virtual ~EventLoop() = default;
    virtual void yield() = 0;
    // A turn after a piece of work that may have cost a server's round trip
    // (a line of Execute SQL), so that a click on Back or Skip is seen before
    // the next piece begins. Without windows there is nothing to turn.
    virtual void turnAfterRoundTrip() {}
    // What turns the loop while a call waits for a server's answer: windows
    // repaint and can be closed, but take no clicks or keys, since a click
    // might start another call on the same connection. Empty without windows.
    virtual std::function<void()> waitingTurn() { return {}; }
};

// For code that runs without windows.
class NoEventLoop final : public EventLoop {
public:
    void yield() override {}
};

}  // namespace platform
