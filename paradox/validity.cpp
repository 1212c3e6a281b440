// Reading a .VAL file. Its structure is little-endian; the values of its
// checks are stored as the table's records store them. Every offset is
// checked against the file before it is used.
#include "paradox/validity.h"

#include "paradox/endian.h"
#include "paradox/error.h"

#include <algorithm>

namespace paradox {

namespace {

constexpr std::uint64_t kMaxValiditySize = 16u << 20;  // far above any real one
constexpr std::size_t kChecksStart = 0x35;
constexpr std::size_t kCheckSize = 0x1C;
constexpr std::size_t kLookupSize = 0x50;   // the table name (0x1A) and pointers
constexpr std::size_t kLookupNameSize = 0x1A;
constexpr std::size_t kReferenceSize = 0x1E0;
constexpr std::size_t kMaxReferenceFields = 16;
constexpr std::size_t kTableNameSizeOld = 0x4F;
constexpr std::size_t kTableNameSizeV7 = 261;

std::string TypeText(std::uint8_t code, std::uint8_t size)
{
    const auto type = FieldTypeFromCode(code);
    return (type ? "a " + std::string(FieldTypeName(*type)) : "of type " + std::to_string(code)) + " of size " +
           std::to_string(size);
}

std::string TypeText(FieldType type, std::uint8_t size)
{
    return TypeText(static_cast<std::uint8_t>(type), size);
}

class Reader {
public:
    Reader(ByteSource& source, const TableHeader& table) : source_(source), table_(table)
    {
        if (source.size() > kMaxValiditySize)
            fail("the file is too large for a validity file (" + std::to_string(source.size()) + " bytes)");
        bytes_.resize(static_cast<std::size_t>(source.size()));
        source.read(0, bytes_.data(), bytes_.size());
    }

    ValidityFile read();

private:
    [[noreturn]] void fail(const std::string& problem) const { throw FormatError(source_.name(), problem); }
    void need(std::size_t at, std::size_t n, const char* what) const
    {
        if (at > bytes_.size() || n > bytes_.size() - at)
            fail(std::string(what) + " runs past the end of the file");
    }
    std::uint8_t u8(std::size_t at, const char* what) const { need(at, 1, what); return bytes_[at]; }
    std::uint16_t u16(std::size_t at, const char* what) const { need(at, 2, what); return LoadLe16(&bytes_[at]); }
    std::uint32_t u32(std::size_t at, const char* what) const { need(at, 4, what); return LoadLe32(&bytes_[at]); }
    // A NUL-terminated text within a fixed area (the whole area without a NUL).
    std::string text(std::size_t at, std::size_t size, const char* what) const
    {
        need(at, size, what);
        const auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(at);
        return std::string(first, std::find(first, first + static_cast<std::ptrdiff_t>(size), std::uint8_t{0}));
    }
    std::string bytes(std::size_t at, std::size_t size, const char* what) const
    {
        need(at, size, what);
        return std::string(bytes_.begin() + static_cast<std::ptrdiff_t>(at),
                           bytes_.begin() + static_cast<std::ptrdiff_t>(at + size));
    }
    int tableField(unsigned number, const std::string& what) const
    {
        if (number == 0 || number > table_.fields.size())
            fail(what + " names field " + std::to_string(number) + ", the table has " +
                 std::to_string(table_.fields.size()));
        return static_cast<int>(number) - 1;
    }

    std::size_t readCheck(std::size_t at, FieldCheck& check) const;
    void readReferences(std::size_t at, std::size_t end, ValidityFile& file) const;
    void readFooter(std::size_t at, ValidityFile& file) const;

    ByteSource& source_;
    const TableHeader& table_;
    std::vector<std::uint8_t> bytes_;
};

ValidityFile Reader::read()
{
    ValidityFile file;
    file.version = u8(0x01, "the header");
    if (file.version == kValidityVersion30)
        fail("a Paradox 3.0 validity file (version 1), whose layout is not documented; its checks are not read");
    if (file.version < 0x09 || file.version > 0x0C)
        fail("unknown validity file version " + std::to_string(file.version) + " (9 to 12 are read)");
    const std::uint8_t changes = u8(0x00, "the header");
    if (changes != table_.changeCount)
        fail("its change count " + std::to_string(changes) + " does not match the table's " +
             std::to_string(table_.changeCount) + ": it belongs to another state of the table");
    const std::size_t checks = u8(0x02, "the header");
    const std::size_t footer = u32(0x09, "the header");
    const std::size_t references = u32(0x0D, "the header");
    readFooter(footer, file);

    std::size_t at = kChecksStart;
    for (std::size_t i = 0; i < checks; ++i)
        at = readCheck(at, file.checks.emplace_back());
    if (references != 0) {
        if (references < at || references > footer)
            fail("its referential integrity at offset " + std::to_string(references) +
                 " lies outside the space between the checks and the footer");
        readReferences(references, footer, file);
    }
    return file;
}

// One field's check and the values that follow it; returns where the next starts.
std::size_t Reader::readCheck(std::size_t at, FieldCheck& check) const
{
    need(at, kCheckSize, "a check");
    const std::uint8_t* r = &bytes_[at];
    check.field = tableField(r[0] + 1u, "a check");
    const std::size_t pictureSize = r[1];
    check.required = r[2] != 0;
    check.lookupFlags = r[3];
    const Field& field = table_.fields[static_cast<std::size_t>(check.field)];
    std::size_t pos = at + kCheckSize;
    if (LoadLe32(r + 0x04) != 0) {
        check.lookupTable = text(pos, kLookupNameSize, "a table lookup");
        need(pos, kLookupSize, "a table lookup");
        pos += kLookupSize;
    }
    std::string* values[] = {&check.minimum, &check.maximum, &check.defaultValue};
    for (std::size_t v = 0; v < 3; ++v) {
        if (LoadLe32(r + 0x0C + 4 * v) == 0)
            continue;
        if (IsBlobType(field.type))
            fail("a check of the " + std::string(FieldTypeName(field.type)) + " field " +
                 std::to_string(check.field + 1) + " holds a value, which no such field can have");
        *values[v] = bytes(pos, field.size, "a check's value");
        pos += field.size;
    }
    if (LoadLe32(r + 0x18) != 0) {
        check.picture = text(pos, pictureSize, "a picture");
        pos += pictureSize;
    }
    return pos;
}

// The child records: this table's fields that must be found in a parent.
// The parent's side (the tables depending on it) follows them and is not needed.
void Reader::readReferences(std::size_t at, std::size_t end, ValidityFile& file) const
{
    const std::size_t count = u16(at, "the referential integrity");
    if (count * kReferenceSize > end - at)
        fail("its " + std::to_string(count) + " referential integrity records do not fit before its footer");
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t r = at + 2 + i * kReferenceSize;
        Reference& ref = file.references.emplace_back();
        ref.name = text(r, 0x40, "a referential integrity");
        ref.parentTable = text(r + 0xD4, 0x72, "a referential integrity");
        ref.cascade = u32(r + 0x19A, "a referential integrity") == 1;
        const std::size_t fields = u16(r + 0x19E, "a referential integrity");
        if (fields == 0 || fields > kMaxReferenceFields || ref.parentTable.empty())
            fail("the referential integrity " + ref.name + " is damaged (" + std::to_string(fields) +
                 " fields, parent \"" + ref.parentTable + "\")");
        for (std::size_t f = 0; f < fields; ++f) {
            ref.fields.push_back(tableField(u16(r + 0x1A0 + 2 * f, "a field"), "the referential integrity " + ref.name));
            const unsigned parent = u16(r + 0x1C0 + 2 * f, "a field");
            if (parent == 0)
                fail("the referential integrity " + ref.name + " names parent field 0");
            ref.parentFields.push_back(static_cast<int>(parent) - 1);
        }
    }
}

// The fields the file was made for: their number and types must still be the
// table's. The names are kept for the record only: a field renamed since keeps
// its old name here.
void Reader::readFooter(std::size_t at, ValidityFile& file) const
{
    const std::size_t count = u16(at, "the footer");
    if (count != table_.fields.size())
        fail("it describes " + std::to_string(count) + " fields, the table has " +
             std::to_string(table_.fields.size()));
    std::size_t pos = at + 6 + 2 * count;
    for (std::size_t i = 0; i < count; ++i, pos += 2) {
        const Field& f = table_.fields[i];
        const std::uint8_t type = u8(pos, "the footer");
        const std::uint8_t size = u8(pos + 1, "the footer");
        if (type != static_cast<std::uint8_t>(f.type) || size != f.sizeByte)
            fail("field " + std::to_string(i + 1) + " was " + TypeText(type, size) +
                 " when the checks were made and is now " + TypeText(f.type, f.sizeByte));
    }
    const std::size_t nameSize = file.version == 0x0C ? kTableNameSizeV7 : kTableNameSizeOld;
    file.tableName = text(pos, nameSize, "the footer's table name");
    pos += nameSize;
    for (std::size_t i = 0; i < count; ++i) {
        need(pos, 1, "the footer's field names");
        file.fieldNames.push_back(text(pos, bytes_.size() - pos, "the footer's field names"));
        pos += file.fieldNames.back().size() + 1;
        if (pos > bytes_.size())
            fail("the footer's field names run past the end of the file");
    }
}

}  // namespace

ValidityFile ReadValidityFile(ByteSource& source, const TableHeader& table)
{
    return Reader(source, table).read();
}

}  // namespace paradox
