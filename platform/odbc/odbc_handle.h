// A thin owner of one ODBC handle (environment, connection or statement) and
// the driver's diagnostics of a handle as one readable text.
#pragma once

#include <sql.h>

#include <string>

namespace platform::odbc {

class OdbcHandle {
public:
    OdbcHandle() = default;
    // Allocates a handle of the type under its parent; throws when the driver manager refuses.
    OdbcHandle(SQLSMALLINT type, SQLHANDLE parent);
    // Takes over a handle allocated elsewhere.
    static OdbcHandle adopt(SQLSMALLINT type, SQLHANDLE handle);
    ~OdbcHandle() { reset(); }
    OdbcHandle(OdbcHandle&& other) noexcept;
    OdbcHandle& operator=(OdbcHandle&& other) noexcept;
    OdbcHandle(const OdbcHandle&) = delete;
    OdbcHandle& operator=(const OdbcHandle&) = delete;

    SQLHANDLE get() const { return handle_; }
    SQLSMALLINT type() const { return type_; }
    explicit operator bool() const { return handle_ != SQL_NULL_HANDLE; }
    void reset();

private:
    SQLSMALLINT type_ = 0;
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// Every diagnostic record of the handle as "[SQLSTATE xxxxx] message", joined
// with "; ". Wide reads the messages through the wide-character call, for
// drivers that have it; narrow ones are read as UTF-8. "" when there is none.
std::string Diagnostics(const OdbcHandle& handle, bool wide);
// The SQLSTATE of the handle's first diagnostic record; "" when there is none.
std::string FirstSqlState(const OdbcHandle& handle);

// Whether the driver manager's failure of a connection says that it could not
// load the driver: no driver of the name (IM002), one that cannot be loaded
// (IM003), or unixODBC's "Can't open lib" (01000).
bool DriverNotLoaded(const std::string& sqlState, const std::string& diagnostics);

// Whether a diagnostic record of the handle carries that native error number.
bool HasNativeError(const OdbcHandle& handle, SQLINTEGER native);

}  // namespace platform::odbc
