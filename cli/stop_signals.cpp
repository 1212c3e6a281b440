// The command's stop signals.
#include "cli/stop_signals.h"

#include <unistd.h>

#include <array>

namespace cli {

namespace {

constexpr std::array kSignals{SIGINT, SIGTERM, SIGHUP};

// The process's one request: a signal handler can reach nothing else.
platform::StopRequest gRequest;
std::array<struct sigaction, kSignals.size()> gBefore{};

extern "C" void OnStopSignal(int signal)
{
    if (!gRequest.requestFirst(signal))
        ::_exit(128 + signal);  // the second: at once
}

}  // namespace

StopSignals::StopSignals()
{
    gRequest.clear();
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // a read or write the signal interrupts goes on
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        sigaction(kSignals[i], &action, &gBefore[i]);
}

StopSignals::~StopSignals()
{
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        sigaction(kSignals[i], &gBefore[i], nullptr);
}

const platform::StopRequest& StopSignals::request() const
{
    return gRequest;
}

std::string SignalName(int signal)
{
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "signal " + std::to_string(signal);
    }
}

}  // namespace cli
