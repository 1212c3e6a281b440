// The count statement and reading its one value.
#include "conversion/row_count.h"

#include "conversion/sql_text.h"
#include "platform/server_connection.h"

#include <charconv>
#include <stdexcept>

namespace conversion {

std::string CountStatement(Dialect dialect, std::string_view tableName)
{
    return std::string(dialect == Dialect::Sqlite ? "SELECT COUNT(*) FROM [" : "SELECT COUNT_BIG(*) FROM [")
        + QuoteName(tableName) + ']';
}

std::int64_t CountRows(platform::ServerConnection& connection, Dialect dialect, std::string_view tableName)
{
    const std::string statement = CountStatement(dialect, tableName);
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

}  // namespace conversion
