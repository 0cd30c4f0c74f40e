#include "database/DEInfoRec.h"
#include "database/Errors.h"
#include "database/PlatformFile.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <sstream>
#include <sys/stat.h>
#include <utime.h>

namespace corvane {
namespace {

namespace tw = testwriter;

std::string Dump(const TDEInfoRec& db) {
    std::ostringstream out;
    for (const TFormRec* f = db.FirstForm(); f != nullptr; f = f->Next.get()) {
        out << f->Name << '|' << f->DataFile << '|' << f->RecordLength << '|' << f->RecordCount << '|'
            << (f->SystemForm ? "S" : "-") << '|' << int(f->VariantLevel) << '|' << f->ObjectFile << '|'
            << (f->FileDate != 0 ? "dated" : "0") << '\n';
    }
    return out.str();
}

// A DfW database of code 6 holding Customers, Orders and the Application Objects form, with the given
// entries.
struct DfWFixture {
    tw::TempDir dir;
    TDEInfoRec db;

    explicit DfWFixture(const tw::AppObjectsSpec& objects, std::uint8_t versionByte = 5) {
        tw::WriteFile(
            dir / "RDRRAAAA.DBM",
            tw::BuildDictionary(
                {.VersionByte = versionByte,
                 .DfWMarker = versionByte == 5,
                 .Forms = {
                     {.Name = "Customers", .RecordLength = 50, .RecordCount = 3, .DataFile = "CUST.DBM"},
                     {.Name = "Orders", .DataFile = "ORDERS.DBM"},
                     {.Name = "Application Objects", .DataFile = "APPOBJ.DBM"}}}));
        tw::WriteFile(dir / "APPOBJ.DBM", tw::BuildApplicationObjects(objects));
        db.SetDirectory(dir.Dir());
        db.SetDictionaryName("RDRRAAAA.DBM");
    }
};

TEST(ApplicationObjects, IgnoredEntriesChangeNothing) {
    DfWFixture f(
        {.Entries = {{.Status = 1, .EntryKind = 1, .ObjectFile = "X.TDF", .BaseForm = "Customers"},
                     {.EntryKind = 1, .ObjectFile = "X.TDF", .BaseForm = "Customers", .ObjectType = 2},
                     {.EntryKind = 0, .VariantName = "Nowhere", .BaseForm = "Missing"}}});
    f.db.Load();
    EXPECT_EQ(Dump(f.db), "Application Objects|APPOBJ.DBM|0|0|S|0||0\n"
                          "Customers|CUST.DBM|50|3|S|0||0\n"
                          "Orders|ORDERS.DBM|0|0|S|0||0\n");
}

TEST(ApplicationObjects, KindOneSetsObjectFileAndClearsSystem) {
    DfWFixture f(
        {.Entries = {{.EntryKind = 1, .ObjectFile = "  CUSTOMER.TDF", .BaseForm = "  CUSTOMERS  "}}});
    f.db.Load();
    EXPECT_EQ(Dump(f.db), "Application Objects|APPOBJ.DBM|0|0|S|0||0\n"
                          "Customers|CUST.DBM|50|3|-|0|CUSTOMER.TDF|0\n"
                          "Orders|ORDERS.DBM|0|0|S|0||0\n");
}

TEST(ApplicationObjects, OtherKindsAddVariantsOnTheBaseFormsData) {
    DfWFixture f({.Entries = {{.EntryKind = 0,
                               .VariantName = "Customer View",
                               .ObjectFile = "CVIEW.VRF",
                               .BaseForm = "Customers"},
                              {.EntryKind = 2,
                               .VariantName = "Customer View",
                               .ObjectFile = "CVIEW2.VRF",
                               .BaseForm = "customers",
                               .Pad = ' '},
                              // A later entry may build on a variant added before it.
                              {.EntryKind = 0, .VariantName = "Deeper", .BaseForm = "Customer View"}},
                  .TrailingBytes = tw::Bytes(100, 0xEE)});
    tw::WriteFile(f.dir / "CVIEW.VRF", "x");
    f.db.Load();
    EXPECT_EQ(Dump(f.db), "Application Objects|APPOBJ.DBM|0|0|S|0||0\n"
                          "Customer View|CUST.DBM|50|3|-|1|CVIEW.VRF|dated\n"
                          "Customer View|CUST.DBM|50|3|-|1|CVIEW2.VRF|0\n"
                          "Customers|CUST.DBM|50|3|-|0||0\n"
                          "Deeper|CUST.DBM|50|3|-|1||0\n"
                          "Orders|ORDERS.DBM|0|0|S|0||0\n");
    // FindForm returns the variant added first.
    EXPECT_EQ(f.db.FindForm("customer view")->ObjectFile, "CVIEW.VRF");
}

TEST(ApplicationObjects, VariantFileDateIsTheObjectFilesModificationTime) {
    DfWFixture f(
        {.Entries = {{.EntryKind = 0, .VariantName = "V", .ObjectFile = "V.VRF", .BaseForm = "Orders"}}});
    tw::WriteFile(f.dir / "V.VRF", "x");
    // 5 March 2004, 14:07:30 local time.
    std::tm local{};
    local.tm_year = 104;
    local.tm_mon = 2;
    local.tm_mday = 5;
    local.tm_hour = 14;
    local.tm_min = 7;
    local.tm_sec = 31; // the packed form keeps even seconds
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    const utimbuf times{when, when};
    ASSERT_EQ(::utime((f.dir / "V.VRF").c_str(), &times), 0);
    f.db.Load();
    const TFormRec* v = f.db.FindForm("V");
    ASSERT_NE(v, nullptr);
    EXPECT_DOUBLE_EQ(v->FileDate, DosFileDateToDateTime((24U << 25) | (3U << 21) | (5U << 16) | (14U << 11) |
                                                        (7U << 5) | 15U));
}

TEST(ApplicationObjects, NoApplicationObjectsFormLeavesTheDictionaryCatalogue) {
    tw::TempDir dir;
    tw::WriteFile(dir / "RDRRAAAA.DBM",
                  tw::BuildDictionary({.VersionByte = 7, .Forms = {{.Name = "Stock"}}}));
    TDEInfoRec db;
    db.SetDirectory(dir.Dir());
    db.SetDictionaryName("RDRRAAAA.DBM");
    db.Load();
    EXPECT_EQ(Dump(db), "Stock||0|0|-|0||0\n");
}

TEST(ApplicationObjects, MissingFileIsFileNotFoundAfterTheDictionaryForms) {
    tw::TempDir dir;
    tw::WriteFile(dir / "RDRRAAAA.DBM",
                  tw::BuildDictionary({.VersionByte = 7,
                                       .Forms = {{.Name = "Application Objects", .DataFile = "GONE.DBM"}}}));
    TDEInfoRec db;
    db.SetDirectory(dir.Dir());
    db.SetDictionaryName("RDRRAAAA.DBM");
    try {
        db.Load();
        FAIL() << "expected an error";
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "File not found");
        EXPECT_EQ(e.FileName(), dir.Dir() + "GONE.DBM");
    }
    EXPECT_NE(db.FindForm("Application Objects"), nullptr);
}

TEST(ApplicationObjects, DataFileFoundWithoutRegardToCase) {
    DfWFixture f({.Entries = {{.EntryKind = 1, .ObjectFile = "O.TDF", .BaseForm = "Orders"}}}, 7);
    std::filesystem::rename(f.dir / "APPOBJ.DBM", f.dir / "appobj.dbm");
    f.db.Load();
    EXPECT_EQ(f.db.FindForm("Orders")->ObjectFile, "O.TDF");
}

TEST(DosFileDate, ConvertsPackedDateAndTime) {
    const std::uint32_t packed = (24U << 25) | (3U << 21) | (5U << 16) | (14U << 11) | (7U << 5) | 15U;
    // 5 March 2004 is day 38051 after 30 December 1899; 14:07:30 is 50850 seconds into the day.
    EXPECT_DOUBLE_EQ(DosFileDateToDateTime(packed), 38051.0 + 50850.0 / 86400.0);
    EXPECT_DOUBLE_EQ(DosFileDateToDateTime((0U << 25) | (1U << 21) | (1U << 16)), 29221.0); // 1 January 1980
}

TEST(DosFileDate, FieldsThatFormNoDateGiveZero) {
    EXPECT_EQ(DosFileDateToDateTime(0), 0.0);                                          // month 0, day 0
    EXPECT_EQ(DosFileDateToDateTime((1U << 25) | (2U << 21) | (30U << 16)), 0.0);      // 30 February 1981
    EXPECT_EQ(DosFileDateToDateTime((20U << 25) | (2U << 21) | (29U << 16)), 36585.0); // 29 February 2000
    EXPECT_EQ(DosFileDateToDateTime((1U << 25) | (13U << 21) | (1U << 16)), 0.0);      // month 13
    EXPECT_EQ(DosFileDateToDateTime((1U << 25) | (1U << 21) | (1U << 16) | (24U << 11)), 0.0); // hour 24
    EXPECT_EQ(DosFileDateToDateTime((1U << 25) | (1U << 21) | (1U << 16) | 30U), 0.0);         // 60 seconds
}

TEST(DosFileDate, TimesBefore1980CannotBePacked) {
    EXPECT_EQ(DateTimeToDosFileDate(0), 0U); // 1970
}

} // namespace
} // namespace corvane
