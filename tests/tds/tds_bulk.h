// Bulk load as SQL Server takes it: the columns of a table the server created
// (from its CREATE TABLE), told in COLMETADATA to "SET FMTONLY ON select *
// from T", and the rows of a bulk-load message (COLMETADATA, one ROW token
// per row, a DONE or none), each value written as the record shows it.
#pragma once

#include "tests/tds/tds_wire.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tdstest {

struct ColumnDef {
    std::string name;
    std::string type;  // upper case: INT, NVARCHAR, DECIMAL, ...
    int length = 0;    // NVARCHAR(n), VARBINARY(n); -1 for MAX
    int precision = 0;
    int scale = -1;    // DECIMAL(p,s), TIME(s), DATETIME2(s)
    bool identity = false;
};

// The columns of "CREATE TABLE [T]([A] INT IDENTITY(1,1),[B] NVARCHAR(40),...)".
std::vector<ColumnDef> ColumnsOfCreate(std::string_view create);

// The COLMETADATA of a query of the table's columns, with no rows.
void PutTableColumns(Writer& w, std::string_view table, const std::vector<ColumnDef>& columns, bool tds72);

// A value as the record writes it: a text as it is, a number in digits (a
// decimal or MONEY with its scale's decimals), a date, time or timestamp as
// YYYY-MM-DD, hh:mm:ss.fff (its column's decimals), YYYY-MM-DDThh:mm:ss.fff,
// bytes as 0x and upper-case hex; none for NULL.
using StoredValues = std::vector<std::optional<std::string>>;

// Every row of a bulk-load message for the table (its columns as created);
// throws std::runtime_error on a message that breaks its own lengths.
std::vector<StoredValues> ReadBulkRows(std::string_view body, const std::vector<ColumnDef>& table, bool tds72);

}  // namespace tdstest
