// What the run and preview benchmarks share: the benchmark table, a private
// unixODBC configuration with the SQLite driver registered as "SQL Server",
// scratch folders on /dev/shm, the process's memory figures and a median.
#pragma once

#include "paradox/writer/table_writer.h"
#include "platform/dialogs.h"
#include "platform/odbc/driver_registry.h"
#include "platform/odbc/odbc_server_connection.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace benchsupport {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The rows of a table of an SQLite file, -1 when it cannot be read.
inline long long RowCount(const fs::path& database, const std::string& table)
{
    sqlite3* db = nullptr;
    long long rows = -1;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        const std::string query = "SELECT COUNT(*) FROM [" + table + "]";
        if (sqlite3_prepare_v2(db, query.c_str(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
            rows = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return rows;
}

inline void RemoveDatabase(const fs::path& database)
{
    std::error_code ec;
    fs::remove(database, ec);
    fs::remove(database.string() + "-journal", ec);
}

// A folder of its own, removed with everything in it at the end.
class ScratchFolder {
public:
    // Under /dev/shm when there is one (autocommit inserts on a disk file wait
    // for a sync each), else under the temporary folder.
    explicit ScratchFolder(const std::string& prefix)
    {
        std::error_code ec;
        const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::random_device rd;
        path_ = base / (prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
        fs::create_directories(path_);
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// odbcinst.ini naming the SQLite driver "SQL Server" and an empty odbc.ini,
// named by ODBCSYSINI and ODBCINI; make one before the first ODBC call.
class PrivateOdbc {
public:
    PrivateOdbc() : folder_("dovenmark-bench-odbc")
    {
        const std::string driver = platform::odbc::ResolveDriverLibrary("libsqlite3odbc.so");
        if (driver.empty())
            throw std::runtime_error("the SQLite ODBC driver (libsqliteodbc) is not installed");
        std::ofstream(folder_.path() / "odbcinst.ini")
            << "[SQL Server]\nDescription=SQLite standing in for SQL Server\nDriver=" << driver << "\n";
        std::ofstream(folder_.path() / "odbc.ini") << "";
        ::setenv("ODBCSYSINI", folder_.path().c_str(), 1);
        ::setenv("ODBCINI", (folder_.path() / "odbc.ini").c_str(), 1);
    }

    // The program's kind of connection text for an SQLite file.
    static std::string ConnectionText(const fs::path& database)
    {
        return "Driver={SQL Server};Server=localhost;Database=" + database.string() + ";";
    }

private:
    ScratchFolder folder_;
};

// The real connection where the driver cannot switch autocommit off: the run
// and Execute SQL then commit each statement on their own, as they did before
// transactions.
class EachStatementCommitted final : public platform::ServerConnection {
public:
    void setCursorLocation(int l) override { real_.setCursorLocation(l); }
    void setCommandTimeout(int s) override { real_.setCommandTimeout(s); }
    void setConnectionTimeout(int s) override { real_.setConnectionTimeout(s); }
    void open(const platform::SecretText& text) override { real_.open(text); }
    bool isOpen() const override { return real_.isOpen(); }
    void execute(const std::string& sql) override { real_.execute(sql); }
    std::vector<platform::SchemaTable> tables() override { return real_.tables(); }
    void close() override { real_.close(); }

private:
    platform::OdbcServerConnection real_;
};

struct EachStatementCommittedFactory : platform::ServerConnectionFactory {
    std::unique_ptr<platform::ServerConnection> create() override
    {
        return std::make_unique<EachStatementCommitted>();
    }
};

inline constexpr const char* kTableName = "BENCHRUN";

// A table of ten mixed fields: Long, Alpha, Alpha, Number, Date, Logical,
// Alpha with every seventh value NULL, Short, Timestamp, Currency.
inline void WriteRunTable(const fs::path& folder, int records)
{
    using paradox::FieldType;
    using paradox::Value;
    paradox::writer::TableDesign design;
    design.blockSizeCode = 32;
    design.tableName = std::string(kTableName) + ".db";
    design.fields = {{"Id", FieldType::Long},          {"Name", FieldType::Alpha, 24},  {"City", FieldType::Alpha, 16},
                   {"Ratio", FieldType::Number},     {"Born", FieldType::Date},       {"Active", FieldType::Logical},
                   {"Note", FieldType::Alpha, 20},   {"Rank", FieldType::Short},      {"Seen", FieldType::Timestamp},
                   {"Price", FieldType::Currency}};
    paradox::writer::TableWriter w(design);
    const char* cities[] = {"Zürich", "Paris", "Oslo", "Köln", "Lisboa", "O'Hare"};
    for (int r = 0; r < records; ++r) {
        const std::string name = "Customer " + std::to_string(r);
        const std::string note = "note " + std::to_string(r % 977);
        w.addRecord({Value::ofInteger(r + 1), Value::ofText(name), Value::ofText(cities[r % 6]),
                     Value::ofDouble(r / 7.0), Value::ofDate(paradox::CivilFromDays(700000 + r % 30000)),
                     Value::ofBoolean(r % 3 == 0), r % 7 ? Value::ofText(note) : Value::null(),
                     Value::ofInteger(r % 1000 - 500),
                     Value::ofTimestamp(paradox::CivilFromDays(730000 + r % 5000), (r * 1000LL) % 86'400'000),
                     Value::ofCurrency(r * 0.01)});
    }
    fs::create_directories(folder);
    w.writeFiles(folder / design.tableName, folder / (std::string(kTableName) + ".mb"));
}

// A figure of /proc/self/status in bytes ("VmHWM" peak, "VmRSS" now).
inline long long StatusBytes(const char* key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) == 0)
            return std::atoll(line.c_str() + prefix.size()) * 1024;
    }
    return -1;
}

// A number with a fixed count of decimals, for the figures table.
inline std::string Fixed(double v, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
    return buffer;
}

// One line of the figures table that tools/bench prints.
inline void Figure(const std::string& name, const std::string& value, const std::string& target,
                   const char* verdict)
{
    std::printf("FIGURE\t%s\t%s\t%s\t%s\n", name.c_str(), value.c_str(), target.c_str(), verdict);
    std::fflush(stdout);
}

inline double MiB(long long bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// Records every message and answers No to questions; "Done." is the run's end.
struct RecordingDialogs : platform::Dialogs {
    std::vector<platform::Message> messages;
    platform::Answer show(const platform::Message& message) override
    {
        messages.push_back(message);
        return message.buttons == platform::Buttons::YesNo ? platform::Answer::No : platform::Answer::Ok;
    }
    // Messages other than "Done." (error reports, mostly).
    int others() const
    {
        return static_cast<int>(std::count_if(messages.begin(), messages.end(),
                                              [](const platform::Message& m) { return m.text != "Done."; }));
    }
    std::string firstOther() const
    {
        for (const auto& m : messages)
            if (m.text != "Done.")
                return m.text;
        return {};
    }
};

}  // namespace benchsupport
