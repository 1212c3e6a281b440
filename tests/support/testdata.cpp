// Finding the shared test data; temporary folders.
#include "tests/support/testdata.h"

#include <cstdlib>
#include <random>
#include <stdexcept>
#include <system_error>

namespace testsupport {

std::optional<std::filesystem::path> paradoxTestdata()
{
    std::filesystem::path base = DOVENMARK_SHARED_TESTDATA;
    if (const char* env = std::getenv("DOVENMARK_TESTDATA"); env && *env)
        base = env;
    std::error_code ec;
    auto dir = base / "paradox";
    if (std::filesystem::is_directory(dir, ec))
        return std::filesystem::canonical(dir, ec);
    return std::nullopt;
}

std::vector<std::string> DirectoryOrder(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

TempDir::TempDir()
{
    std::random_device rd;
    std::mt19937_64 gen(rd());
    auto root = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = root / ("dovenmark-test-" + std::to_string(gen()));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

}  // namespace testsupport
