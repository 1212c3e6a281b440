// Field descriptors of a Paradox table: the seventeen field types, their sizes
// in a record and their names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace paradox {

enum class FieldType : std::uint8_t {
    Alpha = 0x01,
    Date = 0x02,
    Short = 0x03,
    Long = 0x04,
    Currency = 0x05,
    Number = 0x06,
    Logical = 0x09,
    Memo = 0x0C,
    Blob = 0x0D,
    FormattedMemo = 0x0E,
    Ole = 0x0F,
    Graphic = 0x10,
    Time = 0x14,
    Timestamp = 0x15,
    Autoincrement = 0x16,
    Bcd = 0x17,
    Bytes = 0x18,
};

// The type for a type code of the file, or nothing for a code no Paradox writes.
std::optional<FieldType> FieldTypeFromCode(std::uint8_t code);
std::string_view FieldTypeName(FieldType type);
bool IsBlobType(FieldType type);

// A BCD field always takes 17 bytes; its size byte holds the number of decimals.
inline constexpr int kBcdFieldSize = 17;
inline constexpr int kMaxBcdScale = 32;
// The blob trailer after the leader: offset|index, length, modification number.
inline constexpr int kBlobTrailerSize = 10;

struct Field {
    std::string name;     // decoded to UTF-8
    std::string rawName;  // as stored, in the table's code page
    FieldType type = FieldType::Alpha;
    std::uint8_t sizeByte = 0;  // as stored: length, leader+10, or BCD scale
    std::uint32_t size = 0;     // bytes in the record
    std::uint32_t offset = 0;   // from the start of the record
    int scale() const { return type == FieldType::Bcd ? sizeByte : 0; }
    std::uint32_t leaderSize() const { return size - kBlobTrailerSize; }
};

}  // namespace paradox
