#pragma once
// The text of one field of one record slot. Each kind of value has a decoding step (slot bytes in, a typed
// value out) and a formatting step (typed value in, text appended to a caller-owned buffer), so the export, a
// benchmark and other exporters can take either piece. No read ever leaves the slot: a value whose bytes
// would run past it is empty.

#include "database/ByteReader.h"
#include "database/FieldRec.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// ---- Text (field types 1 and 2) ----

// The stored bytes: up to size bytes from offset, clipped to the slot, ending before the first NUL.
std::string_view DecodeText(ByteSpan slot, std::size_t offset, std::size_t size);
// The text between two double quotes, each quote inside doubled so that the column parses back whole.
void AppendQuotedText(std::string& out, std::string_view text);

// ---- Numbers (field type 3) ----

enum class TNumberKind : std::uint8_t {
    Missing,   // the value's bytes do not lie inside the slot, or a real of a size other than 4 or 8: nothing
    Empty,     // the stored empty number (zeros, then 0x80)
    Whole,     // SubType 0 of size 1, 2 or 4, and eight-byte doubles truncated into the 64-bit range: Whole
    WholeReal, // SubType 0, a double outside the 64-bit range (or not finite): Real, truncated when written
    Real,      // any other SubType: Real (a single widened exactly)
};

struct TNumberValue {
    TNumberKind Kind = TNumberKind::Missing;
    std::int64_t Whole = 0;
    double Real = 0;
};

// True when bytes are all 0x00 but the last, which is 0x80 (a one-byte field: the byte is 0x80).
bool IsEmptyNumber(ByteSpan bytes);

TNumberValue DecodeNumber(ByteSpan slot, const TFieldRec& field);

// Digits after the point of a fixed-point field: Length - IntDigits - 1 (may be negative).
int FixedDecimals(const TFieldRec& field);
// Significant digits of a floating field: Length - 8, at least 2 and at most 18.
int FloatingDigits(const TFieldRec& field);

// Writes a decoded number the way the field's SubType asks. numericNull 0 writes an empty number as "0", any
// other value as nothing.
void AppendNumber(std::string& out, const TNumberValue& value, const TFieldRec& field, int numericNull);

// ---- Dates (field type 4) ----

struct TCivilDate {
    std::int64_t Year = 0;
    int Month = 0; // 1..12
    int Day = 0;   // 1..31
};

// The date of a stored day count (n != 0): 1 January 1776 is day 1; days after 30 December 1776 land one day
// later, so 31 December 1776 is never produced.
TCivilDate DayCountToDate(std::int32_t n);

// Appends date in an strftime-like format: %d and %m two digits, %-d and %-m without a leading zero, %e the
// day padded with a blank, %Y the whole year (at least four digits), %y its last two digits, %% a percent
// sign; every other character is written as it stands.
void AppendFormattedDate(std::string& out, const TCivilDate& date, std::string_view format);

// The user's short date format (on POSIX the current LC_TIME locale's, on Windows the user's regional
// setting) with a two-digit year (%y) widened to %Y, so that no century is lost. The library never calls
// setlocale: on POSIX it reads the locale as the program has set it.
std::string LocaleShortDateFormat();

// format with every two-digit year (%y) widened to %Y; "%d/%m/%Y" for a system that names no format.
std::string WithFourDigitYear(std::string format);

// The six stored characters of a date, split by the stored date order ('A' month-day-year, 'M'
// year-month-day, any other letter day-month-year).
struct TSixCharDate {
    char Day[2] = {};
    char Month[2] = {};
    char Year[2] = {};
    int YearNumber = 0; // the year piece read as a decimal number
};

enum class TSixCharDateState : std::uint8_t { Empty, Error, Valid };

// Empty when day or month is "00" or sorts below it (or the six characters do not lie inside the slot), Error
// when the year piece is not a decimal number (leading blanks allowed), otherwise Valid with date filled.
TSixCharDateState DecodeSixCharDate(ByteSpan slot, std::size_t offset, char storedOrder, TSixCharDate& date);

// day/month/year in the output order ('A' month/day/year, 'M' year/month/day, any other day/month/year), the
// year as "20" + its two stored characters when YearNumber is below cutoff, "19" + them otherwise.
void AppendSixCharDate(std::string& out, const TSixCharDate& date, std::uint8_t cutoff, char outputOrder);

// ---- Times (field type 5) ----

// hh:mm:ss from the six stored characters; nothing when the first is NUL or they do not lie inside the slot.
void AppendTime(std::string& out, ByteSpan slot, std::size_t offset);

// ---- Choices (field type 8) ----

// Entry c of choices when c is smaller than their number, otherwise "Choice_" + c.
void AppendChoice(std::string& out, std::uint8_t c, const std::vector<std::string>& choices);

// ---- One field ----

// Everything a field's conversion may need besides the field and the slot.
struct TValueContext {
    std::uint8_t Version = 0;
    char StoredDateOrder = 'B';
    char OutputDateOrder = 'B';
    int NumericNull = 0;
    std::string ShortDateFormat = "%d/%m/%Y";
    // The century cutoff, asked for each valid six-character date; may throw EInOutError, which makes that
    // one value "Error". Unset: 0.
    std::function<std::uint8_t()> CenturyCutoff;
};

// Appends the text of field's value in slot, as the export writes it in the field's column.
void AppendFieldValue(std::string& out, ByteSpan slot, const TFieldRec& field, const TValueContext& context);

} // namespace corvane
