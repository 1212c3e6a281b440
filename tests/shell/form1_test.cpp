// Form1 offscreen: its layout, the load sequence over a real settings file,
// the handlers that keep the store in step, the pointer rule and the help text.
#include "shell/form1.h"
#include "shell/options_dialog.h"

#include "conversion/statement_batch.h"
#include "platform/qt/qt_dialogs.h"
#include "preview/form2.h"
#include "preview/preview_windows.h"
#include "ui/appearance.h"
#include "tests/support/cursor_file.h"
#include "tests/support/fake_services.h"
#include "tests/support/memory_settings.h"
#include "tests/support/run_program.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QComboBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <tuple>

using shell::Form1;
using ui::Twips;

namespace {

struct Form1Test : ::testing::Test {
    testsupport::FakeServicesHolder env;
    std::unique_ptr<Form1> form;

    Form1& load()
    {
        form = std::make_unique<Form1>(env.services, conversion::RegionalSettings{});
        form->Form_Load();
        return *form;
    }
    std::string fileOf(const char* name) { return env.services.paths.folder + "/" + name; }
};

// A settings store that refuses to write when told (a settings file left to
// root, a read-only or full home folder).
struct RefusingSettings : testsupport::MemorySettings {
    bool refuse = false;
    void write(const std::string& a, const std::string& s, const std::string& k, const std::string& v) override
    {
        if (refuse)
            throw std::runtime_error("Cannot write the settings file /home/u/.config/Marrowby.conf");
        MemorySettings::write(a, s, k, v);
    }
};

// Scripted dialogs that let a test look around while a message waits for its answer.
struct WatchedDialogs : testsupport::ScriptedDialogs {
    std::function<void(const platform::Message&)> onShow;
    platform::Answer show(const platform::Message& message) override
    {
        if (onShow)
            onShow(message);
        return ScriptedDialogs::show(message);
    }
};

}  // namespace

TEST_F(Form1Test, EveryControlAtItsPlaceWithItsCaption)
{
    Form1& f = load();
    EXPECT_EQ(f.size(), QSize(Twips(8040), Twips(7650)));
    EXPECT_EQ(f.windowTitle(), "Dovenmark");
    EXPECT_FALSE(f.windowIcon().isNull());

    struct Row { QWidget* control; QWidget* container; const char* caption; int l, t, w, h; };
    const Row rows[] = {
        {f.PushButton5, &f, "Help", 120, 120, 7800, 405},
        {f.Frame1, &f, "Paradox Database", 120, 630, 7800, 1425},
        {f.Label1, f.Frame1, "Paradox Folder:", 240, 405, 1455, 255},
        {f.Text1, f.Frame1, "", 1680, 360, 5055, 345},
        {f.PushButton1, f.Frame1, "...", 6840, 360, 720, 345},
        {f.PushButton2, f.Frame1, "Load Sample/Example Database", 240, 840, 3600, 405},
        {f.PushButton3, f.Frame1, "Test Connection", 3945, 840, 3600, 405},
        {f.Frame3, &f, "MS SQL Server Login", 120, 2160, 7800, 3135},
        {f.Label2, f.Frame3, "Server:", 240, 405, 975, 255},
        {f.Text5, f.Frame3, "", 1320, 360, 4575, 330},
        {f.Label10, f.Frame3, "Port:", 6120, 405, 495, 255},
        {f.Text6, f.Frame3, "1433", 6600, 360, 960, 330},
        {f.Label4, f.Frame3, "Username:", 240, 885, 1095, 255},
        {f.Text3, f.Frame3, "", 1320, 840, 6255, 330},
        {f.Label5, f.Frame3, "Password:", 240, 1365, 1095, 255},
        {f.Text4, f.Frame3, "", 1320, 1320, 6255, 330},
        {f.Label3, f.Frame3, "Database:", 240, 1800, 1095, 255},
        {f.Text8, f.Frame3, "", 1320, 1800, 6255, 330},
        {f.Check4, f.Frame3, "Local Connection", 1305, 2175, 1950, 330},
        {f.PushButton6, f.Frame3, "Test Connection", 240, 2565, 3600, 405},
        {f.PushButton4, f.Frame3, "Help", 3960, 2565, 3600, 405},
        {f.Frame2, &f, "SQL Preview", 120, 5400, 7800, 1065},
        {f.Check1, f.Frame2, "Enable SQL Preview mode to see SQL commands or check for errors", 240, 300, 6735, 255},
        {f.Option1, f.Frame2, "Show SQL Preview For Each File", 240, 630, 3135, 255},
        {f.Option2, f.Frame2, "Show SQL Preview For Each Table", 3600, 630, 3375, 255},
        {f.PushButton8, f.Frame2, "...", 7020, 300, 660, 585},
        {f.PushButton7, &f, "Start Converting", 120, 6585, 7800, 405},
        {f.ProgressBar1, &f, "", 120, 7110, 7800, 405},
        {f.List1Box, &f, "", 240, 8820, 3330, 1635},
        {f.List2Box, &f, "", 3840, 8820, 3330, 1635},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.control->objectName().toStdString());
        EXPECT_EQ(r.control->parentWidget(), r.container);
        EXPECT_EQ(r.control->geometry(), QRect(Twips(r.l), Twips(r.t), Twips(r.w), Twips(r.h)));
        QString caption;
        if (auto* b = qobject_cast<QAbstractButton*>(r.control)) caption = b->text();
        if (auto* g = qobject_cast<QGroupBox*>(r.control)) caption = g->title();
        if (auto* l = qobject_cast<QLabel*>(r.control)) caption = l->text();
        if (auto* e = qobject_cast<QLineEdit*>(r.control)) caption = e->text();
        EXPECT_EQ(caption.toStdString(), r.caption);
        // A caption keeps a margin of at least one average character on each side.
        if (auto* b = qobject_cast<QPushButton*>(r.control)) {
            const QFontMetrics font(b->font());
            EXPECT_LE(font.horizontalAdvance(b->text()) + 2 * font.averageCharWidth(), b->width());
        }
    }
    EXPECT_EQ(f.Text4->echoMode(), QLineEdit::Password);
    // The work lists lie below the client area.
    EXPECT_GE(f.List1Box->geometry().top(), f.height());
    EXPECT_EQ(f.font().family(), "Arial");
    EXPECT_TRUE(f.font().bold());
    EXPECT_DOUBLE_EQ(f.font().pointSizeF(), 9.0);
    EXPECT_DOUBLE_EQ(f.PushButton7->font().pointSizeF(), 11.25);
}

TEST_F(Form1Test, FirstRunStateFromAnEmptyStore)
{
    Form1& f = load();
    EXPECT_TRUE(f.Check1->isChecked());
    EXPECT_TRUE(f.Option1->isEnabled());
    EXPECT_TRUE(f.Option2->isEnabled());
    EXPECT_TRUE(f.Option1->isChecked());
    EXPECT_FALSE(f.Option2->isChecked());
    EXPECT_EQ(f.Text6->text(), "1433");
    for (QLineEdit* box : {f.Text1, f.Text3, f.Text4, f.Text5, f.Text8})
        EXPECT_TRUE(box->text().isEmpty());
    EXPECT_FALSE(f.Check4->isChecked());
    EXPECT_TRUE(env.dialogs.messages.empty());

    EXPECT_EQ(env.stored("Check1"), "1");
    EXPECT_EQ(env.stored("MSSQL Port"), "1433");
    EXPECT_EQ(env.stored("ParadoxFolder"), "<absent>");  // defaults are never written at read time
    EXPECT_EQ(env.stored("LastFolderDot"), "<absent>");
    const auto file = env.settings.fileOf("Marrowby").toStdString();
    using std::filesystem::perms;
    EXPECT_EQ(std::filesystem::status(file).permissions() & perms::all,
              perms::owner_read | perms::owner_write);
}

TEST_F(Form1Test, RestoresTheLastChoicesAndWritesThemBackUnchanged)
{
    env.store("ParadoxFolder", "/data/My Tables");
    env.store("MSSQL Server", "SRV1");
    env.store("MSSQL User", "sa");
    env.store("MSSQL Password", "p;w{d}");
    env.store("MSSQL Database", "Sales");
    env.store("MSSQL Port", "");
    env.store("Local Connection", "yes");
    env.store("Check1", "0");
    env.store("Option1", "False");
    env.store("Option2", "TRUE");

    Form1& f = load();
    EXPECT_EQ(f.Text1->text(), "/data/My Tables");
    EXPECT_EQ(f.Text5->text(), "SRV1");
    EXPECT_EQ(f.Text3->text(), "sa");
    EXPECT_EQ(f.Text4->text(), "p;w{d}");
    EXPECT_EQ(f.Text8->text(), "Sales");
    EXPECT_EQ(f.Text6->text(), "");  // an empty stored port counts as present
    EXPECT_TRUE(f.Check4->isChecked());  // anything but "0" ticks it
    EXPECT_FALSE(f.Check1->isChecked());
    EXPECT_FALSE(f.Option1->isEnabled());
    EXPECT_FALSE(f.Option2->isEnabled());
    EXPECT_FALSE(f.Option1->isChecked());
    EXPECT_TRUE(f.Option2->isChecked());
    EXPECT_TRUE(env.dialogs.messages.empty());
    EXPECT_EQ(env.stored("Option1"), "False");
    EXPECT_EQ(env.stored("Option2"), "True");
    EXPECT_EQ(env.stored("Local Connection"), "1");
    EXPECT_EQ(env.stored("Check1"), "0");
}

TEST_F(Form1Test, AStoredValueThatCannotBeConvertedIsReportedAndLoadingGoesOn)
{
    env.store("Option1", "maybe");
    env.store("Check1", "lots");
    env.store("ParadoxFolder", "/data");
    Form1& f = load();
    ASSERT_EQ(env.dialogs.messages.size(), 2u);
    EXPECT_EQ(env.dialogs.messages[0].text.rfind("Type mismatch\r\nin Quillon2021/08/31.Form1.Form_Load at line 128\r\r", 0), 0u);
    EXPECT_EQ(env.dialogs.messages[1].text.rfind("Type mismatch\r\nin Quillon2021/08/31.Form1.Form_Load at line 130\r\r", 0), 0u);
    EXPECT_TRUE(f.Option1->isChecked());  // as designed
    EXPECT_EQ(f.Text1->text(), "/data");
    // Check1 kept its designed value; step 148 still sets the options' enabled state.
    EXPECT_FALSE(f.Check1->isChecked());
    EXPECT_FALSE(f.Option1->isEnabled());
}

TEST_F(Form1Test, Check1EnablesTheOptionsAndEveryChangeIsStoredAtOnce)
{
    Form1& f = load();
    f.Option2->click();
    EXPECT_EQ(env.stored("Option1"), "False");
    EXPECT_EQ(env.stored("Option2"), "True");

    f.Check1->click();
    EXPECT_FALSE(f.Option1->isEnabled());
    EXPECT_FALSE(f.Option2->isEnabled());
    EXPECT_TRUE(f.Option2->isChecked());
    EXPECT_EQ(env.stored("Check1"), "0");
    f.Check1->click();
    EXPECT_TRUE(f.Option2->isEnabled());
    EXPECT_TRUE(f.Option2->isChecked());
    EXPECT_EQ(env.stored("Check1"), "1");

    f.Check4->click();
    EXPECT_EQ(env.stored("Local Connection"), "1");
    f.Check4->click();
    EXPECT_EQ(env.stored("Local Connection"), "0");

    f.show();
    f.Text4->setFocus();
    QTest::keyClicks(f.Text4, "se");
    EXPECT_EQ(env.stored("MSSQL Password"), "se");
    QTest::keyClick(f.Text4, Qt::Key_Backspace);
    EXPECT_EQ(env.stored("MSSQL Password"), "s");
    f.Text4->clear();
    EXPECT_EQ(env.stored("MSSQL Password"), "");
    f.setText(f.Text1, "/srv/paradox");
    EXPECT_EQ(env.stored("ParadoxFolder"), "/srv/paradox");
}

TEST_F(Form1Test, ClickingIntoServerSelectsAllButUserNameDoesNot)
{
    env.store("MSSQL Server", "SRV1");
    env.store("MSSQL User", "sa");
    Form1& f = load();
    f.show();
    QApplication::setActiveWindow(&f);
    QTest::mouseClick(f.Text5, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::qWait(20);
    EXPECT_EQ(f.Text5->selectedText(), "SRV1");
    QTest::mouseClick(f.Text3, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::qWait(20);
    EXPECT_EQ(f.Text3->selectedText(), "");
}

TEST_F(Form1Test, HandOverButtonsButNeverInsteadOfTheBusyPointer)
{
    ASSERT_TRUE(testsupport::WriteCursorFile(fileOf("HAND-M.CUR")));
    Form1& f = load();
    ASSERT_TRUE(f.handCursor().has_value());
    EXPECT_EQ(f.PushButton7->cursor().shape(), Qt::BitmapCursor);
    EXPECT_NE(f.Text1->cursor().shape(), Qt::BitmapCursor);
    const Qt::CursorShape beam = f.Text1->cursor().shape();

    f.show();
    f.setBusy(true);
    const QWidget* everywhere[] = {&f, f.PushButton7, f.PushButton2, f.Text1, f.Text4, f.Frame1, f.Check1};
    for (const QWidget* w : everywhere)
        EXPECT_EQ(w->cursor().shape(), Qt::WaitCursor) << w->objectName().toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the other windows keep their pointers

    // The login test, clicked while the run is busy, restores what it found.
    f.PushButton6->click();
    EXPECT_TRUE(ui::BusyPointerShown(&f));
    EXPECT_EQ(f.PushButton6->cursor().shape(), Qt::WaitCursor);

    f.setBusy(false);
    EXPECT_FALSE(ui::BusyPointerShown(&f));
    EXPECT_EQ(f.PushButton7->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(f.Text1->cursor().shape(), beam);
    EXPECT_EQ(f.cursor().shape(), Qt::ArrowCursor);
    f.setBusy(false);  // one too many changes nothing
    EXPECT_EQ(f.PushButton7->cursor().shape(), Qt::BitmapCursor);
}

TEST_F(Form1Test, StandardPointersWithoutTheCursorFileAndABrokenFileIsReported)
{
    Form1& f = load();
    EXPECT_FALSE(f.handCursor().has_value());
    EXPECT_NE(f.PushButton7->cursor().shape(), Qt::BitmapCursor);

    std::ofstream(fileOf("HAND-M.CUR")) << "not a picture";
    Form1 broken(env.services, {});
    broken.Form_Load();
    ASSERT_EQ(env.dialogs.messages.size(), 1u);
    EXPECT_NE(env.dialogs.messages[0].text.find("at line 106\r\r"), std::string::npos);
}

TEST_F(Form1Test, SkinFileGivesButtonFaceColoursOtherwiseTheDesignedWhite)
{
    Form1& plain = load();
    EXPECT_EQ(plain.Frame1->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(plain.Label2->palette().color(QPalette::Window), QColor(Qt::white));

    std::filesystem::create_directories(env.services.paths.folder + "/x");
    std::ofstream(fileOf("x/o.cjs")) << "skin";
    Form1 skinned(env.services, {});
    skinned.Form_Load();
    const QColor face = QApplication::palette().color(QPalette::Button);
    for (QWidget* w : {static_cast<QWidget*>(skinned.Frame1), static_cast<QWidget*>(skinned.Label2),
                       static_cast<QWidget*>(skinned.Check4), static_cast<QWidget*>(skinned.Option1),
                       static_cast<QWidget*>(&skinned)})
        EXPECT_EQ(w->palette().color(QPalette::Window), face) << w->objectName().toStdString();
    EXPECT_TRUE(env.dialogs.messages.empty());
}

TEST_F(Form1Test, OneStartInAHundredOpensTheHomePage)
{
    env.draw = 0.06;  // scales to 7
    load();
    ASSERT_EQ(env.desktop.opened.size(), 1u);
    EXPECT_EQ(env.desktop.opened[0], Form1::kHomePage);
    for (double draw : {0.0, 0.05, 0.07, 0.5, 0.999}) {
        env.desktop.opened.clear();
        env.draw = draw;
        load();
        EXPECT_TRUE(env.desktop.opened.empty()) << draw;
    }
    env.store("Open Web Page", "False");  // the setting that turns it off
    env.draw = 0.06;
    load();
    EXPECT_TRUE(env.desktop.opened.empty());
}

TEST_F(Form1Test, HelpTextExactly)
{
    Form1& f = load();
    f.PushButton5->click();
    ASSERT_EQ(env.dialogs.messages.size(), 1u);
    const auto& m = env.dialogs.messages[0];
    EXPECT_EQ(m.text,
              "This software transfers text-based and numeric fields but does not handle binary / "
              "pictures fields.\r\n\r\nUse SQL Preview if your tables contains less than 32767 rows."
              "\r\n\r\nQuestions? Please contact Team Marrowby at https://www.marrowby.example/contact");
    EXPECT_EQ(m.title, "Dovenmark");
    EXPECT_EQ(m.buttons, platform::Buttons::Ok);
    EXPECT_EQ(m.icon, platform::Icon::None);

    // With "Transfer Binary" on, or "Column Types" SQL Server, read at the click,
    // the first paragraph says so; a stored text that names no choice leaves the
    // text as it is.
    const char* const typed =
        " Columns get SQL Server's own types and keyed tables their primary keys (Column Types is SQL Server).";
    for (const auto& [binary, types, first] :
         {std::tuple{"True", "", std::string("This software transfers text-based and numeric fields, and binary / "
                                             "pictures fields as their bytes (Transfer Binary is on).\r\n")},
          std::tuple{"maybe", "odd", std::string("This software transfers text-based and numeric fields but does not "
                                                 "handle binary / pictures fields.\r\n")},
          std::tuple{"False", "SQL Server", std::string("This software transfers text-based and numeric fields but does "
                                                        "not handle binary / pictures fields.") + typed + "\r\n"},
          std::tuple{"True", "sql server", std::string("This software transfers text-based and numeric fields, and "
                                                       "binary / pictures fields as their bytes (Transfer Binary is "
                                                       "on).") + typed + "\r\n"}}) {
        const std::string stored = std::string(binary) + "/" + types;
        env.store("Transfer Binary", binary);
        env.store("Column Types", types);
        env.dialogs.messages.clear();
        f.PushButton5->click();
        ASSERT_EQ(env.dialogs.messages.size(), 1u);
        EXPECT_EQ(env.dialogs.messages[0].text.substr(0, first.size()), first) << stored;
        EXPECT_NE(env.dialogs.messages[0].text.find("\r\n\r\nUse SQL Preview"), std::string::npos);
    }
}

// Closing ends the process without unwinding: what a run or Execute SQL has
// sent is committed first.
TEST_F(Form1Test, ProgressBarShowsValueAndTextAndClosingEndsTheProgram)
{
    Form1& f = load();
    testsupport::FakeServerConnection connection(env.servers.state);
    connection.open("x");
    conversion::TransactionLimits limits;
    limits.time = std::chrono::hours(1);
    conversion::StatementBatch batch(&connection, nullptr, nullptr, nullptr, limits, &f.handOff.openBatches);
    batch.execute("INSERT INTO t VALUES(1)", 1);
    batch.execute("INSERT INTO t VALUES(2)", 2);
    f.setProgressValue(40);
    f.setProgressText("Please wait.. Processing table 100% ORDERS");
    EXPECT_DOUBLE_EQ(f.progressValue(), 40.0);
    EXPECT_EQ(f.progressText(), "Please wait.. Processing table 100% ORDERS");
    f.setProgressValue(2.0 / 5.0 * 100);
    EXPECT_NEAR(f.progressValue(), 40.0, 0.01);
    f.setProgressText("");  // a table done: the bar is empty again, not full under the closing message
    EXPECT_EQ(f.progressValue(), 0.0);

    f.show();
    EXPECT_TRUE(env.servers.state.executed.empty());
    f.close();
    EXPECT_EQ(env.endProgramCalls, 1);
    EXPECT_EQ(env.servers.state.executed.size(), 2u);
    EXPECT_EQ(env.servers.state.transactionLog, (std::vector<std::string>{"off", "commit 2", "on"}));
}

TEST_F(Form1Test, AFailingHandlerIsReportedUnderItsOwnNameAndTheProgramGoesOn)
{
    RefusingSettings settings;
    core::Services services{env.dialogs, settings, env.clipboard, env.desktop, env.events, env.servers,
                            env.sources, env.services.paths, env.services.randomDraw,
                            [] { throw std::runtime_error("Cannot end the program"); }};
    Form1 f(services, {});
    f.Form_Load();
    f.show();
    ASSERT_TRUE(env.dialogs.messages.empty());
    settings.refuse = true;

    auto type = [](QLineEdit* box) {
        return [box] {
            box->setFocus();
            QTest::keyClicks(box, "x");
        };
    };
    const std::string refused = "Cannot write the settings file /home/u/.config/Marrowby.conf";
    struct Case { std::function<void()> action; std::string description; std::vector<const char*> reports; };
    const Case cases[] = {
        {type(f.Text1), refused, {"Text1_Change at line 100"}},
        {type(f.Text3), refused, {"Text3_Change at line 100"}},
        {type(f.Text4), refused, {"Text4_Change at line 100"}},
        {type(f.Text5), refused, {"Text5_Change at line 100"}},
        {type(f.Text6), refused, {"Text6_Change at line 100"}},
        {type(f.Text8), refused, {"Text8_Change at line 100"}},
        {[&] { f.Option2->click(); }, refused, {"Option2_Click at line 100", "Option2_Click at line 102"}},
        {[&] { f.Option1->click(); }, refused, {"Option1_Click at line 100", "Option1_Click at line 102"}},
        {[&] { f.Check1->click(); }, refused, {"Check1_Click at line 102"}},
        {[&] { f.Check4->click(); }, refused, {"Check4_Click at line 100"}},
        {[&] { f.close(); }, "Cannot end the program", {"Form_Unload at line 102"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reports[0]);
        env.dialogs.messages.clear();
        c.action();
        ASSERT_EQ(env.dialogs.messages.size(), c.reports.size());
        for (std::size_t i = 0; i < c.reports.size(); ++i) {
            const platform::Message& m = env.dialogs.messages[i];
            EXPECT_EQ(m.title, "Application Error");
            EXPECT_EQ(m.text.rfind(c.description + "\r\nin Quillon2021/08/31.Form1." + c.reports[i] + "\r\r", 0),
                      0u)
                << m.text;
        }
    }
    // What each handler did before its write failed stands.
    EXPECT_EQ(f.Text4->text(), "x");
    EXPECT_FALSE(f.Option1->isEnabled());
    EXPECT_TRUE(f.Check4->isChecked());
}

TEST_F(Form1Test, TheRunsBusyPointerIsTheMainWindowsAndOutlivesExecuteSql)
{
    // Two tables, one already on the server, each previewed and executed in turn.
    const auto folder = env.root / "tables";
    std::filesystem::create_directories(folder);
    for (const char* name : {"A", "B"}) {
        std::ofstream(folder / (std::string(name) + ".db")) << "";
        env.sources.tables[name] = {{{"ID", 3}}, {{paradox::Value::ofInteger(1)}}};
    }
    env.servers.state.tables = {{"TABLE", "B"}};
    env.servers.state.rows = {{"B", 1}};

    WatchedDialogs dialogs;
    core::Services services{dialogs, env.settings, env.clipboard, env.desktop, env.events, env.servers,
                            env.sources, env.services.paths, env.services.randomDraw, [] {}};
    Form1 f(services, {});
    f.Form_Load();
    f.setText(f.Text1, folder.string());
    f.setText(f.Text5, "SRV1");
    f.Option2->click();  // a preview for each table
    preview::PreviewWindows windows(services, f.handOff, &f);
    f.setPreviewWindow([&] { windows.showPreview(); });
    f.show();

    std::vector<std::string> seen;
    dialogs.onShow = [&](const platform::Message& m) {
        if (m.buttons == platform::Buttons::Ok)
            return;
        // The overwrite question waits for its answer without an hourglass.
        seen.push_back("question");
        EXPECT_TRUE(ui::BusyPointerShown(&f));
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    };
    windows.onModalShown = [&](QWidget* w) {
        auto* preview = dynamic_cast<preview::Form2*>(w);
        ASSERT_NE(preview, nullptr);
        seen.push_back("preview");
        EXPECT_TRUE(ui::BusyPointerShown(&f));
        EXPECT_EQ(f.PushButton7->cursor().shape(), Qt::WaitCursor);
        EXPECT_FALSE(ui::BusyPointerShown(preview));
        EXPECT_NE(preview->cursor().shape(), Qt::WaitCursor);
        EXPECT_NE(preview->PushButton1->cursor().shape(), Qt::WaitCursor);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        preview->PushButton1->click();  // Execute SQL: busy over the preview, then closes it
    };
    f.PushButton7->click();

    // In either order of the tables, one of the two comes after an Execute SQL.
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"preview", "preview", "question"}));
    EXPECT_EQ(env.servers.state.executed.size(), 5u);  // drop, then a create and an insert each
    EXPECT_FALSE(ui::BusyPointerShown(&f));
    EXPECT_EQ(dialogs.messages.back().text, "Done.");
}

TEST_F(Form1Test, StartConvertingThatCannotStartSaysWhyAndStartsNothing)
{
    const auto root = env.root.str();
    std::filesystem::create_directories(env.root / "empty");
    std::filesystem::create_directories(env.root / "other");
    std::ofstream(env.root / "other" / "notes.txt") << "no table";
    std::filesystem::create_directories(env.root / "tables");
    std::ofstream(env.root / "tables" / "T.db") << "";
    env.sources.tables["T"] = {{{"ID", 3}}, {{paradox::Value::ofInteger(1)}}};
    Form1& f = load();
    struct Case {
        std::string folder;
        bool refuseLogin;
        std::string why;
        std::string server = "SRV1";
        std::string openError = "";  // the driver's text when the connection does not open
        std::string database = "";
    };
    const Case cases[] = {
        {"", false, "The field \"Paradox Folder:\" is empty."},
        {root + "/gone", false, "The folder " + root + "/gone does not exist."},
        {root + "/other/notes.txt", false, root + "/other/notes.txt is a file, not a folder."},
        {root + "/empty", false, "The folder " + root + "/empty is empty."},
        {root + "/other", false, "The folder " + root + "/other and its subfolders hold no Paradox tables (*.db)."},
        {root + "/tables", true, "Could not connect to the server SRV1,1433: SQLException: [SQLSTATE 28000] Login "
                                 "failed for user 'sa'."},
        {root + "/tables", false, "The SQLite file " + root + "/gone/demo.sqlite cannot be made: the folder " + root
                                      + "/gone does not exist.",
         "demo", "[SQLSTATE HY000] [SQLite]connect failed", root + "/gone/demo.sqlite"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        env.dialogs.messages.clear();
        env.servers.state.refuseLogin = c.refuseLogin;
        env.servers.state.openError = c.openError;
        f.setText(f.Text5, c.server);
        f.setText(f.Text8, c.database);
        f.setText(f.Text1, c.folder);
        f.PushButton7->click();
        ASSERT_EQ(env.dialogs.messages.size(), 1u);
        EXPECT_EQ(env.dialogs.messages[0].text, "Could not start converting.\r\n" + c.why);
        EXPECT_EQ(env.dialogs.messages[0].title, "Dovenmark");
        EXPECT_FALSE(ui::BusyPointerShown(&f));
        EXPECT_FALSE(f.Converting);
        EXPECT_EQ(f.List2Box->count(), 0);
    }
    EXPECT_TRUE(env.servers.state.executed.empty());
}

TEST_F(Form1Test, ARunsFailuresGoOnWithoutBoxesWhenAskedAndEveryOneIsLogged)
{
    const auto folder = env.root / "tables";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "T.db") << "";
    env.sources.tables["T"] = {{{"ID", 3}},
                               {{paradox::Value::ofInteger(1)}, {paradox::Value::ofInteger(2)},
                                {paradox::Value::ofInteger(3)}}};
    env.servers.state.refuses = [](const std::string& s) { return s.rfind("INSERT", 0) == 0; };  // every insert
    const auto logs = env.root / "state";
    env.services.paths.logFolder = logs.string();
    env.dialogs.dontShowAgain = true;
    Form1& f = load();
    f.setText(f.Text1, folder.string());
    f.setText(f.Text5, "SRV1");
    f.Check1->setChecked(false);  // direct mode
    f.PushButton7->click();

    // One box, with its text as ever, that offered to show no more during the run.
    ASSERT_EQ(env.dialogs.messages.size(), 2u);
    const platform::Message& first = env.dialogs.messages[0];
    EXPECT_EQ(first.title, "Application Error");
    EXPECT_EQ(first.dontShowAgain, "Don't show again during this run");
    // All three failures are in the run's log, which the closing message and every box name.
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(logs))
        files.push_back(entry.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(first.text, "SQLException: [SQLSTATE 42000] refused: INSERT INTO [T] VALUES(1)\r\n"
                          "in Quillon2021/08/31.Form1.PushButton7_Click at line 416\r\r"
                          "Please email screenshot of this message to support@marrowby.example\r\r"
                          "Table: T, record 0 (counted from 0)\rRun log: " + files[0].string());
    EXPECT_EQ(env.dialogs.messages[1].text,
              "Done.\r\n\r\nRows on the server: T 0\r\n\r\n3 failures, each recorded in " + files[0].string()
                  + ":\r\nT: 3");
    // It quotes the data: the user's alone.
    EXPECT_EQ(std::filesystem::status(files[0]).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(std::filesystem::status(logs).permissions(), std::filesystem::perms::owner_all);
    std::ostringstream whole;
    whole << std::ifstream(files[0]).rdbuf();
    const std::string at = " (Quillon2021/08/31.Form1.PushButton7_Click at line ";
    EXPECT_EQ(whole.str(), "T, record 0: SQLException: [SQLSTATE 42000] refused: INSERT INTO [T] VALUES(1)" + at + "416)\n"
                           "T, record 1: SQLException: [SQLSTATE 42000] refused: INSERT INTO [T] VALUES(2)" + at + "416)\n"
                           "T, record 2: SQLException: [SQLSTATE 42000] refused: INSERT INTO [T] VALUES(3)" + at + "416)\n");

    // The next run shows its boxes again.
    env.dialogs.messages.clear();
    env.dialogs.dontShowAgain = false;
    env.servers.state.tables.clear();
    f.PushButton7->click();
    ASSERT_EQ(env.dialogs.messages.size(), 4u);
    EXPECT_NE(env.dialogs.messages[0].text.find("support@marrowby.example\r\rTable: T, record 0 (counted from 0)\r"
                                                "Run log: " + logs.string() + "/run-"),
              std::string::npos)
        << env.dialogs.messages[0].text;
}

// Closing the main window while a run goes on stops the run at its next
// record: what it had not committed is rolled back, its log says where it
// stopped and how many rows are stored, and only then does the program end.
// The table is long enough that the reading thread is still ahead of the run.
TEST_F(Form1Test, ClosingTheWindowDuringARunStopsItAndItsLogSaysWhere)
{
    const auto folder = env.root / "tables";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "T.db") << "";
    std::vector<std::vector<paradox::Value>> rows;
    for (int i = 1; i <= 100'000; ++i)
        rows.push_back({paradox::Value::ofInteger(i)});
    env.sources.tables["T"] = {{{"ID", 3}}, rows};
    env.services.paths.logFolder = (env.root / "state").string();
    env.store("Statements Per Round Trip", "1");
    Form1& f = load();
    f.setText(f.Text1, folder.string());
    f.setText(f.Text5, "SRV1");
    f.Check1->setChecked(false);
    f.show();
    int inserts = 0;
    env.servers.state.refuses = [&](const std::string& sql) {
        if (sql.starts_with("INSERT") && ++inserts == 2)
            f.close();  // as the user does while the run yields
        return false;
    };
    f.PushButton7->click();
    EXPECT_EQ(inserts, 2);
    EXPECT_EQ(env.endProgramCalls, 1);
    EXPECT_TRUE(env.dialogs.messages.empty());  // no "Done.": nobody is left to read it
    std::ostringstream log;
    for (const auto& entry : std::filesystem::directory_iterator(env.root / "state"))
        log << std::ifstream(entry.path()).rdbuf();
    EXPECT_EQ(log.str(), "Stopped by closing the main window: T stopped after 2 of 100,000 records, and what was not "
                         "committed was rolled back; 0 rows are stored (the answer Continue continues it).\n");
}

// The program's boxes on the real QMessageBox: the overwrite question's
// "Yes to All" and "No to All", and the report's "Don't show again".
TEST(QtDialogsTest, ToAllButtonsAndDontShowAgainAnswerAsClicked)
{
    platform::QtDialogs dialogs;
    auto pressLater = [](std::function<void(QMessageBox*)> press) {
        QTimer::singleShot(0, [press] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                    press(box);
            }
        });
    };
    platform::Message question{"Would you like to overwrite T?", "Overwrite?", platform::Buttons::YesNoToAll};
    for (const auto& [button, answer] :
         {std::pair{QMessageBox::YesToAll, platform::Answer::YesToAll}, std::pair{QMessageBox::NoToAll, platform::Answer::NoToAll},
          std::pair{QMessageBox::Yes, platform::Answer::Yes}, std::pair{QMessageBox::No, platform::Answer::No}}) {
        pressLater([b = button](QMessageBox* box) {
            EXPECT_EQ(box->standardButtons(),
                      QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::NoToAll);
            EXPECT_EQ(box->icon(), QMessageBox::Question);
            for (QAbstractButton* each : box->buttons())
                EXPECT_TRUE(each->icon().isNull()) << each->text().toStdString();  // all alike
            box->button(b)->click();
        });
        EXPECT_EQ(dialogs.show(question), answer);
    }
    // A table an earlier run left half: "Continue" beside the others.
    question.offerContinue = true;
    pressLater([](QMessageBox* box) {
        for (QAbstractButton* b : box->buttons()) {
            if (b->text() == "Continue")
                b->click();
        }
    });
    EXPECT_EQ(dialogs.show(question), platform::Answer::Continue);
    platform::Message report{"refused", "Application Error", platform::Buttons::Ok, platform::Icon::Warning,
                             "Don't show again during this run"};
    for (const bool tick : {true, false}) {
        pressLater([tick](QMessageBox* box) {
            ASSERT_NE(box->checkBox(), nullptr);
            EXPECT_EQ(box->checkBox()->text(), "Don't show again during this run");
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            EXPECT_EQ(box->icon(), QMessageBox::Warning);
            box->checkBox()->setChecked(tick);
            box->button(QMessageBox::Ok)->click();
        });
        EXPECT_EQ(dialogs.show(report), tick ? platform::Answer::OkDontShowAgain : platform::Answer::Ok);
    }
    // A message has the information sign, and a path in it is never broken at a "/".
    const QString log = "/home/user/.local/state/dovenmark/run-20240501-121500.log";
    pressLater([log](QMessageBox* box) {
        EXPECT_EQ(box->icon(), QMessageBox::Information);
        auto* label = box->findChild<QLabel*>("qt_msgbox_label");
        ASSERT_NE(label, nullptr);
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(log));
        box->button(QMessageBox::Ok)->click();
    });
    dialogs.show({"Done.\r\n\r\n1 failure, each recorded in " + log.toStdString() + ":\r\nT: 1", "Dovenmark"});
}

TEST_F(Form1Test, PasswordShowsAsterisksAndTabLeavesTheLoginBoxesUnselected)
{
    env.store("MSSQL Server", "SRV1");
    env.store("MSSQL User", "sa");
    env.store("MSSQL Password", "pw");
    env.store("MSSQL Database", "Sales");
    Form1& f = load();
    EXPECT_EQ(f.Text4->displayText(), "**");
    f.show();
    QApplication::setActiveWindow(&f);

    // Tab goes from the port through user name, password and database.
    f.Text6->setFocus();
    for (QLineEdit* box : {f.Text3, f.Text4, f.Text8}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::qWait(20);
        ASSERT_EQ(QApplication::focusWidget(), box);
        EXPECT_FALSE(box->hasSelectedText()) << box->objectName().toStdString();
        EXPECT_EQ(box->cursorPosition(), box->text().size());
    }
    // The server box selects its whole text, however the focus comes.
    f.Text5->setFocus(Qt::TabFocusReason);
    QTest::qWait(20);
    EXPECT_EQ(f.Text5->selectedText(), "SRV1");

    // A box waits while the password is typed, so that it takes none of its keys.
    f.Text4->setFocus();
    QTest::keyClicks(f.Text4, "x");
    f.showWhenNotTyping({"The desktop keyring is locked now", "Dovenmark"});
    EXPECT_TRUE(env.dialogs.messages.empty());
    f.Text8->setFocus();
    ASSERT_EQ(env.dialogs.messages.size(), 1u);
    // Beside "Local Connection": a password FreeTDS cannot send, or that an SQLite file stands in.
    f.setServerDriver(Form1::ServerDriver::FreeTds);
    for (const auto& [password, note] : {std::pair{"p}w", ""}, std::pair{"p}w;", "FreeTDS cannot send this password"},
                                         std::pair{" p}w", "FreeTDS cannot send this password"}}) {
        f.Text4->setText(password);
        EXPECT_EQ(f.loginNote(), note) << password;
    }
    f.setServerDriver(Form1::ServerDriver::Sqlite);
    EXPECT_EQ(f.loginNote(), "SQLite stands in: Database is its file");
}

// The Options dialog shows the run choices as the store holds them and
// writes them on OK; a code page name iconv does not know is said and the
// dialog stays; Cancel writes nothing. The main window's "..." opens it.
TEST_F(Form1Test, OptionsDialogSetsTheRunChoicesWithoutEditingAFile)
{
    Form1& f = load();
    env.store("Source Code Page", "CP866");
    env.store("Transfer Binary", "True");
    env.store("Column Types", "SQL Server");
    env.store("Verify After Converting", "True");
    env.store("Rules", "Keys");
    env.store("Bulk Copy", "True");
    QString caption;
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* options = dynamic_cast<shell::OptionsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(options, nullptr);
        shown = true;
        caption = options->windowTitle();
        EXPECT_EQ(options->Combo1->currentText(), "CP866");
        EXPECT_TRUE(options->Check1->isChecked());
        EXPECT_TRUE(options->Option2->isChecked());
        EXPECT_TRUE(options->Check2->isChecked());
        options->Check2->setChecked(false);
        EXPECT_TRUE(options->Check4->isChecked());
        options->Check4->setChecked(false);
        EXPECT_FALSE(options->Check3->isChecked());
        EXPECT_TRUE(options->Check3->isEnabled());
        options->Check3->setChecked(true);
        options->Combo1->setEditText(" cp1251 ");
        options->Check1->setChecked(false);
        options->Option1->setChecked(true);
        options->PushButton1->click();
    });
    f.PushButton8->click();
    EXPECT_TRUE(shown);
    EXPECT_EQ(caption.toStdString(), "Options - Dovenmark");
    EXPECT_EQ(env.stored("Source Code Page"), "cp1251");
    EXPECT_EQ(env.stored("Transfer Binary"), "False");
    EXPECT_EQ(env.stored("Column Types"), "Text");
    EXPECT_EQ(env.stored("Verify After Converting"), "False");
    EXPECT_EQ(env.stored("Rules"), "All");
    EXPECT_EQ(env.stored("Bulk Copy"), "False");
    EXPECT_TRUE(env.dialogs.messages.empty());

    shell::OptionsDialog options(env.services, &f);
    options.Form_Load(std::nullopt);
    options.Combo1->setEditText("KOI9");
    options.Option2->setChecked(true);
    options.PushButton1->click();
    ASSERT_EQ(env.dialogs.messages.size(), 1u);
    EXPECT_EQ(env.dialogs.messages[0].text,
              "The source code page KOI9 is not known. Names such as CP437, CP850, CP866 or CP1251 are.");
    EXPECT_EQ(options.result(), QDialog::Rejected);  // still open: nothing written
    EXPECT_EQ(env.stored("Column Types"), "Text");
    options.Combo1->setEditText("");
    options.PushButton1->click();
    EXPECT_EQ(env.stored("Source Code Page"), "");
    EXPECT_EQ(env.stored("Column Types"), "SQL Server");

    shell::OptionsDialog cancelled(env.services, &f);
    cancelled.Form_Load(std::nullopt);
    cancelled.Option1->setChecked(true);
    cancelled.PushButton2->click();
    EXPECT_EQ(env.stored("Column Types"), "SQL Server");
}

// --help and --version answer on the terminal and open no window: with no
// display to open one on, the program still answers and exits with 0.
TEST(ProgramCommandLine, HelpAndVersionAnswerWithoutAWindow)
{
    testsupport::TempDir dir;
    const std::string program =
        "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb " + testsupport::Quoted(DOVENMARK_PROGRAM);
    for (const auto& [option, answer] : {std::pair{"--help", "Usage: dovenmark [--help | --version]\n"},
                                         std::pair{"-h", "Usage: dovenmark [--help | --version]\n"},
                                         std::pair{"--version", "dovenmark 1."}}) {
        const testsupport::ProgramRun r = testsupport::RunProgram(dir, program + " " + option);
        EXPECT_EQ(r.status, 0) << option << ": " << r.err;
        EXPECT_EQ(r.out.rfind(answer, 0), 0u) << option << ": " << r.out;
        EXPECT_EQ(r.err, "") << option;
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);)
            EXPECT_LE(line.size(), 80u) << line;
    }
    // Anything else is refused before a window opens (Qt's own options aside), display or none.
    const testsupport::ProgramRun bogus = testsupport::RunProgram(dir, program + " -style=fusion --bogus");
    EXPECT_EQ(bogus.status, 2);
    EXPECT_NE(bogus.err.find("dovenmark: unknown argument '--bogus'\n\nUsage: dovenmark"), std::string::npos)
        << bogus.err;
}
