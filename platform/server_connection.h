// The server connection: one database on a SQL Server reached through ODBC.
// Every failure is thrown as std::exception; a failed execute's message begins
// with "SQLException: " so that the SQL Preview window can tell SQL errors apart.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {

struct SchemaTable {
    std::string type;  // "TABLE" for user tables, "VIEW", "SYSTEM TABLE", ...
    std::string name;  // bare name, without schema
};

class ServerConnection {
public:
    virtual ~ServerConnection() = default;

    static constexpr int kServerSideCursor = 2;
    virtual void setCursorLocation(int location) = 0;
    virtual void setCommandTimeout(int seconds) = 0;
    virtual void setConnectionTimeout(int seconds) = 0;
    virtual void open(const std::string& connectionText) = 0;
    virtual bool isOpen() const = 0;
    // Runs one statement; a result set, if any, is discarded.
    virtual void execute(const std::string& statement) = 0;
    // The tables schema: one row per table, view and system table.
    virtual std::vector<SchemaTable> tables() = 0;
    // Closing discards a transaction left open.
    virtual void close() = 0;

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
