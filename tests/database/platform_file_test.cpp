#include "database/DEInfoRec.h"
#include "database/DatabaseList.h"
#include "database/Errors.h"
#include "database/PlatformFile.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <thread>

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

TEST(ReadOnlyFile, RefusesEverythingButARegularFileWithoutWaiting) {
    tw::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "rdrraaaa.dbm").c_str(), 0600), 0);
    struct Case {
        std::string path;
        int code;
        const char* text;
    };
    const Case cases[] = {
        // A FIFO without a writer: a blocking open would wait for ever.
        {(dir / "rdrraaaa.dbm").string(), kIONotRegularFile, "Not a regular file"},
        {"/dev/null", kIONotRegularFile, "Not a regular file"},
        {dir.Path().string(), EISDIR, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        try {
            TReadOnlyFile file(c.path);
            ADD_FAILURE() << "expected an error";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.ErrorCode(), c.code);
            if (c.text != nullptr) {
                EXPECT_STREQ(e.what(), c.text);
            }
            EXPECT_EQ(e.FileName(), c.path);
        }
    }
    // Nothing was created or changed: the FIFO is still one.
    struct stat st {};
    ASSERT_EQ(::stat((dir / "rdrraaaa.dbm").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
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

TEST(DirectoryIndex, ListsTheDirectoryOnceForManyNamesAndAgainOnlyAfterAChange) {
    tw::TempDir dir;
    for (int i = 0; i < 50; ++i) {
        tw::WriteFile(dir / ("file" + std::to_string(i) + ".dbm"), "x");
    }
    TDirectoryIndex index(dir.Dir());
    // Names that exist as given need no listing.
    EXPECT_EQ(index.Resolve("file0.dbm"), dir.Dir() + "file0.dbm");
    EXPECT_EQ(index.Listings(), 0U);
    for (int i = 0; i < 50; ++i) {
        const std::string name = "file" + std::to_string(i) + ".dbm";
        EXPECT_EQ(index.Resolve("FILE" + std::to_string(i) + ".DBM"), dir.Dir() + name);
        EXPECT_EQ(index.Resolve("missing" + std::to_string(i)), dir.Dir() + "missing" + std::to_string(i));
    }
    EXPECT_EQ(index.Listings(), 1U);
    // A file created afterwards is found: the directory has changed, so it is listed again.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    tw::WriteFile(dir / "late.dbm", "x");
    EXPECT_EQ(index.Resolve("LATE.DBM"), dir.Dir() + "late.dbm");
    EXPECT_EQ(index.Listings(), 2U);
    EXPECT_EQ(index.Resolve("FILE1.DBM"), dir.Dir() + "file1.dbm");
    EXPECT_EQ(index.Listings(), 2U);
    // The same answers as the one-off lookup, byte order deciding between names of one key.
    tw::WriteFile(dir / "Data.DBM", "1");
    tw::WriteFile(dir / "DATA.dbm", "2");
    EXPECT_EQ(index.Resolve("data.dbm"), dir.Dir() + "DATA.dbm");
    EXPECT_EQ(index.Resolve("data.dbm"), ResolveExistingPath(dir.Dir() + "data.dbm"));
    EXPECT_EQ(index.Resolve(""), dir.Dir());
    EXPECT_EQ(TDirectoryIndex(dir.Dir() + "nodir/").Resolve("x.dbm"), dir.Dir() + "nodir/x.dbm");
}

TEST(DirectoryIndex, ADatabaseListsItsDirectoryOncePerLoad) {
    // 300 variants whose object files are stored in another case than on disk, each looked up for its date.
    tw::TempDir dir;
    tw::AppObjectsSpec objects;
    for (int i = 0; i < 300; ++i) {
        const std::string file = "v" + std::to_string(i) + ".vrf";
        tw::WriteFile(dir / file, "x");
        objects.Entries.push_back({.EntryKind = 0,
                                   .VariantName = "View " + std::to_string(i),
                                   .ObjectFile = "V" + std::to_string(i) + ".VRF",
                                   .BaseForm = "Customers"});
    }
    tw::WriteFile(dir / "appobj.dbm", tw::BuildApplicationObjects(objects));
    tw::WriteFile(
        dir / "RDRRAAAA.DBM",
        tw::BuildDictionary({.VersionByte = 5,
                             .DfWMarker = true,
                             .Forms = {{.Name = "Customers", .DataFile = "CUST.DBM"},
                                       {.Name = "Application Objects", .DataFile = "APPOBJ.DBM"}}}));
    TDEInfoRec db;
    db.SetDirectory(dir.Dir());
    db.SetDictionaryName("rdrraaaa.dbm");
    for (int load = 0; load < 2; ++load) {
        db.Load();
        ASSERT_NE(db.FindForm("View 299"), nullptr);
        EXPECT_NE(db.FindForm("View 299")->FileDate, 0.0);
        EXPECT_EQ(db.DirectoryListings(), 1U) << load;
    }
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

TEST(ListDatabases, ReportingEachErrorListsEveryReadableDatabase) {
    tw::TempDir dir;
    tw::WriteFile(dir / "RDRRAAAA.DBM", tw::BuildDictionary({.VersionByte = 2, .DatabaseName = "Good"}));
    tw::WriteFile(dir / "RDRRBAAA.DBM", "xy"); // too short for a header
    ASSERT_EQ(::mkfifo((dir / "RDRRCAAA.DBM").c_str(), 0600), 0);
    tw::WriteFile(dir / "RDRRDAAA.DBM", tw::BuildDictionary({.VersionByte = 7, .DatabaseName = "Later"}));
    const TDatabaseListing listing = ListDatabases(dir.Dir(), TListingMode::ReportEachError);
    ASSERT_EQ(listing.Entries.size(), 2U);
    EXPECT_EQ(listing.Entries[0].Line(), "4.x  Good");
    EXPECT_EQ(listing.Entries[1].FileName, "RDRRDAAA.DBM");
    EXPECT_EQ(listing.Entries[1].DisplayName, "Later");
    ASSERT_EQ(listing.Failures.size(), 2U);
    EXPECT_EQ(listing.Failures[0].FileName, "RDRRBAAA.DBM");
    EXPECT_EQ(listing.Failures[1].FileName, "RDRRCAAA.DBM");
    try {
        std::rethrow_exception(listing.Failures[1].Error);
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), kIONotRegularFile);
    }
    // The first failure is also where the stopping mode would have ended.
    EXPECT_EQ(listing.FailedFile, "RDRRBAAA.DBM");
    EXPECT_EQ(listing.Error, listing.Failures[0].Error);

    const TDatabaseListing stopped = ListDatabases(dir.Dir());
    EXPECT_EQ(stopped.Entries.size(), 1U);
    EXPECT_EQ(stopped.Failures.size(), 1U);
    EXPECT_EQ(stopped.FailedFile, "RDRRBAAA.DBM");
}

TEST(ListDatabases, UnreadableDirectoryThrows) {
    EXPECT_THROW(ListDatabases("/nonexistent/corvane/"), EInOutError);
}

} // namespace
} // namespace corvane
