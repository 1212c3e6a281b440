// Field type codes and names.
#include "paradox/fields.h"

namespace paradox {

std::optional<FieldType> FieldTypeFromCode(std::uint8_t code)
{
    switch (code) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06: case 0x09:
    case 0x0C: case 0x0D: case 0x0E: case 0x0F: case 0x10:
    case 0x14: case 0x15: case 0x16: case 0x17: case 0x18:
        return static_cast<FieldType>(code);
    default:
        return std::nullopt;
    }
}

std::string_view FieldTypeName(FieldType type)
{
    switch (type) {
    case FieldType::Alpha: return "Alpha";
    case FieldType::Date: return "Date";
    case FieldType::Short: return "Short";
    case FieldType::Long: return "Long";
    case FieldType::Currency: return "Currency";
    case FieldType::Number: return "Number";
    case FieldType::Logical: return "Logical";
    case FieldType::Memo: return "Memo";
    case FieldType::Blob: return "BLOB";
    case FieldType::FormattedMemo: return "Formatted memo";
    case FieldType::Ole: return "OLE";
    case FieldType::Graphic: return "Graphic";
    case FieldType::Time: return "Time";
    case FieldType::Timestamp: return "Timestamp";
    case FieldType::Autoincrement: return "Autoincrement";
    case FieldType::Bcd: return "BCD";
    case FieldType::Bytes: return "Bytes";
    }
    return "?";
}

bool IsBlobType(FieldType type)
{
    switch (type) {
    case FieldType::Memo: case FieldType::Blob: case FieldType::FormattedMemo:
    case FieldType::Ole: case FieldType::Graphic:
        return true;
    default:
        return false;
    }
}

}  // namespace paradox
