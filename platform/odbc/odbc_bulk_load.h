// FreeTDS's bulk copy (its ODBC bcp_* calls, which travel as connection
// attributes through the driver manager) on an open connection whose login
// asked for it: SQL Server's bulk load of one table.
#pragma once

#include "platform/bulk_load.h"
#include "platform/odbc/odbc_handle.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform::odbc {

// Before the login: the driver is to allow bulk copy on the connection.
void AllowBulkCopy(const OdbcHandle& connection);

// What a column of the type the driver names (SQL_DESC_TYPE_NAME: "int",
// "nvarchar", ...) takes in a bulk row, its size and decimal digits as
// SQLDescribeCol gives them.
BulkColumn BulkColumnOf(const std::string& typeName, std::size_t size, int digits);

// A bulk load of the table (its name quoted for a statement), whose columns
// the caller read from the server. Identity values are kept as given; with
// lockTable the load takes the table's lock (TABLOCK), as for a new table.
// `lost` is told the driver's words when the connection proves gone. Throws a
// ServerError when the driver refuses to start it.
using LossNote = std::function<void(const std::string& driverText)>;
std::unique_ptr<BulkLoad> StartBulkLoad(const OdbcHandle& connection, const std::string& quotedTable, bool lockTable,
                                        std::vector<BulkColumn> columns, LossNote lost);

}  // namespace platform::odbc
