// The rows of one query on an ODBC statement handle, fetched one at a time,
// each value read whole by SQLGetData in chunks.
#pragma once

#include "platform/odbc/odbc_handle.h"
#include "platform/server_connection.h"

#include <memory>
#include <string>
#include <vector>

namespace platform::odbc {

// What a query's rows share with their connection: the statement handle while
// the rows may read it, null once the connection ended them (it ran something
// else on the handle, or closed) or they were read to the end.
struct RowsLink {
    const OdbcHandle* statement = nullptr;
};

class OdbcServerRows final : public ServerRows {
public:
    // The statement of the link has just run the query. Throws a ServerError
    // when its columns cannot be described.
    OdbcServerRows(std::shared_ptr<RowsLink> link, bool wide);
    ~OdbcServerRows() override;
    OdbcServerRows(const OdbcServerRows&) = delete;
    OdbcServerRows& operator=(const OdbcServerRows&) = delete;

    int columnCount() const override { return static_cast<int>(columns_.size()); }
    const std::string& columnName(int column) const override { return at(column).name; }
    int columnType(int column) const override { return at(column).type; }
    bool next() override;
    ServerValue value(int column) const override;

private:
    enum class Read : std::uint8_t { Text, Double, Bytes };
    struct Column {
        std::string name;
        int type = 0;
        Read read = Read::Text;
        bool null = false;
        std::string data;
    };
    const Column& at(int column) const { return columns_.at(static_cast<std::size_t>(column)); }
    void describe();
    // Reads the value in parts, handing each part's units (bytes, or UTF-16
    // code units) in chunk_ to append; false for NULL.
    template <typename Append>
    bool readParts(SQLUSMALLINT number, SQLSMALLINT target, std::size_t unit, Append append);
    void readText(SQLUSMALLINT number, Column& column);
    void readBytes(SQLUSMALLINT number, Column& column);
    void readDouble(SQLUSMALLINT number, Column& column);
    // Ends the cursor: the handle is free for the connection's next statement.
    void finish();
    [[noreturn]] void fail();

    std::shared_ptr<RowsLink> link_;
    bool wide_;
    std::vector<Column> columns_;
    std::vector<char> chunk_;
    std::u16string wideText_;
};

}  // namespace platform::odbc
