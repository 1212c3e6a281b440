// Transactions around direct mode and Execute SQL: where the commits fall, and
// that a failure leaves the server and the reports exactly as a
// statement-by-statement run leaves them, against a scripted server and
// against the real ODBC path (SQLite registered as "SQL Server").
#include "conversion/conversion_run.h"
#include "conversion/execute_lines.h"
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
#include <bit>
#include <deque>
#include <fstream>
#include <optional>
#include <set>

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

conversion::TransactionLimits CountOnly(std::size_t statements, std::size_t perCall = 1)
{
    conversion::TransactionLimits limits;
    limits.statements = statements;
    limits.time = std::chrono::hours(1);  // the count alone decides
    limits.statementsPerCall = perCall;
    return limits;
}

std::string Insert(int n)
{
    return "INSERT INTO t VALUES(" + std::to_string(n) + ")";
}

}  // namespace

// Execute SQL's way: an SQL error stops at its row, and a line-by-line run
// would never have run the rows after it; the rows before it stay on the
// server, run again in a transaction.
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
        }, nullptr, nullptr, CountOnly(3));
        for (int row = 1; row <= 9 && !errorRow; ++row)
            batch.execute("INSERT INTO t VALUES(" + std::to_string(row) + ")", row);
        EXPECT_TRUE(batch.finish() == StatementBatch::Next::Continue);
    }
    EXPECT_EQ(errorRow, 5);
    EXPECT_EQ(alone, (std::vector<int>{5}));
    EXPECT_EQ(state.executed, (std::vector<std::string>{"INSERT INTO t VALUES(1)", "INSERT INTO t VALUES(2)",
                                                        "INSERT INTO t VALUES(3)", "INSERT INTO t VALUES(4)"}));
    EXPECT_EQ(state.transactionLog, (std::vector<std::string>{"off", "commit 3", "rollback 1", "commit 1", "on"}));
}

// Execute SQL after a refused commit runs every line alone; a line refused
// then stops it where a line-by-line run stops, so that the lines after it are
// not stored and executing again stores each line once (wherever its clock
// puts the commits).
TEST(StatementBatch, ExecuteSqlStopsAtALineRefusedWhenItRunsAgain)
{
    FakeServerState state;
    state.refusesCommit = [&state] { return std::ranges::count(state.uncommitted, Insert(5)) > 0; };
    state.refuses = [runs = 0](const std::string& s) mutable { return s == Insert(5) && ++runs == 2; };
    FakeServerConnection connection(state);
    connection.open("x");
    conversion::PreviewList lines;
    std::vector<std::string> all;
    for (int n = 1; n <= 9; ++n)
        lines.append(all.emplace_back(Insert(n)));
    ScriptedDialogs dialogs;
    platform::NoEventLoop events;
    conversion::OpenBatches open;
    for (const int errorRow : {5, 0}) {
        core::GuardedOperation op(dialogs, "Form2.PushButton1_Click ");
        const conversion::LineWatch watch{[] { return false; }, [](int, int) {}};
        EXPECT_EQ(conversion::ExecuteLines(lines, &connection, open, events, op, watch).errorRow, errorRow);
    }
    EXPECT_EQ(state.executed, all);
}

namespace {

// What statements 1..n left: the rows stored, each failure reported (a lost
// connection as 0: a statement-by-statement run names the statement whose
// answer was lost, the batch the first of the commit), the statements run
// alone through the caller and those reported as perhaps stored.
struct Outcome {
    std::vector<std::string> stored;
    std::vector<int> reported;
    std::vector<int> alone;
    std::vector<int> inDoubt;
    std::vector<std::size_t> rowsInDoubt;  // per report: the rows it left in doubt

    void report(const std::string& description, int tag)
    {
        reported.push_back(description.find("commit lost") == std::string::npos ? tag : 0);
    }
    // One statement with autocommit, its failure reported as a caller reports it.
    StatementBatch::Next execute(FakeServerConnection& connection, const std::string& statement, int tag)
    {
        try {
            connection.execute(statement);
        } catch (const std::exception& e) {
            report(e.what(), tag);
            return StatementBatch::Next::Refused;
        }
        return StatementBatch::Next::Continue;
    }
};

Outcome ThroughTheBatch(FakeServerState& state, int statements, conversion::TransactionLimits limits)
{
    FakeServerConnection connection(state);
    connection.open("x");
    Outcome out;
    {
        StatementBatch batch(&connection, [&](const std::string& s, int tag) {
            out.alone.push_back(tag);
            return out.execute(connection, s, tag);
        }, [&](const std::string& description, int tag, StatementBatch::InDoubt doubt) {
            out.inDoubt.push_back(tag);
            out.rowsInDoubt.push_back(doubt.rows);
            out.report(description, tag);
            return StatementBatch::Next::Continue;
        }, nullptr, limits);
        for (int tag = 1; tag <= statements; ++tag)
            batch.execute(Insert(tag), tag, StatementBatch::Kind::Insert);
    }
    out.stored = state.executed;
    return out;
}

// One by one with autocommit; the connection goes, if the batch's did, once as many rows are stored.
Outcome StatementByStatement(FakeServerState& state, int statements, const Outcome& batch)
{
    if (std::ranges::count(batch.reported, 0) > 0)
        state.losesCommit = [&state, n = batch.stored.size()] { return state.executed.size() == n; };
    FakeServerConnection connection(state);
    connection.open("x");
    Outcome out;
    for (int tag = 1; tag <= statements; ++tag)
        out.execute(connection, Insert(tag), tag);
    out.stored = state.executed;
    return out;
}

using Driver = std::function<void(FakeServerState&, int refused)>;  // refused: the first refused statement

// Ten statements, four to a transaction: those refused, run alone and reported as perhaps stored.
struct Ten {
    std::vector<int> refused, alone, inDoubt;
    std::vector<std::size_t> rowsInDoubt = {};
};

// Statements 1..n through the batch and one by one, on servers the driver scripts alike.
// With `halves`, the driver's naming is found wrong and a failed call is cut
// in two until the refused statement is a call of its own.
void Compare(const char* name, const Driver& driver, std::size_t perCall, int statements,
             const std::vector<int>& refused, const Ten* ten = nullptr, bool halves = false)
{
    SCOPED_TRACE(std::string(name) + ", " + std::to_string(perCall) + " per call, "
                 + std::to_string(refused.empty() ? 0 : refused[0]) + " refused");
    FakeServerState state[2];  // the batch's and the statement-by-statement run's
    for (FakeServerState& s : state) {
        s.refuses = [refused](const std::string& sql) {
            return std::ranges::any_of(refused, [&](int n) { return sql == Insert(n); });
        };
        driver(s, refused.empty() ? 0 : refused[0]);
    }
    const auto limits = CountOnly(ten ? 4 : 2 * perCall, perCall);
    const Outcome batch = ThroughTheBatch(state[0], statements, limits);
    const Outcome model = StatementByStatement(state[1], statements, batch);
    EXPECT_EQ(batch.stored, model.stored);
    EXPECT_EQ(batch.reported, model.reported);
    EXPECT_EQ(std::set<int>(batch.alone.begin(), batch.alone.end()).size(), batch.alone.size());
    EXPECT_EQ(std::ranges::max(state[0].calls), perCall);
    // A refusal costs a rollback or two, or three where the driver names the
    // wrong statement, and one per halving.
    const auto& log = state[0].transactionLog;
    EXPECT_LE(std::ranges::count_if(log, [](const std::string& e) { return e.starts_with("rollback"); }),
              (3 + (halves ? std::bit_width(perCall) : 0)) * std::ssize(refused) + 1);
    if (ten) {
        EXPECT_EQ(batch.alone, ten->alone);
        EXPECT_EQ(batch.inDoubt, ten->inDoubt);
        if (!ten->rowsInDoubt.empty()) {
            EXPECT_EQ(batch.rowsInDoubt, ten->rowsInDoubt);
        }
    }
}

}  // namespace

// After a failure only statements known not to be stored run again; those
// that may be stored are reported, never run again; and the rows and reports
// are those of a statement-by-statement run on the same server. Each driver
// runs with 1, 3 and 1,000 statements per call, three calls, two to a
// transaction, refused first, in the middle or last in the second call, or two
// there; with ten statements, four to a transaction, and 1 or 4 per call,
// where a case names them, also which run alone and which are reported.
TEST(StatementBatch, AfterAFailureOnlyStatementsKnownNotStoredRunAgain)
{
    const auto nth = [](int n) { return [n, calls = 0]() mutable { return ++calls == n; }; };
    using Names = FakeServerState::Names;
    const struct {
        const char* name;
        Driver driver;
        std::optional<Ten> ten = std::nullopt;
        bool two = true;  // false: one report stands for the call, not for each refused statement
        bool halves = false;
    } cases[] = {
        {.name = "the driver names the refused statement",
         .driver = [](auto&, int) {},
         .ten = Ten{{6}, {6}, {}}},
        {.name = "the driver names none",
         .driver = [](auto& s, int) { s.driverNames = Names::None; },
         .ten = Ten{{6, 7}, {6, 7}, {}}},
        {.name = "the driver names the one after it", .driver = [](auto& s, int) { s.driverNames = Names::TheNext; }},
        {.name = "the driver names the call's first (NOCOUNT ON)",
         .driver = [](auto& s, int) { s.driverNames = Names::TheFirst; },
         .halves = true},
        {.name = "the refusal rolls the transaction back",
         .driver = [](auto& s, int) { s.refusalEndsTransaction = true; }},
        {.name = "the refusal rolls the transaction back and the driver misses it",
         .driver = [](auto& s, int) { s.refusalEndsTransaction = s.driverMissesTheEnd = true; },
         .ten = Ten{{6}, {5, 6, 7, 8, 9, 10}, {}}},
        {.name = "the second commit stored, its answer lost",
         .driver = [&](auto& s, int) { s.losesCommit = nth(2); },
         .ten = Ten{{}, {9, 10}, {5}, {4}}},  // the commit's four rows
        {.name = "the second commit refused",
         .driver = [&](auto& s, int) { s.refusesCommit = nth(2); },
         .ten = Ten{{}, {5, 6, 7, 8}, {}}},
        {.name = "the statement before the refused one refused when it runs again",
         .driver =
             [](auto& s, int refused) {
                 s.refuses = [r = s.refuses, before = Insert(refused - 1), runs = 0](const std::string& sql) mutable {
                     return r(sql) || (sql == before && ++runs == 2);
                 };
             },
         .ten = Ten{{6}, {5, 6}, {}}},
        {.name = "the rollback refused: the switch to autocommit commits the rest",
         .driver = [&](auto& s, int) { s.refusesRollback = nth(1); },
         .ten = Ten{{6}, {}, {6}},
         .two = false},
        {.name = "the driver stays in autocommit and says so",
         .driver = [](auto& s, int) { s.keepsAutoCommit = true; },
         .two = false},
    };
    for (const auto& c : cases) {
        for (const int perCall : {1, 3, 1000}) {
            const int middle = perCall + 1 + perCall / 2;
            const std::vector<int> places[] = {{perCall + 1}, {middle}, {2 * perCall}, {middle, middle + 1}};
            for (const std::vector<int>& refused : places)
                if (refused.size() == 1 || c.two)
                    Compare(c.name, c.driver, perCall, 3 * perCall, refused, nullptr, c.halves);
        }
        for (const std::size_t perCall : {1u, 4u})
            if (c.ten)
                Compare(c.name, c.driver, perCall, 10, c.ten->refused, &*c.ten);
    }
}

// The run's own inserts share a call up to its count and its bytes; a bigger
// statement, a text the batch had to read, and DDL each go alone, and at one
// statement per call every statement has a call of its own.
TEST(StatementBatch, InsertsShareCallsWithinTheBoundsAndNothingElseDoes)
{
    for (const std::size_t perCall : {4u, 1u}) {
        SCOPED_TRACE(perCall);
        FakeServerState state;
        FakeServerConnection connection(state);
        connection.open("x");
        std::vector<std::string> sent;
        {
            conversion::TransactionLimits limits = CountOnly(1000, perCall);
            limits.bytesPerCall = 4 * Insert(10).size() + 3;  // four of them, joined
            StatementBatch batch(&connection, [&](const std::string& s, int) {
                connection.execute(s);
                return StatementBatch::Next::Continue;
            }, nullptr, nullptr, limits);
            const auto insert = [&](const std::string& s, StatementBatch::Kind kind = StatementBatch::Kind::Insert) {
                sent.push_back(s);
                batch.execute(s, 0, kind);
            };
            for (int n = 10; n < 20; ++n)
                insert(Insert(n));
            insert("INSERT INTO t VALUES('" + std::string(limits.bytesPerCall, 'x') + "')");
            for (int n = 20; n < 23; ++n)
                insert(Insert(n));
            insert(Insert(23), StatementBatch::Kind::Unknown);  // read, found a single INSERT
            for (int n = 24; n < 26; ++n)
                insert(Insert(n));
            batch.execute("CREATE TABLE u(a INT)", 0, StatementBatch::Kind::Other);
            for (int n = 26; n < 28; ++n)
                insert(Insert(n));
        }
        const std::vector<std::size_t> calls =
            perCall == 1 ? std::vector<std::size_t>(sent.size(), 1) : std::vector<std::size_t>{4, 4, 2, 1, 3, 1, 2, 2};
        EXPECT_EQ(state.calls, calls);
        sent.insert(sent.begin() + 17, "CREATE TABLE u(a INT)");
        EXPECT_EQ(state.executed, sent);
    }
}

TEST(TransactionRun, CommitsAtTheBoundAndAtEveryTableEndAndReplaysAfterAFailure)
{
    // Table A has 250 records, B 30 and exists on the server (dropped first);
    // the inserts of records 50, 150 and 250 of A hold a text for an INT,
    // which this server takes unless a case refuses it.
    const auto refuses150 = [](const std::string& s) { return s.find("'x150'") != std::string::npos; };
    const struct {
        const char* name;
        std::function<bool(const std::string&)> refuses;
        std::function<bool(int commit)> refusesCommit;
        bool refusalEndsTransaction;
        std::vector<std::string> logA;
    } cases[] = {
        {"no failure", nullptr, nullptr, false, {"off", "commit 100", "commit 100", "commit 50", "on"}},
        // 101..149 rolled back and run again in a transaction, 150 alone; 151 starts anew.
        {"record 150 refused", refuses150, nullptr, false,
         {"off", "commit 100", "rollback 49", "commit 49", "on", "off", "commit 100", "on"}},
        {"record 150 refused and its transaction rolled back by the server", refuses150, nullptr, true,
         {"off", "commit 100", "commit 49", "on", "off", "commit 100", "on"}},
        // 101..200 rolled back and run again alone.
        {"the second commit of A refused", nullptr, [](int commit) { return commit == 2; }, false,
         {"off", "commit 100", "commit refused", "rollback 100", "on", "off", "commit 50", "on"}},
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
            servers.state.rows = {{"B", 30}};
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
    StrictSqlite(bool transactions, int& ends, std::string onOpen, int* severalCalls = nullptr)
        : transactions_(transactions), ends_(ends), onOpen_(std::move(onOpen)), severalCalls_(severalCalls)
    {
    }
    void setCursorLocation(int l) override { real_.setCursorLocation(l); }
    void setCommandTimeout(int s) override { real_.setCommandTimeout(s); }
    void setConnectionTimeout(int s) override { real_.setConnectionTimeout(s); }
    void open(const platform::SecretText& text) override
    {
        real_.open(text);
        if (!onOpen_.empty())
            real_.execute(onOpen_);
    }
    bool isOpen() const override { return real_.isOpen(); }
    void execute(const std::string& sql) override
    {
        if (sql.rfind("CREATE TABLE", 0) == 0 && sql.back() == ';')
            real_.execute(sql.substr(0, sql.size() - 1) + " STRICT;");
        else
            real_.execute(sql);
    }
    void executeSeveral(std::span<const std::string_view> statements) override
    {
        if (severalCalls_ && statements.size() > 1)
            ++*severalCalls_;
        real_.executeSeveral(statements);
    }
    std::vector<platform::SchemaTable> tables() override { return real_.tables(); }
    std::unique_ptr<platform::ServerRows> query(const std::string& sql) override { return real_.query(sql); }
    std::string dbmsName() override { return real_.dbmsName(); }
    void close() override { real_.close(); }
    AutoCommit autoCommit() override { return transactions_ ? real_.autoCommit() : AutoCommit::On; }
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
    std::string onOpen_;  // a setting of the connection, such as SQLite's page limit
    int* severalCalls_;   // calls of more than one statement
};

struct StrictSqliteFactory : platform::ServerConnectionFactory {
    bool transactions = true;
    int transactionEnds = 0;
    int severalCalls = 0;
    std::string onOpen;
    std::unique_ptr<platform::ServerConnection> create() override
    {
        return std::make_unique<StrictSqlite>(transactions, transactionEnds, onOpen, &severalCalls);
    }
};

// A as a table whose trigger `body` runs after each row, where a second row of
// one KEY in A_ROWS rolls the transaction back. A holds no row: the run is
// told to continue it, so that its rows go into this table, not a new one.
std::vector<std::string> TriggeredA(const std::string& body)
{
    return {"CREATE TABLE [A_ROWS]([ID], [NAME], [KEY] UNIQUE ON CONFLICT ROLLBACK)",
            "CREATE TABLE [A]([ID] INT, [NAME] TEXT) STRICT",
            "CREATE TRIGGER [A_IN] AFTER INSERT ON [A] BEGIN " + body + " END"};
}

}  // namespace

// The server ends a transaction itself (a trigger's rollback, a constraint
// that rolls back, a full database): SQLite's driver then still believes in
// the transaction, and its statements commit one by one. Then B, where the
// server refuses records as ever. A hundred inserts go in one call (through
// the driver one by one: it takes one statement per call), so the refused
// ones sit in the middle of theirs.
TEST(TransactionRealDriver, RefusalsAndRollbacksByTheServerLeaveWhatAStatementByStatementRunLeaves)
{
    if (SqliteDriverLibrary().empty())
        GTEST_SKIP() << "the SQLite ODBC driver (libsqliteodbc) is not installed";
    const struct {
        const char* name;
        std::vector<std::string> setup;  // before the run; B exists already and is dropped by it
        int pagesToSpare;                // > 0: the connection's page limit leaves that many
        const char* refusal;             // in the report of each refusal
        int refusals;                    // 0: many
    } cases[] = {
        // A text for an INT column in records 50, 150, ... of A (20) and of B (3).
        {"refused records", {}, 0, "cannot store TEXT value in INT column", 23},
        {"a trigger rolls back",
         TriggeredA("SELECT RAISE(ROLLBACK, 'record refused') WHERE NEW.[ID] IN (120, 1700);"), 0,
         "record refused", 2},
        {"a constraint rolls back",
         TriggeredA("INSERT INTO [A_ROWS] VALUES(NEW.[ID], NEW.[NAME], "
               "CASE WHEN NEW.[ID] IN (120, 1700) THEN 'A7' ELSE NEW.[NAME] END);"),
         0, "UNIQUE constraint failed", 2},
        // A fills the database; the drop of B frees it.
        {"the database fills up", {}, 6, "database or disk is full", 0},
    };
    for (const auto& c : cases) {
        std::string rows[2];
        std::vector<std::string> reports[2];
        for (const bool transactions : {false, true}) {
            const auto database = OdbcTestEnvironment::dataFolder()
                / ("strict-" + std::to_string(::getpid()) + (transactions ? "-batched" : "-alone") + ".sqlite");
            std::filesystem::remove(database);
            StrictSqliteFactory servers;
            {
                int unused = 0;
                StrictSqlite existing(false, unused, "");
                existing.open("Driver={SQL Server};Server=x;Database=" + database.string() + ";");
                existing.execute("CREATE TABLE [B]([OLD] INT, [FILL] BLOB);");
                existing.execute("INSERT INTO [B] VALUES(1, zeroblob(400000))");
                for (const auto& sql : c.setup)
                    existing.execute(sql);
                if (c.pagesToSpare > 0)
                    servers.onOpen = "PRAGMA max_page_count = "
                        + std::to_string(std::stoi(ReadOne(database, "PRAGMA page_count")) + c.pagesToSpare);
            }
            DirectRun run;
            // B is dropped; A, made by the set-up, is continued.
            run.dialogs.answering = [](const platform::Message& m) {
                return m.text.starts_with("A ") ? platform::Answer::Continue : platform::Answer::Yes;
            };
            run.form.Text8 = database.string();
            run.addTable("A", 2000);
            run.addTable("B", 300);
            servers.transactions = transactions;
            run.run(servers, CountOnly(250, 100));
            rows[transactions] = ReadRows(database, "SELECT 'A', * FROM [A] ORDER BY rowid")
                + ReadRows(database, "SELECT 'B', * FROM [B] ORDER BY rowid");
            reports[transactions] = run.reports();
            EXPECT_EQ(servers.transactionEnds > 0, transactions) << c.name;
            EXPECT_EQ(servers.severalCalls > 0, transactions) << c.name;
            std::filesystem::remove(database);
        }
        EXPECT_EQ(reports[true], reports[false]) << c.name;
        EXPECT_EQ(rows[true], rows[false]) << c.name;
        const auto refusals = std::count_if(reports[true].begin(), reports[true].end(), [&](const std::string& r) {
            return r.find(c.refusal) != std::string::npos && r.find("at line 416") != std::string::npos;
        });
        if (c.refusals > 0)
            EXPECT_EQ(refusals, c.refusals) << c.name;
        else
            EXPECT_GT(refusals, 100) << c.name;
        const auto rowsOf = [&](const std::string& table) {
            std::size_t n = 0;
            for (std::size_t at = rows[true].find(table + "|"); at != std::string::npos;
                 at = rows[true].find("\n" + table + "|", at + 1))
                ++n;
            return n;
        };
        EXPECT_GT(rowsOf("A"), 1000u) << c.name;
        EXPECT_EQ(rowsOf("B"), 300u - 3u) << c.name;  // B whole but for its 3 refused records
    }
}
