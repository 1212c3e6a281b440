// The server connection: one database on a SQL Server reached through ODBC.
// Every failure is thrown as std::exception; what the server or its driver
// refuses is a ServerError, which the SQL Preview window shows as the
// server's text.
#pragma once

#include "platform/bulk_load.h"
#include "platform/secret_text.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The start of a server error's description.
inline constexpr std::string_view kSqlException = "SQLException: ";

// A statement, login or transaction end that the server or its driver
// refused; the description is "SQLException: " followed by the driver's text.
class ServerError : public std::runtime_error {
public:
    explicit ServerError(const std::string& driverText)
        : std::runtime_error(std::string(kSqlException) + driverText), driverText_(driverText)
    {
    }
    const std::string& driverText() const { return driverText_; }

private:
    std::string driverText_;
};

// The connection to the server is gone (its SQLSTATE is of class 08, as the
// driver's "communication link failure"), or the server did not answer within
// the query time-out: nothing more goes through it.
class ConnectionLost : public ServerError {
public:
    using ServerError::ServerError;
};

// A connection that did not open: the driver's text, and whether the driver
// could not reach the server at all (its first SQLSTATE is of class 08,
// connection exception) rather than the server refusing the login or the
// database, or whether the driver itself could not be loaded (its text then
// says which).
class OpenError : public std::runtime_error {
public:
    enum class Kind { Refused, Unreachable, DriverNotLoaded };
    OpenError(const std::string& driverText, bool unreachable)
        : OpenError(driverText, unreachable ? Kind::Unreachable : Kind::Refused)
    {
    }
    OpenError(const std::string& text, Kind kind) : std::runtime_error(text), kind_(kind) {}
    bool unreachable() const { return kind_ == Kind::Unreachable; }
    bool driverNotLoaded() const { return kind_ == Kind::DriverNotLoaded; }

private:
    Kind kind_;
};

// A statement of several sent in one execute call that the server or its
// driver refused: the first one the driver reports, by its place in the call.
class RefusedInCall : public ServerError {
public:
    // statement: the index in the call, or the call's size where the driver
    // did not say which statement the failure belongs to.
    RefusedInCall(const std::string& driverText, std::size_t statement)
        : ServerError(driverText), statement_(statement)
    {
    }
    std::size_t statement() const { return statement_; }

private:
    std::size_t statement_;
};

struct SchemaTable {
    std::string type;  // "TABLE" for user tables, "VIEW", "SYSTEM TABLE", ...
    std::string name;  // bare name, without schema
};

// One value of a row read from the server: NULL, a text (UTF-8) or bytes.
struct ServerValue {
    enum class Kind : std::uint8_t { Null, Text, Bytes };
    Kind kind = Kind::Null;
    std::string_view data;  // the text or the bytes, valid until the next row
};

// The rows of a query, read one at a time: memory holds one row however many
// there are, and each value is read whole. A column of a floating-point type
// gives the shortest text that reads back as the same double; a binary column
// its bytes; every other column its text as the driver converts it.
class ServerRows {
public:
    virtual ~ServerRows() = default;
    virtual int columnCount() const = 0;
    // Columns counted from 0.
    virtual const std::string& columnName(int column) const = 0;
    // The column's ODBC SQL type: SQL_INTEGER (4), SQL_DOUBLE (8), SQL_WVARCHAR (-9)...
    virtual int columnType(int column) const = 0;
    // Reads the next row; false after the last. Throws a ServerError when the
    // driver fails, or when the connection ran anything else since the query.
    virtual bool next() = 0;
    virtual ServerValue value(int column) const = 0;
};

class ServerConnection {
public:
    virtual ~ServerConnection() = default;

    static constexpr int kServerSideCursor = 2;
    virtual void setCursorLocation(int location) = 0;
    virtual void setCommandTimeout(int seconds) = 0;
    virtual void setConnectionTimeout(int seconds) = 0;
    // What is said while a call waits for the server's answer (after some
    // seconds, then at intervals); none by default. Without a pump it is said
    // on a thread of the connection's own. With one, the call runs on that
    // thread instead while the caller's thread turns the pump several times a
    // second (a window's events) and says the notice itself.
    using WaitNotice = std::function<void(std::chrono::seconds waited)>;
    using WaitPump = std::function<void()>;
    virtual void setWaitNotice(WaitNotice /*notice*/, WaitPump /*pump*/ = {}) {}
    // The connection text carries the password.
    virtual void open(const SecretText& connectionText) = 0;
    virtual bool isOpen() const = 0;
    // A failure said that the connection is gone (a ConnectionLost was thrown):
    // nothing more goes through it until it is opened again.
    virtual bool lost() const { return false; }
    // The driver's words when it was lost; empty before.
    virtual std::string lostWith() const { return {}; }
    // Runs one statement; a result set, if any, is discarded.
    virtual void execute(const std::string& statement) = 0;
    // Runs the statements in order, each one's text unchanged: in one execute
    // call (one round trip), joined by line breaks, where the driver takes
    // several statements at once; otherwise one call each. Every result is
    // read. Throws a RefusedInCall when any statement is refused; statements
    // after a refused one may or may not have run (SQL Server goes on after
    // most errors, stops after some, and FreeTDS does not say which when the
    // first statement fails). The default runs them one call each and stops at
    // the first refusal.
    virtual void executeSeveral(std::span<const std::string_view> statements)
    {
        for (std::size_t i = 0; i < statements.size(); ++i) {
            try {
                execute(std::string(statements[i]));
            } catch (const ServerError& e) {
                throw RefusedInCall(e.driverText(), i);
            }
        }
    }
    // Runs a query whose rows are then read one by one. The rows are read
    // before the connection runs anything else: any other statement, query
    // or the close ends them. The default cannot read rows and throws.
    virtual std::unique_ptr<ServerRows> query(const std::string& statement)
    {
        throw std::runtime_error("This connection cannot read rows: " + statement);
    }
    // The tables schema: one row per table, view and system table.
    virtual std::vector<SchemaTable> tables() = 0;
    // The database system's name as the driver gives it (SQL_DBMS_NAME):
    // "Microsoft SQL Server", "SQLite"; empty where it cannot say.
    virtual std::string dbmsName() { return {}; }
    // Closing discards a transaction left open.
    virtual void close() = 0;

    // Before open(): bulk loads are to be possible (a driver may need to know at the login).
    virtual void allowBulkLoad() {}
    // A bulk load into the table (its name quoted as a statement writes it),
    // with its identity values kept, and holding the table's lock where
    // `lockTable`; nothing where the connection has none. Throws as execute() does.
    virtual std::unique_ptr<BulkLoad> bulkLoad(const std::string& /*quotedTable*/, bool /*lockTable*/)
    {
        return nullptr;
    }

    // Transactions. A connection opens with autocommit on. setAutoCommit(false)
    // returns false, changing nothing, where the driver cannot run statements
    // in transactions; the defaults are those of such a driver. A switch,
    // commit() and rollback() throw like execute() on failure.
    //
    // autoCommit() asks the driver every time; it is Unknown when the driver
    // cannot say, and after a switch, commit or rollback that failed, until a
    // switch to autocommit, a commit or a rollback succeeds (till then a driver
    // may say "off" while its statements commit one by one, or the reverse). A
    // successful switch to autocommit ends whatever transaction is open, by a
    // commit.
    enum class AutoCommit { On, Off, Unknown };
    virtual AutoCommit autoCommit() { return AutoCommit::On; }
    virtual bool setAutoCommit(bool on) { return on; }
    virtual void commit() {}
    virtual void rollback() {}
};

class ServerConnectionFactory {
public:
    virtual ~ServerConnectionFactory() = default;
    virtual std::unique_ptr<ServerConnection> create() = 0;
};

}  // namespace platform
