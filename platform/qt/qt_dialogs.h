// Message boxes on QMessageBox, modal to the active window.
#pragma once

#include "platform/dialogs.h"

namespace platform {

class QtDialogs final : public Dialogs {
public:
    Answer show(const Message& message) override;
};

}  // namespace platform
