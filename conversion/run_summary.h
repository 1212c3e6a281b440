// The words a run ends with: the closing message after "Done." (the rows on
// the server, what verify found, every table that did not arrive and why, the
// failures and the log that holds them, the tables not reached, the rules'
// notes), and the line of a run that was asked to stop.
#pragma once

#include "conversion/run_result.h"

#include <string>

namespace core {
class RunReports;
}  // namespace core

namespace conversion {

// What follows "Done."; empty when there is nothing to say.
std::string ClosingSummary(const RunResult& result, int outsideFailures, const core::RunReports& reports);

// How a run that was asked to stop ended, in one line: by what, which table
// stopped after how many records and how many rows of it are stored, which
// tables it did not reach; `resume` names the way to continue.
std::string StopText(const RunResult& result, const std::string& by, const std::string& resume);

}  // namespace conversion
