// Columns as created, told, and read back from a bulk load's rows.
#include "tests/tds/tds_bulk.h"

#include "tests/tds/tds_tokens.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace tdstest {

namespace {

enum BulkType : std::uint8_t {
    kImage = 0x22, kText = 0x23, kIntN = 0x26, kDateN = 0x28, kTimeN = 0x29, kDateTime2N = 0x2A,
    kNText = 0x63, kBitN = 0x68, kDecimalN = 0x6A, kNumericN = 0x6C, kFltN = 0x6D, kMoneyN = 0x6E,
    kBigVarBinary = 0xA5,
};

std::string Upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

int Number(std::string_view text)
{
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// "[Name] TYPE(args) IDENTITY(1,1)".
ColumnDef ColumnOf(std::string_view def)
{
    ColumnDef c;
    const std::size_t close = def.find(']');
    c.name = std::string(def.substr(1, close - 1));
    std::string_view rest = def.substr(close + 1);
    rest.remove_prefix(std::min(rest.find_first_not_of(' '), rest.size()));
    const std::size_t end = rest.find_first_of(" (");
    c.type = Upper(rest.substr(0, end));
    if (end != std::string_view::npos && rest[end] == '(') {
        const std::string_view args = rest.substr(end + 1, rest.find(')') - end - 1);
        const std::size_t comma = args.find(',');
        const bool decimal = c.type == "DECIMAL" || c.type == "NUMERIC";
        if (Upper(args) == "MAX")
            c.length = -1;
        else if (decimal)
            c.precision = Number(args), c.scale = comma == std::string_view::npos ? 0 : Number(args.substr(comma + 1));
        else if (c.type == "TIME" || c.type == "DATETIME2")
            c.scale = Number(args);
        else
            c.length = Number(args);
    }
    c.identity = Upper(rest).find("IDENTITY") != std::string::npos;
    return c;
}

void PutColumnType(Writer& w, std::string_view table, const ColumnDef& c)
{
    const auto fixed = [&](std::uint8_t type, std::uint8_t size) { w.u8(type), w.u8(size); };
    const std::string& t = c.type;
    const std::uint16_t length = c.length < 0 ? 0xFFFF : static_cast<std::uint16_t>(c.length);
    if (t == "INT" || t == "SMALLINT" || t == "TINYINT" || t == "BIGINT")
        fixed(kIntN, t == "INT" ? 4 : t == "SMALLINT" ? 2 : t == "TINYINT" ? 1 : 8);
    else if (t == "FLOAT" || t == "MONEY" || t == "BIT")
        fixed(t == "FLOAT" ? kFltN : t == "MONEY" ? kMoneyN : kBitN, t == "BIT" ? 1 : 8);
    else if (t == "DECIMAL" || t == "NUMERIC")
        w.u8(kDecimalN), w.u8(c.precision <= 9 ? 5 : c.precision <= 19 ? 9 : c.precision <= 28 ? 13 : 17),
            w.u8(static_cast<std::uint8_t>(c.precision)), w.u8(static_cast<std::uint8_t>(c.scale));
    else if (t == "DATE")
        w.u8(kDateN);
    else if (t == "TIME" || t == "DATETIME2")
        fixed(t == "TIME" ? kTimeN : kDateTime2N, static_cast<std::uint8_t>(c.scale < 0 ? 7 : c.scale));
    else if (t == "NVARCHAR" || t == "VARCHAR")
        w.u8(t == "NVARCHAR" ? kNVarChar : kBigVarChar), w.u16(t == "NVARCHAR" && c.length > 0 ? 2 * length : length),
            w.bytes(CollationBytes());
    else if (t == "VARBINARY")
        w.u8(kBigVarBinary), w.u16(length);
    else if (t == "TEXT" || t == "NTEXT" || t == "IMAGE") {
        w.u8(t == "TEXT" ? kText : t == "NTEXT" ? kNText : kImage);
        w.u32(0x7FFFFFFF);
        if (t != "IMAGE")
            w.bytes(CollationBytes());
        w.u8(1);  // the table's name in one part
        w.u16(static_cast<std::uint16_t>(Utf16(table).size()));
        w.bytes(Ucs2(table));
    } else
        throw std::runtime_error("a column type the test server does not tell: " + t);
}

// A bulk-load column as the client described it.
struct WireColumn {
    std::uint8_t type = 0;
    std::uint32_t size = 0;
    int scale = 0;       // of the wire's values
    int shownScale = 0;  // of the table's column: the decimals the record shows
};

std::int64_t LittleEndian(std::string_view bytes, bool isSigned)
{
    std::uint64_t v = 0;
    for (std::size_t i = bytes.size(); i-- > 0;)
        v = v << 8 | static_cast<std::uint8_t>(bytes[i]);
    if (isSigned && !bytes.empty() && bytes.size() < 8 && (static_cast<std::uint8_t>(bytes.back()) & 0x80))
        v |= ~std::uint64_t{0} << (8 * bytes.size());
    return static_cast<std::int64_t>(v);
}

// A DECIMAL(38) value's digits need more than 64 bits.
__extension__ typedef unsigned __int128 Magnitude;

// Digits of a whole number with `scale` of them after the point.
std::string Scaled(Magnitude magnitude, bool negative, int scale)
{
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude > 0);
    if (scale > 0) {
        digits.insert(0, std::string(static_cast<std::size_t>(std::max(0, scale + 1 - static_cast<int>(digits.size()))), '0'));
        digits.insert(digits.size() - static_cast<std::size_t>(scale), ".");
    }
    return (negative ? "-" : "") + digits;
}

std::string DateText(std::int64_t days)
{
    // Days since 0001-01-01 as a civil date (H. Hinnant's algorithm, from 0000-03-01).
    const std::int64_t z = days + 306;
    const std::int64_t era = z / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld", static_cast<long long>(yoe + era * 400 + (month <= 2)),
                  static_cast<long long>(month), static_cast<long long>(doy - (153 * mp + 2) / 5 + 1));
    return text;
}

// The time of day in units of 10^-scale seconds, shown with `shown` decimals.
std::string TimeText(std::int64_t units, int scale, int shown)
{
    std::int64_t drop = 1;
    for (int s = scale; s > shown; --s)
        drop *= 10;
    units = (units + drop / 2) / drop;  // SQL Server rounds to the column's decimals
    std::int64_t unit = 1;
    for (int s = 0; s < shown; ++s)
        unit *= 10;
    const std::int64_t seconds = units / unit;
    char text[80];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return shown > 0 ? text + ("." + Scaled(static_cast<Magnitude>(units % unit + unit), false, 0).substr(1))
                     : text;
}

std::string ValueText(const WireColumn& c, std::string_view b)
{
    switch (c.type) {
    case kIntN: return std::to_string(LittleEndian(b, true));
    case kBitN: return b[0] != 0 ? "1" : "0";
    case kFltN: {
        char text[32];
        double d = 0;
        if (b.size() == 4) {
            float f = 0;
            std::memcpy(&f, b.data(), 4);
            d = f;
        } else {
            std::memcpy(&d, b.data(), 8);
        }
        return std::string(text, std::to_chars(text, text + sizeof text, d).ptr);
    }
    case kMoneyN: {
        const std::int64_t v = b.size() == 4 ? LittleEndian(b, true)
                                             : static_cast<std::int64_t>(static_cast<std::uint64_t>(LittleEndian(b.substr(0, 4), true)) << 32
                                                                         | static_cast<std::uint64_t>(LittleEndian(b.substr(4), false)));
        return Scaled(static_cast<Magnitude>(v < 0 ? -v : v), v < 0, 4);
    }
    case kDecimalN:
    case kNumericN: {
        Magnitude m = 0;
        for (std::size_t i = b.size(); i-- > 1;)
            m = m << 8 | static_cast<std::uint8_t>(b[i]);
        return Scaled(m, b[0] == 0, c.scale);
    }
    case kDateN: return DateText(LittleEndian(b, false));
    case kTimeN: return TimeText(LittleEndian(b, false), c.scale, c.shownScale);
    case kDateTime2N:
        return DateText(LittleEndian(b.substr(b.size() - 3), false)) + "T"
            + TimeText(LittleEndian(b.substr(0, b.size() - 3), false), c.scale, c.shownScale);
    case kNVarChar:
    case kNText: return Utf8(FromUcs2(b));
    case kBigVarChar:
    case kText: {
        std::u16string latin1(b.begin(), b.end());
        for (char16_t& u : latin1)
            u &= 0xFF;
        return Utf8(latin1);
    }
    default: {
        std::string hex = "0x";
        for (unsigned char byte : b) {
            hex.push_back("0123456789ABCDEF"[byte >> 4]);
            hex.push_back("0123456789ABCDEF"[byte & 15]);
        }
        return hex;
    }
    }
}

// A value's bytes as the row holds them (none for NULL).
std::optional<std::string> ValueBytes(Reader& r, const WireColumn& c)
{
    const bool blob = c.type == kText || c.type == kNText || c.type == kImage;
    const bool shortLength = c.type == kNVarChar || c.type == kBigVarChar || c.type == kBigVarBinary;
    if (shortLength && c.size == 0xFFFF) {  // MAX: the length, or none known, and chunks
        if (r.u64() == ~std::uint64_t{0})
            return std::nullopt;
        std::string out;
        for (std::uint32_t chunk = r.u32(); chunk > 0; chunk = r.u32())
            out += r.bytes(chunk);
        return out;
    }
    if (shortLength) {
        const std::uint16_t n = r.u16();
        return n == 0xFFFF ? std::nullopt : std::optional<std::string>(r.bytes(n));
    }
    const std::uint8_t n = r.u8();
    if (n == 0)
        return std::nullopt;
    if (!blob)
        return std::string(r.bytes(n));
    r.skip(n + 8u);  // text pointer and time stamp
    return std::string(r.bytes(r.u32()));
}

WireColumn ReadWireColumn(Reader& r, const std::vector<ColumnDef>& table, bool tds72)
{
    tds72 ? r.skip(4) : r.skip(2);  // user type
    r.skip(2);                       // flags
    WireColumn c;
    c.type = r.u8();
    switch (c.type) {
    case kIntN: case kFltN: case kMoneyN: case kBitN: c.size = r.u8(); break;
    case kDecimalN: case kNumericN: c.size = r.u8(), r.skip(1), c.scale = r.u8(); break;
    case kDateN: break;
    case kTimeN: case kDateTime2N: c.scale = r.u8(); break;
    case kNVarChar: case kBigVarChar: c.size = r.u16(), r.skip(5); break;
    case kBigVarBinary: c.size = r.u16(); break;
    case kText: case kNText: case kImage:
        c.size = r.u32();
        r.skip(c.type == kImage ? 0 : 5);
        r.skip(2 * std::size_t{r.u16()});  // the table's name
        break;
    default: throw std::runtime_error("a bulk-load column type the test server does not read");
    }
    const std::string name = Utf8(FromUcs2(r.bytes(2 * std::size_t{r.u8()})));
    const auto created = std::find_if(table.begin(), table.end(), [&](const ColumnDef& d) { return d.name == name; });
    c.shownScale = created != table.end() && created->scale >= 0 ? created->scale : c.scale;
    if (c.type == kTimeN || c.type == kDateTime2N)
        c.shownScale = created != table.end() && created->scale < 0 ? 7 : c.shownScale;
    return c;
}

}  // namespace

std::vector<ColumnDef> ColumnsOfCreate(std::string_view create)
{
    std::vector<ColumnDef> columns;
    std::size_t at = create.find('(', create.find(']'));
    int depth = 0;
    std::size_t start = at + 1;
    for (std::size_t i = at; i < create.size(); ++i) {
        const char c = create[i];
        if (c == '[') {
            i = create.find(']', i);  // names hold no "]" here
        } else if (c == '(') {
            ++depth;
        } else if ((c == ',' && depth == 1) || (c == ')' && --depth == 0)) {
            std::string_view def = create.substr(start, i - start);
            def.remove_prefix(std::min(def.find('['), def.size()));
            if (!def.empty())
                columns.push_back(ColumnOf(def));
            start = i + 1;
            if (depth == 0)
                break;
        }
    }
    return columns;
}

void PutTableColumns(Writer& w, std::string_view table, const std::vector<ColumnDef>& columns, bool tds72)
{
    w.u8(kColMetadata);
    w.u16(static_cast<std::uint16_t>(columns.size()));
    for (const ColumnDef& c : columns) {
        tds72 ? w.u32(0) : w.u16(0);
        w.u16(static_cast<std::uint16_t>(kNullable | 0x0008 | (c.identity ? 0x0010 : 0)));  // updatable, identity
        PutColumnType(w, table, c);
        w.bVarchar(c.name);
    }
}

std::vector<StoredValues> ReadBulkRows(std::string_view body, const std::vector<ColumnDef>& table, bool tds72)
{
    Reader r(body);
    if (r.u8() != kColMetadata)
        throw std::runtime_error("a bulk load without its columns");
    std::vector<WireColumn> columns(r.u16());
    for (WireColumn& c : columns)
        c = ReadWireColumn(r, table, tds72);
    std::vector<StoredValues> rows;
    while (r.left() > 0) {
        const std::uint8_t token = r.u8();
        if (token == kDone) {
            r.skip(tds72 ? 12 : 8);
            continue;
        }
        if (token != kRow)
            throw std::runtime_error("a bulk load with a token other than ROW or DONE");
        StoredValues& row = rows.emplace_back();
        for (const WireColumn& c : columns) {
            const std::optional<std::string> bytes = ValueBytes(r, c);
            row.push_back(bytes ? std::optional<std::string>(ValueText(c, *bytes)) : std::nullopt);
        }
    }
    return rows;
}

}  // namespace tdstest
