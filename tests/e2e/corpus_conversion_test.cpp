// End to end: every folder of the shared corpus (tables made by Paradox
// software) converted in direct mode by the real run, through the real ODBC
// path into an SQLite database standing in for SQL Server, and every value read
// back and compared with the reference dump, worked out here from the dump:
// - "Text" column types by the statement rules (dates as 'MM/DD/YYYY', logicals
//   as 'True'/'False', numbers as numbers);
// - "SQL Server" column types with Transfer Binary on: texts as stored (also
//   read in another code page), dates as 'YYYY-MM-DD', currencies to four
//   decimals, logicals 1/0, bytes and pictures byte for byte, and every keyed
//   table with its key; and the statements `script` writes for SQL Server,
//   read by T-SQL's rules for constants, hold the dump's values exactly (BCD
//   digits included, which SQLite keeps only as doubles).
#include "conversion/conversion_run.h"
#include "platform/odbc/odbc_server_connection.h"
#include "platform/paradox_source/paradox_source_connection.h"
#include "paradox/codepage.h"
#include "paradox/sha256.h"
#include "sources/paradox_module.h"
#include "tests/conversion/tsql_values.h"
#include "tests/platform/odbc_test_environment.h"
#include "tests/support/pxdump.h"
#include "tests/support/run_program.h"
#include "tests/support/run_services.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cctype>
#include <cmath>
#include <map>
#include <cstdio>
#include <memory>
#include <set>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;
using RealRun = RunServices<platform::OdbcServerConnectionFactory, platform::ParadoxSourceConnectionFactory>;

[[maybe_unused]] auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new OdbcTestEnvironment(
    "[SQL Server]\nDescription=SQLite standing in for SQL Server\nDriver=" + SqliteDriverLibrary() + "\n"));

bool IsBinaryType(int code)
{
    return code == 0x0D || code == 0x0E || code == 0x0F || code == 0x10;
}

// One case: a folder of the corpus, the column types, and a code page that
// overrides the tables' own (empty: theirs).
struct Case {
    fs::path folder;
    std::string label;
    bool sqlServerTypes = false;
    std::string codePage;

    // The text of a text field as the run reads it.
    std::string text(const DumpRecord& record, std::size_t field) const
    {
        const auto raw = record.raw.find(field);
        if (codePage.empty() || raw == record.raw.end())
            return UnescapeDumpText(record.values[field]);
        std::string bytes;
        for (std::size_t i = 0; i + 1 < raw->second.size(); i += 2)
            bytes.push_back(static_cast<char>(std::stoi(raw->second.substr(i, 2), nullptr, 16)));
        std::string utf8;
        paradox::TextDecoder(codePage).decode(bytes, utf8);
        return utf8;
    }
};

// What the SQLite table must hold for one value of the dump after the insert,
// worked out here from the dump, not by the program's own code.
struct Expected {
    enum Kind { Null, Integer, Real, Text, Blob } kind = Null;
    std::string text;     // Text; Blob: its SHA-256
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

// ADO's Currency: four decimals.
double FourDecimals(double value)
{
    return std::nearbyint(value * 10'000.0) / 10'000.0;
}

std::string Bytes(const std::string& hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// The dump prints BCD nibbles that are no decimal digits as ":;<=>?". After the
// first decimal they are noise past the stored number (bcd.db column C holds
// 0.123, -0.123 and 0.9999 so): the digits before them arrive.
std::string BcdDigits(const std::string& dumped)
{
    return dumped.substr(0, dumped.find_first_not_of("-.0123456789"));
}

Expected ExpectedText(int typeCode, const std::string& dumped)
{
    if (IsBinaryType(typeCode))
        return {};
    switch (typeCode) {
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
    case 0x17: return {Expected::Real, {}, std::stod(BcdDigits(dumped))};
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

Expected ExpectedTyped(int typeCode, const std::string& dumped)
{
    switch (typeCode) {
    case 0x02:
    case 0x14: return {Expected::Text, dumped};
    case 0x03:
    case 0x04:
    case 0x16: return {Expected::Integer, {}, std::stod(dumped)};
    case 0x05: return {Expected::Real, {}, FourDecimals(std::stod(dumped))};
    case 0x06: return {Expected::Real, {}, std::stod(dumped)};
    case 0x09: return {Expected::Integer, {}, dumped == "true" ? 1.0 : 0.0};
    case 0x15: return {Expected::Text, dumped.substr(0, 10) + "T" + dumped.substr(11)};
    case 0x17: return {Expected::Real, {}, std::stod(BcdDigits(dumped))};
    case 0x18: return {Expected::Blob, paradox::Sha256Hex(Bytes(dumped))};
    default: return {Expected::Text, "<unknown field type>"};
    }
}

Expected ExpectedOf(const Case& c, int typeCode, const DumpRecord& record, std::size_t field)
{
    const std::string& dumped = record.values[field];
    if (dumped == "\\N")
        return {};
    if (typeCode == 0x01 || typeCode == 0x0C) {
        const std::string text = c.text(record, field);
        return text.empty() ? Expected{} : Expected{Expected::Text, text};
    }
    if (!c.sqlServerTypes)
        return ExpectedText(typeCode, dumped);
    if (IsBinaryType(typeCode))
        return {Expected::Blob, DumpedBlobOf(record, field).sha256};
    return ExpectedTyped(typeCode, dumped);
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
    bool has(const char* type, const std::string& name)
    {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE type=? AND name=?", -1, &s, nullptr);
        sqlite3_bind_text(s, 1, type, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 2, name.c_str(), -1, SQLITE_TRANSIENT);
        const bool found = sqlite3_step(s) == SQLITE_ROW;
        sqlite3_finalize(s);
        return found;
    }
    sqlite3* handle() { return db_; }

private:
    sqlite3* db_ = nullptr;
};

// Compares one stored row with the dump's record; "" when they agree.
std::string CompareRow(const Case& c, sqlite3_stmt* row, const Dump& dump, const DumpRecord& record)
{
    if (sqlite3_column_count(row) != static_cast<int>(dump.fields.size()))
        return "column count differs";
    std::string differences;
    for (int k = 0; k < static_cast<int>(dump.fields.size()); ++k) {
        const std::size_t f = static_cast<std::size_t>(k);
        const Expected want = ExpectedOf(c, dump.fields[f].typeCode, record, f);
        const int type = sqlite3_column_type(row, k);
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(row, k));
        const std::string stored =
            p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(row, k))) : "NULL";
        bool same = false;
        switch (want.kind) {
        case Expected::Null: same = type == SQLITE_NULL; break;
        case Expected::Integer:
            same = type == SQLITE_INTEGER && static_cast<double>(sqlite3_column_int64(row, k)) == want.number;
            break;
        case Expected::Real:
            same = (type == SQLITE_FLOAT || type == SQLITE_INTEGER) && SameNumber(sqlite3_column_double(row, k), want.number);
            break;
        case Expected::Text: same = type == SQLITE_TEXT && stored == want.text; break;
        case Expected::Blob: {
            const auto* b = static_cast<const char*>(sqlite3_column_blob(row, k));
            const std::string bytes(b ? b : "", static_cast<std::size_t>(sqlite3_column_bytes(row, k)));
            same = type == SQLITE_BLOB && paradox::Sha256Hex(bytes) == want.text;
            break;
        }
        }
        if (!same)
            differences += "\n  " + dump.fields[f].name + ": dump " + record.values[f] + ", stored " + stored.substr(0, 80);
    }
    return differences;
}

// What SQL Server stores for one value item of a `script` statement (read by
// T-SQL's rules for constants), against the dump's value; "" when they agree.
std::string CompareItem(const Case& c, int typeCode, const std::optional<std::string>& item, const DumpRecord& record,
                        std::size_t field)
{
    const std::string& dumped = record.values[field];
    std::optional<std::string> want;
    if (dumped == "\\N") {
    } else if (typeCode == 0x01 || typeCode == 0x0C) {
        if (const std::string text = c.text(record, field); !text.empty())
            want = text;
    } else if (IsBinaryType(typeCode) || typeCode == 0x18) {
        const std::string sha = typeCode == 0x18 ? paradox::Sha256Hex(Bytes(dumped)) : DumpedBlobOf(record, field).sha256;
        if (!item || item->rfind("0x", 0) != 0 || paradox::Sha256Hex(Bytes(item->substr(2))) != sha)
            return "bytes differ";
        return "";
    } else if (typeCode == 0x05 || typeCode == 0x06) {
        const double number = typeCode == 0x05 ? FourDecimals(std::stod(dumped)) : std::stod(dumped);
        return item && std::stod(*item) == number ? "" : "number differs";
    } else if (typeCode == 0x17) {
        return item && NormalDecimal(*item) == NormalDecimal(BcdDigits(dumped)) ? "" : "digits differ";
    } else if (typeCode == 0x09) {
        want = dumped == "true" ? "1" : "0";
    } else if (typeCode == 0x15) {
        want = dumped.substr(0, 10) + "T" + dumped.substr(11);
    } else {
        want = dumped;  // dates, times and whole numbers are written as the dump prints them
    }
    return item == want ? "" : "written " + item.value_or("NULL").substr(0, 80);
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

// Every folder with each choice of column types; one folder also read as Cyrillic.
std::vector<Case> CorpusCases()
{
    std::vector<Case> cases;
    for (const Folder& f : CorpusFolders()) {
        cases.push_back({f.path, f.label, false, ""});
        cases.push_back({f.path, f.label + "_sqlserver", true, ""});
        if (f.label == "paradoxdriver_db")
            cases.push_back({f.path, f.label + "_sqlserver_cp866", true, "CP866"});
    }
    return cases;
}

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.label;
}

class CorpusFolder : public ::testing::TestWithParam<Case> {};
class CorpusScript : public ::testing::TestWithParam<Case> {};

std::vector<Case> SqlServerTypeCases()
{
    std::vector<Case> cases;
    for (const Case& c : CorpusCases()) {
        if (c.sqlServerTypes)
            cases.push_back(c);
    }
    return cases;
}

}  // namespace

TEST_P(CorpusFolder, DirectModeDeliversEveryValue)
{
    const Case& c = GetParam();
    const fs::path database = OdbcTestEnvironment::dataFolder() / (c.label + ".sqlite");
    fs::remove(database);

    RealRun run;
    run.fill(c.folder, "localhost", database.string());
    conversion::RunOptions options{false};
    options.sourceCodePage = c.codePage;
    if (c.sqlServerTypes) {
        options.columnTypes = conversion::ColumnTypes::SqlServer;
        options.transferBinary = true;
        options.rules = conversion::RuleChoice::Keys;  // the rules have a test of their own
    }
    const conversion::RunResult result = run.convert(options);
    ASSERT_FALSE(run.dialogs.messages.empty());
    // Each table counted on the server after its last commit holds its records.
    std::string held;
    for (const conversion::TableResult& t : result.tables)
        held += (held.empty() ? "" : "; ") + t.table + " " + conversion::Grouped(t.recordsRead);
    const std::string done = "Done.\r\n\r\nRows on the server: " + held;
    EXPECT_EQ(run.dialogs.messages.back().text, done);

    const std::string reports = run.dialogs.transcript();
    // Every value fits its type and every key could be made: nothing is reported.
    if (c.sqlServerTypes) {
        EXPECT_EQ(reports, done + "\n");
    }

    SqliteFile db(database);
    std::size_t compared = 0;
    for (const auto& t : DumpedTables()) {
        if (t.table.parent_path() != c.folder)
            continue;
        const std::string name = Paradox::TableNameOf(t.table.filename().string());
        SCOPED_TRACE(name);
        const Dump dump = ReadDump(t.dump);
        ASSERT_TRUE(db.has("table", name)) << reports;
        if (c.sqlServerTypes) {
            EXPECT_EQ(db.has("index", "PK_" + name), dump.keyFields > 0) << reports;
        }
        sqlite3_stmt* rows = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db.handle(), ("SELECT * FROM [" + name + "] ORDER BY rowid").c_str(), -1,
                                     &rows, nullptr),
                  SQLITE_OK);
        std::size_t r = 0;
        while (sqlite3_step(rows) == SQLITE_ROW) {
            ASSERT_LT(r, dump.records.size());
            EXPECT_EQ(CompareRow(c, rows, dump, dump.records[r]), "") << "record " << r;
            ++r;
        }
        sqlite3_finalize(rows);
        EXPECT_EQ(r, dump.records.size());
        compared += r;
    }
    EXPECT_GT(compared, 0u) << "no record of " << c.label << " was compared";
}

TEST_P(CorpusScript, StatementsHoldTheDumpsValuesByTsqlRules)
{
    const Case& c = GetParam();
    TempDir dir;
    const ProgramRun script = RunProgram(dir, Quoted(DOVENMARK_CLI) + " script " + Quoted(c.folder.string())
                                                  + " --column-types sqlserver --binary"
                                                  + (c.codePage.empty() ? "" : " --codepage " + c.codePage));
    std::map<std::string, Dump> dumps;
    for (const auto& t : DumpedTables()) {
        if (t.table.parent_path() == c.folder)
            dumps[Paradox::TableNameOf(t.table.filename().string())] = ReadDump(t.dump);
    }
    std::map<std::string, std::size_t> records;
    for (std::size_t at = 0, end; (end = script.out.find("\nGO\n", at)) != std::string::npos; at = end + 4) {
        const std::string_view s(script.out.data() + at, end - at);
        if (s.rfind("INSERT INTO [", 0) != 0)
            continue;
        const std::string name(s.substr(13, s.find(']') - 13));
        const auto dump = dumps.find(name);
        if (dump == dumps.end())
            continue;  // a table of a subfolder
        const std::size_t r = records[name]++;
        ASSERT_LT(r, dump->second.records.size()) << name;
        const auto items = TsqlValues::itemsOf(s);
        ASSERT_EQ(items.size(), dump->second.fields.size()) << name;
        for (std::size_t f = 0; f < items.size(); ++f) {
            EXPECT_EQ(CompareItem(c, dump->second.fields[f].typeCode, items[f], dump->second.records[r], f), "")
                << name << " record " << r << " " << dump->second.fields[f].name;
        }
    }
    for (const auto& [name, dump] : dumps)
        EXPECT_EQ(records[name], dump.records.size()) << name;
}

INSTANTIATE_TEST_SUITE_P(SharedCorpus, CorpusFolder, ::testing::ValuesIn(CorpusCases()),
                         [](const auto& param) { return param.param.label; });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusFolder);
INSTANTIATE_TEST_SUITE_P(SharedCorpus, CorpusScript, ::testing::ValuesIn(SqlServerTypeCases()),
                         [](const auto& param) { return param.param.label; });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusScript);

TEST(SharedCorpus, IsThere)
{
    if (!paradoxTestdata())
        GTEST_SKIP() << kNoTestdata;
    EXPECT_GE(CorpusFolders().size(), 5u);
}
