// Clipboard calls tried again until they succeed or the attempts run out.
#include "core/clipboard_retries.h"

#include "platform/clipboard.h"

namespace core {

namespace {
constexpr int kClipboardAttempts = 1000;
}

void ClearClipboard(platform::Clipboard& clipboard)
{
    for (int attempt = 0; attempt < kClipboardAttempts; ++attempt) {
        try {
            if (clipboard.clear())
                return;
        } catch (...) {
        }
    }
}

bool PutClipboardText(platform::Clipboard& clipboard, const std::string& text, int format)
{
    for (int attempt = 0; attempt < kClipboardAttempts; ++attempt) {
        try {
            if (clipboard.setText(text, format))
                return true;
        } catch (...) {
        }
    }
    return false;
}

}  // namespace core
