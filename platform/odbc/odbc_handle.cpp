// Handle ownership and diagnostic texts.
#include "platform/odbc/odbc_handle.h"

#include "platform/odbc/utf16.h"

#include <sqlext.h>
#include <sqlucode.h>

#include <array>
#include <stdexcept>
#include <utility>

namespace platform::odbc {

OdbcHandle::OdbcHandle(SQLSMALLINT type, SQLHANDLE parent) : type_(type)
{
    const SQLRETURN rc = SQLAllocHandle(type, parent, &handle_);
    if (!SQL_SUCCEEDED(rc)) {
        handle_ = SQL_NULL_HANDLE;
        throw std::runtime_error("The ODBC driver manager could not allocate a handle.");
    }
}

OdbcHandle OdbcHandle::adopt(SQLSMALLINT type, SQLHANDLE handle)
{
    OdbcHandle owner;
    owner.type_ = type;
    owner.handle_ = handle;
    return owner;
}

OdbcHandle::OdbcHandle(OdbcHandle&& other) noexcept
    : type_(other.type_), handle_(std::exchange(other.handle_, nullptr))
{
}

OdbcHandle& OdbcHandle::operator=(OdbcHandle&& other) noexcept
{
    if (this != &other) {
        reset();
        type_ = other.type_;
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

void OdbcHandle::reset()
{
    if (handle_ != SQL_NULL_HANDLE) {
        SQLFreeHandle(type_, handle_);
        handle_ = SQL_NULL_HANDLE;
    }
}

namespace {

std::string Record(const std::string& state, const std::string& message)
{
    std::string text;
    if (!state.empty())
        text = "[SQLSTATE " + state + "] ";
    return text + message;
}

// Reads one record; false when there is none at that number.
bool ReadRecord(const OdbcHandle& handle, SQLSMALLINT number, bool wide, std::string& out)
{
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (wide) {
        std::array<SQLWCHAR, 6> state{};
        std::u16string message(1024, u'\0');
        SQLRETURN rc = SQLGetDiagRecW(handle.type(), handle.get(), number, state.data(), &native,
                                      reinterpret_cast<SQLWCHAR*>(message.data()),
                                      static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            message.assign(static_cast<std::size_t>(length) + 1, u'\0');
            rc = SQLGetDiagRecW(handle.type(), handle.get(), number, state.data(), &native,
                                reinterpret_cast<SQLWCHAR*>(message.data()),
                                static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (!SQL_SUCCEEDED(rc))
            return false;
        message.resize(std::min<std::size_t>(static_cast<std::size_t>(length), message.size()));
        const std::u16string stateText(state.begin(), state.begin() + 5);
        out = Record(Utf16ToUtf8(stateText), Utf16ToUtf8(message));
        return true;
    }
    std::array<SQLCHAR, 6> state{};
    std::string message(1024, '\0');
    SQLRETURN rc = SQLGetDiagRec(handle.type(), handle.get(), number, state.data(), &native,
                                 reinterpret_cast<SQLCHAR*>(message.data()),
                                 static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
        message.assign(static_cast<std::size_t>(length) + 1, '\0');
        rc = SQLGetDiagRec(handle.type(), handle.get(), number, state.data(), &native,
                           reinterpret_cast<SQLCHAR*>(message.data()),
                           static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc))
        return false;
    message.resize(std::min<std::size_t>(static_cast<std::size_t>(length), message.size()));
    out = Record(std::string(reinterpret_cast<const char*>(state.data()), 5), message);
    return true;
}

}  // namespace

std::string Diagnostics(const OdbcHandle& handle, bool wide)
{
    std::string all;
    if (!handle)
        return all;
    std::string record;
    for (SQLSMALLINT number = 1; number < 64 && ReadRecord(handle, number, wide, record); ++number) {
        if (!all.empty())
            all += "; ";
        all += record;
    }
    return all;
}

std::string FirstSqlState(const OdbcHandle& handle)
{
    if (!handle)
        return {};
    SQLCHAR state[6] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagField(handle.type(), handle.get(), 1, SQL_DIAG_SQLSTATE, state, sizeof state,
                                       &length)))
        return {};
    return std::string(reinterpret_cast<const char*>(state), 5);
}

bool DriverNotLoaded(const std::string& sqlState, const std::string& diagnostics)
{
    return sqlState == "IM002" || sqlState == "IM003"
        || (sqlState == "01000" && diagnostics.find("Can't open lib") != std::string::npos);
}

bool HasNativeError(const OdbcHandle& handle, SQLINTEGER native)
{
    if (!handle)
        return false;
    for (SQLSMALLINT number = 1; number < 64; ++number) {
        SQLINTEGER value = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagField(handle.type(), handle.get(), number, SQL_DIAG_NATIVE, &value, 0, nullptr)))
            return false;
        if (value == native)
            return true;
    }
    return false;
}

}  // namespace platform::odbc
