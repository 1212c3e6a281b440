// A small writer of Paradox tables (.DB and .MB) for tests, fuzz seeds and
// sample generation: any file version 3..12, keyed or not, any block size,
// every field type, blobs in both .MB block kinds, encryption.
#pragma once

#include "paradox/fields.h"
#include "paradox/value.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace paradox::writer {

struct FieldDesign {
    std::string name;  // UTF-8; stored in the table's code page
    FieldType type = FieldType::Alpha;
    // Alpha/Bytes: length; blob types: bytes in the record (leader + 10);
    // BCD: number of decimals; ignored for the fixed-size types.
    int size = 0;
};

enum class BlobPlacement {
    Auto,          // up to 2 KiB sub-allocated, larger in a block of its own
    SingleBlock,   // every .MB blob in a type-2 block
    SubAllocated,  // every .MB blob in a type-3 block (up to 4 KiB - 336 bytes)
};

struct TableDesign {
    std::uint8_t versionId = 12;  // 3..12
    bool keyed = false;
    std::uint16_t keyFields = 1;  // when keyed
    std::uint8_t blockSizeCode = 2;
    std::uint16_t codePage = 1252;  // stored for versions 5 and up; 0 = none
    std::string textEncoding;       // iconv name for texts; empty: from codePage (CP437 when 0)
    std::uint8_t sortOrder = 0;
    std::string sortOrderName = "ascii";
    std::uint32_t encryptionKey = 0;  // 0 = not encrypted
    std::uint16_t headerSize = 0;     // 0 = 2048, or more when the fields need it
    std::string tableName = "table.db";
    std::vector<FieldDesign> fields;
    BlobPlacement blobPlacement = BlobPlacement::Auto;
    std::uint32_t recordsPerBlock = 0;  // 0 = as many as fit
    bool reverseBlocks = false;         // chain order opposite to the physical order
};

class TableWriter {
public:
    // Throws std::invalid_argument for a design that cannot be written.
    explicit TableWriter(TableDesign design);

    // Adds one record; values in field order (missing ones are NULL). Texts
    // are encoded to the table's code page; throws std::invalid_argument for a
    // value that does not fit its field.
    void addRecord(const std::vector<Value>& values);
    // Adds one record given as its stored bytes (exactly the record size).
    void addRawRecord(std::string_view bytes);

    // One field's value as a record stores it (not for blob fields), as the
    // checks of a validity file hold their values.
    std::string fieldBytes(std::size_t index, const Value& value);

    std::uint32_t recordSize() const { return recordSize_; }
    std::string databaseBytes() const;
    // The .MB file; empty when no value needed it.
    std::string blobBytes() const;
    // Writes the .DB and, when there are blobs, the .MB (both paths given).
    void writeFiles(const std::filesystem::path& db, const std::filesystem::path& mb) const;

private:
    std::string encodeText(std::string_view utf8) const;
    void encodeField(std::size_t index, const Value& v, std::uint8_t* p);
    void encodeBlob(const FieldDesign& f, std::string payload, std::uint8_t* p);
    std::uint32_t storeBlob(const std::string& stored, std::uint8_t& index);
    std::string headerBytes(std::uint32_t blocks) const;

    TableDesign design_;
    std::string encoding_;
    std::vector<std::uint32_t> sizes_;
    std::uint32_t recordSize_ = 0;
    std::uint32_t perBlock_ = 0;
    std::vector<std::string> records_;
    std::string mb_;
    std::uint32_t subBlock_ = 0;     // offset of the sub-allocated block being filled, 0 = none
    std::uint32_t subNextData_ = 0;  // next free 16-byte unit in it
    int subNextSlot_ = -1;
};

}  // namespace paradox::writer
