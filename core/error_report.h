// The uniform error report: every guarded operation runs numbered steps; a
// step that fails shows one "Application Error" box naming the failure, the
// operation and the step, and the operation goes on with its next step.
// During a conversion run the reports also go to the run's log file, and the
// user may go on without their boxes (RunReports).
#pragma once

#include "platform/dialogs.h"

#include <cstdint>
#include <exception>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>

namespace core {

inline constexpr std::string_view kSupportAddress = "support@marrowby.example";
inline constexpr std::string_view kErrorReportTitle = "Application Error";

// description CR LF "in " location "at line " step CR CR "Please email screenshot ..."
std::string ErrorReportText(std::string_view description, std::string_view location, int step);

// The location text of a guarded operation of the program's windows and
// modules: Location("Form2", "PushButton1_Click") is
// "Quillon2021/08/31.Form2.PushButton1_Click " (with its closing blank).
std::string Location(std::string_view module, std::string_view procedure);

// The description of the exception being handled (call inside a catch block).
std::string CurrentExceptionDescription();
// Its cause, for a log or a terminal: the driver's own message for what the
// server refused, the description otherwise (call inside a catch block).
std::string CurrentExceptionCause();

class GuardedOperation {
public:
    // location ends with one space, as Location() makes it.
    GuardedOperation(platform::Dialogs& dialogs, std::string location)
        : dialogs_(dialogs), location_(std::move(location))
    {
    }

    // Runs one step; a failure is reported with this step's number. Returns
    // whether the step ran to its end.
    template <typename F>
    bool step(int number, F&& action)
    {
        current_ = number;
        try {
            std::forward<F>(action)();
            return true;
        } catch (...) {
            report(CurrentExceptionDescription(), CurrentExceptionCause());
            return false;
        }
    }

    // A step that is a test: a failure is reported and counts as false, so the
    // statements that depend on it are skipped.
    template <typename F>
    bool test(int number, F&& condition)
    {
        bool result = false;
        step(number, [&] { result = static_cast<bool>(std::forward<F>(condition)()); });
        return result;
    }

    // Shows the report for the current step; the cause is the description
    // unless told otherwise.
    void report(std::string_view description, std::string_view cause = {});

    // What the later reports concern: a table of the run (empty: none) and
    // its record (counted from 0; -1: none).
    void setTable(std::string table) { table_ = std::move(table); record_ = -1; }
    void setRecord(std::int64_t record) { record_ = record; }
    std::int64_t record() const { return record_; }

    int currentStep() const { return current_; }
    int failures() const { return failures_; }
    const std::string& location() const { return location_; }

private:
    platform::Dialogs& dialogs_;
    std::string location_;
    int current_ = 0;
    int failures_ = 0;
    std::string table_;
    std::int64_t record_ = -1;
};

// The dialogs of one conversion run. Every report is written to the run's log
// file (one line: table, record, step and the failure), and while that file is
// written its box offers "Don't show again during this run"; once ticked, the
// run's later reports go to the file only. Each box adds, after the report's
// own text, the table and record it concerns and the log file's path. Other
// messages pass through.
class RunReports final : public platform::Dialogs {
public:
    static constexpr std::string_view kDontShowAgain = "Don't show again during this run";

    // The log goes into `folder` (made when the first report comes); an empty
    // folder keeps no log, and then every box is shown.
    RunReports(platform::Dialogs& dialogs, std::string folder);

    platform::Answer show(const platform::Message& message) override { return dialogs_.show(message); }
    platform::Answer report(const platform::Failure& failure) override;

    // A line for the log alone, no box: how the run ended when nobody is left to tell.
    void note(const std::string& line);

    // The log file once a report went into it; empty before and without one.
    const std::string& logFile() const { return logFile_; }
    // Why no log could be written, when one was wanted and could not be.
    const std::string& logProblem() const { return logProblem_; }

private:
    bool openLog();
    bool writeLog(const platform::Failure& failure);
    bool writeLine(const std::string& line);

    platform::Dialogs& dialogs_;
    std::string folder_;
    std::string logFile_;
    std::string logProblem_;
    std::ofstream log_;
    bool boxes_ = true;
};

}  // namespace core
