#include "platform/LocalePicture.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::platform {
namespace {

TEST(FormatOfPicture, DatePicturesOfCommonLocales) {
    const struct {
        const char* Picture;
        const char* Format;
    } cases[] = {
        {"M/d/yyyy", "%-m/%-d/%Y"},     // en-US
        {"dd/MM/yyyy", "%d/%m/%Y"},     // en-GB, fr-FR
        {"dd.MM.yyyy", "%d.%m.%Y"},     // de-DE
        {"yyyy-MM-dd", "%Y-%m-%d"},     // sv-SE
        {"yyyy/MM/dd", "%Y/%m/%d"},     // ja-JP
        {"d/M/yy", "%-d/%-m/%y"},       // two-digit year
        {"d. M. yyyy", "%-d. %-m. %Y"}, // cs-CZ
        {"dd-MMM-yy", "%d-%m-%y"},      // a month name is written as a number
        {"gg yyyy/M/d", " %Y/%-m/%-d"}, // the era is left out
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatOfPicture(c.Picture), c.Format) << c.Picture;
    }
}

TEST(FormatOfPicture, TimePictures) {
    EXPECT_EQ(FormatOfPicture("HH:mm:ss"), "%H:%M:%S");
    EXPECT_EQ(FormatOfPicture("h:mm:ss tt"), "%I:%M:%S %p");
    EXPECT_EQ(FormatOfPicture("H.mm.ss"), "%H.%M.%S");
}

TEST(FormatOfPicture, QuotedTextAndPercentSignsStayText) {
    EXPECT_EQ(FormatOfPicture("yyyy'年'M'月'd'日'"), "%Y年%-m月%-d日");
    EXPECT_EQ(FormatOfPicture("'d' d"), "d %-d");              // a quoted letter is no day
    EXPECT_EQ(FormatOfPicture("d 'o''clock'"), "%-d o'clock"); // two quotes inside quotes are one
    EXPECT_EQ(FormatOfPicture("d%M"), "%-d%%%-m");
    EXPECT_EQ(FormatOfPicture("'100%' d"), "100%% %-d");
    EXPECT_EQ(FormatOfPicture("d 'open"), "%-d open"); // an unclosed quote runs to the end
}

} // namespace
} // namespace corvane::platform
