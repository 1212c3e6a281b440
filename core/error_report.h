// The uniform error report: every guarded operation runs numbered steps; a
// step that fails shows one "Application Error" box naming the failure, the
// operation and the step, and the operation goes on with its next step.
#pragma once

#include "platform/dialogs.h"

#include <exception>
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
            report(CurrentExceptionDescription());
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

    // Shows the report for the current step.
    void report(std::string_view description);

    int currentStep() const { return current_; }
    int failures() const { return failures_; }
    const std::string& location() const { return location_; }

private:
    platform::Dialogs& dialogs_;
    std::string location_;
    int current_ = 0;
    int failures_ = 0;
};

}  // namespace core
