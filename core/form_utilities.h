// Small routines shared by the windows and the engine: path and file tests,
// list lookups, the Null guard, the program's drive root, clipboard access with
// retries, and the aligned text of a list's ticked rows.
#pragma once

#include "paradox/value.h"

#include <string>
#include <string_view>
#include <vector>

namespace platform {
class Clipboard;
class EventLoop;
}  // namespace platform

namespace core {

// Where the program lies and its drive root (the home folder in the program).
// Tests inject both, so nothing is created outside their temporary folders.
struct ProgramPaths {
    std::string folder;        // the program's own folder, without a trailing "/"
    std::string driveRoot = "/";
};

// The part after the last "/" or "\"; the whole text without either; empty after a trailing one.
std::string FileNameOf(std::string_view path);
// True for an existing folder; any failure gives false.
bool IsFolder(const std::string& path);
// True when the file's modification time can be read; any failure gives false.
bool FileExists(const std::string& path);

// A list box's items.
using ListItems = std::vector<std::string>;
// Some item equals the text when both are lower-cased (every item is examined).
bool ListContains(const ListItems& list, std::string_view text);
// Removes every item exactly equal to the text, keeping the others in order.
void RemoveFromList(ListItems& list, std::string_view text);

// The default when the value is Null, otherwise the value.
paradox::Value NullToDefault(const paradox::Value& value, const paradox::Value& defaultValue);

// The drive part of the program's folder followed by the separator: on Linux the
// user's home folder, the one place a user can always create a folder.
std::string ProgramDriveRoot(const ProgramPaths& paths);

// Clipboard routines: up to 1000 attempts, no pause, failures never reported.
void ClearClipboard(platform::Clipboard& clipboard);
bool PutClipboardText(platform::Clipboard& clipboard, const std::string& text, int format);

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

// Lower and upper case over all of Unicode (table names may hold any letter).
std::string LowerCase(std::string_view text);
std::string UpperCase(std::string_view text);

// The number of characters (code points) of a UTF-8 text.
std::size_t CharacterCount(std::string_view text);

}  // namespace core
