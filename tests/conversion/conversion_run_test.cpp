// The conversion run against a scripted server and tables held in memory:
// the order of tables, the modes, the overwrite question, progress, the flags
// read after a preview, and failures that are reported while the run goes on.
#include "conversion/conversion_run.h"

#include "tests/support/fake_form.h"
#include "tests/support/fake_server.h"
#include "tests/support/memory_settings.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/testdata.h"

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

struct RunTest : ::testing::Test {
    TempDir dir;
    FakeForm form;
    ScriptedDialogs dialogs;
    UserEvents events;
    FakeServerFactory servers;
    MemorySourceFactory sources;
    RecordingDesktop desktop;
    MemorySettings settings;
    conversion::PreviewHandOff handOff;
    bool converting = false;
    RecordingClipboard clipboard;
    core::Services services{dialogs, settings, clipboard, desktop, events, servers, sources,
                            {(dir / "program").string(), (dir / "drive").string()}};

    RunTest()
    {
        std::filesystem::create_directories(dir / "tables");
        form.Text1 = (dir / "tables").string();
        form.Text5 = "SRV";
        form.Text8 = "Target";
    }

    void addTable(const std::string& name, std::vector<MemoryField> fields,
                  std::vector<std::vector<Value>> rows, const std::string& subfolder = "")
    {
        auto folder = dir / "tables" / subfolder;
        std::filesystem::create_directories(folder);
        std::ofstream(folder / (name + ".db")) << "";
        if (subfolder.empty())
            sources.tables[name] = MemoryTable{std::move(fields), std::move(rows)};
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

    void run()
    {
        conversion::Run r{services, form, handOff, {}, converting, {}};
        conversion::StartConverting(r);
    }

    std::vector<std::string> messages() const
    {
        std::vector<std::string> texts;
        for (const auto& m : dialogs.messages)
            texts.push_back(m.text);
        return texts;
    }
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
    EXPECT_EQ(messages(), std::vector<std::string>{"Done."});
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
    conversion::Run r{services, form, handOff, {}, converting, {}};
    EXPECT_FALSE(conversion::StartConverting(r).clean());  // an empty folder
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
    EXPECT_EQ(messages(), std::vector<std::string>{"Done."});
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
    EXPECT_EQ(messages().back(), "Done.");
    EXPECT_EQ(form.progressTexts, (std::vector<std::string>{"", "", ""}));

    // "Yes to All" and "No to All" answer the question for the rest of the run.
    for (const auto& [answer, executed] : {std::pair{platform::Answer::YesToAll, 6u},
                                           std::pair{platform::Answer::NoToAll, 0u}}) {
        servers.state.executed.clear();
        servers.state.tables = {{"TABLE", "orders"}, {"TABLE", "Items"}};
        dialogs.messages.clear();
        dialogs.answers = {answer};
        run();
        EXPECT_EQ(messages(), (std::vector<std::string>{"Would you like to overwrite " + form.list2[1] + "?", "Done."}));
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
    EXPECT_EQ(messages(), std::vector<std::string>{"Done."});
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
    EXPECT_EQ(messages(), std::vector<std::string>{"Done."});
    EXPECT_FALSE(handOff.mssql_conn->isOpen());
}

TEST_F(RunTest, PerFilePreviewHoldsEveryStatementOfTheRunOnce)
{
    addSimpleTable("A", 1);
    addSimpleTable("B", 2);
    addSimpleTable("C", 1);
    servers.state.tables = {{"TABLE", "B"}};
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
    // Not executed in the preview: the connections close early, then "Done.".
    EXPECT_FALSE(handOff.mssql_conn->isOpen());
    EXPECT_EQ(messages().back(), "Done.");
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
    EXPECT_EQ(messages(), std::vector<std::string>{"Done."});
}

TEST_F(RunTest, RefusedStatementsAreReportedOneByOneAndTheRunGoesOn)
{
    addSimpleTable("A", 2);
    servers.state.refuses = [](const std::string& s) { return s.rfind("CREATE", 0) == 0; };
    run();
    const auto texts = messages();
    ASSERT_EQ(texts.size(), 2u);  // the create; the inserts then succeed in this fake
    EXPECT_NE(texts[0].find("in Quillon2021/08/31.Form1.PushButton7_Click at line 312\r\r"), std::string::npos);
    EXPECT_EQ(texts[1], "Done.\r\n\r\n1 failure:\r\nA: 1");  // no log folder here

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
    addTable("NESTED", {}, {}, "sub");  // listed from a subfolder; the connection does not offer it
    servers.state.tables = {{"TABLE", "NESTED"}};
    run();
    const auto texts = messages();
    // The overwrite question, one report for the table, then "Done.".
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], "Would you like to overwrite NESTED?");
    EXPECT_NE(texts[1].find("The table 'NESTED' does not exist.\r\nin Quillon2021/08/31.Form1.PushButton7_Click at line 186"),
              std::string::npos);
    // Not even the drop the user agreed to: the server keeps its copy.
    for (const auto& s : servers.state.executed)
        EXPECT_EQ(s.find("NESTED"), std::string::npos) << s;
    EXPECT_EQ(servers.state.executed.size(), 2u);
}

TEST_F(RunTest, ASecondTableOfTheSameNameAsksBeforeItOverwritesTheFirst)
{
    addSimpleTable("T", 1);
    addTable("t", {}, {}, "sub");  // same name in a subfolder: the top-level file is read again
    run();
    ASSERT_EQ(form.list2, (core::ListItems{"T", "T"}));
    const auto texts = messages();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Would you like to overwrite T?");
    // Yes: the first copy is dropped and created again, never appended to.
    EXPECT_EQ(servers.state.executed,
              (std::vector<std::string>{"CREATE TABLE [T]([ID] INT,[NAME] TEXT);",
                                        "INSERT INTO [T] VALUES(1, 'T1')", "DROP TABLE [T]",
                                        "CREATE TABLE [T]([ID] INT,[NAME] TEXT);",
                                        "INSERT INTO [T] VALUES(1, 'T1')"}));
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
    struct Case { bool serverFails, sourceFails, preview; int step; std::size_t previewLines; };
    const Case cases[] = {
        {true, false, false, 106, 0},  // direct mode: nothing can be executed
        {false, true, false, 110, 0},  // no table can be read
        // After a run that left its closed connection behind, which is not used again.
        {true, false, true, 106, 3},   // per-file preview: collected and shown all the same
        {false, true, true, 110, 0},
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
        EXPECT_EQ(texts[1], "Done.\r\n\r\n1 failure:\r\nOutside the tables: 1");
        EXPECT_TRUE(servers.state.executed.empty());
        EXPECT_EQ(handOff.mssql_conn == nullptr, c.serverFails);
        EXPECT_EQ(form.previewsShown, c.preview ? 1 : 0);
        EXPECT_EQ(static_cast<std::size_t>(handOff.preview.list().count()), c.previewLines);
        EXPECT_EQ(form.busy, (std::vector<bool>{true, false}));
        EXPECT_FALSE(converting);
    }
}
