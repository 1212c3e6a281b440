// Writing a validity file and an index header byte by byte from their layout.
#include "paradox/writer/rule_writer.h"

#include "paradox/endian.h"

#include <stdexcept>

namespace paradox::writer {

namespace {

constexpr std::size_t kChecksStart = 0x35;
constexpr std::size_t kCheckSize = 0x1C;
constexpr std::size_t kLookupSize = 0x50;
constexpr std::size_t kReferenceSize = 0x1E0;
constexpr std::uint32_t kPresent = 0x6B000001;  // what Paradox stores is a pointer of its own: any non-zero will do

void Le16(std::string& s, std::size_t at, std::uint32_t v)
{
    StoreLe16(reinterpret_cast<std::uint8_t*>(s.data() + at), v);
}

void Le32(std::string& s, std::size_t at, std::uint32_t v)
{
    StoreLe32(reinterpret_cast<std::uint8_t*>(s.data() + at), v);
}

void Text(std::string& s, std::size_t at, const std::string& text)
{
    s.replace(at, text.size(), text);
}

std::uint8_t SizeByte(const FieldDesign& f, TableWriter& table, std::size_t index)
{
    if (f.type == FieldType::Bcd || f.type == FieldType::Alpha || f.type == FieldType::Bytes || IsBlobType(f.type))
        return static_cast<std::uint8_t>(f.size);
    return static_cast<std::uint8_t>(table.fieldBytes(index, Value::null()).size());
}

std::string Check(const TableDesign& design, TableWriter& table, const CheckDesign& c)
{
    std::string r(kCheckSize, '\0');
    r[0] = static_cast<char>(c.field);
    r[1] = static_cast<char>(c.picture.empty() ? 0 : c.picture.size() + 1);
    r[2] = c.required ? 1 : 0;
    r[3] = static_cast<char>(c.lookupFlags);
    std::string values;
    if (!c.lookupTable.empty()) {
        Le32(r, 0x04, kPresent);
        std::string lookup(kLookupSize, '\0');
        Text(lookup, 0, c.lookupTable);
        values += lookup;
    }
    const std::optional<Value>* stored[] = {&c.minimum, &c.maximum, &c.defaultValue};
    for (std::size_t v = 0; v < 3; ++v) {
        if (!stored[v]->has_value())
            continue;
        Le32(r, 0x0C + 4 * v, kPresent);
        values += table.fieldBytes(static_cast<std::size_t>(c.field), **stored[v]);
    }
    if (!c.picture.empty()) {
        Le32(r, 0x18, kPresent);
        values += c.picture + '\0';
    }
    if (c.field < 0 || static_cast<std::size_t>(c.field) >= design.fields.size())
        throw std::invalid_argument("a check of a field the table does not have");
    return r + values;
}

std::string References(const std::vector<ReferenceDesign>& references)
{
    std::string out(2, '\0');
    Le16(out, 0, static_cast<std::uint32_t>(references.size()));
    for (const ReferenceDesign& ref : references) {
        std::string r(kReferenceSize, '\0');
        Text(r, 0, ref.name);
        Le32(r, 0x19A, ref.cascade ? 1 : 0);
        Le16(r, 0x19E, static_cast<std::uint32_t>(ref.fields.size()));
        Text(r, 0xD4, ref.parentTable);
        for (std::size_t f = 0; f < ref.fields.size(); ++f) {
            Le16(r, 0x1A0 + 2 * f, static_cast<std::uint32_t>(ref.fields[f] + 1));
            Le16(r, 0x1C0 + 2 * f, static_cast<std::uint32_t>(ref.parentFields.at(f) + 1));
        }
        out += r;
    }
    return out;
}

std::string Footer(const TableDesign& design, TableWriter& table, const ValidityDesign& validity)
{
    const std::size_t nf = design.fields.size();
    std::string out(6 + 4 * nf, '\0');
    Le16(out, 0, static_cast<std::uint32_t>(nf));
    for (std::size_t i = 0; i < nf; ++i) {
        Le16(out, 6 + 2 * i, static_cast<std::uint32_t>(i + 1));
        out[6 + 2 * nf + 2 * i] = static_cast<char>(design.fields[i].type);
        out[6 + 2 * nf + 2 * i + 1] = static_cast<char>(SizeByte(design.fields[i], table, i));
    }
    std::string name = validity.tableName;
    name.resize(validity.version == 0x0C ? 261 : 0x4F, '\0');
    out += name;
    for (const FieldDesign& f : design.fields)
        out += f.name + '\0';
    return out;
}

}  // namespace

std::string ValidityBytes(const TableDesign& design, TableWriter& table, const ValidityDesign& validity)
{
    std::string out(kChecksStart, '\0');
    out[0] = static_cast<char>(validity.changeCount);
    out[1] = static_cast<char>(validity.version);
    out[2] = static_cast<char>(validity.checks.size());
    for (const CheckDesign& c : validity.checks)
        out += Check(design, table, c);
    if (!validity.references.empty()) {
        Le32(out, 0x0D, static_cast<std::uint32_t>(out.size()));
        out += References(validity.references);
    }
    Le32(out, 0x09, static_cast<std::uint32_t>(out.size()));
    return out + Footer(design, table, validity);
}

std::string IndexHeaderBytes(const TableDesign& design, const IndexDesign& index)
{
    // The index's own fields, then the table's key fields and "Blk Num"
    // (keyed), or "Tup No", "Blk Num" and "Tup Offset".
    struct Entry {
        std::uint8_t type, size;
        std::string name;
        std::uint16_t number;
    };
    std::vector<Entry> entries;
    for (std::size_t i = 0; i < index.fields.size(); ++i) {
        const FieldDesign& f = design.fields.at(static_cast<std::size_t>(index.fields[i]));
        const bool down = i < index.descending.size() && index.descending[i];
        TableWriter sizes(design);
        entries.push_back({static_cast<std::uint8_t>(f.type), SizeByte(f, sizes, static_cast<std::size_t>(index.fields[i])),
                           f.name, static_cast<std::uint16_t>((index.fields[i] + 1) | (down ? 0x8000 : 0))});
    }
    if (design.keyed) {
        for (std::uint16_t k = 0; k < design.keyFields; ++k)
            entries.push_back({static_cast<std::uint8_t>(design.fields[k].type), 0, design.fields[k].name,
                               static_cast<std::uint16_t>(k + 2)});
        entries.push_back({0x03, 2, "Blk Num", 0});
    } else {
        entries.push_back({0x04, 4, "Tup No", 2});
        entries.push_back({0x03, 2, "Blk Num", 3});
        entries.push_back({0x03, 2, "Tup Offset", 4});
    }
    const std::size_t base = index.versionId >= 5 ? 0x78 : 0x58;
    std::string h(base, '\0');
    for (const Entry& e : entries) {
        h += static_cast<char>(e.type);
        h += static_cast<char>(e.size);
    }
    h.append(4 + 4 * entries.size(), '\0');
    std::string tableName = "index";
    tableName.resize(index.versionId == 12 ? 261 : 79, '\0');
    h += tableName;
    for (const Entry& e : entries)
        h += e.name + '\0';
    for (const Entry& e : entries) {
        h += static_cast<char>(e.number & 0xFF);
        h += static_cast<char>(e.number >> 8);
    }
    h += std::string("ascii") + '\0';
    if (!index.name.empty())
        h += index.name + '\0';
    h.resize(2048, '\0');
    Le16(h, 0x02, 2048);
    h[0x04] = static_cast<char>(index.name.empty() ? 5 : 8);
    h[0x15] = static_cast<char>(index.fields.empty() ? 0 : index.fields[0] + 1);
    Le16(h, 0x21, static_cast<std::uint32_t>(entries.size()));
    h[0x39] = static_cast<char>(index.versionId);
    bool down = false;
    for (bool d : index.descending)
        down = down || d;
    h[0x55] = static_cast<char>((index.unique ? 0x20 : 0) | (down ? 0x10 : 0) | (index.caseInsensitive ? 0x01 : 0));
    return h;
}

}  // namespace paradox::writer
