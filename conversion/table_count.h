// Asking the server about a table of the run: whether it has one of that
// name (compared as the server compares names) and how many rows it holds.
#pragma once

#include "conversion/dialect.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {
class ServerConnection;
}  // namespace platform

namespace conversion {

// SELECT COUNT_BIG(*) FROM [T]; SQLite's COUNT(*).
std::string CountStatement(Dialect dialect, std::string_view table);

// The rows of the table on the server. Throws what the server says.
std::int64_t CountRows(platform::ServerConnection& connection, Dialect dialect, std::string_view table);

// Whether the server has a table of that name, by its own rules for names:
// SQL Server's catalog compared in the database's collation, SQLite's without
// letter case. Throws what the server says.
bool TableExists(platform::ServerConnection& connection, Dialect dialect, std::string_view table);

// A count as a user reads it: 1,000,000.
std::string Grouped(std::int64_t n);

}  // namespace conversion
