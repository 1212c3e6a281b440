// Which driver library a connection text's driver name stands for on this
// machine, and the text handed to it. "SQL Server" is whatever unixODBC has
// registered under that name, or FreeTDS in its place when nothing is.
#pragma once

#include "platform/secret_text.h"

#include <string>
#include <string_view>

namespace platform::odbc {

inline constexpr std::string_view kSqlServerDriver = "SQL Server";

class DriverRegistry {
public:
    virtual ~DriverRegistry() = default;
    // The "Driver=" entry of the name's section in odbcinst.ini, "" when unregistered.
    virtual std::string registeredLibrary(const std::string& name) const = 0;
    // The installed FreeTDS ODBC library, "" when there is none.
    virtual std::string freeTdsLibrary() const = 0;
    // The "Driver=" entry of a data source's section in odbc.ini (a driver's
    // name or its library's path), "" when there is no such data source.
    virtual std::string dataSourceDriver(const std::string& /*dsn*/) const { return {}; }
};

// unixODBC's own registry (odbcinst.ini as ODBCSYSINI and the user's file name it)
// and the usual driver folders.
class SystemDriverRegistry final : public DriverRegistry {
public:
    std::string registeredLibrary(const std::string& name) const override;
    std::string freeTdsLibrary() const override;
    std::string dataSourceDriver(const std::string& dsn) const override;
};

// True for a FreeTDS ODBC library by its file name ("libtdsodbc.so", "libtdsodbc.so.0", ...).
bool IsFreeTdsLibrary(std::string_view library);

// A registered library as a loadable path: an absolute one as it is, a bare
// file name searched in the driver folders (unixODBC accepts both). "" when not found.
std::string ResolveDriverLibrary(const std::string& library);

// True unless the library is known to lack the wide-character entry points.
// unixODBC turns wide calls into narrow ones for such a driver by dropping
// every byte above the first, which mangles any non-ASCII text.
bool LibraryHasWideCalls(const std::string& library);

struct ConnectionPlan {
    SecretText driverText;  // the text handed to SQLDriverConnect
    std::string library;    // the driver's library, "" when unknown
    bool freeTds = false;
    // The driver runs a statement that has rows only as they are fetched.
    bool lazyRows = false;
    // The driver reads the texts of its narrow calls as UTF-8 (FreeTDS with
    // ClientCharset=UTF-8, SQLite's driver): a statement goes to it as it is,
    // never converted to UTF-16 and back.
    bool utf8Calls = false;
};

// Decides the driver and the text it gets; the program's text stays unchanged
// unless FreeTDS is the driver, or SQLite's (whose step API it turns on, so
// that a query's rows are not all read into memory first).
ConnectionPlan PlanConnection(std::string_view text, const DriverRegistry& registry);

}  // namespace platform::odbc
