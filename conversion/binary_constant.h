// Byte data as a T-SQL binary constant: 0x followed by two upper-case hex
// digits per byte, unquoted; no bytes give the empty constant 0x.
#pragma once

#include <string>
#include <string_view>

namespace conversion {

void AppendBinaryConstant(std::string_view bytes, std::string& out);

}  // namespace conversion
