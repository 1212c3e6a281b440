// Message boxes and modal windows, as the program asks for them. The Qt
// implementation shows them; tests use a scripted one that records each message
// and answers from a script; the headless command writes them to standard error.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// YesNoToAll: Yes, No, "Yes to All" and "No to All".
enum class Buttons { Ok, YesNo, YesNoToAll };
// Warning marks a failure; None leaves the box the sign of its kind (a message
// the information sign, a question the question mark).
enum class Icon { None, Warning };
// OkDontShowAgain: OK with the message's check box ticked.
// Continue: the message's "Continue" button.
enum class Answer { Ok, Yes, No, YesToAll, NoToAll, OkDontShowAgain, Continue };

struct Message {
    std::string text;   // exact characters; CR LF or a lone CR is a line break
    std::string title;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    // A check box under the text with this caption (none when empty), for a
    // box with an OK button: ticked, the answer is Answer::OkDontShowAgain.
    std::string dontShowAgain = {};
    // A question that may also be answered "Continue" (Answer::Continue).
    bool offerContinue = false;
};

// A failure of a guarded operation, as the error report tells it: the
// "Application Error" box, and its parts for a log or a terminal line.
struct Failure {
    Message box;
    std::string location;
    int step = 0;
    std::string description;  // the box's first line(s)
    std::string cause;        // the failure's own text: for a statement the server refused, the driver's message
    std::string table;        // the table the run was converting; empty outside a table
    std::int64_t record = -1; // the table's record (counted from 0, as dump numbers them); -1 for none
};

// The text with each CR LF and each lone CR as a line feed, for a screen or a terminal.
inline std::string WithLineFeeds(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            out.push_back(text[i]);
            continue;
        }
        out.push_back('\n');
        if (i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
    }
    return out;
}

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Shows a modal message box and waits for the answer.
    virtual Answer show(const Message& message) = 0;
    // Tells the user of a failure: its box, unless the user was told otherwise.
    virtual Answer report(const Failure& failure) { return show(failure.box); }
};

}  // namespace platform
