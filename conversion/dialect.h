// The words a statement is written in. The statements are SQL Server's; the
// one other target is the demo's SQLite, which lacks a few of SQL Server's
// words: for those alone (MAX types, binary and Unicode constants, SET
// IDENTITY_INSERT, adding a key to a table) this unit writes SQLite's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class ServerConnection;
}  // namespace platform

namespace conversion {

enum class Dialect : std::uint8_t { SqlServer, Sqlite };

// SQLite for a database system named "SQLite" (in any letter case), SQL
// Server for every other name, the empty one included.
Dialect DialectOfDbms(std::string_view dbmsName);
// The dialect of an open connection; SQL Server when it is closed or cannot say.
Dialect DialectOf(platform::ServerConnection& connection);

// A table, column or key name as the dialect quotes it: between square
// brackets with every "]" doubled (SQLite: between double quotes with every
// '"' doubled), so that no name can end early. Every name in a statement is
// written by this one function.
std::string QuotedName(Dialect dialect, std::string_view name);

// A column type as the dialect spells it: SQLite has no MAX length, so
// VARBINARY(MAX) is BLOB and NVARCHAR(MAX) TEXT there; other types stay.
std::string_view ColumnType(Dialect dialect, std::string_view sqlServerType);

// Bytes as a binary constant: 0x0AFF (0x for none); SQLite's X'0AFF'.
void AppendBinary(Dialect dialect, std::string_view bytes, std::string& out);

// What opens a Unicode string constant: N' (SQLite's texts are all Unicode: ').
std::string_view UnicodeQuote(Dialect dialect);

// SET IDENTITY_INSERT [T] ON or OFF; empty for SQLite, whose integer key
// columns take the values given without being asked.
std::string IdentityInsert(Dialect dialect, std::string_view tableName, bool on);

// One field of a table's primary key.
struct KeyColumn {
    std::string name;
    std::string type;       // its column type as SQL Server spells it
    bool identity = false;  // INT IDENTITY: never NULL, its type stays
    bool text = false;      // compared by the collation's rules
    int bytes = 0;          // the most an index entry needs for it
};

// The name of the table's key: PK_ + the table name (a long one cut, and
// told apart by a hash of it, within SQL Server's 128 characters).
std::string KeyName(std::string_view tableName);

// The statements that give a table whose rows are in its primary key over the
// columns given, in order. SQL Server: each column that may hold NULL is made
// NOT NULL, then ALTER TABLE [T] ADD CONSTRAINT [PK_T] PRIMARY KEY (...),
// NONCLUSTERED where the columns may need more than the 900 bytes of a
// clustered key (a nonclustered one takes 1,700). SQLite, which cannot add a
// key to a table: CREATE UNIQUE INDEX [PK_T] ON [T](...), its texts compared
// without letter case as SQL Server's usual collation does.
std::vector<std::string> KeyStatements(Dialect dialect, std::string_view tableName,
                                       const std::vector<KeyColumn>& columns);

}  // namespace conversion
