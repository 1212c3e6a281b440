// Packets, token streams and the UCS-2 texts of the wire.
#include "tests/tds/tds_wire.h"

#include <algorithm>
#include <stdexcept>

namespace tdstest {

std::u16string FromUcs2(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i])
                                            | static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return out;
}

std::string Ucs2(std::string_view utf8)
{
    const std::u16string units = Utf16(utf8);
    std::string out;
    out.reserve(units.size() * 2);
    for (char16_t u : units) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    }
    return out;
}

std::string_view Reader::bytes(std::size_t n)
{
    if (n > left())
        throw std::runtime_error("message shorter than its fields say");
    const std::string_view b = data_.substr(at_, n);
    at_ += n;
    return b;
}

std::uint8_t Reader::u8()
{
    return static_cast<std::uint8_t>(bytes(1)[0]);
}

std::uint16_t Reader::u16()
{
    const std::string_view b = bytes(2);
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[0]) | static_cast<unsigned char>(b[1]) << 8);
}

std::uint32_t Reader::u32()
{
    const std::uint32_t low = u16();
    return low | static_cast<std::uint32_t>(u16()) << 16;
}

std::uint64_t Reader::u64()
{
    const std::uint64_t low = u32();
    return low | static_cast<std::uint64_t>(u32()) << 32;
}

void Writer::u16(std::uint16_t v)
{
    u8(static_cast<std::uint8_t>(v & 0xFF));
    u8(static_cast<std::uint8_t>(v >> 8));
}

void Writer::u32(std::uint32_t v)
{
    u16(static_cast<std::uint16_t>(v & 0xFFFF));
    u16(static_cast<std::uint16_t>(v >> 16));
}

void Writer::u64(std::uint64_t v)
{
    u32(static_cast<std::uint32_t>(v & 0xFFFFFFFFu));
    u32(static_cast<std::uint32_t>(v >> 32));
}

void Writer::bVarchar(std::string_view utf8)
{
    std::string ucs2 = Ucs2(utf8);
    ucs2.resize(std::min<std::size_t>(ucs2.size(), 255 * 2));
    u8(static_cast<std::uint8_t>(ucs2.size() / 2));
    out_ += ucs2;
}

void Writer::usVarchar(std::string_view utf8)
{
    std::string ucs2 = Ucs2(utf8);
    ucs2.resize(std::min<std::size_t>(ucs2.size(), 0xFFFF * 2));
    u16(static_cast<std::uint16_t>(ucs2.size() / 2));
    out_ += ucs2;
}

void Writer::patchLength16(std::size_t at)
{
    const std::size_t length = out_.size() - at - 2;
    out_[at] = static_cast<char>(length & 0xFF);
    out_[at + 1] = static_cast<char>((length >> 8) & 0xFF);
}

std::string Packets(std::uint8_t type, std::string_view body, std::size_t packetSize, std::uint16_t spid)
{
    const std::size_t room = std::max<std::size_t>(packetSize, 512) - kHeaderSize;
    std::string out;
    out.reserve(body.size() + (body.size() / room + 1) * kHeaderSize);
    std::uint8_t id = 1;
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(room, body.size() - at);
        const bool last = at + n == body.size();
        const std::size_t length = n + kHeaderSize;
        out.push_back(static_cast<char>(type));
        out.push_back(static_cast<char>(last ? kEndOfMessage : 0));
        out.push_back(static_cast<char>(length >> 8));  // the header is big-endian
        out.push_back(static_cast<char>(length & 0xFF));
        out.push_back(static_cast<char>(spid >> 8));
        out.push_back(static_cast<char>(spid & 0xFF));
        out.push_back(static_cast<char>(id++));
        out.push_back(0);
        out.append(body.substr(at, n));
        at += n;
    } while (at < body.size());
    return out;
}

}  // namespace tdstest
