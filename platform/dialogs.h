// Message boxes and modal windows, as the program asks for them. The Qt
// implementation shows them; tests use a scripted one that records each message
// and answers from a script.
#pragma once

#include <string>

namespace platform {

enum class Buttons { Ok, YesNo };
enum class Icon { None, Warning };
enum class Answer { Ok, Yes, No };

struct Message {
    std::string text;   // exact characters; CR LF or a lone CR is a line break
    std::string title;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
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
};

}  // namespace platform
