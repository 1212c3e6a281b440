// Decoding of the fixed-width field values of a record into paradox::Value.
// Numbers are big-endian with a flipped sign bit; all zero bytes mean NULL.
#pragma once

#include "paradox/value.h"

#include <cstdint>
#include <string>

namespace paradox {

inline constexpr std::int64_t kMillisPerDay = 86'400'000;

// Each returns Value::null() for a blank field. `p` points at the field's bytes.
Value decodeShort(const std::uint8_t* p);
Value decodeLong(const std::uint8_t* p);  // Long and Autoincrement
Value decodeDate(const std::uint8_t* p);
Value decodeTime(const std::uint8_t* p);
Value decodeNumber(const std::uint8_t* p);
Value decodeCurrency(const std::uint8_t* p);
Value decodeTimestamp(const std::uint8_t* p);
Value decodeLogical(const std::uint8_t* p);

// BCD: writes the decimal text to `text` and returns a view of it. The digits
// end before the first nibble above 9 after the first decimal; throws
// std::domain_error for one earlier or for a scale that does not match.
Value decodeBcd(const std::uint8_t* p, int scale, std::string& text);

// The stored double of a Number/Currency/Timestamp field (false when blank).
bool loadParadoxDouble(const std::uint8_t* p, double& out);
// Encoders used by the writer (the inverse of the above).
void storeParadoxDouble(std::uint8_t* p, double value);
void storeParadoxInt(std::uint8_t* p, int size, std::int64_t value);
// Stores a decimal text ("-12.5") as a 17-byte BCD with the given scale;
// false when it does not fit in 32 digits.
bool storeBcd(std::uint8_t* p, std::string_view decimal, int scale);

}  // namespace paradox
