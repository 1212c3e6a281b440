// Where the tests find the shared Paradox tables, and temporary folders that
// remove themselves.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// The folder ../shared/testdata/paradox beside the repository (or the one named
// by DOVENMARK_TESTDATA), when it exists.
std::optional<std::filesystem::path> paradoxTestdata();

// Use at the start of a test that needs the shared tables:
//   auto dir = testsupport::paradoxTestdata(); if (!dir) GTEST_SKIP() << kNoTestdata;
inline constexpr const char* kNoTestdata =
    "shared Paradox test data not found (../shared/testdata/paradox beside the repository, "
    "or set DOVENMARK_TESTDATA); skipping";

// The names in a folder in the order the file system lists them.
std::vector<std::string> DirectoryOrder(const std::filesystem::path& folder);

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

}  // namespace testsupport
