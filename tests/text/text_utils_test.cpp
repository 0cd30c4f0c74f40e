#include "text/TextUtils.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace corvane {
namespace {

using namespace std::string_literals;

TEST(LastCharPos, FindsTheLastOccurrenceOneBased) {
    EXPECT_EQ(LastCharPos('\\', "C:\\DATA\\X"), 8U);
    EXPECT_EQ(LastCharPos('\\', "C:DATA"), 0U);
    EXPECT_EQ(LastCharPos('x', ""), 0U);
    EXPECT_EQ(LastCharPos('a', "a"), 1U);
}

TEST(FirstCharOr, FallsBackOnEmpty) {
    EXPECT_EQ(FirstCharOr(";x", ','), ';');
    EXPECT_EQ(FirstCharOr(" ", ','), ' ');
    EXPECT_EQ(FirstCharOr("", ','), ',');
}

TEST(WithTrailingBackslash, AddsOneBackslashUnlessPresent) {
    EXPECT_EQ(WithTrailingBackslash("C:\\OUT"), "C:\\OUT\\");
    EXPECT_EQ(WithTrailingBackslash("C:\\OUT\\"), "C:\\OUT\\");
    EXPECT_EQ(WithTrailingBackslash(""), "");
}

TEST(WithTrailingSeparator, UsesThePlatformSeparator) {
    const std::string sep(1, kPathSeparator);
    EXPECT_EQ(WithTrailingSeparator("out"), "out" + sep);
    EXPECT_EQ(WithTrailingSeparator("out" + sep), "out" + sep);
    EXPECT_EQ(WithTrailingSeparator(""), "");
}

TEST(BytesToInt, ReadsLowOrderBytesLittleEndian) {
    const std::uint8_t ff[] = {0xFF, 0xFF, 0xFF, 0xFF};
    const std::uint8_t mixed[] = {0x34, 0x12, 0x00, 0x80};
    EXPECT_EQ(BytesToInt(ff, 0), 0);
    EXPECT_EQ(BytesToInt(ff, 1), 255);
    EXPECT_EQ(BytesToInt(ff, 2), 65535);
    EXPECT_EQ(BytesToInt(ff, 4), -1);
    EXPECT_EQ(BytesToInt(mixed, 2), 0x1234);
    EXPECT_EQ(BytesToInt(mixed, 4), static_cast<std::int32_t>(0x80001234U));
    EXPECT_THROW(BytesToInt(ff, 5), std::out_of_range);
}

TEST(FirstPosOfAny, SmallestPositionOfAnyCharacter) {
    EXPECT_EQ(FirstPosOfAny(",;", "ab;c,d"), 3U);
    EXPECT_EQ(FirstPosOfAny(",;", "abc"), 0U);
    EXPECT_EQ(FirstPosOfAny("", "abc"), 0U);
    EXPECT_EQ(FirstPosOfAny(",", ""), 0U);
}

TEST(ReplaceChars, ReplacesEveryMemberOfTheSet) {
    EXPECT_EQ(ReplaceChars("A-B C.D", ",;:+-= .", '_'), "A_B_C_D");
    EXPECT_EQ(ReplaceChars("a,b;c:d+e-f=g h.i", ",;:+-= .", '_'), "a_b_c_d_e_f_g_h_i");
    EXPECT_EQ(ReplaceChars("plain", ",", '_'), "plain");
}

TEST(RemoveChars, RemovesEveryOccurrence) {
    EXPECT_EQ(RemoveChars("AB/CD/EF", "/"), "ABCDEF");
    EXPECT_EQ(RemoveChars("A B\0C"s, " \0"s), "ABC");
    EXPECT_EQ(RemoveChar("aXbXc", 'X'), "abc");
    EXPECT_EQ(RemoveChar("", 'X'), "");
}

TEST(Trim, TrailingBlanksAndNulsInAnyMix) {
    EXPECT_EQ(TrimBlanks("  12.50  "), "12.50");
    EXPECT_EQ(TrimTrailingBlanks("NAME\0\0 "s), "NAME");
    EXPECT_EQ(TrimTrailingBlanks(" \0 \0"s), "");
    EXPECT_EQ(TrimTrailingBlanks("A\0B "s), "A\0B"s);
    EXPECT_EQ(TrimTrailingBlanks("  lead"), "  lead");
    // A leading NUL stays in place; only blanks are taken from the front.
    EXPECT_EQ(TrimBlanks("\0 A "s), "\0 A"s);
    EXPECT_EQ(TrimBlanks("  "), "");
}

TEST(UpperCaseAscii, ChangesOnlyAsciiLetters) {
    EXPECT_EQ(UpperCaseAscii("abz AZ 09 {}"), "ABZ AZ 09 {}");
    EXPECT_EQ(UpperCaseAscii("\xE9t\xE9"), "\xE9T\xE9");
}

TEST(NameKeys, CompareUpperCasedBytesAsUnsigned) {
    EXPECT_EQ(CompareNameKeys("orders", "ORDERS"), 0);
    EXPECT_LT(CompareNameKeys("Accounts", "customers"), 0);
    EXPECT_LT(CompareNameKeys("ORD", "orders"), 0);     // a prefix sorts first
    EXPECT_GT(CompareNameKeys("\xC9tude", "Zebra"), 0); // bytes above 127 after every ASCII letter
    EXPECT_FALSE(SameNameKey("\xE9", "\xC9"));          // accented letters are not folded
    EXPECT_TRUE(SameNameKey("Customers", "CUSTOMERS"));
    EXPECT_FALSE(SameNameKey(" Customers", "Customers")); // nothing is trimmed
}

} // namespace
} // namespace corvane
