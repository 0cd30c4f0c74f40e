// Self-checks of the test-support writer: the bytes it writes sit at the offsets of the stored layouts, and
// the databases it writes load through the library's readers.

#include "database/DEInfoRec.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace corvane {
namespace {

namespace tw = testwriter;
using tw::Bytes;

std::uint16_t U16At(const Bytes& b, std::size_t o) {
    return static_cast<std::uint16_t>(b.at(o) | (b.at(o + 1) << 8));
}
std::uint32_t U32At(const Bytes& b, std::size_t o) {
    return static_cast<std::uint32_t>(b.at(o) | (b.at(o + 1) << 8) | (b.at(o + 2) << 16)) |
           (static_cast<std::uint32_t>(b.at(o + 3)) << 24);
}
std::string TextAt(const Bytes& b, std::size_t o, std::size_t n) {
    return std::string(b.begin() + static_cast<std::ptrdiff_t>(o),
                       b.begin() + static_cast<std::ptrdiff_t>(o + n));
}

// The offsets of the stored dictionary layouts, written out independently of the writer's own table.
struct DictCase {
    std::uint8_t versionByte;
    std::size_t recordSize, headerLength, headerCount;
    std::size_t name, nameWidth, dictValue, recordLength, recordCount, dataFile, dataFileWidth, flags;
    std::size_t objectFile; // 0: none
};

const DictCase kDictCases[] = {
    {2, 55, 27, 29, 2, 20, 23, 27, 29, 39, 14, 53, 0},
    {1, 55, 27, 29, 2, 20, 23, 27, 29, 39, 14, 53, 0},
    {5, 74, 28, 30, 3, 21, 24, 28, 30, 40, 12, 70, 56},
    {7, 177, 59, 61, 3, 20, 55, 59, 61, 69, 12, 173, 0},
};

TEST(TestWriterDictionary, FormRecordItemsLieAtTheLayoutOffsets) {
    for (const DictCase& c : kDictCases) {
        SCOPED_TRACE("version byte " + std::to_string(c.versionByte));
        const Bytes b = tw::BuildDictionary({.VersionByte = c.versionByte,
                                             .DatabaseName = "Sales",
                                             .Forms = {{.Status = 0},
                                                       {.Status = 1,
                                                        .Name = "Orders",
                                                        .DictValue = 0xA1B2C3D4,
                                                        .RecordLength = 0x1234,
                                                        .RecordCount = -2,
                                                        .DataFile = "ORDERS.DBM",
                                                        .ObjectFile = "ORDERS.TDF",
                                                        .Flags = 0x8001}}});
        ASSERT_EQ(b.size(), 3 * c.recordSize);
        EXPECT_EQ(b[2], c.versionByte);
        EXPECT_EQ(TextAt(b, 3, 19), std::string("Sales") + std::string(14, ' '));
        EXPECT_EQ(U16At(b, c.headerLength), c.recordSize);
        EXPECT_EQ(U32At(b, c.headerCount), 3u);
        const std::size_t r = 2 * c.recordSize;
        EXPECT_EQ(U16At(b, r), 1);
        EXPECT_EQ(TextAt(b, r + c.name, c.nameWidth), "Orders" + std::string(c.nameWidth - 6, ' '));
        EXPECT_EQ(U32At(b, r + c.dictValue), 0xA1B2C3D4u);
        EXPECT_EQ(U16At(b, r + c.recordLength), 0x1234);
        EXPECT_EQ(U32At(b, r + c.recordCount), 0xFFFFFFFEu);
        EXPECT_EQ(TextAt(b, r + c.dataFile, c.dataFileWidth),
                  "ORDERS.DBM" + std::string(c.dataFileWidth - 10, '\0'));
        if (c.objectFile != 0) {
            EXPECT_EQ(TextAt(b, r + c.objectFile, 12), std::string("ORDERS.TDF\0\0", 12));
        }
        EXPECT_EQ(U16At(b, r + c.flags), 0x8001);
    }
}

TEST(TestWriterDictionary, HeaderOfDfWUnknownAndShortRecordDictionaries) {
    const Bytes dfw = tw::BuildDictionary({.VersionByte = 5, .DfWMarker = true});
    EXPECT_EQ(dfw.at(39), ':');

    const Bytes other = tw::BuildDictionary({.VersionByte = 9, .Forms = {{}, {}}});
    EXPECT_EQ(U16At(other, 22), 74);
    EXPECT_EQ(U32At(other, 24), 3u);

    // Record length 30: records at 30 and 60; the header's own items stay readable over record 1.
    const Bytes shortRecords = tw::BuildDictionary(
        {.VersionByte = 2, .RecordLength = 30, .RecordCount = 9, .Forms = {{.Name = "A"}, {.Name = "B"}}});
    ASSERT_EQ(shortRecords.size(), 90u);
    EXPECT_EQ(U16At(shortRecords, 27), 30);
    EXPECT_EQ(U32At(shortRecords, 29), 9u);
    EXPECT_EQ(shortRecords.at(62), 'B');

    const Bytes truncated = tw::BuildDictionary({.VersionByte = 7, .Forms = {{}}, .TruncateTo = 100});
    EXPECT_EQ(truncated.size(), 100u);
}

TEST(TestWriterApplicationObjects, EntriesAre213ByteRecords) {
    const Bytes b = tw::BuildApplicationObjects({.Entries = {{.Status = 1,
                                                              .EntryKind = 0,
                                                              .VariantName = "View",
                                                              .ObjectFile = "VIEW.DBV",
                                                              .BaseForm = "Customers",
                                                              .ObjectType = 2},
                                                             {}},
                                                 .TrailingBytes = Bytes(100, 0xEE)});
    ASSERT_EQ(b.size(), 2 * 213u + 100);
    EXPECT_EQ(U16At(b, 0), 1);
    EXPECT_EQ(U16At(b, 3), 0);
    EXPECT_EQ(TextAt(b, 5, 5), std::string("View\0", 5));
    EXPECT_EQ(TextAt(b, 69, 9), std::string("VIEW.DBV\0", 9));
    EXPECT_EQ(TextAt(b, 83, 10), std::string("Customers\0", 10));
    EXPECT_EQ(U16At(b, 211), 2);
    EXPECT_EQ(U16At(b, 213 + 3), 1);
    EXPECT_EQ(U16At(b, 213 + 211), 1);
}

// Walks a block chain the way the readers do: returns the content start of each block.
std::vector<std::size_t> BlockStarts(const Bytes& b, std::size_t start, std::size_t width,
                                     std::size_t count) {
    std::vector<std::size_t> starts;
    std::size_t p = start;
    for (std::size_t i = 0; i < count; ++i) {
        starts.push_back(p + width);
        p += width + U16At(b, p);
    }
    return starts;
}

TEST(TestWriterDefinition4x, BlockChainAndFieldRecordsOfBothSizes) {
    for (const std::size_t s : {std::size_t{16}, std::size_t{18}}) {
        SCOPED_TRACE("record size " + std::to_string(s));
        tw::FieldDef colour = tw::ChoiceField("Colour", {"Red", "Green"});
        colour.Offset = 0x0102;
        colour.Flags = 0x88;
        colour.Texts = {std::string("A\rB"), std::nullopt, std::string("C")};
        const Bytes b =
            tw::BuildDefinition4x({.D = 3, .SecondHeader = {7, 7, 7}, .RecordSize = s, .Fields = {colour}});
        EXPECT_EQ(b.at(2), 3);
        const auto blocks = BlockStarts(b, 0, 2, 6);
        EXPECT_EQ(U16At(b, blocks[1] - 2), 3); // the second header
        const std::size_t field = blocks[2], table = blocks[3], names = blocks[4], texts = blocks[5];
        EXPECT_EQ(U16At(b, field - 2), s);
        EXPECT_EQ(b.at(names), 1); // n
        EXPECT_EQ(TextAt(b, names + U16At(b, field), 7), std::string("Colour\0", 7));
        EXPECT_EQ(b.at(field + 2), 8);
        EXPECT_EQ(b.at(field + 7), 1);
        EXPECT_EQ(b.at(field + 8), 0x88);
        EXPECT_EQ(U16At(b, field + (s == 16 ? 9 : 12)), 0x0102);
        const std::size_t choiceEntry = b.at(field + 6), textEntry = b.at(field + (s == 16 ? 11 : 14));
        ASSERT_GT(choiceEntry, 0u);
        ASSERT_GT(textEntry, 0u);
        ASSERT_LT(6 * textEntry, U16At(b, table - 2));
        const std::size_t list = texts + U16At(b, table + 6 * choiceEntry + 4);
        EXPECT_EQ(TextAt(b, list, 11), std::string("\x02Red\0Green\0", 11));
        EXPECT_EQ(TextAt(b, texts + U16At(b, table + 6 * textEntry), 4), std::string("A\rB\0", 4));
        EXPECT_EQ(U16At(b, table + 6 * textEntry + 2), 0);
        EXPECT_EQ(TextAt(b, texts + U16At(b, table + 6 * textEntry + 4), 2), std::string("C\0", 2));
    }
}

TEST(TestWriterDefinition5x, TaggedAndUntaggedChains) {
    tw::FieldDef count = tw::WholeNumber("Count", 2);
    count.Offset = 300;
    count.Flags = 0x81;
    const Bytes tagged = tw::BuildDefinition5x({.Fields = {count}});
    EXPECT_EQ(TextAt(tagged, 0, 8), "DETagged");
    const auto t = BlockStarts(tagged, 22, 4, 6);
    EXPECT_EQ(t[0], 26u);
    EXPECT_EQ(U16At(tagged, t[2] - 4), 16); // field block
    EXPECT_EQ(tagged.at(t[2] + 8), 2);
    EXPECT_EQ(tagged.at(t[2] + 9), 0x81);
    EXPECT_EQ(U16At(tagged, t[2] + 13), 300);
    EXPECT_EQ(TextAt(tagged, t[4], 7), std::string("\x01"
                                                   "Count\0",
                                                   7));

    const Bytes untagged = tw::BuildDefinition5x({.Tagged = false, .Fields = {count}});
    EXPECT_NE(TextAt(untagged, 0, 8), "DETagged");
    const auto u = BlockStarts(untagged, 25, 2, 5);
    EXPECT_EQ(U16At(untagged, u[1] - 2), 16);
    EXPECT_EQ(U16At(untagged, u[1] + 13), 300);
    EXPECT_EQ(untagged.at(u[3]), 1);
}

TEST(TestWriterDefinition5x, CountAndChoiceEncodings) {
    struct Case {
        tw::ChoiceEncoding encoding;
        std::string list;
    };
    const Case cases[] = {
        {tw::ChoiceEncoding::Plain, std::string("\x02"
                                                "A\0B\0",
                                                5)},
        {tw::ChoiceEncoding::ZeroAfterCount, std::string("\x02\0A\0B\0", 6)},
        {tw::ChoiceEncoding::Escaped255, std::string("\xFF\x07\x02"
                                                     "A\0B\0",
                                                     7)},
        {tw::ChoiceEncoding::YesNo, std::string("\0", 1)},
    };
    for (const Case& c : cases) {
        tw::FieldDef f = tw::ChoiceField("C", {"A", "B"}, c.encoding);
        f.EscapeFiller = 7;
        const Bytes b =
            tw::BuildDefinition5x({.Fields = {f}, .CountEncoding = tw::FieldCountEncoding::Escaped});
        const auto blocks = BlockStarts(b, 22, 4, 6);
        EXPECT_EQ(TextAt(b, blocks[4], 3), std::string("\xFF\0\x01", 3));
        EXPECT_EQ(U16At(b, blocks[2]), 3); // the name follows the three count bytes
        const std::size_t entry = b.at(blocks[2] + 6);
        EXPECT_EQ(TextAt(b, blocks[5] + U16At(b, blocks[3] + 6 * entry + 4), c.list.size()), c.list);
    }
}

TEST(TestWriterDayCount, StoredCalendarSkipsTheLastDayOf1776) {
    struct Case {
        tw::Date date;
        std::int32_t n;
    };
    const Case cases[] = {{{1776, 1, 1}, 1},   {{1776, 12, 30}, 365}, {{1777, 1, 1}, 366},
                          {{1776, 2, 29}, 60}, {{2000, 1, 1}, 81814}, {{1775, 12, 31}, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(tw::DayCount(c.date), c.n) << c.date.Year << "-" << c.date.Month << "-" << c.date.Day;
        if (c.n != 0) {
            EXPECT_EQ(tw::DateOfDayCount(c.n), c.date);
        }
    }
    EXPECT_THROW(tw::DayCount(1776, 12, 31), std::invalid_argument);
}

TEST(TestWriterSlot, ValuesAndClippingAtTheSlotEnd) {
    tw::Slot s(12);
    s.Deleted().EmptyNumber(1, 2).Text(3, "AB", 4, ' ').Double(8, 1.0);
    const Bytes& b = s.GetBytes();
    ASSERT_EQ(b.size(), 12u);
    EXPECT_EQ(TextAt(b, 0, 7), std::string("\x01\0\x80"
                                           "AB  ",
                                           7));
    EXPECT_EQ(TextAt(b, 8, 4), std::string("\0\0\0\0", 4)); // the double's high bytes fall outside
}

TEST(TestWriterDatabase, FilesOfEachVersion) {
    struct Case {
        int version;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {3, {"CUSTOMER.DBA", "CUSTOMER.DBM", "CONFIGUR.DBM", "RDRRAAAA.DBM"}},
        {5, {"CUSTOMER.tdf", "CUSTOMER.DBM", "CONFIGUR.DBM", "RDRRAAAA.DBM"}},
        {6, {"CUSTOMER.tdf", "CUSTOMER.DBM", "APPOBJ.tdf", "CONFIGUR.DBM", "APPOBJ.DBM", "RDRRAAAA.DBM"}},
    };
    for (const Case& c : cases) {
        tw::TempDir dir;
        const tw::WrittenDatabase w = tw::WriteDatabase(
            dir.Path(), {.Version = c.version,
                         .Forms = {{.Name = "Customers", .Fields = {tw::TextField("Name", 10)}}},
                         .Configuration = tw::ConfigurationSpec{.DateOrder = 3, .CenturyCutoff = 50}});
        std::vector<std::string> names;
        for (const auto& p : w.Files) {
            names.push_back(p.filename().string());
        }
        EXPECT_EQ(names, c.files) << "version " << c.version;
        const Bytes config = tw::ReadFileBytes(dir / "CONFIGUR.DBM");
        if (c.version == 3) {
            EXPECT_EQ(config.at(128), 3);
            EXPECT_EQ(config.at(143), 50);
        } else {
            EXPECT_EQ(config.at(324), 50);
        }
    }
}

TEST(TestWriterDatabase, RecordValuesByFieldName) {
    tw::TempDir dir;
    tw::WriteDatabase(dir.Path(), {.Version = 5,
                                   .Forms = {{.Name = "T",
                                              .Fields = {tw::TextField("Name", 4), tw::WholeNumber("N", 2),
                                                         tw::DayCountDate("D"), tw::SixCharDate("S"),
                                                         tw::ChoiceField("C", {"x", "y"})},
                                              .Records = {{.Values = {{"Name", "Ab"},
                                                                      {"N", tw::Empty{}},
                                                                      {"D", tw::Date{1777, 1, 1}},
                                                                      {"S", tw::Date{1997, 3, 15}},
                                                                      {"C", "y"}}},
                                                          {.Deleted = true}}}}});
    const Bytes b = tw::ReadFileBytes(dir / "T.DBM");
    // Name at 1 (4), N at 5 (2), D at 7 (4), S at 11 (6), C at 17 (1): 18-byte slots.
    ASSERT_EQ(b.size(), 36u);
    EXPECT_EQ(TextAt(b, 0, 7), std::string("\0Ab\0\0\0\x80", 7));
    EXPECT_EQ(U32At(b, 7), 366u);
    EXPECT_EQ(TextAt(b, 11, 6), "150397");
    EXPECT_EQ(b.at(17), 2);
    EXPECT_EQ(b.at(18), 1);
    EXPECT_THROW(
        tw::WriteDatabase(dir.Path(), {.Forms = {{.Name = "T", .Records = {{.Values = {{"X", 1}}}}}}}),
        std::invalid_argument);
}

TEST(TestWriterDatabase, LoadsThroughTheLibraryReaders) {
    for (const int version : {3, 5, 6, 7}) {
        SCOPED_TRACE("version " + std::to_string(version));
        tw::TempDir dir;
        tw::WriteDatabase(dir.Path(),
                          {.Version = version,
                           .Name = "Shop",
                           .Forms = {{.Name = "Customers",
                                      .Fields = {tw::TextField("Name", 10), tw::WholeNumber("N", 4)},
                                      .Records = {{}, {}, {}}}},
                           .Variants = {{.Name = "Customer View", .BaseForm = "Customers"}}});
        TDEInfoRec db;
        db.SetDirectory(dir.Dir());
        db.SetDictionaryName("RDRRAAAA.DBM");
        db.Load();
        EXPECT_EQ(db.GetVersion(), version);
        EXPECT_EQ(db.GetDisplayName(), "Shop");
        TFormRec* customers = db.FindForm("Customers");
        ASSERT_NE(customers, nullptr);
        EXPECT_FALSE(customers->SystemForm);
        EXPECT_EQ(customers->DataFile, "CUSTOMER.DBM");
        EXPECT_EQ(customers->RecordLength, 15);
        EXPECT_EQ(customers->RecordCount, 3);
        TFieldRec* f = customers->GetFields();
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->Name, "Name");
        ASSERT_NE(f->Next, nullptr);
        EXPECT_EQ(f->Next->Name, "N");
        EXPECT_EQ(f->Next->Offset, 11);
        TFormRec* view = db.FindForm("Customer View");
        if (version >= 6) {
            ASSERT_NE(view, nullptr);
            EXPECT_EQ(view->VariantLevel, 1);
            EXPECT_EQ(view->DataFile, "CUSTOMER.DBM");
            ASSERT_NE(db.FindForm("Application Objects"), nullptr);
            EXPECT_NE(db.FindForm("Application Objects")->GetFields(), nullptr);
        } else {
            EXPECT_EQ(view, nullptr);
        }
    }
}

TEST(TestWriterStreaming, WritesEveryRecordInOrder) {
    tw::TempDir dir;
    tw::WriteDataFileStreaming(dir / "BIG.DBM", 9, 1000, [](std::uint64_t i, tw::Slot& slot) {
        slot.I32(1, static_cast<std::int32_t>(i));
        if (i % 10 == 0) {
            slot.Deleted();
        }
    });
    const Bytes b = tw::ReadFileBytes(dir / "BIG.DBM");
    ASSERT_EQ(b.size(), 9000u);
    EXPECT_EQ(U32At(b, 9 * 999 + 1), 999u);
    EXPECT_EQ(b.at(9 * 990), 1);
    EXPECT_EQ(b.at(9 * 991), 0);
}

TEST(TestWriterTempDir, RemovedWithItsContents) {
    std::filesystem::path path;
    {
        tw::TempDir dir;
        path = dir.Path();
        tw::WriteFile(dir / "a.bin", "abc");
        EXPECT_EQ(tw::ReadFileText(dir / "a.bin"), "abc");
        EXPECT_EQ(dir.Dir().back(), static_cast<char>(std::filesystem::path::preferred_separator));
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_THROW(tw::ReadFileBytes(path / "a.bin"), std::runtime_error);
}

} // namespace
} // namespace corvane
