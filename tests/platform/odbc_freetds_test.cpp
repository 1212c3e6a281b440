// FreeTDS in place of "SQL Server" when unixODBC has no driver of that name:
// refused and silent servers on the loopback interface must fail the open
// promptly with a readable message, never hang it; against the TDS test server
// the connection does what the program asks of it.
#include "platform/odbc/driver_registry.h"
#include "platform/odbc/odbc_server_connection.h"
#include "tests/platform/odbc_test_environment.h"
#include "tests/tds/tds_server_process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

using platform::OdbcServerConnection;

// Built twice: once with "SQL Server" registered as FreeTDS by its bare file
// name (as Debian registers drivers), once with no "SQL Server" at all, so that
// FreeTDS stands in by its path.
#ifdef DOVENMARK_FREETDS_REGISTERED
constexpr bool kRegistered = true;
const std::string kOdbcinst = "[SQL Server]\nDriver=libtdsodbc.so\n";
#else
constexpr bool kRegistered = false;
const std::string kOdbcinst = "[SQLite3]\nDriver=" + testsupport::SqliteDriverLibrary() + "\n";
#endif
[[maybe_unused]] auto* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new testsupport::OdbcTestEnvironment(kOdbcinst));

// A socket bound to 127.0.0.1 on a port the system picks.
int BoundSocket(int& port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot bind a loopback socket");
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

// A server that accepts every connection and never says a word.
class SilentServer {
public:
    SilentServer()
    {
        listener_ = BoundSocket(port_);
        listen(listener_, 8);
        thread_ = std::thread([this] { run(); });
    }
    ~SilentServer()
    {
        stop_ = true;
        thread_.join();
        for (int fd : accepted_)
            ::close(fd);
        ::close(listener_);
    }
    int port() const { return port_; }
    int acceptedCount() const { return accepted_count_; }

private:
    void run()
    {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (poll(&p, 1, 50) > 0) {
                const int fd = accept(listener_, nullptr, nullptr);
                if (fd >= 0) {
                    accepted_.push_back(fd);
                    ++accepted_count_;
                }
            }
        }
    }
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_count_{0};
    std::vector<int> accepted_;
    std::thread thread_;
};

// A loopback port with nobody listening: bound, then given back.
int ClosedPort()
{
    int port = 0;
    ::close(BoundSocket(port));
    return port;
}

std::string ProgramText(int port)
{
    return "Driver={SQL Server};Server=127.0.0.1," + std::to_string(port)
        + ";Database=Sales;Uid=sa;Pwd=secret;";
}

struct Outcome {
    std::string failure;
};

Outcome OpenAndTell(OdbcServerConnection& connection, const std::string& text)
{
    Outcome outcome;
    try {
        connection.open(platform::SecretText(text));
        outcome.failure = "(opened)";
    } catch (const std::exception& e) {
        outcome.failure = e.what();
    }
    return outcome;
}

class OdbcFreeTds : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = platform::odbc::SystemDriverRegistry().freeTdsLibrary();
        if (library.empty())
            GTEST_SKIP() << "the FreeTDS ODBC driver (tdsodbc) is not installed";
    }
    std::string library;
};

TEST_F(OdbcFreeTds, IsFoundWhetherRegisteredOrNot)
{
    EXPECT_TRUE(platform::odbc::IsFreeTdsLibrary(library)) << library;
    EXPECT_EQ(library.front(), '/') << library;
    EXPECT_EQ(platform::odbc::SystemDriverRegistry().registeredLibrary("SQL Server"),
              kRegistered ? "libtdsodbc.so" : "");
}

TEST_F(OdbcFreeTds, ARefusedConnectionFailsAtOnceWithFreeTdsWords)
{
    OdbcServerConnection connection;
    std::vector<std::string> handed;
    testsupport::OdbcConnectionPeer::recordDriverTexts(connection, handed);
    connection.setConnectionTimeout(20);
    const int port = ClosedPort();
    const Outcome outcome = OpenAndTell(connection, ProgramText(port));
    EXPECT_NE(outcome.failure.find("Unable to connect"), std::string::npos) << outcome.failure;
    EXPECT_NE(outcome.failure.find("[SQLSTATE 08"), std::string::npos) << outcome.failure;
    EXPECT_FALSE(connection.isOpen());
    // A registered FreeTDS keeps the program's driver name; in its place, its path.
    const std::string driver = kRegistered ? "SQL Server" : library;
    EXPECT_EQ(handed, std::vector<std::string>{"Driver={" + driver + "};Server=127.0.0.1," + std::to_string(port)
                                                + ";Database=Sales;Uid=sa;Pwd=secret;TDS_Version=7.4;ClientCharset=UTF-8;"});
}

TEST_F(OdbcFreeTds, ASilentServerFailsWithinTheLoginTimeOut)
{
    SilentServer server;
    OdbcServerConnection connection;
    connection.setConnectionTimeout(2);
    const Outcome outcome = OpenAndTell(connection, ProgramText(server.port()));
    EXPECT_GE(server.acceptedCount(), 1) << "the driver never reached the silent server";
    EXPECT_NE(outcome.failure, "(opened)");
    EXPECT_NE(outcome.failure.find("[SQLSTATE HYT00]"), std::string::npos) << outcome.failure;
    // HYT00 is the driver's own word that the login time-out ran out (a hang would
    // be stopped by the test runner's time limit instead).
}

TEST_F(OdbcFreeTds, NoTimeOutAskedStillGetsOne)
{
    OdbcServerConnection connection;
    connection.setConnectionTimeout(0);  // "wait for ever" would hang FreeTDS on a silent server
    OpenAndTell(connection, ProgramText(ClosedPort()));
    EXPECT_EQ(connection.loginTimeoutUsed(), OdbcServerConnection::kDefaultLoginTimeout);
}

TEST_F(OdbcFreeTds, ExecuteWithoutAnOpenConnectionIsAnSqlException)
{
    OdbcServerConnection connection;
    OpenAndTell(connection, ProgramText(ClosedPort()));
    try {
        connection.execute("SELECT 1");
        FAIL() << "execute ran on a connection that never opened";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()).rfind("SQLException: ", 0), 0u) << e.what();
    }
}

TEST_F(OdbcFreeTds, SeveralStatementsPerCallAndTheListOfTables)
{
    testsupport::TdsTestServer server({"--refuse", "VALUES(2)=8152", "--refuse", "VALUES(5)=245", "--record-stored"});
    OdbcServerConnection connection;
    connection.open(ProgramText(server.port()));
    const std::string create = "CREATE TABLE [Orders]([A] INT)\nCREATE TABLE [SYSTEM_LOG]([A] INT)\n"
                               "INSERT INTO [Orders] VALUES(1)";
    connection.execute(create);
    std::vector<std::string> tables;
    for (const auto& t : connection.tables())
        tables.push_back(t.type + " " + t.name);
    EXPECT_NE(std::find(tables.begin(), tables.end(), "TABLE Orders"), tables.end());
    EXPECT_NE(std::find(tables.begin(), tables.end(), "TABLE SYSTEM_LOG"), tables.end());
    EXPECT_NE(std::find(tables.begin(), tables.end(), "VIEW TABLES"), tables.end());

    // The second of three statements fails: its error comes with the second result.
    const std::string three = "INSERT INTO [Orders] VALUES(1)\nINSERT INTO [Orders] VALUES(2)\n"
                              "INSERT INTO [Orders] VALUES(3)";
    try {
        connection.execute(three);
        ADD_FAILURE() << "the refused statement went unnoticed";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("[FreeTDS][SQL Server]String or binary data would be truncated."),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(server.batches(), (std::vector<std::string>{create, three}));

    // Several statements in one batch, joined by line breaks: the refused one
    // is told by the result that failed, the first one too.
    EXPECT_TRUE(connection.takesBatches());
    const auto refusedIn = [&](std::initializer_list<std::string_view> statements) -> std::string {
        try {
            connection.executeSeveral(std::vector<std::string_view>(statements));
        } catch (const platform::RefusedInCall& e) {
            return std::to_string(e.statement());
        }
        return "none";
    };
    EXPECT_EQ(refusedIn({"INSERT INTO [Orders] VALUES(1)", "INSERT INTO [Orders] VALUES(2)",
                         "INSERT INTO [Orders] VALUES(3)"}),
              "1");
    EXPECT_EQ(refusedIn({"INSERT INTO [Orders] VALUES(2)", "INSERT INTO [Orders] VALUES(3)"}), "0");
    EXPECT_EQ(server.batches().back(), "INSERT INTO [Orders] VALUES(2)\nINSERT INTO [Orders] VALUES(3)");

    // A conversion error ends the batch and the server rolls its transaction
    // back; FreeTDS, still believing in it, would fail every rollback and
    // every switch to autocommit from then on. The rollback succeeds and the
    // connection goes on in transactions.
    ASSERT_TRUE(connection.setAutoCommit(false));
    const std::size_t before = server.stored().size();
    EXPECT_EQ(refusedIn({"INSERT INTO [Orders] VALUES(4)", "INSERT INTO [Orders] VALUES(5)",
                         "INSERT INTO [Orders] VALUES(6)"}),
              "1");
    EXPECT_NO_THROW(connection.rollback());
    EXPECT_EQ(connection.autoCommit(), platform::ServerConnection::AutoCommit::Off);
    connection.execute("INSERT INTO [Orders] VALUES(7)");
    connection.rollback();
    connection.execute("INSERT INTO [Orders] VALUES(8)");
    connection.commit();
    EXPECT_TRUE(connection.setAutoCommit(true));
    const std::vector<std::string> stored = server.stored();
    EXPECT_EQ(std::vector<std::string>(stored.begin() + static_cast<std::ptrdiff_t>(before), stored.end()),
              std::vector<std::string>{"INSERT INTO [Orders] VALUES(8)"});
}

TEST_F(OdbcFreeTds, AStatementPastItsTimeOutIsCancelledWithAnAttention)
{
    testsupport::TdsTestServer server({"--delay-ms", "1500"});
    OdbcServerConnection connection;
    connection.setConnectionTimeout(20);
    connection.open(ProgramText(server.port()));
    connection.setCommandTimeout(1);
    try {
        connection.execute("CREATE TABLE [Slow]([A] INT)");
        ADD_FAILURE() << "the statement outlived its time-out";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("[SQLSTATE HYT00]"), std::string::npos) << e.what();
    }
    const auto records = server.records();
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records[records.size() - 2].text, "CREATE TABLE [Slow]([A] INT)");
    EXPECT_EQ(records.back().kind, "attention");
}

}  // namespace
