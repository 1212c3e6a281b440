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

std::string EscapeText(std::string_view utf8);
std::string HexBytes(std::string_view bytes, bool upperCase = false);
std::string FormatDouble(double d);
std::string FormatDate(const CivilDate& date);
std::string FormatTimeOfDay(std::int64_t milliseconds);
// A formatted memo is handed out as bytes but shown as text in the table's code page.
std::string FormatValue(const Value& value, FieldType type, TextDecoder& decoder);

// Appends "@record <n>" and one line per field of the table's current record;
// texts with bytes of 0x80 and above get an extra "#raw" line with their hex.
// A value that cannot be read is shown as NULL ("\N") and its error handed to
// `unreadable`, which names the record and the field.
void AppendRecordLines(Table& table, std::string& out, const std::function<void(const FormatError&)>& unreadable);

}  // namespace paradox
