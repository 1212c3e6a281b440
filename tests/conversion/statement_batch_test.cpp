// Transactions around direct mode and Execute SQL: where the commits fall, and
// that a failure leaves the server and the reports exactly as a
// statement-by-statement run leaves them, against a scripted server and
// against the real ODBC path (SQLite registered as "SQL Server").
#include "conversion/conversion_run.h"
#include "conversion/statement_batch.h"
#include "platform/odbc/odbc_server_connection.h"
#include "tests/platform/odbc_test_environment.h"
#include "tests/support/fake_form.h"
#include "tests/support/fake_server.h"
#include "tests/support/memory_settings.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/sqlite_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <fstream>
#include <optional>

using namespace testsupport;
using conversion::StatementBatch;
using paradox::Value;

namespace {

[[maybe_unused]] auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(
    new OdbcTestEnvironment("[SQL Server]\nDescription=SQLite standing in for SQL Server\nDriver="
                            + SqliteDriverLibrary() + "\n"));

// A direct-mode run over tables held in memory, against the server the test gives.
struct DirectRun {
    TempDir dir;
    FakeForm form;
    ScriptedDialogs dialogs;
    platform::NoEventLoop events;
    MemorySourceFactory sources;
    RecordingDesktop desktop;
    MemorySettings settings;
    std::deque<std::string> texts;  // values hold views of their text

    DirectRun()
    {
        std::filesystem::create_directories(dir / "tables");
        form.Text1 = (dir / "tables").string();
        form.Text5 = "SRV";
        form.Check1 = false;
    }

    // ID INT and NAME TEXT; every hundredth record from the 50th on has a text for its ID.
    void addTable(const std::string& name, int records)
    {
        std::ofstream(dir / "tables" / (name + ".db")) << "";
        std::vector<std::vector<Value>> rows;
        for (int i = 1; i <= records; ++i) {
            const Value id = i % 100 == 50 ? Value::ofText(texts.emplace_back("x" + std::to_string(i)))
                                           : Value::ofInteger(i);
            rows.push_back({id, Value::ofText(texts.emplace_back(name + std::to_string(i)))});
        }
        sources.tables[name] = MemoryTable{{{"ID", 3}, {"NAME", 202}}, std::move(rows)};
    }

    void run(platform::ServerConnectionFactory& servers, conversion::TransactionLimits limits)
    {
        RecordingClipboard clipboard;
        core::Services services{dialogs, settings, clipboard, desktop, events, servers, sources,
                                {(dir / "program").string(), (dir / "drive").string()}};
        conversion::PreviewHandOff handOff;
        bool converting = false;
        conversion::Run r{services, form, handOff, {}, converting, {}};
        r.options.transactions = limits;
        conversion::StartConverting(r);
    }

    std::vector<std::string> reports() const
    {
        std::vector<std::string> all;
        for (const auto& m : dialogs.messages)
            all.push_back(m.title + ": " + m.text);
        return all;
    }
};

conversion::TransactionLimits CountOnly(std::size_t statements)
{
    conversion::TransactionLimits limits;
    limits.statements = statements;
    limits.time = std::chrono::hours(1);  // the count alone decides
    return limits;
}

}  // namespace

// Execute SQL's way: an SQL error stops at its row, and a line-by-line run
// would never have run the rows after it; the rows before it stay on the server.
TEST(StatementBatch, AStopDuringTheReplayEndsWhereALineByLineRunEnds)
{
    FakeServerState state;
    state.refuses = [](const std::string& s) { return s.find("(5)") != std::string::npos; };
    FakeServerConnection connection(state);
    connection.open("x");
    std::vector<int> alone;
    std::optional<int> errorRow;
    {
        StatementBatch batch(&connection, [&](const std::string& s, int row) {
            alone.push_back(row);
            try {
                connection.execute(s);
            } catch (const std::exception&) {
                errorRow = row;
                return StatementBatch::Next::Stop;
            }
            return StatementBatch::Next::Continue;
        }, nullptr, CountOnly(3));
        for (int row = 1; row <= 9 && !errorRow; ++row)
            batch.execute("INSERT INTO t VALUES(" + std::to_string(row) + ")", row);
        EXPECT_TRUE(batch.finish() == StatementBatch::Next::Continue);
    }
    EXPECT_EQ(errorRow, 5);
    EXPECT_EQ(alone, (std::vector<int>{4, 5}));  // the rows since the last commit, again, alone
    EXPECT_EQ(state.executed, (std::vector<std::string>{"INSERT INTO t VALUES(1)", "INSERT INTO t VALUES(2)",
                                                        "INSERT INTO t VALUES(3)", "INSERT INTO t VALUES(4)"}));
    EXPECT_EQ(state.transactionLog, (std::vector<std::string>{"off", "commit 3", "rollback 1", "on"}));
}

// The main window ends the process without unwinding, so it finishes every batch first.
TEST(StatementBatch, FinishAllCommitsWhatIsOpenBeforeTheProcessEnds)
{
    FakeServerState state;
    FakeServerConnection connection(state);
    connection.open("x");
    auto alone = [&](const std::string& s, int) {
        connection.execute(s);
        return StatementBatch::Next::Continue;
    };
    StatementBatch outer(&connection, alone, nullptr, CountOnly(100));
    outer.execute("INSERT INTO t VALUES(1)", 1);
    outer.execute("INSERT INTO t VALUES(2)", 2);
    EXPECT_TRUE(state.executed.empty());
    StatementBatch::FinishAll();
    EXPECT_EQ(state.executed.size(), 2u);
    EXPECT_EQ(state.transactionLog, (std::vector<std::string>{"off", "commit 2", "on"}));
}

TEST(TransactionRun, CommitsAtTheBoundAndAtEveryTableEndAndReplaysAfterAFailure)
{
    // Table A has 250 records, B 30 and exists on the server (dropped first);
    // the inserts of records 50, 150 and 250 of A hold a text for an INT,
    // which this server takes unless a case refuses it.
    const struct {
        const char* name;
        std::function<bool(const std::string&)> refuses;
        std::function<bool(int commit)> refusesCommit;
        bool refusalEndsTransaction;
        std::vector<std::string> logA;
    } cases[] = {
        {"no failure", nullptr, nullptr, false, {"off", "commit 100", "commit 100", "commit 50", "on"}},
        {"record 150 refused",
         [](const std::string& s) { return s.find("'x150'") != std::string::npos; }, nullptr, false,
         // 101..149 rolled back and run again alone with 150; 151 starts anew.
         {"off", "commit 100", "rollback 49", "on", "off", "commit 100", "on"}},
        {"record 150 refused and its transaction rolled back by the server",
         [](const std::string& s) { return s.find("'x150'") != std::string::npos; }, nullptr, true,
         {"off", "commit 100", "rollback 0", "on", "off", "commit 100", "on"}},
        {"the second commit of A refused", nullptr, [](int commit) { return commit == 2; }, false,
         {"off", "commit 100", "rollback 100", "on", "off", "commit 50", "on"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> executed[2];
        std::vector<std::string> reports[2];
        for (const bool transactions : {false, true}) {
            DirectRun run;
            run.addTable("A", 250);
            run.addTable("B", 30);
            FakeServerFactory servers;
            servers.state.tables = {{"TABLE", "B"}};
            servers.state.transactions = transactions;
            servers.state.refuses = c.refuses;
            servers.state.refusalEndsTransaction = c.refusalEndsTransaction;
            int commits = 0;
            if (c.refusesCommit)
                servers.state.refusesCommit = [&] { return c.refusesCommit(++commits); };
            run.run(servers, CountOnly(100));
            executed[transactions] = servers.state.executed;
            reports[transactions] = run.reports();
            EXPECT_TRUE(servers.state.uncommitted.empty()) << c.name;
            if (!transactions) {
                EXPECT_TRUE(servers.state.transactionLog.empty()) << c.name;
                continue;
            }
            // A first (the last list entry); B's DROP and CREATE run outside any transaction.
            std::vector<std::string> log = c.logA;
            log.insert(log.end(), {"off", "commit 30", "on"});
            EXPECT_EQ(servers.state.transactionLog, log) << c.name;
        }
        EXPECT_EQ(executed[true], executed[false]) << c.name;
        EXPECT_EQ(reports[true], reports[false]) << c.name;
        EXPECT_EQ(executed[true].size(), 1u + 2u + 250u + 30u - (c.refuses ? 1u : 0u)) << c.name;
        // The overwrite question, the refusal once, "Done.".
        EXPECT_EQ(reports[true].size(), c.refuses ? 3u : 2u) << c.name;
    }
}

namespace {

// The real ODBC connection to SQLite, made as strict about types as SQL Server
// (a text for an INT column is refused), with or without autocommit control.
class StrictSqlite : public platform::ServerConnection {
public:
    StrictSqlite(bool transactions, int& ends) : transactions_(transactions), ends_(ends) {}
    void setCursorLocation(int l) override { real_.setCursorLocation(l); }
    void setCommandTimeout(int s) override { real_.setCommandTimeout(s); }
    void setConnectionTimeout(int s) override { real_.setConnectionTimeout(s); }
    void open(const std::string& text) override { real_.open(text); }
    bool isOpen() const override { return real_.isOpen(); }
    void execute(const std::string& sql) override
    {
        if (sql.rfind("CREATE TABLE", 0) == 0 && sql.back() == ';')
            real_.execute(sql.substr(0, sql.size() - 1) + " STRICT;");
        else
            real_.execute(sql);
    }
    std::vector<platform::SchemaTable> tables() override { return real_.tables(); }
    void close() override { real_.close(); }
    bool setAutoCommit(bool on) override { return transactions_ ? real_.setAutoCommit(on) : on; }
    void commit() override
    {
        ++ends_;
        real_.commit();
    }
    void rollback() override
    {
        ++ends_;
        real_.rollback();
    }

private:
    platform::OdbcServerConnection real_;
    bool transactions_;
    int& ends_;  // commits and rollbacks
};

struct StrictSqliteFactory : platform::ServerConnectionFactory {
    bool transactions = true;
    int transactionEnds = 0;
    std::unique_ptr<platform::ServerConnection> create() override
    {
        return std::make_unique<StrictSqlite>(transactions, transactionEnds);
    }
};

}  // namespace

TEST(TransactionRealDriver, OnePercentFailingRecordsLeaveWhatAStatementByStatementRunLeaves)
{
    if (SqliteDriverLibrary().empty())
        GTEST_SKIP() << "the SQLite ODBC driver (libsqliteodbc) is not installed";
    std::string rows[2];
    std::vector<std::string> reports[2];
    for (const bool transactions : {false, true}) {
        const auto database = OdbcTestEnvironment::dataFolder()
            / ("strict-" + std::to_string(::getpid()) + (transactions ? "-batched" : "-alone") + ".sqlite");
        std::filesystem::remove(database);
        {  // B exists already: the run drops it inside the same stretch of statements.
            int unused = 0;
        StrictSqlite existing(false, unused);
            existing.open("Driver={SQL Server};Server=x;Database=" + database.string() + ";");
            existing.execute("CREATE TABLE [B]([OLD] INT);");
            existing.execute("INSERT INTO [B] VALUES(1)");
        }
        DirectRun run;
        run.form.Text8 = database.string();
        run.addTable("A", 2000);
        run.addTable("B", 300);
        StrictSqliteFactory servers;
        servers.transactions = transactions;
        run.run(servers, CountOnly(250));
        rows[transactions] = ReadRows(database, "SELECT 'A', * FROM [A] ORDER BY rowid")
            + ReadRows(database, "SELECT 'B', * FROM [B] ORDER BY rowid");
        reports[transactions] = run.reports();
        // With transactions: at least a rollback per refusal and a commit per table.
        EXPECT_EQ(servers.transactionEnds >= 23 + 2, transactions) << servers.transactionEnds;
        std::filesystem::remove(database);
    }
    // The overwrite question, 20 + 3 refused records reported once each, "Done.".
    ASSERT_EQ(reports[true].size(), 25u);
    EXPECT_NE(reports[true][1].find("cannot store TEXT value in INT column"), std::string::npos)
        << reports[true][1];
    EXPECT_NE(reports[true][1].find("at line 416"), std::string::npos) << reports[true][1];
    EXPECT_EQ(reports[true], reports[false]);
    EXPECT_EQ(std::count(rows[true].begin(), rows[true].end(), '\n'), 2000 - 20 + 300 - 3);
    EXPECT_EQ(rows[true], rows[false]);
}
