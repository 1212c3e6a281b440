// Verify against the real ODBC path (SQLite registered as "SQL Server"): a
// table converted by the command, its rows then changed on the server one way
// or another, compared with its Paradox table; and the real tables of the
// shared corpus found equal after converting them each way.
#include "conversion/row_count.h"
#include "conversion/verify.h"
#include "paradox/writer/table_writer.h"
#include "platform/odbc/odbc_server_connection.h"
#include "platform/paradox_source/paradox_source_connection.h"
#include "tests/platform/odbc_test_environment.h"
#include "tests/support/numbered_table.h"
#include "tests/support/run_program.h"
#include "tests/support/sqlite_read.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;
using paradox::FieldType;
using paradox::Value;

std::string Connection(const fs::path& database)
{
    return "Driver={SQL Server};Server=localhost;Database=" + database.string() + ";";
}

// Five records of every kind of value verify compares, keyed by ID.
void WriteTable(const fs::path& db)
{
    paradox::writer::TableDesign design;
    design.keyed = true;
    design.fields = {{"ID", FieldType::Long},       {"NAME", FieldType::Alpha, 20}, {"PRICE", FieldType::Number},
                     {"BORN", FieldType::Date},     {"SEEN", FieldType::Timestamp}, {"COST", FieldType::Currency},
                     {"PIC", FieldType::Graphic, 10}};
    paradox::writer::TableWriter w(design);
    for (int i = 1; i <= 5; ++i)
        w.addRecord({Value::ofInteger(i), Value::ofText("Item " + std::to_string(i)), Value::ofDouble(i / 7.0),
                     Value::ofDate(paradox::CivilFromDays(730000 + i)),
                     Value::ofTimestamp(paradox::CivilFromDays(735000 + i), i * 3'600'123),
                     Value::ofCurrency(i * 1.25), Value::ofBytes(std::string("\0\xFF", 2) + std::to_string(i))});
    w.writeFiles(db, fs::path(db).replace_extension(".mb"));
}

// One way the server's rows may differ: the change, and what verify and the
// check of the first records say then.
struct Case {
    const char* change;
    bool sqlServerTypes;  // with binary data; otherwise Text column types without
    const char* sql;
    const char* verdict;
    const char* firstRecords;  // empty: the rows are the first records
};

TEST(Verify, EveryChangeOfTheServersRowsIsFoundAndCountedByRecord)
{
    TempDir dir;
    fs::create_directories(dir / "tables");
    WriteTable(dir / "tables" / "t.db");
    const std::string none = "T: equal, 5 rows";
    const Case cases[] = {
        {"nothing", false, "", none.c_str(), ""},
        {"nothing", true, "", none.c_str(), ""},
        {"timestamps written otherwise", true, "UPDATE T SET SEEN = replace(SEEN, 'T', ' ') || '0000'",
         none.c_str(), ""},
        {"the last rows gone", true, "DELETE FROM T WHERE ID >= 4",
         "T: not equal: 2 missing (records 3, 4); 5 records, 3 rows", ""},
        {"a row gone", false, "DELETE FROM T WHERE ID = 2", "T: not equal: 1 missing (record 1); 5 records, 4 rows",
         "record 1 is not among them"},
        {"a row added", true, "INSERT INTO T(ID, NAME) VALUES(9, 'Nine')",
         "T: not equal: 1 extra (a row that is no record: 9, 'Nine', NULL, ...); 5 records, 6 rows",
         "it has only 5 records"},
        {"a row twice", false, "INSERT INTO T SELECT * FROM T WHERE ID = 4",
         "T: not equal: 1 extra (a copy of record 3); 5 records, 6 rows", "it has only 5 records"},
        {"a text changed", true, "UPDATE T SET NAME = 'Other' WHERE ID = 3",
         "T: not equal: 1 differing (record 2: NAME); 5 records, 5 rows", "record 2 is not among them"},
        {"a number changed", false, "UPDATE T SET PRICE = PRICE + 0.000001 WHERE ID = 1",
         "T: not equal: 1 differing (record 0: PRICE); 5 records, 5 rows", "record 0 is not among them"},
        {"a date changed", true, "UPDATE T SET BORN = '2001-01-01', SEEN = NULL WHERE ID = 5",
         "T: not equal: 1 differing (record 4: BORN, SEEN); 5 records, 5 rows", "record 4 is not among them"},
        {"bytes changed", true, "UPDATE T SET PIC = X'00FF' WHERE ID = 2",
         "T: not equal: 1 differing (record 1: PIC); 5 records, 5 rows", "record 1 is not among them"},
        {"a key changed", true, "UPDATE T SET ID = 7 WHERE ID = 1",
         "T: not equal: 1 missing (record 0), 1 extra (a row that is no record: 7, 'Item 1', 0.142857142857143, "
         "...); 5 records, 5 rows", "record 0 is not among them"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.change) + (c.sqlServerTypes ? ", SQL Server column types" : ", Text column types"));
        const fs::path database = OdbcTestEnvironment::dataFolder() / ("verify-" + std::to_string(::getpid()) + ".sqlite");
        fs::remove(database);
        const std::string options = c.sqlServerTypes ? " --column-types sqlserver --binary" : "";
        const ProgramRun convert = RunProgram(dir, Quoted(DOVENMARK_CLI) + " convert " + Quoted((dir / "tables").string())
                                                       + options + " --connection " + Quoted(Connection(database)));
        ASSERT_EQ(convert.status, 0) << convert.err;
        sqlite3* db = nullptr;
        sqlite3_open(database.c_str(), &db);
        EXPECT_EQ(sqlite3_exec(db, c.sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);

        platform::ParadoxSourceConnection source;
        source.open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + (dir / "tables").string()
                    + ";Extended Properties=Paradox 5.x;");
        platform::OdbcServerConnection server;
        server.open(Connection(database));
        conversion::RunOptions run;
        run.columnTypes = c.sqlServerTypes ? conversion::ColumnTypes::SqlServer : conversion::ColumnTypes::Text;
        run.transferBinary = c.sqlServerTypes;
        platform::NoEventLoop events;
        const conversion::RegionalSettings regional;
        const conversion::VerifyRoad road{source, server, run, regional, events, conversion::DialectOf(server)};
        const conversion::TableVerdict verdict = conversion::VerifyTable(road, {"T", ""});
        EXPECT_EQ(conversion::VerdictLine(verdict), c.verdict);
        EXPECT_EQ(conversion::CountRows(server, road.dialect, "T"), verdict.rows);
        const conversion::FirstRecordsCheck first = conversion::CheckFirstRecords(road, {"T", ""});
        EXPECT_EQ(first.rows, verdict.rows);
        const std::string rows = std::to_string(first.rows);
        EXPECT_EQ(first.reason, *c.firstRecords ? "the server's " + rows + " rows are not the table's first " + rows
                                                      + " records: " + c.firstRecords
                                                : "");
        EXPECT_EQ(first.firstRecords, !*c.firstRecords);
        fs::remove(database);
    }
    EXPECT_EQ(conversion::CountStatement(conversion::Dialect::SqlServer, "A]B"), "SELECT COUNT_BIG(*) FROM [A]]B]");
}

// Every real table converted each way verifies equal, and the command says
// what differs once a row is gone.
TEST(Verify, TheCorpusConvertedEachWayIsEqual)
{
    const auto corpus = paradoxTestdata();
    if (!corpus)
        GTEST_SKIP() << kNoTestdata;
    TempDir dir;
    const fs::path database = OdbcTestEnvironment::dataFolder() / ("verify-corpus-" + std::to_string(::getpid()) + ".sqlite");
    for (const char* options : {"", " --column-types sqlserver", " --column-types sqlserver --binary"}) {
        SCOPED_TRACE(options);
        fs::remove(database);
        const std::string tail = " " + Quoted(corpus->string()) + options + " --connection " + Quoted(Connection(database));
        RunProgram(dir, Quoted(DOVENMARK_CLI) + " convert" + tail);  // some tables are damaged on purpose
        const ProgramRun verify = RunProgram(dir, Quoted(DOVENMARK_CLI) + " verify" + tail);
        EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
        std::istringstream lines(verify.out);
        int equal = 0;
        for (std::string line; std::getline(lines, line);) {
            equal += line.find(": equal, ") != std::string::npos;
            EXPECT_TRUE(line.find(": equal, ") != std::string::npos
                        || line.ends_with("not compared, a table of its name was found before it"))
                << line;
        }
        EXPECT_GT(equal, 40);
    }
    sqlite3* db = nullptr;
    sqlite3_open(database.c_str(), &db);
    sqlite3_exec(db, "DELETE FROM COUNTRY WHERE rowid = 3", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const ProgramRun verify = RunProgram(dir, Quoted(DOVENMARK_CLI) + " verify " + Quoted(corpus->string())
                                                   + " --column-types sqlserver --binary --connection "
                                                   + Quoted(Connection(database)));
    EXPECT_EQ(verify.status, 1);
    EXPECT_NE(verify.out.find("\nCOUNTRY: not equal: 1 missing (record 2); 18 records, 17 rows\n"), std::string::npos)
        << verify.out;
    fs::remove(database);
}

// A run stopped by SIGTERM leaves a half table that is never taken for a
// finished one: the next run names both counts and ends with exit 1; --resume
// continues it after checking that the rows present are the first records;
// then verify finds it equal, identities and key as one run makes them.
TEST(Verify, AStoppedRunIsToldContinuedAndProvenEqual)
{
    TempDir dir;
    fs::create_directories(dir / "tables");
    constexpr int kRecords = 200'000;
    WriteNumberedTable(dir / "tables" / "big.db", kRecords);
    const fs::path database = OdbcTestEnvironment::dataFolder() / ("stopped-" + std::to_string(::getpid()) + ".sqlite");
    fs::remove(database);
    const std::string folder = (dir / "tables").string();
    const std::string tail = " " + Quoted(folder) + " --column-types sqlserver --connection " + Quoted(Connection(database));

    BackgroundProgram stopped(dir, {DOVENMARK_CLI, "convert", folder, "--column-types", "sqlserver", "--connection",
                                    Connection(database)});
    ASSERT_TRUE(stopped.waitUntil([&] { return stopped.err().find("Processing table BIG") != std::string::npos; }));
    stopped.signal(SIGTERM);
    ProgramRun r = stopped.finish();
    EXPECT_EQ(r.status, 128 + SIGTERM) << r.err;
    const std::string said = "dovenmark-cli: Stopped by SIGTERM: BIG stopped after ";
    const auto at = r.err.find(said);
    ASSERT_NE(at, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("not everything went through"), std::string::npos) << r.err;  // the stop is all there was
    const std::string stored = ReadRows(database, "SELECT COUNT(*) FROM [BIG]");
    const std::int64_t rows = std::stoll(stored);
    EXPECT_LT(rows, kRecords);
    EXPECT_NE(r.err.find("was rolled back; " + conversion::Grouped(rows) + (rows == 1 ? " row is" : " rows are")
                         + " stored (--resume continues it).", at), std::string::npos) << r.err;

    r = RunProgram(dir, Quoted(DOVENMARK_CLI) + " convert" + tail);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("BIG exists with " + conversion::Grouped(rows) + " rows; the Paradox table has 200,000 "
                         "records.\nWould you like to overwrite BIG? no (skipped)"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Done."), std::string::npos) << r.err;

    r = RunProgram(dir, Quoted(DOVENMARK_CLI) + " convert --resume" + tail);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("BIG: 200000 records read"), std::string::npos) << r.err;
    r = RunProgram(dir, Quoted(DOVENMARK_CLI) + " verify" + tail);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "BIG: equal, 200000 rows\n");
    EXPECT_EQ(ReadRows(database, "SELECT name FROM sqlite_master WHERE type = 'index' ORDER BY name"), "PK_BIG\n");
    fs::remove(database);
}

}  // namespace
