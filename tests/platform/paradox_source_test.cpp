// The Paradox source connection: connection text and query parsing, the
// table lookup in the folder, ADO type codes and the recordset cursor.
#include "paradox/writer/table_writer.h"
#include "platform/paradox_source/paradox_source_connection.h"
#include "tests/support/testdata.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

namespace fs = std::filesystem;
using paradox::FieldType;
using paradox::Value;
using paradox::writer::TableDesign;
using paradox::writer::TableWriter;
using namespace platform::paradox_source;

const std::string kPrefix = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
const std::string kSuffix = ";Extended Properties=Paradox 5.x;";

TEST(ConnectionText, FolderIsTakenVerbatimUpToTheLastSuffix)
{
    const struct {
        std::string text;
        std::optional<std::string> folder;
    } cases[] = {
        {kPrefix + "/data/tables" + kSuffix, "/data/tables"},
        {kPrefix + "/data/my tables; old" + kSuffix, "/data/my tables; old"},
        {kPrefix + "/a" + kSuffix + "b" + kSuffix, "/a" + kSuffix + "b"},
        {kPrefix + kSuffix, ""},
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x;Extended Properties=Paradox 4.x;", std::nullopt},
        {kPrefix + "/x" + kSuffix + " ", std::nullopt},
        {"provider=microsoft.jet.oledb.4.0;Data Source=/x" + kSuffix, std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FolderOf(c.text), c.folder) << c.text;
}

TEST(Query, OnlySelectStarFromBracketedNameWithDoubledClosingBrackets)
{
    const struct {
        std::string query;
        std::optional<std::string> table;
    } cases[] = {
        {"SELECT * FROM [customer]", "customer"},
        {"SELECT * FROM [my table]", "my table"},
        {"SELECT * FROM [a]]b]", "a]b"},
        {"SELECT * FROM [x]]]]]", "x]]"},
        {"SELECT * FROM [[odd]", "[odd"},
        {"SELECT * FROM [a]b]", std::nullopt},
        {"SELECT * FROM [a]]]", "a]"},
        {"SELECT * FROM [a]] ]", "a] "},
        {"SELECT * FROM []", std::nullopt},
        {"select * from [customer]", std::nullopt},
        {"SELECT * FROM customer", std::nullopt},
        {"SELECT * FROM [customer] WHERE 1=1", std::nullopt},
        {"SELECT a FROM [customer]", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TableOf(c.query), c.table) << c.query;
}

TEST(AdoTypes, EveryFieldTypeHasItsCode)
{
    const std::pair<FieldType, std::int16_t> cases[] = {
        {FieldType::Alpha, 202}, {FieldType::Date, 133},         {FieldType::Short, 2},
        {FieldType::Long, 3},    {FieldType::Autoincrement, 3},  {FieldType::Currency, 6},
        {FieldType::Number, 5},  {FieldType::Logical, 11},       {FieldType::Memo, 203},
        {FieldType::Blob, 205},  {FieldType::FormattedMemo, 205}, {FieldType::Ole, 205},
        {FieldType::Graphic, 205}, {FieldType::Time, 134},       {FieldType::Timestamp, 135},
        {FieldType::Bcd, 131},   {FieldType::Bytes, 128},
    };
    for (const auto& [type, code] : cases)
        EXPECT_EQ(AdoTypeOf(type), code) << paradox::FieldTypeName(type);
}

void WriteTable(const fs::path& path, const std::vector<int>& ids)
{
    TableDesign design;
    design.fields = {{"Id", FieldType::Long}};
    TableWriter w(design);
    for (int id : ids)
        w.addRecord({Value::ofInteger(id)});
    w.writeFiles(path, fs::path(path).replace_extension(".mb"));
}

class SourceFolder : public ::testing::Test {
protected:
    std::unique_ptr<platform::SourceConnection> connect()
    {
        auto c = platform::ParadoxSourceConnectionFactory().create();
        c->setCursorLocation(platform::SourceConnection::kClientSideCursor);
        c->open(kPrefix + dir.str() + kSuffix);
        return c;
    }
    int firstId(platform::SourceConnection& c, const std::string& name)
    {
        std::string quoted;
        for (char ch : name)
            quoted += ch == ']' ? std::string("]]") : std::string(1, ch);
        auto rs = c.openRecordset("SELECT * FROM [" + quoted + "]");
        return static_cast<int>(rs->value(0).integer);
    }
    testsupport::TempDir dir;
};

// A name finds its table in any letter case, beyond ASCII as the table list
// upper-cases them, brackets and semicolons too; of several files the exact
// spelling wins, else the first in name order.
TEST_F(SourceFolder, TableNamesMatchInAnyCaseAndTheExactSpellingWins)
{
    const std::pair<const char*, int> files[] = {{"Orders.DB", 1}, {"ORDERS.db", 2}, {"orders.db", 3},
                                                 {"Parts.Db", 4},  {"äpfel.db", 5},  {"straße.DB", 6},
                                                 {"we]ird; name.db", 9}};
    for (const auto& [file, id] : files)
        WriteTable(dir / file, {id});
    auto c = connect();
    const std::pair<const char*, int> lookups[] = {
        {"orders", 3}, {"ORDERS", 2}, {"Orders", 1},
        {"oRdErS", 2},  // no exact match: first in name order ("ORDERS.db" < "Orders.DB")
        {"PARTS", 4},  {"ÄPFEL", 5},  {"äpfel", 5},  {"STRASSE", 6}, {"we]ird; name", 9}, {"WE]IRD; NAME", 9}};
    for (const auto& [name, id] : lookups)
        EXPECT_EQ(firstId(*c, name), id) << name;
}

TEST_F(SourceFolder, TablesInSubfoldersAndOtherFilesAreNotFound)
{
    fs::create_directory(dir / "sub");
    WriteTable(dir / "sub" / "inner.db", {1});
    fs::create_directory(dir / "folder.db");
    std::ofstream(dir / "notes.txt") << "x";
    WriteTable(dir / "real.dbx", {1});
    auto c = connect();
    for (const char* name : {"inner", "sub/inner", "folder", "notes", "real", "real.db"}) {
        try {
            c->openRecordset(std::string("SELECT * FROM [") + name + "]");
            ADD_FAILURE() << name << " was found";
        } catch (const std::exception& e) {
            EXPECT_EQ(std::string(e.what()),
                      "The table " + std::string(name) + " was not found in the folder " + dir.str() + ".");
        }
    }
}

TEST_F(SourceFolder, ErrorsSayWhatIsWrong)
{
    auto c = platform::ParadoxSourceConnectionFactory().create();
    const auto message = [](auto&& f) {
        try {
            f();
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message([&] { c->openRecordset("SELECT * FROM [x]"); }), "The source connection is not open.");
    EXPECT_EQ(message([&] { c->open(kPrefix + dir.str() + "/missing" + kSuffix); }),
              "The folder " + dir.str() + "/missing does not exist.");
    EXPECT_EQ(message([&] { c->open("Data Source=/tmp"); }), "Unrecognised source connection text: Data Source=/tmp");
    c->open(kPrefix + dir.str() + kSuffix);
    EXPECT_EQ(message([&] { c->openRecordset("SELECT Id FROM [x]"); }),
              "Unsupported query (only SELECT * FROM [table] is understood): SELECT Id FROM [x]");
    std::ofstream(dir / "broken.db") << "this is a text file, not a table\n";
    const std::string broken = message([&] { c->openRecordset("SELECT * FROM [broken]"); });
    EXPECT_NE(broken.find("broken.db"), std::string::npos) << broken;
    EXPECT_NE(broken.find("not a Paradox table"), std::string::npos) << broken;
}

TEST_F(SourceFolder, RecordsetWalksRecordsWithBofAndEof)
{
    WriteTable(dir / "three.db", {10, 20, 30});
    WriteTable(dir / "empty.db", {});
    auto c = connect();

    auto empty = c->openRecordset("SELECT * FROM [empty]");
    EXPECT_TRUE(empty->eof());
    EXPECT_TRUE(empty->bof());
    EXPECT_EQ(empty->recordCount(), 0);
    EXPECT_THROW(empty->value(0), std::exception);
    EXPECT_THROW(empty->moveNext(), std::exception);

    auto rs = c->openRecordset("SELECT * FROM [three]");
    EXPECT_EQ(rs->recordCount(), 3);
    ASSERT_EQ(rs->fieldCount(), 1);
    EXPECT_EQ(rs->fieldName(0), "Id");
    EXPECT_EQ(rs->fieldType(0), 3);
    EXPECT_THROW(rs->fieldName(1), std::out_of_range);
    std::vector<std::int64_t> seen;
    EXPECT_FALSE(rs->bof());
    while (!rs->eof()) {
        seen.push_back(rs->value(0).integer);
        rs->moveNext();
        EXPECT_FALSE(rs->bof());
    }
    EXPECT_EQ(seen, (std::vector<std::int64_t>{10, 20, 30}));
    EXPECT_EQ(rs->damage(), std::nullopt);
    rs->close();
    EXPECT_TRUE(rs->eof());
}

// A damaged record count in a block (its high byte 0x02): every record the
// block claims is handed out, and the damage is told with the file once the
// end is reached, and still after close().
TEST_F(SourceFolder, DamagedTableIsReadToItsEndAndToldWithItsFile)
{
    WriteTable(dir / "three.db", {10, 20, 30});
    {
        std::fstream f(dir / "three.db", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(2048 + 5);
        f.put('\x02');
    }
    auto rs = connect()->openRecordset("SELECT * FROM [three]");
    EXPECT_EQ(rs->damage(), std::nullopt);
    int n = 0;
    for (; !rs->eof(); rs->moveNext())
        ++n;
    EXPECT_EQ(n, 131);
    const std::string told = (dir / "three.db").string() + ": the header says 3 records but 131 were read";
    EXPECT_EQ(rs->damage(), told);
    rs->close();
    EXPECT_EQ(rs->damage(), told);
}

TEST_F(SourceFolder, FieldsOfEveryTypeCarryTheirAdoCodes)
{
    TableDesign design;
    design.fields = {{"A", FieldType::Alpha, 5},  {"D", FieldType::Date},       {"S", FieldType::Short},
                   {"I", FieldType::Long},      {"C", FieldType::Currency},   {"N", FieldType::Number},
                   {"L", FieldType::Logical},   {"M", FieldType::Memo, 11},   {"B", FieldType::Blob, 10},
                   {"F", FieldType::FormattedMemo, 10}, {"O", FieldType::Ole, 10}, {"G", FieldType::Graphic, 10},
                   {"T", FieldType::Time},      {"@", FieldType::Timestamp},  {"+", FieldType::Autoincrement},
                   {"#", FieldType::Bcd, 2},    {"Y", FieldType::Bytes, 4}};
    TableWriter w(design);
    w.addRecord({Value::ofText("x")});
    w.writeFiles(dir / "all.db", dir / "all.mb");
    auto c = connect();
    auto rs = c->openRecordset("SELECT * FROM [all]");
    const std::int16_t expected[] = {202, 133, 2, 3, 6, 5, 11, 203, 205, 205, 205, 205, 134, 135, 3, 131, 128};
    ASSERT_EQ(rs->fieldCount(), 17);
    for (int i = 0; i < 17; ++i) {
        EXPECT_EQ(rs->fieldName(i), design.fields[static_cast<std::size_t>(i)].name);
        EXPECT_EQ(rs->fieldType(i), expected[i]) << i;
    }
    EXPECT_EQ(rs->value(0).text, "x");
    EXPECT_TRUE(rs->value(1).isNull());
}

TEST_F(SourceFolder, ChosenCodePageReadsEveryTableAndUnknownNamesAreRefused)
{
    TableDesign design;
    design.versionId = 3;  // no code page in the header: read as CP437 unless chosen
    design.codePage = 0;
    design.textEncoding = "CP866";
    design.fields = {{"Город", FieldType::Alpha, 12}};
    TableWriter w(design);
    w.addRecord({Value::ofBytes("\x8C\xAE\xE1\xAA\xA2\xA0 \x98")});
    w.writeFiles(dir / "towns.db", dir / "towns.mb");

    auto c = connect();
    auto headers = c->openRecordset("SELECT * FROM [towns]");
    EXPECT_EQ(headers->codePage(), "CP437");
    EXPECT_NE(headers->fieldName(0), "Город");

    c->setSourceCodePage(" CP866 ");
    auto chosen = c->openRecordset("SELECT * FROM [towns]");
    EXPECT_EQ(chosen->codePage(), "CP866");
    EXPECT_EQ(chosen->fieldName(0), "Город");
    EXPECT_EQ(chosen->value(0).text, "Москва Ш");
    EXPECT_EQ(chosen->undecodableBytes(), 0u);

    // Windows-1251 leaves 0x98 undefined.
    c->setSourceCodePage("WINDOWS-1251");
    auto holed = c->openRecordset("SELECT * FROM [towns]");
    EXPECT_EQ(holed->value(0).text, "Њ®бЄў\u00A0 \uFFFD");
    EXPECT_EQ(holed->undecodableBytes(), 1u);

    EXPECT_THROW(c->setSourceCodePage("CP-NONESUCH"), std::invalid_argument);
    c->setSourceCodePage("");
    EXPECT_EQ(c->openRecordset("SELECT * FROM [towns]")->codePage(), "CP437");
}

TEST(SourceConnection, RecordsCursorLocation)
{
    platform::ParadoxSourceConnection c;
    c.setCursorLocation(platform::SourceConnection::kClientSideCursor);
    EXPECT_EQ(c.cursorLocation(), 3);
    EXPECT_FALSE(c.isOpen());
}

}  // namespace

namespace {

// The connection over the real demo tables: lookup in another letter case,
// ADO codes of real fields, and every record reachable.
TEST(SourceRealTables, BiolifeThroughTheConnection)
{
    const auto dir = testsupport::paradoxTestdata();
    if (!dir)
        GTEST_SKIP() << testsupport::kNoTestdata;
    platform::ParadoxSourceConnection c;
    c.open(kPrefix + (*dir / "dbdemos").string() + kSuffix);
    auto rs = c.openRecordset("SELECT * FROM [BIOLIFE]");
    EXPECT_EQ(rs->recordCount(), 28);
    ASSERT_EQ(rs->fieldCount(), 8);
    const char* names[] = {"Species No", "Category", "Common_Name", "Species Name", "Length (cm)", "Length_In", "Notes", "Graphic"};
    const std::int16_t types[] = {5, 202, 202, 202, 5, 5, 203, 205};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(rs->fieldName(i), names[i]);
        EXPECT_EQ(rs->fieldType(i), types[i]) << i;
    }
    int n = 0;
    for (; !rs->eof(); rs->moveNext(), ++n) {
        EXPECT_EQ(rs->value(7).type, paradox::ValueType::Bytes);
        EXPECT_EQ(rs->value(7).text.substr(0, 2), "BM");  // the bare bitmap
    }
    EXPECT_EQ(n, 28);
}

}  // namespace
