// How many rows a table holds on the server, in the dialect's words:
// SELECT COUNT_BIG(*) FROM [T] (SQLite: COUNT(*), its count is 64-bit already).
#pragma once

#include "conversion/dialect.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {
class ServerConnection;
}  // namespace platform

namespace conversion {

std::string CountStatement(Dialect dialect, std::string_view tableName);

// Runs the count on the open connection. Throws a platform::ServerError when
// the server refuses it (no such table), std::runtime_error when its answer
// is no count.
std::int64_t CountRows(platform::ServerConnection& connection, Dialect dialect, std::string_view tableName);

}  // namespace conversion
