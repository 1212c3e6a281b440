// Asking the server about a table of the run: whether it has one of that name
// (compared as the server compares names), and how many rows it holds:
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

// Whether the server has a table of that name, by its own rules for names:
// SQL Server's catalog compared in the database's collation, SQLite's without
// letter case. Throws what the server says.
bool TableExists(platform::ServerConnection& connection, Dialect dialect, std::string_view tableName);

// A count as a user reads it: 1,000,000.
std::string Grouped(std::int64_t n);

}  // namespace conversion
