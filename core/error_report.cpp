// The text of the error report, the box that shows it, and the run's log of reports.
#include "core/error_report.h"

#include "platform/server_connection.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace core {

namespace {
// What every location of the program's own windows and modules starts with.
constexpr std::string_view kLocationPrefix = "Quillon2021/08/31.";

// One line of text: every line break becomes a space.
std::string OneLine(std::string_view text)
{
    std::string line;
    line.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        line.push_back(text[i] == '\r' || text[i] == '\n' ? ' ' : text[i]);
    }
    return line;
}

// What a report concerns: "ORDERS, record 5", "ORDERS", or nothing outside a table.
std::string Concerns(const platform::Failure& failure)
{
    std::string where = failure.table;
    if (failure.record >= 0)
        where += ", record " + std::to_string(failure.record);
    return where;
}

// "run-20240501-121500.log" in the folder, with "-2", "-3"... when taken.
std::filesystem::path NewLogPath(const std::filesystem::path& folder)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    for (int n = 1;; ++n) {
        std::string name = "run-";
        name += stamp;
        if (n > 1) {
            name += '-';
            name += std::to_string(n);
        }
        name += ".log";
        std::error_code error;
        if (!std::filesystem::exists(folder / name, error))
            return folder / name;
    }
}
}  // namespace

std::string ErrorReportText(std::string_view description, std::string_view location, int step)
{
    std::string text;
    text.reserve(description.size() + location.size() + 96);
    text += description;
    text += "\r\n";
    text += "in ";
    text += location;
    text += "at line ";
    text += std::to_string(step);
    text += "\r\r";
    text += "Please email screenshot of this message to ";
    text += kSupportAddress;
    return text;
}

std::string Location(std::string_view module, std::string_view procedure)
{
    std::string text(kLocationPrefix);
    text += module;
    text += '.';
    text += procedure;
    text += ' ';
    return text;
}

std::string CurrentExceptionDescription()
{
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error";
    }
}

std::string CurrentExceptionCause()
{
    try {
        throw;
    } catch (const platform::ServerError& e) {
        return e.driverText();
    } catch (...) {
        return CurrentExceptionDescription();
    }
}

void GuardedOperation::report(std::string_view description, std::string_view cause)
{
    ++failures_;
    platform::Failure failure;
    failure.box.text = ErrorReportText(description, location_, current_);
    failure.box.title = std::string(kErrorReportTitle);
    failure.box.buttons = platform::Buttons::Ok;
    failure.box.icon = platform::Icon::Warning;
    failure.location = location_;
    failure.step = current_;
    failure.description = std::string(description);
    failure.cause = std::string(cause.empty() ? description : cause);
    failure.table = table_;
    failure.record = record_;
    try {
        dialogs_.report(failure);
    } catch (...) {
        // The report has no fallback; a box that cannot be shown loses the message.
    }
}

RunReports::RunReports(platform::Dialogs& dialogs, std::string folder)
    : dialogs_(dialogs), folder_(std::move(folder))
{
}

platform::Answer RunReports::report(const platform::Failure& failure)
{
    const bool logged = writeLog(failure);
    // A report that reached no log is shown, whatever was chosen before.
    if (!boxes_ && logged)
        return platform::Answer::Ok;
    platform::Failure shown = failure;
    // After the report's own text: the table and record it concerns, and where the log is.
    if (!failure.table.empty())
        shown.box.text += "\r\rTable: " + Concerns(failure) + (failure.record >= 0 ? " (counted from 0)" : "");
    if (logged) {
        shown.box.text += std::string(failure.table.empty() ? "\r\r" : "\r") + "Run log: " + logFile_;
        shown.box.dontShowAgain = std::string(kDontShowAgain);
    }
    const platform::Answer answer = dialogs_.report(shown);
    if (answer == platform::Answer::OkDontShowAgain)
        boxes_ = false;
    return answer;
}

bool RunReports::openLog()
{
    if (folder_.empty() || !logProblem_.empty())
        return false;
    if (!log_.is_open()) {
        // The log quotes the server's messages, and they quote the data: it is
        // the user's alone, as the settings are.
        std::error_code error;
        if (std::filesystem::create_directories(folder_, error))
            std::filesystem::permissions(folder_, std::filesystem::perms::owner_all, error);
        const std::filesystem::path path = NewLogPath(folder_);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
        log_.open(path);
        if (!log_) {
            logProblem_ = "The log file " + path.string() + " could not be written"
                + (error ? ": " + error.message() : std::string()) + ".";
            return false;
        }
        logFile_ = path.string();
    }
    return true;
}

bool RunReports::writeLog(const platform::Failure& failure)
{
    std::string where = Concerns(failure);
    if (!where.empty())
        where += ": ";
    std::string location = failure.location;
    while (!location.empty() && location.back() == ' ')
        location.pop_back();
    return writeLine(where + OneLine(failure.description) + " (" + location + " at line " + std::to_string(failure.step) + ")");
}

void RunReports::note(const std::string& line)
{
    writeLine(OneLine(line));
}

bool RunReports::writeLine(const std::string& line)
{
    if (!openLog())
        return false;
    log_ << line << "\n";
    log_.flush();
    if (!log_) {
        logProblem_ = "The log file " + logFile_ + " could not be written to the end.";
        return false;
    }
    return true;
}

}  // namespace core
