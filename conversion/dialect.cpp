// SQL Server's words and SQLite's few others.
#include "conversion/dialect.h"

#include "core/unicode_case.h"

#include "conversion/binary_constant.h"
#include "conversion/table_names.h"
#include "platform/server_connection.h"

namespace conversion {

namespace {

// SQL Server's limits of an index entry's size.
constexpr int kClusteredKeyBytes = 900;


std::string ColumnList(Dialect dialect, const std::vector<KeyColumn>& columns, bool noCase)
{
    std::string list;
    for (const KeyColumn& c : columns) {
        if (!list.empty())
            list += ',';
        list += QuotedName(dialect, c.name);
        if (noCase && c.text)
            list += " COLLATE NOCASE";
    }
    return list;
}

}  // namespace

// SQLite reads SQL Server's brackets too, but knows no "]]" inside them:
// its own quotes, with "" inside, hold every name.
std::string QuotedName(Dialect dialect, std::string_view name)
{
    const char open = dialect == Dialect::Sqlite ? '"' : '[';
    const char close = dialect == Dialect::Sqlite ? '"' : ']';
    std::string out;
    out.reserve(name.size() + 2);
    out.push_back(open);
    for (char c : name) {
        out.push_back(c);
        if (c == close)
            out.push_back(close);
    }
    out.push_back(close);
    return out;
}

Dialect DialectOfDbms(std::string_view dbmsName)
{
    return core::EqualsIgnoringCase(dbmsName, "SQLite") ? Dialect::Sqlite : Dialect::SqlServer;
}

Dialect DialectOf(platform::ServerConnection& connection)
{
    try {
        return connection.isOpen() ? DialectOfDbms(connection.dbmsName()) : Dialect::SqlServer;
    } catch (const std::exception&) {
        return Dialect::SqlServer;  // a driver that cannot say is taken for SQL Server's
    }
}

std::string_view ColumnType(Dialect dialect, std::string_view sqlServerType)
{
    if (dialect == Dialect::Sqlite) {
        if (sqlServerType == "VARBINARY(MAX)")
            return "BLOB";
        if (sqlServerType == "NVARCHAR(MAX)")
            return "TEXT";
    }
    return sqlServerType;
}

void AppendBinary(Dialect dialect, std::string_view bytes, std::string& out)
{
    if (dialect == Dialect::SqlServer) {
        AppendBinaryConstant(bytes, out);
        return;
    }
    // SQLite reads 0x... as an integer: its binary constants are X'...'.
    const std::size_t at = out.size();
    AppendBinaryConstant(bytes, out);
    out[at] = 'X';
    out[at + 1] = '\'';
    out += '\'';
}

std::string_view UnicodeQuote(Dialect dialect)
{
    return dialect == Dialect::SqlServer ? "N'" : "'";
}

std::string IdentityInsert(Dialect dialect, std::string_view tableName, bool on)
{
    if (dialect == Dialect::Sqlite)
        return {};
    return "SET IDENTITY_INSERT " + QuotedName(dialect, tableName) + (on ? " ON" : " OFF");
}

std::string KeyName(std::string_view tableName)
{
    return ServerObjectName("PK_" + std::string(tableName));
}

std::vector<std::string> KeyStatements(Dialect dialect, std::string_view tableName,
                                       const std::vector<KeyColumn>& columns)
{
    const std::string table = QuotedName(dialect, tableName);
    const std::string key = QuotedName(dialect, KeyName(tableName));
    if (columns.empty())
        return {};
    if (dialect == Dialect::Sqlite)
        return {"CREATE UNIQUE INDEX " + key + " ON " + table + '(' + ColumnList(dialect, columns, true) + ')'};

    std::vector<std::string> statements;
    int bytes = 0;
    for (const KeyColumn& c : columns) {
        bytes += c.bytes;
        if (!c.identity)
            statements.push_back("ALTER TABLE " + table + " ALTER COLUMN " + QuotedName(dialect, c.name) + ' ' +
                                 c.type + " NOT NULL");
    }
    statements.push_back("ALTER TABLE " + table + " ADD CONSTRAINT " + key + " PRIMARY KEY " +
                         (bytes > kClusteredKeyBytes ? "NONCLUSTERED " : "") + '(' + ColumnList(dialect, columns, false) +
                         ')');
    return statements;
}

}  // namespace conversion
