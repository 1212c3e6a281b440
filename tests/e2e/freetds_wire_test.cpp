// End to end through the real FreeTDS ODBC driver, as on a machine without a
// driver registered as "SQL Server": dovenmark-cli convert against the TDS test
// server, whose record shows what went over the wire.
#include "platform/odbc/driver_registry.h"
#include "tests/platform/odbc_test_environment.h"
#include "tests/support/run_program.h"
#include "tests/tds/tds_server_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

[[maybe_unused]] auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(
    new OdbcTestEnvironment("[SQLite3]\nDriver=" + SqliteDriverLibrary() + "\n"));

// The statements of `script` output, each written followed by a line "GO".
std::vector<std::string> Statements(const std::string& script)
{
    std::vector<std::string> statements;
    std::size_t at = 0;
    for (std::size_t go; (go = script.find("\nGO\n", at)) != std::string::npos; at = go + 4)
        statements.push_back(script.substr(at, go - at));
    return statements;
}

class FreeTdsWire : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (platform::odbc::SystemDriverRegistry().freeTdsLibrary().empty())
            GTEST_SKIP() << "the FreeTDS ODBC driver (tdsodbc) is not installed";
        const auto data = paradoxTestdata();
        if (!data)
            GTEST_SKIP() << kNoTestdata;
        corpus = *data;
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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const bool onePerTrip = c.options == "--per-trip 1";
        const ProgramRun script = cli("script " + Quoted(c.folder.string()) + " " + (onePerTrip ? "" : c.options));
        ASSERT_EQ(script.status, 0) << script.err;
        const std::vector<std::string> statements = Statements(script.out);
        ASSERT_NE(script.out.find(c.mustHold), std::string::npos);
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
        } else if (r.kind == "batch") {
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
// run that sends one statement per round trip.
TEST_F(FreeTdsWire, ARefusedStatementIsReportedAndTheRestOfTheRunIsStoredAsOnePerTripStoresIt)
{
    const fs::path folder = folderOf("refused", {"dbdemos/country.db", "dbdemos/employee.db"});
    const std::vector<std::string> statements = Statements(cli("script " + Quoted(folder.string())).out);
    const auto inserts =
        std::ranges::count_if(statements, [](const std::string& s) { return s.starts_with("INSERT"); });
    ASSERT_GT(inserts, 20);
    struct Case {
        std::string refuse;
        std::string said;
        long notStored;
    };
    const Case cases[] = {
        {"Brazil=8152", "[FreeTDS][SQL Server]String or binary data would be truncated.", 1},
        {"Bolivia=245",
         "[FreeTDS][SQL Server]Conversion failed when converting the varchar value 'Bolivia' to data type int.", 1},
        // Then every insert of COUNTRY fails (208, which ends its batch).
        {"CREATE TABLE [COUNTRY]=2714",
         "[FreeTDS][SQL Server]There is already an object named 'COUNTRY' in the database.", 18},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refuse);
        std::vector<std::string> stored[2];
        std::string said[2];
        for (const bool onePerTrip : {false, true}) {
            TdsTestServer server({"--refuse", c.refuse, "--record-stored"});
            const ProgramRun run = convert(server, folder, onePerTrip ? "--per-trip 1" : "");
            EXPECT_EQ(run.status, 1) << run.err;
            EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
            EXPECT_NE(run.err.find("Done."), std::string::npos) << run.err;
            stored[onePerTrip] = server.stored();
            said[onePerTrip] = run.err;
            if (!onePerTrip && c.notStored == 1) {
                // Two tables of 60 inserts, two creates, and the refusal: a
                // few batches more, not one per insert of the refused one's.
                EXPECT_LE(server.batches().size(), 10u);
            }
        }
        EXPECT_EQ(said[false], said[true]);
        EXPECT_EQ(stored[false], stored[true]);
        EXPECT_EQ(static_cast<long>(stored[false].size()), inserts - c.notStored);
        EXPECT_EQ(std::set<std::string>(stored[false].begin(), stored[false].end()).size(), stored[false].size())
            << "an insert stored twice";
    }
}

TEST_F(FreeTdsWire, ARefusedLoginIsSaidToHaveFailed)
{
    TdsTestServer server({"--refuse-login"});
    const ProgramRun run = convert(server, folderOf("login", {"dbdemos/country.db"}));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("the server did not accept the login: [SQLSTATE 42000] [FreeTDS][SQL Server]Login failed "
                           "for user 'sa'."),
              std::string::npos)
        << run.err;
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
