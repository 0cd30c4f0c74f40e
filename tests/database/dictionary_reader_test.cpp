#include "database/DEInfoRec.h"
#include "database/Errors.h"
#include "database/PlatformFile.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace corvane {
namespace {

namespace tw = testwriter;
using namespace std::string_literals;

// A readable dump of the catalogue: one line per form.
std::string Dump(const TDEInfoRec& db) {
    std::ostringstream out;
    for (const TFormRec* f = db.FirstForm(); f != nullptr; f = f->Next.get()) {
        out << f->Name << '|' << f->DataFile << '|' << f->RecordLength << '|' << f->RecordCount << '|'
            << f->DictValue << '|' << (f->SystemForm ? "S" : "-") << '|' << int(f->VariantLevel) << '|'
            << f->ObjectFile << '\n';
    }
    return out.str();
}

void ReadFromBytes(TDEInfoRec& db, const tw::Bytes& bytes) {
    TBufferSource source(bytes, "rdrraaaa.dbm");
    db.ReadDictionaryFrom(source);
}

TEST(DictionaryReader, VersionByteGivesTheVersionCode) {
    struct Case {
        std::uint8_t versionByte;
        bool marker;
        std::uint8_t code;
    };
    const Case cases[] = {{1, false, 3}, {2, false, 3}, {3, false, 3}, {5, false, 5},
                          {5, true, 6},  {7, false, 7}, {9, false, 9}, {0, false, 0}};
    for (const Case& c : cases) {
        TDEInfoRec db;
        ReadFromBytes(db,
                      tw::BuildDictionary(
                          {.VersionByte = c.versionByte, .DfWMarker = c.marker, .DatabaseName = "SALES"}));
        EXPECT_EQ(db.GetVersion(), c.code) << "version byte " << int(c.versionByte);
        EXPECT_EQ(db.DatabaseName, "SALES");
        EXPECT_EQ(db.FirstForm(), nullptr);
    }
}

TEST(DictionaryReader, FourXRecords) {
    TDEInfoRec db;
    ReadFromBytes(db, tw::BuildDictionary({
                          .VersionByte = 2,
                          .DatabaseName = "ACCOUNTS",
                          .Forms = {{.Name = "Orders",
                                     .DictValue = 7,
                                     .RecordLength = 120,
                                     .RecordCount = 42,
                                     .DataFile = "ORDERS  .DBM"},
                                    {.Name = "AB\0CD"s, .RecordLength = 10, .DataFile = "AB.DBM", .Flags = 1},
                                    {.Status = 1, .Name = "Gone", .DataFile = "GONE.DBM"}},
                      }));
    EXPECT_EQ(db.GetVersion(), 3);
    EXPECT_EQ(db.DictRecordLength, 55);
    EXPECT_EQ(db.DictRecordCount, 4);
    // The 4.x name field keeps a NUL inside; the data file field loses its blanks.
    EXPECT_EQ(Dump(db), "AB\0CD|AB.DBM|10|0|0|S|0|\n"s + "Orders|ORDERS.DBM|120|42|7|-|0|\n");
}

TEST(DictionaryReader, FiveXRecordsAndVariantLevel) {
    TDEInfoRec db;
    ReadFromBytes(
        db, tw::BuildDictionary({
                .VersionByte = 5,
                .DatabaseName = "SALES",
                .Forms = {{.Name = "Customer", .DataFile = "CUSTOMER.DBM", .ObjectFile = "CUSTOMER.TDF"},
                          {.Name = "CustView", .DataFile = "CUSTOMER.DBM", .ObjectFile = "CUSTVIEW.TDF"},
                          {.Name = "Lower", .DataFile = "CUSTOMER.DBM", .ObjectFile = "customer.TDF"},
                          {.Name = "AB\0CD"s, .DataFile = "C:\\ORDER.DBM", .Flags = 1},
                          {.Name = "Drive", .DataFile = "D:ORDERS.DBM"}},
            }));
    EXPECT_EQ(db.GetVersion(), 5);
    EXPECT_EQ(Dump(db), "ABCD|ORDER.DBM|0|0|0|S|1|\n"
                        "Customer|CUSTOMER.DBM|0|0|0|-|0|CUSTOMER.TDF\n"
                        "CustView|CUSTOMER.DBM|0|0|0|-|1|CUSTVIEW.TDF\n"
                        "Drive|ORDERS.DBM|0|0|0|-|1|\n"
                        "Lower|CUSTOMER.DBM|0|0|0|-|1|customer.TDF\n");
}

TEST(DictionaryReader, DfWCodeSixMarksEveryFormSystem) {
    TDEInfoRec db;
    ReadFromBytes(
        db, tw::BuildDictionary({
                .VersionByte = 5,
                .DfWMarker = true,
                .Forms =
                    {{.Name = "Customers", .DataFile = "CUST.DBM", .ObjectFile = "CUSTVIEW.TDF", .Flags = 0}},
            }));
    EXPECT_EQ(db.GetVersion(), 6);
    EXPECT_EQ(Dump(db), "Customers|CUST.DBM|0|0|0|S|0|CUSTVIEW.TDF\n");
}

TEST(DictionaryReader, VersionSevenRecords) {
    TDEInfoRec db;
    ReadFromBytes(db, tw::BuildDictionary({
                          .VersionByte = 7,
                          .DatabaseName = "DFW",
                          .Forms = {{.Name = "Stock",
                                     .DictValue = 3,
                                     .RecordLength = 64,
                                     .RecordCount = 9,
                                     .DataFile = "X:\\STOCK.DBM",
                                     .Flags = 1}},
                      }));
    EXPECT_EQ(db.GetVersion(), 7);
    EXPECT_EQ(db.DictRecordLength, 177);
    EXPECT_EQ(Dump(db), "Stock|STOCK.DBM|64|9|3|S|0|\n");
}

TEST(DictionaryReader, UnknownVersionTakesHeaderAt22AndAddsNamelessForms) {
    TDEInfoRec db;
    ReadFromBytes(db, tw::BuildDictionary({.VersionByte = 9, .Forms = {{.Name = "Ignored"}, {.Status = 1}}}));
    EXPECT_EQ(db.GetVersion(), 9);
    EXPECT_EQ(db.DictRecordCount, 3);
    EXPECT_EQ(Dump(db), "||0|0|0|-|0|\n");
}

TEST(DictionaryReader, NamesAreCleaned) {
    TDEInfoRec db;
    ReadFromBytes(db, tw::BuildDictionary({.VersionByte = 2, .DatabaseName = std::string(19, ' ')}));
    EXPECT_EQ(db.DatabaseName, "");
    ReadFromBytes(db, tw::BuildDictionary({.VersionByte = 2, .DatabaseName = "A\0B"s, .NamePad = '\0'}));
    EXPECT_EQ(db.DatabaseName, "A\0B"s);
}

TEST(DictionaryReader, NamesDifferingInCaseBothBecomeFormsInReadingOrder) {
    TDEInfoRec db;
    ReadFromBytes(db, tw::BuildDictionary({.VersionByte = 2,
                                           .Forms = {{.Name = "orders", .RecordCount = 1},
                                                     {.Name = "ORDERS", .RecordCount = 2}}}));
    EXPECT_EQ(Dump(db), "orders||0|1|0|-|0|\nORDERS||0|2|0|-|0|\n");
}

TEST(DictionaryReader, RecordsTooShortForAFormEntryOfTheLayoutAreARangeError) {
    // A record shorter than the layout's form entry holds no form; with a large count such a file would
    // otherwise give millions of empty forms.
    struct Case {
        std::uint8_t versionByte;
        bool dfw;
        std::uint16_t length;
        const char* message; // empty: the records are read
    };
    const Case cases[] = {
        {2, false, 2,
         "d: dictionary record length 2 is too short for a form entry of the 4.x layout (55 bytes)"},
        {2, false, 40,
         "d: dictionary record length 40 is too short for a form entry of the 4.x layout (55 bytes)"},
        {2, false, 55, ""},
        {5, false, 73,
         "d: dictionary record length 73 is too short for a form entry of the 5.x layout (74 bytes)"},
        {5, true, 30,
         "d: dictionary record length 30 is too short for a form entry of the 5.x layout (74 bytes)"},
        {5, false, 74, ""},
        {7, false, 176,
         "d: dictionary record length 176 is too short for a form entry of the version 7 layout (177 bytes)"},
        {7, false, 177, ""},
        // No form entry is known for this code: its records are read at any length of 2 or more.
        {9, false, 10, ""},
        {2, false, 0, "d: dictionary record length 0 is too short for 3 records"},
        {9, false, 1, "d: dictionary record length 1 is too short for 3 records"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.versionByte) + "/" + std::to_string(c.length));
        TDEInfoRec db;
        TBufferSource source(tw::BuildDictionary({.VersionByte = c.versionByte,
                                                  .DfWMarker = c.dfw,
                                                  .RecordLength = c.length,
                                                  .Forms = {{.Name = "First"}, {.Name = "Second"}}}),
                             "d");
        if (std::string(c.message).empty()) {
            ASSERT_NO_THROW(db.ReadDictionaryFrom(source));
            EXPECT_NE(db.FirstForm(), nullptr);
            continue;
        }
        try {
            db.ReadDictionaryFrom(source);
            ADD_FAILURE() << "expected an error";
        } catch (const ERangeError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_EQ(db.FirstForm(), nullptr);
        EXPECT_EQ(db.DictRecordLength, c.length);
    }
    // A count of one or less still gives an empty catalogue at any length.
    TDEInfoRec empty;
    TBufferSource one(tw::BuildDictionary({.VersionByte = 2, .RecordLength = 2, .RecordCount = 1}), "d");
    EXPECT_NO_THROW(empty.ReadDictionaryFrom(one));
    EXPECT_EQ(empty.FirstForm(), nullptr);
}

TEST(DictionaryReader, AHugeCountOfTinyRecordsEndsAtOnce) {
    // 6.5 million live records of two bytes, all present: refused before a single form is made.
    TDEInfoRec db;
    constexpr std::int32_t kCount = 6'500'000;
    tw::Bytes bytes = tw::BuildDictionary({.VersionByte = 5, .RecordLength = 2, .RecordCount = kCount});
    bytes.resize(std::size_t{2} * kCount, 0);
    TBufferSource source(std::move(bytes), "d");
    EXPECT_THROW(db.ReadDictionaryFrom(source), ERangeError);
    EXPECT_EQ(db.FirstForm(), nullptr);
}

TEST(DictionaryReader, LongRecordsAreReadAtTheirOwnLength) {
    TDEInfoRec db;
    ReadFromBytes(db, tw::BuildDictionary(
                          {.VersionByte = 5,
                           .RecordLength = 200,
                           .Forms = {{.Name = "A", .DataFile = "ACCOUNTS.DBM", .ObjectFile = "ACCOUNTS.TDF"},
                                     {.Name = "B", .DataFile = "B.DBM", .ObjectFile = "B.TDF"}}}));
    EXPECT_EQ(Dump(db), "A|ACCOUNTS.DBM|0|0|0|-|0|ACCOUNTS.TDF\nB|B.DBM|0|0|0|-|1|B.TDF\n");
}

TEST(DictionaryReader, CountOfOneOrLessGivesNoForms) {
    for (const std::int32_t count : {1, 0, -5}) {
        TDEInfoRec db;
        ReadFromBytes(
            db, tw::BuildDictionary({.VersionByte = 2, .RecordCount = count, .Forms = {{.Name = "X"}}}));
        EXPECT_EQ(db.FirstForm(), nullptr) << count;
    }
}

TEST(DictionaryReader, ShortFileRaisesReadBeyondEndAndKeepsFormsReadBefore) {
    TDEInfoRec db;
    TBufferSource source(
        tw::BuildDictionary(
            {.VersionByte = 2, .RecordCount = 5, .Forms = {{.Name = "Kept"}, {.Name = "Also"}}}),
        "rdrraaaa.dbm");
    try {
        db.ReadDictionaryFrom(source);
        FAIL() << "expected an error";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), 100);
        EXPECT_STREQ(e.what(), "Read beyond end of file");
        EXPECT_EQ(e.FileName(), "rdrraaaa.dbm");
    }
    EXPECT_EQ(Dump(db), "Also||0|0|0|-|0|\nKept||0|0|0|-|0|\n");
}

TEST(DictionaryReader, TruncatedHeaderRaisesReadBeyondEnd) {
    for (const std::size_t size : {0U, 2U, 10U, 30U}) {
        TDEInfoRec db;
        TBufferSource source(tw::BuildDictionary({.VersionByte = 2, .TruncateTo = size}), "d");
        EXPECT_THROW(db.ReadDictionaryFrom(source), EInOutError) << size;
    }
}

TEST(DictionaryReader, AbsurdHeadersEndQuickly) {
    // A record count of 2^31 - 1 with a normal record length runs off the file at once.
    TDEInfoRec db;
    TBufferSource big(
        tw::BuildDictionary({.VersionByte = 2, .RecordCount = 0x7FFFFFFF, .Forms = {{.Name = "A"}}}), "d");
    EXPECT_THROW(db.ReadDictionaryFrom(big), EInOutError);
    // A record length of 0 or 1 would put every record on top of the header.
    for (const std::uint16_t length : {0, 1}) {
        TDEInfoRec other;
        TBufferSource zero(
            tw::BuildDictionary({.VersionByte = 2, .RecordLength = length, .RecordCount = 0x7FFFFFFF}), "d");
        EXPECT_THROW(other.ReadDictionaryFrom(zero), ERangeError);
    }
}

TEST(DictionaryReader, MissingDictionaryIsFileNotFound) {
    tw::TempDir dir;
    TDEInfoRec db;
    db.SetDirectory(dir.Dir());
    db.SetDictionaryName("RDRRZAAA.DBM");
    try {
        db.Load();
        FAIL() << "expected an error";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), kIOFileNotFound);
        EXPECT_STREQ(e.what(), "File not found");
    }
}

TEST(DictionaryReader, LoadTwiceGivesTheSameCatalogueAndResetsTheCutoff) {
    tw::TempDir dir;
    tw::WriteFile(dir / "RDRRAAAA.DBM",
                  tw::BuildDictionary({.VersionByte = 2, .Forms = {{.Name = "B"}, {.Name = "A"}}}));
    TDEInfoRec db;
    db.SetDirectory(dir.Dir());
    db.SetDictionaryName("rdrraaaa.dbm"); // resolved without regard to case
    db.Load();
    const std::string first = Dump(db);
    db.CenturyCutoff = 50;
    db.Load();
    EXPECT_EQ(Dump(db), first);
    EXPECT_EQ(first, "A||0|0|0|-|0|\nB||0|0|0|-|0|\n");
    EXPECT_EQ(db.CenturyCutoff, 0);
}

TEST(SystemFormStem, MatchesWithoutRegardToAsciiCase) {
    EXPECT_EQ(SystemFormStem("USERS"), "userform");
    EXPECT_EQ(SystemFormStem("Users"), "userform");
    EXPECT_EQ(SystemFormStem("configuration"), "configur");
    EXPECT_EQ(SystemFormStem("Screen Styles"), "scrstyle");
    EXPECT_EQ(SystemFormStem("masks"), "MaskForm");
    EXPECT_EQ(SystemFormStem("Customers"), "");
    EXPECT_EQ(SystemFormStem(" users"), "");
}

} // namespace
} // namespace corvane
