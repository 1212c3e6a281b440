// The login module, the run over bad input and the headless command against
// the real ODBC path (SQLite registered as "SQL Server") and real tables.
#include "conversion/conversion_run.h"
#include "paradox/writer/table_writer.h"
#include "platform/odbc/odbc_server_connection.h"
#include "platform/paradox_source/paradox_source_connection.h"
#include "sources/mssql_module.h"
#include "tests/platform/odbc_test_environment.h"
#include "tests/support/fake_form.h"
#include "tests/support/memory_settings.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/run_program.h"
#include "tests/support/scripted_dialogs.h"
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

struct RealTarget : ::testing::Test {
    TempDir dir;
    fs::path database = OdbcTestEnvironment::dataFolder() / ("target-" + std::to_string(::getpid()) + "-"
                                                               + ::testing::UnitTest::GetInstance()->current_test_info()->name()
                                                               + ".sqlite");
    FakeForm form;
    ScriptedDialogs dialogs;
    platform::NoEventLoop events;
    platform::OdbcServerConnectionFactory servers;
    platform::ParadoxSourceConnectionFactory sourceConnections;
    RecordingDesktop desktop;
    MemorySettings settings;
    RecordingClipboard clipboard;
    core::Services services{dialogs, settings, clipboard, desktop, events, servers, sourceConnections,
                            {dir.str(), dir.str()}};

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
    std::string reports() const
    {
        std::string all;
        for (const auto& m : dialogs.messages)
            all += m.text + "\n";
        return all;
    }
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
    EXPECT_EQ(dialogs.messages[1].text, "Could not connect. Please check with your administrator.");
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

    conversion::PreviewHandOff handOff;
    bool converting = false;
    conversion::Run run{services, form, handOff, {}, converting, {false}};
    conversion::StartConverting(run);

    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.messages.back().text, "Done.");
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
    r = RunProgram(dir, cli + " convert " + Quoted(dir.str()) + " --connection " + Quoted(ConnectionTextFor(database)));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no Paradox tables"), std::string::npos) << r.err;
    r = RunProgram(dir, cli + " convert " + Quoted(folder.string()) + " --connection "
                            + Quoted(ConnectionTextFor(dir / "missing" / "x.sqlite")));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("did not accept the login"), std::string::npos) << r.err;
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
    EXPECT_NE(r.err.find("SQLException"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("at line 312"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("at line 416"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Done."), std::string::npos) << r.err;
}
