// The table header of a .DB file: fixed part, v4+ extension, field
// descriptors, names and sort order, checked against the file before use.
#pragma once

#include "paradox/byte_source.h"
#include "paradox/fields.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace paradox {

// The header's layout, which a table's index files share: the fixed part,
// the start of the field list after it (version 5 on: extended), and the
// table name's room after the field lengths (version 12: 261 bytes).
inline constexpr std::size_t kFixedHeaderSize = 0x58;
inline constexpr std::size_t kExtendedHeaderSize = 0x78;
inline constexpr std::size_t kTableNameSizeV7 = 261;
inline constexpr std::size_t kTableNameSizeOld = 79;

inline constexpr std::uint8_t kFileTypeKeyed = 0;
inline constexpr std::uint8_t kFileTypeUnkeyed = 2;

struct TableHeader {
    std::uint16_t recordSize = 0;
    std::uint16_t headerSize = 0;
    std::uint8_t fileType = 0;
    std::uint8_t blockSizeCode = 0;  // block size in KiB
    std::uint32_t recordCount = 0;
    std::uint16_t usedBlocks = 0;  // blocks in the chain; free blocks are not counted
    std::uint16_t fileBlocks = 0;  // data blocks in the file, free ones included
    std::uint16_t firstBlock = 0;
    std::uint16_t lastBlock = 0;
    std::uint16_t keyFieldCount = 0;
    std::uint8_t sortOrder = 0;
    std::uint8_t changeCount = 0;  // byte 0x2E: the table's .VAL file holds the same
    std::uint8_t versionId = 0;  // 3 = 3.0, 4 = 3.5, 5..9 = 4.x, 10..11 = 5.x, 12 = 7.x
    std::uint32_t autoIncrement = 0;
    std::uint32_t encryptionKey = 0;  // 0 = not encrypted
    std::uint16_t codePage = 0;       // 0 = none stored
    std::string tableName;            // raw bytes as stored
    std::string sortOrderName;        // e.g. "ascii", "ANSII850"; empty when absent
    std::vector<Field> fields;        // names still raw (decoded by the table)

    std::uint32_t blockSize() const { return static_cast<std::uint32_t>(blockSizeCode) * 1024u; }
    bool hasExtension() const { return versionId >= 5; }
};

// Reads and checks the header; throws FormatError naming the source.
TableHeader ReadHeader(ByteSource& source);

}  // namespace paradox
