// Typed field values as the Paradox reader hands them out, and the small
// calendar types they use. Plain C++, no dependency on the rest of the program.
#pragma once

#include <cstdint>
#include <string_view>

namespace paradox {

// A day of the proleptic Gregorian calendar. The year is not limited to
// 1..9999: a damaged or odd file can hold any day number, and the value is
// handed on as it is.
struct CivilDate {
    std::int32_t year = 1;
    std::int32_t month = 1;  // 1..12
    std::int32_t day = 1;    // 1..31
    friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

// Days since 0001-01-01 (that day is 0) to a civil date, and back.
CivilDate CivilFromDays(std::int64_t days);
std::int64_t DaysFromCivil(const CivilDate& date);

enum class ValueType : std::uint8_t {
    Null,
    Text,       // text: UTF-8
    Integer,    // integer
    Double,     // number
    Currency,   // number (Paradox keeps currency as a double)
    Bcd,        // text: exact decimal text such as "-12.3400"
    Boolean,    // boolean
    Date,       // date
    Time,       // milliseconds: time of day in ms
    Timestamp,  // date + milliseconds
    Bytes,      // text: the raw bytes
};

// One field value. Texts and bytes are views into storage owned by the reader;
// they stay valid until the reader moves to another record.
struct Value {
    ValueType type = ValueType::Null;
    bool boolean = false;
    std::int64_t integer = 0;
    double number = 0.0;
    CivilDate date;
    std::int64_t milliseconds = 0;
    std::string_view text;

    bool isNull() const { return type == ValueType::Null; }

    static Value null() { return {}; }
    static Value ofText(std::string_view s) { Value v; v.type = ValueType::Text; v.text = s; return v; }
    static Value ofInteger(std::int64_t i) { Value v; v.type = ValueType::Integer; v.integer = i; return v; }
    static Value ofDouble(double d) { Value v; v.type = ValueType::Double; v.number = d; return v; }
    static Value ofCurrency(double d) { Value v; v.type = ValueType::Currency; v.number = d; return v; }
    static Value ofBcd(std::string_view digits) { Value v; v.type = ValueType::Bcd; v.text = digits; return v; }
    static Value ofBoolean(bool b) { Value v; v.type = ValueType::Boolean; v.boolean = b; return v; }
    static Value ofDate(CivilDate d) { Value v; v.type = ValueType::Date; v.date = d; return v; }
    static Value ofTime(std::int64_t ms) { Value v; v.type = ValueType::Time; v.milliseconds = ms; return v; }
    static Value ofTimestamp(CivilDate d, std::int64_t ms)
    {
        Value v; v.type = ValueType::Timestamp; v.date = d; v.milliseconds = ms; return v;
    }
    static Value ofBytes(std::string_view b) { Value v; v.type = ValueType::Bytes; v.text = b; return v; }
};

}  // namespace paradox
