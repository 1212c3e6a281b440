// End to end through the real FreeTDS ODBC driver, as on a machine without a
// driver registered as "SQL Server": dovenmark-cli convert against the TDS test
// server, whose record shows what went over the wire.
#include "tests/platform/odbc_test_environment.h"
#include "tests/support/numbered_table.h"
#include "tests/support/run_program.h"
#include "tests/tds/tds_server_process.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <fstream>
#include <optional>
#include <set>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

[[maybe_unused]] auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(
    new OdbcTestEnvironment("[SQLite3]\nDriver=" + SqliteDriverLibrary() + "\n"));

// A run of the command on a terminal of its own (a pseudo-terminal): what it
// wrote there, its exit status, and its command line and environment as the
// process list showed them once the server had its login.
struct TerminalRun {
    int status = -1;
    std::string shown;
    std::string cmdline;
    std::string environment;
};

std::string CommandLineOf(pid_t pid, const char* file = "cmdline")
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::replace(text.begin(), text.end(), '\0', ' ');
    return text;
}

// `typed` followed by a line break answers a prompt "Password for ...". With
// `crashIn`, the command runs there with core dumps allowed and is made to
// crash (SIGSEGV) once the server has its login.
TerminalRun RunOnTerminal(const std::vector<std::string>& arguments, const std::optional<std::string>& password,
                          const std::string& typed, const TdsTestServer& server, const fs::path* crashIn = nullptr)
{
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
        ::unsetenv("DOVENMARK_PASSWORD");
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
        if (crashIn && (::setrlimit(RLIMIT_CORE, &unlimited) != 0 || ::chdir(crashIn->c_str()) != 0))
            ::_exit(126);
        if (password)
            ::setenv("DOVENMARK_PASSWORD", password->c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(DOVENMARK_CLI)};
        for (const std::string& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(DOVENMARK_CLI, argv.data());
        ::_exit(127);
    }
    TerminalRun run;
    if (pid < 0)
        return run;
    bool answered = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{terminal, POLLIN, 0};
        if (::poll(&p, 1, 5) > 0) {
            char buffer[4096];
            const ssize_t n = ::read(terminal, buffer, sizeof buffer);
            if (n <= 0)
                break;  // the command has ended: its side of the terminal is closed
            run.shown.append(buffer, static_cast<std::size_t>(n));
        }
        if (!answered && run.shown.find("Password for ") != std::string::npos) {
            const std::string answer = typed + "\n";
            answered = ::write(terminal, answer.data(), answer.size()) == static_cast<ssize_t>(answer.size());
        }
        if (run.cmdline.empty()) {
            const auto records = server.records();
            if (std::any_of(records.begin(), records.end(), [](const TdsRecord& r) { return r.kind == "login"; })) {
                run.cmdline = CommandLineOf(pid);
                run.environment = CommandLineOf(pid, "environ");
                if (crashIn)
                    ::kill(pid, SIGSEGV);
            }
        }
    }
    ::kill(pid, SIGKILL);  // only if it outlived the deadline
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(terminal);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class FreeTdsWire : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const auto missing = FreeTdsMissing())
            GTEST_SKIP() << *missing;
        corpus = *paradoxTestdata();
    }

    // A folder of copies of the tables named (each .db with its .mb, if any).
    fs::path folderOf(const std::string& name, const std::vector<std::string>& tables)
    {
        const fs::path folder = dir / name;
        fs::create_directories(folder);
        for (const std::string& t : tables) {
            const fs::path db = corpus / t;
            fs::copy_file(db, folder / db.filename());
            for (const char* mb : {".mb", ".MB"}) {
                const fs::path blobs = fs::path(db).replace_extension(mb);
                if (fs::exists(blobs))
                    fs::copy_file(blobs, folder / blobs.filename());
            }
        }
        return folder;
    }

    ProgramRun cli(const std::string& arguments) { return RunProgram(dir, Quoted(DOVENMARK_CLI) + " " + arguments); }

    ProgramRun convert(const TdsTestServer& server, const fs::path& folder, const std::string& options = "")
    {
        return cli("convert " + Quoted(folder.string()) + " --connection " + Quoted(server.connectionText()) + " "
                   + options);
    }

    TempDir dir;
    fs::path corpus;
};

}  // namespace

TEST_F(FreeTdsWire, ConvertSendsEveryStatementThatScriptWritesByteForByte)
{
    struct Case {
        std::string label;
        fs::path folder;
        std::string options;
        std::string mustHold;        // a text the statements hold, so that the case shows what it says
        std::size_t longest = 0;     // the longest statement is at least this long
        bool lineBreaks = false;     // some statement holds a line break (a memo's)
    };
    const Case cases[] = {
        {"dbdemos", corpus / "dbdemos", "", "INSERT INTO [BIOLIFE]", 0, true},
        // Every statement in a batch of its own.
        {"dbdemos, one per round trip", corpus / "dbdemos", "--per-trip 1", "INSERT INTO [BIOLIFE]", 0, true},
        // é (0xE9 in this table's code page 1252) read as CP866: щ, which no
        // code page of SQL Server's Latin1 collation holds.
        {"CP866", folderOf("cp866", {"paradoxdriver/db/AREACODES.DB"}), "--codepage CP866", "Montrщal", 0},
        {"pictures", folderOf("pictures", {"dbdemos/biolife.db", "dbdemos/events.db", "dbdemos/venues.db",
                                           "paradoxdriver/fields/graphic.db"}),
         "--binary", "0x", 4'000'000},
        // SQL Server's own column types: N'...' texts read as Cyrillic, identity
        // values with SET IDENTITY_INSERT, keys added after the rows.
        {"sqlserver", folderOf("typed", {"dbdemos/events.db", "dbdemos/reservat.db", "paradoxdriver/fields/bcd.db",
                                         "paradoxdriver/fields/bytes.db", "paradoxdriver/fields/timestamp.db",
                                         "paradoxdriver/db/AREACODES.DB"}),
         "--column-types sqlserver --binary --codepage CP866", "N'Montrщal,", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const bool onePerTrip = c.options == "--per-trip 1";
        const ProgramRun script = cli("script " + Quoted(c.folder.string()) + " " + (onePerTrip ? "" : c.options));
        ASSERT_EQ(script.status, 0) << script.err;
        const std::vector<std::string> statements = ScriptStatements(script.out);
        ASSERT_NE(script.out.find(c.mustHold), std::string::npos);
        if (c.label == "sqlserver") {
            for (const char* word : {"SET IDENTITY_INSERT [EVENTS] ON", "ADD CONSTRAINT [PK_RESERVAT] PRIMARY KEY"})
                ASSERT_NE(script.out.find(word), std::string::npos) << word;
        }
        std::size_t longest = 0;
        for (const auto& s : statements)
            longest = std::max(longest, s.size());
        ASSERT_GE(longest, c.longest);
        // Memos keep their line breaks, so the batches' line breaks outside
        // quotes are the only ones that part statements.
        if (c.lineBreaks) {
            ASSERT_TRUE(std::ranges::any_of(statements, [](const std::string& s) { return s.find('\n') != s.npos; }));
        }

        TdsTestServer server;
        const ProgramRun run = convert(server, c.folder, c.options);
        EXPECT_EQ(run.status, 0) << run.err;
        const std::vector<std::string> batches = server.batches();
        if (onePerTrip) {
            EXPECT_EQ(batches.size(), statements.size());
        } else {
            EXPECT_LT(batches.size(), statements.size()) << "inserts share round trips";
        }
        EXPECT_TRUE(server.statements() == statements) << "the statements on the wire differ from what script writes";
        const auto records = server.records();
        EXPECT_EQ(std::ranges::count_if(records, [](const TdsRecord& r) { return r.kind == "login"; }), 1);
    }
}

// FreeTDS keeps autocommit off with transaction manager requests: begin when it
// is switched off, commit (which begins the next transaction at once) for each
// commit, rollback when it is switched on again.
TEST_F(FreeTdsWire, TheRunsCommitsAreOnTheWireWhereTheRunMakesThem)
{
    const fs::path folder = folderOf("commits", {"dbdemos/items.db", "dbdemos/country.db"});
    // ITEMS' 945 inserts, 100 to a round trip, take longer than one commit's time.
    TdsTestServer server({"--delay-ms", "30"});
    const ProgramRun run = convert(server, folder, "--per-trip 100");
    ASSERT_EQ(run.status, 0) << run.err;

    bool open = false;
    std::vector<std::string> uncommitted;
    std::map<std::string, int> commitsPerTable;
    std::string table;
    int inserts = 0;
    for (const TdsRecord& r : server.records()) {
        if (r.kind == "transaction") {
            if (r.op == "begin") {
                EXPECT_FALSE(open) << "begin inside a transaction, at " << r.n;
                open = true;
            } else if (r.op == "commit") {
                EXPECT_TRUE(open) << "commit without a transaction, at " << r.n;
                EXPECT_FALSE(uncommitted.empty()) << "a commit with nothing to commit, at " << r.n;
                uncommitted.clear();
                ++commitsPerTable[table];
            } else if (r.op == "rollback") {
                EXPECT_TRUE(uncommitted.empty()) << "inserts rolled back, at " << r.n;
                open = false;
            }
        } else if (r.kind == "batch" && r.text.rfind("CREATE TABLE", 0) == 0) {
            EXPECT_TRUE(uncommitted.empty()) << "a table began before the last one was committed, at " << r.n;
            EXPECT_FALSE(open) << "CREATE TABLE inside a transaction, at " << r.n;
            table = r.text.substr(13, r.text.find(']') - 12);
        } else if (r.kind == "batch" && !r.text.starts_with(TdsTestServer::kCountQuery)
                   && r.text != TdsTestServer::kSessionSetting) {
            EXPECT_TRUE(open) << "an insert outside a transaction, at " << r.n;
            uncommitted.push_back(r.text);
            inserts += static_cast<int>(std::ranges::count(r.text, '\n')) + 1;  // no memos here
        }
    }
    EXPECT_TRUE(uncommitted.empty()) << "the run ended before its last commit";
    EXPECT_EQ(inserts, 945 + 18);
    EXPECT_EQ(commitsPerTable["[COUNTRY]"], 1);  // at the table's end
    EXPECT_GT(commitsPerTable["[ITEMS]"], 1);    // also when a commit's time is up
}

// The refused insert sits in the middle of a batch of COUNTRY's inserts: the
// server goes on after 8152, and ends the batch and rolls its transaction back
// after 245. What the server stored and what the run reported are those of a
// run that sends one statement per round trip; and so on a server whose
// sessions start with NOCOUNT ON, where ITEMS' 700th of 945 inserts is refused.
TEST_F(FreeTdsWire, ARefusedStatementIsReportedAndTheRestOfTheRunIsStoredAsOnePerTripStoresIt)
{
    const fs::path folder = folderOf("refused", {"dbdemos/country.db", "dbdemos/employee.db", "dbdemos/items.db"});
    const std::vector<std::string> statements = ScriptStatements(cli("script " + Quoted(folder.string())).out);
    const auto inserts =
        std::ranges::count_if(statements, [](const std::string& s) { return s.starts_with("INSERT"); });
    ASSERT_GT(inserts, 20);
    struct Case {
        std::string refuse;
        std::string said;
        long notStored;
        bool tableMade = true;  // false: none of COUNTRY's inserts is sent
        bool nocount = false;
        std::string table = "COUNTRY";
    };
    const Case cases[] = {
        {"Brazil=8152", "[FreeTDS][SQL Server]String or binary data would be truncated.", 1},
        {"Bolivia=245",
         "[FreeTDS][SQL Server]Conversion failed when converting the varchar value 'Bolivia' to data type int.", 1},
        // Then nothing of COUNTRY goes into the object that holds its name.
        {"CREATE TABLE [COUNTRY]=2714",
         "[FreeTDS][SQL Server]There is already an object named 'COUNTRY' in the database. "
         "The table COUNTRY is not converted: none of its 18 records were sent.",
         18, false},
        {"VALUES(1200, 2, 9312=8152", "[FreeTDS][SQL Server]String or binary data would be truncated.", 1, true, true,
         "ITEMS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refuse);
        std::vector<std::string> stored[2];
        std::string said[2];
        for (const bool onePerTrip : {false, true}) {
            std::vector<std::string> options{"--refuse", c.refuse, "--record-stored"};
            if (c.nocount)
                options.push_back("--nocount");
            TdsTestServer server(options);
            const ProgramRun run = convert(server, folder, onePerTrip ? "--per-trip 1" : "");
            EXPECT_EQ(run.status, 1) << run.err;
            // One line: the table, the record where there is one, the driver's message.
            EXPECT_NE(run.err.find("\ndovenmark-cli: " + c.table), std::string::npos) << run.err;
            EXPECT_NE(run.err.find("] " + c.said + "\n"), std::string::npos) << run.err;
            EXPECT_EQ(run.err.find("Done."), std::string::npos) << run.err;
            EXPECT_NE(run.err.find("dovenmark-cli: not everything went through: "), std::string::npos) << run.err;
            const std::vector<std::string> sentList = server.statements();
            const std::set<std::string> sent(sentList.begin(), sentList.end());
            for (const std::string& s : statements) {
                const bool made = c.tableMade || !s.starts_with("INSERT INTO [COUNTRY]");
                EXPECT_EQ(sent.count(s), made ? 1u : 0u) << (made ? "never sent: " : "sent: ") << s;
            }
            stored[onePerTrip] = server.stored();
            said[onePerTrip] = run.err;
            if (!onePerTrip && c.notStored == 1) {
                // Three tables of 1,005 inserts, three creates, and the refusal:
                // a few batches more, not one per insert of the refused one's.
                EXPECT_LE(server.batches().size(), 12u);
            }
        }
        EXPECT_EQ(said[false], said[true]);
        EXPECT_EQ(stored[false], stored[true]);
        EXPECT_EQ(static_cast<long>(stored[false].size()), inserts - c.notStored);
        EXPECT_EQ(std::set<std::string>(stored[false].begin(), stored[false].end()).size(), stored[false].size())
            << "an insert stored twice";
    }
}

// Where two lists of stored rows first differ, or "": values are equal texts
// or numbers of equal value (the server writes 0.5 where a constant says .5).
std::string FirstDifference(const std::vector<std::vector<std::optional<std::string>>>& a,
                            const std::vector<std::vector<std::optional<std::string>>>& b)
{
    const auto number = [](const std::string& text, double& d) {
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
        return ec == std::errc() && end == text.data() + text.size();
    };
    for (std::size_t r = 0; r < std::max(a.size(), b.size()); ++r) {
        const std::string at = "row " + std::to_string(r) + " of " + std::to_string(a.size()) + "/" + std::to_string(b.size());
        if (r >= a.size() || r >= b.size() || a[r].size() != b[r].size())
            return at;
        for (std::size_t v = 0; v < a[r].size(); ++v) {
            double x = 0;
            double y = 0;
            const bool same = a[r][v] == b[r][v]
                || (a[r][v] && b[r][v] && number(*a[r][v], x) && number(*b[r][v], y) && x == y);
            if (!same)
                return at + ", value " + std::to_string(v) + ": " + a[r][v].value_or("NULL") + " / " + b[r][v].value_or("NULL");
        }
    }
    return {};
}

// --bulk: the rows go as the server's bulk load, with their identity values,
// and arrive as the INSERTs store them; a row whose values the load cannot
// carry whole (a picture, a memo or a TEXT column's text beyond ASCII) and the
// rows after it go by INSERT, and a batch the server refuses goes again as
// INSERTs, so that what is stored and what is told equal a run without --bulk.
// A load stopped by SIGTERM and continued with --resume loads the rest too,
// and the rows stored are those of one run.
TEST_F(FreeTdsWire, TheBulkLoadStoresAndTellsWhatTheInsertsDo)
{
    const fs::path typed = folderOf("bulk", {"dbdemos/events.db", "dbdemos/biolife.db", "paradoxdriver/fields/bcd.db",
                                             "paradoxdriver/fields/bytes.db", "paradoxdriver/fields/timestamp.db",
                                             "paradoxdriver/db/AREACODES.DB"});
    fs::create_directories(dir / "bulkstopped");
    WriteNumberedTable(dir / "bulkstopped" / "big.db", 200'000);
    struct Case {
        std::string options;
        fs::path folder;
        std::vector<std::string> server{"--record-stored"};
        bool stopped = false;
    };
    const Case cases[] = {
        {"--column-types sqlserver --binary --codepage CP866", typed},
        {"--binary", typed},
        {"--column-types sqlserver", folderOf("bulkrefused", {"dbdemos/country.db", "dbdemos/employee.db"}),
         {"--record-stored", "--refuse", "Brazil=8152"}},
        {"--column-types sqlserver", dir / "bulkstopped", {"--record-stored"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options + " " + c.folder.filename().string());
        std::vector<std::vector<std::optional<std::string>>> stored[2];
        std::string said[2];
        for (const bool bulk : {false, true}) {
            TdsTestServer server(c.server);
            const std::string options = c.options + (bulk ? " --bulk" : "");
            if (bulk && c.stopped) {
                BackgroundProgram run(dir, {"/bin/sh", "-c", "exec " + Quoted(DOVENMARK_CLI) + " convert " + Quoted(c.folder.string())
                                                 + " --connection " + Quoted(server.connectionText()) + " " + options});
                ASSERT_TRUE(run.waitUntil([&] { return !server.storedRows().empty(); }));  // a load's batch committed
                run.signal(SIGTERM);
                const ProgramRun r = run.finish();
                ASSERT_EQ(r.status, 128 + SIGTERM) << r.err;
                EXPECT_NE(r.err.find("dovenmark-cli: Stopped by SIGTERM: BIG stopped after "), std::string::npos) << r.err;
                EXPECT_EQ(std::ranges::count(r.err, '\n'), 3) << r.err;  // the table, its line, the stop
            }
            said[bulk] = convert(server, c.folder, options + (bulk && c.stopped ? " --resume" : "")).err;
            stored[bulk] = server.storedRows();
            const auto records = server.records();
            const auto loaded = std::ranges::count_if(records, [](const TdsRecord& r) { return !r.table.empty(); });
            EXPECT_EQ(loaded > 0, bulk) << "rows stored by a bulk load";
            EXPECT_EQ(loaded, bulk && c.stopped ? 200'000 : loaded) << "the rest is loaded too" << said[bulk];
        }
        EXPECT_EQ(said[true], c.stopped ? said[true] : said[false]);  // a run continued also says so
        EXPECT_EQ(FirstDifference(stored[true], stored[false]), "");
    }
}

// A server that dies in the middle of a table: the table ends at once with one
// line, not one per record left, and the run, unable to connect again, ends
// with exit 1 and names the table it did not reach. A server that goes quiet:
// after 10 seconds a line says that the command waits; with --timeout the wait
// ends as a lost connection, and the run connects again to count what the
// table holds and goes on with the next, with --bulk as a bulk load.
TEST_F(FreeTdsWire, AServerThatDiesOrGoesQuietEndsTheTableWithOneLine)
{
    const fs::path folder = folderOf("lost", {"dbdemos/items.db", "dbdemos/country.db"});
    const auto lines = [](const std::string& err) {
        return std::ranges::count(err, '\n');
    };
    const std::string lost = "The connection to the server was lost while the table ITEMS was written: ";
    // It dies amid the INSERTs (after the 100th), and while a bulk load waits on its INSERT BULK.
    using Death = std::tuple<std::vector<std::string>, std::vector<std::string>, std::string, long>;
    for (const auto& [serverArgs, options, batch, after] : {Death{{"--delay-ms", "2"}, {"--per-trip", "1"}, "INSERT", 100},
                                                            Death{{"--stall", "insert bulk=5000"}, {"--bulk"}, "insert bulk", 0}}) {
        TdsTestServer server(serverArgs);
        std::vector<std::string> argv{DOVENMARK_CLI, "convert", folder.string(), "--connection", server.connectionText()};
        argv.insert(argv.end(), options.begin(), options.end());
        BackgroundProgram run(dir, argv);
        const auto seen = [&] { return std::ranges::count_if(server.batches(), [&](auto& b) { return b.starts_with(batch); }); };
        ASSERT_TRUE(run.waitUntil([&] { return seen() > after; }));
        server.kill();
        const ProgramRun r = run.finish();
        EXPECT_EQ(r.status, 1) << r.err;
        const auto at = r.err.find(lost + "how many of its rows the server holds is not known, and the rest was not sent. "
                                          "Connecting again failed");
        EXPECT_NE(at, std::string::npos) << r.err;
        EXPECT_LT(r.err.find(": [SQLSTATE 08S01]"), at) << r.err;  // the driver's words, then the one report
        EXPECT_NE(r.err.find("\nCOUNTRY: not converted, the connection being lost\n", at), std::string::npos) << r.err;
        EXPECT_LE(lines(r.err), 5) << r.err;  // the table's line, the one report, the summary's two, the ending
    }
    const std::string stall = "VALUES(1004, 3,=";
    {
        TdsTestServer server({"--stall", stall + "11000"});
        const ProgramRun r = convert(server, folder, "--per-trip 1");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("dovenmark-cli: waiting for the server... (10 s)\n"), std::string::npos) << r.err;
    }
    for (const std::string options : {"--per-trip 1", "--bulk"}) {
        TdsTestServer server({"--stall", (options == "--bulk" ? "insert bulk [ITEMS]=" : stall) + "5000"});
        const ProgramRun r = convert(server, folder, options + " --timeout 1");
        EXPECT_EQ(r.status, 1) << r.err;
        const auto at = r.err.find(lost + "the server holds ");
        EXPECT_NE(at, std::string::npos) << r.err;
        EXPECT_NE(r.err.find(" of it, and the rest was not sent.\n", at), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Connecting again failed"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("\nCOUNTRY: 18 records read, 19 statements through, 18 rows on the server\n"),
                  std::string::npos) << r.err;
        const auto loads = std::ranges::count_if(server.batches(), [](auto& b) { return b.starts_with("insert bulk [COUNTRY]"); });
        EXPECT_EQ(loads, options == "--bulk" ? 1 : 0) << "the next table, on the new connection, as a bulk load";
    }
}

// A second run into the same database finds every table, a name of 250
// characters too, and sends nothing into it: --overwrite no skips each.
TEST_F(FreeTdsWire, ASecondRunFindsEveryTableAndStoresNoRowTwice)
{
    const fs::path folder = folderOf("twice", {"dbdemos/country.db"});
    const std::string longName(250, 'L');
    fs::copy_file(folder / "country.db", folder / (longName + ".db"));
    TdsTestServer server({"--record-stored"});
    ProgramRun r = convert(server, folder);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::size_t stored = server.stored().size();
    EXPECT_EQ(stored, 36u);
    r = convert(server, folder);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(server.stored().size(), stored);
    for (const std::string& table : {std::string("COUNTRY"), longName})
        EXPECT_NE(r.err.find(table + ": skipped, the table exists on the server"), std::string::npos) << r.err;
}

TEST_F(FreeTdsWire, ARefusedLoginIsSaidToHaveFailed)
{
    TdsTestServer server({"--refuse-login"});
    const fs::path folder = folderOf("login", {"dbdemos/country.db"});
    const ProgramRun run = convert(server, folder);
    EXPECT_EQ(run.status, 1);
    const std::string name = "127.0.0.1," + std::to_string(server.port());
    EXPECT_EQ(run.err.rfind("dovenmark-cli: The server " + name + " refused the login: [SQLSTATE 42000] "
                            "[FreeTDS][SQL Server]Login failed for user 'sa'.", 0), 0u)
        << run.err;
    // Nothing listening is no refused login (port 1 of the loopback).
    const ProgramRun nobody = cli("convert " + Quoted(folder.string()) + " --connection "
                                  + Quoted("Driver={SQL Server};Server=127.0.0.1,1;Database=Shop;Uid=sa;Pwd=x;"));
    EXPECT_EQ(nobody.status, 1);
    EXPECT_EQ(nobody.err.rfind("dovenmark-cli: The server 127.0.0.1,1 could not be reached: [SQLSTATE 08S01] ", 0),
              0u) << nobody.err;
    const auto records = server.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].kind, "login");
    EXPECT_EQ(records[0].user, "sa");
    EXPECT_EQ(records[0].database, "Shop");
}

// The tables the server lists (sp_tables through SQLTables) are the ones the
// runs created: the second run asks, and drops only after yes.
TEST_F(FreeTdsWire, ATableTheServerListsIsAskedAboutAndDroppedOnlyAfterYes)
{
    const fs::path folder = folderOf("again", {"dbdemos/country.db"});
    TdsTestServer server;
    ASSERT_EQ(convert(server, folder).status, 0);
    const ProgramRun no = convert(server, folder, "--overwrite no");
    EXPECT_EQ(no.status, 0) << no.err;
    EXPECT_NE(no.err.find("Would you like to overwrite COUNTRY? no"), std::string::npos) << no.err;
    const std::size_t before = server.batches().size();
    const ProgramRun yes = convert(server, folder, "--overwrite yes");
    EXPECT_EQ(yes.status, 0) << yes.err;
    const std::vector<std::string> batches = server.batches();
    ASSERT_GT(batches.size(), before + 1);
    EXPECT_EQ(batches[before], "DROP TABLE [COUNTRY]");
    EXPECT_EQ(batches[before + 1].rfind("CREATE TABLE [COUNTRY]", 0), 0u);
}

// The password reaches the login (the server compares it with its own) from
// the environment, from a file of the owner's alone and from the terminal,
// without echo, while the process list never shows it; the text's own password
// wins over the environment's; a file that others may read is not read.
TEST_F(FreeTdsWire, ThePasswordReachesTheLoginButNeverTheProcessList)
{
    const fs::path folder = folderOf("password", {"dbdemos/country.db"});
    struct Case {
        std::string label;
        std::string password;                    // the one the server expects
        std::optional<std::string> environment;  // DOVENMARK_PASSWORD
        std::optional<std::string> filePwd;      // a connection file with this PWD= value, else --connection
        fs::perms fileRights = fs::perms::owner_read | fs::perms::owner_write;
        std::string typed;                       // the answer to a prompt
        int status = 0;
        std::string said;
        char file = 'f';  // the connection file: 'f' a plain file, 'p' a named pipe, 'b' too big, 'u' nobody's
        bool crash = false;  // made to crash with core dumps allowed: none is written
    };
    const Case cases[] = {
        {"environment", "se;c{r et ", "se;c{r et ", std::nullopt, {}, "", 0, "Done."},
        {"file", "fi}le", std::nullopt, "fi}le", {}, "", 0, "Done."},
        {"file over environment", "fi}le", "wrong", "fi}le", {}, "", 0, "Done."},
        {"prompt", "pr}mpt", std::nullopt, std::nullopt, {}, "pr}mpt", 0, "Password for sa on 127.0.0.1,"},
        {"file others may read", "fi}le", std::nullopt, "fi}le",
         fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read, "", 2,
         "is open to others than its owner (mode 0640); it may hold the password, so it is not read"},
        {"a pipe", "fi}le", std::nullopt, "fi}le", {}, "", 2, "is not a regular file, so it is not read", 'p'},
        {"a big file", "fi}le", std::nullopt, "fi}le", {}, "", 2, "holds more than 65536 bytes", 'b'},
        {"another user's", "fi}le", std::nullopt, "fi}le", {}, "", 2, "belongs to another user (uid 65534)", 'u'},
        {"a crash", "se;c{r et ", "se;c{r et ", std::nullopt, {}, "", -1, "", 'f', true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TdsTestServer server({"--password", c.password, "--delay-ms", "20"});
        const std::string full = server.connectionText();
        const std::string withoutPassword = full.substr(0, full.find("Pwd="));
        std::vector<std::string> arguments{"convert", folder.string()};
        if (c.filePwd) {
            const fs::path file = dir / "connection";
            fs::remove(file);
            if (c.file != 'p')
                std::ofstream(file) << withoutPassword << "PWD=" << *c.filePwd << ";\n"
                                    << std::string(c.file == 'b' ? 65536 : 0, ' ');
            ASSERT_EQ(c.file == 'p' ? ::mkfifo(file.c_str(), 0600) : c.file == 'u' ? ::chown(file.c_str(), 65534, 65534) : 0, 0);
            fs::permissions(file, c.fileRights);
            arguments.insert(arguments.end(), {"--connection-file", file.string()});
        } else {
            arguments.insert(arguments.end(), {"--connection", withoutPassword});
        }
        const fs::path crashIn = dir / "crash";
        fs::create_directories(crashIn);
        const TerminalRun run = RunOnTerminal(arguments, c.environment, c.typed, server, c.crash ? &crashIn : nullptr);
        EXPECT_TRUE(fs::is_empty(crashIn)) << "a core dump was written";
        EXPECT_EQ(run.status, c.status) << run.shown;
        EXPECT_NE(run.shown.find(c.said), std::string::npos) << run.shown;
        EXPECT_EQ(run.shown.find(c.password), std::string::npos) << "shown on the terminal: " << run.shown;
        EXPECT_EQ(run.shown.find("Password for") != std::string::npos, !c.typed.empty()) << run.shown;
        const std::vector<TdsRecord> records = server.records();
        if (c.status > 0) {
            EXPECT_TRUE(records.empty());
            continue;
        }
        ASSERT_FALSE(records.empty());
        for (const TdsRecord& r : records) {
            if (r.kind == "login") {
                EXPECT_EQ(r.passwordOk, true) << "login " << r.n;
            }
        }
        EXPECT_NE(run.cmdline.find(" convert "), std::string::npos) << "not read while it ran: " << run.cmdline;
        EXPECT_EQ(run.cmdline.find(c.password), std::string::npos) << run.cmdline;
        EXPECT_EQ(run.environment.find(c.password), std::string::npos) << run.environment;
    }
}
