// Dates and times as a double: whole days since 1899-12-30, the fraction is the time of day.
// Before that day the value is negative and the fraction still counts forward from midnight,
// sign aside: -1.25 is 1899-12-29 06:00.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cstdint>

using TDateTime = double;

constexpr double MSecsPerDay = 86400000.0;
constexpr double SecsPerDay = 86400.0;
// 0001-01-01 as a TDateTime (days before 1899-12-30).
constexpr double MinDateTime = -693593.0;
// 9999-12-31 23:59:59.999
constexpr double MaxDateTime = 2958465.99999;

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

bool TryEncodeDate(int year, int month, int day, TDateTime& result);
// Raises EConvertError "Invalid argument to date encode" for an impossible date.
TDateTime EncodeDate(int year, int month, int day);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result);
// Raises EConvertError "Invalid argument to time encode".
TDateTime EncodeTime(int hour, int min, int sec, int msec);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);

bool TryEncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec, TDateTime& result);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec);
void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hour, int& min, int& sec, int& msec);

// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime dt);

// The date part (time dropped) and the time part (date dropped) of a value.
TDateTime DateOf(TDateTime dt);
TDateTime TimeOf(TDateTime dt);

TDateTime Now();
TDateTime Date();
TDateTime Time();

// Conversions to Qt; times are local, without time-zone shifts.
QDateTime DateTimeToQDateTime(TDateTime dt);
QDate DateTimeToQDate(TDateTime dt);
QTime DateTimeToQTime(TDateTime dt);
TDateTime QDateTimeToDateTime(const QDateTime& dt);
TDateTime QDateToDateTime(const QDate& d);
TDateTime QTimeToDateTime(const QTime& t);

// Milliseconds since 0001-01-01 and back, for exact comparisons and arithmetic.
std::int64_t DateTimeToMSecs(TDateTime dt);
TDateTime MSecsToDateTime(std::int64_t msecs);
