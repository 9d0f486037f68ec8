// The next-time text "MM/dd/yy hh:mm AM/PM": written and read the same way on
// every Windows locale, so that what is stored never depends on the
// operator's regional settings.
#pragma once

#include <optional>
#include <string>

#include "platform/types.h"

namespace hw::schedule {

struct DateTime {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0;
    friend auto operator<=>(const DateTime&, const DateTime&) = default;
};

DateTime FromLocalTime(const platform::LocalTime& t);  // seconds dropped

std::string FormatNextTime(const DateTime& t);

// Reads a date with an optional time: month/day/year, the year written with
// two digits or four and within 2000 to 2099 (the stored text keeps two),
// then "h", "h:mm" or "h:mm:ss", each with or without AM/PM ("3 PM",
// "03:00 AM", "15:00"). Anything else, a date without its whole year ("12/2"
// and "12/24/2" are half typed), or an impossible date or time, is not a date.
std::optional<DateTime> ParseDateTime(const std::string& text);

// Due: a valid date-time at or before the present minute.
bool IsDue(const std::string& nextTime, const DateTime& now);

// The day, week or month after `now`, at now's time of day, with the day
// number carrying into the next month(s). Frequency ids 0, 1 and 2 only.
DateTime NextOccurrence(int frequencyId, const DateTime& now);

// Midnight of the default next time a frequency chosen in the editor gets.
DateTime DefaultNextTime(int frequencyId, const DateTime& today);

}  // namespace hw::schedule
