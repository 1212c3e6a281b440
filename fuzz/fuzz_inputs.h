// What the fuzz targets do with one input, shared with the test that replays
// every input that once crashed them (tests/paradox/data/fuzz-regressions).
#pragma once

#include "paradox/blobs.h"
#include "paradox/endian.h"
#include "paradox/error.h"
#include "paradox/table.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fuzzinputs {

// What reading a table gave, enough to check that a table whose records
// differ from its header's count is reported damaged.
struct TableReading {
    bool opened = false;    // the header could be read
    bool complete = false;  // next() went to the end of the table
    std::uint64_t records = 0;
    std::uint32_t headerCount = 0;
    std::optional<std::string> damage;

    bool silentlyMiscounted() const { return opened && complete && !damage && records != headerCount; }
};

// The input is a .DB file: open it and read every value of every record.
// With a .MB file, blobs are read from it too.
inline TableReading ReadTable(const std::uint8_t* data, std::size_t size, std::string_view mb = {})
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    paradox::BlobOpener opener;
    if (!mb.empty())
        opener = [mb]() { return std::make_unique<paradox::MemorySource>("fuzz.mb", mb); };
    TableReading reading;
    try {
        paradox::Table table(std::make_unique<paradox::MemorySource>("fuzz.db", bytes), opener);
        reading.opened = true;
        reading.headerCount = table.recordCount();
        while (reading.records < 100000) {
            if (!table.next()) {
                reading.complete = true;
                break;
            }
            ++reading.records;
            for (std::size_t i = 0; i < table.fieldCount(); ++i) {
                try {
                    const paradox::Value v = table.value(i);
                    volatile std::size_t sink = v.text.size();
                    (void)sink;
                } catch (const paradox::FormatError&) {
                }
            }
        }
        reading.damage = table.damage();
    } catch (const paradox::FormatError&) {
    }
    return reading;
}

// A table with its .MB: a 4-byte length of the .DB part, the .DB, the .MB.
inline TableReading ReadTableWithBlobs(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return {};
    const std::size_t dbSize = std::min<std::size_t>(paradox::LoadLe32(data), size - 4);
    return ReadTable(data + 4, dbSize,
                     std::string_view(reinterpret_cast<const char*>(data + 4 + dbSize), size - 4 - dbSize));
}

// The first 16 bytes give a record's blob pointer (offset|index, length), the
// encryption key and the field type; the rest is the .MB file.
inline constexpr std::size_t kBlobPrefix = 16;

inline void ReadBlob(const std::uint8_t* data, std::size_t size)
{
    static constexpr paradox::FieldType kTypes[] = {paradox::FieldType::Memo, paradox::FieldType::Blob,
                                                    paradox::FieldType::FormattedMemo, paradox::FieldType::Ole,
                                                    paradox::FieldType::Graphic};
    if (size < kBlobPrefix)
        return;
    paradox::BlobPointer ptr;
    const std::uint32_t offsetIndex = paradox::LoadLe32(data);
    ptr.offset = offsetIndex & 0xFFFFFF00u;
    ptr.index = static_cast<std::uint8_t>(offsetIndex);
    ptr.length = paradox::LoadLe32(data + 4);
    const std::uint32_t key = paradox::LoadLe32(data + 8);
    const paradox::FieldType type = kTypes[data[12] % 5];
    const std::string_view mb(reinterpret_cast<const char*>(data + kBlobPrefix), size - kBlobPrefix);
    paradox::BlobFile file(std::make_unique<paradox::MemorySource>("fuzz.mb", mb), key);
    std::string out;
    try {
        file.read(ptr, type, out);
    } catch (const paradox::FormatError&) {
    }
}

}  // namespace fuzzinputs
