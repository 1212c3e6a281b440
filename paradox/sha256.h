// A small SHA-256 for the blob digests of table dumps (no crypto library needed).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace paradox {

std::array<std::uint8_t, 32> Sha256(std::string_view data);
std::string Sha256Hex(std::string_view data);

}  // namespace paradox
