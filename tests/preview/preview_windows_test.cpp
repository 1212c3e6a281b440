// The SQL Preview workbench offscreen: layouts, Execute SQL with its SQL-error
// path, the flags it leaves behind, the clipboard and mail buttons, editing a
// line, find and replace, and the datatype view.
#include "preview/form2.h"
#include "preview/form3.h"
#include "preview/form4.h"
#include "preview/form5.h"
#include "preview/list_models.h"
#include "preview/preview_windows.h"

#include "platform/time_sliced_event_loop.h"
#include "tests/support/fake_services.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QFont>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

using namespace preview;
using ui::Twips;

namespace {

// The recorded dialogs, except that showing one of the named messages fails.
struct FailingDialogs : platform::Dialogs {
    explicit FailingDialogs(testsupport::ScriptedDialogs& records) : recorder(records) {}
    platform::Answer show(const platform::Message& message) override
    {
        if (failOn.count(message.text))
            throw std::runtime_error("the message box failed: " + message.text);
        return recorder.show(message);
    }
    testsupport::ScriptedDialogs& recorder;
    std::set<std::string> failOn;
};

// The program's time-sliced yield (with no slice: every 8th call enters the
// event loop) and its turns after a round trip, and a hook a test acts
// through during long work.
struct HookedEventLoop : platform::EventLoop {
    void yield() override
    {
        if (onYield)
            onYield();
        sliced.yield();
    }
    void turnAfterRoundTrip() override { sliced.turnAfterRoundTrip(); }
    platform::TimeSlicedEventLoop sliced{[] { QCoreApplication::processEvents(); },
                                         std::chrono::milliseconds(0)};
    std::function<void()> onYield;
};

struct PreviewTest : ::testing::Test {
    testsupport::FakeServicesHolder env;
    FailingDialogs dialogs{env.dialogs};
    HookedEventLoop events;
    core::Services services{dialogs,          env.settings, env.clipboard,
                            env.desktop,      events,       env.servers,
                            env.sources,      env.services.paths,
                            env.services.randomDraw,        env.services.endProgram};
    conversion::PreviewHandOff handOff;
    QWidget owner;
    PreviewWindows windows{services, handOff, &owner};
    std::vector<std::function<void(QWidget*)>> script;  // one action per modal window, in order

    PreviewTest()
    {
        handOff.mssql_conn = env.servers.create();
        handOff.mssql_conn->open("Driver={SQL Server};Server=x,1;Database=d;Uid=u;Pwd=p;");
        windows.onModalShown = [this](QWidget* w) {
            if (script.empty()) {
                ADD_FAILURE() << "no action for " << w->objectName().toStdString();
                w->close();
                return;
            }
            auto action = script.front();
            script.erase(script.begin());
            action(w);
        };
    }

    void fill(std::vector<std::string> lines)
    {
        for (const auto& l : lines)
            handOff.preview.list().append(l);
    }
    std::vector<std::string> messages() const
    {
        std::vector<std::string> texts;
        for (const auto& m : env.dialogs.messages)
            texts.push_back(m.text);
        return texts;
    }
    static Form2* AsForm2(QWidget* w) { return dynamic_cast<Form2*>(w); }
};

struct Geometry { QWidget* control; const char* caption; int l, t, w, h; };

void CheckLayout(const std::vector<Geometry>& rows)
{
    for (const Geometry& r : rows) {
        SCOPED_TRACE(r.control->objectName().toStdString());
        EXPECT_EQ(r.control->geometry(), QRect(Twips(r.l), Twips(r.t), Twips(r.w), Twips(r.h)));
        QString caption;
        if (auto* b = qobject_cast<QAbstractButton*>(r.control)) caption = b->text();
        if (auto* g = qobject_cast<QGroupBox*>(r.control)) caption = g->title();
        if (auto* l = qobject_cast<QLabel*>(r.control)) caption = l->text();
        if (r.caption) {
            EXPECT_EQ(caption.toStdString(), r.caption);
        }
        // A caption keeps a margin of at least one average character on each side.
        if (auto* b = qobject_cast<QPushButton*>(r.control)) {
            const QFontMetrics font(b->font());
            EXPECT_LE(font.horizontalAdvance(b->text()) + 2 * font.averageCharWidth(), b->width());
        }
    }
}

}  // namespace

TEST_F(PreviewTest, WindowsAreLaidOutAsDesigned)
{
    fill({"CREATE TABLE [T]([A] TEXT);"});
    auto& records = handOff.datatypes.list();
    records.append("CUSTOMER_ADDRESSES");
    records.setSubItem(1, "CustomerSinceTheFirstOrder");
    records.setSubItem(2, "OTHER TYPES");
    records.setSubItem(3, "VARBINARY(MAX)");
    script.push_back([&](QWidget* w) {
        Form2& f = *AsForm2(w);
        EXPECT_EQ(f.windowTitle(), "SQL Preview - Dovenmark");
        EXPECT_EQ(f.size(), QSize(Twips(8040), Twips(8430)));
        CheckLayout({{f.PushButton5, "< Back", 120, 120, 3720, 405},
                     {f.PushButton9, "Skip Table / Do Not Execute SQL", 3960, 120, 3960, 405},
                     {f.ListView1, nullptr, 120, 630, 7800, 3315},
                     {f.PushButton1, "Execute SQL", 120, 4040, 7800, 405},
                     {f.PushButton3, "Find and Replace", 120, 4550, 3840, 405},
                     {f.PushButton2, "Copy SQL To Clipboard", 4080, 4550, 3840, 405},
                     {f.Frame2, "Error:", 120, 5010, 7800, 1785},
                     {f.Text1, nullptr, 240, 300, 7320, 1290},
                     {f.PushButton6, "Jump To Error Line", 120, 6900, 3840, 405},
                     {f.PushButton4, "Copy Error Message To Clipboard", 4080, 6900, 3840, 405},
                     {f.PushButton8, " Email Error Message To Marrowby", 120, 7410, 3840, 405},
                     {f.PushButton7, "View Datatype Conversion", 4080, 7410, 3840, 405},
                     {f.ProgressBar1, nullptr, 120, 7920, 7800, 405}});
        EXPECT_EQ(f.ListView1->model()->headerData(0, Qt::Horizontal).toString(), "SQL Preview");
        EXPECT_EQ(f.ListView1->columnWidth(0), Twips(7000));
        EXPECT_EQ(f.ListView1->toolTip().toStdString(),
                  "Click item to edit it. Move | line to right and out of window to reveal full names.");
        EXPECT_FALSE(f.ListView1->rootIsDecorated());
        EXPECT_TRUE(f.ListView1->uniformRowHeights());
        EXPECT_EQ(f.ProgressBar1->text(), "");  // no design text: the bar is empty until Execute SQL
        f.PushButton3->click();  // Find and Replace
        f.PushButton7->click();  // View Datatype Conversion
        f.ListView1->setCurrentIndex(f.ListView1->model()->index(0, 0));
        emit f.ListView1->clicked(f.ListView1->model()->index(0, 0));  // Edit Line
        f.PushButton5->click();
    });
    script.push_back([&](QWidget* w) {
        auto& f = *dynamic_cast<Form3*>(w);
        EXPECT_EQ(f.windowTitle(), "Find and Replace - Dovenmark");
        EXPECT_EQ(f.size(), QSize(Twips(8040), Twips(1500)));
        CheckLayout({{f.Label2, "Find what:", 120, 165, 1215, 255},
                     {f.Text1, nullptr, 1560, 120, 6360, 345},
                     {f.Label6, "Replace with:", 120, 645, 1215, 255},
                     {f.Text2, nullptr, 1560, 600, 6360, 345},
                     {f.PushButton2, "Replace", 120, 1050, 3840, 405},
                     {f.PushButton1, "Cancel", 4080, 1050, 3840, 405}});
        f.PushButton1->click();
    });
    script.push_back([&](QWidget* w) {
        auto& f = *dynamic_cast<Form5*>(w);
        EXPECT_EQ(f.windowTitle(), "Datatypes Conversion - Dovenmark");
        CheckLayout({{f.PushButton5, "< Back", 120, 120, 7800, 405},
                     {f.ListView1, nullptr, 120, 630, 7800, 7605}});
        const char* headers[] = {"Paradox Table", "Paradox Table Field", "Paradox Field Datatype",
                                 "New MS SQL Server Datatype"};
        // Wide enough for the header and the values, and all four whole in the
        // view (the designed 1700 twips give way where they would not fit).
        const QFontMetrics headerFont(f.ListView1->header()->font());
        const QFontMetrics valueFont(f.ListView1->font());
        int total = 0;
        for (int c = 0; c < 4; ++c) {
            SCOPED_TRACE(headers[c]);
            EXPECT_EQ(f.ListView1->model()->headerData(c, Qt::Horizontal).toString().toStdString(), headers[c]);
            total += f.ListView1->columnWidth(c);
            EXPECT_GT(f.ListView1->columnWidth(c), headerFont.horizontalAdvance(headers[c]));
            EXPECT_GT(f.ListView1->columnWidth(c),
                      valueFont.horizontalAdvance(f.ListView1->model()->index(0, c).data().toString()));
        }
        // Where the designed widths would push a header out of view, no column
        // keeps room beyond what its header and values need.
        const bool overflows = total > f.ListView1->viewport()->width();
        for (int c = 0; c < 4; ++c) {
            const int width = f.ListView1->columnWidth(c);
            f.ListView1->resizeColumnToContents(c);
            const int needed = f.ListView1->columnWidth(c);
            EXPECT_EQ(width, overflows ? needed : std::max(needed, Twips(1700))) << headers[c];
        }
        f.PushButton5->click();
    });
    script.push_back([&](QWidget* w) {
        auto& f = *dynamic_cast<Form4*>(w);
        EXPECT_EQ(f.windowTitle(), "Edit Line - Dovenmark");
        CheckLayout({{f.Text1, nullptr, 120, 120, 7800, 1905},
                     {f.PushButton2, "OK", 120, 2130, 3840, 405},
                     {f.PushButton1, "Cancel", 4080, 2130, 3840, 405}});
        f.PushButton1->click();
    });
    windows.showPreview();
    EXPECT_TRUE(script.empty());
    EXPECT_TRUE(env.dialogs.messages.empty());
}

TEST_F(PreviewTest, ExecuteRunsEveryNonBlankLineThenClosesWithTheFlagsSet)
{
    fill({"CREATE TABLE [T]([A] TEXT);", "", "   ", "  INSERT INTO [T] VALUES('x')"});
    handOff.SQLFormCancel = true;
    script.push_back([&](QWidget* w) { AsForm2(w)->PushButton1->click(); });
    windows.showPreview();
    EXPECT_EQ(env.servers.state.executed,
              (std::vector<std::string>{"CREATE TABLE [T]([A] TEXT);", "  INSERT INTO [T] VALUES('x')"}));
    EXPECT_TRUE(handOff.SQLFormOK);
    EXPECT_FALSE(handOff.SQLFormCancel);
    EXPECT_TRUE(env.dialogs.messages.empty());
    EXPECT_EQ(handOff.preview.list().count(), 0);  // closing discarded the lines
}

TEST_F(PreviewTest, AnSqlErrorStopsAtItsLineAndTheWindowStaysOpen)
{
    std::vector<std::string> lines;
    for (int i = 1; i <= 9; ++i)
        lines.push_back("INSERT INTO [T] VALUES(" + std::to_string(i) + ")");
    fill(lines);
    env.servers.state.refuses = [](const std::string& s) { return s.find("(5)") != std::string::npos; };
    handOff.SQLFormCancel = true;
    script.push_back([&](QWidget* w) {
        Form2& f = *AsForm2(w);
        f.PushButton1->click();
        EXPECT_TRUE(f.isVisible());
        EXPECT_EQ(windows.ErrorLine, 5);
        EXPECT_EQ(f.ListView1->currentIndex().row(), 4);
        EXPECT_NE(f.errorText().find("SQLException"), std::string::npos);
        EXPECT_EQ(f.ProgressBar1->text(), "");
        EXPECT_EQ(f.ProgressBar1->percent(), 0);
        EXPECT_FALSE(ui::BusyPointerShown(&f));
        f.PushButton3->click();  // a Replace that leaves every line as it was

        // Fix the line in the Edit Line dialog, edit row 2, which ran, press OK on
        // row 1, which ran, without changing it, and execute again.
        env.servers.state.refuses = nullptr;
        for (int row : {5, 2, 1}) {
            f.ListView1->setCurrentIndex(f.ListView1->model()->index(row - 1, 0));
            emit f.ListView1->clicked(f.ListView1->model()->index(row - 1, 0));
        }
        std::vector<int> shownAsRun;
        for (int r = 1; r <= 9; ++r) {
            if (f.ListView1->model()->index(r - 1, 0).data(Qt::ForegroundRole).isValid())
                shownAsRun.push_back(r);
        }
        EXPECT_EQ(shownAsRun, (std::vector<int>{1, 3, 4}));
        f.PushButton1->click();
    });
    script.push_back([&](QWidget* w) {
        auto& f = *dynamic_cast<Form3*>(w);
        f.Text1->setText("insert into");
        f.Text2->setText("INSERT INTO");
        f.PushButton2->click();
    });
    for (const char* edited : {"INSERT INTO [T] VALUES(50)", "INSERT INTO [T] VALUES(20)"}) {
        script.push_back([&, edited](QWidget* w) {
            auto& f = *dynamic_cast<Form4*>(w);
            f.Text1->setPlainText(edited);
            f.PushButton2->click();
        });
    }
    script.push_back([&](QWidget* w) { dynamic_cast<Form4*>(w)->PushButton2->click(); });
    windows.showPreview();
    EXPECT_EQ(messages(), (std::vector<std::string>{"Error found.", "Done."}));
    // Rows 1 to 4 ran once; executing again ran only the edited rows and those not run.
    const auto& executed = env.servers.state.executed;
    ASSERT_EQ(executed.size(), 4u + 6u);
    EXPECT_EQ(executed[4], "INSERT INTO [T] VALUES(20)");
    EXPECT_EQ(executed[5], "INSERT INTO [T] VALUES(50)");
    EXPECT_TRUE(handOff.SQLFormOK);
    EXPECT_FALSE(handOff.SQLFormCancel);
}

TEST_F(PreviewTest, LinesTheServerLeftInDoubtAreMarkedAndRunAgainOnlyWhenEdited)
{
    fill({"INSERT INTO [T] VALUES(1)", "INSERT INTO [T] VALUES(2)"});
    // The commit fails and so does the rollback: what was sent may be stored.
    int commits = 0;
    int rollbacks = 0;
    env.servers.state.refusesCommit = [&] { return commits++ == 0; };
    env.servers.state.refusesRollback = [&] { return rollbacks++ == 0; };
    script.push_back([&](QWidget* w) {
        Form2& f = *AsForm2(w);
        f.PushButton1->click();
        const QModelIndex first = f.ListView1->model()->index(0, 0);
        EXPECT_TRUE(first.data(Qt::FontRole).value<QFont>().italic());
        EXPECT_FALSE(first.data(Qt::ForegroundRole).isValid());  // not shown as run
        // Edit Line's OK on row 2, its text unchanged: the user asks for it again.
        f.ListView1->setCurrentIndex(f.ListView1->model()->index(1, 0));
        emit f.ListView1->clicked(f.ListView1->model()->index(1, 0));
        f.PushButton1->click();
    });
    script.push_back([&](QWidget* w) { dynamic_cast<Form4*>(w)->PushButton2->click(); });
    windows.showPreview();
    // Both stored with the unanswered commit; row 2 once more, row 1 not again.
    EXPECT_EQ(env.servers.state.executed.size(), 3u);
    EXPECT_EQ(env.servers.state.executed.back(), "INSERT INTO [T] VALUES(2)");
    EXPECT_EQ(messages(), std::vector<std::string>{"Error found."});
}

TEST_F(PreviewTest, SkipAfterAnErrorBackAndTheCloseBoxLeaveTheirFlagsAndEscapeDoesNothing)
{
    fill({"BAD"});
    env.servers.state.refuses = [](const std::string&) { return true; };
    handOff.SQLFormCancel = true;
    handOff.SQLFormOK = false;
    script.push_back([&](QWidget* w) {
        AsForm2(w)->PushButton1->click();
        AsForm2(w)->PushButton9->click();
    });
    windows.showPreview();
    EXPECT_FALSE(handOff.SQLFormCancel);
    EXPECT_FALSE(handOff.SQLFormOK);

    fill({"SELECT 1"});
    handOff.SQLFormCancel = true;
    script.push_back([&](QWidget* w) {
        // A stray Escape must not end a per-table run as Back would.
        QTest::keyClick(w, Qt::Key_Escape);
        QTest::keyClick(AsForm2(w)->ListView1, Qt::Key_Escape);
        EXPECT_TRUE(w->isVisible());
        AsForm2(w)->close();  // the close box is Back
    });
    windows.showPreview();
    EXPECT_TRUE(handOff.SQLFormCancel);
    EXPECT_FALSE(handOff.SQLFormOK);
    EXPECT_EQ(windows.ErrorLine, 1);  // survives the closing
}

TEST_F(PreviewTest, EmptyListAndEmptyErrorBoxDoNothingButSay)
{
    env.clipboard.text = "what the user copied before";
    script.push_back([&](QWidget* w) {
        Form2& f = *AsForm2(w);
        f.PushButton1->click();
        EXPECT_TRUE(f.isVisible());
        f.PushButton6->click();  // no error line yet: nothing
        for (const char* box : {"", "   "}) {
            f.Text1->setPlainText(box);
            f.PushButton4->click();  // an empty or all-space error box: nothing
            f.PushButton8->click();
        }
        f.PushButton5->click();
    });
    windows.showPreview();
    EXPECT_EQ(messages(), std::vector<std::string>{"No SQL to run."});
    EXPECT_TRUE(env.desktop.opened.empty());
    EXPECT_EQ(env.clipboard.text, "what the user copied before");
}

TEST_F(PreviewTest, ReportStepsAre132ForInsertLinesAnd134ForOthers)
{
    struct Flaky : platform::ServerConnection {
        void setCursorLocation(int) override {}
        void setCommandTimeout(int) override {}
        void setConnectionTimeout(int) override {}
        void open(const platform::SecretText&) override {}
        bool isOpen() const override { return true; }
        void execute(const std::string&) override { throw std::runtime_error("network hiccup"); }
        std::vector<platform::SchemaTable> tables() override { return {}; }
        void close() override {}
    };
    handOff.mssql_conn = std::make_shared<Flaky>();
    fill({"insert into [T] values(1)", "CREATE TABLE [T]([A] TEXT);"});
    script.push_back([&](QWidget* w) { AsForm2(w)->PushButton1->click(); });
    windows.showPreview();
    const auto texts = messages();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_NE(texts[0].find("network hiccup\r\nin Quillon2021/08/31.Form2.PushButton1_Click at line 132"), std::string::npos);
    EXPECT_NE(texts[1].find("at line 134"), std::string::npos);
    EXPECT_TRUE(handOff.SQLFormOK);  // every row done: the window closed with success
}

TEST_F(PreviewTest, ClipboardMailAndJumpButtons)
{
    fill({"A", "B'1", "C  "});
    env.servers.state.refuses = [](const std::string& s) { return s == "C  "; };
    script.push_back([&](QWidget* w) {
        Form2& f = *AsForm2(w);
        f.PushButton2->click();
        EXPECT_EQ(env.clipboard.text, "A\r\nB'1\r\nC\r\n");
        f.PushButton1->click();  // fails on row 3
        f.ListView1->setCurrentIndex(f.ListView1->model()->index(0, 0));
        f.PushButton6->click();
        EXPECT_EQ(f.ListView1->currentIndex().row(), 2);
        f.Text1->setPlainText("SQLException: bad & worse #1 ?x");
        f.PushButton4->click();
        EXPECT_EQ(env.clipboard.text, "SQLException: bad & worse #1 ?x");
        f.PushButton8->click();
        f.PushButton5->click();
    });
    windows.showPreview();
    const auto texts = messages();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], "Results have been copied to the clipboard.\r\rClick a text area where you "
                        "normally type and press Ctrl+V to paste the clipboard.");
    EXPECT_EQ(texts[1], "Error found.");
    EXPECT_EQ(texts[2], "Error message have been copied to the clipboard.\r\rClick a text area where "
                        "you normally type and press Ctrl+V to paste the clipboard.");
    ASSERT_EQ(env.desktop.opened.size(), 1u);
    EXPECT_EQ(env.desktop.opened[0],
              "mailto:support@marrowby.example?subject=Dovenmark&body=Here%20is%20the%20error%20message"
              "%20that%20I%20get%3A%20%0ASQLException%3A%20bad%20%26%20worse%20%231%20%3Fx");
}

TEST_F(PreviewTest, JumpWithAnErrorLinePastTheEndDoesNothing)
{
    windows.ErrorLine = 7;
    fill({"A"});
    script.push_back([&](QWidget* w) {
        Form2& f = *AsForm2(w);
        f.PushButton6->click();
        EXPECT_FALSE(f.ListView1->currentIndex().isValid());
        f.PushButton5->click();
    });
    windows.showPreview();
    EXPECT_TRUE(env.dialogs.messages.empty());
}

TEST_F(PreviewTest, FindAndReplaceTheFirstOccurrenceInEveryLineIgnoringCase)
{
    fill({"INSERT INTO [dbo.dbo.T] VALUES('Ärger ärger')", "nothing here", "ÄRGER"});
    script.push_back([&](QWidget* w) {
        AsForm2(w)->PushButton3->click();
        auto& list = handOff.preview.list();
        EXPECT_EQ(list.text(1), "INSERT INTO [dbo.dbo.T] VALUES('Ärger-Ärger ärger')");
        EXPECT_EQ(list.text(2), "nothing here");
        EXPECT_EQ(list.text(3), "Ärger-Ärger");
        AsForm2(w)->PushButton5->click();
    });
    script.push_back([&](QWidget* w) {
        auto& f = *dynamic_cast<Form3*>(w);
        f.Text1->setText("ärger");
        f.Text2->setText("Ärger-Ärger");
        f.PushButton2->click();
    });
    windows.showPreview();
    EXPECT_EQ(messages(), std::vector<std::string>{"Done."});

    EXPECT_EQ(*Form3::ReplaceFirst("INSERT INTO [dbo.dbo.T]", "DBO.DBO", "x"), "INSERT INTO [x.T]");
    EXPECT_EQ(*Form3::ReplaceFirst("a A a", "a", "AA"), "AA A a");
    EXPECT_EQ(*Form3::ReplaceFirst("abc", "B", ""), "ac");
    EXPECT_FALSE(Form3::ReplaceFirst("abc", "x", "y"));
    EXPECT_EQ(*Form3::ReplaceFirst("Ärger ärger", "ärger", "Ärger-Ärger"), "Ärger-Ärger ärger");
}

TEST_F(PreviewTest, FindAndReplaceOnAnEmptyListOrWithoutASearchText)
{
    fill({"keep"});
    script.push_back([&](QWidget* w) {
        AsForm2(w)->PushButton3->click();
        AsForm2(w)->PushButton5->click();
    });
    script.push_back([&](QWidget* w) {
        auto& f = *dynamic_cast<Form3*>(w);
        f.PushButton2->click();  // no search text
        EXPECT_TRUE(f.isVisible());
        EXPECT_EQ(handOff.preview.list().text(1), "keep");
        // Empty the list behind the dialog's back to reach its empty-list message.
        handOff.preview.list().clear();
        f.Text1->setText("keep");
        f.PushButton2->click();
        EXPECT_TRUE(f.isVisible());
        f.PushButton1->click();
    });
    windows.showPreview();
    EXPECT_EQ(messages(), (std::vector<std::string>{Form3::kEmptySearch, "No SQL to run."}));
}

TEST_F(PreviewTest, DatatypeViewShowsTheRecordsAndIsEmptyAfterItCloses)
{
    auto& records = handOff.datatypes.list();
    records.append("ORDERS");
    records.setSubItem(1, "ID");
    records.setSubItem(2, "int");
    records.setSubItem(3, "INT");
    fill({"x"});
    script.push_back([&](QWidget* w) {
        AsForm2(w)->PushButton7->click();
        AsForm2(w)->PushButton7->click();
        AsForm2(w)->PushButton5->click();
    });
    script.push_back([&](QWidget* w) {
        auto& f = *dynamic_cast<Form5*>(w);
        ASSERT_EQ(f.ListView1->model()->rowCount(), 1);
        EXPECT_EQ(f.ListView1->model()->index(0, 3).data().toString(), "INT");
        f.PushButton5->click();
    });
    script.push_back([&](QWidget* w) {
        auto& f = *dynamic_cast<Form5*>(w);
        EXPECT_EQ(f.ListView1->model()->rowCount(), 0);
        EXPECT_EQ(f.ListView1->model()->columnCount(), 4);
        f.close();
    });
    windows.showPreview();
}

// A statement longer than the list is wide widens the column, and the list
// scrolls sideways to its end; so does a line edited longer.
TEST_F(PreviewTest, LongLinesScrollSideways)
{
    const std::string longLine = "INSERT INTO [T] VALUES('" + std::string(300, 'x') + "')";
    fill({"CREATE TABLE [T]([A] TEXT);", longLine});
    script.push_back([&](QWidget* w) {
        Form2& f = *AsForm2(w);
        const QFontMetrics font(f.ListView1->font());
        EXPECT_GT(f.ListView1->columnWidth(0), font.horizontalAdvance(QString::fromStdString(longLine)));
        EXPECT_GT(f.ListView1->horizontalScrollBar()->maximum(), 0);
        // The line selected for the user (a failing one) shows from its start.
        handOff.preview.list().select(2);
        EXPECT_EQ(f.ListView1->currentIndex().row(), 1);
        EXPECT_EQ(f.ListView1->horizontalScrollBar()->value(), 0);
        const std::string longer = longLine + std::string(200, 'y');
        handOff.preview.list().setText(1, longer);
        EXPECT_GT(f.ListView1->columnWidth(0), font.horizontalAdvance(QString::fromStdString(longer)));
        f.PushButton5->click();
    });
    windows.showPreview();
}

TEST_F(PreviewTest, AMillionLinesShowWithoutAWidgetPerLine)
{
    for (int i = 0; i < 1'000'000; ++i)
        handOff.preview.list().append("INSERT INTO [T] VALUES(" + std::to_string(i) + ")");
    script.push_back([&](QWidget* w) {
        Form2& f = *AsForm2(w);
        // The view reads the lines through a model over the list: no item and
        // no widget per line, the same few child widgets as over one line.
        ASSERT_NE(dynamic_cast<PreviewListModel*>(f.ListView1->model()), nullptr);
        EXPECT_EQ(f.ListView1->model()->rowCount(), 1'000'000);
        EXPECT_LT(f.ListView1->findChildren<QWidget*>().size(), 16);
        f.ListView1->scrollToBottom();
        const QModelIndex last = f.ListView1->model()->index(999'999, 0);
        const QRect shown = f.ListView1->visualRect(last);
        EXPECT_TRUE(f.ListView1->viewport()->rect().contains(shown.center()));
        EXPECT_EQ(f.ListView1->indexAt(shown.center()), last);
        EXPECT_EQ(last.data().toString(), "INSERT INTO [T] VALUES(999999)");
        f.PushButton5->click();
    });
    windows.showPreview();
}

TEST_F(PreviewTest, BackSkipOrTheCloseBoxWhileExecutingStopAfterTheCurrentLine)
{
    for (int way = 0; way < 3; ++way) {
        env.servers.state.executed.clear();
        fill({"L1", "L2", "L3", "L4", "L5", "L6", "L7", "L8", "L9", "L10", "L11", "L12"});
        handOff.SQLFormCancel = true;
        handOff.SQLFormOK = false;
        Form2* form = nullptr;
        env.servers.state.refuses = [&](const std::string& line) {
            // Each line costs a server's round trip.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            if (line == "L2") {
                EXPECT_EQ(form->ProgressBar1->text().toStdString(), "Please wait.. Processing row: 2 of 12");
                // The user's clicks arrive as events while L2 runs.
                QMetaObject::invokeMethod(form, [&] {
                        if (way == 0) form->PushButton5->click();
                        if (way == 1) form->PushButton9->click();
                        if (way == 2) form->close();
                        form->PushButton1->click();  // a second Execute while running does nothing
                    }, Qt::QueuedConnection);
            }
            return false;
        };
        script.push_back([&](QWidget* w) {
            form = AsForm2(w);
            form->PushButton1->click();
        });
        windows.showPreview();
        EXPECT_EQ(env.servers.state.executed, (std::vector<std::string>{"L1", "L2"})) << way;
        EXPECT_FALSE(handOff.SQLFormOK) << way;
        EXPECT_EQ(handOff.SQLFormCancel, way != 1) << way;
        EXPECT_EQ(handOff.preview.list().count(), 0) << way;
        EXPECT_FALSE(ui::BusyPointerShown(&owner));
    }
    EXPECT_TRUE(env.dialogs.messages.empty());
}

namespace {
std::vector<std::string>* gModelFailures = nullptr;

void CollectModelFailures(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (gModelFailures && type == QtWarningMsg && context.category
        && std::string(context.category) == "qt.modeltest")
        gModelFailures->push_back(text.toStdString());
}
}  // namespace

TEST(PreviewModels, FollowQtsModelContract)
{
    constexpr auto kReportFailures = QAbstractItemModelTester::FailureReportingMode::Warning;
    std::vector<std::string> failures;
    gModelFailures = &failures;
    const QtMessageHandler previous = qInstallMessageHandler(CollectModelFailures);
    {
        conversion::PreviewList lines;
        lines.append("a");
        PreviewListModel model(lines);
        QAbstractItemModelTester tester(&model, kReportFailures);
        QTreeView view;
        view.setModel(&model);
        lines.append("b");  // before the window shows: the view hears of it at the refresh
        EXPECT_EQ(model.rowCount(), 1);
        model.refresh();
        EXPECT_EQ(model.rowCount(), 2);
        model.setLive(true);
        lines.append("c");
        lines.append("d");
        EXPECT_EQ(model.rowCount(), 4);
        EXPECT_EQ(model.index(3, 0).data().toString(), "d");
        lines.setText(1, "A");
        lines.markSent(2);
        lines.settleSent(1, 4, conversion::LineState::Ran);
        lines.clear();
        EXPECT_EQ(model.rowCount(), 0);
        lines.append("e");
        EXPECT_EQ(model.rowCount(), 1);

        conversion::DatatypeList types;
        DatatypeListModel typeModel(types);
        QAbstractItemModelTester typeTester(&typeModel, kReportFailures);
        QTreeView typeView;
        typeView.setModel(&typeModel);
        for (const char* table : {"T1", "T2"}) {
            types.append(table);
            types.setSubItem(1, "F");
            types.setSubItem(3, "INT");
        }
        EXPECT_EQ(typeModel.rowCount(), 2);
        types.clear();
        EXPECT_EQ(typeModel.rowCount(), 0);
    }
    qInstallMessageHandler(previous);
    gModelFailures = nullptr;
    EXPECT_TRUE(failures.empty()) << failures.front();
}

TEST_F(PreviewTest, EditLineAndTheErrorBoxKeepTheirTextExactly)
{
    // Each line reads A, a piece, B, the piece again, C.
    std::string memo;
    while (memo.size() < 512 * 1024)
        memo += "x\xC2\xA0y\tz\r\nnext\rline\n";
    const std::vector<std::pair<const char*, std::string>> pieces = {
        {"CR LF", "\r\n"},
        {"lone CR", "\r"},
        {"LF", "\n"},
        {"TAB", "\t"},
        {"no-break space", "\xC2\xA0"},
        {"line separator", "\xE2\x80\xA8"},
        {"paragraph separator", "\xE2\x80\xA9"},
        {"a byte that is not UTF-8", "\xFF"},
        {"mixed breaks", "\r\n\n\r\r\n"},
        {"a 1 MB memo", memo},
    };
    const std::string failing = "X\r\nY\rZ\n\t\xC2\xA0\xE2\x80\xA8W\xFF";
    std::vector<std::string> lines = {failing};
    for (const auto& [name, piece] : pieces)
        lines.push_back("A" + piece + "B" + piece + "C");
    fill(lines);
    env.servers.state.refuses = [&](const std::string& s) { return s == failing; };

    // What Edit Line does to a row: nothing, or one key typed just after B.
    std::function<void(Form4&)> edit;
    script.push_back([&](QWidget* w) {
        Form2& f = *AsForm2(w);
        f.PushButton1->click();  // fails on row 1
        const std::string description = "SQLException: [SQLSTATE 42000] refused: " + failing;
        f.PushButton4->click();
        EXPECT_EQ(env.clipboard.text, description);
        f.PushButton8->click();
        ASSERT_EQ(env.desktop.opened.size(), 1u);
        EXPECT_NE(env.desktop.opened[0].find("refused%3A%20X%0D%0AY%0DZ%0A%09%C2%A0%E2%80%A8W%FF"),
                  std::string::npos);

        auto& list = handOff.preview.list();
        auto openEditLine = [&](int row) {
            const QModelIndex index = f.ListView1->model()->index(row - 1, 0);
            f.ListView1->setCurrentIndex(index);
            script.push_back([&](QWidget* e) { edit(*dynamic_cast<Form4*>(e)); });
            emit f.ListView1->clicked(index);
        };
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            SCOPED_TRACE(pieces[i].first);
            const int row = static_cast<int>(i) + 2;
            const std::string& piece = pieces[i].second;
            edit = [](Form4& e) { e.PushButton2->click(); };
            openEditLine(row);
            EXPECT_TRUE(list.text(row) == lines[i + 1]);  // unchanged: the very bytes loaded

            edit = [](Form4& e) {  // all deleted, then undone
                e.Text1->selectAll();
                QTest::keyClick(e.Text1, Qt::Key_Delete);
                QTest::keyClick(e.Text1, Qt::Key_Z, Qt::ControlModifier);
                e.PushButton2->click();
            };
            openEditLine(row);
            EXPECT_TRUE(list.text(row) == lines[i + 1]);

            edit = [](Form4& e) {
                QTextCursor caret = e.Text1->textCursor();
                caret.setPosition(static_cast<int>(e.Text1->toPlainText().indexOf('B')) + 1);
                e.Text1->setTextCursor(caret);
                QTest::keyClicks(e.Text1, "Z");
                e.PushButton2->click();
            };
            openEditLine(row);
            EXPECT_TRUE(list.text(row) == "A" + piece + "BZ" + piece + "C");
        }
        // A line break typed into a CR LF line is a CR LF.
        edit = [](Form4& e) {
            QTextCursor caret = e.Text1->textCursor();
            caret.movePosition(QTextCursor::End);
            e.Text1->setTextCursor(caret);
            QTest::keyClick(e.Text1, Qt::Key_Return);
            e.PushButton2->click();
        };
        openEditLine(2);
        EXPECT_EQ(list.text(2), "A\r\nBZ\r\nC\r\n");
        f.PushButton5->click();
    });
    windows.showPreview();
    EXPECT_TRUE(script.empty());
}

TEST_F(PreviewTest, EditLineSelectsTheWholeLineCaretAtItsStartAndAClickPlacesTheCaret)
{
    const QString line = "INSERT INTO [T] VALUES(5)";
    fill({line.toStdString()});
    script.push_back([&](QWidget* w) {
        Form2& f = *AsForm2(w);
        f.ListView1->setCurrentIndex(f.ListView1->model()->index(0, 0));
        emit f.ListView1->clicked(f.ListView1->model()->index(0, 0));
        f.PushButton5->click();
    });
    script.push_back([&](QWidget* w) {
        auto& f = *dynamic_cast<Form4*>(w);
        auto& text = *f.Text1;
        auto expectWholeLineCaretAtStart = [&](const char* when) {
            SCOPED_TRACE(when);
            EXPECT_EQ(text.textCursor().selectionStart(), 0);
            EXPECT_EQ(text.textCursor().selectionEnd(), line.size());
            EXPECT_EQ(text.textCursor().position(), 0);
        };
        expectWholeLineCaretAtStart("opened");
        f.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
        ASSERT_TRUE(text.hasFocus());

        // Tabbing from a button back to the text selects it all again.
        f.PushButton1->setFocus(Qt::TabFocusReason);
        QTest::keyClick(f.PushButton1, Qt::Key_Tab);
        ASSERT_TRUE(text.hasFocus());
        expectWholeLineCaretAtStart("tabbed into");

        // A click from a button into the text puts the caret where it lands.
        f.PushButton2->setFocus(Qt::TabFocusReason);
        QTextCursor at = text.textCursor();
        at.setPosition(6);
        const QPoint where = text.cursorRect(at).center();
        QTest::mouseClick(text.viewport(), Qt::LeftButton, {}, where);
        QCoreApplication::processEvents();
        EXPECT_FALSE(text.textCursor().hasSelection());
        QTest::keyClicks(&text, "Z");
        EXPECT_EQ(text.toPlainText().size(), line.size() + 1);
        EXPECT_EQ(QString(text.toPlainText()).remove('Z'), line);

        // The focus back from the text's context menu or with the window keeps the caret.
        for (const Qt::FocusReason back : {Qt::PopupFocusReason, Qt::ActiveWindowFocusReason}) {
            QFocusEvent focus(QEvent::FocusIn, back);
            QCoreApplication::sendEvent(&text, &focus);
            EXPECT_FALSE(text.textCursor().hasSelection()) << back;
        }
        f.PushButton1->click();
    });
    windows.showPreview();
}

TEST_F(PreviewTest, ReplaceRunsOncePerClickAndCancelOrTheCloseBoxStopItAfterTheCurrentLine)
{
    // During the pass (at the yield before line 2): 0 a second Replace,
    // 1 Cancel, 2 the close box, 3 Escape; each followed by one more Replace.
    for (int way = 0; way < 4; ++way) {
        env.dialogs.messages.clear();
        fill({"x x", "x x", "x x", "x x"});
        Form3* dialog = nullptr;
        int yields = 0;
        events.onYield = [&] {
            if (++yields != 2)
                return;
            if (way == 1) dialog->PushButton1->click();
            if (way == 2) dialog->close();
            if (way == 3) QTest::keyClick(dialog->Text1, Qt::Key_Escape);
            dialog->PushButton2->click();
        };
        std::vector<std::string> lines;
        script.push_back([&](QWidget* w) {
            AsForm2(w)->PushButton3->click();
            for (int r = 1; r <= 4; ++r)
                lines.emplace_back(handOff.preview.list().text(r));
            AsForm2(w)->PushButton5->click();
        });
        script.push_back([&](QWidget* w) {
            dialog = dynamic_cast<Form3*>(w);
            dialog->Text1->setText("x");
            dialog->Text2->setText("y");
            dialog->PushButton2->click();
            EXPECT_FALSE(dialog->isVisible()) << way;
            EXPECT_FALSE(ui::BusyPointerShown(dialog)) << way;
        });
        windows.showPreview();
        events.onYield = nullptr;
        if (way == 0) {
            EXPECT_EQ(lines, std::vector<std::string>(4, "y x"));
            EXPECT_EQ(messages(), std::vector<std::string>{"Done."});
        } else {
            EXPECT_EQ(lines, (std::vector<std::string>{"y x", "x x", "x x", "x x"})) << way;
            EXPECT_TRUE(messages().empty()) << way;
        }
    }
}

TEST_F(PreviewTest, AFailureInAHandlerIsReportedAndTheWindowGoesOn)
{
    dialogs.failOn = {"Error found.", Form3::kEmptySearch};
    fill({"BAD"});
    env.servers.state.refuses = [](const std::string&) { return true; };
    script.push_back([&](QWidget* w) {
        Form2& f = *AsForm2(w);
        f.PushButton1->click();
        EXPECT_TRUE(f.isVisible());
        EXPECT_EQ(windows.ErrorLine, 1);
        f.PushButton3->click();
        f.PushButton5->click();
    });
    script.push_back([&](QWidget* w) {
        auto& f = *dynamic_cast<Form3*>(w);
        f.PushButton2->click();  // no search text
        EXPECT_TRUE(f.isVisible());
        f.PushButton1->click();
    });
    windows.showPreview();
    const auto texts = messages();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].rfind("the message box failed: Error found.\r\n"
                             "in Quillon2021/08/31.Form2.PushButton1_Click at line 168\r\r", 0), 0u);
    EXPECT_NE(texts[1].find("in Quillon2021/08/31.Form3.PushButton2_Click at line 132\r\r"),
              std::string::npos);
    EXPECT_TRUE(script.empty());
}
