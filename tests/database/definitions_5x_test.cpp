// The 5.x / DfW definition layout, tagged and untagged, parsed from definition files built in memory.

#include "database/DEInfoRec.h"
#include "database/Definitions.h"
#include "database/Errors.h"
#include "database/MemoryFile.h"
#include "definitions_dump.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

namespace tw = testwriter;
using testing::DumpFields;
using tw::Bytes;

std::unique_ptr<TFormRec> Parse(const Bytes& bytes) {
    auto form = std::make_unique<TFormRec>(nullptr);
    ParseFields5x(TMemoryFile(bytes, "ORDERS.tdf"), *form);
    return form;
}

std::vector<std::string> ParsedDump(const Bytes& bytes) {
    return DumpFields(Parse(bytes)->Fields.get());
}

std::vector<tw::FieldDef> SampleFields() {
    tw::FieldDef customer = tw::TextField("Customer", 20);
    customer.Offset = 1;
    customer.Flags = 0x08;
    customer.Texts = {std::string("Prompt\r\nline 2"), std::string("Mid"), std::nullopt};
    tw::FieldDef count = tw::WholeNumber("Count", 4);
    count.Offset = 21;
    count.Flags = 0x81;
    tw::FieldDef colour = tw::ChoiceField("Colour", {"Red", "Green"}, tw::ChoiceEncoding::ZeroAfterCount);
    colour.Offset = 25;
    tw::FieldDef paid = tw::ChoiceField("Paid", {}, tw::ChoiceEncoding::YesNo);
    paid.Offset = 26;
    paid.Flags = 0x02;
    tw::FieldDef size = tw::ChoiceField("Size", {"S", "M", "L"}, tw::ChoiceEncoding::Escaped255);
    size.EscapeFiller = 0x41;
    size.Offset = 27;
    tw::FieldDef price = tw::FixedPoint("Price", 9, 6);
    price.Offset = 28;
    price.Flags = 0xFF;
    return {customer, count, colour, paid, size, price};
}

const std::vector<std::string> kSampleDump = {
    "Customer t=1 len=20 sub=0 int=0 size=20 off=1 flags=3 choices=[] texts=[Prompt|\\x0Aline 2][Mid][]",
    "Count t=3 len=10 sub=0 int=10 size=4 off=21 flags=0,7 choices=[] texts=[][][]",
    "Colour t=8 len=1 sub=0 int=0 size=1 off=25 flags= choices=[|Red|Green] texts=[][][]",
    "Paid t=8 len=1 sub=0 int=0 size=1 off=26 flags=1 choices=[|no|yes] texts=[][][]",
    "Size t=8 len=1 sub=0 int=0 size=1 off=27 flags= choices=[|S|M|L] texts=[][][]",
    "Price t=3 len=9 sub=1 int=6 size=8 off=28 flags=0,1,3,7 choices=[] texts=[][][]",
};

struct LayoutCase {
    const char* label;
    bool tagged;
    std::size_t recordSize;
    std::uint16_t highHalf;
    std::vector<Bytes> leadingBlocks;
    Bytes prefix;
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.label;
}

class Definition5xLayouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(Definition5xLayouts, ReadsEveryFieldInOrder) {
    const LayoutCase& c = GetParam();
    const auto form = Parse(tw::BuildDefinition5x({.Tagged = c.tagged,
                                                   .Prefix = c.prefix,
                                                   .LeadingBlocks = c.leadingBlocks,
                                                   .LengthHighHalf = c.highHalf,
                                                   .RecordSize = c.recordSize,
                                                   .Fields = SampleFields()}));
    EXPECT_EQ(DumpFields(form->Fields.get()), kSampleDump);
    EXPECT_EQ(form->DefinitionVersion, 5);
}

INSTANTIATE_TEST_SUITE_P(
    TaggedAndUntagged, Definition5xLayouts,
    ::testing::Values(LayoutCase{"tagged", true, 16, 0, {}, {}}, LayoutCase{"untagged", false, 16, 0, {}, {}},
                      // Any record size is accepted; only its first 16 bytes are read.
                      LayoutCase{"tagged_24", true, 24, 0, {}, {}},
                      LayoutCase{"untagged_17", false, 17, 0, {}, {}},
                      // Only the low half of a 4-byte length counts.
                      LayoutCase{"tagged_high_half", true, 16, 0x1234, {}, {}},
                      // A first leading block of 10 bytes moves the second to 36.
                      LayoutCase{"tagged_leading", true, 16, 0, {Bytes(10, 0xAA), Bytes(7, 0xBB)}, {}},
                      LayoutCase{"untagged_leading", false, 16, 0, {Bytes(100, 0xCC)}, {}},
                      // Seven letters of the tag and another one: an untagged file.
                      LayoutCase{"almost_tagged", false, 16, 0, {}, tw::ToBytes("DETaggeX")},
                      LayoutCase{"lower_case_tag", false, 16, 0, {}, tw::ToBytes("detagged")}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Definition5x, LeadingBlockLengthsDecideWhereTheFieldBlockStarts) {
    const Bytes bytes =
        tw::BuildDefinition5x({.LeadingBlocks = {Bytes(10, 0xAA), Bytes(4, 0xBB)}, .Fields = SampleFields()});
    ASSERT_EQ(bytes[22], 10);
    EXPECT_EQ(ParsedDump(bytes), kSampleDump);
    // A first length of 0 puts the second block inside the first one's 0xAA bytes: its length 0xAAAA leads
    // past the end of the file, where every later block is empty and the count is 0.
    Bytes shifted = bytes;
    tw::PutU16(shifted, 22, 0);
    EXPECT_TRUE(ParsedDump(shifted).empty());
}

TEST(Definition5x, FieldCountEscapes) {
    std::vector<tw::FieldDef> forty;
    for (int i = 0; i < 40; ++i) {
        forty.push_back(tw::TextField("F" + std::to_string(i), 2));
    }
    // 255, 0, 40: forty fields.
    const auto dump = ParsedDump(
        tw::BuildDefinition5x({.Fields = forty, .CountEncoding = tw::FieldCountEncoding::Escaped}));
    ASSERT_EQ(dump.size(), 40u);
    EXPECT_EQ(dump[39].substr(0, 4), "F39 ");

    // 255, 3: the count is 255. One real record and 254 zero ones (the field block holds 255 records of 16
    // bytes); a zero record names the text at the start of the name block.
    tw::FieldDef first = tw::TextField("First", 3);
    first.NameOffset = 2;
    const auto escaped =
        ParsedDump(tw::BuildDefinition5x({.Fields = {first},
                                          .FieldBlockExtra = Bytes(254 * 16, 0),
                                          .NameBlock = tw::ToBytes(std::string_view("\xFF\x03"
                                                                                    "First\0",
                                                                                    8))}));
    ASSERT_EQ(escaped.size(), 255u);
    EXPECT_EQ(escaped[0], "First t=1 len=3 sub=0 int=0 size=3 off=0 flags= choices=[] texts=[][][]");
    EXPECT_EQ(escaped[254],
              "\\xFF\\x03First t=0 len=0 sub=0 int=0 size=0 off=0 flags= choices=[] texts=[][][]");
}

TEST(Definition5x, NoFieldIsReadWithoutACount) {
    EXPECT_TRUE(ParsedDump(tw::BuildDefinition5x({.Fields = SampleFields(), .FieldCount = 0})).empty());
    // 255, 0, 0 is a count of 0 as well.
    EXPECT_TRUE(ParsedDump(tw::BuildDefinition5x({.Fields = SampleFields(),
                                                  .CountEncoding = tw::FieldCountEncoding::Escaped,
                                                  .FieldCount = 0}))
                    .empty());
    const auto empty = Parse(Bytes{});
    EXPECT_EQ(empty->Fields, nullptr);
    EXPECT_EQ(empty->DefinitionVersion, 5);
}

TEST(Definition5x, RecordSizeIsTheFieldBlockLengthDividedByTheCount) {
    // 3 records of 16 bytes and 2 more bytes: s = 16, the 2 bytes are not read.
    const std::vector<tw::FieldDef> all = SampleFields();
    const std::vector<tw::FieldDef> three(all.begin(), all.begin() + 3);
    EXPECT_EQ(ParsedDump(tw::BuildDefinition5x({.Fields = three, .FieldBlockExtra = {0xFF, 0xFF}})),
              std::vector<std::string>(kSampleDump.begin(), kSampleDump.begin() + 3));
    // An empty field block gives s = 0: every record is read at the same place.
    const auto zero = ParsedDump(tw::BuildDefinition5x({.Fields = three, .FieldBlock = Bytes{}}));
    ASSERT_EQ(zero.size(), 3u);
    EXPECT_EQ(zero[0], zero[1]);
    EXPECT_EQ(zero[1], zero[2]);
}

TEST(Definition5x, ChoiceLists) {
    using E = tw::ChoiceEncoding;
    auto choice = [](std::vector<std::string> texts, E encoding, std::uint8_t filler = 0,
                     std::optional<std::uint8_t> count = std::nullopt) {
        tw::FieldDef f = tw::ChoiceField("C", std::move(texts), encoding);
        f.EscapeFiller = filler;
        f.ChoiceCount = count;
        return f;
    };
    const struct Case {
        const char* label;
        tw::FieldDef field;
        const char* choices;
    } cases[] = {
        {"plain", choice({"A", "B"}, E::Plain), "[|A|B]"},
        {"zero after count", choice({"A", "B"}, E::ZeroAfterCount), "[|A|B]"},
        {"escaped", choice({"A", "B"}, E::Escaped255, 0x00), "[|A|B]"},
        {"escaped filler 255", choice({"A", "B"}, E::Escaped255, 0xFF), "[|A|B]"},
        {"escaped filler letter", choice({"A", "B"}, E::Escaped255, 'x'), "[|A|B]"},
        {"yes no", choice({}, E::YesNo), "[|no|yes]"},
        {"plain count 0", choice({}, E::Plain), "[|no|yes]"},
        {"escaped count 0", choice({}, E::Escaped255, 7), "[|no|yes]"},
        // A first text that is empty looks like the skipped zero: the list starts one text later.
        {"empty first text", choice({"", "B"}, E::Plain), "[|B|]"},
        {"runs off the end", choice({"Red", "Green"}, E::Plain, 0, 5), "[|Red|Green|||]"},
    };
    for (const Case& c : cases) {
        const auto dump = ParsedDump(tw::BuildDefinition5x({.Fields = {c.field}}));
        ASSERT_EQ(dump.size(), 1u) << c.label;
        EXPECT_NE(dump[0].find(std::string("choices=") + c.choices + " "), std::string::npos)
            << c.label << ": " << dump[0];
    }
}

TEST(Definition5x, TextEntryIsNotComparedWithTheTableSize) {
    // The table holds entry 0 only; entry 1 reads on into the name block: its length 4, then 1 'A', then 'B'
    // 0. Offset 4 names "Hello"; 0x4101 and 0x0042 lie past the end of the file and give one empty line each.
    tw::FieldDef f = tw::TextField("AB", 4);
    f.TextEntry = 1;
    const auto form =
        Parse(tw::BuildDefinition5x({.Tagged = false,
                                     .Fields = {f},
                                     .TextTable = Bytes(6, 0),
                                     .NameBlock = tw::ToBytes(std::string_view("\x01"
                                                                               "AB\0",
                                                                               4)),
                                     .TextBlock = tw::ToBytes(std::string_view("0123Hello\0", 10))}));
    ASSERT_NE(form->Fields, nullptr);
    EXPECT_EQ(form->Fields->Name, "AB");
    EXPECT_EQ(form->Fields->Texts[0], std::vector<std::string>{"Hello"});
    EXPECT_EQ(form->Fields->Texts[1], std::vector<std::string>{""});
    EXPECT_EQ(form->Fields->Texts[2], std::vector<std::string>{""});
}

TEST(Definition5x, CutFilesNeverFailOrReadPastTheirEnd) {
    const Bytes whole = tw::BuildDefinition5x({.Fields = SampleFields()});
    for (std::size_t size = 0; size <= whole.size(); ++size) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_NO_THROW(Parse(cut)) << size;
    }
    EXPECT_EQ(ParsedDump(whole), kSampleDump);
}

TEST(Definition5x, AnyDamagedByteGivesFieldsOrARangeErrorOnly) {
    // Every pair of bytes in turn set to 0xFF and to 0x00: the reader either reads or stops with a range
    // error.
    std::size_t read = 0;
    std::size_t stopped = 0;
    for (const bool tagged : {true, false}) {
        const Bytes whole = tw::BuildDefinition5x({.Tagged = tagged, .Fields = SampleFields()});
        // Any exception other than ERangeError fails the test.
        testing::ParseDamagedCopies(
            whole, [](const Bytes& damaged) { Parse(damaged); }, read, stopped);
    }
    EXPECT_GT(read, 0u);
    EXPECT_GT(stopped, 0u);
}

// ------------------------------------------------------------------------------------------------------------
// Every position is 16-bit: one computed past 65535 is a range error, and nothing read before it is kept.

void ExpectRangeError(const Bytes& bytes, const std::string& message) {
    TFormRec form(nullptr);
    try {
        ParseFields5x(TMemoryFile(bytes, "ORDERS.tdf"), form);
        FAIL() << "no range error; expected " << message;
    } catch (const ERangeError& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
    EXPECT_EQ(form.Fields, nullptr);
}

TEST(Definition5x, BlockStartPastTheSixteenBitRangeIsARangeError) {
    Bytes bytes = tw::BuildDefinition5x({.Tagged = false, .Fields = SampleFields()});
    tw::PutU16(bytes, 25, 0xFFFF);
    ExpectRangeError(bytes,
                     "ORDERS.tdf: block position " + std::to_string(25 + 2 + 0xFFFF) + " exceeds 65535");
}

TEST(Definition5x, NameOffsetPastTheSixteenBitRangeIsARangeError) {
    // Untagged: leading block at 25 (4 bytes), field block at 31 (2 x 16), table at 65 (6), names at 73.
    tw::FieldDef bad = tw::TextField("Bad", 2);
    bad.NameOffset = 0xFFFF;
    ExpectRangeError(tw::BuildDefinition5x({.Tagged = false, .Fields = {tw::TextField("Good", 2), bad}}),
                     "ORDERS.tdf: field name position " + std::to_string(75 + 0xFFFF) + " exceeds 65535");
}

TEST(Definition5x, ChoiceListPastTheSixteenBitRangeIsARangeError) {
    Bytes table(6, 0);
    for (const std::uint16_t offset : {0, 0, 0xFFFF}) {
        tw::AppendU16(table, offset);
    }
    // Tagged: leading blocks at 22 and 30, field block at 38 (16), table at 58 (12), names at 74 (3), texts
    // at 81.
    ExpectRangeError(tw::BuildDefinition5x({.Fields = {tw::ChoiceField("C", {"A"})}, .TextTable = table}),
                     "ORDERS.tdf: choice list position " + std::to_string(85 + 0xFFFF) + " exceeds 65535");
}

TEST(Definition5x, AnErrorKeepsTheFieldsTheFormHadBefore) {
    TFormRec form(nullptr);
    auto kept = std::make_unique<TFieldRec>();
    kept->Name = "Kept";
    form.AppendField(std::move(kept));
    tw::FieldDef bad = tw::TextField("Bad", 2);
    bad.NameOffset = 0xFFFF;
    EXPECT_THROW(
        ParseFields5x(TMemoryFile(tw::BuildDefinition5x({.Fields = {tw::TextField("Good", 2), bad}}), "x"),
                      form),
        ERangeError);
    ASSERT_NE(form.Fields, nullptr);
    EXPECT_EQ(form.Fields->Name, "Kept");
    EXPECT_EQ(form.Fields->Next, nullptr);
}

} // namespace
} // namespace corvane
