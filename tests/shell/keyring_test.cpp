// The password in the desktop's keyring: Form1 offscreen over the real settings
// file and the real QtKeychain, with a gnome-keyring on a private session bus;
// and the settings file, as ever, where no keyring answers.
#include "shell/form1.h"

#include "core/settings_keys.h"
#include "platform/keyring_settings_store.h"
#include "platform/qt/qt_keyring.h"
#include "tests/shell/keyring_session.h"
#include "tests/support/fake_services.h"

#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

using testsupport::KeyringSession;

namespace {

// libsecret keeps its bus connection for the life of the process, and ends the
// process when that bus goes away: one session serves every test here and ends
// after the last one.
std::unique_ptr<KeyringSession> sharedSession;
struct EndSharedSession : ::testing::Environment {
    void TearDown() override { sharedSession.reset(); }
};
[[maybe_unused]] const auto* const kEndSharedSession = ::testing::AddGlobalTestEnvironment(new EndSharedSession);

// The program over a settings folder of its own, started again at will.
struct Program {
    testsupport::FakeServicesHolder env;
    std::chrono::milliseconds timeout = std::chrono::seconds(5);
    std::unique_ptr<platform::QtKeyring> keyring;
    std::unique_ptr<platform::KeyringSettingsStore> store;
    std::unique_ptr<core::Services> services;
    std::unique_ptr<shell::Form1> form;

    std::string service() const
    {
        return platform::KeyringServiceFor("Dovenmark", QString::fromStdString((env.root / "config").string()))
            .toStdString();
    }
    std::optional<std::string> inKeyring() const { return sharedSession->lookup(service(), "MSSQL Password"); }
    // What main() does: the store over the settings file and the keyring, then the window.
    void start()
    {
        form.reset();
        keyring = std::make_unique<platform::QtKeyring>(QString::fromStdString(service()), timeout);
        store = std::make_unique<platform::KeyringSettingsStore>(
            env.settings, *keyring, platform::SettingAddress{"Marrowby", "Dovenmark", "MSSQL Password"},
            [this](const std::string& text) { env.dialogs.show({text, "Dovenmark"}); },
            [this](const std::string& text) {
                return env.dialogs.show({text, "Dovenmark", platform::Buttons::YesNo}) == platform::Answer::Yes;
            });
        store->start();
        services = std::make_unique<core::Services>(
            core::Services{env.dialogs, *store, env.clipboard, env.desktop, env.events, env.servers, env.sources,
                           env.services.paths, env.services.randomDraw, env.services.endProgram});
        form = std::make_unique<shell::Form1>(*services, conversion::RegionalSettings{});
        form->Form_Load();
    }
    void type(const char* text)
    {
        form->show();
        form->Text4->setFocus();
        QTest::keyClicks(form->Text4, text);
    }
    std::string fileText() { return testsupport::ReadWholeFile(env.settings.fileOf("Marrowby").toStdString()); }
};

struct WithKeyring : ::testing::Test {
    Program program;
    testsupport::FakeServicesHolder& env = program.env;
    void SetUp() override
    {
        if (const std::string missing = KeyringSession::missingTools(); !missing.empty())
            GTEST_SKIP() << "missing on this machine:" << missing << " (tools/install-deps installs them); skipping";
        if (!sharedSession) {
            sharedSession = std::make_unique<KeyringSession>(true);
            setenv("DBUS_SESSION_BUS_ADDRESS", sharedSession->address().c_str(), 1);
        }
        ASSERT_EQ(sharedSession->failure(), "");
    }
};

}  // namespace

TEST_F(WithKeyring, ThePasswordLivesInTheKeyringNotTheFileComesBackAtTheNextStartAndLeavesWithTheText)
{
    program.start();
    ASSERT_TRUE(program.store->keyringInUse());
    program.type("s3;cr{t} p");
    EXPECT_EQ(program.inKeyring(), "s3;cr{t} p");
    EXPECT_EQ(env.stored("MSSQL Password"), "<absent>");
    EXPECT_EQ(env.stored("MSSQL Port"), "1433");  // the file is there, with the other settings
    EXPECT_EQ(program.fileText().find("s3;cr"), std::string::npos);

    program.start();
    EXPECT_EQ(program.form->Text4->text(), "s3;cr{t} p");
    Program demo;  // over other settings (the demo's): a password of its own
    demo.start();
    EXPECT_EQ(demo.form->Text4->text(), "");

    program.form->Text4->clear();
    EXPECT_EQ(program.inKeyring(), std::nullopt);
    EXPECT_EQ(env.stored("MSSQL Password"), "<absent>");
    EXPECT_TRUE(env.dialogs.messages.empty());
}

TEST_F(WithKeyring, APasswordLeftInAnOldSettingsFileMovesIntoTheKeyring)
{
    env.store("MSSQL User", "sa");
    env.store("MSSQL Password", "old;pw");
    program.start();
    EXPECT_EQ(program.inKeyring(), "old;pw");
    EXPECT_EQ(env.stored("MSSQL Password"), "<absent>");
    EXPECT_EQ(program.fileText().find("old;pw"), std::string::npos);
    EXPECT_EQ(env.stored("MSSQL User"), "sa");
    EXPECT_EQ(program.form->Text4->text(), "old;pw");
    EXPECT_TRUE(env.dialogs.messages.empty());
}

TEST_F(WithKeyring, AKeyringThatFailsToWriteCostsOneWaitOneReportAndThePasswordStaysInTheFile)
{
    program.timeout = std::chrono::seconds(2);
    program.start();
    program.type("a");
    {
        const auto hung = sharedSession->stopKeyring();
        program.type("bc");
    }
    EXPECT_FALSE(program.store->keyringInUse());
    EXPECT_EQ(env.stored("MSSQL Password"), "abc");
    ASSERT_EQ(env.dialogs.messages.size(), 1u);
    EXPECT_EQ(env.dialogs.messages[0].text,
              "The desktop keyring cannot keep the password: no answer within 2 seconds\r\n"
              "Until the next start it is kept in the settings file, which only you can read.");

    program.start();  // the keyring answers again: the password moves back in
    EXPECT_EQ(program.form->Text4->text(), "abc");
    EXPECT_EQ(program.inKeyring(), "abc");
    EXPECT_EQ(env.stored("MSSQL Password"), "<absent>");
}

// A locked keyring is said before anything is read from it (a read would make
// the desktop ask for its password unannounced, or come back empty). Unlocking
// asks the desktop, which has no prompt to show here; typing on, the password
// is used and kept nowhere, in part or whole, and no box takes the keys.
TEST_F(WithKeyring, ALockedKeyringIsSaidAndThePasswordTypedOnIsKeptNowhere)
{
    program.start();
    program.type("old");
    sharedSession->lock();
    program.type("er");  // locked while the program runs: said once, and nothing more is kept
    ASSERT_EQ(env.dialogs.messages.size(), 1u);
    EXPECT_EQ(env.dialogs.messages[0].text, platform::KeyringSettingsStore::kLockedNow);
    EXPECT_EQ(program.form->password().reveal(), "older");
    EXPECT_EQ(env.stored("MSSQL Password"), "<absent>");
    for (const platform::Answer unlock : {platform::Answer::Yes, platform::Answer::No}) {
        env.dialogs.messages.clear();
        env.dialogs.answers = {unlock};
        program.start();
        ASSERT_EQ(env.dialogs.messages.size(), unlock == platform::Answer::Yes ? 2u : 1u);
        EXPECT_EQ(env.dialogs.messages[0].text, platform::KeyringSettingsStore::kLockedQuestion);
        EXPECT_EQ(env.dialogs.messages.back().text, unlock == platform::Answer::Yes
                                                        ? platform::KeyringSettingsStore::kStaysLocked
                                                        : platform::KeyringSettingsStore::kLockedQuestion);
        EXPECT_TRUE(program.store->keyringLocked());
        program.type("new");
        EXPECT_EQ(program.form->password().reveal(), "new");
        EXPECT_EQ(env.stored("MSSQL Password"), "<absent>");
    }
    EXPECT_EQ(env.dialogs.messages.size(), 1u);  // typing raised none
}

TEST(WithoutKeyring, TheSettingsFileKeepsThePasswordAsBefore)
{
    const char* previous = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::shared_ptr<void> restore(nullptr, [bus = std::string(previous ? previous : "")](void*) {
        setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
    });
    for (const bool withBus : {false, true}) {
        SCOPED_TRACE(withBus ? "a session bus without a Secret Service" : "no session bus");
        Program program;
        std::unique_ptr<KeyringSession> bareBus;
        if (withBus && KeyringSession::missingTools().empty())
            bareBus = std::make_unique<KeyringSession>(false);
        else if (withBus)
            GTEST_SKIP() << "missing on this machine:" << KeyringSession::missingTools() << "; skipping the bare bus";
        const std::string bus = bareBus ? bareBus->address() : "unix:path=" + (program.env.root / "none").string();
        setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);

        program.start();
        EXPECT_FALSE(program.store->keyringInUse());
        program.type("pw");
        EXPECT_EQ(program.env.stored("MSSQL Password"), "pw");
        program.start();
        EXPECT_EQ(program.form->Text4->text(), "pw");
        EXPECT_TRUE(program.env.dialogs.messages.empty());
    }
}
