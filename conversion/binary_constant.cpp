// The hex digits are written straight into the grown buffer: a picture of a
// few megabytes costs one allocation, not one per byte.
#include "conversion/binary_constant.h"

namespace conversion {

void AppendBinaryConstant(std::string_view bytes, std::string& out)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::size_t at = out.size();
    out.resize(at + 2 + 2 * bytes.size());
    char* p = out.data() + at;
    *p++ = '0';
    *p++ = 'x';
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *p++ = kHex[b >> 4];
        *p++ = kHex[b & 0x0F];
    }
}

}  // namespace conversion
