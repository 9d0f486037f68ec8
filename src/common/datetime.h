// Calendar arithmetic on the proleptic Gregorian calendar.
#pragma once

#include <cstdint>
#include <string>

namespace hw::datetime {

// Days since 1 January 1970. Month and day may be out of range: they carry
// (day 32 of January is 1 February, month 13 is January of the next year).
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day);

struct Date {
    int year, month, day;
};
Date CivilFromDays(std::int64_t days);

// `text` is exactly "YYYY-MM-DD" and names a real date: its days since 1970.
bool ParseDay(const std::string& text, std::int64_t& days);

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

}  // namespace hw::datetime
