// One hexadecimal digit's value, for reading 0x... constants back.
#pragma once

namespace platform {

// 0 to 15, or -1 for a character that is no hexadecimal digit.
constexpr int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace platform
