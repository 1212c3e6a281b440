// Reading the .DB header. Every offset is checked against the header size and
// the file size before it is used; impossible values are rejected early.
#include "paradox/header.h"

#include "paradox/endian.h"
#include "paradox/error.h"

#include <algorithm>
#include <cstring>

namespace paradox {

namespace {

[[noreturn]] void Fail(const ByteSource& source, const std::string& problem)
{
    throw FormatError(source.name(), problem);
}

void CheckFieldSize(const ByteSource& source, const Field& f, std::size_t index)
{
    const auto bad = [&](const std::string& expected) {
        Fail(source, "field " + std::to_string(index + 1) + " (" + std::string(FieldTypeName(f.type)) +
                         ") has size " + std::to_string(f.sizeByte) + ", expected " + expected);
    };
    switch (f.type) {
    case FieldType::Alpha: case FieldType::Bytes:
        if (f.sizeByte == 0) bad("1 to 255");
        break;
    case FieldType::Short:
        if (f.sizeByte != 2) bad("2");
        break;
    case FieldType::Logical:
        if (f.sizeByte != 1) bad("1");
        break;
    case FieldType::Date: case FieldType::Long: case FieldType::Time: case FieldType::Autoincrement:
        if (f.sizeByte != 4) bad("4");
        break;
    case FieldType::Currency: case FieldType::Number: case FieldType::Timestamp:
        if (f.sizeByte != 8) bad("8");
        break;
    case FieldType::Bcd:
        if (f.sizeByte > kMaxBcdScale) bad("a scale of 0 to 32");
        break;
    case FieldType::Memo: case FieldType::Blob: case FieldType::FormattedMemo:
    case FieldType::Ole: case FieldType::Graphic:
        if (f.sizeByte < kBlobTrailerSize) bad("10 to 255");
        break;
    }
}

// Reads a NUL-terminated string at pos (bounded by end); false when unterminated.
bool ReadCString(const std::vector<std::uint8_t>& h, std::size_t& pos, std::size_t end, std::string& out)
{
    const auto first = h.begin() + static_cast<std::ptrdiff_t>(pos);
    const auto last = h.begin() + static_cast<std::ptrdiff_t>(end);
    const auto nul = std::find(first, last, std::uint8_t{0});
    if (nul == last)
        return false;
    out.assign(first, nul);
    pos = static_cast<std::size_t>(nul - h.begin()) + 1;
    return true;
}

void ReadSortOrderName(const std::vector<std::uint8_t>& h, std::size_t pos, std::size_t fieldCount, TableHeader& t)
{
    // After the names: the field numbers, then the sort-order name. It only
    // helps to pick a code page, so a missing or odd one is simply ignored.
    pos += 2 * fieldCount;
    std::string name;
    if (pos >= h.size() || !ReadCString(h, pos, h.size(), name) || name.size() > 32)
        return;
    if (std::all_of(name.begin(), name.end(), [](char c) { return c > 0x20 && c < 0x7F; }))
        t.sortOrderName = name;
}

// The first bytes, before the header is read whole: what kind of file it is
// and the sizes that everything after depends on.
TableHeader ReadFixedPart(ByteSource& source)
{
    const std::uint64_t fileSize = source.size();
    if (fileSize == 0)
        Fail(source, "the file is empty, not a Paradox table");
    std::uint8_t start[16] = {};
    source.read(0, start, std::min<std::uint64_t>(sizeof start, fileSize));
    if (std::memcmp(start, "SQLite format 3", 16) == 0)
        Fail(source, "this is an SQLite database, not a Paradox table");
    if (fileSize < kFixedHeaderSize)
        Fail(source, "not a Paradox table: the file is too small (" + std::to_string(fileSize) + " bytes)");

    TableHeader t;
    t.recordSize = LoadLe16(start + 0x00);
    t.headerSize = LoadLe16(start + 0x02);
    t.fileType = start[0x04];
    t.blockSizeCode = start[0x05];
    if (t.fileType != kFileTypeKeyed && t.fileType != kFileTypeUnkeyed) {
        if (t.fileType <= 8)
            Fail(source, "this is a Paradox index file (file type " + std::to_string(t.fileType) + "), not a table");
        Fail(source, "not a Paradox table (unknown file type " + std::to_string(t.fileType) + ")");
    }
    if (t.headerSize < kFixedHeaderSize)
        Fail(source, "not a Paradox table (header size " + std::to_string(t.headerSize) + " is too small)");
    if (t.headerSize > fileSize)
        Fail(source, "the header size " + std::to_string(t.headerSize) + " is past the end of the file (" +
                         std::to_string(fileSize) + " bytes)");
    if (t.recordSize == 0)
        Fail(source, "not a Paradox table (record size 0)");
    if (t.blockSizeCode == 0 || t.blockSizeCode > 32)
        Fail(source, "not a Paradox table (block size code " + std::to_string(t.blockSizeCode) + ")");
    return t;
}

// The counts, version, keys and code page of the whole header; returns the field count.
std::int16_t ReadCounts(ByteSource& source, const std::vector<std::uint8_t>& h, TableHeader& t)
{
    t.recordCount = LoadLe32(&h[0x06]);
    t.usedBlocks = LoadLe16(&h[0x0A]);
    t.fileBlocks = LoadLe16(&h[0x0C]);
    t.firstBlock = LoadLe16(&h[0x0E]);
    t.lastBlock = LoadLe16(&h[0x10]);
    t.versionId = h[0x39];
    if (t.versionId < 3 || t.versionId > 12)
        Fail(source, "unsupported Paradox file version " + std::to_string(t.versionId) + " (3 to 12 are known)");
    if (t.recordSize > t.blockSize() - 6)
        Fail(source, "record size " + std::to_string(t.recordSize) + " does not fit in a " +
                         std::to_string(t.blockSize()) + "-byte block");
    const std::int16_t fieldCount = static_cast<std::int16_t>(LoadLe16(&h[0x21]));
    t.keyFieldCount = LoadLe16(&h[0x23]);
    t.sortOrder = h[0x29];
    t.changeCount = h[0x2E];
    t.autoIncrement = LoadLe32(&h[0x49]);

    const bool extended = t.hasExtension();
    if (extended && h.size() < kExtendedHeaderSize)
        Fail(source, "the header (" + std::to_string(h.size()) + " bytes) is too small for a version " +
                         std::to_string(t.versionId) + " table");
    t.encryptionKey = extended ? LoadLe32(&h[0x5C]) : LoadLe32(&h[0x25]);
    t.codePage = extended ? LoadLe16(&h[0x6A]) : 0;
    if (fieldCount <= 0)
        Fail(source, "not a Paradox table (field count " + std::to_string(fieldCount) + ")");
    return fieldCount;
}

// Each field's type, size and place in the record, from the descriptors at `base`.
void ReadFields(ByteSource& source, const std::vector<std::uint8_t>& h, std::size_t base, TableHeader& t)
{
    std::uint32_t offset = 0;
    for (std::size_t i = 0; i < t.fields.size(); ++i) {
        Field& f = t.fields[i];
        const auto code = FieldTypeFromCode(h[base + 2 * i]);
        if (!code)
            Fail(source, "field " + std::to_string(i + 1) + " has an unknown type code " +
                             std::to_string(h[base + 2 * i]));
        f.type = *code;
        f.sizeByte = h[base + 2 * i + 1];
        CheckFieldSize(source, f, i);
        f.size = f.type == FieldType::Bcd ? kBcdFieldSize : f.sizeByte;
        f.offset = offset;
        offset += f.size;
    }
    if (offset != t.recordSize)
        Fail(source, "the fields take " + std::to_string(offset) + " bytes but the record size is " +
                         std::to_string(t.recordSize));
}

}  // namespace

TableHeader ReadHeader(ByteSource& source)
{
    TableHeader t = ReadFixedPart(source);
    std::vector<std::uint8_t> h(t.headerSize);
    source.read(0, h.data(), h.size());
    const auto nf = static_cast<std::size_t>(ReadCounts(source, h, t));

    const bool extended = t.hasExtension();
    const std::size_t base = extended ? kExtendedHeaderSize : kFixedHeaderSize;
    const std::size_t nameSize = t.versionId == 12 ? kTableNameSizeV7 : kTableNameSizeOld;
    const std::size_t namesStart = base + 2 * nf + 4 + 4 * nf + nameSize;
    if (namesStart > h.size())
        Fail(source, "the header is too small for " + std::to_string(nf) + " fields");
    t.fields.resize(nf);
    ReadFields(source, h, base, t);

    std::size_t pos = base + 2 * nf + 4 + 4 * nf;
    const auto tableNameEnd = std::find(h.begin() + static_cast<std::ptrdiff_t>(pos),
                                        h.begin() + static_cast<std::ptrdiff_t>(pos + nameSize), std::uint8_t{0});
    t.tableName.assign(h.begin() + static_cast<std::ptrdiff_t>(pos), tableNameEnd);
    pos = namesStart;
    for (std::size_t i = 0; i < nf; ++i) {
        if (!ReadCString(h, pos, h.size(), t.fields[i].rawName))
            Fail(source, "the name of field " + std::to_string(i + 1) + " runs past the end of the header");
    }
    if (extended)
        ReadSortOrderName(h, pos, nf, t);
    return t;
}

}  // namespace paradox
