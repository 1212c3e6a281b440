// The product's names and the application title every message box carries
// unless it names its own.
#pragma once

#include <string>
#include <string_view>

namespace core {

inline constexpr std::string_view kProductName = "Dovenmark";
inline constexpr std::string_view kProductFullName = "Dovenmark Converter";

// The full name less its last word, and less further last words while the
// remainder is longer than 40 characters. A name without a space stays whole.
std::string ShortenTitle(std::string_view fullName);

// Makes the application title from the product's full name.
void SetAppTitle();
const std::string& AppTitle();

}  // namespace core
