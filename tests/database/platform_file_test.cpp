#include "database/DatabaseList.h"
#include "database/Errors.h"
#include "database/PlatformFile.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace corvane {
namespace {

namespace tw = testwriter;

TEST(ReadOnlyFile, ReadsAndReportsShortReads) {
    tw::TempDir dir;
    tw::WriteFile(dir / "f.bin", "abcdef");
    TReadOnlyFile file((dir / "f.bin").string());
    EXPECT_EQ(file.Size(), 6);
    char buf[8] = {};
    EXPECT_EQ(file.ReadSome(4, buf, 8), 2U);
    EXPECT_EQ(std::string(buf, 2), "ef");
    file.ReadExact(0, buf, 6);
    EXPECT_EQ(std::string(buf, 6), "abcdef");
    try {
        file.ReadExact(3, buf, 4);
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), 100);
        EXPECT_STREQ(e.what(), "Read beyond end of file");
    }
}

TEST(ReadOnlyFile, OpenErrorsCarryTheCodeAndFile) {
    tw::TempDir dir;
    try {
        TReadOnlyFile missing((dir / "none").string());
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), kIOFileNotFound);
        EXPECT_STREQ(e.what(), "File not found");
        EXPECT_EQ(DescribeError(e), (dir / "none").string() + ": File not found");
    }
    // A directory is no file to read.
    EXPECT_THROW(TReadOnlyFile(dir.Path().string()), EInOutError);
}

TEST(ReadOnlyFile, OpensFilesWithoutWritePermission) {
    tw::TempDir dir;
    tw::WriteFile(dir / "ro.bin", "data");
    ASSERT_EQ(::chmod((dir / "ro.bin").c_str(), 0444), 0);
    TReadOnlyFile file((dir / "ro.bin").string());
    EXPECT_EQ(file.Size(), 4);
}

TEST(ResolveExistingPath, ExactFirstThenCaseInsensitiveInByteOrder) {
    tw::TempDir dir;
    tw::WriteFile(dir / "Data.DBM", "1");
    tw::WriteFile(dir / "DATA.dbm", "2");
    tw::WriteFile(dir / "other.dbm", "3");
    const std::string d = dir.Dir();
    EXPECT_EQ(ResolveExistingPath(d + "Data.DBM"), d + "Data.DBM");
    EXPECT_EQ(ResolveExistingPath(d + "data.dbm"), d + "DATA.dbm"); // "DATA.dbm" < "Data.DBM" bytewise
    EXPECT_EQ(ResolveExistingPath(d + "OTHER.DBM"), d + "other.dbm");
    EXPECT_EQ(ResolveExistingPath(d + "missing.dbm"), d + "missing.dbm");
    EXPECT_EQ(ResolveExistingPath(d + "nodir/x.dbm"), d + "nodir/x.dbm");
}

TEST(DictionaryPattern, MatchesLettersWithoutCaseAndOneCharacterForTheId) {
    struct Case {
        const char* name;
        bool matches;
    };
    const Case cases[] = {{"rdrraaaa.dbm", true},  {"RDRRBAAA.DBM", true},  {"RdRr1AaA.DbM", true},
                          {"rdrr aaa.dbm", true},  {"rdrraaa.dbm", false},  {"rdrrabaaa.dbm", false},
                          {"rdrraaab.dbm", false}, {"rdrraaaa.dbf", false}, {"xdrraaaa.dbm", false}};
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesDictionaryPattern(c.name), c.matches) << c.name;
    }
}

TEST(ListDatabases, ListsInFileNameOrderWithVersionAndName) {
    tw::TempDir dir;
    tw::WriteFile(dir / "rdrrbaaa.dbm",
                  tw::BuildDictionary(
                      {.VersionByte = 5, .DfWMarker = true, .DatabaseName = std::string("Beta\0x", 6)}));
    tw::WriteFile(dir / "RDRRAAAA.DBM", tw::BuildDictionary({.VersionByte = 5, .DatabaseName = "Alpha"}));
    tw::WriteFile(dir / "RDRRCAAA.DBM", tw::BuildDictionary({.VersionByte = 7, .DatabaseName = "Gamma"}));
    tw::WriteFile(dir / "notes.txt", "x");
    const TDatabaseListing listing = ListDatabases(dir.Dir());
    ASSERT_FALSE(listing.Error);
    ASSERT_EQ(listing.Entries.size(), 3U);
    EXPECT_EQ(listing.Entries[0].FileName, "RDRRAAAA.DBM");
    EXPECT_EQ(listing.Entries[0].Line(), "5.x  Alpha");
    EXPECT_EQ(listing.Entries[1].FileName, "RDRRCAAA.DBM");
    EXPECT_EQ(listing.Entries[1].Line(), "Gamma");
    EXPECT_EQ(listing.Entries[2].FileName, "rdrrbaaa.dbm");
    EXPECT_EQ(listing.Entries[2].Line(), "DfW  Beta");
    EXPECT_EQ(VersionLabel(3), "4.x  ");
    EXPECT_EQ(VersionLabel(0), "");
}

TEST(ListDatabases, AnErrorStopsTheListingAtThatEntry) {
    tw::TempDir dir;
    tw::WriteFile(dir / "RDRRAAAA.DBM", tw::BuildDictionary({.VersionByte = 2, .DatabaseName = "Good"}));
    tw::WriteFile(dir / "RDRRBAAA.DBM", "xy"); // too short for a header
    tw::WriteFile(dir / "RDRRCAAA.DBM", tw::BuildDictionary({.VersionByte = 2, .DatabaseName = "Never"}));
    const TDatabaseListing listing = ListDatabases(dir.Dir());
    ASSERT_EQ(listing.Entries.size(), 1U);
    EXPECT_EQ(listing.Entries[0].Line(), "4.x  Good");
    ASSERT_TRUE(listing.Error);
    EXPECT_EQ(listing.FailedFile, "RDRRBAAA.DBM");
    EXPECT_THROW(std::rethrow_exception(listing.Error), EInOutError);
}

TEST(ListDatabases, UnreadableDirectoryThrows) {
    EXPECT_THROW(ListDatabases("/nonexistent/corvane/"), EInOutError);
}

} // namespace
} // namespace corvane
