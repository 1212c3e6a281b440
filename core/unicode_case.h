// Letter case and length of UTF-8 texts over all of Unicode: table and folder
// names may hold any letter, not only those of one code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace core {

std::string LowerCase(std::string_view text);
std::string UpperCase(std::string_view text);

// Whether the text holds the word in any letter case.
bool ContainsIgnoringCase(std::string_view text, std::string_view word);
// Whether the two texts are the same in any letter case.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// The number of characters (code points) of a UTF-8 text.
std::size_t CharacterCount(std::string_view text);

}  // namespace core
