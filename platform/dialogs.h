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

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Shows a modal message box and waits for the answer.
    virtual Answer show(const Message& message) = 0;
};

}  // namespace platform
