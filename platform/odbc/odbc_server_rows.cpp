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

// A value larger than this is read in several calls.
constexpr std::size_t kChunkBytes = 64 * 1024;

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
    : link_(std::move(link)), wide_(wide), chunk_(kChunkBytes)
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

// SQLGetData's parts: a part that fills the buffer is followed by the next,
// until the driver says the value is complete.
void OdbcServerRows::readText(SQLUSMALLINT number, Column& column)
{
    SQLHSTMT handle = link_->statement->get();
    const SQLSMALLINT target = wide_ ? SQL_C_WCHAR : SQL_C_CHAR;
    const std::size_t unit = wide_ ? sizeof(SQLWCHAR) : 1;
    const std::size_t room = chunk_.size() / unit - 1;  // the driver ends each part with a NUL
    wideText_.clear();
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(handle, number, target, chunk_.data(),
                                        static_cast<SQLLEN>(chunk_.size()), &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc))
            fail();
        if (indicator == SQL_NULL_DATA) {
            column.null = true;
            return;
        }
        const std::size_t units = indicator == SQL_NO_TOTAL
            ? room
            : std::min(room, static_cast<std::size_t>(indicator) / unit);
        if (wide_)
            wideText_.append(reinterpret_cast<const char16_t*>(chunk_.data()), units);
        else
            column.data.append(chunk_.data(), units);
        if (rc == SQL_SUCCESS)
            break;
    }
    if (wide_)
        column.data = Utf16ToUtf8(wideText_);
}

void OdbcServerRows::readBytes(SQLUSMALLINT number, Column& column)
{
    SQLHSTMT handle = link_->statement->get();
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(handle, number, SQL_C_BINARY, chunk_.data(),
                                        static_cast<SQLLEN>(chunk_.size()), &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc))
            fail();
        if (indicator == SQL_NULL_DATA) {
            column.null = true;
            return;
        }
        const std::size_t bytes = indicator == SQL_NO_TOTAL
            ? chunk_.size()
            : std::min(chunk_.size(), static_cast<std::size_t>(indicator));
        column.data.append(chunk_.data(), bytes);
        if (rc == SQL_SUCCESS)
            break;
    }
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
