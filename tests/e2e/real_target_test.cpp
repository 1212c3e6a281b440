// The login module, the run over bad input and the headless command against
// the real ODBC path (SQLite registered as "SQL Server") and real tables.
#include "conversion/conversion_run.h"
#include "paradox/writer/table_writer.h"
#include "platform/odbc/odbc_server_connection.h"
#include "platform/paradox_source/paradox_source_connection.h"
#include "sources/mssql_module.h"
#include "tests/platform/odbc_test_environment.h"
#include "tests/support/as_nobody.h"
#include "tests/support/run_program.h"
#include "tests/support/run_services.h"
#include "tests/support/sqlite_read.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;
using paradox::FieldType;
using paradox::Value;


std::string ConnectionTextFor(const fs::path& database)
{
    return "Driver={SQL Server};Server=localhost,1433;Database=" + database.string() + ";Uid=sa;Pwd=;";
}


void WriteTable(const fs::path& file, int records)
{
    paradox::writer::TableDesign design;
    design.fields = {{"ID", FieldType::Long}, {"NAME", FieldType::Alpha, 20}, {"PRICE", FieldType::Number}};
    paradox::writer::TableWriter w(design);
    for (int i = 1; i <= records; ++i)
        w.addRecord({Value::ofInteger(i), Value::ofText("Item " + std::to_string(i)), Value::ofDouble(i * 1.5)});
    w.writeFiles(file, fs::path(file).replace_extension(".mb"));
}

struct RealTarget : ::testing::Test, RunServices<platform::OdbcServerConnectionFactory,
                                                platform::ParadoxSourceConnectionFactory> {
    fs::path database = OdbcTestEnvironment::dataFolder() / ("target-" + std::to_string(::getpid()) + "-"
                                                               + ::testing::UnitTest::GetInstance()->current_test_info()->name()
                                                               + ".sqlite");

    RealTarget()
    {
        fs::remove(database);
        form.Text5 = "localhost";
        form.Text8 = database.string();
        form.Text3 = "sa";
    }
    ~RealTarget() override { fs::remove(database); }

    void execute(const std::string& sql)
    {
        auto c = servers.create();
        c->open(ConnectionTextFor(database));
        c->execute(sql);
    }
    std::string reports() const { return dialogs.transcript(); }
};

}  // namespace

TEST_F(RealTarget, LoginTestsAndTheListOfTables)
{
    EXPECT_TRUE(MSSQL::CanConnect(services, form));
    execute("CREATE TABLE [Orders]([A] INT);");
    execute("CREATE TABLE [Analysis]([A] INT);");
    execute("CREATE TABLE [SYSTEM_LOG]([A] INT);");
    execute("CREATE VIEW [OrderView] AS SELECT * FROM [Orders];");
    core::ListItems list;
    MSSQL::ListTables(services, form, list);
    std::sort(list.begin(), list.end());
    EXPECT_EQ(list, (core::ListItems{"Analysis", "Orders", "SYSTEM_LOG"}));

    MSSQL::TestConnection(services, form);
    form.Text8 = (dir / "no such folder" / "x.sqlite").string();
    EXPECT_FALSE(MSSQL::CanConnect(services, form));
    MSSQL::TestConnection(services, form);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].text, "Connection successful.");
    // The reason on the next line: SQLite's driver says no more than "connect failed".
    EXPECT_EQ(dialogs.messages[1].text, "Could not connect. Please check with your administrator.\r\nThe SQLite file "
                                            + form.Text8 + " cannot be made: the folder "
                                            + (dir / "no such folder").string() + " does not exist.");
}

TEST_F(RealTarget, BadTablesAreReportedOnceEachAndTheGoodOneArrives)
{
    const fs::path folder = dir / "tables";
    fs::create_directories(folder);
    WriteTable(folder / "good.db", 3);
    WriteTable(folder / "cut.db", 500);
    fs::resize_file(folder / "cut.db", fs::file_size(folder / "cut.db") - 3000);
    {  // an SQLite database that happens to be named x.db
        sqlite3* db = nullptr;
        sqlite3_open((folder / "x.db").c_str(), &db);
        sqlite3_exec(db, "CREATE TABLE t(a); INSERT INTO t VALUES(1);", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    std::ofstream(folder / "y.db").close();
    form.Text1 = folder.string();

    convert({false});

    ASSERT_FALSE(dialogs.messages.empty());
    // "Done.", then the failures of each table (no log folder here).
    const std::string done = dialogs.messages.back().text;
    EXPECT_NE(done.find("\r\n\r\n3 failures:"), std::string::npos) << done;
    for (const char* table : {"\r\nCUT: 1", "\r\nX: 1", "\r\nY: 1"})
        EXPECT_NE(done.find(table), std::string::npos) << done;
    const std::string all = reports();
    int reportCount = 0;
    for (const auto& m : dialogs.messages)
        reportCount += m.title == "Application Error";
    EXPECT_EQ(reportCount, 3) << all;
    for (const char* name : {"x.db", "y.db", "cut.db"})
        EXPECT_NE(all.find(name), std::string::npos) << name << "\n" << all;
    EXPECT_EQ(ReadOne(database, "SELECT COUNT(*) FROM [GOOD]"), "3");
    EXPECT_EQ(ReadOne(database, "SELECT NAME FROM [GOOD] WHERE ID = 2"), "Item 2");
}

TEST_F(RealTarget, HeadlessCommandScriptDescribeAndConvert)
{
    const fs::path folder = dir / "My Tables";
    fs::create_directories(folder);
    WriteTable(folder / "parts.db", 2);
    const std::string cli = Quoted(DOVENMARK_CLI);

    ProgramRun r = RunProgram(dir, cli + " script " + Quoted(folder.string()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "CREATE TABLE [PARTS]([ID] INT,[NAME] TEXT,[PRICE] FLOAT);\nGO\n"
                     "INSERT INTO [PARTS] VALUES(1, 'Item 1', 1.5)\nGO\n"
                     "INSERT INTO [PARTS] VALUES(2, 'Item 2', 3)\nGO\n");

    r = RunProgram(dir, cli + " describe " + Quoted(folder.string()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "PARTS\tID\tint\tINT\nPARTS\tNAME\tchar\tTEXT\nPARTS\tPRICE\tdouble\tFLOAT\n");

    // SQL Server's own column types, in SQL Server's words whatever the target.
    r = RunProgram(dir, cli + " script " + Quoted(folder.string()) + " --column-types sqlserver");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "CREATE TABLE [PARTS]([ID] INT,[NAME] NVARCHAR(20),[PRICE] FLOAT);\nGO\n"
                     "INSERT INTO [PARTS] VALUES(1, N'Item 1', 1.5)\nGO\n"
                     "INSERT INTO [PARTS] VALUES(2, N'Item 2', 3)\nGO\n");
    r = RunProgram(dir, cli + " describe " + Quoted(folder.string()) + " --column-types=sqlserver");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "PARTS\tID\tint\tINT\nPARTS\tNAME\tchar\tNVARCHAR(20)\nPARTS\tPRICE\tdouble\tFLOAT\n");
    r = RunProgram(dir, cli + " script " + Quoted(folder.string()) + " --column-types typed");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--column-types takes text or sqlserver, not 'typed'"), std::string::npos) << r.err;

    const std::string convert = cli + " convert " + Quoted(folder.string()) + " --connection "
        + Quoted(ConnectionTextFor(database));
    r = RunProgram(dir, convert);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadOne(database, "SELECT COUNT(*) FROM [PARTS]"), "2");

    // Already there: skipped by default, nothing lost; replaced with --overwrite yes.
    r = RunProgram(dir, convert);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Would you like to overwrite PARTS? no"), std::string::npos) << r.err;
    EXPECT_EQ(ReadOne(database, "SELECT COUNT(*) FROM [PARTS]"), "2");
    r = RunProgram(dir, convert + " --overwrite yes");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadOne(database, "SELECT COUNT(*) FROM [PARTS]"), "2");

    // No tables, a login the server refuses, a usage error.
    fs::create_directories(dir / "empty" / "sub");
    r = RunProgram(dir, cli + " convert " + Quoted((dir / "empty").string()) + " --connection "
                            + Quoted(ConnectionTextFor(database)));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "dovenmark-cli: The folder " + (dir / "empty").string() + " and its subfolders hold no Paradox tables (*.db).\n");
    r = RunProgram(dir, cli + " convert " + Quoted(folder.string()) + " --connection "
                            + Quoted(ConnectionTextFor(dir / "missing" / "x.sqlite")));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "dovenmark-cli: The SQLite file " + (dir / "missing" / "x.sqlite").string()
                         + " cannot be made: the folder " + (dir / "missing").string() + " does not exist.\n");
    r = RunProgram(dir, cli + " convert " + Quoted(folder.string()));
    EXPECT_EQ(r.status, 2);
    r = RunProgram(dir, convert + " --per-trip 0");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--per-trip needs a number from 1 to 32767, not '0'"), std::string::npos) << r.err;
    r = RunProgram(dir, cli + " convert --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usage: dovenmark-cli convert"), std::string::npos);
}

TEST_F(RealTarget, HeadlessConvertReportsRefusedStatementsAndExitsWithOne)
{
    const fs::path folder = dir / "tables";
    fs::create_directories(folder);
    WriteTable(folder / "parts.db", 3);
    execute("CREATE TABLE [KEEP]([A] INT)");
    // A create the target refuses: the table name is taken by a view.
    execute("CREATE VIEW [PARTS] AS SELECT * FROM [KEEP]");
    const ProgramRun r = RunProgram(dir, Quoted(DOVENMARK_CLI) + " convert " + Quoted(folder.string())
                                             + " --connection " + Quoted(ConnectionTextFor(database)));
    EXPECT_EQ(r.status, 1) << r.err;
    // One line for the refused CREATE with the driver's message, and nothing
    // of the table sent into the view; the summary, no "Done." and no window words.
    const std::string view = "view [PARTS] already exists";
    EXPECT_NE(r.err.find("\ndovenmark-cli: PARTS: [SQLSTATE HY000] [SQLite]" + view), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("The table PARTS is not converted: none of its 3 records were sent.\n"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("record 0"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\nPARTS: not converted, the server refused its CREATE TABLE (told above)\n"
                         "dovenmark-cli: not everything went through: 1 failure, each told above\n"),
              std::string::npos) << r.err;
    for (const char* word : {"Done.", "Quillon", "at line", "Please email", "SQLException"})
        EXPECT_EQ(r.err.find(word), std::string::npos) << word << " in " << r.err;
}

// Tables are read from the folder where they lie: one only in a subfolder
// arrives; of two of one name the one nearer the top folder arrives, and the
// other is reported with its path.
TEST_F(RealTarget, SubfolderTablesArriveAndASecondTableOfANameIsLeftOut)
{
    const fs::path folder = dir / "tables";
    fs::create_directories(folder / "old");
    fs::create_directories(folder / "inner");
    WriteTable(folder / "PARTS.DB", 3);
    WriteTable(folder / "old" / "PARTS.DB", 5);
    WriteTable(folder / "inner" / "EXTRA.DB", 2);
    form.Text1 = folder.string();
    const conversion::RunResult result = convert({false});

    ASSERT_EQ(dialogs.messages.size(), 2u) << reports();
    EXPECT_NE(dialogs.messages[0].text.find("The table PARTS of " + (folder / "old" / "PARTS.DB").string()
                                            + " is not converted"), std::string::npos) << reports();
    const std::string old = "PARTS (" + (folder / "old" / "PARTS.DB").string() + ")";
    EXPECT_EQ(dialogs.messages[1].text, "Done.\r\n\r\nRows on the server: EXTRA 2; PARTS 3\r\n\r\nNot converted:\r\n" + old
                                            + ": a table of its name was found before it\r\n\r\n1 failure:\r\n" + old + ": 1");
    EXPECT_EQ(ReadOne(database, "SELECT COUNT(*) FROM [PARTS]"), "3");
    EXPECT_EQ(ReadOne(database, "SELECT COUNT(*) FROM [EXTRA]"), "2");
    EXPECT_FALSE(result.clean());

    // The command's summary names the table left out with its file.
    const ProgramRun script = RunProgram(dir, Quoted(DOVENMARK_CLI) + " script " + Quoted(folder.string()));
    EXPECT_NE(script.err.find("\nPARTS (" + (folder / "old" / "PARTS.DB").string()
                              + "): not converted, a table of its name was found before it\n"), std::string::npos)
        << script.err;

    // A folder whose only tables lie in its subfolders has tables.
    fs::create_directories(dir / "nested" / "deep");
    WriteTable(dir / "nested" / "deep" / "ITEMS.DB", 4);
    const ProgramRun r = RunProgram(dir, Quoted(DOVENMARK_CLI) + " convert " + Quoted((dir / "nested").string())
                                             + " --connection " + Quoted(ConnectionTextFor(database)));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadOne(database, "SELECT COUNT(*) FROM [ITEMS]"), "4");
}

// As a user who may not read everything (the tests run as root, so the
// commands run as "nobody"): a table or folder that cannot be read is named on
// standard error with the reason, the rest arrives, and the exit status is 1.
TEST_F(RealTarget, HeadlessCommandsNameWhatTheyCannotReadAndExitWithOne)
{
    fs::permissions(dir.path(), fs::perms::all);  // "nobody" writes its output and its database here
    const fs::path folder = dir / "tables";
    fs::create_directories(folder / "locked");
    WriteTable(folder / "ORDERS.DB", 2);
    WriteTable(folder / "CUSTOMER.DB", 2);
    WriteTable(folder / "locked" / "PARTS.DB", 2);
    fs::permissions(folder / "CUSTOMER.DB", fs::perms::none);
    fs::permissions(folder / "locked", fs::perms::none);
    const fs::path target = dir / "nobody.sqlite";
    const std::string cli = Quoted(DOVENMARK_CLI);
    const auto asNobody = [&](const std::string& arguments) -> std::optional<ProgramRun> {
        const auto text = RunAsNobody([&] {
            const ProgramRun r = RunProgram(dir, cli + " " + arguments);
            return std::to_string(r.status) + "\n" + r.err;
        });
        if (!text)
            return std::nullopt;
        ProgramRun r;
        r.status = std::stoi(text->substr(0, text->find('\n')));
        r.err = text->substr(text->find('\n') + 1);
        return r;
    };
    std::vector<std::optional<ProgramRun>> runs;
    for (const std::string command : {"script", "describe"})
        runs.push_back(asNobody(command + " " + Quoted(folder.string())));
    runs.push_back(asNobody("convert " + Quoted(folder.string()) + " --connection " + Quoted(ConnectionTextFor(target))));
    fs::permissions(folder, fs::perms::none);
    const auto top = asNobody("script " + Quoted(folder.string()));
    fs::permissions(folder, fs::perms::owner_all);
    fs::permissions(folder / "locked", fs::perms::owner_all);
    if (!top)
        GTEST_SKIP() << kNoUnprivilegedUser;

    for (const auto& r : runs) {
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 1) << r->err;
        EXPECT_NE(r->err.find("The table CUSTOMER cannot be read: " + (folder / "CUSTOMER.DB").string()
                              + ": cannot open the file: Permission denied"), std::string::npos) << r->err;
        EXPECT_NE(r->err.find("The folder " + (folder / "locked").string() + " cannot be read: Permission denied."),
                  std::string::npos) << r->err;
    }
    EXPECT_EQ(ReadOne(target, "SELECT COUNT(*) FROM [ORDERS]"), "2");
    EXPECT_EQ(ReadOne(target, "SELECT COUNT(*) FROM sqlite_master WHERE name = 'CUSTOMER'"), "0");
    EXPECT_EQ(top->status, 1);
    EXPECT_NE(top->err.find("The folder " + folder.string() + " cannot be read: Permission denied."),
              std::string::npos) << top->err;
}

// A table whose records differ from its header's count: script and convert say
// so on standard error, naming the table, and exit with 1.
TEST_F(RealTarget, HeadlessCommandsReportADamagedTableAndExitWithOne)
{
    const fs::path folder = dir / "tables";
    fs::create_directories(folder);
    WriteTable(folder / "DATES.DB", 3);
    {  // the first block's record count, high byte
        std::fstream f(folder / "DATES.DB", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(2048 + 5);
        f.put('\x02');
    }
    const std::string cli = Quoted(DOVENMARK_CLI);
    const ProgramRun script = RunProgram(dir, cli + " script " + Quoted(folder.string()));
    const ProgramRun convert = RunProgram(dir, cli + " convert " + Quoted(folder.string()) + " --connection "
                                                   + Quoted(ConnectionTextFor(database)));
    for (const ProgramRun& r : {script, convert}) {
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("The table DATES is damaged: " + (folder / "DATES.DB").string()
                             + ": the header says 3 records but "), std::string::npos) << r.err;
    }
}

// Into the demo's SQLite with SQL Server column types: a keyed table gets its
// key (a unique index); one whose key values collide without letter case, as
// under SQL Server's usual collation, is reported once and keeps every row.
// "Verify After Converting": each table read back after the run wrote it;
// equal is said in the closing message, a difference is a failure of its own.
TEST_F(RealTarget, VerifyAfterConvertingReadsEveryTableBack)
{
    const fs::path folder = dir / "tables";
    fs::create_directories(folder);
    WriteTable(folder / "PARTS.DB", 3);
    form.Text1 = folder.string();
    conversion::RunOptions options{false};
    options.verifyAfter = true;
    convert(options);
    ASSERT_EQ(dialogs.messages.size(), 1u) << reports();
    EXPECT_EQ(dialogs.messages[0].text, "Done.\r\n\r\nRows on the server: PARTS 3\r\n\r\nRead back and compared:\r\n"
                                        "PARTS: equal, 3 rows");
}

TEST_F(RealTarget, AKeyThatCollidesIsReportedAndTheTableKeepsEveryRow)
{
    const fs::path folder = dir / "keyed";
    fs::create_directories(folder);
    for (const auto& [file, second] : {std::pair{"good.db", "def"}, std::pair{"clash.db", "ABC"}}) {
        paradox::writer::TableDesign design;
        design.keyed = true;
        design.fields = {{"CODE", FieldType::Alpha, 10}, {"N", FieldType::Long}};
        paradox::writer::TableWriter w(design);
        w.addRecord({Value::ofText("abc"), Value::ofInteger(1)});
        w.addRecord({Value::ofText(second), Value::ofInteger(2)});
        w.writeFiles(folder / file, folder / "unused.mb");
    }
    form.Text1 = folder.string();
    conversion::RunOptions options{false};
    options.columnTypes = conversion::ColumnTypes::SqlServer;
    convert(options);

    ASSERT_EQ(dialogs.messages.size(), 2u) << reports();
    EXPECT_EQ(dialogs.messages[0].text.rfind("The table CLASH keeps all its records without the primary key PK_CLASH: "
                                             "SQLException: ", 0),
              0u)
        << reports();
    EXPECT_EQ(dialogs.messages[1].text, "Done.\r\n\r\nRows on the server: GOOD 2; CLASH 2\r\n\r\n1 failure:\r\nCLASH: 1");
    EXPECT_EQ(ReadRows(database, "SELECT CODE, N FROM [CLASH] ORDER BY N"), "abc|1\nABC|2\n");
    EXPECT_EQ(ReadRows(database, "SELECT name FROM sqlite_master WHERE type = 'index' ORDER BY name"), "PK_GOOD\n");
}
