// The private ODBC configuration and the folder for the tests' database files.
#include "tests/platform/odbc_test_environment.h"

#include <cstdlib>
#include <fstream>
#include <random>

namespace testsupport {

namespace {
std::filesystem::path gDataFolder;
std::unique_ptr<TempDir> gFallbackData;
}  // namespace

void OdbcTestEnvironment::SetUp()
{
    config_ = std::make_unique<TempDir>();
    std::ofstream(config_->path() / "odbcinst.ini") << odbcinst_;
    std::ofstream(config_->path() / "odbc.ini") << "";
    setenv("ODBCSYSINI", config_->str().c_str(), 1);
    setenv("ODBCINI", (config_->path() / "odbc.ini").c_str(), 1);

    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec)) {
        std::random_device rd;
        gDataFolder = std::filesystem::path("/dev/shm") / ("dovenmark-odbc-" + std::to_string(rd()));
        std::filesystem::create_directory(gDataFolder, ec);
        if (ec)
            gDataFolder.clear();
    }
    if (gDataFolder.empty()) {
        gFallbackData = std::make_unique<TempDir>();
        gDataFolder = gFallbackData->path();
    }
}

void OdbcTestEnvironment::TearDown()
{
    std::error_code ec;
    if (!gFallbackData)
        std::filesystem::remove_all(gDataFolder, ec);
    gFallbackData.reset();
    gDataFolder.clear();
    config_.reset();
}

const std::filesystem::path& OdbcTestEnvironment::dataFolder()
{
    return gDataFolder;
}

}  // namespace testsupport

#include "platform/odbc/driver_registry.h"

namespace testsupport {

std::string SqliteDriverLibrary()
{
    return platform::odbc::ResolveDriverLibrary("libsqlite3odbc.so");
}

}  // namespace testsupport
