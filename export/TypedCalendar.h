#pragma once
// Checks of the date and time texts of typed values against the calendar and the clock. The stored
// six-character dates and times are not checked when read (month 13 and 99:99:99 pass through), so a writer
// whose target has real date and time types asks these before it hands a text over as one.

#include <string_view>

namespace corvane {

struct TCalendarDate {
    int Year = 0, Month = 0, Day = 0;
};

struct TClockTime {
    int Hour = 0, Minute = 0, Second = 0;
};

// True when text is "YYYY-MM-DD" of digits naming a day of the Gregorian calendar from the year 1 on.
bool ParseCalendarDate(std::string_view text, TCalendarDate& date);

// True when text is "HH:MM:SS" of digits within 00:00:00 and 23:59:59.
bool ParseClockTime(std::string_view text, TClockTime& time);

} // namespace corvane
