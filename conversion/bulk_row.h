// A bulk-load row read from the INSERT statement the run builds for a record,
// so that both roads carry the very same values: each constant is read as SQL
// Server reads it ('..' and N'..' with their quotes doubled and their
// backslash line continuations, 0x.. bytes, numbers, NULL) and must be of the
// form its column takes exactly. Where one is not (a text longer than its
// column or than the load holds, a non-Unicode column's text beyond ASCII,
// whose code page the server chooses, a number its column would round or
// refuse, a constant of another kind), the row is left to its INSERT.
#pragma once

#include "platform/bulk_load.h"

#include <span>
#include <string_view>
#include <vector>

namespace conversion {

// Fills `row` with one value per column from the VALUES(...) of a single-row
// INSERT; false when the statement or a value cannot go as a bulk row.
bool ReadBulkRow(std::string_view insert, std::span<const platform::BulkColumn> columns,
                 std::vector<platform::BulkValue>& row);

}  // namespace conversion
