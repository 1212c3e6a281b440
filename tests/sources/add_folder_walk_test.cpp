// The folder walk on real temporary trees: order, hidden folders, links,
// refused names, the length limit, unreadable folders and the error report.
#include "sources/add_folder.h"

#include "platform/event_loop.h"
#include "tests/support/as_nobody.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/testdata.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>

namespace {

namespace fs = std::filesystem;
using testsupport::ScriptedDialogs;
using testsupport::DirectoryOrder;
using testsupport::TempDir;

class CountingEvents : public platform::EventLoop {
public:
    void yield() override
    {
        ++calls;
        if (calls == failAt)
            throw std::runtime_error("The yield failed.");
        if (calls == actAt && action)
            action();
    }
    int calls = 0;
    int failAt = -1;
    int actAt = -1;
    std::function<void()> action;  // what the user does while the walk yields
};

// A tree under a temporary folder; results are shown relative to it ("/a/b/").
class Tree {
public:
    std::string root() const { return dir_.str(); }
    std::string entry(const std::string& relative = "/") const { return dir_.str() + relative; }
    void folder(const std::string& relative) const { fs::create_directories(dir_.str() + "/" + relative); }
    void link(const std::string& target, const std::string& relative) const
    {
        fs::create_directory_symlink(target, dir_.str() + "/" + relative);
    }

    // Walks from the given entries; every result relative to the tree.
    std::vector<std::string> walk(std::vector<std::string> entries, bool recursive = true,
                                  const std::string& driveRoot = "/")
    {
        for (auto& e : entries)
            e = entry(e);
        AddFolder::GetSubDirectories2016(entries, recursive, dialogs, events, driveRoot);
        return relative(entries);
    }

    std::vector<std::string> relative(const std::vector<std::string>& paths) const
    {
        std::vector<std::string> out;
        for (const auto& p : paths)
            out.push_back(p.rfind(root(), 0) == 0 ? p.substr(root().size()) : "OUTSIDE:" + p);
        return out;
    }

    ScriptedDialogs dialogs;
    CountingEvents events;

private:
    TempDir dir_;
};

// Level order by a queue, each folder's subfolders in the file system's order,
// the named folders left out: what the walk must produce for a tree without
// hidden or odd names.
std::vector<std::string> LevelOrder(const std::string& root, const std::set<std::string>& leaveOut = {})
{
    std::vector<std::string> out{"/"};
    for (std::size_t i = 0; i < out.size(); ++i) {
        for (const auto& e : fs::directory_iterator(root + out[i])) {
            if (e.is_directory() && !leaveOut.count(e.path().filename().string()))
                out.push_back(out[i] + e.path().filename().string() + "/");
        }
    }
    return out;
}

// Trees of plain folders: what the walk lists from its start entries, and
// that it reports nothing.
TEST(GetSubDirectories2016, ListsPlainTreesFromTheirStartEntries)
{
    const struct {
        const char* label;
        std::vector<const char*> folders;
        std::vector<std::string> entries;
        const char* driveRoot;  // within the tree; nullptr: "/"
        std::vector<std::string> listed;
    } cases[] = {
        {"a folder without subfolders stays alone", {}, {"/"}, nullptr, {"/"}},
        {"several start entries keep their order and absent ones stay", {"x/x1", "y/y1"}, {"/y/", "/x/", "/absent/"},
         nullptr, {"/y/", "/x/", "/absent/", "/y/y1/", "/x/x1/"}},
        {"hidden folders are neither listed nor entered", {".x/inner", "a/.git/objects", "a/src"}, {"/"}, nullptr,
         {"/", "/a/", "/a/src/"}},
        {"a hidden start entry is not entered", {".root/a/b"}, {"/.root/"}, nullptr, {"/.root/"}},
        {"the drive root is walked even when hidden", {".root/a/b"}, {"/.root/"}, "/.root",
         {"/.root/", "/.root/a/", "/.root/a/b/"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Tree tree;
        for (const char* f : c.folders)
            tree.folder(f);
        EXPECT_EQ(tree.walk(c.entries, true, c.driveRoot ? tree.entry(c.driveRoot) : "/"), c.listed);
        EXPECT_TRUE(tree.dialogs.messages.empty());
    }
}

TEST(GetSubDirectories2016, ListsLevelByLevel)
{
    Tree tree;
    tree.folder("Old");
    tree.folder("New/Jan");
    const auto order = DirectoryOrder(tree.root());
    const auto result = tree.walk({"/"});
    ASSERT_EQ(result.size(), 4u);
    EXPECT_EQ(result[0], "/");
    EXPECT_EQ(result[1], "/" + order[0] + "/");
    EXPECT_EQ(result[2], "/" + order[1] + "/");
    EXPECT_EQ(result[3], "/New/Jan/");
    EXPECT_TRUE(tree.dialogs.messages.empty());
}

TEST(GetSubDirectories2016, ADeeperTreeComesOutInLevelOrder)
{
    Tree tree;
    for (const char* f : {"a/a1/a11/a111", "a/a2", "b", "c/c1/c11", "c/c2/c21", "c/c3", "d/d1"})
        tree.folder(f);
    EXPECT_EQ(tree.walk({"/"}), LevelOrder(tree.root()));
    // Only the first level without the recursive flag.
    auto oneLevel = LevelOrder(tree.root());
    oneLevel.resize(5);
    EXPECT_EQ(tree.walk({"/"}, false), oneLevel);
}

TEST(GetSubDirectories2016, LinkedFoldersAreWalkedUnlessHidden)
{
    Tree tree;
    TempDir elsewhere;
    fs::create_directories(elsewhere / "sub/deeper");
    tree.folder("a");
    tree.link(elsewhere.str(), "a/linked");
    tree.link(elsewhere.str(), "a/.hiddenlink");
    EXPECT_EQ(tree.walk({"/"}), (std::vector<std::string>{"/", "/a/", "/a/linked/", "/a/linked/sub/",
                                                          "/a/linked/sub/deeper/"}));
}

TEST(GetSubDirectories2016, LinksBackToTheirOwnFolderOrAboveAreNotEntered)
{
    Tree tree;
    tree.folder("a/b/c");
    tree.folder("d");
    tree.link(tree.root() + "/a", "a/self");      // the folder that holds it
    tree.link(".", "a/b/dot");                    // the same, relative
    tree.link(tree.root(), "a/b/c/top");          // the walk's start
    tree.link("../..", "a/b/up");                 // two levels up: the start again
    tree.link("/", "d/fsroot");                   // the root of everything
    tree.link("../d", "a/sideways");              // a sibling: listed already as /d/
    const auto result = tree.walk({"/"});
    EXPECT_EQ(result, LevelOrder(tree.root(), {"self", "dot", "top", "up", "fsroot", "sideways"}));
    EXPECT_TRUE(tree.dialogs.messages.empty());
}

TEST(GetSubDirectories2016, EveryRealFolderIsVisitedOnceWhateverTheCycleOfLinks)
{
    TempDir elsewhere;
    const struct {
        const char* name;
        std::vector<std::string> folders;
        std::vector<std::pair<std::string, std::string>> links;  // target, link
    } cases[] = {
        // Siblings linked to each other twice over: the paths would double at every level.
        {"siblings", {"a", "b"}, {{"../b", "a/l"}, {"../b", "a/m"}, {"../a", "b/l"}, {"../a", "b/m"}}},
        // A ring of three, one level deeper.
        {"ring", {"r/a", "r/b", "r/c"}, {{"../b", "r/a/n"}, {"../c", "r/b/n"}, {"../a", "r/c/n"}}},
        // Out through one link and back in through another, to a sibling.
        {"outside", {"a", "b"}, {{elsewhere.str(), "a/out"}, {"ROOT/b", "OUTSIDE/in"}}},
    };
    for (const auto& c : cases) {
        Tree tree;
        fs::remove_all(elsewhere / "in");
        std::set<std::string> real;  // the real folders, each with one table
        for (const auto& f : c.folders) {
            tree.folder(f);
            for (std::string at = f; !at.empty(); at = fs::path(at).parent_path().string())
                real.insert(at);
        }
        for (const auto& f : real)
            std::ofstream(tree.entry("/" + f + "/" + fs::path(f).filename().string() + ".db")) << "x";
        for (auto [target, link] : c.links) {
            if (target.rfind("ROOT", 0) == 0)
                target = tree.root() + target.substr(4);
            if (link.rfind("OUTSIDE", 0) == 0)
                fs::create_directory_symlink(target, elsewhere / link.substr(8));
            else
                tree.link(target, link);
        }
        // Bounded: a walk that loops again ends with the alarm instead of hanging.
        const auto walked = testsupport::RunInChild([&] {
            const auto folders = tree.walk({"/"});
            std::string text;
            for (const auto& f : folders) {
                text += f;
                for (const auto& table : AddFolder::ListFiles(tree.entry(f), "*.db"))
                    text += " " + table;
                text += "\n";
            }
            return text;
        }, false, 20);
        ASSERT_TRUE(walked) << c.name << ": the walk did not finish";
        // Each real folder (the root, and "outside" once) once, with its table once.
        std::istringstream lines(*walked);
        std::multiset<std::string> tables;
        std::size_t count = 0;
        for (std::string line; std::getline(lines, line); ++count) {
            std::istringstream words(line);
            std::string word;
            words >> word;
            while (words >> word)
                tables.insert(word);
        }
        const std::size_t outside = std::string(c.name) == "outside" ? 1 : 0;
        EXPECT_EQ(count, real.size() + 1 + outside) << c.name << ":\n" << *walked;
        std::multiset<std::string> want;
        for (const auto& f : real)
            want.insert(fs::path(f).filename().string() + ".db");
        EXPECT_EQ(tables, want) << c.name << ":\n" << *walked;
        EXPECT_TRUE(tree.dialogs.messages.empty());
    }
}

TEST(GetSubDirectories2016, OddNamesAreSkippedWithEverythingBelowThem)
{
    Tree tree;
    for (const char* f : {"Vertrag \xE2\x80\x93 2021/inner", "what?/inner", "tab\there/inner",
                          "euro\xE2\x82\xAC/inner", "omega\xCE\xA9/inner", "bad\xFF/inner",
                          "Gr\xC3\xBC\xC3\x9F" "e/inner"})
        tree.folder(f);
    EXPECT_EQ(tree.walk({"/"}),
              (std::vector<std::string>{"/", "/Gr\xC3\xBC\xC3\x9F" "e/", "/Gr\xC3\xBC\xC3\x9F" "e/inner/"}));
    EXPECT_TRUE(tree.dialogs.messages.empty());
}

TEST(GetSubDirectories2016, PathsOf260CharactersAreListedButNotEntered)
{
    Tree tree;
    const std::size_t base = tree.entry().size();  // the root with its "/"
    // name + "/" after the root: 259 characters in all (entered), then 260 (not).
    const std::string entered(259 - base - 1, 'e');
    const std::string atLimit(260 - base - 1, 'l');
    // Characters, not bytes: 120 two-byte letters count as 120, so this path of
    // more than 260 bytes is entered.
    const std::string wide = [] {
        std::string s;
        for (int i = 0; i < 120; ++i)
            s += "\xC3\xA4";
        return s;
    }();
    tree.folder(entered + "/c/e");
    tree.folder(atLimit + "/d");
    tree.folder(wide + "/w/x");
    auto result = tree.walk({"/"});
    std::sort(result.begin(), result.end());
    std::vector<std::string> expected = {"/", "/" + entered + "/", "/" + entered + "/c/",
                                         "/" + atLimit + "/", "/" + wide + "/", "/" + wide + "/w/",
                                         "/" + wide + "/w/x/"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(result, expected);
}

TEST(GetSubDirectories2016, YieldsForEveryFolderExaminedAndEverySubfolder)
{
    Tree tree;
    tree.folder("x");
    tree.folder("y");
    tree.walk({"/"});
    // 114 for "/", 120 for x and y, 114 for x and y in the deeper walk, 156 for x and y.
    EXPECT_EQ(tree.events.calls, 7);
}

TEST(GetSubDirectories2016, FailuresBeforeTheFirstEntryIsEnteredAreReportedAndPassedOver)
{
    Tree tree;
    tree.folder("x");
    tree.events.failAt = 1;  // step 114 of the start entry
    EXPECT_EQ(tree.walk({"/"}), (std::vector<std::string>{"/", "/x/"}));
    ASSERT_EQ(tree.dialogs.messages.size(), 1u);
    EXPECT_NE(tree.dialogs.messages[0].text.find(
                  "The yield failed.\r\nin Fenwarp2021/08/31.AddFolder.GetSubDirectories2016 at line 114"),
              std::string::npos)
        << tree.dialogs.messages[0].text;
}

TEST(GetSubDirectories2016, OtherFailuresWhileListingKeepTheEntryQuietly)
{
    Tree tree;
    tree.folder("x");
    tree.folder("y");
    const auto order = DirectoryOrder(tree.root());
    tree.events.failAt = 3;  // step 120 of the second subfolder, after the first was found
    EXPECT_EQ(tree.walk({"/"}), (std::vector<std::string>{"/", "/" + order[0] + "/"}));
    EXPECT_TRUE(tree.dialogs.messages.empty());
}

TEST(GetSubDirectories2016, AFolderThatVanishesDuringTheWalkIsRemoved)
{
    Tree tree;
    tree.folder("gone/inner");
    tree.folder("kept/inner");
    // Step 114 of the first entry: the user deletes the folder, or puts a file in its place.
    for (const bool replaceByFile : {false, true}) {
        tree.events = CountingEvents{};
        tree.events.actAt = 1;
        tree.events.action = [&] {
            fs::remove_all(tree.root() + "/gone");
            if (replaceByFile)
                std::ofstream(tree.root() + "/gone") << "x";
        };
        EXPECT_EQ(tree.walk({"/gone/", "/kept/"}),
                  (std::vector<std::string>{"/kept/", "/kept/inner/"}))
            << (replaceByFile ? "replaced by a file" : "deleted");
        EXPECT_TRUE(tree.dialogs.messages.empty());
        fs::remove(tree.root() + "/gone");
        tree.folder("gone/inner");
    }
}

// Runs the walk as the user "nobody": one path a line, the number of messages
// shown, then each folder the walk could not read with the reason.
std::optional<std::string> WalkAsNobody(std::vector<std::string> entries)
{
    return testsupport::RunAsNobody([&] {
        ScriptedDialogs dialogs;
        platform::NoEventLoop events;
        std::vector<AddFolder::UnreadableFolder> unreadable;
        AddFolder::GetSubDirectories2016(entries, true, dialogs, events, "/", &unreadable);
        std::string text;
        for (const auto& e : entries)
            text += e + "\n";
        text += "messages: " + std::to_string(dialogs.messages.size()) + "\n";
        for (const auto& u : unreadable)
            text += "unreadable: " + u.folder + " (" + u.reason + ")\n";
        return text;
    });
}

// A folder that cannot be listed, and one inside a folder that may be listed
// but not entered: both left out and told with the reason, and the walk goes on.
TEST(GetSubDirectories2016, UnreadableFoldersDisappearAreToldAndTheWalkGoesOn)
{
    Tree tree;
    tree.folder("a/a1");
    tree.folder("locked/inner");
    tree.folder("peek/peek1");
    tree.folder("z/z1");
    fs::permissions(tree.root() + "/locked", fs::perms::none);
    fs::permissions(tree.root() + "/peek", fs::perms::owner_read | fs::perms::others_read);
    const auto order = DirectoryOrder(tree.root());
    const auto walked = WalkAsNobody({tree.entry("/")});
    fs::permissions(tree.root() + "/locked", fs::perms::owner_all);
    fs::permissions(tree.root() + "/peek", fs::perms::owner_all);
    if (!walked)
        GTEST_SKIP() << testsupport::kNoUnprivilegedUser;
    // Level one without the locked folder, then level two in the order of its parents.
    std::string want = tree.entry("/") + "\n";
    for (const auto& name : order) {
        if (name != "locked")
            want += tree.entry("/" + name + "/") + "\n";
    }
    for (const auto& name : order) {
        if (name != "locked" && name != "peek")
            want += tree.entry("/" + name + "/" + name + "1/") + "\n";
    }
    want += "messages: 0\n";
    // Told as the deeper walk examines level one: locked cannot be listed,
    // peek1 cannot be examined while peek is listed.
    for (const auto& name : order) {
        if (name == "locked")
            want += "unreadable: " + tree.entry("/locked/") + " (Permission denied)\n";
        if (name == "peek")
            want += "unreadable: " + tree.entry("/peek/peek1/") + " (Permission denied)\n";
    }
    EXPECT_EQ(*walked, want);
}

TEST(GetSubDirectories2016, AnUnreadableStartEntryIsRemoved)
{
    Tree tree;
    tree.folder("locked/inner");
    tree.folder("open/inner");
    fs::permissions(tree.root() + "/locked", fs::perms::none);
    const auto walked = WalkAsNobody({tree.entry("/locked/"), tree.entry("/open/")});
    fs::permissions(tree.root() + "/locked", fs::perms::owner_all);
    if (!walked)
        GTEST_SKIP() << testsupport::kNoUnprivilegedUser;
    EXPECT_EQ(*walked, tree.entry("/open/") + "\n" + tree.entry("/open/inner/") + "\nmessages: 0\n"
                           + "unreadable: " + tree.entry("/locked/") + " (Permission denied)\n");
}

TEST(FolderAttributes, ReadHiddenFromTheDotAndReparsePointsFromLinks)
{
    Tree tree;
    tree.folder("plain");
    tree.folder(".hidden");
    tree.link(tree.root() + "/plain", "link");
    tree.link(tree.root() + "/plain", ".hiddenlink");
    const struct {
        std::string path;
        int attributes;
    } cases[] = {
        {tree.entry("/plain/"), 16},   {tree.entry("/plain"), 16},  {tree.entry("/.hidden/"), 22},
        {tree.entry("/link/"), 1040},  {tree.entry("/.hiddenlink/"), 1046},
        {"/", 16},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AddFolder::FolderAttributes(c.path), c.attributes) << c.path;
    EXPECT_THROW(AddFolder::FolderAttributes(tree.entry("/absent/")), fs::filesystem_error);
}

TEST(IsRootFolder, ComparesWithTheDriveRoot)
{
    EXPECT_TRUE(AddFolder::IsRootFolder("/"));
    EXPECT_TRUE(AddFolder::IsRootFolder("//"));
    EXPECT_FALSE(AddFolder::IsRootFolder("/tmp/"));
    EXPECT_TRUE(AddFolder::IsRootFolder("/tmp/x/", "/tmp/x"));
    EXPECT_TRUE(AddFolder::IsRootFolder("/tmp/x", "/tmp/x/"));
    EXPECT_FALSE(AddFolder::IsRootFolder("/", "/tmp/x/"));
}

}  // namespace
