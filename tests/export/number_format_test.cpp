#include "export/NumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace corvane {
namespace {

struct FixedCase {
    double Value;
    int Decimals;
    const char* Expected;
};

TEST(AppendFixed, RoundsHalfAwayFromZeroOnTheEighteenDigitExpansion) {
    const FixedCase cases[] = {
        {1234.5, 2, "1234.50"},
        {-0.125, 2, "-0.13"},
        {0.125, 2, "0.13"},
        {2.5, 0, "3"},
        {-2.5, 0, "-3"},
        {0.5, 0, "1"},
        {0.49, 0, "0"},
        {0.005, 2, "0.01"},       // stored just above 0.005
        {1.005, 2, "1.00"},       // stored as 1.00499999999999989...
        {9.995, 2, "9.99"},       // stored as 9.99499999999999922...
        {1000.005, 2, "1000.01"}, // stored as 1000.00499999999999545..., whose 18 digits end in 5
        {999999.5, 0, "1000000"},
        {9.9999, 3, "10.000"},
        {-9.9999, 3, "-10.000"},
        {0.0004, 3, "0.000"},
        {0.0005, 3, "0.001"},
        {0.00049, 3, "0.000"},
        {123.0, 0, "123"},
        {0.0, 2, "0.00"},
        {-0.0, 2, "0.00"},
        {-0.001, 2, "0.00"},
        {1e-300, 4, "0.0000"},
        {5e-324, 2, "0.00"},
        {0.1, 20, "0.10000000000000000600"},
        {1.0 / 3.0, 20, "0.33333333333333331500"},
        // Places beyond the 18th significant digit are zeros.
        {123456789012345678901234.0, 1, "123456789012345686000000.0"},
        {9.999999999999999e35, 0, "999999999999999895000000000000000000"},
        {1.5, -1, "2"},
    };
    for (const auto& c : cases) {
        std::string out = "x";
        AppendFixed(out, c.Value, c.Decimals);
        EXPECT_EQ(out, std::string("x") + c.Expected) << c.Value << " with " << c.Decimals << " decimals";
    }
}

struct ScientificCase {
    double Value;
    int Digits;
    const char* Expected;
};

TEST(AppendScientific, WritesOneDigitPointDigitsAndAFourDigitExponent) {
    const ScientificCase cases[] = {
        {1234.5, 2, "1.2E+0003"},
        {1250.0, 2, "1.3E+0003"},
        {-1250.0, 2, "-1.3E+0003"},
        {9.96, 2, "1.0E+0001"},
        {9.94, 2, "9.9E+0000"},
        {0.000123456, 4, "1.235E-0004"},
        {1e36, 3, "1.00E+0036"},
        {1e300, 2, "1.0E+0300"},
        {0.0, 2, "0.0E+0000"},
        {-0.0, 2, "0.0E+0000"},
        {5e-324, 3, "4.94E-0324"},
        {0.1, 18, "1.00000000000000006E-0001"},
        {1.0 / 3.0, 18, "3.33333333333333315E-0001"},
        {999999999999999999.0, 18, "1.00000000000000000E+0018"},
        {1234.5, 1, "1.2E+0003"},                  // at least two digits
        {1234.5, 40, "1.23450000000000000E+0003"}, // at most eighteen
    };
    for (const auto& c : cases) {
        std::string out;
        AppendScientific(out, c.Value, c.Digits);
        EXPECT_EQ(out, c.Expected) << c.Value << " with " << c.Digits << " digits";
    }
}

TEST(NumberFormat, WritesNaNAndInfinitiesAsWords) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double Value;
        const char* Expected;
    } cases[] = {{inf, "INF"}, {-inf, "-INF"}, {nan, "NaN"}};
    for (const auto& c : cases) {
        std::string fixed, scientific, truncated;
        AppendFixed(fixed, c.Value, 2);
        AppendScientific(scientific, c.Value, 4);
        AppendTruncated(truncated, c.Value);
        EXPECT_EQ(fixed, c.Expected);
        EXPECT_EQ(scientific, c.Expected);
        EXPECT_EQ(truncated, c.Expected);
    }
    std::string none;
    EXPECT_FALSE(AppendNonFinite(none, 1.0));
    EXPECT_EQ(none, "");
}

TEST(ExpandDecimal18, GivesTheCorrectlyRoundedDigitsAndExponent) {
    const TDecimal18 d = ExpandDecimal18(-1000.005);
    EXPECT_TRUE(d.Negative);
    EXPECT_EQ(std::string(d.Digits.begin(), d.Digits.end()), "100000500000000000");
    EXPECT_EQ(d.Exponent, 3);
    const TDecimal18 z = ExpandDecimal18(0.0);
    EXPECT_FALSE(z.Negative);
    EXPECT_EQ(std::string(z.Digits.begin(), z.Digits.end()), "000000000000000000");
    EXPECT_EQ(z.Exponent, 0);
}

TEST(AppendInteger, WritesPlainDecimal) {
    const struct {
        std::int64_t Value;
        const char* Expected;
    } cases[] = {{0, "0"},
                 {-1, "-1"},
                 {65535, "65535"},
                 {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"}};
    for (const auto& c : cases) {
        std::string out;
        AppendInteger(out, c.Value);
        EXPECT_EQ(out, c.Expected);
    }
}

TEST(AppendTruncated, TruncatesTowardZeroAlsoBeyondSixtyFourBits) {
    const struct {
        double Value;
        const char* Expected;
    } cases[] = {{-2.7, "-2"},
                 {2.7, "2"},
                 {-0.5, "0"},
                 {1e20, "100000000000000000000"},
                 {-1e19, "-10000000000000000000"}};
    for (const auto& c : cases) {
        std::string out;
        AppendTruncated(out, c.Value);
        EXPECT_EQ(out, c.Expected) << c.Value;
    }
}

} // namespace
} // namespace corvane
