// Hand-rolled conversions: the engine has no Qt, and iconv's availability in
// the driver manager is exactly what cannot be relied on.
#include "platform/odbc/utf16.h"

#include <cstdint>
#include <cstring>

namespace platform::odbc {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at text[i], advancing i; malformed sequences yield
// U+FFFD and consume one byte.
char32_t DecodeUtf8(std::string_view text, std::size_t& i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    int length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1Fu, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0Fu, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07u, minimum = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (i + static_cast<std::size_t>(length) > text.size()) {
        ++i;
        return kReplacement;
    }
    for (int k = 1; k < length; ++k) {
        const unsigned char next = byte(i + static_cast<std::size_t>(k));
        if ((next & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (next & 0x3Fu);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += static_cast<std::size_t>(length);
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

void AssignUtf16(std::string_view text, std::u16string& out)
{
    // A byte gives one unit at most: the buffer is sized once, written, cut.
    out.resize(text.size());
    char16_t* const to = out.data();
    const char* const from = text.data();
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    std::size_t i = 0;
    std::size_t n = 0;
    while (i < text.size()) {
        std::uint64_t eight = 0;
        if (i + 8 <= text.size() && (std::memcpy(&eight, from + i, 8), (eight & kHighBits) == 0)) {
            for (int k = 0; k < 8; ++k)
                to[n + static_cast<std::size_t>(k)] = static_cast<char16_t>(from[i + static_cast<std::size_t>(k)]);
            i += 8;
            n += 8;
            continue;
        }
        char32_t cp = DecodeUtf8(text, i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            to[n++] = static_cast<char16_t>(0xD800 + (cp >> 10));
            to[n++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            to[n++] = static_cast<char16_t>(cp);
        }
    }
    out.resize(n);
}

std::u16string Utf8ToUtf16(std::string_view text)
{
    // Sized once, so the buffer never moves: a connection text's one copy is
    // the one its caller wipes.
    std::u16string out;
    AssignUtf16(text, out);
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00
            && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

}  // namespace platform::odbc
