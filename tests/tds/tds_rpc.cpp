// RPC parameters: TYPE_INFO and the value of the types a client sends.
#include "tests/tds/tds_rpc.h"

#include <array>
#include <cstdio>
#include <stdexcept>

namespace tdstest {

namespace {

constexpr std::array<const char*, 16> kWellKnown = {
    "",           "sp_cursor",   "sp_cursoropen", "sp_cursorprepare", "sp_cursorexecute", "sp_cursorprepexec",
    "sp_cursorunprepare", "sp_cursorfetch", "sp_cursoroption", "sp_cursorclose", "sp_executesql", "sp_prepare",
    "sp_execute", "sp_prepexec", "sp_prepexecrpc", "sp_unprepare",
};

// Windows-1252 (the collation's code page) to UTF-8.
std::string FromCp1252(std::string_view bytes)
{
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    std::u16string units;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        units.push_back(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : static_cast<char16_t>(b));
    }
    return Utf8(units);
}

std::string Hex(std::string_view bytes)
{
    std::string out = "0x";
    char two[3];
    for (char c : bytes) {
        std::snprintf(two, sizeof two, "%02X", static_cast<unsigned char>(c));
        out += two;
    }
    return out;
}

std::string Quoted(const std::string& text, bool unicode)
{
    std::string out = unicode ? "N'" : "'";
    for (char c : text) {
        out.push_back(c);
        if (c == '\'')
            out.push_back('\'');
    }
    return out + "'";
}

// A PLP value: total length, then chunks until one of length 0.
std::optional<std::string> ReadPlp(Reader& r)
{
    const std::uint64_t total = r.u64();
    if (total == ~std::uint64_t{0})
        return std::nullopt;
    std::string value;
    for (std::uint32_t chunk = r.u32(); chunk != 0; chunk = r.u32())
        value += r.bytes(chunk);
    return value;
}

std::int64_t LittleEndian(std::string_view bytes)
{
    std::uint64_t v = 0;
    for (std::size_t i = bytes.size(); i-- > 0;)
        v = v << 8 | static_cast<unsigned char>(bytes[i]);
    if (!bytes.empty() && bytes.size() < 8 && (static_cast<unsigned char>(bytes.back()) & 0x80))
        v |= ~std::uint64_t{0} << (bytes.size() * 8);
    return static_cast<std::int64_t>(v);
}

void ReadValue(Reader& r, std::uint8_t type, RpcParam& p)
{
    enum Kind { Integer, Bytes, Narrow, Wide };
    Kind kind = Bytes;
    std::optional<std::string> raw;
    switch (type) {
    case 0x1F: break;                                        // NULL
    case 0x30: case 0x32: kind = Integer; raw = std::string(r.bytes(1)); break;  // INT1, BIT
    case 0x34: kind = Integer; raw = std::string(r.bytes(2)); break;             // INT2
    case 0x38: kind = Integer; raw = std::string(r.bytes(4)); break;             // INT4
    case 0x7F: kind = Integer; raw = std::string(r.bytes(8)); break;             // INT8
    case 0x3B: case 0x7A: case 0x3A: raw = std::string(r.bytes(4)); break;       // FLT4, MONEY4, DATETIM4
    case 0x3E: case 0x3C: case 0x3D: raw = std::string(r.bytes(8)); break;       // FLT8, MONEY, DATETIME
    case 0x26: case 0x68:                                                        // INTN, BITN
        kind = Integer;
        [[fallthrough]];
    case 0x6D: case 0x6E: case 0x6F: case 0x24: {  // FLTN, MONEYN, DATETIMN, GUID
        r.u8();
        const std::uint8_t n = r.u8();
        if (n)
            raw = std::string(r.bytes(n));
        break;
    }
    case 0x6A: case 0x6C: {  // DECIMALN, NUMERICN: length, precision, scale
        r.skip(3);
        const std::uint8_t n = r.u8();
        if (n)
            raw = std::string(r.bytes(n));
        break;
    }
    case 0x28: case 0x29: case 0x2A: case 0x2B: {  // DATE, TIME, DATETIME2, DATETIMEOFFSET
        if (type != 0x28)
            r.u8();
        const std::uint8_t n = r.u8();
        if (n)
            raw = std::string(r.bytes(n));
        break;
    }
    case 0xA7: case 0xAF: case 0xE7: case 0xEF: case 0xA5: case 0xAD: {  // the USHORTLEN types
        const bool text = type != 0xA5 && type != 0xAD;
        kind = !text ? Bytes : (type == 0xE7 || type == 0xEF) ? Wide : Narrow;
        const std::uint16_t max = r.u16();
        if (text)
            r.skip(5);  // collation
        if (max == 0xFFFF) {
            raw = ReadPlp(r);
        } else if (const std::uint16_t n = r.u16(); n != 0xFFFF) {
            raw = std::string(r.bytes(n));
        }
        break;
    }
    case 0x23: case 0x63: case 0x22: {  // TEXT, NTEXT, IMAGE
        kind = type == 0x22 ? Bytes : type == 0x63 ? Wide : Narrow;
        r.u32();
        if (type != 0x22)
            r.skip(5);
        if (const std::uint32_t n = r.u32(); n != 0xFFFFFFFFu)
            raw = std::string(r.bytes(n));
        break;
    }
    default:
        throw std::runtime_error("an RPC parameter of type " + std::to_string(type));
    }
    if (!raw)
        return;
    switch (kind) {
    case Integer: p.value = std::to_string(LittleEndian(*raw)); break;
    case Bytes: p.value = Hex(*raw); break;
    case Narrow: p.text = FromCp1252(*raw); p.value = Quoted(*p.text, false); break;
    case Wide: p.text = Utf8(FromUcs2(*raw)); p.value = Quoted(*p.text, true); break;
    }
}

}  // namespace

RpcRequest ParseRpc(std::string_view body, std::size_t at)
{
    Reader r(body, at);
    RpcRequest request;
    const std::uint16_t length = r.u16();
    if (length == 0xFFFF) {
        const std::uint16_t id = r.u16();
        request.name = id < kWellKnown.size() ? kWellKnown[id] : "procedure " + std::to_string(id);
    } else {
        request.name = Utf8(FromUcs2(r.bytes(std::size_t{length} * 2)));
    }
    r.u16();  // option flags
    while (r.left() > 0) {
        // 0x80 or 0xFF ends this procedure: another one of the same request follows
        const std::uint8_t nameLength = r.u8();
        if (nameLength == 0x80 || nameLength == 0xFF)
            break;
        RpcParam p;
        p.name = Utf8(FromUcs2(r.bytes(std::size_t{nameLength} * 2)));
        r.u8();  // status
        ReadValue(r, r.u8(), p);
        if (!request.paramsText.empty())
            request.paramsText += ", ";
        request.paramsText += (p.name.empty() ? std::string("?") : p.name) + "=" + p.value.value_or("NULL");
        request.params.push_back(std::move(p));
    }
    return request;
}

}  // namespace tdstest
