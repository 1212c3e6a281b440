// A table's existence and row count, asked of the server.
#include "conversion/table_count.h"

#include "conversion/sql_text.h"
#include "platform/server_connection.h"

#include <charconv>
#include <stdexcept>

namespace conversion {

namespace {

std::int64_t FirstCount(platform::ServerConnection& connection, const std::string& query)
{
    const std::optional<std::string> text = connection.firstValue(query);
    std::int64_t n = 0;
    if (!text || std::from_chars(text->data(), text->data() + text->size(), n).ec != std::errc())
        throw std::runtime_error("The server answered \"" + query + "\" with no count.");
    return n;
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

std::string CountStatement(Dialect dialect, std::string_view table)
{
    return std::string(dialect == Dialect::Sqlite ? "SELECT COUNT(*) FROM " : "SELECT COUNT_BIG(*) FROM ")
        + QuotedName(dialect, table);
}

std::int64_t CountRows(platform::ServerConnection& connection, Dialect dialect, std::string_view table)
{
    return FirstCount(connection, CountStatement(dialect, table));
}

bool TableExists(platform::ServerConnection& connection, Dialect dialect, std::string_view table)
{
    const std::string query = dialect == Dialect::Sqlite
        ? "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = " + NameConstant(dialect, table)
            + " COLLATE NOCASE"
        : "SELECT COUNT_BIG(*) FROM sys.tables WHERE name = " + NameConstant(dialect, table);
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
