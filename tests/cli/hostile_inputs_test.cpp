// Inputs that are not what a database promises: FIFOs where files should be, file names that lead out of the
// database directory, dictionaries that cannot be read. The tool never hangs and never reads outside.

#include "cli/RunTool.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace corvane {
namespace {

namespace tw = testwriter;
namespace fs = std::filesystem;
using testing::RunToolWith;
using testing::ToolRun;

// A run that would wait for ever on a FIFO is stopped after this long.
constexpr double kTimeout = 20;

ToolRun RunBounded(const std::vector<std::string>& args) {
    return RunToolWith(args, {.env = {},
                              .timeoutSeconds = kTimeout,
                              .fileSizeLimit = std::nullopt,
                              .ignoreFileSizeSignal = false});
}

bool IsFifo(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

void MakeFifo(const fs::path& path) {
    fs::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
}

TEST(HostileInputs, DatabasesListsEveryReadableDictionaryAndReportsEachOtherOne) {
    tw::TempDir dir;
    MakeFifo(dir / "rdrraaaa.dbm");
    tw::WriteFile(dir / "RDRRBAAA.DBM", tw::BuildDictionary({.VersionByte = 2, .DatabaseName = "Good"}));
    tw::WriteFile(dir / "RDRRCAAA.DBM", "xx");
    tw::WriteFile(dir / "RDRRDAAA.DBM", tw::BuildDictionary({.VersionByte = 7, .DatabaseName = "Later"}));
    for (const bool json : {false, true}) {
        SCOPED_TRACE(json ? "json" : "text");
        std::vector<std::string> args{"databases", dir.Path().string()};
        if (json) {
            args.push_back("--json");
        }
        const ToolRun r = RunBounded(args);
        ASSERT_FALSE(r.timedOut);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out,
                  json ? "[\n  {\"path\": \"RDRRBAAA.DBM\", \"file\": \"RDRRBAAA.DBM\", \"version\": 3, "
                         "\"label\": \"4.x  \", \"name\": \"Good\"},\n  {\"path\": \"RDRRDAAA.DBM\", "
                         "\"file\": \"RDRRDAAA.DBM\", \"version\": 7, \"label\": \"\", "
                         "\"name\": \"Later\"}\n]\n"
                       : "RDRRBAAA.DBM\t3\tGood\nRDRRDAAA.DBM\t7\tLater\n");
        EXPECT_EQ(r.err, "corvane-cli: " + dir.Dir() + "RDRRCAAA.DBM: Read beyond end of file\n" +
                             "corvane-cli: " + dir.Dir() + "rdrraaaa.dbm: Not a regular file\n");
    }
    EXPECT_TRUE(IsFifo(dir / "rdrraaaa.dbm"));
}

TEST(HostileInputs, FormsOnAFifoDictionaryOrApplicationObjectsFailsAtOnce) {
    tw::TempDir dir;
    tw::WriteDatabase(dir.Path(), {.Version = 6,
                                   .Forms = {{.Name = "Customers", .Fields = {tw::TextField("Name", 10)}}},
                                   .Variants = {{.Name = "Customer View", .BaseForm = "Customers"}}});
    ASSERT_EQ(RunBounded({"forms", dir.Path().string()}).status, 0);

    tw::TempDir fifoDictionary;
    MakeFifo(fifoDictionary / "rdrraaaa.dbm");
    const ToolRun onDictionary = RunBounded({"forms", (fifoDictionary / "rdrraaaa.dbm").string()});
    ASSERT_FALSE(onDictionary.timedOut);
    EXPECT_EQ(onDictionary.status, 1);
    EXPECT_EQ(onDictionary.err,
              "corvane-cli: " + fifoDictionary.Dir() + "rdrraaaa.dbm: Not a regular file\n");

    // The Application Objects data file of the DfW database replaced by a FIFO.
    const fs::path objects = dir / "APPOBJ.DBM"; // the name the test writer gives it
    ASSERT_TRUE(fs::is_regular_file(objects)) << objects;
    MakeFifo(objects);
    const ToolRun onObjects = RunBounded({"forms", dir.Path().string()});
    ASSERT_FALSE(onObjects.timedOut);
    EXPECT_EQ(onObjects.status, 1);
    EXPECT_NE(onObjects.err.find(objects.filename().string() + ": Not a regular file"), std::string::npos)
        << onObjects.err;
    EXPECT_TRUE(IsFifo(objects));
}

TEST(HostileInputs, ExportNeverWaitsOnAFifoDataFile) {
    tw::TempDir dir;
    tw::TempDir out;
    tw::WriteDatabase(dir.Path(), {.Version = 5,
                                   .Forms = {{.Name = "Orders",
                                              .DataFile = "ORDERS.DBM",
                                              .Fields = {tw::TextField("Item", 6)},
                                              .Records = {{.Values = {{"Item", "Nail"}}}}}}});
    MakeFifo(dir / "ORDERS.DBM");
    const ToolRun r = RunBounded({"export", dir.Path().string(), "--out", out.Path().string()});
    ASSERT_FALSE(r.timedOut) << r.err;
    EXPECT_NE(r.status, -1) << "ended by signal " << r.signal;
    EXPECT_TRUE(IsFifo(dir / "ORDERS.DBM"));
}

TEST(HostileInputs, ExportNeverReadsADataFileOutsideTheDatabaseDirectory) {
    // The definition and the data of a form lie one level above the database, and its dictionary record
    // names them with "../".
    tw::TempDir root;
    tw::TempDir out;
    tw::WriteDatabase(root.Path(), {.Version = 5,
                                    .DictionaryName = "RDRROUTS.DBM",
                                    .Forms = {{.Name = "Secret",
                                               .DataFile = "SECRET.DB",
                                               .Fields = {tw::TextField("Code", 8)},
                                               .Records = {{.Values = {{"Code", "TOPSECRT"}}}}}}});
    fs::create_directories(root / "db");
    tw::WriteFile(
        root / "db" / "RDRRAAAA.DBM",
        tw::BuildDictionary(
            {.VersionByte = 5,
             .Forms = {
                 {.Name = "Secret", .RecordLength = 9, .RecordCount = 1, .DataFile = "../SECRET.DB"}}}));
    const ToolRun r = RunBounded({"export", (root / "db").string(), "--out", out.Path().string()});
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("form Secret: data file name ../SECRET.DB leaves the database directory"),
              std::string::npos)
        << r.err;
    for (const auto& entry : fs::directory_iterator(out.Path())) {
        EXPECT_EQ(tw::ReadFileText(entry.path()).find("TOPSECRT"), std::string::npos) << entry.path();
    }
    // Listing the form is harmless.
    const ToolRun forms = RunBounded({"forms", (root / "db").string(), "--all"});
    EXPECT_EQ(forms.status, 0) << forms.err;
    EXPECT_EQ(forms.out, "Secret\t../SECRET.DB\t9\t1\t0\t1\t\n");
}

} // namespace
} // namespace corvane
