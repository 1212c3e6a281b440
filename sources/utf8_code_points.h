// Walking the characters of a UTF-8 name, and writing them. A byte that does
// not start a valid sequence (stray, cut short, overlong, a surrogate) counts
// as one character of its own, so that every name can be walked whatever its bytes.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace AddFolder {

// Calls visit(codePoint, valid) for each character; an invalid byte is passed
// as its own value with valid false. Stops early when visit returns true, and
// then returns true.
template <typename Visit>
bool ForEachCodePoint(std::string_view text, Visit&& visit)
{
    static constexpr std::array<char32_t, 5> kMinimum = {0, 0, 0x80, 0x800, 0x10000};
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3
                                                   : (lead & 0xF8) == 0xF0 ? 4 : 0;
        char32_t cp = length == 1 ? lead : length == 2 ? lead & 0x1Fu : length == 3 ? lead & 0x0Fu : lead & 0x07u;
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3Fu);
        }
        valid = valid && cp >= kMinimum[length] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        if (visit(valid ? cp : char32_t{lead}, valid))
            return true;
        i += valid ? length : 1;
    }
    return false;
}

// The bytes a character takes in UTF-8.
constexpr std::size_t Utf8Length(char32_t c)
{
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

// Appends a character (at most U+10FFFF) as UTF-8.
inline void AppendUtf8(char32_t c, std::string& out)
{
    const std::size_t length = Utf8Length(c);
    if (length == 1) {
        out += static_cast<char>(c);
        return;
    }
    constexpr unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(kLead[length] | (c >> (6 * (length - 1))));
    for (std::size_t k = length - 1; k-- > 0;)
        out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
}

}  // namespace AddFolder
