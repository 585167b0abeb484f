#include "platform/datetime.h"

#include "platform/exceptions.h"

#include <cmath>

namespace {

constexpr std::int64_t kMSecsPerDay = 86400000;
// Days from 0001-01-01 to 1899-12-30.
constexpr std::int64_t kDelta = 693593;

// Days since 1970-01-01 of a proleptic Gregorian date (era-based, valid for any year).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + std::int64_t(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = std::int64_t(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(y + (month <= 2));
}

const std::int64_t kEpochFromUnix = DaysFromCivil(1899, 12, 30);

// Splits a value into whole days (signed, since 1899-12-30) and milliseconds of the day.
void Split(TDateTime dt, std::int64_t& days, std::int64_t& msecs)
{
    if (!std::isfinite(dt)) {
        days = 0;
        msecs = 0;
        return;
    }
    const double clamped = std::fmin(std::fabs(dt), 3.0e6);
    const auto total = std::int64_t(std::llround(clamped * double(kMSecsPerDay)));
    days = total / kMSecsPerDay;
    msecs = total % kMSecsPerDay;
    if (dt < 0) {
        days = -days;
    }
}

TDateTime Join(std::int64_t days, std::int64_t msecs)
{
    const double t = double(msecs) / double(kMSecsPerDay);
    return days >= 0 ? double(days) + t : double(days) - t;
}

} // namespace

bool IsLeapYear(int year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) {
        return 0;
    }
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
        return false;
    }
    result = double(DaysFromCivil(year, unsigned(month), unsigned(day)) - kEpochFromUnix);
    return true;
}

TDateTime EncodeDate(int year, int month, int day)
{
    TDateTime r = 0;
    if (!TryEncodeDate(year, month, day, r)) {
        throw EConvertError(QStringLiteral("Недопустимая дата"));
    }
    return r;
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day)
{
    std::int64_t days = 0;
    std::int64_t msecs = 0;
    Split(dt, days, msecs);
    CivilFromDays(days + kEpochFromUnix, year, month, day);
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result)
{
    if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999) {
        return false;
    }
    const std::int64_t ms = ((std::int64_t(hour) * 60 + min) * 60 + sec) * 1000 + msec;
    result = double(ms) / double(kMSecsPerDay);
    return true;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec)
{
    TDateTime r = 0;
    if (!TryEncodeTime(hour, min, sec, msec, r)) {
        throw EConvertError(QStringLiteral("Недопустимое время"));
    }
    return r;
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec)
{
    std::int64_t days = 0;
    std::int64_t ms = 0;
    Split(dt, days, ms);
    msec = int(ms % 1000);
    ms /= 1000;
    sec = int(ms % 60);
    ms /= 60;
    min = int(ms % 60);
    hour = int(ms / 60);
}

bool TryEncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec, TDateTime& result)
{
    TDateTime d = 0;
    TDateTime t = 0;
    if (!TryEncodeDate(year, month, day, d) || !TryEncodeTime(hour, min, sec, msec, t)) {
        return false;
    }
    result = d >= 0 ? d + t : d - t;
    return true;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec)
{
    const TDateTime d = EncodeDate(year, month, day);
    const TDateTime t = EncodeTime(hour, min, sec, msec);
    return d >= 0 ? d + t : d - t;
}

void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hour, int& min, int& sec, int& msec)
{
    DecodeDate(dt, year, month, day);
    DecodeTime(dt, hour, min, sec, msec);
}

int DayOfWeek(TDateTime dt)
{
    std::int64_t days = 0;
    std::int64_t msecs = 0;
    Split(dt, days, msecs);
    // 0001-01-01 was a Monday.
    const std::int64_t n = days + kDelta;
    return int(((n % 7) + 7 + 1) % 7) + 1;
}

TDateTime DateOf(TDateTime dt)
{
    std::int64_t days = 0;
    std::int64_t msecs = 0;
    Split(dt, days, msecs);
    return double(days);
}

TDateTime TimeOf(TDateTime dt)
{
    std::int64_t days = 0;
    std::int64_t msecs = 0;
    Split(dt, days, msecs);
    return double(msecs) / double(kMSecsPerDay);
}

TDateTime Now()
{
    return QDateTimeToDateTime(QDateTime::currentDateTime());
}

TDateTime Date()
{
    return QDateToDateTime(QDate::currentDate());
}

TDateTime Time()
{
    return QTimeToDateTime(QTime::currentTime());
}

QDate DateTimeToQDate(TDateTime dt)
{
    int y = 0;
    int m = 0;
    int d = 0;
    DecodeDate(dt, y, m, d);
    return QDate(y, m, d);
}

QTime DateTimeToQTime(TDateTime dt)
{
    int h = 0;
    int n = 0;
    int s = 0;
    int z = 0;
    DecodeTime(dt, h, n, s, z);
    return QTime(h, n, s, z);
}

QDateTime DateTimeToQDateTime(TDateTime dt)
{
    return QDateTime(DateTimeToQDate(dt), DateTimeToQTime(dt));
}

TDateTime QDateToDateTime(const QDate& d)
{
    if (!d.isValid()) {
        return 0;
    }
    TDateTime r = 0;
    TryEncodeDate(d.year(), d.month(), d.day(), r);
    return r;
}

TDateTime QTimeToDateTime(const QTime& t)
{
    if (!t.isValid()) {
        return 0;
    }
    return double(t.msecsSinceStartOfDay()) / double(kMSecsPerDay);
}

TDateTime QDateTimeToDateTime(const QDateTime& dt)
{
    const TDateTime d = QDateToDateTime(dt.date());
    const TDateTime t = QTimeToDateTime(dt.time());
    return d >= 0 ? d + t : d - t;
}

std::int64_t DateTimeToMSecs(TDateTime dt)
{
    std::int64_t days = 0;
    std::int64_t msecs = 0;
    Split(dt, days, msecs);
    return (days + kDelta) * kMSecsPerDay + msecs;
}

TDateTime MSecsToDateTime(std::int64_t msecs)
{
    std::int64_t days = msecs / kMSecsPerDay;
    std::int64_t rest = msecs % kMSecsPerDay;
    if (rest < 0) {
        rest += kMSecsPerDay;
        --days;
    }
    return Join(days - kDelta, rest);
}
