// The two recognitions the statement rules use, "reads as a number" and "reads
// as a date", and the date format of the date rule.
//
// A number is an optional sign, digits with at most one decimal separator and
// an optional exponent, surrounding blanks allowed.
// A date is a date, a date with a time, or a time of day, in month/day/year
// order: 12/31/2020, 2020-12-31, 31 December 2020, December 31, 2020,
// 31-Dec-2020, 10:30, 10:30:15, 3:45 PM, 12/31/2020 15:45:00. Years have four
// digits (1 to 9999); days that do not exist and texts that are only part of a
// date (3/4, 12, 1.5, May) are not dates.
#pragma once

#include "conversion/regional_settings.h"
#include "paradox/value.h"

#include <optional>
#include <string>
#include <string_view>

namespace conversion {

struct DateTime {
    paradox::CivilDate date{1899, 12, 30};  // the day of a time without a date
    int hour = 0;
    int minute = 0;
    int second = 0;
};

bool ReadsAsNumber(std::string_view text, const RegionalSettings& settings);

std::optional<DateTime> ReadAsDate(std::string_view text, const RegionalSettings& settings);

// "mm/dd/yyyy", or "mm/dd/yyyy hh:nn:ss" with a time, with the regional separators.
void AppendDateFormatted(const DateTime& value, bool withTime, const RegionalSettings& settings,
                         std::string& out);

bool IsValidDate(int year, int month, int day);

}  // namespace conversion
