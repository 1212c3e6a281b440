// The words a run ends with: the closing message after "Done." (the rows on
// the server, what verify found, every table that did not arrive and why, the
// failures and the log that holds them, the tables not reached, the rules'
// notes), the line of a run that was asked to stop, and the word while the
// server keeps the run waiting.
#pragma once

#include "conversion/dialect.h"
#include "conversion/run_result.h"

#include <cstdint>
#include <optional>
#include <string>

namespace core {
class MainForm;
class RunReports;
}  // namespace core

namespace platform {
class EventLoop;
class ServerConnection;
}  // namespace platform

namespace conversion {

// What follows "Done."; empty when there is nothing to say.
std::string ClosingSummary(const RunResult& result, int outsideFailures, const core::RunReports& reports);

// How a run that was asked to stop ended, in one line: by what, which table
// stopped after how many records and how many rows of it are stored, which
// tables it did not reach; `resume` names the way to continue.
std::string StopText(const RunResult& result, const std::string& by, const std::string& resume);

// While a call has waited for the server's answer this long: "waiting for the server... (12 s)".
std::string ServerWaitingText(long long seconds);

// In the window, a call that keeps the run waiting for a server lets the
// window repaint, and after some seconds its progress text says so; the
// command says it on its own. SQLite standing in for a server is a file on
// this machine whose answers come within microseconds: its calls stay on the
// window's thread, where a hand-over to another would cost more than the call.
void SayWaits(platform::ServerConnection& server, Dialect dialect, platform::EventLoop& events, core::MainForm& form);

// The one report of a table whose connection was lost while it was written:
// why, how many rows of it the server holds (where they could be counted),
// and, where connecting again failed (`notAgain`: why), that the run stops.
std::string LostConnectionText(const std::string& lostBecause, const std::string& table,
                               const std::optional<std::int64_t>& serverRows, const std::string& notAgain);

}  // namespace conversion
