// Writes the seed corpora of the fuzz targets from tables made by our writer,
// and, given a fourth folder, the damaged tables kept as regression inputs:
//   make_seeds TABLE_DIR BLOB_DIR TABLE_WITH_BLOBS_DIR [DAMAGED_TABLE_DIR]
#include "paradox/endian.h"
#include "paradox/writer/table_writer.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <utility>
#include <vector>

namespace {

using paradox::FieldType;
using paradox::Value;
using namespace paradox::writer;

void Save(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TableDesign Design(std::uint8_t version, std::uint8_t blockCode, std::uint16_t codePage,
                   std::vector<FieldDesign> fields)
{
    TableDesign design;
    design.versionId = version;
    design.blockSizeCode = blockCode;
    design.codePage = codePage;
    design.fields = std::move(fields);
    return design;
}

TableWriter Sample(std::uint8_t version, std::uint8_t blockCode, std::uint32_t key, BlobPlacement placement)
{
    TableDesign design = Design(version, blockCode, version >= 5 ? 1252 : 0,
                                {{"A", FieldType::Alpha, 8},     {"D", FieldType::Date},     {"S", FieldType::Short},
                                 {"I", FieldType::Long},         {"C", FieldType::Currency}, {"N", FieldType::Number},
                                 {"L", FieldType::Logical},      {"M", FieldType::Memo, 12}, {"B", FieldType::Blob, 10},
                                 {"G", FieldType::Graphic, 10},  {"T", FieldType::Time},     {"@", FieldType::Timestamp},
                                 {"+", FieldType::Autoincrement}, {"#", FieldType::Bcd, 2},  {"Y", FieldType::Bytes, 3}});
    design.encryptionKey = key;
    design.blobPlacement = placement;
    TableWriter w(design);
    for (int r = 0; r < 12; ++r) {
        const std::string blob(static_cast<std::size_t>(r % 3 == 0 ? 3000 : 40 * r), static_cast<char>('a' + r));
        w.addRecord({Value::ofText("r" + std::to_string(r)), Value::ofDate({2000, 1, 1 + r}), Value::ofInteger(-r),
                     Value::ofInteger(r * 1000), Value::ofCurrency(r * 1.5), Value::ofDouble(-r / 3.0),
                     Value::ofBoolean(r % 2), Value::ofText(blob), Value::ofBytes(blob), Value::ofBytes(blob),
                     Value::ofTime(r * 1000), Value::ofTimestamp({1999, 12, 31}, r), Value::ofInteger(r + 1),
                     r % 4 ? Value::ofBcd("-12.50") : Value::null(), Value::ofBytes("xyz")});
    }
    return w;
}

void Patch16(std::string& s, std::size_t at, std::uint32_t v)
{
    paradox::StoreLe16(reinterpret_cast<std::uint8_t*>(s.data() + at), v);
}

// Tables whose header and data blocks disagree, as damaged files show them;
// the reader must read what it can and report them. Kept in
// tests/paradox/data/fuzz-regressions.
void WriteDamaged(const std::filesystem::path& dir)
{
    {  // three dates; the high byte of the block's last-record offset becomes 2: 131 records
        TableWriter w(Design(9, 2, 850, {{"D", FieldType::Date}}));
        for (int day = 1; day <= 3; ++day)
            w.addRecord({Value::ofDate({1996, 5, day})});
        std::string db = w.databaseBytes();
        db[2048 + 5] = 0x02;
        Save(dir / "table-damaged-block-count-high", db);
    }
    {  // 198 records of 79 bytes in 1 KiB blocks; block 14 says it holds 1 record of 12: 187 read
        TableWriter w(Design(3, 1, 0, {{"Id", FieldType::Long}, {"Title", FieldType::Alpha, 75}}));
        for (int r = 0; r < 198; ++r)
            w.addRecord({Value::ofInteger(r), Value::ofText("film " + std::to_string(r))});
        std::string db = w.databaseBytes();
        Patch16(db, 2048 + 13 * 1024 + 4, 1);
        Save(dir / "table-damaged-block-count-low", db);
    }
    // 40 records in 4 blocks of 10 (2048 + (n - 1) * 1024 is block n), damaged one way each.
    TableDesign design = Design(12, 1, 1252, {{"Id", FieldType::Long}, {"Name", FieldType::Alpha, 20}});
    design.recordsPerBlock = 10;
    TableWriter w(design);
    for (int r = 0; r < 40; ++r)
        w.addRecord({Value::ofInteger(r), Value::ofText("name " + std::to_string(r))});
    const auto block = [](int n) { return 2048 + static_cast<std::size_t>(n - 1) * 1024; };
    const struct {
        const char* name;
        std::size_t at;
        std::uint32_t value;
    } damages[] = {
        {"block-count-impossible", block(2) + 4, 0x7000},  // more records than a block holds
        {"chain-loop", block(3), 1},                        // block 3 leads back to block 1
        {"chain-past-end", block(2), 99},                   // block 2 leads past the end of the file
        {"header-count", 0x06, 41},                         // the header counts 41 records
        {"last-block", 0x10, 2},                            // the header names block 2 as the last
        {"blocks-in-use", 0x0A, 3},                         // the header counts 3 blocks in use
    };
    for (const auto& d : damages) {
        std::string db = w.databaseBytes();
        Patch16(db, d.at, d.value);
        Save(dir / (std::string("table-damaged-") + d.name), db);
    }
    // Block 1 leads to block 3, and the header counts the 30 records left: only
    // the number of blocks in use tells that block 2 is left out.
    std::string db = w.databaseBytes();
    Patch16(db, block(1), 3);
    Patch16(db, 0x06, 30);
    Save(dir / "table-damaged-chain-skips-block", db);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 5) {
        std::cerr << "usage: make_seeds TABLE_DIR BLOB_DIR TABLE_WITH_BLOBS_DIR [DAMAGED_TABLE_DIR]\n";
        return 2;
    }
    if (argc == 5) {
        std::filesystem::create_directories(argv[4]);
        WriteDamaged(argv[4]);
    }
    const std::filesystem::path tables = argv[1], blobs = argv[2], both = argv[3];
    for (const auto& dir : {tables, blobs, both})
        std::filesystem::create_directories(dir);
    int n = 0;
    for (std::uint8_t version : {3, 4, 9, 11, 12})
        for (std::uint8_t block : {1, 2, 4})
            for (std::uint32_t key : {0u, 0x0A25E09Au})
                for (auto placement : {BlobPlacement::Auto, BlobPlacement::SingleBlock}) {
                    const TableWriter w = Sample(version, block, key, placement);
                    const std::string db = w.databaseBytes();
                    Save(tables / ("t" + std::to_string(n) + ".db"), db);
                    // Blob seeds: the pointer of record 1's memo and record 0's graphic, then the .MB.
                    const std::string mb = w.blobBytes();
                    std::string length(4, '\0');
                    paradox::StoreLe32(reinterpret_cast<std::uint8_t*>(length.data()), static_cast<std::uint32_t>(db.size()));
                    Save(both / ("tm" + std::to_string(n)), length + db + mb);
                    for (int which = 0; which < 2; ++which) {
                        std::string prefix(16, '\0');
                        auto* p = reinterpret_cast<std::uint8_t*>(prefix.data());
                        paradox::StoreLe32(p, which == 0 ? 0x1000u | 0x3Fu : 0x1000u | 0xFFu);
                        paradox::StoreLe32(p + 4, which == 0 ? 40u : 3008u);
                        paradox::StoreLe32(p + 8, key);
                        p[12] = static_cast<std::uint8_t>(which == 0 ? 0 : 4);
                        Save(blobs / ("b" + std::to_string(n) + "_" + std::to_string(which)), prefix + mb);
                    }
                    ++n;
                }
    std::cout << n << " tables written\n";
    return 0;
}
