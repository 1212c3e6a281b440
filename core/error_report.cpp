// The text of the error report and the box that shows it.
#include "core/error_report.h"

#include <stdexcept>

namespace core {

namespace {
// What every location of the program's own windows and modules starts with.
constexpr std::string_view kLocationPrefix = "Quillon2021/08/31.";
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

void GuardedOperation::report(std::string_view description)
{
    ++failures_;
    platform::Message box;
    box.text = ErrorReportText(description, location_, current_);
    box.title = std::string(kErrorReportTitle);
    box.buttons = platform::Buttons::Ok;
    box.icon = platform::Icon::Warning;
    try {
        dialogs_.show(box);
    } catch (...) {
        // The report has no fallback; a box that cannot be shown loses the message.
    }
}

}  // namespace core
