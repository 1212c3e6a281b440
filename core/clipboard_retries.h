// Clipboard access as the windows use it: another program may hold the
// clipboard for a moment, so each call is tried again before it gives up.
#pragma once

#include <string>

namespace platform {
class Clipboard;
}  // namespace platform

namespace core {

// Up to 1000 attempts, no pause, failures never reported.
void ClearClipboard(platform::Clipboard& clipboard);
bool PutClipboardText(platform::Clipboard& clipboard, const std::string& text, int format);

}  // namespace core
