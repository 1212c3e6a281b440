// Reading back what reached an SQLite file standing in for SQL Server.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <string>

namespace testsupport {

// Every row of the query, columns joined by "|", each row ending in "\n" (as
// the sqlite3 command prints them); "" when the query fails.
inline std::string ReadRows(const std::filesystem::path& database, const std::string& sql)
{
    sqlite3* db = nullptr;
    std::string rows;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK) {
            while (sqlite3_step(s) == SQLITE_ROW) {
                for (int c = 0; c < sqlite3_column_count(s); ++c) {
                    if (c > 0)
                        rows += '|';
                    if (const unsigned char* text = sqlite3_column_text(s, c))
                        rows.append(reinterpret_cast<const char*>(text),
                                    static_cast<std::size_t>(sqlite3_column_bytes(s, c)));
                }
                rows += '\n';
            }
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return rows;
}

// The first value of the query's first row, "" for none.
inline std::string ReadOne(const std::filesystem::path& database, const std::string& sql)
{
    const std::string rows = ReadRows(database, sql);
    return rows.substr(0, rows.find_first_of("|\n"));
}

}  // namespace testsupport
