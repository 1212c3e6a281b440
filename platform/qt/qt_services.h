// The clipboard, the desktop shell and the event loop on Qt.
#pragma once

#include "platform/clipboard.h"
#include "platform/desktop.h"
#include "platform/time_sliced_event_loop.h"

#include <memory>

namespace platform {

class QtClipboard final : public Clipboard {
public:
    bool clear() override;
    bool setText(const std::string& text, int format) override;
};

class QtDesktop final : public Desktop {
public:
    bool open(const std::string& urlOrPath) override;
    std::string pickFolder(const std::string& prompt, const std::string& initialFolder) override;
};

// Time-sliced yields into QCoreApplication::processEvents.
std::unique_ptr<TimeSlicedEventLoop> MakeQtEventLoop();

}  // namespace platform
