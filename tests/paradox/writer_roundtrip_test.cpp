// Tables written by our writer and read back: every field type at every file
// version and block size, encrypted or not, blobs in both .MB block kinds,
// code pages, odd header sizes and chains that run against the file order.
#include "paradox/error.h"
#include "paradox/table.h"
#include "paradox/values.h"
#include "paradox/writer/table_writer.h"
#include "tests/paradox/memory_table.h"
#include "tests/support/testdata.h"

#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

namespace {

using paradox::FieldType;
using paradox::Value;
using paradox::ValueType;
using paradox::writer::BlobPlacement;
using paradox::writer::FieldDesign;
using paradox::writer::TableDesign;
using paradox::writer::TableWriter;

std::vector<FieldDesign> EveryType()
{
    return {
        {"Name", FieldType::Alpha, 20},      {"Born", FieldType::Date, 0},
        {"Small", FieldType::Short, 0},      {"Big", FieldType::Long, 0},
        {"Price", FieldType::Currency, 0},   {"Ratio", FieldType::Number, 0},
        {"Ok", FieldType::Logical, 0},       {"Notes", FieldType::Memo, 20},
        {"Data", FieldType::Blob, 10},       {"Styled", FieldType::FormattedMemo, 15},
        {"Obj", FieldType::Ole, 12},         {"Pic", FieldType::Graphic, 30},
        {"At", FieldType::Time, 0},          {"When", FieldType::Timestamp, 0},
        {"Id", FieldType::Autoincrement, 0}, {"Amount", FieldType::Bcd, 2},
        {"Raw", FieldType::Bytes, 6},
    };
}

// Blob payloads of every placement: in the leader, sub-allocated, own block.
std::string BlobOfLength(std::size_t n, int seed)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + (i * 7 + static_cast<std::size_t>(seed)) % 26);
    return s;
}

std::vector<std::string> g_keep;  // storage behind the views of expected values

Value ExpectedValue(std::size_t field, int r)
{
    if ((r + static_cast<int>(field)) % 7 == 0)
        return Value::null();
    static const std::size_t blobLengths[] = {3, 9, 200, 2000, 2049, 9000};
    const std::size_t blobLen = blobLengths[static_cast<std::size_t>(r) % 6];
    switch (field) {
    case 0: g_keep.push_back("name " + std::to_string(r)); return Value::ofText(g_keep.back());
    case 1: return Value::ofDate(paradox::CivilFromDays(700000 + r * 37));
    case 2: return Value::ofInteger((r % 2 ? -1 : 1) * (r * 97 % 32767));
    case 3: return Value::ofInteger((r % 3 ? -1 : 1) * static_cast<std::int64_t>(r) * 1'000'003);
    case 4: return Value::ofCurrency((r % 2 ? -1.0 : 1.0) * r * 0.25);
    case 5: return Value::ofDouble(r % 5 == 0 ? 0.0 : (r % 2 ? -1.0 : 1.0) / (r + 3));
    case 6: return Value::ofBoolean(r % 2 == 0);
    case 7: g_keep.push_back(BlobOfLength(blobLen, r)); return Value::ofText(g_keep.back());
    case 8:
    case 9:
    case 10:
    case 11: g_keep.push_back(BlobOfLength(blobLen + field, r)); return Value::ofBytes(g_keep.back());
    case 12: return Value::ofTime((r * 1'234'567) % 86'400'000);
    case 13: return Value::ofTimestamp(paradox::CivilFromDays(730000 + r), (std::int64_t{r} * 7'654'321) % 86'400'000);
    case 14: return Value::ofInteger(r + 1);
    case 15: g_keep.push_back((r % 2 ? "-" : "") + std::to_string(r) + "." + std::to_string(10 + r % 90)); return Value::ofBcd(g_keep.back());
    case 16:  // a Bytes field hands out all its bytes, padding included
        g_keep.push_back(std::string("\x01\x00\xff", 3) + std::to_string(r % 100));
        g_keep.back().resize(6, '\0');
        return Value::ofBytes(g_keep.back());
    }
    return Value::null();
}

void ExpectSame(const Value& got, const Value& want, const std::string& where)
{
    ASSERT_EQ(static_cast<int>(got.type), static_cast<int>(want.type)) << where;
    switch (want.type) {
    case ValueType::Null: break;
    case ValueType::Text:
    case ValueType::Bcd:
    case ValueType::Bytes: EXPECT_EQ(got.text, want.text) << where; break;
    case ValueType::Integer: EXPECT_EQ(got.integer, want.integer) << where; break;
    case ValueType::Double:
    case ValueType::Currency: EXPECT_EQ(got.number, want.number) << where; break;
    case ValueType::Boolean: EXPECT_EQ(got.boolean, want.boolean) << where; break;
    case ValueType::Date: EXPECT_EQ(got.date, want.date) << where; break;
    case ValueType::Time: EXPECT_EQ(got.milliseconds, want.milliseconds) << where; break;
    case ValueType::Timestamp:
        EXPECT_EQ(got.date, want.date) << where;
        EXPECT_EQ(got.milliseconds, want.milliseconds) << where;
        break;
    }
}

void WriteRecords(TableWriter& w, std::size_t fields, int count)
{
    g_keep.clear();
    g_keep.reserve(static_cast<std::size_t>(count) * fields);
    for (int r = 0; r < count; ++r) {
        std::vector<Value> values;
        for (std::size_t f = 0; f < fields; ++f)
            values.push_back(ExpectedValue(f, r));
        w.addRecord(values);
    }
}

void ReadAndCompare(paradox::Table& t, std::size_t fields, int count)
{
    int r = 0;
    while (t.next()) {
        ASSERT_LT(r, count);
        for (std::size_t f = 0; f < fields; ++f) {
            ExpectSame(t.value(f), ExpectedValue(f, r), "record " + std::to_string(r) + " field " + std::to_string(f));
            if (::testing::Test::HasFatalFailure())
                return;
        }
        ++r;
    }
    EXPECT_EQ(r, count);
}

// version, block size code, encrypted
using Layout = std::tuple<int, int, bool>;
class WriterRoundTrip : public ::testing::TestWithParam<Layout> {};

TEST_P(WriterRoundTrip, EveryTypeEveryValueReadsBack)
{
    const auto [version, blockCode, encrypted] = GetParam();
    TableDesign design;
    design.versionId = static_cast<std::uint8_t>(version);
    design.blockSizeCode = static_cast<std::uint8_t>(blockCode);
    design.keyed = version % 2 == 0;
    design.codePage = version >= 5 ? 1252 : 0;
    design.encryptionKey = encrypted ? 0x0A25E09Au : 0;
    design.fields = EveryType();
    const int count = 150;
    TableWriter w(design);
    WriteRecords(w, design.fields.size(), count);
    auto t = testsupport::OpenInMemory(w);
    EXPECT_EQ(t->recordCount(), static_cast<std::uint32_t>(count));
    EXPECT_EQ(t->header().blockSize(), static_cast<std::uint32_t>(blockCode) * 1024);
    ASSERT_EQ(t->fieldCount(), design.fields.size());
    for (std::size_t f = 0; f < design.fields.size(); ++f) {
        EXPECT_EQ(t->fields()[f].name, design.fields[f].name);
        EXPECT_EQ(t->fields()[f].type, design.fields[f].type);
    }
    ReadAndCompare(*t, design.fields.size(), count);
    // A second pass after rewind sees the same records.
    t->rewind();
    ReadAndCompare(*t, design.fields.size(), count);
}

INSTANTIATE_TEST_SUITE_P(Layouts, WriterRoundTrip,
                         ::testing::Combine(::testing::Values(3, 4, 5, 9, 10, 11, 12),
                                            ::testing::Values(1, 2, 3, 4, 8, 16, 32), ::testing::Bool()));

struct Shape {
    const char* label;
    TableDesign design;
};

void PrintTo(const Shape& s, std::ostream* os) { *os << s.label; }

TableDesign Shaped(void (*adjust)(TableDesign&))
{
    TableDesign s;
    s.fields = EveryType();
    adjust(s);
    return s;
}

class WriterShapes : public ::testing::TestWithParam<Shape> {};

TEST_P(WriterShapes, ReadBackUnchanged)
{
    const TableDesign& design = GetParam().design;
    TableWriter w(design);
    const int count = 400;
    WriteRecords(w, design.fields.size(), count);
    auto t = testsupport::OpenInMemory(w);
    ReadAndCompare(*t, design.fields.size(), count);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, WriterShapes,
    ::testing::Values(
        Shape{"OddHeaderSize", Shaped([](TableDesign& s) { s.headerSize = 0x0A37; })},
        Shape{"OddHeaderSizeOldVersion", Shaped([](TableDesign& s) { s.headerSize = 0x0455; s.versionId = 3; s.blockSizeCode = 3; })},
        Shape{"ChainAgainstFileOrder", Shaped([](TableDesign& s) { s.reverseBlocks = true; s.recordsPerBlock = 3; })},
        Shape{"OneRecordPerBlock", Shaped([](TableDesign& s) { s.recordsPerBlock = 1; })},
        Shape{"AllBlobsInOwnBlocks", Shaped([](TableDesign& s) { s.blobPlacement = BlobPlacement::SingleBlock; })},
        Shape{"EncryptedBlobsInOwnBlocks", Shaped([](TableDesign& s) { s.blobPlacement = BlobPlacement::SingleBlock; s.encryptionKey = 0x12345678; })},
        Shape{"EncryptedChainAgainstFileOrder", Shaped([](TableDesign& s) { s.reverseBlocks = true; s.encryptionKey = 0xFFFFFFFF; s.blockSizeCode = 4; })},
        Shape{"KeyedV7Big", Shaped([](TableDesign& s) { s.keyed = true; s.keyFields = 2; s.blockSizeCode = 32; })}),
    [](const ::testing::TestParamInfo<Shape>& p) { return std::string(p.param.label); });

TEST(WriterBlobs, SubAllocatedBlocksHoldManySmallBlobs)
{
    TableDesign design;
    design.fields = {{"M", FieldType::Memo, 11}, {"B", FieldType::Blob, 10}};
    design.blobPlacement = BlobPlacement::SubAllocated;
    TableWriter w(design);
    std::vector<std::string> texts;
    for (int r = 0; r < 300; ++r)
        texts.push_back(BlobOfLength(static_cast<std::size_t>(2 + r * 13 % 900), r));
    for (const auto& s : texts)
        w.addRecord({Value::ofText(s), Value::ofBytes(s)});
    // 300 blobs of ~450 bytes each need many sub-allocated blocks, slots from 63 down.
    EXPECT_GT(w.blobBytes().size(), 20u * 4096);
    auto t = testsupport::OpenInMemory(w);
    for (const auto& s : texts) {
        ASSERT_TRUE(t->next());
        EXPECT_EQ(t->value(0).text, s);
        EXPECT_EQ(t->value(1).text, s);
    }
    EXPECT_FALSE(t->next());
}

TEST(WriterBlobs, GraphicCarriesTheBareImage)
{
    TableDesign design;
    design.fields = {{"G", FieldType::Graphic, 20}};
    TableWriter w(design);
    const std::string image = "BM" + BlobOfLength(5000, 1);
    w.addRecord({Value::ofBytes(image)});
    w.addRecord({Value::ofBytes("BM12")});  // fits in the leader
    w.addRecord({Value::ofBytes("")});      // the prefix only: an empty picture
    w.addRecord({Value::null()});
    auto t = testsupport::OpenInMemory(w);
    ASSERT_TRUE(t->next());
    EXPECT_EQ(t->value(0).text, image);
    ASSERT_TRUE(t->next());
    EXPECT_EQ(t->value(0).text, "BM12");
    ASSERT_TRUE(t->next());
    EXPECT_EQ(t->value(0).type, ValueType::Bytes);
    EXPECT_EQ(t->value(0).text, "");
    ASSERT_TRUE(t->next());
    EXPECT_TRUE(t->value(0).isNull());
}

TEST(WriterEmpty, TableWithoutRecordsIsAtEndAtOnce)
{
    TableDesign design;
    design.fields = {{"A", FieldType::Alpha, 5}};
    TableWriter w(design);
    auto t = testsupport::OpenInMemory(w);
    EXPECT_EQ(t->recordCount(), 0u);
    EXPECT_FALSE(t->next());
    EXPECT_FALSE(t->next());
}

struct CodePageCase {
    const char* label;
    std::uint16_t codePage;
    std::uint8_t version;
    std::string sortOrderName;
    std::string encoding;  // what the reader should pick
    std::string text;      // UTF-8
    std::string fieldName;
};

void PrintTo(const CodePageCase& c, std::ostream* os) { *os << c.label; }

class CodePages : public ::testing::TestWithParam<CodePageCase> {};

TEST_P(CodePages, TextAndFieldNamesDecodeToUtf8)
{
    const CodePageCase& c = GetParam();
    TableDesign design;
    design.versionId = c.version;
    design.codePage = c.codePage;
    design.sortOrderName = c.sortOrderName;
    design.textEncoding = c.encoding;
    design.fields = {{c.fieldName, FieldType::Alpha, 60},
                   {"Memo", FieldType::Memo, 14}};
    TableWriter w(design);
    const std::string longText = c.text + " " + c.text + " " + c.text + " " + c.text;
    w.addRecord({Value::ofText(c.text), Value::ofText(longText)});
    w.addRecord({Value::ofText("plain ascii"), Value::ofText("short")});
    auto t = testsupport::OpenInMemory(w);
    EXPECT_EQ(t->textEncoding(), c.encoding);
    EXPECT_EQ(t->fields()[0].name, design.fields[0].name);
    ASSERT_TRUE(t->next());
    EXPECT_EQ(t->value(0).text, c.text);
    EXPECT_EQ(t->value(1).text, longText);
    ASSERT_TRUE(t->next());
    EXPECT_EQ(t->value(0).text, "plain ascii");
    EXPECT_EQ(t->value(1).text, "short");
}

INSTANTIATE_TEST_SUITE_P(
    Tables, CodePages,
    ::testing::Values(CodePageCase{"Cp1252", 1252, 12, "ascii", "CP1252", "Café Ünïcødé € „quoted“ ‰", "Näme"},
                      CodePageCase{"Cp936", 936, 11, "china", "CP936", "中文测试 mixed 汉字 text", "名字"},
                      CodePageCase{"Cp437", 437, 9, "ascii", "CP437", "Ç é ░▒▓ ½ ß", "Größe"},
                      CodePageCase{"Cp850", 850, 10, "intl850", "CP850", "Ø ø Å ã õ", "Året"},
                      CodePageCase{"Cp866FromDriverName", 0, 9, "cyrr", "CP866", "Привет мир", "Имя"},
                      CodePageCase{"Roman8FromDriverName", 0, 9, "BLROM800", "HP-ROMAN8", "Š½ƒ¶", "Ñame"},
                      CodePageCase{"Version3DefaultsTo437", 0, 3, "", "CP437", "Ä ö ü", "Übel"}),
    [](const ::testing::TestParamInfo<CodePageCase>& p) { return std::string(p.param.label); });

// A table whose header names no code page (or a wrong one) reads right in the
// code page the user chooses, field names included; bytes the chosen code page
// cannot decode become U+FFFD, single-byte and multi-byte pages alike, and are counted.
TEST(CodePageChoice, TextsAndNamesFollowTheChosenCodePageAndUndecodableBytesAreCounted)
{
    TableDesign russian;
    russian.versionId = 9;
    russian.codePage = 0;
    russian.textEncoding = "CP866";
    russian.fields = {{"Имя", FieldType::Alpha, 20}, {"Заметка", FieldType::Memo, 11}};
    TableWriter w(russian);
    w.addRecord({Value::ofText("Привет, мир"), Value::ofText(std::string(3000, 'x') + "ёЖ")});

    auto asStored = testsupport::OpenInMemory(w);
    EXPECT_EQ(asStored->textEncoding(), "CP437");
    EXPECT_NE(asStored->fields()[0].name, "Имя");

    auto chosen = std::make_unique<paradox::Table>(
        std::make_unique<paradox::MemorySource>("t.db", w.databaseBytes()),
        [&w] { return std::make_unique<paradox::MemorySource>("t.mb", w.blobBytes()); }, "CP866");
    EXPECT_EQ(chosen->textEncoding(), "CP866");
    EXPECT_EQ(chosen->fields()[0].name, "Имя");
    EXPECT_EQ(chosen->fields()[1].name, "Заметка");
    ASSERT_TRUE(chosen->next());
    EXPECT_EQ(chosen->value(0).text, "Привет, мир");
    EXPECT_EQ(chosen->value(1).text, std::string(3000, 'x') + "ёЖ");
    EXPECT_EQ(chosen->undecodableBytes(), 0u);

    EXPECT_THROW(paradox::Table(std::make_unique<paradox::MemorySource>("t.db", w.databaseBytes()), {}, "NO-SUCH-CODE-PAGE"),
                 std::invalid_argument);

    const struct {
        std::uint16_t codePage;
        std::string stored;
        std::string read;
        std::uint64_t undecodable;
    } holes[] = {
        {1252, "\x81\x80\x8D", "\xEF\xBF\xBD\xE2\x82\xAC\xEF\xBF\xBD", 2},  // 0x81 and 0x8D are undefined
        {936, "a\xFF\xD6\xD0", "a\xEF\xBF\xBD\xE4\xB8\xAD", 1},             // 0xFF begins no character
        {1251, "\xC0\x98", "\xD0\x90\xEF\xBF\xBD", 1},
    };
    for (const auto& h : holes) {
        TableDesign design;
        design.codePage = h.codePage;
        design.fields = {{"A", FieldType::Alpha, 8}};
        TableWriter holed(design);
        std::string record(holed.recordSize(), '\0');
        record.replace(0, h.stored.size(), h.stored);
        holed.addRawRecord(record);
        auto t = testsupport::OpenInMemory(holed);
        ASSERT_TRUE(t->next());
        EXPECT_EQ(t->value(0).text, h.read) << h.codePage;
        EXPECT_EQ(t->undecodableBytes(), h.undecodable) << h.codePage;
    }
}

// Nibbles above 9 after some decimals are what a writer left past the digits it
// stored: the value ends before them. In the whole part or the first decimal
// they leave no value, and reading it fails for that value only.
TEST(BcdNoise, DigitsEndAtTheFirstNibbleAboveNineAfterTheFirstDecimal)
{
    const struct {
        const char* stored;
        int scale;
        int noiseAt;  // decimal 1, 2, ...; 0 the last digit before the point
        const char* read;  // nullptr: refused
    } cases[] = {
        {"12.3456", 4, 3, "12.34"},   {"-12.3456", 4, 3, "-12.34"}, {"12.3456", 4, 2, "12.3"},
        {"-0.0001", 4, 2, "0.0"},     {"12.3456", 4, 1, nullptr},   {"-12.3456", 4, 1, nullptr},
        {"12.3456", 4, 0, nullptr},   {"7", 0, 0, nullptr},         {"0.5", 32, 2, "0.5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + " noise at " + std::to_string(c.noiseAt));
        TableDesign design;
        design.fields = {{"N", FieldType::Bcd, c.scale}};
        TableWriter w(design);
        std::string record(17, '\0');
        auto* p = reinterpret_cast<std::uint8_t*>(record.data());
        ASSERT_TRUE(paradox::StoreBcd(p, c.stored, c.scale));
        // Nibbles of 15 from the noise on (stored complemented for negative values).
        const std::uint8_t noise = c.stored[0] == '-' ? 0x0 : 0xF;
        for (int digit = 32 - c.scale + c.noiseAt - 1; digit < 32; ++digit) {
            std::uint8_t& byte = p[1 + digit / 2];
            byte = digit % 2 ? static_cast<std::uint8_t>((byte & 0xF0) | noise)
                             : static_cast<std::uint8_t>((byte & 0x0F) | (noise << 4));
        }
        w.addRawRecord(record);
        auto t = testsupport::OpenInMemory(w);
        ASSERT_TRUE(t->next());
        if (c.read)
            EXPECT_EQ(t->value(0).text, c.read);
        else
            EXPECT_THROW(t->value(0), paradox::FormatError);
    }
}

TEST(BlobFileOnDisk, FoundBesideTheTableInAnyLetterCase)
{
    testsupport::TempDir dir;
    TableDesign design;
    design.fields = {{"M", FieldType::Memo, 11}};
    TableWriter w(design);
    const std::string text = BlobOfLength(3000, 5);
    w.addRecord({Value::ofText(text)});
    w.writeFiles(dir / "foo.db", dir / "FOO.MB");
    auto t = paradox::Table::open(dir / "foo.db");
    ASSERT_TRUE(t->next());
    EXPECT_EQ(t->value(0).text, text);
}

TEST(BlobFileOnDisk, MissingMemoFileIsAnErrorForThatValueOnly)
{
    testsupport::TempDir dir;
    TableDesign design;
    design.fields = {{"N", FieldType::Long, 0}, {"M", FieldType::Memo, 20}};
    TableWriter w(design);
    w.addRecord({Value::ofInteger(7), Value::ofText(BlobOfLength(3000, 5))});
    w.addRecord({Value::ofInteger(8), Value::ofText("tiny")});
    w.writeFiles(dir / "bar.db", dir / "elsewhere.mb");
    auto t = paradox::Table::open(dir / "bar.db");
    ASSERT_TRUE(t->next());
    EXPECT_EQ(t->value(0).integer, 7);
    try {
        t->value(1);
        FAIL() << "no error for a missing memo file";
    } catch (const paradox::FormatError& e) {
        EXPECT_NE(std::string(e.what()).find("memo file (.MB)"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("bar.db"), std::string::npos) << e.what();
    }
    ASSERT_TRUE(t->next());
    EXPECT_EQ(t->value(1).text, "tiny");  // a leader-only memo needs no .MB
}

}  // namespace
