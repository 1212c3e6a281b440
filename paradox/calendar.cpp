// Conversion between day numbers and proleptic Gregorian dates, valid for
// every 64-bit day number a file can produce (no lookup tables, no overflow).
#include "paradox/value.h"

namespace paradox {

namespace {
// Days from 0000-03-01 to 0001-01-01 in the era-based algorithm below.
constexpr std::int64_t kDaysFromEpochShift = 306;
constexpr std::int64_t kDaysPerEra = 146097;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
}  // namespace

CivilDate CivilFromDays(std::int64_t days)
{
    // Shift so that day 0 is 0000-03-01; eras are 400-year cycles.
    const std::int64_t z = days + kDaysFromEpochShift;
    const std::int64_t era = FloorDiv(z, kDaysPerEra);
    const std::int64_t doe = z - era * kDaysPerEra;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    return CivilDate{static_cast<std::int32_t>(y), static_cast<std::int32_t>(m), static_cast<std::int32_t>(d)};
}

std::int64_t DaysFromCivil(const CivilDate& date)
{
    const std::int64_t y = static_cast<std::int64_t>(date.year) - (date.month <= 2 ? 1 : 0);
    const std::int64_t era = FloorDiv(y, 400);
    const std::int64_t yoe = y - era * 400;
    const std::int64_t m = date.month;
    const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + date.day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * kDaysPerEra + doe - kDaysFromEpochShift;
}

}  // namespace paradox
