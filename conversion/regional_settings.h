// The user's regional settings as the engine needs them. The program takes the
// decimal separator from the system locale; tests fix all three.
#pragma once

#include <string>

namespace conversion {

struct RegionalSettings {
    std::string decimalSeparator = ".";
    std::string dateSeparator = "/";
    std::string timeSeparator = ":";
};

}  // namespace conversion
