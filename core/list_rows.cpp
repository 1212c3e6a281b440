// The aligned text of a list's ticked rows.
#include "core/list_rows.h"

#include "core/clipboard_retries.h"
#include "core/unicode_case.h"
#include "platform/event_loop.h"

#include <algorithm>
#include <vector>

namespace core {

std::string CheckedRowsText(const ListRows& list, platform::EventLoop& events)
{
    const int columns = list.columnCount();
    std::vector<std::size_t> width(static_cast<std::size_t>(std::max(columns, 0)), 0);
    const int rows = list.rowCount();
    for (int r = 1; r <= rows; ++r) {
        for (int k = 1; k <= columns; ++k) {
            events.yield();
            auto& w = width[static_cast<std::size_t>(k - 1)];
            w = std::max(w, CharacterCount(list.cell(r, k)));
        }
    }

    std::string text;
    const int rowsNow = list.rowCount();
    for (int r = 1; r <= rowsNow; ++r) {
        if (!list.checked(r))
            continue;
        for (int k = 1; k <= columns; ++k) {
            events.yield();
            const std::string cell = list.cell(r, k);
            text += cell;
            // The last cell's padding and tab would be cut off again with the
            // trailing spaces, so they are never written (a long memo line
            // would otherwise pad every row to its width).
            if (k == columns)
                break;
            const std::size_t length = CharacterCount(cell);
            const std::size_t w = width[static_cast<std::size_t>(k - 1)];
            if (w > length)
                text.append(w - length, ' ');
            text.push_back('\t');
        }
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        text += "\r\n";
    }
    return text;
}

void CopyCheckedRows(const ListRows& list, platform::Clipboard& clipboard,
                     platform::EventLoop& events)
{
    if (list.rowCount() == 0)
        return;
    const std::string text = CheckedRowsText(list, events);
    ClearClipboard(clipboard);
    PutClipboardText(clipboard, text, 0);
}

}  // namespace core
