// ExpandDecimal18 against the standard library's correctly rounded conversion (std::to_chars, scientific, 17
// digits after the point), over values chosen where an integer-arithmetic expansion can go wrong: both sides
// of every power of ten in and around the range it handles itself, exact ties at the 18th digit, the ends of
// the double's precision, and many pseudo-random doubles of every magnitude.

#include "export/NumberFormat.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace corvane {
namespace {

// The digits and exponent as the reference conversion gives them, e.g. "123456789012345678e-3".
std::string Reference(double value) {
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 17);
    std::string digits;
    const char* p = buf;
    for (; p != r.ptr && *p != 'e'; ++p) {
        if (*p != '.') {
            digits += *p;
        }
    }
    int exponent = 0;
    std::from_chars(p[1] == '+' ? p + 2 : p + 1, r.ptr, exponent);
    return (std::signbit(value) ? "-" : "") + digits + "e" + std::to_string(exponent);
}

std::string Expanded(double value) {
    const TDecimal18 d = ExpandDecimal18(value);
    return (d.Negative ? "-" : "") + std::string(d.Digits.data(), d.Digits.size()) + "e" +
           std::to_string(d.Exponent);
}

double FromBits(std::uint64_t bits) {
    double v = 0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::vector<double> Values() {
    std::vector<double> values = {
        1.0,
        0.1,
        0.5,
        0.125,
        0.145,
        9.995,
        0.005,
        999999.5,
        12.345,
        1234.5,
        6093.36,
        2.5447e1,
        // Exact ties at the 18th significant digit: 19 significant digits ending in 5.
        123456789012.0078125,
        123456789013.0078125,
        1234567890.001953125,
        12345678.00390625 + 1e7,
        // The ends of the exactly handled range and just beyond.
        1e-5,
        9.9999999999999991e-6,
        1e18,
        9.9999999999999987e17,
        999999999999999999.0,
        1e17,
        99999999999999999.0,
        123456789012345678.0,
        4503599627370495.5,
        9007199254740993.0,
        9007199254740991.0,
        0.30000000000000004,
        1.7976931348623157e308,
        2.2250738585072014e-308,
        4.9406564584124654e-324,
        1e36,
        1e-300,
        // Rounding that carries into a new power of ten.
        0.99999999999999999,
        9.9999999999999999,
        99999.999999999999,
    };
    for (int k = -30; k <= 30; ++k) {
        const double p = std::pow(10.0, k);
        values.push_back(p);
        values.push_back(std::nextafter(p, 0.0));
        values.push_back(std::nextafter(p, 1e300));
    }
    // A fixed pseudo-random sequence: every exponent, every mantissa pattern.
    std::uint64_t x = 0x243F6A8885A308D3ULL;
    for (int i = 0; i < 60000; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        const double v = FromBits(x & 0x7FFFFFFFFFFFFFFFULL);
        if (std::isfinite(v) && v != 0) {
            values.push_back(v);
        }
        // Concentrated on the range of stored money, counts and rates.
        const double w =
            static_cast<double>(x >> 11) / 9007199254740992.0 * std::pow(10.0, static_cast<int>(x % 24) - 6);
        if (w != 0) {
            values.push_back(w);
        }
        values.push_back(static_cast<double>(static_cast<float>(w)));
        values.push_back(static_cast<double>(x % 100000000) / 100.0);
    }
    return values;
}

TEST(DecimalExpansion, MatchesTheCorrectlyRoundedConversion) {
    int failures = 0;
    for (const double v : Values()) {
        for (const double signed_v : {v, -v}) {
            const std::string want = Reference(signed_v);
            const std::string got = Expanded(signed_v);
            if (want != got && ++failures <= 20) {
                ADD_FAILURE() << "value " << std::hexfloat << signed_v << std::defaultfloat << ": " << got
                              << " instead of " << want;
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

// The fast writers give the general routines' text wherever they take a value, and take the common ones.
TEST(DecimalExpansion, FastWritersMatchTheGeneralRoutines) {
    int failures = 0;
    int taken = 0;
    int tried = 0;
    auto check = [&](const char* what, double v, int digits, char* end, const char* buf,
                     const std::string& want) {
        ++tried;
        if (end == nullptr) {
            return;
        }
        ++taken;
        const std::string got(buf, static_cast<std::size_t>(end - buf));
        if (got != want && ++failures <= 20) {
            ADD_FAILURE() << what << " " << digits << " of " << std::hexfloat << v << std::defaultfloat
                          << ": " << got << " instead of " << want;
        }
    };
    const std::vector<double> values = Values();
    for (std::size_t i = 0; i < values.size(); i += 3) {
        for (const double v : {values[i], -values[i]}) {
            char buf[kFastNumberChars];
            const int decimals = static_cast<int>(i % (kFastMaxDecimals + 1));
            std::string fixed;
            AppendFixed(fixed, v, decimals);
            check("fixed", v, decimals, WriteFixedFast(buf, v, decimals), buf, fixed);
            const int significant = 2 + static_cast<int>(i % 17);
            std::string scientific;
            AppendScientific(scientific, v, significant);
            check("scientific", v, significant, WriteScientificFast(buf, v, significant), buf, scientific);
        }
    }
    // Rounding cases of the fixed form: half away from zero on the 18 digits, carries, values that round
    // away.
    const struct {
        double Value;
        int Decimals;
    } kFixed[] = {{0.005, 2}, {0.015, 2}, {9.995, 2},  {999999.5, 0},    {0.0049, 2},
                  {0.5, 0},   {0.49, 0},  {-0.004, 2}, {123.456, 0},     {99.999, 2},
                  {1e-5, 5},  {1e-5, 4},  {6e-6, 5},   {1234567.891, 10}};
    for (const auto& c : kFixed) {
        for (const double v : {c.Value, -c.Value}) {
            char buf[kFastNumberChars];
            std::string want;
            AppendFixed(want, v, c.Decimals);
            check("fixed", v, c.Decimals, WriteFixedFast(buf, v, c.Decimals), buf, want);
        }
    }
    EXPECT_EQ(failures, 0);
    EXPECT_GT(taken, tried / 2); // the fast writers are not simply declining everything
}

TEST(DecimalExpansion, FastWritersDeclineWhatTheyDoNotHandle) {
    char buf[kFastNumberChars];
    for (const double v : {0.0, -0.0, 1e18, 1e36, 1e-6, 4.9406564584124654e-324, std::nan(""), HUGE_VAL}) {
        EXPECT_EQ(WriteFixedFast(buf, v, 2), nullptr) << v;
        EXPECT_EQ(WriteScientificFast(buf, v, 6), nullptr) << v;
    }
    EXPECT_EQ(WriteFixedFast(buf, 1.5, -1), nullptr);
    EXPECT_EQ(WriteFixedFast(buf, 1.5, kFastMaxDecimals + 1), nullptr);
    EXPECT_EQ(WriteFixedFast(buf, 12345.5, 14), nullptr); // the last kept digit beyond the 18th
}

TEST(DecimalExpansion, TiesAtTheLastDigitGoToTheEvenDigit) {
    // 123456789012.0078125 lies exactly between ...0078120 and ...0078130 at 18 digits.
    EXPECT_EQ(Expanded(123456789012.0078125), "123456789012007812e11");
    EXPECT_EQ(Expanded(123456789012.0234375), "123456789012023438e11");
}

} // namespace
} // namespace corvane
