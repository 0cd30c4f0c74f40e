#pragma once
// Decimal text of the numbers stored in DataEase records. Every routine appends to a caller-owned buffer and
// allocates nothing of its own, so a value costs no heap allocation once the buffer has grown.

#include <array>
#include <cstdint>
#include <string>

namespace corvane {

// A finite double expanded to its correctly rounded 18 significant decimal digits:
// value = (Negative ? -1 : 1) * D0.D1D2...D17 * 10^Exponent. Zero has all digits '0' and Exponent 0.
struct TDecimal18 {
    static constexpr int kDigits = 18;
    bool Negative = false;
    std::array<char, kDigits> Digits{};
    int Exponent = 0;
};

// The expansion of a finite value (NaN and infinities are the caller's to handle first).
TDecimal18 ExpandDecimal18(double value);

// Appends v in decimal: "-" before negative numbers, no leading zeros, no separators.
void AppendInteger(std::string& out, std::int64_t v);

// Appends "NaN", "INF" or "-INF" for a value that is not finite; returns false (appending nothing) otherwise.
bool AppendNonFinite(std::string& out, double value);

// Fixed point with exactly `decimals` digits after "." (no point when decimals is 0). The value is expanded
// to 18 significant digits, then the last digit kept is rounded half away from zero, a carry running through
// nines; places beyond the 18th significant digit are written as zeros. A value that rounds to zero is
// written without a sign. decimals below 0 is taken as 0.
void AppendFixed(std::string& out, double value, int decimals);

// Scientific form with `significant` digits (clamped to 2..18): an optional "-", one digit, ".", the other
// digits, "E", the exponent's sign and the exponent in four digits: 1234.5 with 2 digits is "1.2E+0003".
// Rounded as AppendFixed rounds.
void AppendScientific(std::string& out, double value, int significant);

// Fast forms of AppendFixed and AppendScientific for the values most fields hold (finite, normal, 1e-5 <= |v|
// < 1e18; AppendFixed: 0 <= decimals <= kFastMaxDecimals and the value's last kept digit among its 18): the
// same text, written at p (room for kFastNumberChars), returning its end. They write nothing and return
// nullptr for any other value, which is then the general routines' to write.
inline constexpr int kFastMaxDecimals = 17;
inline constexpr std::size_t kFastNumberChars = 48;
char* WriteFixedFast(char* p, double value, int decimals);
char* WriteScientificFast(char* p, double value, int significant);

// Appends a double truncated toward zero to a whole number, exactly (also beyond the 64-bit range).
void AppendTruncated(std::string& out, double value);

} // namespace corvane
