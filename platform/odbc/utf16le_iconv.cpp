#include "platform/odbc/utf16le_iconv.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace platform::odbc {

namespace {

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

void PutUnit(unsigned char* to, std::uint32_t unit)
{
    to[0] = static_cast<unsigned char>(unit & 0xFF);
    to[1] = static_cast<unsigned char>(unit >> 8);
}

// The length of the sequence a lead byte opens (its payload bits in bits), or
// 0 for a byte that opens none.
int SequenceLength(unsigned char lead, std::uint32_t& bits)
{
    if (lead < 0x80)
        return bits = lead, 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return bits = lead & 0x1Fu, 2;
    if ((lead & 0xF0) == 0xE0)
        return bits = lead & 0x0Fu, 3;
    if ((lead & 0xF8) == 0xF0)
        return bits = lead & 0x07u, 4;
    // glibc still reads the old five- and six-byte forms, to refuse their
    // values only when writing them.
    if ((lead & 0xFC) == 0xF8)
        return bits = lead & 0x03u, 5;
    if ((lead & 0xFE) == 0xFC)
        return bits = lead & 0x01u, 6;
    return 0;
}

// Decodes the sequence at from (available bytes there) into cp and its length
// in length; returns 0 or EILSEQ / EINVAL.
int DecodeOne(const unsigned char* from, std::size_t available, std::uint32_t& cp, int& length)
{
    length = SequenceLength(from[0], cp);
    if (length == 0)
        return EILSEQ;
    const auto whole = static_cast<std::size_t>(length);
    // As glibc: a sequence cut short by the end of the input is incomplete
    // only where the bytes that are there could still begin it.
    for (std::size_t k = 1; k < whole; ++k) {
        if (k == available)
            return EINVAL;
        if (!IsContinuation(from[k]))
            return EILSEQ;
        cp = (cp << 6) | (from[k] & 0x3Fu);
    }
    const bool overlong = length > 2 && (cp >> (5 * length - 4)) == 0;
    if (overlong || (cp >= 0xD800 && cp <= 0xDFFF))
        return EILSEQ;
    return 0;
}

// Copies the run of ASCII at from, eight bytes at a time, as far as both
// sides allow; returns the bytes taken.
std::size_t WidenAscii(const unsigned char* from, std::size_t inLeft, unsigned char* to, std::size_t outLeft)
{
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    std::size_t taken = 0;
    while (inLeft - taken >= 8 && outLeft - 2 * taken >= 16) {
        std::uint64_t eight = 0;
        std::memcpy(&eight, from + taken, 8);
        if ((eight & kHighBits) != 0)
            break;
        for (std::size_t k = 0; k < 8; ++k) {
            to[2 * (taken + k)] = from[taken + k];
            to[2 * (taken + k) + 1] = 0;
        }
        taken += 8;
    }
    return taken;
}

}  // namespace

int Utf8ToUtf16le(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft)
{
    auto* from = reinterpret_cast<const unsigned char*>(in);
    auto* to = reinterpret_cast<unsigned char*>(out);
    const unsigned char* const end = from + inLeft;
    const unsigned char* const outEnd = to + outLeft;
    int error = 0;
    while (from < end) {
        const std::size_t run = WidenAscii(from, static_cast<std::size_t>(end - from), to,
                                           static_cast<std::size_t>(outEnd - to));
        from += run;
        to += 2 * run;
        if (from == end)
            break;
        std::uint32_t cp = 0;
        int length = 0;
        if ((error = DecodeOne(from, static_cast<std::size_t>(end - from), cp, length)) != 0)
            break;
        // As glibc: room for one unit comes first, then whether UTF-16 has
        // the character at all, then room for a pair.
        const std::ptrdiff_t room = outEnd - to;
        if (room < 2 || (cp >= 0x10000 && cp <= 0x10FFFF && room < 4)) {
            error = E2BIG;
            break;
        }
        if (cp > 0x10FFFF) {
            error = EILSEQ;
            break;
        }
        if (cp >= 0x10000) {
            PutUnit(to, 0xD800 + ((cp - 0x10000) >> 10));
            PutUnit(to + 2, 0xDC00 + ((cp - 0x10000) & 0x3FF));
            to += 4;
        } else {
            PutUnit(to, cp);
            to += 2;
        }
        from += length;
    }
    inLeft = static_cast<std::size_t>(end - from);
    outLeft = static_cast<std::size_t>(outEnd - to);
    in = reinterpret_cast<const char*>(from);
    out = reinterpret_cast<char*>(to);
    return error;
}

}  // namespace platform::odbc
