// Writes the seed corpora of the fuzz targets from tables made by our writer:
//   make_seeds TABLE_DIR BLOB_DIR TABLE_WITH_BLOBS_DIR
#include "paradox/endian.h"
#include "paradox/writer/table_writer.h"

#include <filesystem>
#include <fstream>
#include <iostream>

namespace {

using paradox::FieldType;
using paradox::Value;
using namespace paradox::writer;

void save(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TableWriter sample(std::uint8_t version, std::uint8_t blockCode, std::uint32_t key, BlobPlacement placement)
{
    TableDesign design;
    design.versionId = version;
    design.blockSizeCode = blockCode;
    design.encryptionKey = key;
    design.blobPlacement = placement;
    design.codePage = version >= 5 ? 1252 : 0;
    design.fields = {{"A", FieldType::Alpha, 8},     {"D", FieldType::Date},      {"S", FieldType::Short},
                   {"I", FieldType::Long},         {"C", FieldType::Currency},  {"N", FieldType::Number},
                   {"L", FieldType::Logical},      {"M", FieldType::Memo, 12},  {"B", FieldType::Blob, 10},
                   {"G", FieldType::Graphic, 10},  {"T", FieldType::Time},      {"@", FieldType::Timestamp},
                   {"+", FieldType::Autoincrement}, {"#", FieldType::Bcd, 2},   {"Y", FieldType::Bytes, 3}};
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

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::cerr << "usage: make_seeds TABLE_DIR BLOB_DIR TABLE_WITH_BLOBS_DIR\n";
        return 2;
    }
    const std::filesystem::path tables = argv[1], blobs = argv[2], both = argv[3];
    for (const auto& dir : {tables, blobs, both})
        std::filesystem::create_directories(dir);
    int n = 0;
    for (std::uint8_t version : {3, 4, 9, 11, 12})
        for (std::uint8_t block : {1, 2, 4})
            for (std::uint32_t key : {0u, 0x0A25E09Au})
                for (auto placement : {BlobPlacement::Auto, BlobPlacement::SingleBlock}) {
                    const TableWriter w = sample(version, block, key, placement);
                    const std::string db = w.databaseBytes();
                    save(tables / ("t" + std::to_string(n) + ".db"), db);
                    // Blob seeds: the pointer of record 1's memo and record 0's graphic, then the .MB.
                    const std::string mb = w.blobBytes();
                    std::string length(4, '\0');
                    paradox::storeLe32(reinterpret_cast<std::uint8_t*>(length.data()), static_cast<std::uint32_t>(db.size()));
                    save(both / ("tm" + std::to_string(n)), length + db + mb);
                    for (int which = 0; which < 2; ++which) {
                        std::string prefix(16, '\0');
                        auto* p = reinterpret_cast<std::uint8_t*>(prefix.data());
                        paradox::storeLe32(p, which == 0 ? 0x1000u | 0x3Fu : 0x1000u | 0xFFu);
                        paradox::storeLe32(p + 4, which == 0 ? 40u : 3008u);
                        paradox::storeLe32(p + 8, key);
                        p[12] = static_cast<std::uint8_t>(which == 0 ? 0 : 4);
                        save(blobs / ("b" + std::to_string(n) + "_" + std::to_string(which)), prefix + mb);
                    }
                    ++n;
                }
    std::cout << n << " tables written\n";
    return 0;
}
