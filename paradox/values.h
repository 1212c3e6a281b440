// Decoding of the fixed-width field values of a record into paradox::Value.
// Numbers are big-endian with a flipped sign bit; all zero bytes mean NULL.
#pragma once

#include "paradox/value.h"

#include <cstdint>
#include <string>

namespace paradox {

inline constexpr std::int64_t kMillisPerDay = 86'400'000;

// Each returns Value::null() for a blank field. `p` points at the field's bytes.
Value DecodeShort(const std::uint8_t* p);
Value DecodeLong(const std::uint8_t* p);  // Long and Autoincrement
Value DecodeDate(const std::uint8_t* p);
Value DecodeTime(const std::uint8_t* p);
Value DecodeNumber(const std::uint8_t* p);
Value DecodeCurrency(const std::uint8_t* p);
Value DecodeTimestamp(const std::uint8_t* p);
Value DecodeLogical(const std::uint8_t* p);

// BCD: writes the decimal text to `text` and returns a view of it. The digits
// end before the first nibble above 9 after the first decimal; throws
// std::domain_error for one earlier or for a scale that does not match.
Value DecodeBcd(const std::uint8_t* p, int scale, std::string& text);

// The stored double of a Number/Currency/Timestamp field (false when blank).
bool LoadParadoxDouble(const std::uint8_t* p, double& out);
// Encoders used by the writer (the inverse of the above).
void StoreParadoxDouble(std::uint8_t* p, double value);
void StoreParadoxInt(std::uint8_t* p, int size, std::int64_t value);
// Stores a decimal text ("-12.5") as a 17-byte BCD with the given scale;
// false when it does not fit in 32 digits.
bool StoreBcd(std::uint8_t* p, std::string_view decimal, int scale);

}  // namespace paradox
