// The rows of a multi-column list as aligned, tab-separated text, and the
// copy of the ticked rows to the clipboard (CopyCheckedRows).
#pragma once

#include <string>

namespace platform {
class Clipboard;
class EventLoop;
}  // namespace platform

namespace core {

// A multi-column list as CopyCheckedRows reads it; rows and columns from 1.
class ListRows {
public:
    virtual ~ListRows() = default;
    virtual int rowCount() const = 0;
    virtual int columnCount() const = 0;
    virtual std::string cell(int row, int column) const = 0;  // column 1 is the main text
    virtual bool checked(int row) const = 0;
};

// The ticked rows as aligned, tab-separated text, each row ending in CR LF.
// Yields to the event loop before each cell.
std::string CheckedRowsText(const ListRows& list, platform::EventLoop& events);

// Puts that text on the clipboard; a list without rows leaves the clipboard alone.
void CopyCheckedRows(const ListRows& list, platform::Clipboard& clipboard,
                     platform::EventLoop& events);

}  // namespace core
