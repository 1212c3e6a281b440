// UTF-8 <-> UTF-16 for the wide-character ODBC calls (unixODBC's SQLWCHAR is
// two bytes). Invalid input becomes U+FFFD rather than failing: texts here are
// statements and driver messages, never keys.
#pragma once

#include <string>
#include <string_view>

namespace platform::odbc {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace platform::odbc
