// The conversion run against a scripted server and tables held in memory:
// the order of tables, the modes, the overwrite question, progress, the flags
// read after a preview, and failures that are reported while the run goes on.
#include "conversion/conversion_run.h"
#include "conversion/dialect.h"

#include "tests/support/as_nobody.h"
#include "tests/support/fake_server.h"
#include "tests/support/run_services.h"

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <functional>

using namespace testsupport;
using paradox::Value;

namespace {

// An event loop whose yields can do what the user does meanwhile.
class UserEvents : public platform::EventLoop {
public:
    void yield() override
    {
        if (duringYield)
            duringYield();
    }
    std::function<void()> duringYield;
};

struct RunTest : ::testing::Test, RunServices<FakeServerFactory, MemorySourceFactory, UserEvents> {
    RunTest()
    {
        std::filesystem::create_directories(dir / "tables");
        fill(dir / "tables", "SRV", "Target");
    }

    void addTable(const std::string& name, std::vector<MemoryField> fields,
                  std::vector<std::vector<Value>> rows, const std::string& subfolder = "", int keyFields = 0)
    {
        auto folder = dir / "tables" / subfolder;
        std::filesystem::create_directories(folder);
        std::ofstream(folder / (name + ".db")) << "";
        MemoryTable table{std::move(fields), std::move(rows)};
        table.keyFields = keyFields;
        if (subfolder.empty())
            sources.tables[name] = std::move(table);
        else
            sources.files[(folder / (name + ".db")).string()] = std::move(table);
    }

    // Values hold views of their text: the fixture keeps the texts alive.
    std::string_view keep(std::string text) { return kept.emplace_back(std::move(text)); }
    std::deque<std::string> kept;

    void addSimpleTable(const std::string& name, int records)
    {
        std::vector<std::vector<Value>> rows;
        for (int i = 1; i <= records; ++i)
            rows.push_back({Value::ofInteger(i), Value::ofText(keep(name + std::to_string(i)))});
        addTable(name, {{"ID", 3}, {"NAME", 202}}, std::move(rows));
    }

    void threeTablesPreviewedEachTable()
    {
        addSimpleTable("A", 1);
        addSimpleTable("B", 1);
        addSimpleTable("C", 1);
        form.Check1 = true;
        form.Option1 = false;
        form.Option2 = true;
    }

    conversion::RunOptions options;
    conversion::RunResult run() { return convert(options); }
    std::vector<std::string> messages() const { return dialogs.texts(); }
    std::vector<std::string> previewLines() { return Lines(handOff.preview.list()); }
    static std::vector<std::string> Lines(const conversion::PreviewList& list)
    {
        std::vector<std::string> lines;
        for (int r = 1; r <= list.count(); ++r)
            lines.emplace_back(list.text(r));
        return lines;
    }
};

}  // namespace

TEST_F(RunTest, DirectModeConvertsEveryTableFromTheLastListEntryToTheFirst)
{
    addSimpleTable("A", 1);
    addSimpleTable("B", 2);
    addSimpleTable("C", 0);
    run();

    ASSERT_EQ(form.list2.size(), 3u);
    std::vector<std::string> expected;
    for (auto it = form.list2.rbegin(); it != form.list2.rend(); ++it) {
        const std::string& t = *it;
        expected.push_back("CREATE TABLE [" + t + "]([ID] INT,[NAME] TEXT);");
        const int records = t == "A" ? 1 : t == "B" ? 2 : 0;
        for (int i = 1; i <= records; ++i)
            expected.push_back("INSERT INTO [" + t + "] VALUES(" + std::to_string(i) + ", '" + t
                               + std::to_string(i) + "')");
    }
    EXPECT_EQ(servers.state.executed, expected);
    // With the rows the server holds of each table, counted after its last commit.
    const std::string first = form.list2[2] == "A" ? "A 1" : form.list2[2] == "B" ? "B 2" : "C 0";
    EXPECT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].rfind("Done.\r\n\r\nRows on the server: " + first + "; ", 0), 0u) << messages()[0];
    for (const char* held : {"A 1", "B 2", "C 0"})
        EXPECT_NE(messages()[0].find(held), std::string::npos) << held;
    EXPECT_EQ(dialogs.messages[0].title, "Dovenmark");
    EXPECT_FALSE(converting);
    EXPECT_EQ(form.busy, (std::vector<bool>{true, false}));
    EXPECT_EQ(form.progressValues.back(), 0);
    EXPECT_EQ(form.progressTexts.back(), "");
    // The datatype records are made in direct mode too.
    EXPECT_EQ(handOff.datatypes.list().count(), 6);
    EXPECT_EQ(servers.state.openedWith.back(), "Driver={SQL Server};Server=SRV,1433;Database=Target;Uid=;Pwd=;");
}

TEST_F(RunTest, ProgressGoesFortySixtyEightyHundredForFourRecords)
{
    addSimpleTable("T", 4);
    run();
    const std::vector<double> expected{40, 60, 80, 100, 0};
    ASSERT_EQ(form.progressValues.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_DOUBLE_EQ(form.progressValues[i], expected[i]);
    EXPECT_EQ(form.progressTexts.front(), "Please wait.. Processing table T");
}

TEST_F(RunTest, WithoutTablesOrWithoutALoginSaysWhyAndStartsNothing)
{
    EXPECT_FALSE(run().clean());  // an empty folder
    EXPECT_EQ(messages(), std::vector<std::string>{"Could not start converting.\r\nThe folder " + form.Text1
                                                   + " is empty."});
    EXPECT_EQ(dialogs.messages[0].icon, platform::Icon::Warning);
    EXPECT_TRUE(form.busy.empty());

    dialogs.messages.clear();
    addSimpleTable("T", 1);
    servers.state.refuseLogin = true;
    run();
    EXPECT_EQ(messages(), std::vector<std::string>{"Could not start converting.\r\nCould not connect to the server "
                                                   "SRV,1433: SQLException: [SQLSTATE 28000] Login failed for user 'sa'."});
    EXPECT_TRUE(form.busy.empty());
    EXPECT_TRUE(servers.state.executed.empty());
    EXPECT_FALSE(converting);
}

TEST_F(RunTest, ASecondStartWhileConvertingDoesNothing)
{
    addSimpleTable("T", 2);
    // The user presses "Start Converting" again while the run yields between
    // the fields of the first insert (the table is created by then).
    int secondStarts = 0;
    events.duringYield = [&] {
        if (secondStarts == 0 && servers.state.executed.size() == 1) {
            ++secondStarts;
            run();
        }
    };
    run();
    EXPECT_EQ(secondStarts, 1);
    EXPECT_EQ(servers.state.executed,
              (std::vector<std::string>{"CREATE TABLE [T]([ID] INT,[NAME] TEXT);", "INSERT INTO [T] VALUES(1, 'T1')",
                                        "INSERT INTO [T] VALUES(2, 'T2')"}));
    EXPECT_EQ(messages(), std::vector<std::string>{"Done.\r\n\r\nRows on the server: T 2"});
    EXPECT_EQ(form.busy, (std::vector<bool>{true, false}));
    EXPECT_FALSE(converting);
    // As many connections as a run alone makes.
    const std::size_t opened = servers.state.openedWith.size();
    servers.state = {};
    events.duringYield = nullptr;
    run();
    EXPECT_EQ(servers.state.openedWith.size(), opened);
}

TEST_F(RunTest, OverwriteQuestionYesDropsFirstNoSkipsTheTable)
{
    addSimpleTable("ORDERS", 1);
    addSimpleTable("ITEMS", 1);
    servers.state.tables = {{"TABLE", "orders"}, {"TABLE", "Items"}, {"VIEW", "V"}};
    servers.state.rows = {{"ORDERS", 1}, {"ITEMS", 1}};  // as many as the Paradox tables: no earlier run left them half
    // List2 order decides which question comes first.
    run();
    ASSERT_EQ(dialogs.messages.size(), 3u);
    EXPECT_EQ(dialogs.messages[0].title, "Overwrite?");
    EXPECT_EQ(dialogs.messages[0].buttons, platform::Buttons::YesNoToAll);
    EXPECT_EQ(dialogs.messages[0].icon, platform::Icon::None);
    EXPECT_EQ(dialogs.messages[0].text, "Would you like to overwrite " + form.list2[1] + "?");

    // Both answered Yes: each table is dropped before it is created.
    for (const std::string name : {"ORDERS", "ITEMS"}) {
        auto drop = std::find(servers.state.executed.begin(), servers.state.executed.end(),
                              "DROP TABLE [" + name + "]");
        auto create = std::find_if(servers.state.executed.begin(), servers.state.executed.end(),
                                   [&](const std::string& s) { return s.rfind("CREATE TABLE [" + name, 0) == 0; });
        ASSERT_NE(drop, servers.state.executed.end());
        EXPECT_LT(drop, create);
    }
    // The lower-case entry went; the other letter case stays (and the run's own tables were added).
    EXPECT_EQ(std::count(form.list1.begin(), form.list1.end(), "orders"), 0);
    EXPECT_EQ(std::count(form.list1.begin(), form.list1.end(), "Items"), 1);

    servers.state.executed.clear();
    dialogs.messages.clear();
    dialogs.answers = {platform::Answer::No, platform::Answer::No};
    form.progressTexts.clear();
    run();
    EXPECT_TRUE(servers.state.executed.empty());
    EXPECT_EQ(handOff.datatypes.list().count(), 0);
    // Every table that did not arrive is named, and why.
    EXPECT_EQ(messages().back(), "Done.\r\n\r\nNot converted:\r\n" + form.list2[1]
                                     + ": it exists on the server and was not overwritten\r\n" + form.list2[0]
                                     + ": it exists on the server and was not overwritten");
    EXPECT_EQ(form.progressTexts, (std::vector<std::string>{"", "", ""}));

    // "Yes to All" and "No to All" answer the question for the rest of the run.
    for (const auto& [answer, executed] : {std::pair{platform::Answer::YesToAll, 6u},
                                           std::pair{platform::Answer::NoToAll, 0u}}) {
        servers.state.executed.clear();
        servers.state.tables = {{"TABLE", "orders"}, {"TABLE", "Items"}};
        dialogs.messages.clear();
        dialogs.answers = {answer};
        run();
        EXPECT_EQ(messages()[0], "Would you like to overwrite " + form.list2[1] + "?");
        EXPECT_EQ(messages().size(), 2u);
        EXPECT_EQ(messages()[1].rfind(answer == platform::Answer::YesToAll ? "Done.\r\n\r\nRows on the server: "
                                                                           : "Done.\r\n\r\nNot converted:",
                                      0),
                  0u);
        EXPECT_EQ(servers.state.executed.size(), executed);  // a drop, a create and an insert each
    }
}

TEST_F(RunTest, PerTablePreviewExecuteSkipAndBack)
{
    threeTablesPreviewedEachTable();
    std::vector<std::vector<std::string>> shown;
    form.preview = [&] {
        shown.push_back(previewLines());
        EXPECT_TRUE(handOff.SQLFormCancel);
        EXPECT_TRUE(handOff.mssql_conn->isOpen());
        // The first preview executes, the second skips, the third goes back.
        if (shown.size() == 1) {
            for (const auto& line : previewLines())
                handOff.mssql_conn->execute(line);
            handOff.SQLFormOK = true;
            handOff.SQLFormCancel = false;
        } else if (shown.size() == 2) {
            handOff.SQLFormCancel = false;
        }
        handOff.preview.closed();
        handOff.datatypes.closed();
    };
    run();
    ASSERT_EQ(shown.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const std::string& t = form.list2[2 - i];
        EXPECT_EQ(shown[i], (std::vector<std::string>{"CREATE TABLE [" + t + "]([ID] INT,[NAME] TEXT);",
                                                      "INSERT INTO [" + t + "] VALUES(1, '" + t + "1')"}));
    }
    EXPECT_EQ(servers.state.executed, shown[0]);
    // The skipped table and the one the user went back from did not arrive.
    EXPECT_EQ(messages(), std::vector<std::string>{"Done.\r\n\r\nNot converted:\r\n" + form.list2[1]
                                                   + ": its SQL Preview was not executed to the end\r\n" + form.list2[0]
                                                   + ": its SQL Preview was not executed to the end"});
    EXPECT_GE(servers.state.closes, 1);
    EXPECT_FALSE(handOff.mssql_conn->isOpen());
}

TEST_F(RunTest, PerTablePreviewBackAfterTheFirstOfThreeEndsTheRun)
{
    threeTablesPreviewedEachTable();
    form.preview = [&] { handOff.preview.closed(); };  // "< Back": flags unchanged
    run();
    EXPECT_EQ(form.previewsShown, 1);
    EXPECT_EQ(handOff.datatypes.list().count(), 2);  // only the first table's fields
    // "Done.", and the tables the run did not reach.
    EXPECT_EQ(messages(), std::vector<std::string>{"Done.\r\n\r\nNot converted:\r\nA: its SQL Preview was not "
                                                   "executed to the end\r\n\r\nNot converted, after \"< Back\": C, B"});
    EXPECT_FALSE(handOff.mssql_conn->isOpen());
}

TEST_F(RunTest, PerFilePreviewHoldsEveryStatementOfTheRunOnce)
{
    addSimpleTable("A", 1);
    addSimpleTable("B", 2);
    addSimpleTable("C", 1);
    servers.state.tables = {{"TABLE", "B"}};
    servers.state.rows = {{"B", 2}};
    form.Check1 = true;
    std::vector<std::string> lines;
    int datatypes = 0;
    form.preview = [&] {
        lines = previewLines();
        datatypes = handOff.datatypes.list().count();
        EXPECT_FALSE(handOff.SQLFormOK);
    };
    run();
    EXPECT_EQ(form.previewsShown, 1);
    // Tables from the last entry of List2 to the first; B, which the server
    // holds, is dropped first (the question was answered Yes).
    ASSERT_EQ(form.list2.size(), 3u);
    std::vector<std::string> expected;
    for (auto t = form.list2.rbegin(); t != form.list2.rend(); ++t) {
        if (*t == "B")
            expected.push_back("DROP TABLE [B]");
        expected.push_back("CREATE TABLE [" + *t + "]([ID] INT,[NAME] TEXT);");
        for (int i = 1; i <= (*t == "B" ? 2 : 1); ++i)
            expected.push_back("INSERT INTO [" + *t + "] VALUES(" + std::to_string(i) + ", '" + *t + std::to_string(i) + "')");
    }
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(datatypes, 6);
    EXPECT_TRUE(servers.state.executed.empty());
    // Not executed in the preview: the connections close early, then "Done."
    // with every table named.
    EXPECT_FALSE(handOff.mssql_conn->isOpen());
    const std::string notExecuted = ": its SQL Preview was not executed to the end";
    EXPECT_EQ(messages().back(), "Done.\r\n\r\nNot converted:\r\n" + form.list2[2] + notExecuted + "\r\n"
                                     + form.list2[1] + notExecuted + "\r\n" + form.list2[0] + notExecuted);
}

TEST_F(RunTest, PreviewModeWithNeitherOptionCollectsButShowsAndExecutesNothing)
{
    addSimpleTable("A", 2);
    form.Check1 = true;
    form.Option1 = false;
    form.Option2 = false;
    run();
    EXPECT_EQ(form.previewsShown, 0);
    EXPECT_EQ(previewLines().size(), 3u);
    EXPECT_TRUE(servers.state.executed.empty());
    EXPECT_EQ(messages(), std::vector<std::string>{"Done.\r\n\r\nNot converted:\r\nA: its SQL Preview was not "
                                                   "executed to the end"});
}

TEST_F(RunTest, RefusedStatementsAreReportedOneByOneAndTheRunGoesOn)
{
    addSimpleTable("A", 2);
    servers.state.refuses = [](const std::string& s) { return s.rfind("CREATE", 0) == 0; };
    run();
    const auto texts = messages();
    ASSERT_EQ(texts.size(), 2u);  // the create; none of its inserts is sent
    EXPECT_NE(texts[0].find("\r\nThe table A is not converted: none of its 2 records were sent.\r\nin "
                            "Quillon2021/08/31.Form1.PushButton7_Click at line 312\r\r"),
              std::string::npos);
    EXPECT_EQ(texts[1], "Done.\r\n\r\nNot converted:\r\nA: the server refused its CREATE TABLE\r\n\r\n1 failure:"
                        "\r\nA: 1");  // no log folder here

    dialogs.messages.clear();
    servers.state.refuses = [](const std::string& s) { return s.rfind("INSERT", 0) == 0; };
    run();
    ASSERT_EQ(messages().size(), 3u);
    EXPECT_NE(messages()[0].find("at line 416\r\r"), std::string::npos);
    EXPECT_NE(messages()[1].find("at line 416\r\r"), std::string::npos);
}

TEST_F(RunTest, ATableThatCannotBeOpenedIsReportedOnceAndNothingIsMadeForIt)
{
    addSimpleTable("GOOD", 1);
    std::ofstream(dir / "tables" / "NESTED.db") << "";  // listed, but the source holds nothing for it
    servers.state.tables = {{"TABLE", "NESTED"}};
    run();
    const auto texts = messages();
    // One report for the table, then "Done.": nothing is asked of a table that cannot be read.
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_NE(texts[0].find("The table 'NESTED' does not exist.\r\nin Quillon2021/08/31.Form1.PushButton7_Click at line 186"),
              std::string::npos);
    // Not even the drop the user agreed to: the server keeps its copy.
    for (const auto& s : servers.state.executed)
        EXPECT_EQ(s.find("NESTED"), std::string::npos) << s;
    EXPECT_EQ(servers.state.executed.size(), 2u);
}

// Each table is read from the file it was found in, so one that lies only in a
// subfolder arrives. Of two tables of one name the one found first (nearest the
// top folder) keeps the name, although the run, going from the last entry to
// the first, meets the other one first: that one is reported with its path and
// skipped, without a question, and nothing of it reaches the first one's table.
TEST_F(RunTest, TablesAreReadWhereTheyLieAndASecondTableOfANameIsLeftOut)
{
    addSimpleTable("T", 1);
    addTable("t", {{"ID", 3}, {"NAME", 202}}, {{Value::ofInteger(7), Value::ofText("old")}}, "sub");
    addTable("EXTRA", {{"ID", 3}}, {{Value::ofInteger(5)}}, "sub/deeper");
    servers.state.tables = {{"TABLE", "T"}};
    servers.state.rows = {{"T", 1}};
    const conversion::RunResult result = run();
    ASSERT_EQ(form.list2, (core::ListItems{"T", "T", "EXTRA"}));
    const std::string top = (dir / "tables").string();
    const auto texts = messages();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], core::ErrorReportText("The table T of " + top + "/sub/t.db is not converted: " + top +
                                                  "/T.db, found before it, is converted under that name. To convert "
                                                  "it, convert the folder " + top + "/sub on its own.",
                                              conversion::kRunLocation, 159) + "\r\rTable: T");
    EXPECT_EQ(texts[1], "Would you like to overwrite T?");
    // The table left out is named with its file, never taken for the one converted.
    EXPECT_EQ(texts[2], "Done.\r\n\r\nRows on the server: EXTRA 1; T 1\r\n\r\nNot converted:\r\nT (" + top
                            + "/sub/t.db): a table of its name was found before it\r\n\r\n1 failure:\r\nT (" + top
                            + "/sub/t.db): 1");
    EXPECT_EQ(servers.state.executed,
              (std::vector<std::string>{"CREATE TABLE [EXTRA]([ID] INT);", "INSERT INTO [EXTRA] VALUES(5)",
                                        "DROP TABLE [T]", "CREATE TABLE [T]([ID] INT,[NAME] TEXT);",
                                        "INSERT INTO [T] VALUES(1, 'T1')"}));
    ASSERT_EQ(result.tables.size(), 3u);
    EXPECT_EQ(result.tables[0].folder, top + "/sub/deeper");
    EXPECT_EQ(result.tables[1].failures, 1);
}

TEST_F(RunTest, ADamagedTableIsReportedOnceByNameAndCountedInItsResult)
{
    addSimpleTable("GOOD", 1);
    addSimpleTable("BAD", 2);
    sources.tables["BAD"].damage = "/x/BAD.db: the header says 1 record but 2 were read";
    const conversion::RunResult result = run();
    const auto texts = messages();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], core::ErrorReportText("The table BAD is damaged: /x/BAD.db: the header says 1 record but 2 "
                                              "were read. The records that could be read were written.",
                                              conversion::kRunLocation, 421) + "\r\rTable: BAD");
    EXPECT_EQ(texts[1], "Done.\r\n\r\nRows on the server: GOOD 1; BAD 2\r\n\r\n1 failure:\r\nBAD: 1");
    EXPECT_EQ(std::count_if(servers.state.executed.begin(), servers.state.executed.end(),
                            [](const std::string& s) { return s.rfind("INSERT INTO [BAD]", 0) == 0; }),
              2);
    ASSERT_EQ(result.tables.size(), 2u);
    for (const conversion::TableResult& t : result.tables)
        EXPECT_EQ(t.recordCountMismatch, t.table == "BAD") << t.table;
    EXPECT_FALSE(result.clean());
}

// As a user who may not read everything (the tests run as root): a folder the
// run cannot read is reported once with the reason. Without any table to read,
// or when the top folder cannot be read, the report ends the run.
TEST_F(RunTest, FoldersThatCannotBeReadAreReportedWithTheReason)
{
    namespace fs = std::filesystem;
    const fs::path tables = dir / "tables";
    fs::create_directories(tables / "locked");
    std::ofstream(tables / "locked" / "HIDDEN.db") << "";
    fs::permissions(tables / "locked", fs::perms::none);
    const auto told = [&] {
        return RunAsNobody([&] {
            const conversion::RunResult result = run();
            return dialogs.transcript() + "failures: " + std::to_string(result.failures) + "\n";
        });
    };
    const auto onlyLocked = told();
    addSimpleTable("T", 1);
    const auto beside = told();
    fs::permissions(tables, fs::perms::none);
    const auto top = told();
    fs::permissions(tables, fs::perms::owner_all);
    fs::permissions(tables / "locked", fs::perms::owner_all);
    if (!onlyLocked || !beside || !top)
        GTEST_SKIP() << kNoUnprivilegedUser;
    const auto report = [](const fs::path& folder, int step) {
        return core::ErrorReportText("The folder " + folder.string() + " cannot be read: Permission denied.",
                                     conversion::kRunLocation, step) + "\n";
    };
    // With no table to read the run cannot start, and says why in its one message.
    const auto cannotStart = [](const fs::path& folder) {
        return "Could not start converting.\r\nThe folder " + folder.string() + " cannot be read: Permission denied.\n";
    };
    EXPECT_EQ(*onlyLocked, cannotStart(tables / "locked") + "failures: 1\n");
    EXPECT_EQ(*beside, report(tables / "locked", 130)
                           + "Done.\r\n\r\nRows on the server: T 1\r\n\r\n1 failure:\r\nOutside the tables: 1\nfailures: 1\n");
    EXPECT_EQ(*top, cannotStart(tables) + "failures: 1\n");
}

TEST_F(RunTest, LocalConnectionUsesTheTextWithoutPort)
{
    addSimpleTable("T", 0);
    form.Check4 = true;
    form.Text6 = "999";
    run();
    EXPECT_EQ(servers.state.openedWith.back(), "Driver={SQL Server};Server=SRV;Database=Target;Uid=;Pwd=;");
}

namespace {

// A factory whose first create fails (a driver that is not installed); later
// ones, as made by the login test and the table list, work.
template <typename Factory>
struct FirstCreateFails : Factory {
    explicit FirstCreateFails(Factory& real) : real_(real) {}
    decltype(std::declval<Factory&>().create()) create() override
    {
        if (!failed_) {
            failed_ = true;
            throw std::runtime_error("Class not registered");
        }
        return real_.create();
    }
    Factory& real_;
    bool failed_ = false;
};

}  // namespace

TEST_F(RunTest, AConnectionThatCannotBeMadeIsReportedOnceAndNothingUsesIt)
{
    addSimpleTable("T", 2);
    struct Case { bool serverFails, sourceFails, preview; int step; std::size_t previewLines; const char* why; };
    const Case cases[] = {
        {true, false, false, 106, 0, "there was no connection to the server"},  // direct mode: nothing can be executed
        {false, true, false, 110, 0, "its table could not be read"},  // no table can be read
        // After a run that left its closed connection behind, which is not used again.
        // Per-file preview: collected and shown all the same.
        {true, false, true, 106, 3, "its SQL Preview was not executed to the end"},
        {false, true, true, 110, 0, "its table could not be read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step + (c.preview ? 1000 : 0));
        dialogs.messages.clear();
        servers.state.executed.clear();
        form.busy.clear();
        form.previewsShown = 0;
        form.Check1 = c.preview;
        FirstCreateFails<platform::ServerConnectionFactory> serverFactory(servers);
        FirstCreateFails<platform::SourceConnectionFactory> sourceFactory(sources);
        serverFactory.failed_ = !c.serverFails;
        sourceFactory.failed_ = !c.sourceFails;
        core::Services failing{dialogs, settings, clipboard, desktop, events, serverFactory, sourceFactory,
                               services.paths};
        conversion::Run r{failing, form, handOff, {}, converting, {}};
        conversion::StartConverting(r);

        const auto texts = messages();
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_EQ(texts[0].rfind("Class not registered\r\nin Quillon2021/08/31.Form1.PushButton7_Click at line "
                                 + std::to_string(c.step) + "\r\r", 0), 0u);
        EXPECT_EQ(texts[1], "Done.\r\n\r\nNot converted:\r\nT: " + std::string(c.why)
                                + "\r\n\r\n1 failure:\r\nOutside the tables: 1");
        EXPECT_TRUE(servers.state.executed.empty());
        EXPECT_EQ(handOff.mssql_conn == nullptr, c.serverFails);
        EXPECT_EQ(form.previewsShown, c.preview ? 1 : 0);
        EXPECT_EQ(static_cast<std::size_t>(handOff.preview.list().count()), c.previewLines);
        EXPECT_EQ(form.busy, (std::vector<bool>{true, false}));
        EXPECT_FALSE(converting);
    }
}

// Under SQL Server column types: typed columns and values, the identity
// column's values given with SET IDENTITY_INSERT, a value its type cannot hold
// written NULL and reported once per table, the key added after the rows; in
// SQL Server's words, or SQLite's where the connection says it is SQLite.
TEST_F(RunTest, SqlServerColumnTypesInTheTargetsWords)
{
    const paradox::CivilDate year0{0, 1, 1};
    addTable("T", {{"ID", 3, 0, 0, true}, {"NAME", 202, 10}, {"WHEN", 133}, {"PIC", 205}},
             {{Value::ofInteger(1), Value::ofText("a'b"), Value::ofDate({2020, 1, 2}), Value::ofBytes("\x01")},
              {Value::ofInteger(2), Value::ofText(""), Value::ofDate(year0), Value::null()}},
             "", 1);
    options.columnTypes = conversion::ColumnTypes::SqlServer;
    options.transferBinary = true;
    const std::string insert = "INSERT INTO [T]([ID],[NAME],[WHEN],[PIC]) VALUES(";
    const std::string sqliteInsert = R"(INSERT INTO "T"("ID","NAME","WHEN","PIC") VALUES()";
    struct Case {
        std::string dbms;
        std::vector<std::string> statements;
    };
    const Case cases[] = {
        {"Microsoft SQL Server",
         {"CREATE TABLE [T]([ID] INT IDENTITY(1,1),[NAME] NVARCHAR(10),[WHEN] DATE,[PIC] VARBINARY(MAX));",
          "SET IDENTITY_INSERT [T] ON", insert + "1, N'a''b', '2020-01-02', 0x01)", insert + "2,NULL,NULL,NULL)",
          "SET IDENTITY_INSERT [T] OFF", "ALTER TABLE [T] ADD CONSTRAINT [PK_T] PRIMARY KEY ([ID])"}},
        {"SQLite",
         {R"(CREATE TABLE "T"("ID" INT IDENTITY(1,1),"NAME" NVARCHAR(10),"WHEN" DATE,"PIC" BLOB);)",
          sqliteInsert + "1, 'a''b', '2020-01-02', X'01')", sqliteInsert + "2,NULL,NULL,NULL)",
          R"(CREATE UNIQUE INDEX "PK_T" ON "T"("ID"))"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dbms);
        servers.state.executed.clear();
        dialogs.messages.clear();
        servers.state.dbmsName = c.dbms;
        run();
        EXPECT_EQ(servers.state.executed, c.statements);
        const auto texts = messages();
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_EQ(texts[0].rfind("1 value of the table T lies outside what its column type holds (a date outside the "
                                 "years 1 to 9999, a time outside the day, a currency beyond MONEY's range) and was "
                                 "written as NULL.\r\nin Quillon2021/08/31.Form1.PushButton7_Click at line 421\r\r",
                                 0),
                  0u);
        EXPECT_EQ(texts[1], "Done.\r\n\r\nRows on the server: T 2\r\n\r\n1 failure:\r\nT: 1");
    }
}

// A session lets one table at a time take identity values: a table skipped in
// its per-table preview after Execute SQL stopped inside its inserts leaves its
// identity inserts on, and the run ends them before the next table.
TEST_F(RunTest, ATableSkippedInItsPreviewLeavesNoIdentityInsertsOn)
{
    for (const char* name : {"A", "B"})
        addTable(name, {{"ID", 3, 0, 0, true}}, {{Value::ofInteger(1)}, {Value::ofInteger(2)}});
    options.columnTypes = conversion::ColumnTypes::SqlServer;
    servers.state.dbmsName = "Microsoft SQL Server";
    form.Check1 = true;
    form.Option1 = false;
    form.Option2 = true;
    form.preview = [&] {
        const std::vector<std::string> lines = previewLines();
        for (std::size_t i = 0; i < 3 && i < lines.size(); ++i)  // the create, ON, the first insert
            handOff.mssql_conn->execute(lines[i]);
        handOff.SQLFormCancel = false;  // Skip Table
        handOff.preview.closed();
        handOff.datatypes.closed();
    };
    run();
    // The first table's three lines, its OFF from the run, then the second's three and its OFF.
    const auto& executed = servers.state.executed;
    ASSERT_EQ(executed.size(), 8u);
    for (std::size_t first : {0u, 4u}) {
        std::string off = executed[first + 1];
        off.replace(off.size() - 2, 2, "OFF");
        EXPECT_EQ(executed[first + 3], off);
    }
}

// No record is lost to a key: one that cannot be made (a key field blank, a
// statement the server refuses) is reported once, and the rows stay without it.
TEST_F(RunTest, AKeyThatCannotBeMadeIsReportedOnceAndEveryRowStays)
{
    options.columnTypes = conversion::ColumnTypes::SqlServer;
    const std::string notMade = "The table T keeps all its records without the primary key PK_T: ";
    struct Case {
        std::string label;
        std::vector<std::vector<Value>> rows;
        bool refuse;
        bool preview;
        std::vector<std::string> keyStatements;  // executed (what the server took), or in the preview
        std::string report;                      // how the key's report starts; empty: none
        std::size_t refusedRows = 0;             // inserts of B = 2 the server refuses, each reported before
    };
    const Case cases[] = {
        {"made", {{Value::ofText("a"), Value::ofInteger(1)}}, false, false,
         {"ALTER TABLE [T] ALTER COLUMN [A] NVARCHAR(255) NOT NULL",
          "ALTER TABLE [T] ALTER COLUMN [B] SMALLINT NOT NULL", "ALTER TABLE [T] ADD CONSTRAINT [PK_T] PRIMARY KEY ([A],[B])"},
         ""},
        {"blank", {{Value::ofText("a"), Value::ofInteger(1)}, {Value::ofText(""), Value::ofInteger(2)},
                   {Value::null(), Value::null()}},
         false, false, {}, notMade + "its key field A is blank in 2 records."},
        {"refused", {{Value::ofText("a"), Value::ofInteger(1)}}, true, false, {},
         notMade + "SQLException: [SQLSTATE 42000] refused: ALTER TABLE [T] ALTER COLUMN"},
        {"rows refused", {{Value::ofText("a"), Value::ofInteger(1)}, {Value::ofText("b"), Value::ofInteger(2)},
                          {Value::ofText("c"), Value::ofInteger(3)}},
         true, false, {},
         "The table T keeps the 2 records that arrived (1 of its 3 was refused) without the primary key PK_T: "
         "SQLException", 1},
        {"preview", {{Value::ofText("a"), Value::ofInteger(1)}}, true, true,
         {"ALTER TABLE [T] ALTER COLUMN [A] NVARCHAR(255) NOT NULL",
          "ALTER TABLE [T] ALTER COLUMN [B] SMALLINT NOT NULL", "ALTER TABLE [T] ADD CONSTRAINT [PK_T] PRIMARY KEY ([A],[B])"},
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        sources.tables.clear();
        addTable("T", {{"A", 202, 255}, {"B", 2}}, c.rows, "", 2);
        servers.state.executed.clear();
        dialogs.messages.clear();
        handOff.preview.list().clear();
        servers.state.refuses = [&c](const std::string& s) {
            return c.refuse && (s.rfind("ALTER", 0) == 0 || (c.refusedRows > 0 && s.find(", 2)") != std::string::npos));
        };
        form.Check1 = c.preview;
        run();
        const std::vector<std::string> out = c.preview ? previewLines() : servers.state.executed;
        const std::size_t rows = c.rows.size() - c.refusedRows;
        ASSERT_EQ(out.size(), 1 + rows + c.keyStatements.size());
        EXPECT_EQ(std::vector<std::string>(out.begin() + 1 + static_cast<long>(rows), out.end()), c.keyStatements);
        const auto texts = messages();
        ASSERT_EQ(texts.size(), (c.report.empty() ? 1u : 2u) + c.refusedRows);
        if (!c.report.empty()) {
            EXPECT_EQ(texts[texts.size() - 2].rfind(c.report, 0), 0u) << texts[texts.size() - 2];
        }
    }
}

// A key whose columns may need more than the 900 bytes of a clustered index
// entry is made nonclustered, whose entries take 1,700; its name fits.
TEST(KeyStatements, NonclusteredBeyondTheClusteredKeysSize)
{
    using conversion::KeyStatements;
    const std::vector<conversion::KeyColumn> narrow = {{"A", "NVARCHAR(255)", false, true, 510},
                                                       {"N", "INT IDENTITY(1,1)", true, false, 4}};
    EXPECT_EQ(KeyStatements(conversion::Dialect::SqlServer, "X]Y", narrow),
              (std::vector<std::string>{"ALTER TABLE [X]]Y] ALTER COLUMN [A] NVARCHAR(255) NOT NULL",
                                        "ALTER TABLE [X]]Y] ADD CONSTRAINT [PK_X]]Y] PRIMARY KEY ([A],[N])"}));
    const std::vector<conversion::KeyColumn> wide = {{"A", "NVARCHAR(255)", false, true, 510},
                                                     {"B", "NVARCHAR(255)", false, true, 510}};
    EXPECT_EQ(KeyStatements(conversion::Dialect::SqlServer, "T", wide).back(),
              "ALTER TABLE [T] ADD CONSTRAINT [PK_T] PRIMARY KEY NONCLUSTERED ([A],[B])");
    // Within SQL Server's 128 characters, and apart for long names that begin alike.
    const std::string longName(126, 'A');
    EXPECT_EQ(conversion::KeyName(longName).size(), 128u);
    EXPECT_NE(conversion::KeyName(longName), conversion::KeyName(longName + "B"));
    EXPECT_EQ(KeyStatements(conversion::Dialect::Sqlite, "T\"", wide),
              (std::vector<std::string>{R"(CREATE UNIQUE INDEX "PK_T""" ON "T"""("A" COLLATE NOCASE,"B" COLLATE NOCASE))"}));
}

// "Column Types" is read at every start: "Text", "SQL Server" (any letter case,
// blanks around), or reported at step 116 and left Text; so is "Rules": "All"
// (the default) or "Keys".
TEST(RunOptions, ColumnTypesSettingEachRun)
{
    const std::pair<const char*, conversion::ColumnTypes> cases[] = {
        {"", conversion::ColumnTypes::Text},
        {"Text", conversion::ColumnTypes::Text},
        {" sql server ", conversion::ColumnTypes::SqlServer},
        {"SQL Server", conversion::ColumnTypes::SqlServer},
        {"typed", conversion::ColumnTypes::Text},
    };
    for (const auto& [stored, types] : cases) {
        SCOPED_TRACE(stored);
        MemorySettings settings;
        settings.SaveSetting("Marrowby", "Dovenmark", "Column Types", stored);
        const bool known = std::string(stored) != "typed";
        settings.SaveSetting("Marrowby", "Dovenmark", "Verify After Converting", known ? "True" : "False");
        settings.SaveSetting("Marrowby", "Dovenmark", "Bulk Copy", known ? "True" : "False");
        ScriptedDialogs dialogs;
        core::GuardedOperation op(dialogs, conversion::kRunLocation);
        const conversion::RunOptions options = conversion::RunOptionsFromSettings(settings, op);
        EXPECT_EQ(options.columnTypes, types);
        EXPECT_EQ(options.verifyAfter, known);
        EXPECT_EQ(options.bulkCopy, known);
        ASSERT_EQ(dialogs.messages.size(), known ? 0u : 1u);
        if (!known) {
            EXPECT_EQ(dialogs.messages[0].text.rfind("The setting \"Column Types\" holds \"typed\"; it takes \"Text\" "
                                                     "or \"SQL Server\".\r\nin Quillon2021/08/31.Form1.PushButton7_Click "
                                                     "at line 116", 0),
                      0u);
        }
    }
    for (const auto& [stored, rules] : {std::pair{"", conversion::RuleChoice::All}, {" keys ", conversion::RuleChoice::Keys},
                                        {"none", conversion::RuleChoice::All}}) {
        MemorySettings settings;
        settings.SaveSetting("Marrowby", "Dovenmark", "Rules", stored);
        ScriptedDialogs dialogs;
        core::GuardedOperation op(dialogs, conversion::kRunLocation);
        EXPECT_EQ(conversion::RunOptionsFromSettings(settings, op).rules, rules) << stored;
        EXPECT_EQ(dialogs.messages.size(), std::string(stored) == "none" ? 1u : 0u) << stored;
    }
}

// Where the run is asked to stop or the connection goes, the table being
// written ends at once with one word: what is not committed is rolled back or
// lost, the rows the server holds are counted and told, and the tables after
// it are named as not reached. A count other than the rows the run stored is
// told as well.
TEST_F(RunTest, ATableEndsWithOneWordWhereTheRunStopsOrTheConnectionGoes)
{
    addSimpleTable("A", 5);
    addSimpleTable("B", 5);
    options.transactions.statements = 2;  // a commit after every second insert, each sent alone
    options.transactions.statementsPerCall = 1;
    int inserts = 0;
    const auto third = [&inserts](const std::string& sql) { return sql.starts_with("INSERT") && ++inserts == 3; };
    struct Case {
        const char* name;
        std::function<void()> arrange;
        const char* report;  // begins the one report; empty: none
        conversion::RunEnd ended;
        std::int64_t held;   // the rows of the first table on the server
    };
    const Case cases[] = {
        // SIGTERM as the third insert reaches the server. Damage that only the
        // table's end shows is not told: the run did not read that far.
        {"stopped", [&] {
             servers.state.refuses = [&](const std::string& sql) { return third(sql) && (stop.request(15), false); };
             sources.tables["A"].damage = sources.tables["B"].damage = "the header says 4 records";
         }, "", conversion::RunEnd::Stopped, 2},
        {"lost, connected again", [&] { servers.state.losesConnectionAt = third; },
         "SQLException: [SQLSTATE 08S01] Communication link failure\r\nThe connection to the server was lost while the "
         "table %s was written: the server holds 2 rows of it, and the rest was not sent.",
         conversion::RunEnd::Complete, 2},
        {"lost for good", [&] {
             servers.state.losesConnectionAt = [&](const std::string& sql) {
                 return third(sql) && (servers.state.refuseLogin = true);
             };
         }, "SQLException: [SQLSTATE 08S01] Communication link failure\r\nThe connection to the server was lost while "
            "the table %s was written: how many of its rows the server holds is not known, and the rest was not "
            "sent. Connecting again failed ([SQLSTATE 28000] Login failed for user 'sa'.), so the run stops here.",
         conversion::RunEnd::ConnectionLost, -1},
        {"counted otherwise", [&] { servers.state.rows = {{"A", 2}, {"B", 2}}; },
         "The server holds 7 rows of the table %s, but the run stored 5.", conversion::RunEnd::Complete, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        servers.state = {};
        dialogs.messages.clear();
        events.duringYield = nullptr;
        stop.clear();
        inserts = 0;
        sources.tables["A"].damage = sources.tables["B"].damage = std::nullopt;
        c.arrange();
        const conversion::RunResult result = run();
        ASSERT_FALSE(result.tables.empty());
        const conversion::TableResult& first = result.tables[0];
        EXPECT_EQ(result.ended, c.ended);
        EXPECT_EQ(first.serverRows.value_or(-1), c.held);
        const std::string other = first.table == "A" ? "B" : "A";
        const std::vector<std::string> texts = messages();
        ASSERT_FALSE(texts.empty());
        if (*c.report) {
            std::string expected = c.report;
            expected.replace(expected.find("%s"), 2, first.table);
            EXPECT_EQ(texts[0].rfind(expected, 0), 0u) << texts[0];
        }
        const bool rest = c.ended != conversion::RunEnd::Complete;
        EXPECT_EQ(result.notReached, rest ? std::vector<std::string>{other} : std::vector<std::string>{});
        if (c.ended == conversion::RunEnd::Stopped) {
            EXPECT_EQ(result.stoppedBy, 15);
            EXPECT_TRUE(first.stopped);
            EXPECT_FALSE(first.recordCountMismatch);
            EXPECT_EQ(texts.size(), 1u) << texts[0];
            EXPECT_EQ(conversion::StopText(result, "SIGTERM", "--resume"),
                      "Stopped by SIGTERM: " + first.table + " stopped after 3 of 5 records, and what was not "
                      "committed was rolled back; 2 rows are stored (--resume continues it). Not reached: " + other + ".");
        }
        EXPECT_EQ(texts.back().find("Not converted, the connection being lost: " + other) != std::string::npos,
                  c.ended == conversion::RunEnd::ConnectionLost) << texts.back();
    }
}
