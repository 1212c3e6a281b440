// Reading a secondary index's header: the fixed part a table's header has
// too, then its field descriptors, names and numbers, the sort order name
// and, in a .XGn, the index's own name.
#include "paradox/indexes.h"

#include "paradox/endian.h"
#include "paradox/error.h"

#include <algorithm>
#include <cctype>

namespace paradox {

namespace {

// Byte 0x55 of an index header, read as bits.
constexpr std::uint8_t kFlagUnique = 0x20;
constexpr std::uint8_t kFlagDescending = 0x10;
constexpr std::uint8_t kFlagCaseInsensitive = 0x01;
// A descending field's number carries this bit.
constexpr std::uint16_t kDescendingField = 0x8000;

struct Entry {
    std::uint8_t type = 0;
    std::uint8_t size = 0;
    std::string name;
    std::uint16_t number = 0;
};

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool SameType(const Field& f, const Entry& e)
{
    return static_cast<std::uint8_t>(f.type) == e.type && f.sizeByte == e.size;
}

class Reader {
public:
    Reader(ByteSource& source, const TableHeader& table) : source_(source), table_(table) {}
    SecondaryIndex read();

private:
    [[noreturn]] void fail(const std::string& problem) const { throw FormatError(source_.name(), problem); }
    // A NUL-terminated text at pos; moves pos past it.
    std::string text(std::size_t& pos) const
    {
        const auto first = h_.begin() + static_cast<std::ptrdiff_t>(std::min(pos, h_.size()));
        const auto nul = std::find(first, h_.end(), std::uint8_t{0});
        if (nul == h_.end())
            fail("its header ends inside a name");
        pos = static_cast<std::size_t>(nul - h_.begin()) + 1;
        return std::string(first, nul);
    }
    std::vector<Entry> readEntries(std::size_t count, std::size_t& pos) const;
    int tableField(const Entry& e, std::size_t place) const;

    ByteSource& source_;
    const TableHeader& table_;
    std::vector<std::uint8_t> h_;
};

SecondaryIndex Reader::read()
{
    std::uint8_t start[kFixedHeaderSize] = {};
    if (source_.size() < kFixedHeaderSize)
        fail("the file is too small for an index (" + std::to_string(source_.size()) + " bytes)");
    source_.read(0, start, sizeof start);
    const std::uint8_t fileType = start[0x04];
    const bool composite = fileType == kFileTypeCompositeNonIncrementing || fileType == kFileTypeCompositeIncrementing;
    if (!composite && fileType != kFileTypeIndexNonIncrementing && fileType != kFileTypeIndexIncrementing)
        fail("not a secondary index (file type " + std::to_string(fileType) + ")");
    const std::uint8_t version = start[0x39];
    if (version < 3 || version > 12)
        fail("unknown index file version " + std::to_string(version) + " (3 to 12 are read)");
    const std::size_t headerSize = LoadLe16(start + 0x02);
    if (headerSize < kFixedHeaderSize || headerSize > source_.size())
        fail("its header size " + std::to_string(headerSize) + " does not fit the file");
    h_.resize(headerSize);
    source_.read(0, h_.data(), h_.size());

    const auto count = static_cast<std::int16_t>(LoadLe16(&h_[0x21]));
    const bool keyed = table_.fileType == kFileTypeKeyed;
    // After the index's own fields: the table's key fields and the block
    // number (keyed table), or the record number, block number and offset.
    const int trailing = keyed ? table_.keyFieldCount + 1 : 3;
    if (count <= trailing)
        fail("it lists " + std::to_string(count) + " fields, too few for an index of this table");

    std::size_t pos = version >= 5 ? kExtendedHeaderSize : kFixedHeaderSize;
    std::vector<Entry> entries = readEntries(static_cast<std::size_t>(count), pos);
    SecondaryIndex index;
    if (composite) {
        text(pos);  // the sort order name
        index.name = text(pos);
    }
    const std::uint8_t flags = h_[0x55];
    index.unique = (flags & kFlagUnique) != 0;
    index.caseInsensitive = (flags & kFlagCaseInsensitive) != 0;
    const auto own = static_cast<std::size_t>(count - trailing);
    bool anyMarked = false;
    for (std::size_t i = 0; i < own; ++i) {
        const bool marked = (entries[i].number & kDescendingField) != 0;
        anyMarked = anyMarked || marked;
        index.fields.push_back({tableField(entries[i], i), marked});
    }
    // Only the direction byte says so: the whole index is descending.
    if ((flags & kFlagDescending) != 0 && !anyMarked) {
        for (IndexField& f : index.fields)
            f.descending = true;
    }
    return index;
}

std::vector<Entry> Reader::readEntries(std::size_t count, std::size_t& pos) const
{
    const std::size_t nameSize = h_[0x39] == 12 ? kTableNameSizeV7 : kTableNameSizeOld;
    const std::size_t namesStart = pos + 2 * count + 4 + 4 * count + nameSize;
    if (namesStart > h_.size())
        fail("its header is too small for " + std::to_string(count) + " fields");
    std::vector<Entry> entries(count);
    for (std::size_t i = 0; i < count; ++i) {
        entries[i].type = h_[pos + 2 * i];
        entries[i].size = h_[pos + 2 * i + 1];
    }
    pos = namesStart;
    for (Entry& e : entries)
        e.name = text(pos);
    if (pos + 2 * count > h_.size())
        fail("its header ends inside the field numbers");
    for (Entry& e : entries) {
        e.number = LoadLe16(&h_[pos]);
        pos += 2;
    }
    return entries;
}

int Reader::tableField(const Entry& e, std::size_t place) const
{
    const std::size_t number = e.number & ~kDescendingField;
    if (number >= 1 && number <= table_.fields.size() && SameType(table_.fields[number - 1], e))
        return static_cast<int>(number) - 1;
    for (std::size_t f = 0; f < table_.fields.size(); ++f) {
        if (SameName(table_.fields[f].rawName, e.name) && SameType(table_.fields[f], e))
            return static_cast<int>(f);
    }
    fail("its field " + std::to_string(place + 1) + " (" + e.name + ", number " + std::to_string(number) +
         ") is no longer a field of the table");
}

}  // namespace

SecondaryIndex ReadIndexHeader(ByteSource& source, const TableHeader& table)
{
    return Reader(source, table).read();
}

}  // namespace paradox
