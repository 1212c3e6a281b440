// ListFiles and IsExistingFile on real temporary folders.
#include "sources/add_folder.h"
#include "tests/support/as_nobody.h"
#include "tests/support/testdata.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using testsupport::DirectoryOrder;
using testsupport::TempDir;

void Touch(const fs::path& file)
{
    std::ofstream(file) << "x";
}

TEST(ListFiles, ListsEveryMatchingFileInTheFileSystemsOrder)
{
    TempDir dir;
    for (int i = 0; i < 250; ++i)
        Touch(dir / ("T" + std::to_string(1000 + i) + ".db"));
    Touch(dir / "notes.txt");
    Touch(dir / "T9999.mb");
    const auto names = AddFolder::ListFiles(dir.str(), "*.db");
    ASSERT_EQ(names.size(), 250u);
    std::vector<std::string> expected = DirectoryOrder(dir.path());
    expected.erase(std::remove_if(expected.begin(), expected.end(),
                                  [](const std::string& n) { return n.substr(n.size() - 3) != ".db"; }),
                   expected.end());
    EXPECT_EQ(names, expected);
    // With or without the closing separator, the same list.
    EXPECT_EQ(AddFolder::ListFiles(dir.str() + "/", "*.db"), names);
}

// A broken link is listed, so that its reader says why it cannot be read.
TEST(ListFiles, MatchesLetterCaseFreelyAndReturnsOnlyOpenableFilesAndBrokenLinks)
{
    TempDir dir;
    for (const char* name : {"A.DB", "b.Db", "c.db", ".hidden.db", "d.dbf", "e.db.bak", "db", "f.mb"})
        Touch(dir / name);
    fs::create_directory(dir / "folder.db");
    fs::create_directory(dir / "real");
    fs::create_directory_symlink(dir / "real", dir / "linked-folder.db");
    fs::create_symlink(dir / "c.db", dir / "linked-file.DB");
    fs::create_symlink(dir / "missing", dir / "broken.db");
    ASSERT_EQ(mkfifo((dir / "pipe.db").c_str(), 0600), 0);  // must be passed over, not waited on
    auto names = AddFolder::ListFiles(dir.str(), "*.db");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".hidden.db", "A.DB", "b.Db", "broken.db", "c.db", "linked-file.DB"}));
}

TEST(ListFiles, GivesNothingForAFolderWithoutMatchesOrThatDoesNotExist)
{
    TempDir dir;
    Touch(dir / "readme.txt");
    fs::create_directory(dir / "sub.db");
    EXPECT_TRUE(AddFolder::ListFiles(dir.str(), "*.db").empty());
    EXPECT_TRUE(AddFolder::ListFiles((dir / "absent").string(), "*.db").empty());
}

// As a user who may not read everything: a table file without read permission
// is listed (whoever reads it says why it cannot), so is every file of a folder
// that may be listed but not entered; a folder that cannot be listed says why.
TEST(ListFiles, ListsFilesTheUserMayNotReadAndTellsWhyAFolderCannotBeRead)
{
    TempDir dir;
    Touch(dir / "open.db");
    Touch(dir / "closed.db");
    fs::permissions(dir / "closed.db", fs::perms::none);
    fs::create_directories(dir / "listable" / "sub.db");
    Touch(dir / "listable" / "inner.db");
    fs::permissions(dir / "listable", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::create_directory(dir / "locked");
    Touch(dir / "locked" / "hidden.db");
    fs::permissions(dir / "locked", fs::perms::none);
    const auto listed = testsupport::RunAsNobody([&] {
        std::string text;
        for (const fs::path& folder : {dir.path(), dir / "listable", dir / "locked"}) {
            std::error_code failure;
            auto names = AddFolder::ListFiles(folder.string(), "*.db", failure);
            std::sort(names.begin(), names.end());
            for (const auto& name : names)
                text += name + ";";
            text += (failure ? failure.message() : "read") + "\n";
        }
        return text;
    });
    fs::permissions(dir / "listable", fs::perms::owner_all);
    fs::permissions(dir / "locked", fs::perms::owner_all);
    if (!listed)
        GTEST_SKIP() << testsupport::kNoUnprivilegedUser;
    EXPECT_EQ(*listed, "closed.db;open.db;read\ninner.db;read\nPermission denied\n");
}

TEST(IsExistingFile, HoldsForOpenableRegularFilesOnly)
{
    TempDir dir;
    Touch(dir / "table.db");
    fs::create_directory(dir / "folder");
    fs::create_symlink(dir / "table.db", dir / "link");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const struct {
        std::string path;
        bool exists;
    } cases[] = {
        {(dir / "table.db").string(), true}, {(dir / "link").string(), true},
        {(dir / "folder").string(), false},  {(dir / "folder/").string(), false},
        {(dir / "absent").string(), false},  {(dir / "fifo").string(), false},
        {"/dev/null", false},                {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AddFolder::IsExistingFile(c.path), c.exists) << c.path;
}

}  // namespace
