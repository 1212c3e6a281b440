// Message boxes on QMessageBox, modal to the active window.
#pragma once

#include "platform/dialogs.h"

namespace platform {

class QtDialogs final : public Dialogs {
public:
    Answer show(const Message& message) override;
};

// CR LF and lone CR become the line breaks Qt shows.
std::string LineBreaksForDisplay(const std::string& text);

}  // namespace platform
