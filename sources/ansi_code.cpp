// The 8-bit code of a character: its Windows-1252 code, which decides which
// folder names the walk refuses.
#include "sources/add_folder.h"
#include "sources/utf8_code_points.h"

#include <array>

namespace AddFolder {

namespace {

constexpr int kUnmapped = 63;

// Windows-1252 0x80..0x9F; 0 marks the five codes the page leaves undefined,
// which Windows maps to the C1 controls of the same number.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

}  // namespace

int AnsiCode(char32_t character)
{
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF))
        return static_cast<int>(character);
    for (std::size_t k = 0; k < kHighControls.size(); ++k) {
        const char32_t mapped = kHighControls[k] == 0 ? 0x80 + static_cast<char32_t>(k) : kHighControls[k];
        if (mapped == character)
            return 0x80 + static_cast<int>(k);
    }
    return kUnmapped;
}

bool HasOddChars(std::string_view name)
{
    // A byte that is no UTF-8 character counts as code 63.
    return ForEachCodePoint(name, [](char32_t cp, bool valid) {
        const int code = valid ? AnsiCode(cp) : kUnmapped;
        return code < 32 || (code >= 127 && code <= 159) || code == 63;
    });
}

}  // namespace AddFolder
