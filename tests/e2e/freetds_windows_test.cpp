// The main window and the SQL Preview through the real FreeTDS driver (no
// driver registered as "SQL Server") against the TDS test server: the direct
// run and Execute SQL send what `script` writes, a refused statement reaches the
// report and the preview's error box, and Test Connection and Start Converting
// say why no login opens.
#include "preview/form2.h"
#include "core/settings_keys.h"
#include "tests/platform/odbc_test_environment.h"
#include "tests/e2e/real_windows.h"
#include "tests/support/run_program.h"
#include "tests/tds/tds_server_process.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

[[maybe_unused]] auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(
    new OdbcTestEnvironment("[SQLite3]\nDriver=" + SqliteDriverLibrary() + "\n"));

struct FreeTdsWindows : ::testing::Test, RealWindows {
    fs::path folder = root / "tables";

    void SetUp() override
    {
        if (const auto missing = FreeTdsMissing())
            GTEST_SKIP() << *missing;
        fs::create_directories(folder);
        fs::copy_file(*paradoxTestdata() / "dbdemos" / "country.db", folder / "country.db");
        form.Text1->setText(QString::fromStdString(folder.string()));
    }

    void loginTo(const TdsTestServer& server)
    {
        form.Check4->setChecked(false);
        form.Text5->setText("127.0.0.1");
        form.Text6->setText(QString::number(server.port()));
        form.Text8->setText("Shop");
        form.Text3->setText("sa");
        form.Text4->setText("secret");
    }

    // What `script` writes for the folder, one statement each.
    std::vector<std::string> scriptStatements()
    {
        return ScriptStatements(RunProgram(root, Quoted(DOVENMARK_CLI) + " script " + Quoted(folder.string())).out);
    }
};

}  // namespace

// COUNTRY's 18 inserts in one round trip, or, with the setting read at the
// click, one each.
TEST_F(FreeTdsWindows, TheDirectRunSendsWhatScriptWritesAsManyPerRoundTripAsTheSettingSays)
{
    const std::vector<std::string> statements = scriptStatements();
    for (const std::string perTrip : {"", "1"}) {
        SCOPED_TRACE(perTrip);
        settings.SaveSetting(core::kSettingsApplication, core::kSettingsSection, core::key::StatementsPerRoundTrip,
                             perTrip);
        dialogs.messages.clear();
        TdsTestServer server;
        loginTo(server);
        form.Check1->setChecked(false);
        form.PushButton7->click();
        // The test server counts the rows it stored, as the run asks after the table.
        EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"Done.\r\n\r\nRows on the server: COUNTRY 18"});
        EXPECT_EQ(server.statements(), statements);
        EXPECT_EQ(server.batches().size(), perTrip.empty() ? 2u : statements.size());
        EXPECT_EQ(std::ranges::count_if(server.records(), [](const TdsRecord& r) { return r.kind == "login"; }), 1);
    }
}

TEST_F(FreeTdsWindows, TheDirectRunReportsARefusedStatementAndGoesOn)
{
    TdsTestServer server({"--refuse", "Brazil=8152"});
    loginTo(server);
    form.Check1->setChecked(false);
    form.PushButton7->click();
    const std::vector<std::string> shown = dialogs.texts();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_NE(shown[0].find("[FreeTDS][SQL Server]String or binary data would be truncated."), std::string::npos)
        << shown[0];
    EXPECT_EQ(shown[1], "Done.\r\n\r\nRows on the server: COUNTRY 17\r\n\r\n1 failure:\r\nCOUNTRY: 1");
    EXPECT_EQ(server.statements().back(), scriptStatements().back());
}

TEST_F(FreeTdsWindows, ExecuteSqlSendsEveryLineAsScriptWritesIt)
{
    TdsTestServer server;
    loginTo(server);
    form.Check1->setChecked(true);
    form.Option1->setChecked(true);
    script.push_back([&](QWidget* w) { dynamic_cast<preview::Form2*>(w)->PushButton1->click(); });
    form.PushButton7->click();
    EXPECT_TRUE(script.empty());
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"Done."});
    EXPECT_EQ(server.batches(), scriptStatements());
}

TEST_F(FreeTdsWindows, ExecuteSqlSendsTheLinesAndShowsARefusedOnesError)
{
    TdsTestServer server({"--refuse", "Brazil=8152"});
    loginTo(server);
    form.Check1->setChecked(true);
    form.Option2->setChecked(true);
    script.push_back([&](QWidget* w) {
        auto& f = *dynamic_cast<preview::Form2*>(w);
        f.PushButton1->click();
        EXPECT_EQ(windows.ErrorLine, 4);  // the create, Argentina, Bolivia, then Brazil
        EXPECT_NE(f.errorText().find("[FreeTDS][SQL Server]String or binary data would be truncated."),
                  std::string::npos)
            << f.errorText();
        f.PushButton9->click();
    });
    form.PushButton7->click();
    EXPECT_TRUE(script.empty());
    // Up to the refused line, each line as it stands; the ones inside the
    // transaction that the refusal rolled back are sent again, alone.
    const std::vector<std::string> statements = scriptStatements();
    ASSERT_GE(statements.size(), 4u);
    std::vector<std::string> distinct;
    for (const std::string& b : server.batches()) {
        if (std::find(distinct.begin(), distinct.end(), b) == distinct.end())
            distinct.push_back(b);
    }
    EXPECT_EQ(distinct, std::vector<std::string>(statements.begin(), statements.begin() + 4));
    EXPECT_EQ(dialogs.texts(), (std::vector<std::string>{"Error found.", "Done.\r\n\r\nNot converted:\r\nCOUNTRY: "
                                                                          "its SQL Preview was not executed to the end"}));
}

TEST_F(FreeTdsWindows, TestConnectionAndStartConvertingSayWhyNoLoginOpens)
{
    {
        TdsTestServer server;
        loginTo(server);
        form.PushButton6->click();
    }
    std::string refusing;
    {
        TdsTestServer server({"--refuse-login"});
        loginTo(server);
        refusing = "127.0.0.1," + form.Text6->text().toStdString();
        form.PushButton6->click();
        ASSERT_EQ(server.records().size(), 1u);
        EXPECT_EQ(server.records()[0].kind, "login");
    }
    // Nothing listening: port 1 of the loopback.
    form.Text6->setText("1");
    form.PushButton6->click();
    form.PushButton7->click();
    // The reason follows on the next line, in the words "Start Converting" uses.
    EXPECT_EQ(dialogs.texts(),
              (std::vector<std::string>{
                  "Connection successful.",
                  "Could not connect. Please check with your administrator.\r\nThe server " + refusing
                      + " refused the login: [SQLSTATE 42000] [FreeTDS][SQL Server]Login failed for user 'sa'.; "
                        "[SQLSTATE 08001] [FreeTDS][SQL Server]Unable to connect to data source",
                  "Could not connect. Please check with your administrator.\r\nThe server 127.0.0.1,1 could not be "
                  "reached: [SQLSTATE 08S01] [FreeTDS][SQL Server]Unable to connect: Adaptive Server is unavailable "
                  "or does not exist; [SQLSTATE 08001] [FreeTDS][SQL Server]Unable to connect to data source",
                  "Could not start converting.\r\nThe server 127.0.0.1,1 could not be reached: [SQLSTATE 08S01] "
                  "[FreeTDS][SQL Server]Unable to connect: Adaptive Server is unavailable or does not exist; "
                  "[SQLSTATE 08001] [FreeTDS][SQL Server]Unable to connect to data source"}));
    EXPECT_FALSE(form.Converting);
}
