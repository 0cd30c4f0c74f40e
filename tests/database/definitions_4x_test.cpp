// The 4.x definition layout, parsed from definition files built in memory.

#include "database/DEInfoRec.h"
#include "database/Definitions.h"
#include "database/Errors.h"
#include "database/MemoryFile.h"
#include "database/PlatformFile.h"
#include "definitions_dump.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

namespace tw = testwriter;
using testing::DumpFields;
using tw::Bytes;

struct Parsed {
    std::unique_ptr<TFormRec> form;
    std::size_t loads = 0;
};

Parsed Parse(const Bytes& bytes) {
    Parsed p{std::make_unique<TFormRec>(nullptr)};
    TLargeMemoryFile file(std::make_unique<TBufferSource>(bytes, "ORDERS.DBA"));
    ParseFields4x(file, *p.form);
    p.loads = file.LoadCount();
    return p;
}

std::vector<std::string> ParsedDump(const Bytes& bytes) {
    return DumpFields(Parse(bytes).form->Fields.get());
}

// Four fields of different kinds: flags, value offsets, a choice list and texts with CR LF line ends.
std::vector<tw::FieldDef> SampleFields() {
    tw::FieldDef customer = tw::TextField("Customer", 20);
    customer.Offset = 1;
    customer.Flags = 0x08;
    customer.Texts = {std::string("Prompt\r\nline 2"), std::nullopt, std::string("Help")};
    tw::FieldDef count = tw::WholeNumber("Count", 2);
    count.Offset = 21;
    count.Flags = 0x81;
    tw::FieldDef colour = tw::ChoiceField("Colour", {"Red", "Green"});
    colour.Offset = 23;
    colour.Flags = 0x02;
    tw::FieldDef since = tw::DayCountDate("Since");
    since.Offset = 24;
    since.Flags = 0xFF;
    return {customer, count, colour, since};
}

const std::vector<std::string> kSampleDump = {
    "Customer t=1 len=20 sub=0 int=0 size=20 off=1 flags=3 choices=[] texts=[Prompt|\\x0Aline 2][][Help]",
    "Count t=3 len=5 sub=0 int=5 size=2 off=21 flags=0,7 choices=[] texts=[][][]",
    "Colour t=8 len=1 sub=0 int=0 size=1 off=23 flags=1 choices=[|Red|Green] texts=[][][]",
    "Since t=4 len=8 sub=1 int=0 size=4 off=24 flags=0,1,3,7 choices=[] texts=[][][]",
};

// ------------------------------------------------------------------------------------------------------------

struct LayoutCase {
    const char* label;
    std::uint8_t d;
    std::size_t recordSize;
    Bytes secondHeader;
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.label;
}

class Definition4xLayouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(Definition4xLayouts, ReadsEveryFieldInOrder) {
    const LayoutCase& c = GetParam();
    const Bytes bytes = tw::BuildDefinition4x(
        {.D = c.d, .SecondHeader = c.secondHeader, .RecordSize = c.recordSize, .Fields = SampleFields()});
    const Parsed p = Parse(bytes);
    EXPECT_EQ(DumpFields(p.form->Fields.get()), kSampleDump);
    EXPECT_EQ(p.form->DefinitionVersion, c.d);
    EXPECT_EQ(p.loads, 1u); // the whole file lies in the first window
}

INSTANTIATE_TEST_SUITE_P(
    RecordSizesAndHeaders, Definition4xLayouts,
    ::testing::Values(LayoutCase{"D2_18", 2, 18, {}}, LayoutCase{"D2_16", 2, 16, {}},
                      // With D above 2 a second header block follows the first and is skipped whole.
                      LayoutCase{"D3_18", 3, 18, Bytes(40, 0xEE)}, LayoutCase{"D3_16_empty", 3, 16, {}},
                      LayoutCase{"D7_18", 7, 18, Bytes(3, 1)}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Definition4x, FormatByteTwoHasNoSecondHeader) {
    // With D = 2 the bytes a second header would hold are read as the field block.
    Bytes bytes = tw::BuildDefinition4x({.D = 3, .SecondHeader = {}, .Fields = SampleFields()});
    tw::PutU8(bytes, 2, 2);
    const Parsed p = Parse(bytes);
    EXPECT_EQ(p.form->Fields, nullptr); // the empty second header is taken as an empty field block
    EXPECT_EQ(p.form->DefinitionVersion, 2);
}

TEST(Definition4x, RecordSizeIsTheFieldBlockLengthDividedByTheCount) {
    struct Case {
        std::size_t recordSize; // 4 fields: 64, 68 and 72 bytes
        std::size_t fields;
    } cases[] = {{16, 4}, {17, 0}, {18, 4}, {20, 0}, {14, 0}};
    for (const Case& c : cases) {
        const Parsed p = Parse(tw::BuildDefinition4x({.RecordSize = c.recordSize, .Fields = SampleFields()}));
        EXPECT_EQ(DumpFields(p.form->Fields.get()).size(), c.fields) << c.recordSize;
        EXPECT_EQ(p.form->DefinitionVersion, 2) << c.recordSize;
    }
}

TEST(Definition4x, NoFieldIsReadWithoutACountOrAFieldBlock) {
    EXPECT_TRUE(ParsedDump(tw::BuildDefinition4x({.Fields = SampleFields(), .FieldCount = 0})).empty());
    EXPECT_TRUE(ParsedDump(tw::BuildDefinition4x({.Fields = SampleFields(), .FieldBlock = Bytes{}})).empty());
    EXPECT_TRUE(ParsedDump(tw::BuildDefinition4x({})).empty());
    // Cut right after the field block: the later blocks read as zeros, so the count is 0.
    const Bytes whole = tw::BuildDefinition4x({.Fields = SampleFields()});
    EXPECT_TRUE(
        ParsedDump(tw::BuildDefinition4x({.Fields = SampleFields(), .TruncateTo = 3 + 2 + 72})).empty());
    EXPECT_GT(whole.size(), 3u + 2 + 72);
}

TEST(Definition4x, EmptyFileGivesNoFields) {
    const Parsed p = Parse(Bytes{});
    EXPECT_EQ(p.form->Fields, nullptr);
    EXPECT_EQ(p.form->DefinitionVersion, 0);
    EXPECT_EQ(p.loads, 0u);
}

TEST(Definition4x, LongNamesAreCutToTwentyCharacters) {
    const auto dump =
        ParsedDump(tw::BuildDefinition4x({.Fields = {tw::TextField("ABCDEFGHIJKLMNOPQRSTUVWXY", 5)}}));
    ASSERT_EQ(dump.size(), 1u);
    EXPECT_EQ(dump[0].substr(0, 21), "ABCDEFGHIJKLMNOPQRST ");
}

TEST(Definition4x, ChoiceLists) {
    struct Case {
        const char* label;
        tw::FieldDef field;
        const char* choices;
    } cases[] = {
        {"none", tw::ChoiceField("C", {}), "choices=[]"},
        {"two", tw::ChoiceField("C", {"Red", "Green"}), "choices=[|Red|Green]"},
        {"empty texts", tw::ChoiceField("C", {"", "B", ""}), "choices=[||B|]"},
        // A count past the texts stored: the list runs off the end of the file, the missing texts are empty.
        {"runs off",
         [] {
             tw::FieldDef f = tw::ChoiceField("C", {"Red", "Green"});
             f.ChoiceCount = 5;
             return f;
         }(),
         "choices=[|Red|Green|||]"},
    };
    for (const Case& c : cases) {
        const auto dump = ParsedDump(tw::BuildDefinition4x({.Fields = {c.field}}));
        ASSERT_EQ(dump.size(), 1u) << c.label;
        EXPECT_NE(dump[0].find(c.choices), std::string::npos) << c.label << ": " << dump[0];
    }
}

TEST(Definition4x, ChoiceListIsReadOnlyForChoiceFields) {
    // A text field whose choice entry names a real list keeps the empty entry alone.
    tw::FieldDef text = tw::TextField("T", 4);
    text.ChoiceEntry = 1;
    const auto dump = ParsedDump(tw::BuildDefinition4x({.Fields = {tw::ChoiceField("C", {"A"}), text}}));
    ASSERT_EQ(dump.size(), 2u);
    EXPECT_NE(dump[0].find("choices=[|A]"), std::string::npos);
    EXPECT_NE(dump[1].find("choices=[]"), std::string::npos);
}

TEST(Definition4x, TextEntriesOutsideTheTableLeaveTheTextsEmpty) {
    // Entry 0 is the empty entry; the field's own texts get entry 1, so the table holds 2 entries.
    struct Case {
        std::optional<std::uint8_t> entry;
        const char* texts;
    } cases[] = {
        {std::nullopt, "texts=[A|B][][C]"}, {0, "texts=[][][]"}, {2, "texts=[][][]"}, {255, "texts=[][][]"}};
    for (const Case& c : cases) {
        tw::FieldDef f = tw::TextField("T", 4);
        f.Texts = {std::string("A\rB"), std::nullopt, std::string("C")};
        f.TextEntry = c.entry;
        const auto dump = ParsedDump(tw::BuildDefinition4x({.Fields = {f}}));
        ASSERT_EQ(dump.size(), 1u);
        EXPECT_NE(dump[0].find(c.texts), std::string::npos) << int(c.entry.value_or(1)) << ": " << dump[0];
    }
}

TEST(Definition4x, BlocksAcrossWindowBoundariesReadTheSame) {
    // A long header moves the field block, the tables and the texts into later windows and into the overlap.
    for (const std::size_t extra : {31960u, 31990u, 31999u, 32000u, 45000u, 63990u, 65300u}) {
        const Bytes bytes =
            tw::BuildDefinition4x({.D = 2, .HeaderExtra = Bytes(extra, 0x41), .Fields = SampleFields()});
        const Parsed p = Parse(bytes);
        EXPECT_EQ(DumpFields(p.form->Fields.get()), kSampleDump) << extra;
    }
}

TEST(Definition4x, HostileNameOffsetGivesAnEmptyName) {
    tw::FieldDef f = tw::TextField("T", 4);
    f.NameOffset = 0xFFFF;
    const auto dump = ParsedDump(tw::BuildDefinition4x({.Fields = {f}}));
    ASSERT_EQ(dump.size(), 1u);
    EXPECT_EQ(dump[0].substr(0, 4), " t=1");
}

TEST(Definition4x, CutOrDamagedFilesGiveFieldsOrARangeErrorOnly) {
    std::size_t read = 0;
    std::size_t stopped = 0;
    for (const std::size_t recordSize : {16u, 18u}) {
        const Bytes whole = tw::BuildDefinition4x(
            {.D = 3, .SecondHeader = Bytes(5, 1), .RecordSize = recordSize, .Fields = SampleFields()});
        for (std::size_t size = 0; size < whole.size(); ++size) {
            EXPECT_NO_THROW(Parse(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size))))
                << size;
        }
        // Any exception other than ERangeError fails the test.
        testing::ParseDamagedCopies(
            whole, [](const Bytes& damaged) { Parse(damaged); }, read, stopped);
    }
    EXPECT_GT(read, 0u);
    EXPECT_GT(stopped, 0u);
}

// ------------------------------------------------------------------------------------------------------------
// Range errors: 16-bit positions computed past 65535, and record sizes above 255.

void ExpectRangeError(const Bytes& bytes, const std::string& message) {
    TFormRec form(nullptr);
    TLargeMemoryFile file(std::make_unique<TBufferSource>(bytes, "ORDERS.DBA"));
    try {
        ParseFields4x(file, form);
        FAIL() << "no range error; expected " << message;
    } catch (const ERangeError& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
    // Whatever was read before the error is discarded.
    EXPECT_EQ(form.Fields, nullptr);
}

TEST(Definition4x, BlockStartPastTheSixteenBitRangeIsARangeError) {
    Bytes bytes = tw::BuildDefinition4x({.Fields = SampleFields()});
    tw::PutU16(bytes, 0, 0xFFFF);
    ExpectRangeError(bytes, "ORDERS.DBA: block position 65537 exceeds 65535");
}

TEST(Definition4x, RecordSizeAbove255IsARangeError) {
    ExpectRangeError(
        tw::BuildDefinition4x({.Fields = SampleFields(), .FieldCount = 2, .FieldBlock = Bytes(600, 0)}),
        "ORDERS.DBA: field record size 300 exceeds 255");
}

TEST(Definition4x, ChoiceListPastTheSixteenBitRangeIsARangeError) {
    // The text table's entry 1 locates its choice list at offset 0xFFFF of the text block.
    Bytes table(6, 0);
    tw::AppendU16(table, 0);
    tw::AppendU16(table, 0);
    tw::AppendU16(table, 0xFFFF);
    const Bytes bytes = tw::BuildDefinition4x({.Fields = {tw::ChoiceField("C", {"A"})}, .TextTable = table});
    // header 2 + 1, field block 2 + 18, table 2 + 12, names 2 + 3: the text block's content starts at 44.
    ExpectRangeError(bytes,
                     "ORDERS.DBA: choice list position " + std::to_string(44 + 0xFFFF) + " exceeds 65535");
}

TEST(Definition4x, TextTableEntryPastTheSixteenBitRangeIsARangeError) {
    // A header of 64000 bytes puts the text table near the limit; entry 255 lies past it.
    tw::FieldDef good = tw::TextField("Good", 4);
    tw::FieldDef bad = tw::ChoiceField("Bad", {"A"});
    bad.ChoiceEntry = 255;
    const Bytes bytes = tw::BuildDefinition4x({.HeaderExtra = Bytes(64000, 0), .Fields = {good, bad}});
    // header 2 + 64001, field block 2 + 36: the table's content starts at 64043.
    ExpectRangeError(bytes, "ORDERS.DBA: text table entry position " + std::to_string(64043 + 6 * 255) +
                                " exceeds 65535");
}

TEST(Definition4x, AnErrorKeepsTheFieldsTheFormHadBefore) {
    TFormRec form(nullptr);
    auto kept = std::make_unique<TFieldRec>();
    kept->Name = "Kept";
    form.AppendField(std::move(kept));
    tw::FieldDef bad = tw::ChoiceField("Bad", {"A"});
    bad.ChoiceEntry = 255;
    TLargeMemoryFile file(std::make_unique<TBufferSource>(
        tw::BuildDefinition4x({.HeaderExtra = Bytes(64000, 0), .Fields = {tw::TextField("Good", 4), bad}})));
    EXPECT_THROW(ParseFields4x(file, form), ERangeError);
    ASSERT_NE(form.Fields, nullptr);
    EXPECT_EQ(form.Fields->Name, "Kept");
    EXPECT_EQ(form.Fields->Next, nullptr);
}

} // namespace
} // namespace corvane
