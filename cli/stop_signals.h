// SIGINT, SIGTERM and SIGHUP while a command converts: the first asks the run
// to stop at its next statement boundary; a second ends the process at once.
#pragma once

#include "platform/stop_request.h"

#include <csignal>
#include <string>

namespace cli {

class StopSignals {
public:
    // Installs the handlers; the ones before are put back when this ends.
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    const platform::StopRequest& request() const;
};

// "SIGTERM" for 15, and so on for the signals above.
std::string SignalName(int signal);

}  // namespace cli
