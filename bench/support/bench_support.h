// What the run and preview benchmarks share: the benchmark table, a private
// unixODBC configuration with the SQLite driver registered as "SQL Server",
// scratch folders on /dev/shm, a headless run, the bare execute loop, the
// comparison of three ways of doing the same work, the process's memory
// figures and a median.
#pragma once

#include "cli/headless.h"
#include "conversion/conversion_run.h"
#include "paradox/writer/table_writer.h"
#include "platform/dialogs.h"
#include "platform/odbc/driver_registry.h"
#include "platform/odbc/odbc_server_connection.h"
#include "platform/paradox_source/paradox_source_connection.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace benchsupport {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A benchmark's command line, one argument at a time.
class Arguments {
public:
    Arguments(int argc, char** argv) : argc_(argc), argv_(argv) {}
    // Steps to the next argument; false past the last.
    bool next() { return ++at_ < argc_; }
    bool is(const char* word) const { return std::string(argv_[at_]) == word; }
    // The n-th argument after this one; nullptr past the last.
    const char* ahead(int n) const { return at_ + n < argc_ ? argv_[at_ + n] : nullptr; }
    // "NAME VALUE": the value read when the argument is NAME and a value follows.
    bool option(const char* name, int& value) { return take(name, [&](const char* v) { value = std::atoi(v); }); }
    bool option(const char* name, fs::path& value) { return take(name, [&](const char* v) { value = v; }); }

private:
    template <class Read>
    bool take(const char* name, Read read)
    {
        if (!is(name) || at_ + 1 >= argc_)
            return false;
        read(argv_[++at_]);
        return true;
    }

    int argc_;
    char** argv_;
    int at_ = 0;
};

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

// A connection to the SQLite file opened the program's way; without
// transactions one that commits each statement on its own.
inline std::shared_ptr<platform::ServerConnection> OpenTarget(const fs::path& database, bool transactions)
{
    std::shared_ptr<platform::ServerConnection> connection;
    if (transactions)
        connection = std::make_shared<platform::OdbcServerConnection>();
    else
        connection = std::make_shared<EachStatementCommitted>();
    connection->setCursorLocation(platform::ServerConnection::kServerSideCursor);
    connection->setCommandTimeout(5000);
    connection->setConnectionTimeout(5000);
    connection->open(PrivateOdbc::ConnectionText(database));
    return connection;
}

// The statements, one execute each, in one transaction on one connection
// opened the program's way: the least any run of them can take. Its seconds.
inline double BareLoop(const std::vector<std::string>& statements, const fs::path& database)
{
    const auto start = Clock::now();
    auto connection = OpenTarget(database, true);
    if (!connection->setAutoCommit(false))
        throw std::runtime_error("the driver cannot switch autocommit off");
    for (const std::string& s : statements)
        connection->execute(s);
    connection->commit();
    connection->close();
    return SecondsSince(start);
}

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

// One run as the headless command drives it, into the SQLite file standing in
// for SQL Server; without transactions each statement is committed on its own.
struct HeadlessRun {
    HeadlessRun(const fs::path& folder, const fs::path& database, bool preview, bool inTransactions = true)
        : transactions(inTransactions)
    {
        form.quiet = true;
        form.folderText = folder.string();
        form.preview = preview;
        form.eachFile = preview;
        services.serverConnectionText = std::make_shared<const platform::SecretText>(PrivateOdbc::ConnectionText(database));
    }

    cli::HeadlessForm form{std::cerr};
    RecordingDialogs dialogs;
    platform::NoEventLoop events;
    platform::OdbcServerConnectionFactory transactionServers;
    EachStatementCommittedFactory eachStatementServers;
    bool transactions;
    platform::ParadoxSourceConnectionFactory sourceConnections;
    cli::NoDesktop desktop;
    cli::NoSettings settings;
    conversion::PreviewHandOff handOff;
    bool converting = false;
    cli::NoClipboard clipboard;
    core::Services services{dialogs, settings, clipboard, desktop, events,
                            transactions ? static_cast<platform::ServerConnectionFactory&>(transactionServers)
                                         : eachStatementServers,
                            sourceConnections, {"", "/"}};
    conversion::Run run{services, form, handOff, {}, converting, {/*offerCopy=*/false}};
};

// Where the compared ways write: a file in the target folder, or in the
// scratch folder when none is named; printed as "target database on/in ...".
struct Target {
    Target(const fs::path& scratch, const fs::path& folder, const std::string& prefix)
        : database((folder.empty() ? scratch : folder)
                   / (prefix + "-" + std::to_string(::getpid()) + ".sqlite")),
          where(folder.empty() ? "on " + scratch.parent_path().string() : "in " + folder.string())
    {
        std::cout << "target database " << where << "\n";
    }
    fs::path database;
    std::string where;
};

// The words of a comparison's lines and figures.
struct ComparisonWords {
    const char* title;   // the program's way, in the figure's name: "direct-mode run"
    const char* name;    // the same, short: "run"
    const char* oldWay;  // "run committing each statement"
    const char* items;   // what the bare loop executes: "statements"
    const char* units;   // what the counts count: "records"
};

// Three ways of doing the same work, timed `repeat` times each in rotating
// order so that none always goes first: 0 the program's, 1 the bare loop in one
// transaction, 2 the program's the old way, each statement committed on its
// own, over oldWayCount units rather than count (its units per second do not
// change with the count). measure(way) gives the way's seconds, nothing when it
// failed; the table must then hold as many rows as the way's units. Prints each
// repetition and the figures of the medians; false when a way failed.
template <class Measure>
bool CompareThreeWays(const ComparisonWords& words, const Target& target, const char* table, int count,
                      int oldWayCount, int repeat, Measure measure)
{
    std::vector<double> seconds[3], toLoop, speedUp;
    for (int i = 0; i < repeat; ++i) {
        double took[3] = {0, 0, 0};
        for (int k = 0; k < 3; ++k) {
            const int way = (i + k) % 3;
            RemoveDatabase(target.database);
            const std::optional<double> s = measure(way);
            const long long rows = s ? RowCount(target.database, table) : -1;
            const int expected = way == 2 ? oldWayCount : count;
            if (s && rows != expected)
                std::cerr << "the target holds " << rows << " rows, not " << expected << "\n";
            if (!s || rows != expected) {
                RemoveDatabase(target.database);
                return false;
            }
            took[way] = *s;
        }
        for (int k = 0; k < 3; ++k)
            seconds[k].push_back(took[k]);
        toLoop.push_back(took[0] / took[1]);
        // Units per second of the program's way over those of the old way.
        speedUp.push_back((took[2] / oldWayCount) / (took[0] / count));
        std::cout << "repetition " << i + 1 << ": " << words.name << " " << Fixed(took[0], 3)
                  << " s, bare loop in one transaction " << Fixed(took[1], 3) << " s, " << words.oldWay << " "
                  << Fixed(took[2], 3) << " s\n";
    }
    RemoveDatabase(target.database);
    const double ratio = Median(toLoop);
    const std::string label = std::to_string(count / 1000) + "k " + words.units + " " + target.where;
    Figure(std::string(words.title) + ", " + label + " (median of " + std::to_string(repeat) + ")",
           Fixed(Median(seconds[0]), 3) + " s", "", "");
    Figure(std::string("bare execute loop in one transaction, same ") + words.items + " (median)",
           Fixed(Median(seconds[1]), 3) + " s", "", "");
    Figure(std::string(words.oldWay) + ", the old way, " + std::to_string(oldWayCount / 1000) + "k " + words.units
               + " (median)",
           Fixed(Median(seconds[2]), 3) + " s", "", "");
    Figure(std::string(words.name) + " / bare loop in one transaction (median of ratios)", Fixed(ratio, 3), "<= 1.3",
           ratio <= 1.3 ? "ok" : "MISSED");
    Figure(std::string("old way / ") + words.name + ": speed-up (median of ratios)", Fixed(Median(speedUp), 1) + "x",
           "", "");
    return true;
}

}  // namespace benchsupport
