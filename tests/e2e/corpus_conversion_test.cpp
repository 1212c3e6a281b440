// End to end: every folder of the shared corpus (tables made by Paradox
// software) converted in direct mode by the real run, through the real ODBC
// path into an SQLite database standing in for SQL Server, and every value read
// back and compared with the reference dump, rendered here by the statement
// rules (dates as 'MM/DD/YYYY', logicals as 'True'/'False', numbers as numbers).
#include "conversion/conversion_run.h"
#include "platform/odbc/odbc_server_connection.h"
#include "platform/paradox_source/paradox_source_connection.h"
#include "sources/paradox_module.h"
#include "tests/platform/odbc_test_environment.h"
#include "tests/support/fake_form.h"
#include "tests/support/memory_settings.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/pxdump.h"
#include "tests/support/scripted_dialogs.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <set>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

[[maybe_unused]] auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new OdbcTestEnvironment(
    "[SQL Server]\nDescription=SQLite standing in for SQL Server\nDriver=" + SqliteDriverLibrary() + "\n"));


bool IsBinaryType(int code)
{
    return code == 0x0D || code == 0x0E || code == 0x0F || code == 0x10;
}

// What the SQLite table must hold for one value of the dump after the insert,
// worked out here from the statement rules, not by the program's own code:
// numbers of INT and FLOAT columns as numbers, everything else as the quoted
// text, Null and empty values as NULL.
struct Expected {
    enum Kind { Null, Integer, Real, Text } kind = Null;
    std::string text;     // Text
    double number = 0;    // Integer, Real
};

// "2020-12-31" as "12/31/2020"; "23:59:58.500" as "23:59:58" (seconds only).
std::string UsDate(const std::string& iso)
{
    return iso.substr(5, 2) + "/" + iso.substr(8, 2) + "/" + iso.substr(0, 4);
}
std::string Seconds(const std::string& time) { return time.substr(0, 8); }

// A Paradox number (a double) as a TEXT column receives it: shortest form, at
// most four decimals for currency.
std::string CurrencyText(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.4f", value);
    std::string text = buffer;
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.')
        text.pop_back();
    return text == "-0" ? "0" : text;
}

Expected ExpectedOf(int typeCode, const std::string& dumped)
{
    if (dumped == "\\N" || IsBinaryType(typeCode))
        return {};
    switch (typeCode) {
    case 0x01:
    case 0x0C: {
        const std::string text = UnescapeDumpText(dumped);
        return text.empty() ? Expected{} : Expected{Expected::Text, text};
    }
    case 0x02: return {Expected::Text, UsDate(dumped)};
    case 0x03:
    case 0x04:
    case 0x16: return {Expected::Integer, {}, std::stod(dumped)};
    case 0x05: return {Expected::Text, CurrencyText(std::stod(dumped))};
    case 0x06: return {Expected::Real, {}, std::stod(dumped)};
    case 0x09: return {Expected::Text, dumped == "true" ? "True" : "False"};
    case 0x14: return {Expected::Text, "12/30/1899 " + Seconds(dumped)};
    case 0x15: {
        const auto space = dumped.rfind(' ');
        const std::string time = dumped.substr(space + 1);
        return {Expected::Text, UsDate(dumped.substr(0, space)) + (time == "00:00:00.000" ? "" : " " + Seconds(time))};
    }
    case 0x17: {
        // The dump prints nibbles that are no decimal digits as ":;<=>?".
        // After the first decimal they are noise past the stored number (bcd.db
        // column C holds 0.123, -0.123 and 0.9999 so): the digits before them arrive.
        const auto odd = dumped.find_first_not_of("-.0123456789");
        return {Expected::Real, {}, std::stod(dumped.substr(0, odd))};
    }
    case 0x18: {
        // A bytes field goes into a TEXT column as "0x" and its bytes in hex.
        std::string hex = dumped;
        for (char& c : hex)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return {Expected::Text, "0x" + hex};
    }
    default: return {Expected::Text, "<unknown field type>"};
    }
}

// Numbers are compared at 15 significant digits, as many as a value text keeps.
bool SameNumber(double a, double b)
{
    char x[40];
    char y[40];
    std::snprintf(x, sizeof x, "%.15g", a);
    std::snprintf(y, sizeof y, "%.15g", b);
    return std::string(x) == y;
}

class SqliteFile {
public:
    explicit SqliteFile(const fs::path& path)
    {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + path.string());
    }
    ~SqliteFile() { sqlite3_close(db_); }
    bool hasTable(const std::string& name)
    {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?", -1, &s, nullptr);
        sqlite3_bind_text(s, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        const bool found = sqlite3_step(s) == SQLITE_ROW;
        sqlite3_finalize(s);
        return found;
    }
    sqlite3* handle() { return db_; }

private:
    sqlite3* db_ = nullptr;
};

// Compares one stored row with the dump's record; "" when they agree.
std::string CompareRow(sqlite3_stmt* row, const Dump& dump, const DumpRecord& record)
{
    if (sqlite3_column_count(row) != static_cast<int>(dump.fields.size()))
        return "column count differs";
    std::string differences;
    for (int c = 0; c < static_cast<int>(dump.fields.size()); ++c) {
        const std::size_t f = static_cast<std::size_t>(c);
        const Expected want = ExpectedOf(dump.fields[f].typeCode, record.values[f]);
        const int type = sqlite3_column_type(row, c);
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(row, c));
        const std::string stored =
            p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(row, c))) : "NULL";
        bool same = false;
        switch (want.kind) {
        case Expected::Null: same = type == SQLITE_NULL; break;
        case Expected::Integer:
            same = type == SQLITE_INTEGER && static_cast<double>(sqlite3_column_int64(row, c)) == want.number;
            break;
        case Expected::Real:
            same = (type == SQLITE_FLOAT || type == SQLITE_INTEGER) && SameNumber(sqlite3_column_double(row, c), want.number);
            break;
        case Expected::Text: same = type == SQLITE_TEXT && stored == want.text; break;
        }
        if (!same)
            differences += "\n  " + dump.fields[f].name + ": dump " + record.values[f] + ", stored " + stored;
    }
    return differences;
}

struct Folder {
    fs::path path;
    std::string label;
};

std::vector<Folder> CorpusFolders()
{
    std::set<fs::path> folders;
    for (const auto& t : DumpedTables())
        folders.insert(t.table.parent_path());
    std::vector<Folder> out;
    for (const auto& f : folders) {
        std::string label = f.parent_path().filename().string() + "_" + f.filename().string();
        for (char& c : label)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        out.push_back({f, label});
    }
    return out;
}

class CorpusFolder : public ::testing::TestWithParam<Folder> {};

}  // namespace

TEST_P(CorpusFolder, DirectModeDeliversEveryValue)
{
    const Folder& folder = GetParam();
    const fs::path database = OdbcTestEnvironment::dataFolder() / (folder.label + ".sqlite");
    fs::remove(database);

    TempDir places;
    FakeForm form;
    form.Text1 = folder.path.string();
    form.Text5 = "localhost";
    form.Text8 = database.string();
    ScriptedDialogs dialogs;
    platform::NoEventLoop events;
    platform::OdbcServerConnectionFactory servers;
    platform::ParadoxSourceConnectionFactory sourceConnections;
    RecordingDesktop desktop;
    MemorySettings settings;
    conversion::PreviewHandOff handOff;
    bool converting = false;
    RecordingClipboard clipboard;
    core::Services services{dialogs, settings, clipboard, desktop, events, servers, sourceConnections,
                            {places.str(), places.str()}};
    conversion::Run run{services, form, handOff, {}, converting, {false}};
    conversion::StartConverting(run);
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.messages.back().text, "Done.");

    std::string reports;
    for (const auto& m : dialogs.messages)
        reports += m.text + "\n";

    SqliteFile db(database);
    std::size_t compared = 0;
    for (const auto& t : DumpedTables()) {
        if (t.table.parent_path() != folder.path)
            continue;
        const std::string name = Paradox::TableNameOf(t.table.filename().string());
        SCOPED_TRACE(name);
        const Dump dump = ReadDump(t.dump);
        ASSERT_TRUE(db.hasTable(name)) << reports;
        sqlite3_stmt* rows = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db.handle(), ("SELECT * FROM [" + name + "] ORDER BY rowid").c_str(), -1,
                                     &rows, nullptr),
                  SQLITE_OK);
        std::size_t r = 0;
        while (sqlite3_step(rows) == SQLITE_ROW) {
            ASSERT_LT(r, dump.records.size());
            EXPECT_EQ(CompareRow(rows, dump, dump.records[r]), "") << "record " << r;
            ++r;
        }
        sqlite3_finalize(rows);
        EXPECT_EQ(r, dump.records.size());
        compared += r;
    }
    EXPECT_GT(compared, 0u) << "no record of " << folder.label << " was compared";
}

INSTANTIATE_TEST_SUITE_P(SharedCorpus, CorpusFolder, ::testing::ValuesIn(CorpusFolders()),
                         [](const auto& param) { return param.param.label; });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusFolder);

TEST(SharedCorpus, IsThere)
{
    if (!paradoxTestdata())
        GTEST_SKIP() << kNoTestdata;
    EXPECT_GE(CorpusFolders().size(), 5u);
}
