// The ODBC connection against a real driver: unixODBC with "SQL Server"
// registered as the SQLite ODBC driver, the program's own connection text, and
// what reached the database read back from the SQLite file.
#include "platform/odbc/odbc_server_connection.h"
#include "tests/platform/odbc_test_environment.h"
#include "tests/support/sqlite_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>

namespace {

using platform::OdbcServerConnection;
using testsupport::OdbcTestEnvironment;

[[maybe_unused]] auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(
    new OdbcTestEnvironment("[SQL Server]\nDescription=SQLite standing in for SQL Server\nDriver="
                            + testsupport::SqliteDriverLibrary() + "\n[Missing]\nDriver=/nonexistent/libmissing.so\n"));


// A fresh database file per test, named the way the program names its database.
std::string FreshDatabase()
{
    static std::atomic<int> counter{0};
    const auto file = OdbcTestEnvironment::dataFolder()
        / ("db" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".sqlite");
    std::filesystem::remove(file);
    return file.string();
}

std::string ProgramText(const std::string& database)
{
    return "Driver={SQL Server};Server=x,1433;Database=" + database + ";Uid=u;Pwd=p;";
}

// A registry that knows no library: the connection then uses the wide-character
// calls, so both ways of passing texts meet the driver.
class UnknownLibraries : public platform::odbc::DriverRegistry {
public:
    std::string registeredLibrary(const std::string&) const override { return {}; }
    std::string freeTdsLibrary() const override { return {}; }
};

enum class Calls { AsTheDriverNeeds, Wide };

void PrintTo(Calls calls, std::ostream* os)
{
    *os << (calls == Calls::Wide ? "wide calls" : "calls as the driver needs");
}

std::unique_ptr<OdbcServerConnection> NewConnection(Calls calls)
{
    if (calls == Calls::Wide)
        return std::make_unique<OdbcServerConnection>(std::make_shared<UnknownLibraries>());
    return std::make_unique<OdbcServerConnection>();
}

std::string FailureOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no failure)";
}

class OdbcSqlite : public ::testing::TestWithParam<Calls> {
protected:
    void SetUp() override
    {
        if (testsupport::SqliteDriverLibrary().empty())
            GTEST_SKIP() << "the SQLite ODBC driver (libsqliteodbc) is not installed";
        database = FreshDatabase();
        connection = NewConnection(GetParam());
    }
    std::string database;
    std::unique_ptr<OdbcServerConnection> connection;
};

TEST_P(OdbcSqlite, StatementsReachTheDatabaseAndResultsAreDiscarded)
{
    connection->open(ProgramText(database));
    ASSERT_TRUE(connection->isOpen());
    connection->execute("CREATE TABLE [ORDERS] ([No] int, [Name] nvarchar(20))");
    connection->execute("INSERT INTO [ORDERS] ([No], [Name]) VALUES (1, 'first')");
    // A statement with a result set must not keep the table busy for the next one.
    connection->execute("SELECT * FROM [ORDERS]");
    connection->execute("INSERT INTO [ORDERS] ([No], [Name]) VALUES (2, 'it''s')");
    connection->execute("UPDATE [ORDERS] SET [No] = 3 WHERE [No] = 99");  // touches no row
    EXPECT_EQ(testsupport::ReadRows(database, "SELECT No || '|' || Name FROM ORDERS ORDER BY No"),
              "1|first\n2|it's\n");
}

TEST_P(OdbcSqlite, FailedStatementsBeginWithSqlExceptionAndCarryTheDriversMessage)
{
    connection->open(ProgramText(database));
    const std::string missing = FailureOf([&] { connection->execute("DELETE FROM [MISSING]"); });
    EXPECT_EQ(missing.rfind("SQLException: [SQLSTATE HY000] ", 0), 0u) << missing;
    EXPECT_NE(missing.find("no such table: MISSING"), std::string::npos) << missing;

    const std::string syntax = FailureOf([&] { connection->execute("CREATE TABLE ("); });
    EXPECT_EQ(syntax.rfind("SQLException: ", 0), 0u) << syntax;
    EXPECT_NE(syntax.find("syntax error"), std::string::npos) << syntax;

    // The connection stays usable after a failed statement.
    connection->execute("CREATE TABLE T (a int)");
    EXPECT_EQ(testsupport::ReadRows(database, "SELECT count(*) FROM T"), "0\n");
}

TEST_P(OdbcSqlite, ClosedConnectionsRefuseStatementsAsSqlExceptions)
{
    const std::string closedText =
        std::string(platform::kSqlException) + std::string(platform::kClosedConnectionText);
    EXPECT_EQ(FailureOf([&] { connection->execute("SELECT 1"); }), closedText) << "never opened";
    connection->open(ProgramText(database));
    connection->close();
    EXPECT_FALSE(connection->isOpen());
    EXPECT_EQ(FailureOf([&] { connection->execute("SELECT 1"); }), closedText) << "closed";
    connection->close();  // a second close does nothing
    EXPECT_THROW(connection->tables(), std::runtime_error);

    connection->open(ProgramText(database));  // the object opens again after a close
    EXPECT_TRUE(connection->isOpen());
    EXPECT_THROW(connection->open(ProgramText(database)), std::runtime_error);
    EXPECT_TRUE(connection->isOpen());
}

TEST_P(OdbcSqlite, TablesListsTablesAndViewsWithTheirTypesAndFullNames)
{
    // Longer than one read of a column, to catch a name cut at a buffer's end.
    const std::string longName = "T" + std::string(700, 'x') + "END";
    connection->open(ProgramText(database));
    connection->execute("CREATE TABLE Orders (a int)");
    connection->execute("CREATE TABLE [" + longName + "] (a int)");
    connection->execute("CREATE VIEW Recent AS SELECT a FROM Orders");
    const auto rows = connection->tables();
    const auto has = [&](const std::string& type, const std::string& name) {
        return std::any_of(rows.begin(), rows.end(), [&](const platform::SchemaTable& r) {
            return r.type == type && r.name == name;
        });
    };
    EXPECT_TRUE(has("TABLE", "Orders"));
    EXPECT_TRUE(has("TABLE", longName));
    EXPECT_TRUE(has("VIEW", "Recent"));
    EXPECT_FALSE(has("TABLE", "Recent"));
    EXPECT_EQ(rows.size(), 3u);
}

TEST_P(OdbcSqlite, AnUnopenableDatabaseFailsTheOpenWithTheDriversWords)
{
    const std::string text = ProgramText("/nonexistent-folder/sub/none.sqlite");
    const std::string failure = FailureOf([&] { connection->open(platform::SecretText(text)); });
    EXPECT_NE(failure, "(no failure)");
    EXPECT_NE(failure.find("[SQLSTATE "), std::string::npos) << failure;
    EXPECT_NE(failure.find("[SQLite]connect failed"), std::string::npos) << failure;
    EXPECT_FALSE(connection->isOpen());
    EXPECT_EQ(FailureOf([&] { connection->execute("SELECT 1"); }).rfind("SQLException: ", 0), 0u);
    // A driver whose library cannot be loaded is named, and no refused login is said.
    const std::string noDriver = FailureOf([&] { connection->open(platform::SecretText("Driver={Missing};Server=x;")); });
    EXPECT_EQ(noDriver.rfind("The ODBC driver Missing", 0), 0u) << noDriver;
    EXPECT_NE(noDriver.find(" could not be loaded: [SQLSTATE 01000] [unixODBC][Driver Manager]Can't open lib"),
              std::string::npos) << noDriver;
}

// A query's rows come one by one, each value whole however long; NULL is not
// the empty text; another statement on the connection ends rows being read.
TEST_P(OdbcSqlite, QueriedRowsComeOneByOneWithEveryValueWhole)
{
    // Longer than one part of SQLGetData, to catch a value cut at a part's end. (SQLite's
    // driver garbles other than ASCII in its wide calls, which the program does not use.)
    const std::string text = (GetParam() == Calls::Wide ? "Grusse " : "Grüße ") + std::string(100000, 'x') + " Ende";
    const std::string bytes = std::string("\0\xFF", 2) + std::string(70000, 'D');
    connection->open(ProgramText(database));
    connection->execute("CREATE TABLE [T]([Näme] TEXT, [N] FLOAT, [B] BLOB, [I] INT)");
    connection->execute("INSERT INTO [T] VALUES('" + text + "', 0.30000000000000004, X'00FF"
                        + std::string(140000, '4') + "', 7)");
    connection->execute("INSERT INTO [T] VALUES('', NULL, NULL, NULL)");
    auto rows = connection->query("SELECT * FROM [T] ORDER BY [I] DESC");
    ASSERT_EQ(rows->columnCount(), 4);
    EXPECT_EQ(rows->columnName(0), "Näme");
    EXPECT_EQ(rows->columnType(3), 4);  // SQL_INTEGER
    using Kind = platform::ServerValue::Kind;
    const auto value = [&](int column) { return std::pair(rows->value(column).kind, std::string(rows->value(column).data)); };
    ASSERT_TRUE(rows->next());
    EXPECT_TRUE(value(0) == std::pair(Kind::Text, text));  // not printed: 100 KB
    EXPECT_EQ(value(1), std::pair(Kind::Text, std::string("0.3")));  // what the driver keeps of the double
    EXPECT_TRUE(value(2) == std::pair(Kind::Bytes, bytes));
    EXPECT_EQ(value(3), std::pair(Kind::Text, std::string("7")));
    ASSERT_TRUE(rows->next());
    EXPECT_EQ(value(0), std::pair(Kind::Text, std::string()));
    for (int c = 1; c < 4; ++c)
        EXPECT_EQ(rows->value(c).kind, Kind::Null) << c;
    EXPECT_FALSE(rows->next());

    rows = connection->query("SELECT [I] FROM [T]");
    ASSERT_TRUE(rows->next());
    connection->execute("DELETE FROM [T]");
    EXPECT_THROW(rows->next(), platform::ServerError);
    EXPECT_NE(FailureOf([&] { connection->query("SELECT * FROM [MISSING]"); }).find("no such table"),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Calls, OdbcSqlite, ::testing::Values(Calls::AsTheDriverNeeds, Calls::Wide),
                         [](const ::testing::TestParamInfo<Calls>& param) {
                             return param.param == Calls::Wide ? std::string("Wide")
                                                               : std::string("AsTheDriverNeeds");
                         });

class OdbcSqliteText : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (testsupport::SqliteDriverLibrary().empty())
            GTEST_SKIP() << "the SQLite ODBC driver (libsqliteodbc) is not installed";
        database = FreshDatabase();
    }
    void NonAsciiTextThrough(const std::string& connectionText);
    std::string database;
};

// Through the driver registered by name and through its library named by its
// path, as a connection text may name it.
TEST_F(OdbcSqliteText, NonAsciiTextArrivesUnchanged)
{
    for (const std::string& driver : {std::string("{SQL Server}"), testsupport::SqliteDriverLibrary()}) {
        SCOPED_TRACE(driver);
        database = FreshDatabase();
        NonAsciiTextThrough("Driver=" + driver + ";Database=" + database + ";");
    }
}

void OdbcSqliteText::NonAsciiTextThrough(const std::string& connectionText)
{
    const std::string text = "Grüße – 1 € · Ærø · 日本語 · 😀";
    OdbcServerConnection connection;
    connection.open(platform::SecretText(std::string(connectionText)));
    connection.execute("CREATE TABLE [Größe] ([Näme] nvarchar(100))");
    connection.execute("INSERT INTO [Größe] ([Näme]) VALUES ('" + text + "')");
    EXPECT_EQ(testsupport::ReadRows(database, "SELECT Näme FROM Größe"), text + "\n");
    const auto rows = connection.tables();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, "Größe");
    const std::string failure = FailureOf([&] { connection.execute("SELECT * FROM [Kärnten]"); });
    EXPECT_NE(failure.find("no such table: Kärnten"), std::string::npos) << failure;
}

// The program's text, with SQLite's step API turned on so that a query's rows
// are not all read into memory first.
TEST_F(OdbcSqliteText, TheProgramsTextReachesSqliteWithTheStepApiAndTheAccessLayersTimeOuts)
{
    OdbcServerConnection connection;
    std::vector<std::string> handed;
    testsupport::OdbcConnectionPeer::recordDriverTexts(connection, handed);
    EXPECT_EQ(connection.cursorLocation(), platform::ServerConnection::kServerSideCursor);
    connection.open(ProgramText(database));
    EXPECT_EQ(handed, std::vector<std::string>{ProgramText(database) + "StepAPI=1;"});
    EXPECT_EQ(connection.loginTimeoutUsed(), OdbcServerConnection::kDefaultLoginTimeout);
    connection.close();

    connection.setCursorLocation(platform::ServerConnection::kServerSideCursor);
    connection.setCommandTimeout(5000);
    connection.setConnectionTimeout(5000);
    connection.open(ProgramText(database));
    EXPECT_EQ(connection.loginTimeoutUsed(), 5000);
    connection.execute("CREATE TABLE T (a int)");
}

}  // namespace
