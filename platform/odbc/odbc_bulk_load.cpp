// Bulk copy through FreeTDS's ODBC driver (odbcss.h of freetds-dev). Every
// column is bound once to a buffer of its own that holds a 4-byte length (-1
// for NULL) and the value; a row is copied into the buffers and sent.
#include "platform/odbc/odbc_bulk_load.h"

#include "platform/server_connection.h"

#include <sqlext.h>
#define TDSODBC_BCP
#include <odbcss.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace platform::odbc {

namespace {

// FreeTDS 1.3 keeps 4 KB of each value of a bulk row, and a longer one runs
// past them: values stay below that, the longer ones go as INSERTs.
constexpr std::size_t kDriverValueBytes = 4000;

// The host type each column is bound with, and the most bytes it takes.
struct Host {
    int type;
    std::size_t capacity;
};

Host HostOf(const BulkColumn& column)
{
    using Kind = BulkColumn::Kind;
    switch (column.kind) {
    case Kind::Integer: return {BCP_TYPE_SQLINT8, sizeof(std::int64_t)};
    case Kind::Bit: return {BCP_TYPE_SQLBIT, 1};
    case Kind::Float: return {BCP_TYPE_SQLFLT8, sizeof(double)};
    case Kind::Date:
    case Kind::Time:
    case Kind::Timestamp: return {BCP_TYPE_SQLDATETIME2, sizeof(SQL_TIMESTAMP_STRUCT)};
    case Kind::Decimal: return {BCP_TYPE_SQLCHAR, 48};  // the digits, a sign and a point
    case Kind::Text: return {BCP_TYPE_SQLCHAR, column.size};
    case Kind::UnicodeText: return {BCP_TYPE_SQLCHAR, 3 * column.size};  // UTF-8 of that many UTF-16 units
    case Kind::Binary: return {BCP_TYPE_SQLBINARY, column.size};
    case Kind::Other: break;
    }
    throw std::invalid_argument("A bulk load cannot bind this column.");
}

SQL_TIMESTAMP_STRUCT TimestampOf(const BulkValue::Moment& m)
{
    SQL_TIMESTAMP_STRUCT t{};
    t.year = static_cast<SQLSMALLINT>(m.year);
    t.month = static_cast<SQLUSMALLINT>(m.month);
    t.day = static_cast<SQLUSMALLINT>(m.day);
    t.hour = static_cast<SQLUSMALLINT>(m.hour);
    t.minute = static_cast<SQLUSMALLINT>(m.minute);
    t.second = static_cast<SQLUSMALLINT>(m.second);
    t.fraction = m.nanoseconds;
    return t;
}

class FreeTdsBulkLoad final : public BulkLoad {
public:
    FreeTdsBulkLoad(const OdbcHandle& connection, std::vector<BulkColumn> columns, LossNote lost)
        : connection_(connection), columns_(std::move(columns)), lost_(std::move(lost))
    {
    }

    void start(const std::string& table, bool lockTable);
    const std::vector<BulkColumn>& columns() const override { return columns_; }
    void addRow(std::span<const BulkValue> row) override;
    std::int64_t endBatch(bool last) override;

private:
    SQLHDBC dbc() const { return connection_.get(); }
    void put(std::size_t column, const BulkValue& value);
    [[noreturn]] void fail(const char* without);

    const OdbcHandle& connection_;
    std::vector<BulkColumn> columns_;
    LossNote lost_;
    std::vector<std::vector<unsigned char>> buffers_;
    bool sending_ = false;  // the driver began the load with the first row
};

void FreeTdsBulkLoad::start(const std::string& table, bool lockTable)
{
    if (bcp_initA(dbc(), table.c_str(), nullptr, nullptr, BCP_DIRECTION_IN) != SUCCEED)
        fail("The driver could not start a bulk load.");
    // Any value other than null keeps the identity values given.
    if (bcp_control(dbc(), BCPKEEPIDENTITY, reinterpret_cast<void*>(std::uintptr_t{1})) != SUCCEED)
        fail("The driver could not keep the identity values of a bulk load.");
    char tablock[] = "TABLOCK";
    if (lockTable && bcp_control(dbc(), BCPHINTS, tablock) != SUCCEED)
        fail("The driver could not lock the table for a bulk load.");
    buffers_.resize(columns_.size());
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const Host host = HostOf(columns_[i]);
        buffers_[i].assign(sizeof(std::int32_t) + host.capacity, 0);
        if (bcp_bind(dbc(), buffers_[i].data(), sizeof(std::int32_t), SQL_VARLEN_DATA, nullptr, 0, host.type,
                     static_cast<int>(i + 1))
            != SUCCEED)
            fail("The driver could not bind a column of a bulk load.");
    }
}

void FreeTdsBulkLoad::put(std::size_t column, const BulkValue& value)
{
    std::vector<unsigned char>& buffer = buffers_[column];
    const void* data = nullptr;
    std::size_t size = 0;
    SQL_TIMESTAMP_STRUCT moment{};
    const std::uint8_t bit = value.integer != 0 ? 1 : 0;
    switch (value.kind) {
    case BulkValue::Kind::Null: break;
    case BulkValue::Kind::Integer:
        data = columns_[column].kind == BulkColumn::Kind::Bit ? static_cast<const void*>(&bit) : &value.integer;
        size = columns_[column].kind == BulkColumn::Kind::Bit ? 1 : sizeof value.integer;
        break;
    case BulkValue::Kind::Float:
        data = &value.real;
        size = sizeof value.real;
        break;
    case BulkValue::Kind::Text:
    case BulkValue::Kind::Bytes:
        data = value.text.data();
        size = value.text.size();
        break;
    case BulkValue::Kind::Moment:
        moment = TimestampOf(value.moment);
        data = &moment;
        size = sizeof moment;
        break;
    }
    if (size > buffer.size() - sizeof(std::int32_t))
        throw std::length_error("A value is longer than its column takes in a bulk load.");
    const std::int32_t length = value.kind == BulkValue::Kind::Null ? SQL_NULL_DATA : static_cast<std::int32_t>(size);
    std::memcpy(buffer.data(), &length, sizeof length);
    if (size > 0)
        std::memcpy(buffer.data() + sizeof length, data, size);
}

void FreeTdsBulkLoad::addRow(std::span<const BulkValue> row)
{
    if (row.size() != columns_.size())
        throw std::invalid_argument("A bulk row holds a value for each column of its table.");
    for (std::size_t i = 0; i < row.size(); ++i)
        put(i, row[i]);
    sending_ = true;
    if (bcp_sendrow(dbc()) != SUCCEED) {
        // A row the driver gave up half-way: the batch is ended, so that the
        // connection is ready for the INSERTs that take its place.
        bcp_done(dbc());
        fail("The driver refused a row of a bulk load.");
    }
}

std::int64_t FreeTdsBulkLoad::endBatch(bool last)
{
    if (!sending_)
        return 0;  // nothing began: the driver has nothing to end
    const int rows = last ? bcp_done(dbc()) : bcp_batch(dbc());
    if (rows < 0)
        fail("The server refused a batch of a bulk load.");
    return rows;
}

void FreeTdsBulkLoad::fail(const char* without)
{
    const std::string diagnostics = Diagnostics(connection_, true);
    const std::string text = diagnostics.empty() ? std::string(without) : diagnostics;
    if (FirstSqlState(connection_).rfind("08", 0) == 0) {
        lost_(text);
        throw ConnectionLost(text);
    }
    throw ServerError(text);
}

}  // namespace

void AllowBulkCopy(const OdbcHandle& connection)
{
    // Before the login the driver manager keeps it, and hands it to the driver it loads.
    SQLSetConnectAttr(connection.get(), SQL_COPT_SS_BCP, reinterpret_cast<SQLPOINTER>(std::uintptr_t{SQL_BCP_ON}),
                      SQL_IS_INTEGER);
}

BulkColumn BulkColumnOf(const std::string& typeName, std::size_t size, int digits)
{
    using Kind = BulkColumn::Kind;
    const auto integer = [](std::int64_t least, std::int64_t most) { return BulkColumn{Kind::Integer, least, most}; };
    const auto capped = [size](Kind kind, std::size_t most) {
        BulkColumn c{kind};
        c.size = size == 0 || size > most ? most : size;
        return c;
    };
    BulkColumn c;
    if (typeName == "int")
        c = integer(std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
    else if (typeName == "smallint")
        c = integer(std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max());
    else if (typeName == "tinyint")
        c = integer(0, 255);
    else if (typeName == "bigint")
        c = integer(std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max());
    else if (typeName == "float")
        c.kind = Kind::Float;
    else if (typeName == "decimal" || typeName == "numeric" || typeName == "money")
        c = {Kind::Decimal, 0, 0, 0, static_cast<int>(size), digits};
    else if (typeName == "bit")
        c.kind = Kind::Bit;
    else if (typeName == "date")
        c.kind = Kind::Date;
    else if (typeName == "time")
        c.kind = Kind::Time;
    else if (typeName == "datetime2")
        c.kind = Kind::Timestamp;
    else if (typeName == "nvarchar" || typeName == "ntext")
        c = capped(Kind::UnicodeText, kDriverValueBytes / 2);
    else if (typeName == "varchar" || typeName == "text")
        c = capped(Kind::Text, kDriverValueBytes);
    else if (typeName == "varbinary" || typeName == "image")
        c = capped(Kind::Binary, kDriverValueBytes);
    return c;
}

std::unique_ptr<BulkLoad> StartBulkLoad(const OdbcHandle& connection, const std::string& quotedTable, bool lockTable,
                                        std::vector<BulkColumn> columns, LossNote lost)
{
    auto load = std::make_unique<FreeTdsBulkLoad>(connection, std::move(columns), std::move(lost));
    load->start(quotedTable, lockTable);
    return load;
}

}  // namespace platform::odbc
