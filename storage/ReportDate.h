#pragma once
// Dates as saved reports store them: an IEEE double counting days since 30 December
// 1899 (local time), the fraction being the elapsed part of the day.
#include <cstdint>

namespace qrp {

struct TDateTimeParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// The value for a local calendar date and time of day.
double EncodeDateTime(const TDateTimeParts& parts);
// The calendar date and time of day of a value, to the millisecond. False when the
// value is not a date (not finite, or outside years 1 to 9999).
bool DecodeDateTime(double value, TDateTimeParts& out);
// The current local date and time, to the millisecond.
double LocalNow();

} // namespace qrp
