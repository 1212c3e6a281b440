// Opening, executing and listing through the driver manager. Texts go to the
// driver as UTF-16 when it has the wide-character calls, as UTF-8 otherwise.
#include "platform/odbc/odbc_server_connection.h"

#include "platform/odbc/binary_parameters.h"
#include "platform/odbc/connection_text.h"
#include "platform/odbc/odbc_bulk_load.h"
#include "platform/odbc/utf16.h"

#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>

namespace platform {

using odbc::OdbcHandle;

namespace {

SQLPOINTER IntegerAttribute(int value)
{
    return reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(value < 0 ? 0 : value));
}

constexpr std::string_view kFailureWithoutMessage = "The driver reported a failure without a message.";

// The connection's one statement handle, closed (and its parameters gone)
// when a call is done with it, so that it is free for the next.
struct ClosedAtEnd {
    SQLHSTMT handle;
    ~ClosedAtEnd()
    {
        SQLFreeStmt(handle, SQL_CLOSE);
        SQLFreeStmt(handle, SQL_RESET_PARAMS);
    }
};

// SQLite's driver takes a binary constant this long as a parameter (binary_parameters.h).
constexpr std::size_t kParameterBytes = 1024;

// SQLSTATE class 08: the connection failed; HYT00/HYT01: the server did not
// answer in time, which ends the connection's use as well.
bool ConnectionGone(const std::string& sqlState)
{
    return sqlState.rfind("08", 0) == 0 || sqlState == "HYT00" || sqlState == "HYT01";
}

[[noreturn]] void ThrowSqlException(const std::string& diagnostics)
{
    throw ServerError(diagnostics.empty() ? std::string(kFailureWithoutMessage) : diagnostics);
}

// One text column of the current row; Null gives "".
std::string ColumnText(const OdbcHandle& statement, SQLUSMALLINT column, bool wide)
{
    std::string text;
    if (wide) {
        std::array<SQLWCHAR, 256> buffer{};
        std::u16string value;
        for (;;) {
            SQLLEN indicator = 0;
            const SQLRETURN rc = SQLGetData(statement.get(), column, SQL_C_WCHAR, buffer.data(),
                                            sizeof(buffer), &indicator);
            if (rc == SQL_NO_DATA || indicator == SQL_NULL_DATA || !SQL_SUCCEEDED(rc))
                break;
            const std::size_t room = buffer.size() - 1;
            std::size_t units = indicator == SQL_NO_TOTAL
                ? room
                : static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR);
            units = std::min(units, room);
            value.append(reinterpret_cast<const char16_t*>(buffer.data()), units);
            if (rc == SQL_SUCCESS)
                break;
        }
        return odbc::Utf16ToUtf8(value);
    }
    std::array<char, 512> buffer{};
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(statement.get(), column, SQL_C_CHAR, buffer.data(),
                                        sizeof(buffer), &indicator);
        if (rc == SQL_NO_DATA || indicator == SQL_NULL_DATA || !SQL_SUCCEEDED(rc))
            break;
        const std::size_t room = buffer.size() - 1;
        std::size_t bytes = indicator == SQL_NO_TOTAL ? room : static_cast<std::size_t>(indicator);
        text.append(buffer.data(), std::min(bytes, room));
        if (rc == SQL_SUCCESS)
            break;
    }
    return text;
}

// A driver that runs a statement only as its rows are fetched (SQLite's with
// its step API) runs a statement with rows whole once they are all fetched.
SQLRETURN FetchedToEnd(SQLHSTMT handle)
{
    SQLSMALLINT columns = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(handle, &columns)) || columns <= 0)
        return SQL_SUCCESS;
    for (;;) {
        const SQLRETURN rc = SQLFetch(handle);
        if (rc == SQL_NO_DATA)
            return SQL_SUCCESS;
        if (!SQL_SUCCEEDED(rc))
            return rc;
    }
}

// "The ODBC driver NAME (LIBRARY) could not be loaded: ", for the driver's words.
std::string DriverNotLoadedText(std::string_view connectionText, const std::string& library)
{
    const std::string name = odbc::ConnectionValue(connectionText, "Driver").value_or("");
    return "The ODBC driver " + (name.empty() ? library : name + (library.empty() ? "" : " (" + library + ")"))
        + " could not be loaded: ";
}

// The statements joined by line breaks: where they lie so already, one after
// the other in one buffer (as the statement batch keeps them), the text is
// sent from there; otherwise they are copied into `buffer`.
std::string_view Joined(std::span<const std::string_view> statements, std::string& buffer)
{
    const char* const begin = statements.front().data();
    const char* end = begin + statements.front().size();
    bool inPlace = true;
    for (std::size_t i = 1; i < statements.size() && inPlace; ++i) {
        inPlace = statements[i].data() == end + 1 && *end == '\n';
        end = statements[i].data() + statements[i].size();
    }
    if (inPlace)
        return {begin, static_cast<std::size_t>(end - begin)};
    buffer.clear();
    for (std::size_t i = 0; i < statements.size(); ++i) {
        if (i > 0)
            buffer += '\n';
        buffer += statements[i];
    }
    return buffer;
}

}  // namespace

OdbcServerConnection::OdbcServerConnection()
    : OdbcServerConnection(std::make_shared<odbc::SystemDriverRegistry>())
{
}

OdbcServerConnection::OdbcServerConnection(std::shared_ptr<const odbc::DriverRegistry> registry)
    : registry_(std::move(registry))
{
}

OdbcServerConnection::~OdbcServerConnection()
{
    close();
}

void OdbcServerConnection::open(const SecretText& connectionText)
{
    if (open_)
        throw std::runtime_error(std::string(kOpenConnectionText));
    const odbc::ConnectionPlan plan = odbc::PlanConnection(connectionText.reveal(), *registry_);
    wide_ = odbc::LibraryHasWideCalls(plan.library);

    environment_ = OdbcHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    SQLSetEnvAttr(environment_.get(), SQL_ATTR_ODBC_VERSION,
                  reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(SQL_OV_ODBC3)), 0);
    connection_ = OdbcHandle(SQL_HANDLE_DBC, environment_.get());

    // FreeTDS waits for ever on a server that accepts and never answers, so it
    // always gets a login time-out, even where the program asked for none.
    int login = connectionTimeout_.value_or(kDefaultLoginTimeout);
    if (plan.freeTds && login <= 0)
        login = kDefaultLoginTimeout;
    loginTimeoutUsed_ = login;
    // Drivers that lack an attribute say so; the open goes on without it.
    SQLSetConnectAttr(connection_.get(), SQL_ATTR_LOGIN_TIMEOUT, IntegerAttribute(login), 0);
    if (connectionTimeout_)
        SQLSetConnectAttr(connection_.get(), SQL_ATTR_CONNECTION_TIMEOUT,
                          IntegerAttribute(*connectionTimeout_), 0);

    bulkReady_ = bulkAllowed_ && plan.freeTds && plan.utf8Calls;
    if (bulkReady_)
        odbc::AllowBulkCopy(connection_);

    const std::string_view handed = plan.driverText.reveal();
    if (driverTextsSeen_)
        driverTextsSeen_->emplace_back(handed);
    SQLRETURN rc;
    // A connection opened with the wide call has the driver manager turn every
    // narrow call into a wide one, reading its text in the locale's code page:
    // where the driver takes UTF-8 itself, the connection is opened narrow.
    if (wide_ && !plan.utf8Calls) {
        // Utf8ToUtf16 reserves the whole text at once, so this buffer is the only copy.
        std::u16string text = odbc::Utf8ToUtf16(handed);
        rc = SQLDriverConnectW(connection_.get(), nullptr, reinterpret_cast<SQLWCHAR*>(text.data()),
                               static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr,
                               SQL_DRIVER_NOPROMPT);
        WipeBytes(text.data(), text.size() * sizeof(char16_t));
    } else {
        // The driver only reads the text; ODBC's declaration predates const.
        rc = SQLDriverConnect(connection_.get(), nullptr,
                              reinterpret_cast<SQLCHAR*>(const_cast<char*>(handed.data())),
                              static_cast<SQLSMALLINT>(handed.size()), nullptr, 0, nullptr,
                              SQL_DRIVER_NOPROMPT);
    }
    if (!SQL_SUCCEEDED(rc)) {
        std::string diagnostics = odbc::Diagnostics(connection_, wide_);
        const std::string state = odbc::FirstSqlState(connection_);
        const bool unreachable = state.rfind("08", 0) == 0;
        connection_.reset();
        environment_.reset();
        if (odbc::DriverNotLoaded(state, diagnostics))
            throw OpenError(DriverNotLoadedText(connectionText.reveal(), plan.library) + diagnostics,
                            OpenError::Kind::DriverNotLoaded);
        throw OpenError(diagnostics.empty() ? std::string("The ODBC driver could not open the connection.")
                                            : diagnostics,
                        unreachable);
    }
    open_ = true;
    lost_ = false;
    lostWith_.clear();
    transactionStateLost_ = false;
    freeTds_ = plan.freeTds;
    lazyRows_ = plan.lazyRows;
    utf8Calls_ = plan.utf8Calls;
    SQLUINTEGER batch = 0;
    batches_ = SQL_SUCCEEDED(SQLGetInfo(connection_.get(), SQL_BATCH_SUPPORT, &batch, sizeof batch, nullptr))
        && (batch & SQL_BS_ROW_COUNT_EXPLICIT) != 0;
    // A session with NOCOUNT ON (a server's 'user options' may make it every
    // session's) gives no result for a statement that succeeds, and the refused
    // statement of a call would be told by the wrong count.
    if (batches_ && dbmsName().find("SQL Server") != std::string::npos)
        call("SET NOCOUNT OFF");
}

SQLHSTMT OdbcServerConnection::statementHandle()
{
    endRows();
    if (!statement_) {
        SQLHANDLE handle = SQL_NULL_HANDLE;
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection_.get(), &handle)))
            ThrowSqlException(odbc::Diagnostics(connection_, wide_));
        statement_ = OdbcHandle::adopt(SQL_HANDLE_STMT, handle);
        statementTimeout_.reset();
    }
    const int timeout = commandTimeout_.value_or(kDefaultCommandTimeout);
    if (statementTimeout_ != timeout) {
        SQLSetStmtAttr(statement_.get(), SQL_ATTR_QUERY_TIMEOUT, IntegerAttribute(timeout), 0);
        statementTimeout_ = timeout;
    }
    return statement_.get();
}

void OdbcServerConnection::setWaitNotice(WaitNotice notice, WaitPump pump)
{
    waitWatch_.reset();
    if (notice)
        waitWatch_ = std::make_unique<odbc::WaitWatch>(std::move(notice), std::move(pump));
}

SQLRETURN OdbcServerConnection::waited(const std::function<SQLRETURN()>& call)
{
    if (!waitWatch_)
        return call();
    SQLRETURN rc = SQL_ERROR;
    waitWatch_->run([&] { rc = call(); });
    return rc;
}

SQLRETURN OdbcServerConnection::execDirect(SQLHSTMT handle, std::string_view text)
{
    if (utf8Calls_ || !wide_) {
        // The driver only reads the text; ODBC's declaration predates const.
        return SQLExecDirect(handle, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.data())),
                             static_cast<SQLINTEGER>(text.size()));
    }
    odbc::AssignUtf16(text, wideText_);
    return SQLExecDirectW(handle, reinterpret_cast<SQLWCHAR*>(wideText_.data()),
                          static_cast<SQLINTEGER>(wideText_.size()));
}

SQLRETURN OdbcServerConnection::executeWithBytes(SQLHSTMT handle, odbc::ParameterizedStatement& statement)
{
    // This driver reads its narrow calls as UTF-8 (utf8Calls_).
    SQLRETURN rc = SQLPrepare(handle, reinterpret_cast<SQLCHAR*>(statement.text.data()),
                              static_cast<SQLINTEGER>(statement.text.size()));
    parameterLengths_.assign(statement.bytes.size(), 0);
    for (std::size_t i = 0; i < statement.bytes.size() && SQL_SUCCEEDED(rc); ++i) {
        std::string& b = statement.bytes[i];
        SQLLEN& length = parameterLengths_[i] = static_cast<SQLLEN>(b.size());
        rc = SQLBindParameter(handle, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_BINARY,
                              SQL_LONGVARBINARY, b.size(), 0, b.data(), length, &length);
    }
    if (!SQL_SUCCEEDED(rc))
        return rc;
    return SQLExecute(handle);
}

void OdbcServerConnection::endRows()
{
    if (rows_ && rows_->statement)
        SQLFreeStmt(rows_->statement->get(), SQL_CLOSE);
    if (rows_)
        rows_->statement = nullptr;
    rows_.reset();
}

std::unique_ptr<ServerRows> OdbcServerConnection::query(const std::string& statement)
{
    if (!open_)
        ThrowSqlException(std::string(kClosedConnectionText));
    SQLHSTMT handle = statementHandle();
    const SQLRETURN rc = waited([&] { return execDirect(handle, statement); });
    if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(rc)) {
        const std::string diagnostics = odbc::Diagnostics(statement_, wide_);
        const bool gone = ConnectionGone(odbc::FirstSqlState(statement_));
        SQLFreeStmt(handle, SQL_CLOSE);
        throwFailure(diagnostics, gone);
    }
    rows_ = std::make_shared<odbc::RowsLink>(odbc::RowsLink{&statement_});
    return std::make_unique<odbc::OdbcServerRows>(rows_, wide_);
}

// One execute call; every result is read, so that none of a batch's failures
// is missed and the handle is free for the next call. The wait watch sees the
// call and its results as one wait, not one per statement.
OdbcServerConnection::CallResults OdbcServerConnection::call(std::string_view text)
{
    if (!open_)
        ThrowSqlException(std::string(kClosedConnectionText));
    SQLHSTMT handle = statementHandle();
    const ClosedAtEnd closed{handle};
    std::optional<odbc::ParameterizedStatement> bytes;
    if (lazyRows_ && text.size() >= 2 * kParameterBytes)
        bytes = odbc::BinaryConstantsAsParameters(text, kParameterBytes);
    CallResults results;
    waited([&] {
        readResults(handle, bytes ? executeWithBytes(handle, *bytes) : execDirect(handle, text), results);
        return SQL_SUCCESS;
    });
    return results;
}

void OdbcServerConnection::readResults(SQLHSTMT handle, SQLRETURN rc, CallResults& results)
{
    for (std::size_t result = 0;; ++result) {
        if (lazyRows_ && SQL_SUCCEEDED(rc))
            rc = FetchedToEnd(handle);
        if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(rc) && !results.failed) {
            results.failed = true;
            results.failedResult = result;
            results.diagnostics = odbc::Diagnostics(statement_, wide_);
            results.lost = ConnectionGone(odbc::FirstSqlState(statement_));
        }
        if (rc == SQL_INVALID_HANDLE)
            break;
        rc = SQLMoreResults(handle);
        if (rc == SQL_NO_DATA || rc == SQL_INVALID_HANDLE)
            break;
    }
}

void OdbcServerConnection::throwStatementFailure(const std::string& diagnostics)
{
    throwFailure(diagnostics, ConnectionGone(odbc::FirstSqlState(statement_)));
}

void OdbcServerConnection::throwFailure(const std::string& diagnostics, bool gone)
{
    if (gone) {
        lost_ = true;
        lostWith_ = diagnostics;
        throw ConnectionLost(diagnostics);
    }
    ThrowSqlException(diagnostics);
}

void OdbcServerConnection::execute(const std::string& statement)
{
    const CallResults results = call(statement);
    if (results.failed)
        throwFailure(results.diagnostics, results.lost);
}

void OdbcServerConnection::executeSeveral(std::span<const std::string_view> statements)
{
    if (!batches_ || statements.size() < 2) {
        ServerConnection::executeSeveral(statements);  // one call each
        return;
    }
    const std::string_view joined = Joined(statements, joined_);
    const CallResults results = call(joined);
    if (results.lost)
        throwFailure(results.diagnostics, true);
    if (results.failed)
        throw RefusedInCall(results.diagnostics.empty() ? std::string(kFailureWithoutMessage) : results.diagnostics,
                            std::min(results.failedResult, statements.size()));
}

std::vector<SchemaTable> OdbcServerConnection::tables()
{
    if (!open_)
        throw std::runtime_error(std::string(kClosedConnectionText));
    SQLHSTMT handle = statementHandle();
    const ClosedAtEnd closed{handle};
    const SQLRETURN rc = wide_ ? SQLTablesW(handle, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0)
                               : SQLTables(handle, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0);
    if (!SQL_SUCCEEDED(rc))
        throw std::runtime_error(odbc::Diagnostics(statement_, wide_));
    constexpr SQLUSMALLINT kTableName = 3;
    constexpr SQLUSMALLINT kTableType = 4;
    std::vector<SchemaTable> rows;
    for (;;) {
        const SQLRETURN fetched = SQLFetch(handle);
        if (fetched == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(fetched))
            throw std::runtime_error(odbc::Diagnostics(statement_, wide_));
        SchemaTable row;
        row.type = ColumnText(statement_, kTableType, wide_);
        row.name = ColumnText(statement_, kTableName, wide_);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<BulkColumn> OdbcServerConnection::describe(const std::string& query)
{
    if (!open_)
        ThrowSqlException(std::string(kClosedConnectionText));
    SQLHSTMT handle = statementHandle();
    const ClosedAtEnd closed{handle};
    SQLRETURN rc = waited([&] { return execDirect(handle, query); });
    SQLSMALLINT count = 0;
    // Statements before the query (SET) have results without columns.
    while (SQL_SUCCEEDED(rc) && SQL_SUCCEEDED(SQLNumResultCols(handle, &count)) && count == 0)
        rc = SQLMoreResults(handle);
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
        throwStatementFailure(odbc::Diagnostics(statement_, wide_));
    std::vector<BulkColumn> columns;
    for (SQLUSMALLINT c = 1; c <= count; ++c) {
        SQLSMALLINT type = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = 0;
        SQLULEN size = 0;
        std::array<char, 64> name{};
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(SQLDescribeCol(handle, c, nullptr, 0, nullptr, &type, &size, &digits, &nullable))
            || !SQL_SUCCEEDED(SQLColAttribute(handle, c, SQL_DESC_TYPE_NAME, name.data(),
                                              static_cast<SQLSMALLINT>(name.size()), &length, nullptr)))
            throwStatementFailure(odbc::Diagnostics(statement_, wide_));
        columns.push_back(odbc::BulkColumnOf(name.data(), size, digits));
    }
    while (SQL_SUCCEEDED(SQLMoreResults(handle))) {
        // Read to the end, so that closing the handle needs no cancel.
    }
    return columns;
}

std::unique_ptr<BulkLoad> OdbcServerConnection::bulkLoad(const std::string& quotedTable, bool lockTable)
{
    if (!open_ || !bulkReady_)
        return nullptr;
    std::vector<BulkColumn> columns = describe("SET FMTONLY ON select * from " + quotedTable + " SET FMTONLY OFF");
    if (columns.empty() || std::ranges::any_of(columns, [](const BulkColumn& c) { return c.kind == BulkColumn::Kind::Other; }))
        return nullptr;
    return odbc::StartBulkLoad(connection_, quotedTable, lockTable, std::move(columns), [this](const std::string& why) {
        lost_ = true;
        lostWith_ = why;
    });
}

std::string OdbcServerConnection::dbmsName()
{
    if (!open_)
        return {};
    // The names are ASCII: the driver manager's narrow call serves every driver.
    std::array<char, 128> name{};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(connection_.get(), SQL_DBMS_NAME, name.data(),
                                  static_cast<SQLSMALLINT>(name.size()), &length)))
        return {};
    return std::string(name.data(), std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                                          name.size() - 1));
}

ServerConnection::AutoCommit OdbcServerConnection::driverAutoCommit() const
{
    if (!open_)
        return AutoCommit::Unknown;
    SQLUINTEGER value = SQL_AUTOCOMMIT_ON;
    if (!SQL_SUCCEEDED(SQLGetConnectAttr(connection_.get(), SQL_ATTR_AUTOCOMMIT, &value, SQL_IS_UINTEGER, nullptr)))
        return AutoCommit::Unknown;
    return value == SQL_AUTOCOMMIT_OFF ? AutoCommit::Off : AutoCommit::On;
}

ServerConnection::AutoCommit OdbcServerConnection::autoCommit()
{
    return transactionStateLost_ ? AutoCommit::Unknown : driverAutoCommit();
}

bool OdbcServerConnection::setAutoCommit(bool on)
{
    if (!open_)
        ThrowSqlException(std::string(kClosedConnectionText));
    if (!on) {
        // A driver without transactions would take the switch and still commit
        // every statement, so that a rollback undid nothing.
        SQLUSMALLINT capable = SQL_TC_NONE;
        if (!SQL_SUCCEEDED(SQLGetInfo(connection_.get(), SQL_TXN_CAPABLE, &capable, sizeof capable, nullptr))
            || capable == SQL_TC_NONE)
            return false;
    }
    // Always handed to the driver: a switch on is also how a doubtful state is
    // settled, since the driver then ends whatever it holds open.
    const SQLRETURN rc = SQLSetConnectAttr(
        connection_.get(), SQL_ATTR_AUTOCOMMIT,
        reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
        SQL_IS_UINTEGER);
    if (!SQL_SUCCEEDED(rc)) {
        transactionStateLost_ = true;
        throwFailure(odbc::Diagnostics(connection_, wide_), ConnectionGone(odbc::FirstSqlState(connection_)));
    }
    if (on)
        transactionStateLost_ = false;
    return true;
}

void OdbcServerConnection::endTransaction(short completion)
{
    if (!open_)
        ThrowSqlException(std::string(kClosedConnectionText));
    if (driverAutoCommit() == AutoCommit::On)
        return;
    const SQLRETURN ended = waited([&] { return SQLEndTran(SQL_HANDLE_DBC, connection_.get(), completion); });
    if (!SQL_SUCCEEDED(ended)) {
        const std::string diagnostics = odbc::Diagnostics(connection_, wide_);
        const bool gone = ConnectionGone(odbc::FirstSqlState(connection_));
        if (completion == SQL_ROLLBACK && restoreFreeTdsTransaction()) {
            transactionStateLost_ = false;
            return;
        }
        transactionStateLost_ = true;
        throwFailure(diagnostics, gone);
    }
    transactionStateLost_ = false;  // in transactions, none open
}

// FreeTDS keeps believing in a transaction that the server ended by itself (a
// conversion error, 245, ends the batch and rolls its transaction back): its
// rollback then fails with 3903 ("no corresponding BEGIN TRANSACTION"), as does
// every switch to autocommit (a rollback too), for the rest of the connection.
// 3903 says that nothing of the transaction is left, which is what the rollback
// was for; a new transaction makes the server's state the one FreeTDS believes
// in, autocommit off with a transaction open, as after any rollback. Right
// after the failed rollback and only then.
bool OdbcServerConnection::restoreFreeTdsTransaction()
{
    constexpr SQLINTEGER kNoTransaction = 3903;
    if (!freeTds_ || !odbc::HasNativeError(connection_, kNoTransaction))
        return false;
    try {
        return !call("BEGIN TRANSACTION").failed;
    } catch (const std::exception&) {
        return false;
    }
}

void OdbcServerConnection::commit()
{
    endTransaction(SQL_COMMIT);
}

void OdbcServerConnection::rollback()
{
    endTransaction(SQL_ROLLBACK);
}

void OdbcServerConnection::close()
{
    if (open_) {
        // A driver refuses to disconnect inside a transaction; what was not
        // committed is given up, as closing any database connection does.
        if (autoCommit() != AutoCommit::On)
            SQLEndTran(SQL_HANDLE_DBC, connection_.get(), SQL_ROLLBACK);
        endRows();
        statement_.reset();  // before the disconnect, which a live handle would refuse
        SQLDisconnect(connection_.get());
        transactionStateLost_ = false;
        open_ = false;
    }
    connection_.reset();
    environment_.reset();
}

}  // namespace platform
