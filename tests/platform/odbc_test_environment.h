// A private unixODBC configuration for one test program: odbcinst.ini and an
// empty odbc.ini in a temporary folder, named by ODBCSYSINI and ODBCINI before
// the first ODBC call, so that the machine's own registry never takes part.
#pragma once

#include "platform/odbc/odbc_server_connection.h"
#include "tests/support/testdata.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class OdbcTestEnvironment : public ::testing::Environment {
public:
    // The text of odbcinst.ini for this program.
    explicit OdbcTestEnvironment(std::string odbcinst) : odbcinst_(std::move(odbcinst)) {}
    void SetUp() override;
    void TearDown() override;

    // A folder for database files: /dev/shm when present (autocommit inserts on
    // a disk file wait for a sync each), else the temporary folder. Empty before SetUp.
    static const std::filesystem::path& dataFolder();

private:
    std::string odbcinst_;
    std::unique_ptr<TempDir> config_;
};

// What a connection hands to the driver, which it shows nobody else.
class OdbcConnectionPeer {
public:
    // From now on each connection text that the connection's open() hands to
    // the driver is added to `texts`, which must outlive the connection's opens.
    static void recordDriverTexts(platform::OdbcServerConnection& connection, std::vector<std::string>& texts)
    {
        connection.driverTextsSeen_ = &texts;
    }
};

// The SQLite ODBC driver of this machine (package libsqliteodbc), "" when absent.
std::string SqliteDriverLibrary();

}  // namespace testsupport
