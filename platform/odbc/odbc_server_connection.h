// The server connection on unixODBC: SQLDriverConnect with the program's
// connection text (FreeTDS standing in for "SQL Server" when unixODBC has no
// driver of that name), one statement handle for every execute of the
// connection, SQLTables for the schema.
#pragma once

#include "platform/odbc/binary_parameters.h"
#include "platform/odbc/driver_registry.h"
#include "platform/odbc/odbc_handle.h"
#include "platform/odbc/wait_watch.h"
#include "platform/odbc/odbc_server_rows.h"
#include "platform/server_connection.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {
class OdbcConnectionPeer;
}  // namespace testsupport

namespace platform {

inline constexpr std::string_view kClosedConnectionText =
    "Operation is not allowed when the object is closed.";
inline constexpr std::string_view kOpenConnectionText =
    "Operation is not allowed when the object is open.";

class OdbcServerConnection final : public ServerConnection {
public:
    // The access layer's defaults for connections that set nothing.
    static constexpr int kDefaultLoginTimeout = 15;
    static constexpr int kDefaultCommandTimeout = 30;

    OdbcServerConnection();
    explicit OdbcServerConnection(std::shared_ptr<const odbc::DriverRegistry> registry);
    ~OdbcServerConnection() override;
    OdbcServerConnection(const OdbcServerConnection&) = delete;
    OdbcServerConnection& operator=(const OdbcServerConnection&) = delete;

    // ODBC has no cursor location; server-side is what it does anyway.
    void setCursorLocation(int location) override { cursorLocation_ = location; }
    // Applied to each statement as its query time-out; 0 waits without end.
    void setCommandTimeout(int seconds) override { commandTimeout_ = seconds; }
    // Login and connection time-out of the next open().
    void setConnectionTimeout(int seconds) override { connectionTimeout_ = seconds; }
    void setWaitNotice(WaitNotice notice, WaitPump pump = {}) override;

    // Throws with the driver's diagnostics when the driver or server refuses.
    void open(const SecretText& connectionText) override;
    bool isOpen() const override { return open_; }
    bool lost() const override { return lost_; }
    std::string lostWith() const override { return lostWith_; }
    // Throws a ServerError on any failure; every result is read first.
    void execute(const std::string& statement) override;
    // Joined by "\n" into one call where the driver takes batches of statements
    // that count rows (SQL_BATCH_SUPPORT); the refused statement is told by the
    // result that failed, counting one result per statement.
    void executeSeveral(std::span<const std::string_view> statements) override;
    // On the connection's statement handle, which the rows hold until they
    // are read to the end or the connection uses the handle again.
    std::unique_ptr<ServerRows> query(const std::string& statement) override;
    std::vector<SchemaTable> tables() override;
    // SQLGetInfo(SQL_DBMS_NAME); empty while closed or where the driver does not answer.
    std::string dbmsName() override;
    void close() override;

    // With FreeTDS reading UTF-8: bulk copy, its columns told by the server
    // (SET FMTONLY ON, as the driver asks them itself).
    void allowBulkLoad() override { bulkAllowed_ = true; }
    std::unique_ptr<BulkLoad> bulkLoad(const std::string& quotedTable, bool lockTable) override;

    // SQL_ATTR_AUTOCOMMIT as the driver answers it; Unknown after a failed
    // switch, commit or rollback until a switch on or an SQLEndTran succeeds.
    AutoCommit autoCommit() override;
    // SQL_ATTR_AUTOCOMMIT; off only where the driver has transactions (SQL_TXN_CAPABLE).
    bool setAutoCommit(bool on) override;
    // SQLEndTran; nothing to do while the driver says autocommit is on.
    void commit() override;
    void rollback() override;

    int cursorLocation() const { return cursorLocation_; }
    // The login time-out the last open() used, in seconds.
    int loginTimeoutUsed() const { return loginTimeoutUsed_; }

    // Whether the driver takes several statements in one call (known once open).
    bool takesBatches() const { return batches_; }

private:
    // Tests see the text each open() hands to the driver through this peer;
    // the connection keeps none after its open().
    friend class testsupport::OdbcConnectionPeer;

    // What one execute call's results said: the first that failed, counted
    // from 0, with the driver's diagnostics.
    struct CallResults {
        bool failed = false;
        std::size_t failedResult = 0;
        std::string diagnostics;
        bool lost = false;  // the connection failed or the server did not answer in time
    };
    CallResults call(std::string_view text);
    void readResults(SQLHSTMT handle, SQLRETURN executed, CallResults& results);
    SQLRETURN execDirect(SQLHSTMT handle, std::string_view text);
    // Calls to the server, through the wait watch where there is one.
    SQLRETURN waited(const std::function<SQLRETURN()>& call);
    SQLRETURN executeWithBytes(SQLHSTMT handle, odbc::ParameterizedStatement& statement);
    // The statement's diagnostics as the exception they call for.
    [[noreturn]] void throwStatementFailure(const std::string& diagnostics);
    // A ConnectionLost where the connection is gone (remembered), a ServerError otherwise.
    [[noreturn]] void throwFailure(const std::string& diagnostics, bool gone);
    SQLHSTMT statementHandle();
    // The rows of a query still being read end here: the handle is needed.
    void endRows();
    // FreeTDS after the server ended the transaction itself: see the .cpp.
    bool restoreFreeTdsTransaction();
    void endTransaction(short completion);
    // What the driver says, without the doubt a failure left.
    AutoCommit driverAutoCommit() const;
    // The columns of a query's first result that has any, for a bulk load.
    std::vector<BulkColumn> describe(const std::string& query);

    std::shared_ptr<const odbc::DriverRegistry> registry_;
    int cursorLocation_ = kServerSideCursor;
    std::optional<int> commandTimeout_;
    std::optional<int> connectionTimeout_;
    odbc::OdbcHandle environment_;
    odbc::OdbcHandle connection_;
    // The one statement handle of the connection, made at its first use and
    // closed (SQL_CLOSE) after every call; its query time-out as last set.
    odbc::OdbcHandle statement_;
    std::optional<int> statementTimeout_;
    std::shared_ptr<odbc::RowsLink> rows_;
    std::unique_ptr<odbc::WaitWatch> waitWatch_;
    bool open_ = false;
    bool lost_ = false;
    std::string lostWith_;
    bool batches_ = false;
    bool freeTds_ = false;
    bool lazyRows_ = false;  // the driver runs a statement with rows as they are fetched
    bool utf8Calls_ = false;  // statements go to the narrow calls as they are (see ConnectionPlan)
    bool bulkAllowed_ = false;
    bool bulkReady_ = false;  // the login asked for bulk copy
    // Reused for every call: statements joined, and their UTF-16 for a driver that needs it.
    std::string joined_;
    std::u16string wideText_;
    // The lengths of the pictures bound as parameters, kept while they are
    // bound: the driver may read them again for each statement of the call.
    std::vector<SQLLEN> parameterLengths_;
    // A switch, commit or rollback failed: the driver's answer is not to be
    // trusted until a switch to autocommit or an SQLEndTran succeeds.
    bool transactionStateLost_ = false;
    bool wide_ = true;
    // Tests only: where a copy of each text handed to the driver goes.
    std::vector<std::string>* driverTextsSeen_ = nullptr;
    int loginTimeoutUsed_ = 0;
};

class OdbcServerConnectionFactory final : public ServerConnectionFactory {
public:
    std::unique_ptr<ServerConnection> create() override
    {
        return std::make_unique<OdbcServerConnection>();
    }
};

}  // namespace platform
