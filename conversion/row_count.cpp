// The count statements and reading their one value.
#include "conversion/row_count.h"

#include "platform/server_connection.h"

#include <charconv>
#include <stdexcept>

namespace conversion {

namespace {

std::int64_t FirstCount(platform::ServerConnection& connection, const std::string& statement)
{
    const auto rows = connection.query(statement);
    std::int64_t count = -1;
    if (rows->columnCount() == 1 && rows->next()) {
        const platform::ServerValue value = rows->value(0);
        const char* end = value.data.data() + value.data.size();
        if (value.kind != platform::ServerValue::Kind::Text
            || std::from_chars(value.data.data(), end, count).ptr != end)
            count = -1;
    }
    if (count < 0)
        throw std::runtime_error("The server's answer to " + statement + " is no count of rows.");
    return count;
}

// A name as a string constant of the dialect.
std::string NameConstant(Dialect dialect, std::string_view name)
{
    std::string text(UnicodeQuote(dialect));
    for (char c : name) {
        text += c;
        if (c == '\'')
            text += '\'';
    }
    return text + '\'';
}

}  // namespace

std::string CountStatement(Dialect dialect, std::string_view tableName)
{
    return std::string(dialect == Dialect::Sqlite ? "SELECT COUNT(*) FROM " : "SELECT COUNT_BIG(*) FROM ")
        + QuotedName(dialect, tableName);
}

std::int64_t CountRows(platform::ServerConnection& connection, Dialect dialect, std::string_view tableName)
{
    return FirstCount(connection, CountStatement(dialect, tableName));
}

bool TableExists(platform::ServerConnection& connection, Dialect dialect, std::string_view tableName)
{
    const std::string query = dialect == Dialect::Sqlite
        ? "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = " + NameConstant(dialect, tableName)
            + " COLLATE NOCASE"
        : "SELECT COUNT_BIG(*) FROM sys.tables WHERE name = " + NameConstant(dialect, tableName);
    return FirstCount(connection, query) > 0;
}

std::string Grouped(std::int64_t n)
{
    std::string digits = std::to_string(n < 0 ? -n : n);
    for (std::size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, 1, ',');
    return (n < 0 ? "-" : "") + digits;
}

}  // namespace conversion
