#include "storage/ReportDate.h"

#include <cmath>
#include <ctime>

namespace qrp {

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

const std::int64_t kEpochOffset = DaysFromCivil(1899, 12, 30); // days from 1970 to 1899-12-30

constexpr double kMsPerDay = 86400000.0;

} // namespace

double EncodeDateTime(const TDateTimeParts& p)
{
    const std::int64_t days = DaysFromCivil(p.Year, static_cast<unsigned>(p.Month),
                                            static_cast<unsigned>(p.Day)) - kEpochOffset;
    const double ms = ((p.Hour * 60.0 + p.Minute) * 60.0 + p.Second) * 1000.0 + p.Millisecond;
    // Before the epoch the whole part counts back while the fraction still counts forward.
    const double frac = ms / kMsPerDay;
    return days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
}

bool DecodeDateTime(double value, TDateTimeParts& out)
{
    // Years 1 to 9999.
    if (!std::isfinite(value) || value < -693593.0 || value >= 2958466.0)
        return false;
    double whole = std::trunc(value);
    double msOfDay = std::round(std::fabs(value - whole) * kMsPerDay);
    if (msOfDay >= kMsPerDay) {
        msOfDay -= kMsPerDay;
        whole += value >= 0 ? 1 : -1;
    }
    int y = 0, m = 0, d = 0;
    CivilFromDays(static_cast<std::int64_t>(whole) + kEpochOffset, y, m, d);
    auto ms = static_cast<std::int64_t>(msOfDay);
    out.Year = y;
    out.Month = m;
    out.Day = d;
    out.Millisecond = static_cast<int>(ms % 1000);
    ms /= 1000;
    out.Second = static_cast<int>(ms % 60);
    ms /= 60;
    out.Minute = static_cast<int>(ms % 60);
    out.Hour = static_cast<int>(ms / 60);
    return true;
}

double LocalNow()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    const std::time_t secs = ts.tv_sec;
    ::localtime_r(&secs, &tm);
    TDateTimeParts p;
    p.Year = tm.tm_year + 1900;
    p.Month = tm.tm_mon + 1;
    p.Day = tm.tm_mday;
    p.Hour = tm.tm_hour;
    p.Minute = tm.tm_min;
    p.Second = tm.tm_sec > 59 ? 59 : tm.tm_sec;
    p.Millisecond = static_cast<int>(ts.tv_nsec / 1000000);
    return EncodeDateTime(p);
}

} // namespace qrp
