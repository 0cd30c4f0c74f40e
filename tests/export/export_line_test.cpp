#include "database/DEInfoRec.h"
#include "database/Errors.h"
#include "export/DataFile.h"
#include "export/ExportLine.h"
#include "export/FieldValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace corvane {
namespace {

// A number field of one column, its value at byte 1 of a slot (byte 0 is the status).
struct NumberCase {
    std::uint8_t Size;
    std::uint8_t SubType;
    std::uint8_t Length;
    std::uint8_t IntDigits;
    double Value; // stored as the size asks: whole bytes for SubType 0 below 8 bytes, else a single or double
    bool Empty;
};

std::vector<std::uint8_t> NumberSlot(const NumberCase& c) {
    std::vector<std::uint8_t> slot(1 + c.Size, 0);
    std::uint8_t* v = slot.data() + 1;
    if (c.Empty) {
        v[c.Size - 1] = 0x80;
    } else if (c.SubType == 0 && c.Size < 8) {
        const auto whole = static_cast<std::int64_t>(c.Value);
        for (int i = 0; i < c.Size; ++i) {
            v[i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(whole) >> (8 * i));
        }
    } else if (c.Size == 4) {
        const float f = static_cast<float>(c.Value);
        std::memcpy(v, &f, 4);
    } else {
        std::memcpy(v, &c.Value, 8);
    }
    return slot;
}

// The fast writers of the line builder give what the general conversion gives, at the edges of each.
TEST(TLineBuilder, NumbersMatchTheGeneralConversionAtTheEdges) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<NumberCase> cases = {
        {1, 0, 3, 0, 0, false},
        {1, 0, 3, 0, 9, false},
        {1, 0, 3, 0, 10, false},
        {1, 0, 3, 0, 255, false},
        {1, 0, 3, 0, 0, true},
        {2, 0, 5, 0, 99, false},
        {2, 0, 5, 0, 100, false},
        {2, 0, 5, 0, 9999, false},
        {2, 0, 5, 0, 10000, false},
        {2, 0, 5, 0, 65535, false},
        {2, 0, 5, 0, 0, true},
        {4, 0, 10, 0, -1, false},
        {4, 0, 10, 0, 999999, false},
        {4, 0, 10, 0, 1000000, false},
        {4, 0, 10, 0, 2147483647, false},
        {4, 0, 10, 0, -2147483648.0, false},
        {4, 0, 10, 0, 0, true},
        {8, 0, 20, 0, 0, false},
        {8, 0, 20, 0, -0.5, false},
        {8, 0, 20, 0, 12345678901234567.0, false},
        {8, 0, 20, 0, 9.2e18, false},
        {8, 0, 20, 0, -9223372036854775808.0, false},
        {8, 0, 20, 0, 9223372036854775808.0, false},
        {8, 0, 20, 0, 1e300, false},
        {8, 0, 20, 0, -inf, false},
        {8, 0, 20, 0, std::nan(""), false},
        {8, 0, 20, 0, 0, true},
        {8, 1, 10, 7, 6093.36, false},
        {8, 1, 10, 7, -0.005, false},
        {8, 1, 10, 7, 1e17, false},
        {8, 1, 10, 7, 1e300, false},
        {8, 1, 10, 7, 0, true},
        {4, 1, 8, 4, 12.5, false},
        {8, 2, 14, 0, 25.447, false},
        {8, 2, 14, 0, -1e-300, false},
        {8, 2, 14, 0, inf, false},
        {4, 2, 12, 0, 3.4e38, false},
        {8, 2, 26, 0, 1.0 / 3, false},
    };
    TValueContext context;
    context.Version = kVersion5x;
    for (const int numericNull : {0, 1}) {
        context.NumericNull = numericNull;
        for (const NumberCase& c : cases) {
            SCOPED_TRACE("size " + std::to_string(c.Size) + " subtype " + std::to_string(c.SubType) +
                         " value " + std::to_string(c.Value) + (c.Empty ? " empty" : "") + " null " +
                         std::to_string(numericNull));
            TFieldRec field;
            field.FieldType = kFieldNumber;
            field.Size = c.Size;
            field.SubType = c.SubType;
            field.Length = c.Length;
            field.IntDigits = c.IntDigits;
            field.Offset = 1;
            const std::vector<std::uint8_t> bytes = NumberSlot(c);
            const ByteSpan slot(bytes.data(), bytes.size());
            std::string expected;
            AppendFieldValue(expected, slot, field, context);
            TLineBuilder builder({&field}, bytes.size(), ',', context);
            EXPECT_EQ(builder.Build(slot), expected + "\r\n");
        }
    }
}

// Texts of every length around the eight-byte steps, with a NUL, quotes and high bytes at the edges of a
// step, and fields cut by the end of the slot.
TEST(TLineBuilder, TextsMatchTheGeneralConversion) {
    std::vector<std::string> texts;
    for (std::size_t n = 0; n <= 26; ++n) {
        std::string t;
        for (std::size_t i = 0; i < n; ++i) {
            t += static_cast<char>('a' + i);
        }
        texts.push_back(t);
    }
    for (const std::size_t at : {0, 1, 7, 8, 9, 15, 16, 23}) {
        for (const char c : {'\0', '"', '\x80', '\xA2', '\x01', '!', '#', '\xFF'}) {
            std::string t(24, 'x');
            t[at] = c;
            texts.push_back(t);
        }
    }
    texts.push_back(std::string(24, '"'));
    texts.push_back("\"\"a\0\"");
    TValueContext context;
    for (const std::uint8_t size : {3, 8, 16, 24}) {
        for (const std::size_t slotLength : {std::size_t{1} + size, std::size_t{12}}) {
            TFieldRec field;
            field.FieldType = kFieldText;
            field.Size = size;
            field.Offset = 1;
            TLineBuilder builder({&field}, slotLength, ',', context);
            for (const std::string& t : texts) {
                std::vector<std::uint8_t> slot(slotLength, 0);
                for (std::size_t i = 0; i < t.size() && 1 + i < slotLength; ++i) {
                    slot[1 + i] = static_cast<std::uint8_t>(t[i]);
                }
                const ByteSpan span(slot.data(), slot.size());
                std::string expected;
                AppendFieldValue(expected, span, field, context);
                EXPECT_EQ(builder.Build(span), expected + "\r\n")
                    << "size " << int{size} << ", slot " << slotLength << ", text of " << t.size();
            }
        }
    }
}

// Day-count dates in every short date format the locales give, padded and unpadded days and months alike.
TEST(TLineBuilder, DayCountsMatchTheGeneralConversion) {
    TFieldRec field;
    field.FieldType = kFieldDate;
    field.SubType = 1;
    field.Size = 4;
    field.Offset = 1;
    for (const char* format : {"%d/%m/%Y", "%-m/%-d/%Y", "%-d.%-m.%y", "%e %m %Y", "%Y-%m-%d %%", "%-q%-"}) {
        TValueContext context;
        context.Version = kVersion5x;
        context.ShortDateFormat = format;
        TLineBuilder builder({&field}, 5, ',', context);
        for (const std::int32_t n : {1, 9, 10, 31, 32, 366, 70000, 90000, -5}) {
            std::vector<std::uint8_t> slot(5, 0);
            for (int i = 0; i < 4; ++i) {
                slot[1 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(n) >> (8 * i));
            }
            const ByteSpan span(slot.data(), slot.size());
            std::string expected;
            AppendFieldValue(expected, span, field, context);
            EXPECT_EQ(builder.Build(span), expected + "\r\n") << format << ", day " << n;
        }
    }
}

TEST(TLineBuilder, AppendLinesTakesTheSelectedSlotsOnly) {
    TFieldRec field;
    field.FieldType = kFieldNumber;
    field.Size = 1;
    field.Length = 3;
    field.Offset = 1;
    // Status, value: live 1, deleted 2, live 3.
    const std::vector<std::uint8_t> slots = {0x00, 1, 0x01, 2, 0x00, 3};
    TValueContext context;
    TLineBuilder builder({&field}, 2, ';', context);
    const struct {
        char Selection;
        std::string Text;
        std::int64_t Lines;
    } cases[] = {{kSelectLive, "1\r\n3\r\n", 2},
                 {kSelectDeleted, "2\r\n", 1},
                 {kSelectAll, "1\r\n2\r\n3\r\n", 3},
                 {'X', "", 0}};
    for (const auto& c : cases) {
        TLineText text;
        text.Size = 0;
        EXPECT_EQ(builder.AppendLines(ByteSpan(slots.data(), slots.size()), c.Selection, text), c.Lines);
        EXPECT_EQ(text.View(), c.Text) << c.Selection;
    }
    // Appends after what the text holds.
    TLineText text;
    builder.AppendLines(ByteSpan(slots.data(), 2), kSelectLive, text);
    builder.AppendLines(ByteSpan(slots.data() + 4, 2), kSelectLive, text);
    EXPECT_EQ(text.View(), "1\r\n3\r\n");
}

// The cutoff is asked once, before any line, and a copy of the builder keeps the answer without asking.
TEST(TLineBuilder, FetchCenturyCutoffAsksOnceAndCopiesKeepTheAnswer) {
    TFieldRec date;
    date.FieldType = kFieldDate;
    date.Size = 6;
    date.Offset = 1;
    std::vector<std::uint8_t> slot = {0, '1', '5', '0', '3', '2', '9'};
    const struct {
        bool Fails;
        std::string Line;
    } cases[] = {{false, "15/03/2029\r\n"}, {true, "Error\r\n"}};
    for (const auto& c : cases) {
        int asked = 0;
        TValueContext context;
        context.CenturyCutoff = [&asked, &c]() -> std::uint8_t {
            ++asked;
            if (c.Fails) {
                throw EInOutError(100, "Read beyond end of file");
            }
            return 30;
        };
        TLineBuilder builder({&date}, slot.size(), ',', context);
        builder.FetchCenturyCutoff();
        EXPECT_EQ(asked, 1);
        TLineBuilder copy = builder;
        EXPECT_EQ(copy.Build(ByteSpan(slot.data(), slot.size())), c.Line);
        // A slot of another length goes the general way, which asks the context: it gets the kept answer.
        slot.push_back(0);
        EXPECT_EQ(copy.Build(ByteSpan(slot.data(), slot.size())), c.Line);
        slot.pop_back();
        EXPECT_EQ(builder.Build(ByteSpan(slot.data(), slot.size())), c.Line);
        EXPECT_EQ(asked, 1);
    }

    // Without a six-character date the cutoff is never asked.
    TFieldRec number;
    number.FieldType = kFieldNumber;
    number.Size = 1;
    number.Offset = 1;
    int asked = 0;
    TValueContext context;
    context.CenturyCutoff = [&asked]() -> std::uint8_t { return static_cast<std::uint8_t>(++asked); };
    TLineBuilder builder({&number}, 2, ',', context);
    builder.FetchCenturyCutoff();
    EXPECT_EQ(asked, 0);
}

} // namespace
} // namespace corvane
