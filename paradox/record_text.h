// Text forms of values as in the record lines of a table dump: "\N" for NULL,
// escaped texts, shortest round-trip numbers, ISO dates, hex bytes, and
// "size=<n> sha256=<hex>" for binary blobs.
#pragma once

#include "paradox/error.h"
#include "paradox/fields.h"
#include "paradox/value.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace paradox {

class Table;
class TextDecoder;

std::string escapeText(std::string_view utf8);
std::string hexBytes(std::string_view bytes, bool upperCase = false);
std::string formatDouble(double d);
std::string formatDate(const CivilDate& date);
std::string formatTimeOfDay(std::int64_t milliseconds);
// A formatted memo is handed out as bytes but shown as text in the table's code page.
std::string formatValue(const Value& value, FieldType type, TextDecoder& decoder);

// Appends "@record <n>" and one line per field of the table's current record;
// texts with bytes of 0x80 and above get an extra "#raw" line with their hex.
// A value that cannot be read is shown as NULL ("\N") and its error handed to
// `unreadable`, which names the record and the field.
void appendRecordLines(Table& table, std::string& out, const std::function<void(const FormatError&)>& unreadable);

}  // namespace paradox
