#include "export/TypedCalendar.h"

namespace corvane {

namespace {

// The number of the digits text[at, at + count), or -1 when one of them is not a digit.
int Digits(std::string_view text, std::size_t at, std::size_t count) {
    int n = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return -1;
        }
        n = n * 10 + (text[i] - '0');
    }
    return n;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

} // namespace

bool ParseCalendarDate(std::string_view text, TCalendarDate& date) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    const int year = Digits(text, 0, 4);
    const int month = Digits(text, 5, 2);
    const int day = Digits(text, 8, 2);
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
        return false;
    }
    date = {year, month, day};
    return true;
}

bool ParseClockTime(std::string_view text, TClockTime& time) {
    if (text.size() != 8 || text[2] != ':' || text[5] != ':') {
        return false;
    }
    const int hour = Digits(text, 0, 2);
    const int minute = Digits(text, 3, 2);
    const int second = Digits(text, 6, 2);
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
        return false;
    }
    time = {hour, minute, second};
    return true;
}

} // namespace corvane
