// UTF-8 <-> UTF-16 for the wide-character ODBC calls (unixODBC's SQLWCHAR is
// two bytes). Invalid input becomes U+FFFD rather than failing: texts here are
// statements and driver messages, never keys.
#pragma once

#include <string>
#include <string_view>

namespace platform::odbc {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Replaces out's contents with the UTF-16 of text, keeping out's buffer: a
// statement sent again and again is encoded without an allocation. Runs of
// ASCII are copied eight bytes at a time.
void AssignUtf16(std::string_view text, std::u16string& out);

}  // namespace platform::odbc
