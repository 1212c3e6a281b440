// The shared routines of the windows and the engine.
#include "core/form_utilities.h"

#include "platform/clipboard.h"
#include "platform/event_loop.h"

#include <QString>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace core {

namespace {
constexpr int kClipboardAttempts = 1000;
}

std::string FileNameOf(std::string_view path)
{
    const auto cut = path.find_last_of("/\\");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

bool IsFolder(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}

bool FileExists(const std::string& path)
{
    if (path.empty())
        return false;
    std::error_code ec;
    [[maybe_unused]] const auto modified = std::filesystem::last_write_time(path, ec);
    return !ec;
}

bool ListContains(const ListItems& list, std::string_view text)
{
    const std::string wanted = LowerCase(text);
    bool found = false;
    for (const std::string& item : list) {
        if (LowerCase(item) == wanted)
            found = true;
    }
    return found;
}

void RemoveFromList(ListItems& list, std::string_view text)
{
    list.erase(std::remove(list.begin(), list.end(), text), list.end());
}

paradox::Value NullToDefault(const paradox::Value& value, const paradox::Value& defaultValue)
{
    return value.isNull() ? defaultValue : value;
}

std::string ProgramDriveRoot(const ProgramPaths& paths)
{
    std::string root = paths.driveRoot.empty() ? std::string("/") : paths.driveRoot;
    if (root.back() != '/')
        root.push_back('/');
    return root;
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

std::string LowerCase(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toLower().toStdString();
}

std::string UpperCase(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUpper().toStdString();
}

std::size_t CharacterCount(std::string_view text)
{
    std::size_t count = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80)
            ++count;
    }
    return count;
}

}  // namespace core
