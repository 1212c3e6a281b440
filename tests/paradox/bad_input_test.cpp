// Damaged and foreign files: every one gives a FormatError naming the file and
// what is wrong, never a crash; records before the damage are still read.
#include "paradox/blocks.h"
#include "paradox/endian.h"
#include "paradox/error.h"
#include "paradox/table.h"
#include "paradox/writer/table_writer.h"
#include "tests/paradox/memory_table.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace {

using paradox::FieldType;
using paradox::FormatError;
using paradox::Value;
using paradox::writer::TableWriter;

// A small table: 40 records in 4 blocks of 10, a memo in each kind of .MB block.
TableWriter SampleWriter(std::uint32_t key = 0)
{
    paradox::writer::TableDesign design;
    design.versionId = 12;
    design.encryptionKey = key;
    design.recordsPerBlock = 10;
    design.fields = {{"Id", FieldType::Long}, {"Name", FieldType::Alpha, 10}, {"Memo", FieldType::Memo, 15},
                   {"Amount", FieldType::Bcd, 2}, {"When", FieldType::Timestamp}};
    TableWriter w(design);
    for (int r = 0; r < 40; ++r)
        w.addRecord({Value::ofInteger(r), Value::ofText("n" + std::to_string(r)),
                     Value::ofText(std::string(static_cast<std::size_t>(r % 2 ? 3000 : 100 + r), 'm')),
                     Value::ofBcd("1.25"), Value::ofTimestamp({2001, 2, 3}, 1000)});
    return w;
}

struct ReadResult {
    int records = 0;
    std::string error;       // empty: read to the end without error
    std::string damage;      // what the table reports of its structure
    std::uint32_t headerCount = 0;
    std::string recordBytes;  // every record read, as stored
};

// Opens and reads every value; only FormatError may escape the reader.
ReadResult ReadAll(const std::string& db, const std::string& mb)
{
    ReadResult result;
    try {
        auto t = testsupport::OpenInMemory(db, mb, "damaged.db");
        result.headerCount = t->recordCount();
        while (t->next()) {
            ++result.records;
            for (std::size_t i = 0; i < t->fieldCount(); ++i) {
                result.recordBytes += t->rawField(i);
                try {
                    t->value(i);
                } catch (const FormatError& e) {
                    EXPECT_FALSE(std::string(e.what()).empty());
                }
            }
        }
        result.damage = t->damage().value_or("");
    } catch (const FormatError& e) {
        result.error = e.what();
    }
    return result;
}

void Patch16(std::string& s, std::size_t at, std::uint32_t v) { paradox::StoreLe16(reinterpret_cast<std::uint8_t*>(s.data() + at), v); }

// A damage done to the sample's .DB file, what the report says, and how many
// records are read all the same.
struct DamageCase {
    const char* label;
    std::function<void(std::string&)> damage;
    const char* message;
    int recordsRead = 0;
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.label; }

// A case's name in the test list: its label.
template <class Case>
std::string LabelOf(const ::testing::TestParamInfo<Case>& p)
{
    return p.param.label;
}

class DamagedHeader : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedHeader, IsRejectedWithAClearMessage)
{
    std::string db = SampleWriter().databaseBytes();
    GetParam().damage(db);
    const ReadResult r = ReadAll(db, "");
    EXPECT_EQ(r.records, 0);
    EXPECT_NE(r.error.find(GetParam().message), std::string::npos) << r.error;
    EXPECT_EQ(r.error.rfind("damaged.db: ", 0), 0u) << r.error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedHeader,
    ::testing::Values(
        DamageCase{"Empty", [](std::string& s) { s.clear(); }, "the file is empty"},
        DamageCase{"Sqlite", [](std::string& s) { s.replace(0, 16, std::string("SQLite format 3\0", 16)); }, "SQLite database"},
        DamageCase{"TextFile", [](std::string& s) { s = std::string(200, 'x'); }, "not a Paradox table"},
        DamageCase{"Tiny", [](std::string& s) { s.resize(40); }, "too small"},
        DamageCase{"RecordSizeZero", [](std::string& s) { Patch16(s, 0, 0); }, "record size 0"},
        DamageCase{"RecordSizeWrong", [](std::string& s) { Patch16(s, 0, 20); }, "the fields take"},
        DamageCase{"HeaderPastEnd", [](std::string& s) { Patch16(s, 2, 0xF000); }, "past the end of the file"},
        DamageCase{"HeaderTooSmall", [](std::string& s) { Patch16(s, 2, 0x20); }, "header size 32 is too small"},
        DamageCase{"IndexFile", [](std::string& s) { s[4] = 1; }, "index file"},
        DamageCase{"FileTypeUnknown", [](std::string& s) { s[4] = 77; }, "unknown file type 77"},
        DamageCase{"BlockSizeZero", [](std::string& s) { s[5] = 0; }, "block size code 0"},
        DamageCase{"BlockSizeTooLarge", [](std::string& s) { s[5] = 33; }, "block size code 33"},
        DamageCase{"VersionTooOld", [](std::string& s) { s[0x39] = 2; }, "unsupported Paradox file version 2"},
        DamageCase{"VersionTooNew", [](std::string& s) { s[0x39] = 13; }, "unsupported Paradox file version 13"},
        DamageCase{"FieldCountZero", [](std::string& s) { Patch16(s, 0x21, 0); }, "field count 0"},
        DamageCase{"FieldCountNegative", [](std::string& s) { Patch16(s, 0x21, 0xFFFF); }, "field count -1"},
        DamageCase{"FieldCountPastHeader", [](std::string& s) { Patch16(s, 0x21, 700); }, "too small for 700 fields"},
        DamageCase{"UnknownFieldType", [](std::string& s) { s[0x78 + 2] = 0x07; }, "unknown type code 7"},
        DamageCase{"WrongFixedSize", [](std::string& s) { s[0x78 + 1] = 3; }, "expected 4"},
        DamageCase{"BcdScaleTooLarge", [](std::string& s) { s[0x78 + 7] = 40; }, "scale of 0 to 32"},
        DamageCase{"UnterminatedNames", [](std::string& s) { std::fill(s.begin() + 0x78 + 10, s.begin() + 2048, 'x'); }, "runs past the end of the header"},
        DamageCase{"RecordLargerThanBlock", [](std::string& s) { s[5] = 1; Patch16(s, 0, 1100); }, "does not fit"}),
    LabelOf<DamageCase>);

// Block n of the sample (1-based) starts at 2048 + (n-1) * 2048.
std::size_t BlockAt(int n) { return 2048 + static_cast<std::size_t>(n - 1) * 2048; }

class DamagedChain : public ::testing::TestWithParam<DamageCase> {};

// A table whose records or blocks disagree with its header is read as far as
// it safely can be, and says so once the records are read.
TEST_P(DamagedChain, IsReadAsFarAsItCanBeAndReported)
{
    std::string db = SampleWriter().databaseBytes();
    GetParam().damage(db);
    const ReadResult r = ReadAll(db, SampleWriter().blobBytes());
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.records, GetParam().recordsRead);
    EXPECT_NE(r.damage.find(GetParam().message), std::string::npos) << r.damage;
}

// Fields: Id 4, Name 10, Memo 15, Amount 17, When 8: 54 bytes a record.
constexpr std::uint32_t kLastOffsetOf10 = 9 * 54;

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedChain,
    ::testing::Values(
        DamageCase{"Cycle", [](std::string& s) { Patch16(s, BlockAt(3), 1); }, "data block 3 points back to block 1: the chain loops", 30},
        DamageCase{"SelfReference", [](std::string& s) { Patch16(s, BlockAt(2), 2); }, "the header says 40 records but 20 were read", 20},
        DamageCase{"NextPastEnd", [](std::string& s) { Patch16(s, BlockAt(2), 9); }, "data block 2 points to block 9, past the end of the file (4 blocks)", 20},
        DamageCase{"FirstPastEnd", [](std::string& s) { Patch16(s, 0x0E, 5); }, "the first data block, 5, lies past the end", 0},
        DamageCase{"TooManyRecords", [](std::string& s) { Patch16(s, BlockAt(2) + 4, 2000); }, "data block 2 claims 38 records but holds at most 37; they are not read", 30},
        DamageCase{"MoreRecordsInABlock", [](std::string& s) { Patch16(s, BlockAt(4) + 4, 3 * kLastOffsetOf10); }, "the header says 40 records but 58 were read", 58},
        DamageCase{"FewerRecordsInABlock", [](std::string& s) { Patch16(s, BlockAt(2) + 4, 1); }, "the header says 40 records but 31 were read", 31},
        DamageCase{"HeaderCountTooHigh", [](std::string& s) { Patch16(s, 0x06, 41); }, "the header says 41 records but 40 were read", 40},
        DamageCase{"ChainSkipsABlock", [](std::string& s) { Patch16(s, BlockAt(1), 3); Patch16(s, 0x06, 30); }, "the chain has 3 data blocks, the header says 4 are in use", 30},
        DamageCase{"LastBlockElsewhere", [](std::string& s) { Patch16(s, 0x10, 3); }, "the chain ends at data block 4, the header names block 3 as its last", 40},
        DamageCase{"UsedBlocksWrong", [](std::string& s) { Patch16(s, 0x0A, 5); }, "the header says 5 are in use", 40},
        DamageCase{"FileBlocksTooFew", [](std::string& s) { Patch16(s, 0x0C, 3); }, "the chain has 4 data blocks, the header says the file has 3", 40},
        DamageCase{"CutInTheLastBlock", [](std::string& s) { s.resize(BlockAt(4) + 100); }, "data block 4 holds 10 records but only 1 lie in the file", 31},
        DamageCase{"CutBeforeTheLastBlock", [](std::string& s) { s.resize(BlockAt(4) + 3); }, "data block 4 is cut off by the end of the file", 30}),
    LabelOf<DamageCase>);

TEST(DamagedChain, EmptyBlocksInTheChainAreSkippedWithoutAReport)
{
    std::string db = SampleWriter().databaseBytes();
    Patch16(db, BlockAt(2) + 4, static_cast<std::uint32_t>(-54) & 0xFFFF);
    Patch16(db, 0x06, 30);
    const ReadResult r = ReadAll(db, SampleWriter().blobBytes());
    EXPECT_EQ(r.records, 30);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.damage, "");
}

// Record 1 (odd) keeps its memo in a type-2 block, record 0 in a type-3 block.
struct BlobCase {
    const char* label;
    int record;
    std::function<void(std::string& db, std::string& mb, std::size_t trailer)> damage;
    const char* message;
};

void PrintTo(const BlobCase& c, std::ostream* os) { *os << c.label; }

class DamagedBlob : public ::testing::TestWithParam<BlobCase> {};

TEST_P(DamagedBlob, GivesAnErrorForThatValueOnly)
{
    const TableWriter w = SampleWriter();
    std::string db = w.databaseBytes();
    std::string mb = w.blobBytes();
    const int record = GetParam().record;
    // Fields: Id 4, Name 10, Memo 15 (leader 5 + trailer 10).
    const std::size_t trailer = BlockAt(1) + 6 + static_cast<std::size_t>(record) * 54 + 4 + 10 + 5;
    GetParam().damage(db, mb, trailer);
    auto t = testsupport::OpenInMemory(db, mb, "damaged.db");
    for (int r = 0; r <= record; ++r)
        ASSERT_TRUE(t->next());
    EXPECT_EQ(t->value(0).integer, record);
    try {
        t->value(2);
        FAIL() << "no error";
    } catch (const FormatError& e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("field Memo"), std::string::npos) << e.what();
    }
    EXPECT_EQ(t->value(1).text, "n" + std::to_string(record));
    ASSERT_TRUE(t->next());
    EXPECT_FALSE(t->value(2).isNull());  // the next record's memo is fine
}

std::uint32_t Load32(const std::string& s, std::size_t at) { return paradox::LoadLe32(reinterpret_cast<const std::uint8_t*>(s.data() + at)); }
void Patch32(std::string& s, std::size_t at, std::uint32_t v) { paradox::StoreLe32(reinterpret_cast<std::uint8_t*>(s.data() + at), v); }

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedBlob,
    ::testing::Values(
        BlobCase{"PointerZero", 1, [](std::string& db, std::string&, std::size_t at) { Patch32(db, at, 0); }, "pointer in the record is zero"},
        BlobCase{"PointerPastEnd", 1, [](std::string& db, std::string&, std::size_t at) { Patch32(db, at, 0x7FFFFF00u | 0xFF); }, "past the end"},
        BlobCase{"PointerToHeader", 1, [](std::string& db, std::string& mb, std::size_t at) { mb[Load32(db, at) & ~0xFFu] = 0; }, "header block"},
        BlobCase{"PointerToFreeBlock", 1, [](std::string& db, std::string& mb, std::size_t at) { mb[Load32(db, at) & ~0xFFu] = 4; }, "free block"},
        BlobCase{"UnknownBlockType", 1, [](std::string& db, std::string& mb, std::size_t at) { mb[Load32(db, at) & ~0xFFu] = 9; }, "unknown block type 9"},
        BlobCase{"SingleBlockWithSlot", 1, [](std::string& db, std::string&, std::size_t at) { db[at] = 3; }, "addressed with slot 3"},
        BlobCase{"SingleLengthMismatch", 1, [](std::string& db, std::string&, std::size_t at) { Patch32(db, at + 4, 2999); }, "the record says 2999"},
        BlobCase{"SingleLongerThanBlock", 1, [](std::string& db, std::string& mb, std::size_t at) { Patch32(db, at + 4, 9000); Patch32(mb, (Load32(db, at) & ~0xFFu) + 3, 9000); }, "longer than its block"},
        BlobCase{"MemoFileCut", 1, [](std::string& db, std::string& mb, std::size_t at) { mb.resize((Load32(db, at) & ~0xFFu) + 100); }, "past the end"},
        BlobCase{"SlotOutOfRange", 0, [](std::string& db, std::string&, std::size_t at) { db[at] = 64; }, "slot 64 does not exist"},
        BlobCase{"SlotEmpty", 0, [](std::string& db, std::string&, std::size_t at) { db[at] = 5; }, "slot 5 is empty"},
        BlobCase{"SlotLengthMismatch", 0, [](std::string& db, std::string&, std::size_t at) { Patch32(db, at + 4, 99); }, "the record says 99"},
        BlobCase{"SlotOutsideBlock", 0, [](std::string& db, std::string& mb, std::size_t at) { mb[(Load32(db, at) & ~0xFFu) + 12 + 5 * (Load32(db, at) & 0xFF)] = 2; }, "points outside its block"}),
    LabelOf<BlobCase>);

class Mutations : public ::testing::TestWithParam<std::uint32_t> {};

// Cutting the files anywhere: an error or fewer records, never a crash.
TEST_P(Mutations, TruncatedFilesNeverCrash)
{
    const TableWriter w = SampleWriter(GetParam());
    const std::string db = w.databaseBytes();
    const std::string mb = w.blobBytes();
    for (std::size_t len = 0; len < db.size(); len += len < 2200 ? 1 : 61) {
        const ReadResult r = ReadAll(db.substr(0, len), mb);
        EXPECT_LE(r.records, 40);
        if (len < 2048) {
            EXPECT_FALSE(r.error.empty()) << len;
        }
    }
    for (std::size_t len = 0; len < mb.size(); len += 37)
        EXPECT_EQ(ReadAll(db, mb.substr(0, len)).records, 40);
}

// Flipping single bits in header, blocks and .MB: only FormatError escapes.
TEST_P(Mutations, BitFlipsNeverCrash)
{
    const TableWriter w = SampleWriter(GetParam());
    const std::string db = w.databaseBytes();
    const std::string mb = w.blobBytes();
    for (std::size_t byte = 0; byte < 0x100; ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            std::string d = db;
            d[byte] = static_cast<char>(d[byte] ^ (1 << bit));
            ReadAll(d, mb);
        }
    }
    std::mt19937 rng(GetParam() + 1);
    for (int i = 0; i < 1500; ++i) {
        std::string d = db;
        std::string m = mb;
        std::string& target = i % 2 ? m : d;
        for (int k = 0; k < 1 + i % 4; ++k) {
            const std::size_t at = rng() % target.size();
            target[at] = static_cast<char>(target[at] ^ (1 << (rng() % 8)));
        }
        ReadAll(d, m);
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, Mutations, ::testing::Values(0u, 0x0A25E09Au));

// Random changes of the header's fixed part and of the data-block headers (a
// byte, or a small 16-bit number where a block number could be): the table
// either cannot be opened, or is reported damaged, or gives exactly the
// records it was written with, as many as its header says.
TEST(Mutations, HeaderAndBlockHeaderChangesAreReportedOrChangeNothing)
{
    const TableWriter w = SampleWriter();
    const std::string db = w.databaseBytes();
    const std::string mb = w.blobBytes();
    const ReadResult original = ReadAll(db, mb);
    ASSERT_EQ(original.records, 40);
    std::vector<std::size_t> fields;  // where a 16-bit field starts
    for (std::size_t at = 0; at < 0x78; at += 2)
        fields.push_back(at);
    for (int block = 1; block <= 4; ++block)
        for (std::size_t at = 0; at < paradox::kDataBlockHeader; at += 2)
            fields.push_back(BlockAt(block) + at);
    std::mt19937 rng(17);
    int reported = 0;
    for (int i = 0; i < 300; ++i) {
        std::string d = db;
        const std::size_t at = fields[rng() % fields.size()];
        if (rng() % 2)
            d[at + rng() % 2] = static_cast<char>(rng());
        else
            Patch16(d, at, rng() % 11);
        const ReadResult r = ReadAll(d, mb);
        if (!r.error.empty() || !r.damage.empty()) {
            ++reported;
            continue;
        }
        EXPECT_EQ(r.records, static_cast<int>(r.headerCount)) << "change " << i << " at " << at;
        EXPECT_TRUE(r.recordBytes == original.recordBytes) << "change " << i << " at " << at;
    }
    EXPECT_GT(reported, 50);  // the changes do reach the chain
}

}  // namespace
