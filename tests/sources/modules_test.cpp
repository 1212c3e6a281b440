// The Paradox source and SQL Server login modules over real temporary folders
// and a scripted server: table lists, the folder copy, the connection texts,
// the login test and the help texts.
#include "sources/folder_picker.h"
#include "sources/mssql_module.h"
#include "sources/paradox_module.h"
#include "sources/program_paths.h"

#include "tests/support/fake_form.h"
#include "tests/support/fake_server.h"
#include "tests/support/memory_settings.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/testdata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>

#include <pwd.h>
#include <unistd.h>

using namespace testsupport;

namespace {


struct ModulesTest : ::testing::Test {
    TempDir dir;
    FakeForm form;
    ScriptedDialogs dialogs;
    platform::NoEventLoop events;
    FakeServerFactory servers;
    MemorySourceFactory sourceConnections;
    RecordingDesktop desktop;
    MemorySettings settings;
    RecordingClipboard clipboard;
    core::Services services{dialogs, settings, clipboard, desktop, events, servers, sourceConnections,
                            {(dir / "program").string(), (dir / "drive").string()}};

    ModulesTest()
    {
        std::filesystem::create_directories(dir / "program");
        std::filesystem::create_directories(dir / "drive");
    }
    std::string touch(const std::filesystem::path& p, const std::string& content = "")
    {
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p) << content;
        return p.string();
    }
};

}  // namespace

TEST_F(ModulesTest, TableNamesAreUpperCasedWithEveryDotDbRemoved)
{
    EXPECT_EQ(Paradox::TableNameOf("orders.db"), "ORDERS");
    EXPECT_EQ(Paradox::TableNameOf("A.DBX.DB"), "AX");
    EXPECT_EQ(Paradox::TableNameOf("straße.db"), "STRASSE");
}

TEST_F(ModulesTest, HasTablesAndListTablesLookInTheFolderAndBelowIt)
{
    form.Text1 = "";
    EXPECT_FALSE(Paradox::HasTables(services, form));
    form.Text1 = (dir / "absent").string();
    EXPECT_FALSE(Paradox::HasTables(services, form));  // holds nothing, and is no failure

    const auto root = dir / "data";
    touch(root / "~temp.db");
    form.Text1 = root.string();
    EXPECT_TRUE(Paradox::HasTables(services, form));  // "~" names count here
    core::ListItems list{"stale"};
    Paradox::ListTables(services, form, list);
    EXPECT_TRUE(list.empty());  // ... but are never listed

    touch(root / "orders.db");
    touch(root / "Old" / "orders.DB");
    touch(root / "Old" / "Deeper" / "items.db");
    touch(root / "notes.txt");
    const Paradox::TableListing listing = Paradox::ListTables(services, form, list);
    EXPECT_EQ(list, (core::ListItems{"ORDERS", "ORDERS", "ITEMS"}));
    // Each entry with the file it was found in; the first ORDERS keeps the name.
    ASSERT_EQ(listing.files.size(), 3u);
    const std::string first = (root / "orders.db").string();
    EXPECT_EQ(listing.files[0].path, first);
    EXPECT_EQ(listing.files[0].keptBy, "");
    EXPECT_EQ(listing.files[1].path, (root / "Old" / "orders.DB").string());
    EXPECT_EQ(listing.files[1].keptBy, first);
    EXPECT_EQ(listing.files[2].path, (root / "Old" / "Deeper" / "items.db").string());
    EXPECT_EQ(listing.files[2].keptBy, "");
    EXPECT_TRUE(listing.unreadable.empty());

    // Tables that lie only in a subfolder count.
    form.Text1 = (dir / "nested").string();
    std::filesystem::create_directories(dir / "nested" / "empty");
    EXPECT_FALSE(Paradox::HasTables(services, form));
    touch(dir / "nested" / "sub" / "x.db");
    EXPECT_TRUE(Paradox::HasTables(services, form));
}

TEST_F(ModulesTest, CopyDBAsksAndSwitchesTheFieldToTheMergedCopy)
{
    namespace fs = std::filesystem;
    const auto source = dir / "My Tables";
    touch(source / "orders.db", "new");
    fs::permissions(source / "orders.db", fs::perms::owner_read | fs::perms::group_read);  // as from a CD
    touch(source / "sub" / "items.db", "items");
    touch(dir / "drive" / "TestDB" / "orders.db", "old");
    touch(dir / "drive" / "TestDB" / "keep.db", "kept");
    touch(dir / "drive" / "TestDB" / "mine" / "notes.txt");
    form.Text1 = source.string();

    dialogs.answers = {platform::Answer::No};
    Paradox::CopyDB(services, form, false);
    EXPECT_EQ(form.Text1, source.string());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const std::string target = (dir / "drive" / "TestDB").string();
    EXPECT_EQ(dialogs.messages[0].text,
              "In some cases the software needs to use a folder without spaces.\r\n"
              "Is it OK to create the folder " + target + " and put Your db files in it?");
    EXPECT_EQ(dialogs.messages[0].buttons, platform::Buttons::YesNo);
    EXPECT_EQ(dialogs.messages[0].icon, platform::Icon::None);

    Paradox::CopyDB(services, form, true);  // Yes
    EXPECT_NE(dialogs.messages[1].text.find(" and put sample db files in it?"), std::string::npos);
    EXPECT_EQ(form.Text1, target);
    std::ifstream orders(dir / "drive" / "TestDB" / "orders.db");
    std::string content;
    orders >> content;
    EXPECT_EQ(content, "new");
    EXPECT_TRUE(std::filesystem::exists(dir / "drive" / "TestDB" / "keep.db"));
    EXPECT_TRUE(std::filesystem::exists(dir / "drive" / "TestDB" / "sub" / "items.db"));
    EXPECT_NE(fs::status(target + "/orders.db").permissions() & fs::perms::owner_write, fs::perms::none);

    // The same folder again (its read-only file replaced), then an unrelated one:
    // TestDB holds that one's tables and what the user put there, nothing older.
    // A copied file the user worked on in between is moved aside, never removed.
    touch(dir / "Other Tables" / "vendors.db");
    for (const fs::path& next : {source, dir / "Other Tables"}) {
        if (next != source)
            std::ofstream(target + "/sub/items.db", std::ios::app) << "edited";
        form.Text1 = next.string();
        dialogs.answers = {platform::Answer::Yes};
        Paradox::CopyDB(services, form, false);
    }
    ASSERT_EQ(dialogs.messages.size(), 5u) << dialogs.messages.back().text;
    EXPECT_EQ(dialogs.messages[4].text,
              "Files an earlier copy put here had changed since, so they were moved aside, not removed:\r\n"
                  + target + "/sub/items.db -> " + target + "/.dovenmark-kept/sub/items.db");
    std::ifstream keptAside(target + "/.dovenmark-kept/sub/items.db");
    std::string kept;
    keptAside >> kept;
    EXPECT_EQ(kept, "itemsedited");
    core::ListItems tables;
    Paradox::ListTables(services, form, tables);
    std::sort(tables.begin(), tables.end());
    EXPECT_EQ(tables, (core::ListItems{"KEEP", "VENDORS"}));
    EXPECT_FALSE(fs::exists(target + "/sub"));
    EXPECT_TRUE(fs::exists(target + "/mine/notes.txt"));
}

TEST_F(ModulesTest, CopyDBCopiesLinksAsLinksAndNeverIntoItself)
{
    namespace fs = std::filesystem;
    const auto source = dir / "My Tables";
    const auto big = dir / "big";
    touch(big / "huge.db", "huge");
    touch(source / "orders.db", "orders");
    fs::create_directory_symlink(big, source / "archive");     // a folder elsewhere
    fs::create_symlink("orders.db", source / "alias.db");        // a file beside it
    fs::create_symlink("gone.db", source / "dangling.db");       // nothing at all
    fs::create_symlink("../big/huge.db", source / "up.db");      // leads out of the folder
    touch(source / "sub" / "t.db", "t");
    const auto target = dir / "drive" / "TestDB";
    fs::create_directories(target);
    fs::create_symlink("elsewhere", target / "archive");         // replaced by the copy
    fs::create_directory(dir / "outside");
    fs::create_directory_symlink(dir / "outside", target / "sub");  // replaced, never written through
    form.Text1 = source.string();
    dialogs.answers = {platform::Answer::Yes};
    Paradox::CopyDB(services, form, false);
    ASSERT_EQ(dialogs.messages.size(), 1u) << dialogs.messages.back().text;
    EXPECT_EQ(form.Text1, target.string());
    const struct {
        const char* name;
        fs::path link;
    } links[] = {{"archive", big},
                 {"alias.db", "orders.db"},
                 {"dangling.db", "gone.db"},
                 {"up.db", big / "huge.db"}};
    for (const auto& l : links) {
        EXPECT_TRUE(fs::is_symlink(target / l.name)) << l.name;
        EXPECT_EQ(fs::read_symlink(target / l.name), l.link) << l.name;
    }
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target / "orders.db")));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target / "sub" / "t.db")));
    EXPECT_TRUE(fs::is_empty(dir / "outside"));

    // A home folder with a space, copied into its own TestDB: the copy leaves
    // TestDB out instead of copying it into itself.
    services.paths.driveRoot = source.string();
    form.Text1 = source.string();
    dialogs.answers = {platform::Answer::Yes};
    Paradox::CopyDB(services, form, false);
    ASSERT_EQ(dialogs.messages.size(), 2u) << dialogs.messages.back().text;
    EXPECT_EQ(form.Text1, (source / "TestDB").string());
    EXPECT_TRUE(fs::is_regular_file(source / "TestDB" / "orders.db"));
    EXPECT_FALSE(fs::exists(source / "TestDB" / "TestDB"));
    // Asked again for that copy (its path holds the space too): it is its own copy.
    dialogs.answers = {platform::Answer::Yes};
    Paradox::CopyDB(services, form, false);
    ASSERT_EQ(dialogs.messages.size(), 3u) << dialogs.messages.back().text;
    EXPECT_TRUE(fs::is_regular_file(source / "TestDB" / "orders.db"));
    // A folder of that copy, copied in its turn, is kept while it is copied.
    form.Text1 = (source / "TestDB" / "sub").string();
    dialogs.answers = {platform::Answer::Yes};
    Paradox::CopyDB(services, form, false);
    EXPECT_TRUE(fs::is_regular_file(source / "TestDB" / "sub" / "t.db"));
    EXPECT_TRUE(fs::is_regular_file(source / "TestDB" / "t.db"));
}

TEST_F(ModulesTest, TheProgramsDriveRootIsTheHomeFolder)
{
    const char* const home = std::getenv("HOME");
    const std::optional<std::string> saved = home ? std::optional<std::string>(home) : std::nullopt;
    setenv("HOME", (dir / "home").c_str(), 1);
    const core::ProgramPaths paths = sources::ProgramPathsFor("/opt/dovenmark");
    EXPECT_EQ(paths.folder, "/opt/dovenmark");
    EXPECT_EQ(core::ProgramDriveRoot(paths), (dir / "home").string() + "/");
    unsetenv("HOME");  // the password database's home then
    const passwd* user = getpwuid(getuid());
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(sources::HomeFolder(), user->pw_dir);
    if (saved)
        setenv("HOME", saved->c_str(), 1);
}

TEST_F(ModulesTest, CopyDBAsksNothingWithoutAnInnerSpace)
{
    form.Text1 = "  " + (dir / "data").string() + "  ";
    Paradox::CopyDB(services, form, false);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ModulesTest, AFailedCopyIsReportedAndTheFieldKeepsTheOriginalFolder)
{
    form.Text1 = (dir / "No Such Folder").string();
    Paradox::CopyDB(services, form, false);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_NE(dialogs.messages[1].text.find("in Quillon2021/08/31.Paradox.CopyDB at line 120\r\r"),
              std::string::npos);
    EXPECT_EQ(form.Text1, (dir / "No Such Folder").string());

    // A drive root where nothing can be created: reported, nothing changes.
    dialogs.messages.clear();
    services.paths.driveRoot = touch(dir / "a-file");
    Paradox::CopyDB(services, form, false);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_NE(dialogs.messages[1].text.find("at line 116\r\r"), std::string::npos);
    EXPECT_EQ(form.Text1, (dir / "No Such Folder").string());
}

TEST_F(ModulesTest, TestConnectionAndSampleButtons)
{
    form.Text1 = (dir / "data").string();
    std::filesystem::create_directories(dir / "data");
    Paradox::TestConnection(services, form);
    touch(dir / "data" / "~only.db");
    Paradox::TestConnection(services, form);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].text, "Could not connect.\r\nThe folder " + form.Text1 + " is empty.");
    EXPECT_EQ(dialogs.messages[1].text, "Connection successful.");
    EXPECT_EQ(dialogs.messages[1].title, "Dovenmark");
    EXPECT_EQ(form.busy, (std::vector<bool>{true, false, true, false}));

    // The line below "Could not connect." says why.
    const std::string file = touch(dir / "notes.txt");
    touch(dir / "plain" / "notes.txt");
    const std::string plain = (dir / "plain").string();
    for (const auto& [folder, why] :
         {std::pair{std::string(), std::string("The field \"Paradox Folder:\" is empty.")},
          std::pair{(dir / "gone").string(), "The folder " + (dir / "gone").string() + " does not exist."},
          std::pair{file, file + " is a file, not a folder."},
          std::pair{plain, "The folder " + plain + " and its subfolders hold no Paradox tables (*.db)."}}) {
        dialogs.messages.clear();
        form.Text1 = folder;
        Paradox::TestConnection(services, form);
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text, "Could not connect.\r\n" + why);
    }

    dialogs.messages.clear();
    Paradox::LoadSample(services, form);
    EXPECT_EQ(form.Text1, services.paths.folder + "/Samples");
    EXPECT_TRUE(dialogs.messages.empty());  // no space in the program's folder: nothing asked

    EXPECT_EQ(Paradox::ConnectionText(form),
              "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + services.paths.folder
                  + "/Samples;Extended Properties=Paradox 5.x;");
}

// The login fields in the connection text: the server with its port, or
// without one for a local connection; a value that would change the text's
// meaning goes in braces.
TEST_F(ModulesTest, ConnectionTextsOfTheLoginFields)
{
    form.Text8 = "Sales";
    form.Text3 = "sa";
    const struct {
        const char* server;
        const char* port;
        bool local;
        const char* password;
        const char* text;  // after "Driver={SQL Server};Server="
    } cases[] = {
        {"SRV1", "1433", false, "", "SRV1,1433;Database=Sales;Uid=sa;Pwd=;"},
        {"SRV1", "1433", true, "", "SRV1;Database=Sales;Uid=sa;Pwd=;"},
        {"SRV1", "9999", true, "", "SRV1;Database=Sales;Uid=sa;Pwd=;"},  // the port does not matter to the local variant
        {"SRV1", "", false, "", "SRV1,;Database=Sales;Uid=sa;Pwd=;"},
        {"SRV1", "1433", false, "p;w}d{", "SRV1,1433;Database=Sales;Uid=sa;Pwd={p;w}}d{};"},
        // FreeTDS 1.3 would read a doubled one inside braces as two.
        {"SRV1", "1433", false, "p}w", "SRV1,1433;Database=Sales;Uid=sa;Pwd=p}w;"},
        // Blanks at the ends, which a driver might drop.
        {"SRV1", "1433", false, " pw ", "SRV1,1433;Database=Sales;Uid=sa;Pwd={ pw };"},
        {"a;b", "1433", false, " pw ", "{a;b,1433};Database=Sales;Uid=sa;Pwd={ pw };"},
        {"a;b", "1433", true, " pw ", "{a;b};Database=Sales;Uid=sa;Pwd={ pw };"},
    };
    for (const auto& c : cases) {
        form.Text5 = c.server;
        form.Text6 = c.port;
        form.Check4 = c.local;
        form.Text4 = c.password;
        const std::string expected = std::string("Driver={SQL Server};Server=") + c.text;
        EXPECT_EQ(MSSQL::ConnectionText(services, form).reveal(), expected);
        EXPECT_EQ(MSSQL::ConnectionText(services, form, c.local).reveal(), expected);
    }
}

TEST_F(ModulesTest, CanConnectAndListTablesWithEveryUserTable)
{
    servers.state.tables = {{"TABLE", "Orders"}, {"TABLE", "Analysis"}, {"TABLE", "SYSTEM_LOG"},
                            {"VIEW", "OrderView"}, {"SYSTEM TABLE", "sysobjects"}, {"TABLE", "Orders"}};
    EXPECT_TRUE(MSSQL::CanConnect(services, form));
    core::ListItems list{"old"};
    MSSQL::ListTables(services, form, list);
    EXPECT_EQ(list, (core::ListItems{"Orders", "Analysis", "SYSTEM_LOG", "Orders"}));
    EXPECT_EQ(servers.state.closes, 1);

    servers.state.refuseLogin = true;
    EXPECT_FALSE(MSSQL::CanConnect(services, form));
    EXPECT_EQ(MSSQL::NoConnectionReason(services, form), "The field \"Server:\" is empty.");  // not the driver's riddle
    list = {"kept"};
    EXPECT_THROW(MSSQL::ListTables(services, form, list), std::exception);
    EXPECT_EQ(list, core::ListItems{"kept"});
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ModulesTest, LoginTestShowsOneOfItsTwoMessages)
{
    form.Text5 = "SRV1";
    MSSQL::TestConnection(services, form);
    servers.state.refuseLogin = true;
    MSSQL::TestConnection(services, form);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].text, "Connection successful.");
    EXPECT_EQ(dialogs.messages[1].text, "Could not connect. Please check with your administrator.\r\n"
                                        "Could not connect to the server SRV1,1433: SQLException: [SQLSTATE 28000] "
                                        "Login failed for user 'sa'.");
    EXPECT_EQ(dialogs.messages[1].icon, platform::Icon::Warning);
    EXPECT_EQ(form.busy, (std::vector<bool>{true, false, true, false}));

    // Neither message can be shown: the hourglass still goes.
    dialogs.failing = true;
    MSSQL::TestConnection(services, form);
    EXPECT_EQ(dialogs.messages.size(), 3u);
    EXPECT_EQ(form.busy, (std::vector<bool>{true, false, true, false, true, false}));
}

TEST_F(ModulesTest, LoginHelpTextsAndThePicture)
{
    dialogs.answers = {platform::Answer::No};
    MSSQL::LoginHelp(services);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].text,
              "If you cannot establish connection to your MS SQL Server database with this program, "
              "please go to: \r\rhttps://dbeaver.io/download/\r\rDownload and install the DBeaver "
              "Community. Try to connect to the same database (with the same login information you are "
              "using here). This will determine if the login you are using is correct.");
    EXPECT_EQ(dialogs.messages[1].text, "Would you like to see an image of how I connect locally?");
    EXPECT_EQ(dialogs.messages[1].buttons, platform::Buttons::YesNo);
    EXPECT_TRUE(desktop.opened.empty());

    MSSQL::LoginHelp(services);
    ASSERT_EQ(desktop.opened.size(), 1u);
    EXPECT_EQ(desktop.opened[0], services.paths.folder + "/local-connection-example.jpg");
}

TEST_F(ModulesTest, BrowseButtonStartsAtTheFieldsFolderElseTheStoredOneAndCancelChangesNothing)
{
    form.Text1 = "/before";
    settings.write("Marrowby", "Dovenmark", "LastFolderDot", (dir / "drive").string());
    AddFolder::BrowseForParadoxFolder(services, form);
    form.Text1 = (dir / "program").string();
    AddFolder::BrowseForParadoxFolder(services, form);
    ASSERT_EQ(desktop.pickRequests.size(), 2u);
    EXPECT_EQ(desktop.pickRequests[0].first, "Please select folder:");
    EXPECT_EQ(desktop.pickRequests[0].second, (dir / "drive").string());
    EXPECT_EQ(desktop.pickRequests[1].second, (dir / "program").string());
    EXPECT_EQ(form.Text1, (dir / "program").string());
    EXPECT_TRUE(dialogs.messages.empty());

    const auto chosen = dir / "My Documents" / "tables";
    std::filesystem::create_directories(chosen);
    desktop.folderToPick = chosen.string();
    dialogs.answers = {platform::Answer::Yes};
    AddFolder::BrowseForParadoxFolder(services, form);
    ASSERT_EQ(dialogs.messages.size(), 1u);  // the copy question
    EXPECT_EQ(form.Text1, (dir / "drive" / "TestDB").string());
}
