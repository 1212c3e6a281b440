// Fetching a query's rows: texts as UTF-16 from drivers with the wide calls,
// floating-point values as doubles, binary values as bytes.
#include "platform/odbc/odbc_server_rows.h"

#include "platform/odbc/utf16.h"

#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <charconv>

namespace platform::odbc {

namespace {

// The buffer of a value's first part, and the most one part may take.
constexpr std::size_t kFirstPart = 512;
constexpr std::size_t kLargestPart = std::size_t{16} << 20;

bool IsFloating(SQLSMALLINT type)
{
    return type == SQL_FLOAT || type == SQL_REAL || type == SQL_DOUBLE;
}

bool IsBinary(SQLSMALLINT type)
{
    return type == SQL_BINARY || type == SQL_VARBINARY || type == SQL_LONGVARBINARY;
}

}  // namespace

OdbcServerRows::OdbcServerRows(std::shared_ptr<RowsLink> link, bool wide)
    : link_(std::move(link)), wide_(wide), chunk_(kFirstPart)
{
    describe();
}

OdbcServerRows::~OdbcServerRows()
{
    finish();
}

void OdbcServerRows::finish()
{
    if (link_->statement) {
        SQLFreeStmt(link_->statement->get(), SQL_CLOSE);
        link_->statement = nullptr;
    }
}

void OdbcServerRows::fail()
{
    std::string diagnostics = link_->statement ? Diagnostics(*link_->statement, wide_) : std::string();
    if (!link_->statement)
        diagnostics = "The rows of the query were ended: the connection ran another statement or closed.";
    else if (diagnostics.empty())
        diagnostics = "The driver reported a failure without a message.";
    finish();
    throw ServerError(diagnostics);
}

void OdbcServerRows::describe()
{
    SQLHSTMT handle = link_->statement->get();
    SQLSMALLINT count = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(handle, &count)))
        fail();
    columns_.resize(static_cast<std::size_t>(std::max<SQLSMALLINT>(count, 0)));
    for (SQLUSMALLINT c = 1; c <= columns_.size(); ++c) {
        Column& column = columns_[c - 1];
        SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        SQLRETURN rc;
        if (wide_) {
            std::u16string name(256, u'\0');
            rc = SQLDescribeColW(handle, c, reinterpret_cast<SQLWCHAR*>(name.data()),
                                 static_cast<SQLSMALLINT>(name.size()), &length, &type, &size, &digits, &nullable);
            name.resize(std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                              name.size() - 1));
            column.name = Utf16ToUtf8(name);
        } else {
            std::string name(512, '\0');
            rc = SQLDescribeCol(handle, c, reinterpret_cast<SQLCHAR*>(name.data()),
                                static_cast<SQLSMALLINT>(name.size()), &length, &type, &size, &digits, &nullable);
            name.resize(std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                              name.size() - 1));
            column.name = std::move(name);
        }
        if (!SQL_SUCCEEDED(rc))
            fail();
        column.type = type;
        column.read = IsFloating(type) ? Read::Double : IsBinary(type) ? Read::Bytes : Read::Text;
    }
}

bool OdbcServerRows::next()
{
    if (!link_->statement)
        fail();
    if (columns_.empty()) {
        finish();
        return false;
    }
    const SQLRETURN rc = SQLFetch(link_->statement->get());
    if (rc == SQL_NO_DATA) {
        finish();
        return false;
    }
    if (!SQL_SUCCEEDED(rc))
        fail();
    for (SQLUSMALLINT c = 1; c <= columns_.size(); ++c) {
        Column& column = columns_[c - 1];
        column.null = false;
        column.data.clear();
        switch (column.read) {
        case Read::Text:
            readText(c, column);
            break;
        case Read::Bytes:
            readBytes(c, column);
            break;
        case Read::Double:
            readDouble(c, column);
            break;
        }
    }
    return true;
}

// SQLGetData's parts: a small first part (a driver may fill the whole buffer it
// is given, so a large one costs every value), then what is left in one part
// where the driver says how much, else in parts that grow.
template <typename Append>
bool OdbcServerRows::readParts(SQLUSMALLINT number, SQLSMALLINT target, std::size_t unit, Append append)
{
    SQLHSTMT handle = link_->statement->get();
    const std::size_t terminator = target == SQL_C_BINARY ? 0 : unit;
    std::size_t ask = kFirstPart;
    for (;;) {
        if (chunk_.size() < ask)
            chunk_.resize(ask);
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(handle, number, target, chunk_.data(), static_cast<SQLLEN>(ask), &indicator);
        if (rc == SQL_NO_DATA)
            return true;
        if (!SQL_SUCCEEDED(rc))
            fail();
        if (indicator == SQL_NULL_DATA)
            return false;
        const std::size_t room = (ask - terminator) / unit;
        const bool total = indicator != SQL_NO_TOTAL;
        const std::size_t left = total ? static_cast<std::size_t>(indicator) / unit : 0;
        const std::size_t got = total ? std::min(room, left) : room;
        append(got);
        if (rc == SQL_SUCCESS)
            return true;
        ask = left > got ? std::min((left - got) * unit + terminator, kLargestPart) : std::min(ask * 2, kLargestPart);
    }
}

void OdbcServerRows::readText(SQLUSMALLINT number, Column& column)
{
    wideText_.clear();
    if (wide_) {
        column.null = !readParts(number, SQL_C_WCHAR, sizeof(SQLWCHAR), [&](std::size_t units) {
            wideText_.append(reinterpret_cast<const char16_t*>(chunk_.data()), units);
        });
        column.data = Utf16ToUtf8(wideText_);
    } else {
        column.null = !readParts(number, SQL_C_CHAR, 1, [&](std::size_t bytes) { column.data.append(chunk_.data(), bytes); });
    }
}

void OdbcServerRows::readBytes(SQLUSMALLINT number, Column& column)
{
    column.null = !readParts(number, SQL_C_BINARY, 1, [&](std::size_t bytes) { column.data.append(chunk_.data(), bytes); });
}

void OdbcServerRows::readDouble(SQLUSMALLINT number, Column& column)
{
    double value = 0;
    SQLLEN indicator = 0;
    if (!SQL_SUCCEEDED(SQLGetData(link_->statement->get(), number, SQL_C_DOUBLE, &value, sizeof value, &indicator)))
        fail();
    if (indicator == SQL_NULL_DATA) {
        column.null = true;
        return;
    }
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    column.data.assign(text, written.ptr);
}

ServerValue OdbcServerRows::value(int column) const
{
    const Column& c = at(column);
    if (c.null)
        return {};
    return {c.read == Read::Bytes ? ServerValue::Kind::Bytes : ServerValue::Kind::Text, c.data};
}

}  // namespace platform::odbc
