// Binary data on request, end to end: with "Transfer Binary" on, every picture,
// OLE object and formatted memo of the shared corpus arrives byte for byte
// through the real run and the real ODBC path (SQLite standing in, written in
// its own spelling of VARBINARY(MAX) and binary constants), and so does an empty
// picture (0x) beside a missing one (NULL); and the statements that
// `dovenmark-cli script` writes hold well-formed binary constants exactly where
// the binary columns are, and NULL there without --binary.
#include "conversion/conversion_run.h"
#include "paradox/sha256.h"
#include "paradox/table.h"
#include "paradox/writer/table_writer.h"
#include "platform/odbc/odbc_server_connection.h"
#include "platform/paradox_source/paradox_source_connection.h"
#include "sources/paradox_module.h"
#include "tests/platform/odbc_test_environment.h"
#include "tests/support/insert_items.h"
#include "tests/support/pxdump.h"
#include "tests/support/run_program.h"
#include "tests/support/run_services.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <optional>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;
using RealRun = RunServices<platform::OdbcServerConnectionFactory, platform::ParadoxSourceConnectionFactory>;

// Paradox BLOb, formatted memo, OLE and graphic: the fields of type code 205.
bool IsBinaryType(int code)
{
    return code >= 0x0D && code <= 0x10;
}

bool HasBinaryField(const Dump& dump)
{
    for (const auto& f : dump.fields)
        if (IsBinaryType(f.typeCode))
            return true;
    return false;
}

std::vector<DumpedTable> PictureTables()
{
    std::vector<DumpedTable> out;
    for (const auto& t : DumpedTables())
        if (HasBinaryField(ReadDump(t.dump)))
            out.push_back(t);
    return out;
}

// The picture tables with their memo files, side by side in one folder of
// their own: the run then converts those tables only.
fs::path PictureFolder(const std::vector<DumpedTable>& tables, const fs::path& folder)
{
    fs::create_directories(folder);
    for (const auto& t : tables) {
        fs::copy_file(t.table, folder / t.table.filename());
        if (const auto mb = paradox::FindBlobFile(t.table))
            fs::copy_file(*mb, folder / mb->filename());
    }
    return folder;
}

// The first column of the row as bytes (a blob of no bytes has no pointer).
std::string BlobOf(sqlite3_stmt* row)
{
    const auto* p = static_cast<const char*>(sqlite3_column_blob(row, 0));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(row, 0))) : std::string();
}

}  // namespace

TEST(BinaryCorpus, EveryPictureArrivesByteForByte)
{
    if (!paradoxTestdata())
        GTEST_SKIP() << kNoTestdata;
    const auto tables = PictureTables();
    ASSERT_GE(tables.size(), 7u) << "biolife, events, venues, graphic, graphic240, ole and fmemo";

    RealRun run;
    const fs::path folder = PictureFolder(tables, run.dir / "pictures");
    // Beside them, made here: an empty picture, a missing one and two bytes.
    const std::vector<std::optional<std::string>> edges = {std::string(), std::nullopt, std::string("\0\xFF", 2)};
    {
        paradox::writer::TableDesign design;
        design.fields = {{"PIC", paradox::FieldType::Graphic, 10}};
        paradox::writer::TableWriter w(design);
        for (const auto& e : edges)
            w.addRecord({e ? paradox::Value::ofBytes(*e) : paradox::Value::null()});
        w.writeFiles(folder / "edges.db", folder / "edges.mb");
    }
    const fs::path database = OdbcTestEnvironment::dataFolder() / "binary-pictures.sqlite";
    fs::remove(database);
    std::size_t blobs = 0;
    run.fill(folder, "localhost", database.string());
    conversion::RunOptions options{false};
    options.transferBinary = true;
    run.convert(options);
    EXPECT_EQ(run.dialogs.transcript().rfind("Done.\r\n\r\nRows on the server: ", 0), 0u);
    EXPECT_EQ(run.dialogs.messages.size(), 1u) << run.dialogs.transcript();

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    for (const auto& t : tables) {
        const std::string name = Paradox::TableNameOf(t.table.filename().string());
        const Dump dump = ReadDump(t.dump);
        for (std::size_t f = 0; f < dump.fields.size(); ++f) {
            if (!IsBinaryType(dump.fields[f].typeCode))
                continue;
            SCOPED_TRACE(name + "." + dump.fields[f].name);
            sqlite3_stmt* rows = nullptr;
            const std::string sql = "SELECT [" + dump.fields[f].name + "] FROM [" + name + "] ORDER BY rowid";
            ASSERT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &rows, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
            std::size_t r = 0;
            for (; sqlite3_step(rows) == SQLITE_ROW && r < dump.records.size(); ++r) {
                const DumpedBlob want = DumpedBlobOf(dump.records[r], f);
                if (want.null) {
                    EXPECT_EQ(sqlite3_column_type(rows, 0), SQLITE_NULL) << "record " << r;
                    continue;
                }
                ASSERT_EQ(sqlite3_column_type(rows, 0), SQLITE_BLOB) << "record " << r;
                const std::string got = BlobOf(rows);
                EXPECT_EQ(got.size(), want.size) << "record " << r;
                EXPECT_EQ(paradox::Sha256Hex(got), want.sha256) << "record " << r;
                ++blobs;
            }
            sqlite3_finalize(rows);
            EXPECT_EQ(r, dump.records.size());
        }
    }
    sqlite3_stmt* rows = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT [PIC] FROM [EDGES] ORDER BY rowid", -1, &rows, nullptr), SQLITE_OK);
    for (const auto& e : edges) {
        ASSERT_EQ(sqlite3_step(rows), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_type(rows, 0), e ? SQLITE_BLOB : SQLITE_NULL);
        if (e) {
            EXPECT_EQ(BlobOf(rows), *e);
        }
    }
    sqlite3_finalize(rows);
    sqlite3_close(db);
    fs::remove(database);
    EXPECT_GE(blobs, 60u) << "pictures compared";
}

namespace {

// The column types of a create statement, in field order.
std::vector<std::string> ColumnTypes(std::string_view create)
{
    std::vector<std::string> types;
    std::size_t i = create.find("](") + 2;
    while (i < create.size() && create[i] == '[') {
        for (++i; i < create.size(); ++i) {  // the name, "]]" standing for "]"
            if (create[i] == ']' && (i + 1 >= create.size() || create[i + 1] != ']'))
                break;
            if (create[i] == ']')
                ++i;
        }
        std::size_t end = create.find(",[", i);
        if (end == std::string_view::npos)
            end = create.size() - 2;  // before ");"
        types.emplace_back(create.substr(i + 2, end - i - 2));
        i = end + 1;
    }
    return types;
}

// The corpus's table names hold no "]".
std::string TableOf(std::string_view statement)
{
    const auto open = statement.find('[');
    return std::string(statement.substr(open + 1, statement.find(']', open) - open - 1));
}

bool IsBinaryConstant(std::string_view item)
{
    if (item.substr(0, 2) != "0x" || item.size() % 2 != 0)
        return false;
    return item.find_first_not_of("0123456789ABCDEF", 2) == std::string_view::npos;
}

}  // namespace

TEST(BinaryCorpus, ScriptWritesBinaryConstantsOnlyInBinaryColumns)
{
    if (!paradoxTestdata())
        GTEST_SKIP() << kNoTestdata;
    TempDir dir;
    const std::string cli = Quoted(DOVENMARK_CLI);
    const fs::path folder = PictureFolder(PictureTables(), dir / "pictures");
    for (const bool binary : {true, false}) {
        SCOPED_TRACE(binary ? "--binary" : "without --binary");
        const ProgramRun r = RunProgram(dir, cli + " script " + Quoted(folder.string()) + (binary ? " --binary" : ""));
        ASSERT_EQ(r.status, 0) << r.err;
        std::map<std::string, std::vector<std::string>> columns;  // table -> column types
        std::size_t constants = 0;
        std::size_t nulls = 0;
        for (std::size_t at = 0, end; (end = r.out.find("\nGO\n", at)) != std::string::npos; at = end + 4) {
            const std::string_view s(r.out.data() + at, end - at);
            const std::string table = TableOf(s);
            if (s.rfind("CREATE TABLE ", 0) == 0) {
                columns[table] = ColumnTypes(s);
                continue;
            }
            const auto items = InsertValueItems(s);
            ASSERT_TRUE(items) << s.substr(0, 200);
            const auto& types = columns[table];
            ASSERT_EQ(items->size(), types.size()) << s.substr(0, 200);
            for (std::size_t k = 0; k < types.size(); ++k) {
                const std::string_view item = (*items)[k];
                if (types[k] != "VARBINARY(MAX)") {
                    EXPECT_NE(item.substr(0, 2), "0x") << table << " column " << k;
                } else if (item == "NULL") {
                    ++nulls;
                } else {
                    EXPECT_TRUE(binary) << table << " column " << k;
                    EXPECT_TRUE(IsBinaryConstant(item)) << table << " column " << k << ": "
                                                        << item.substr(0, 40);
                    ++constants;
                }
            }
        }
        EXPECT_FALSE(columns.empty());
        if (binary)
            EXPECT_GT(constants, 0u);
        else
            EXPECT_GT(nulls, 0u);
    }
}
