#include "database/Errors.h"
#include "export/FieldValues.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <vector>

namespace corvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Chars(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

// The definition items of a field (TFieldRec itself is not copyable).
struct FieldItems {
    std::uint8_t FieldType = 0;
    std::uint16_t Offset = 0;
    std::uint8_t Size = 0;
    std::uint8_t SubType = 0;
    std::uint8_t Length = 0;
    std::uint8_t IntDigits = 0;
};

FieldItems Field(std::uint8_t type, std::uint16_t offset, std::uint8_t size, std::uint8_t subType = 0,
                 std::uint8_t length = 0, std::uint8_t intDigits = 0) {
    return {type, offset, size, subType, length, intDigits};
}

void Fill(TFieldRec& f, const FieldItems& items) {
    f.FieldType = items.FieldType;
    f.Offset = items.Offset;
    f.Size = items.Size;
    f.SubType = items.SubType;
    f.Length = items.Length;
    f.IntDigits = items.IntDigits;
}

std::string Value(const Bytes& slot, const FieldItems& items, const TValueContext& context = {}) {
    TFieldRec f;
    Fill(f, items);
    std::string out;
    AppendFieldValue(out, slot, f, context);
    return out;
}

TNumberValue Decode(const Bytes& slot, const FieldItems& items) {
    TFieldRec f;
    Fill(f, items);
    return DecodeNumber(slot, f);
}

TValueContext NullChoice(int numericNull) {
    TValueContext c;
    c.NumericNull = numericNull;
    return c;
}

Bytes LE(std::uint64_t v, int n) {
    Bytes b;
    for (int i = 0; i < n; ++i) {
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    return b;
}

Bytes DoubleBytes(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    return LE(bits, 8);
}

Bytes SingleBytes(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return LE(bits, 4);
}

// ---- Text ----

TEST(TextValue, StopsAtTheFirstNulAndKeepsTrailingBlanks) {
    const struct {
        Bytes Slot;
        const char* Expected;
    } cases[] = {
        {Chars(std::string("AB\0\0\0\0\0\0\0\0", 10)), "\"AB\""},
        {Chars("AB        "), "\"AB        \""},
        {Chars(std::string("\0BC", 3) + "       "), "\"\""},
        {Chars("a,b;c\r\nd "), "\"a,b;c\r\nd \""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Value(c.Slot, Field(kFieldText, 0, 10)), c.Expected);
        EXPECT_EQ(Value(c.Slot, Field(kFieldText2, 0, 10)), c.Expected);
    }
}

TEST(TextValue, DoublesEveryQuoteInside) {
    EXPECT_EQ(Value(Chars("say \"hi\""), Field(kFieldText, 0, 8)), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(Value(Chars("\""), Field(kFieldText, 0, 1)), "\"\"\"\"");
}

TEST(TextValue, IsClippedToTheSlot) {
    EXPECT_EQ(Value(Chars("XHELLO"), Field(kFieldText, 1, 200)), "\"HELLO\"");
    EXPECT_EQ(Value(Chars("XHELLO"), Field(kFieldText, 60, 10)), "\"\"");
}

// ---- Numbers ----

struct NumberCase {
    Bytes Slot;
    FieldItems Field;
    const char* Zero;  // numeric null 0
    const char* Blank; // numeric null 1
};

TEST(NumberValue, WholeNumbersBySize) {
    std::vector<NumberCase> cases;
    cases.push_back({{0xFF}, Field(kFieldNumber, 0, 1), "255", "255"});
    cases.push_back({{0x80}, Field(kFieldNumber, 0, 1), "0", ""});
    cases.push_back({{0xFF, 0xFF}, Field(kFieldNumber, 0, 2), "65535", "65535"});
    cases.push_back({{0x00, 0x80}, Field(kFieldNumber, 0, 2), "0", ""});
    cases.push_back({{0x01, 0x80}, Field(kFieldNumber, 0, 2), "32769", "32769"});
    cases.push_back({{0xFF, 0xFF, 0xFF, 0xFF}, Field(kFieldNumber, 0, 4), "-1", "-1"});
    cases.push_back({{0x00, 0x00, 0x00, 0x80}, Field(kFieldNumber, 0, 4), "0", ""});
    cases.push_back({DoubleBytes(-2.7), Field(kFieldNumber, 0, 8), "-2", "-2"});
    cases.push_back({DoubleBytes(123456789012.9), Field(kFieldNumber, 0, 8), "123456789012", "123456789012"});
    cases.push_back(
        {DoubleBytes(1e20), Field(kFieldNumber, 0, 8), "100000000000000000000", "100000000000000000000"});
    // Any other size reads the eight bytes at the offset as a double.
    cases.push_back({DoubleBytes(42.5), Field(kFieldNumber, 0, 3), "42", "42"});
    for (const auto& c : cases) {
        EXPECT_EQ(Value(c.Slot, c.Field, NullChoice(0)), c.Zero);
        EXPECT_EQ(Value(c.Slot, c.Field, NullChoice(1)), c.Blank);
    }
}

TEST(NumberValue, FixedPointAndFloatingReals) {
    std::vector<NumberCase> cases;
    cases.push_back({DoubleBytes(1234.5), Field(kFieldNumber, 0, 8, 1, 7, 4), "1234.50", "1234.50"});
    cases.push_back({DoubleBytes(-0.125), Field(kFieldNumber, 0, 8, 1, 7, 4), "-0.13", "-0.13"});
    cases.push_back(
        {DoubleBytes(99.5), Field(kFieldNumber, 0, 8, 1, 3, 2), "100", "100"}); // no point when d = 0
    // d negative: the scientific form (Length 3 gives two significant digits).
    cases.push_back({DoubleBytes(1234.5), Field(kFieldNumber, 0, 8, 1, 3, 4), "1.2E+0003", "1.2E+0003"});
    // 10^36 and above: scientific.
    cases.push_back({DoubleBytes(1e36), Field(kFieldNumber, 0, 8, 1, 12, 4), "1.000E+0036", "1.000E+0036"});
    cases.push_back(
        {DoubleBytes(-1e36), Field(kFieldNumber, 0, 8, 1, 12, 4), "-1.000E+0036", "-1.000E+0036"});
    cases.push_back({DoubleBytes(9.999999999999999e35), Field(kFieldNumber, 0, 8, 1, 2, 1),
                     "999999999999999895000000000000000000", "999999999999999895000000000000000000"});
    cases.push_back({DoubleBytes(1234.5), Field(kFieldNumber, 0, 8, 2, 10), "1.2E+0003", "1.2E+0003"});
    cases.push_back({DoubleBytes(1234.5), Field(kFieldNumber, 0, 8, 2, 4), "1.2E+0003", "1.2E+0003"});
    cases.push_back({DoubleBytes(1234.5), Field(kFieldNumber, 0, 8, 2, 30), "1.23450000000000000E+0003",
                     "1.23450000000000000E+0003"});
    // A four-byte single is widened exactly: 0.1f is 0.100000001490116119...
    cases.push_back({SingleBytes(0.1f), Field(kFieldNumber, 0, 4, 1, 12, 1), "0.1000000015", "0.1000000015"});
    cases.push_back({SingleBytes(2.5f), Field(kFieldNumber, 0, 4, 1, 2, 1), "3", "3"});
    // Empty in a real field.
    cases.push_back({{0, 0, 0, 0, 0, 0, 0, 0x80}, Field(kFieldNumber, 0, 8, 1, 7, 4), "0", ""});
    // A real of a size other than 4 or 8 has no value.
    cases.push_back({{1, 2}, Field(kFieldNumber, 0, 2, 1, 7, 4), "", ""});
    for (const auto& c : cases) {
        EXPECT_EQ(Value(c.Slot, c.Field, NullChoice(0)), c.Zero)
            << "SubType " << int(c.Field.SubType) << " Length " << int(c.Field.Length);
        EXPECT_EQ(Value(c.Slot, c.Field, NullChoice(1)), c.Blank);
    }
}

TEST(NumberValue, ReadsThatWouldLeaveTheSlotGiveNothing) {
    const Bytes slot = {0, 1, 2, 3, 4, 5};
    EXPECT_EQ(Value(slot, Field(kFieldNumber, 4, 4)), "");
    EXPECT_EQ(Value(slot, Field(kFieldNumber, 0, 3)), "");        // eight bytes of a double needed
    EXPECT_EQ(Value(slot, Field(kFieldNumber, 0, 8, 2, 10)), ""); // double needs 8
    EXPECT_EQ(Value(slot, Field(kFieldNumber, 0, 4, 2, 10)), Value(slot, Field(kFieldNumber, 0, 4, 2, 10)));
    EXPECT_EQ(Decode(slot, Field(kFieldNumber, 0, 3)).Kind, TNumberKind::Missing);
}

TEST(NumberValue, NonFiniteDoublesAreWords) {
    EXPECT_EQ(Value(DoubleBytes(-1.0 / 0.0), Field(kFieldNumber, 0, 8)), "-INF");
    EXPECT_EQ(Value(DoubleBytes(1.0 / 0.0), Field(kFieldNumber, 0, 8, 1, 7, 4)), "INF");
    EXPECT_EQ(Value(LE(0x7FF8000000000000ull, 8), Field(kFieldNumber, 0, 8, 2, 10)), "NaN");
}

TEST(NumberValue, DecodeGivesTheTypedValue) {
    const TNumberValue whole = Decode(Bytes{0xFF, 0xFF, 0xFF, 0xFF}, Field(kFieldNumber, 0, 4));
    EXPECT_EQ(whole.Kind, TNumberKind::Whole);
    EXPECT_EQ(whole.Whole, -1);
    const TNumberValue real = Decode(DoubleBytes(0.25), Field(kFieldNumber, 0, 8, 1, 7, 4));
    EXPECT_EQ(real.Kind, TNumberKind::Real);
    EXPECT_EQ(real.Real, 0.25);
    EXPECT_EQ(Decode(Bytes{0x80}, Field(kFieldNumber, 0, 1)).Kind, TNumberKind::Empty);
    EXPECT_TRUE(IsEmptyNumber(Bytes{0x00, 0x00, 0x80}));
    EXPECT_FALSE(IsEmptyNumber(Bytes{0x00, 0x80, 0x80}));
    EXPECT_FALSE(IsEmptyNumber(Bytes{}));
}

// ---- Six-character dates ----

TValueContext DateContext(char stored, char output, std::uint8_t cutoff) {
    TValueContext c;
    c.StoredDateOrder = stored;
    c.OutputDateOrder = output;
    c.CenturyCutoff = [cutoff]() { return cutoff; };
    return c;
}

TEST(SixCharDate, PiecesFollowTheStoredAndOutputOrders) {
    const struct {
        const char* Stored;
        char StoredOrder;
        char OutputOrder;
        std::uint8_t Cutoff;
        const char* Expected;
    } cases[] = {
        {"150397", 'B', 'B', 50, "15/03/1997"}, {"150397", 'B', 'A', 50, "03/15/1997"},
        {"150397", 'B', 'M', 50, "1997/03/15"}, {"031502", 'A', 'B', 50, "15/03/2002"},
        {"970315", 'M', 'B', 50, "15/03/1997"}, {"150349", 'B', 'B', 50, "15/03/2049"},
        {"150350", 'B', 'B', 50, "15/03/1950"}, {"150301", 'B', 'B', 0, "15/03/1901"},
        {"150397", 'X', 'Z', 50, "15/03/1997"}, // other letters: British
        {"4513 5", 'B', 'B', 50, "45/13/20 5"}, // leading blank in the year; not checked against the calendar
        {"0100xx", 'B', 'B', 50, ""},           // month 00
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Value(Chars(c.Stored), Field(kFieldDate, 0, 6),
                        DateContext(c.StoredOrder, c.OutputOrder, c.Cutoff)),
                  c.Expected)
            << c.Stored << " " << c.StoredOrder << c.OutputOrder;
    }
}

TEST(SixCharDate, EmptyAndErrorValues) {
    const TValueContext context = DateContext('B', 'B', 50);
    const struct {
        Bytes Stored;
        const char* Expected;
    } cases[] = {
        {Chars("      "), ""},
        {Bytes(6, 0), ""},
        {Chars("000397"), ""},
        {Chars("150097"), ""},
        {Chars("15/\x01"
               "97"),
         ""},
        {Chars("1503XY"), "Error"},
        {Chars("15035 "), "Error"},
        {Chars("1503  "), "Error"},
        {Chars("01019"), ""}, // five bytes: past the slot
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Value(c.Stored, Field(kFieldDate, 0, 6), context), c.Expected);
    }
}

TEST(SixCharDate, CutoffIsAskedOnlyForValidDatesAndItsIOErrorGivesError) {
    int asked = 0;
    TValueContext context;
    context.CenturyCutoff = [&asked]() -> std::uint8_t {
        ++asked;
        throw EInOutError(2, "File not found", "CONFIGUR.DBM");
    };
    EXPECT_EQ(Value(Chars("000397"), Field(kFieldDate, 0, 6), context), "");
    EXPECT_EQ(Value(Chars("1503XY"), Field(kFieldDate, 0, 6), context), "Error");
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(Value(Chars("150397"), Field(kFieldDate, 0, 6), context), "Error");
    EXPECT_EQ(Value(Chars("150397"), Field(kFieldDate, 0, 6), context), "Error");
    EXPECT_EQ(asked, 2); // a failure is not remembered
}

TEST(SixCharDate, ADayCountFieldOfA4xDatabaseReadsSixCharacters) {
    TValueContext context = DateContext('B', 'B', 50);
    context.Version = 3;
    EXPECT_EQ(Value(Chars("150397"), Field(kFieldDate, 0, 6, 1), context), "15/03/1997");
}

// ---- Day counts ----

TEST(DayCountDate, SkipsTheThirtyFirstOfDecember1776) {
    const struct {
        std::int32_t N;
        std::int64_t Year;
        int Month, Day;
    } cases[] = {
        {1, 1776, 1, 1},    {365, 1776, 12, 30},   {366, 1777, 1, 1},      {60, 1776, 2, 29},
        {-1, 1775, 12, 30}, {81401, 1998, 11, 14}, {3000000, 9989, 9, 21},
    };
    for (const auto& c : cases) {
        const TCivilDate d = DayCountToDate(c.N);
        EXPECT_EQ(d.Year, c.Year) << c.N;
        EXPECT_EQ(d.Month, c.Month) << c.N;
        EXPECT_EQ(d.Day, c.Day) << c.N;
    }
}

TEST(DayCountDate, WrittenInTheShortDateFormat) {
    Bytes slot = LE(366, 4);
    TValueContext context;
    context.Version = 5;
    context.OutputDateOrder = 'M'; // does not apply to day counts
    const struct {
        const char* Format;
        const char* Expected;
    } cases[] = {
        {"%d/%m/%Y", "01/01/1777"}, {"%m-%d-%y", "01-01-77"},
        {"%Y.%m.%d", "1777.01.01"}, {"%e|%%|%q", " 1|%|%q"},
        {"%-m/%-d/%Y", "1/1/1777"}, {"%-d.%-m.%y", "1.1.77"},
        {"%-y %-", "%-y %-"},       {"%", "%"},
    };
    for (const auto& c : cases) {
        context.ShortDateFormat = c.Format;
        EXPECT_EQ(Value(slot, Field(kFieldDate, 0, 4, 1), context), c.Expected) << c.Format;
    }
    context.ShortDateFormat = "%d/%m/%Y";
    EXPECT_EQ(Value(LE(0, 4), Field(kFieldDate, 0, 4, 1), context), "");
    EXPECT_EQ(Value(LE(366, 3), Field(kFieldDate, 0, 4, 1), context), ""); // four bytes do not fit
    context.Version = 7;
    EXPECT_EQ(Value(LE(365, 4), Field(kFieldDate, 0, 4, 1), context), "30/12/1776");
}

TEST(DayCountDate, EarlyYearsHaveFourDigits) {
    std::string out;
    AppendFormattedDate(out, TCivilDate{5, 6, 7}, "%Y-%m-%d");
    EXPECT_EQ(out, "0005-06-07");
}

TEST(DayCountDate, UnpaddedDayAndMonthKeepTheirTens) {
    std::string out;
    AppendFormattedDate(out, TCivilDate{2024, 12, 25}, "%-m/%-d/%Y");
    AppendFormattedDate(out, TCivilDate{2024, 3, 5}, " %-d.%-m.");
    EXPECT_EQ(out, "12/25/2024 5.3.");
}

TEST(LocaleShortDateFormat, WidensATwoDigitYear) {
    const std::string saved = std::setlocale(LC_TIME, nullptr);
    ASSERT_NE(std::setlocale(LC_TIME, "C"), nullptr);
    EXPECT_EQ(LocaleShortDateFormat(), "%m/%d/%Y"); // the C locale's own format is %m/%d/%y
    std::setlocale(LC_TIME, saved.c_str());
}

TEST(LocaleShortDateFormat, EveryTwoDigitYearIsWidenedAndNothingElseChanges) {
    const struct {
        const char* System;
        const char* Expected;
    } cases[] = {
        {"%m/%d/%y", "%m/%d/%Y"},       {"%d.%m.%y", "%d.%m.%Y"},         {"%-m/%-d/%Y", "%-m/%-d/%Y"},
        {"%y-%m-%d %y", "%Y-%m-%d %Y"}, {"%%y %d/%m/%y", "%%y %d/%m/%Y"}, {"", "%d/%m/%Y"},
        {"%Y%m%d%", "%Y%m%d%"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WithFourDigitYear(c.System), c.Expected) << c.System;
    }
}

// ---- Times and choices ----

TEST(TimeValue, HoursMinutesSecondsAsStored) {
    const struct {
        Bytes Stored;
        const char* Expected;
    } cases[] = {
        {Chars("093015"), "09:30:15"},
        {Chars("      "), "  :  :  "},
        {Chars(std::string("\0"
                           "93015",
                           6)),
         ""},
        {Chars("999999"), "99:99:99"},
        {Chars("09301"), ""}, // six characters do not fit
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Value(c.Stored, Field(kFieldTime, 0, 6)), c.Expected);
    }
}

TEST(ChoiceValue, EntryOrChoiceNumber) {
    TFieldRec f;
    Fill(f, Field(kFieldChoice, 1, 1));
    f.Choices = {"", "Red", "Green"};
    auto value = [&f](const Bytes& slot) {
        std::string out = "|";
        AppendFieldValue(out, slot, f, TValueContext{});
        return out;
    };
    EXPECT_EQ(value(Bytes{0, 2}), "|Green");
    EXPECT_EQ(value(Bytes{0, 0}), "|");
    EXPECT_EQ(value(Bytes{0, 5}), "|Choice_5");
    EXPECT_EQ(value(Bytes{0, 255}), "|Choice_255");
    EXPECT_EQ(value(Bytes{0}), "|"); // the byte lies outside the slot
}

TEST(OtherFieldTypes, GiveAnEmptyColumn) {
    for (std::uint8_t type : {0, 6, 7, 9, 255}) {
        EXPECT_EQ(Value(Chars("ABCDEFGH"), Field(type, 0, 8)), "") << int(type);
    }
}

} // namespace
} // namespace corvane
