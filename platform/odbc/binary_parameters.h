// SQLite's ODBC driver copies a statement's text byte by byte before SQLite
// reads it, and SQLite then decodes each X'..' constant from hex: a picture
// costs the driver and SQLite more than storing it. Such a statement goes to
// that driver with its long binary constants as parameters holding their bytes
// (what SQLite stores is the same blob), the rest of its text as it is.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::odbc {

struct ParameterizedStatement {
    std::string text;                // "?" where each constant stood
    std::vector<std::string> bytes;  // each constant's bytes, in order
};

// Nothing when the statement has no X'..' constant (outside quotes, names and
// comments) of at least `least` bytes, or holds a "?" of its own.
std::optional<ParameterizedStatement> BinaryConstantsAsParameters(std::string_view statement, std::size_t least);

}  // namespace platform::odbc
