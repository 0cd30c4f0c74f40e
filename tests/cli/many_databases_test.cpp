// Many databases at once: the listing below a directory and the export of every database below it.

#include "cli/FaultSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace corvane {
namespace {

namespace tw = testwriter;
using namespace corvane::testing;

// A tree of sample databases: two nested, one beside them that is damaged, and a directory of two.
struct SampleTree {
    tw::TempDir root, out;
    fs::path Tree() const { return root / "tree"; }
    SampleTree() {
        for (const char* dir : {"a/b", "v7", "damaged", "two"}) {
            fs::create_directories(Tree() / dir);
        }
        CopySample("v3", Tree() / "a");
        CopySample("v6", Tree() / "a" / "b");
        CopySample("v7", Tree() / "v7");
        CopySample("v5", Tree() / "damaged");
        tw::WriteFile(Tree() / "damaged" / "RDRRAAAA.DBM", "only a few bytes");
        CopySample("v5", Tree() / "two");
        tw::WriteDatabase(Tree() / "two", {.Version = 6,
                                           .DictionaryName = "RDRRBAAA.DBM",
                                           .Name = "Second",
                                           .Forms = {{.Name = "Notes",
                                                      .Fields = {tw::TextField("Text", 10)},
                                                      .Records = {{.Values = {{"Text", "hello"}}}}}}});
    }
};

// The line "databases DIR" prints for the one database of dir, with path in front.
std::string ListingLine(const fs::path& dir, const std::string& path, const std::string& file = "") {
    const std::vector<std::string> lines = Lines(RunTool({"databases", dir.string()}).out);
    for (const std::string& line : lines) {
        if (file.empty() || line.rfind(file + "\t", 0) == 0) {
            return path + line.substr(line.find('\t'));
        }
    }
    return "<none>";
}

TEST(ManyDatabases, RecursiveListingShowsEveryDatabaseWithItsPathAndEveryDamagedOne) {
    SampleTree f;
    const ToolResult r = RunTool({"databases", f.Tree().string(), "--recursive"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, ListingLine(f.Tree() / "a", "a/RDRRAAAA.DBM") + "\n" +
                         ListingLine(f.Tree() / "a" / "b", "a/b/RDRRAAAA.DBM") + "\n" +
                         ListingLine(f.Tree() / "two", "two/RDRRAAAA.DBM", "RDRRAAAA.DBM") + "\n" +
                         "two/RDRRBAAA.DBM\t6\tSecond\n" + ListingLine(f.Tree() / "v7", "v7/RDRRAAAA.DBM") +
                         "\n");
    EXPECT_EQ(r.err,
              "corvane-cli: " + (f.Tree() / "damaged").string() + "/RDRRAAAA.DBM: Read beyond end of file\n");
    const ToolResult json = RunTool({"databases", f.Tree().string(), "-r", "--json"});
    EXPECT_NE(json.out.find("{\"path\": \"two/RDRRBAAA.DBM\", \"file\": \"RDRRBAAA.DBM\", \"version\": 6, "
                            "\"label\": \"DfW  \", \"name\": \"Second\"}"),
              std::string::npos)
        << json.out;
    // Without --recursive only DIR itself is looked at.
    const ToolResult flat = RunTool({"databases", f.Tree().string()});
    EXPECT_EQ(flat.status, 0);
    EXPECT_EQ(flat.out, "");
}

// The files below dir as "path: content" lines.
std::vector<std::string> Contents(const fs::path& dir) {
    std::vector<std::string> contents;
    for (const fs::path& file : FilesUnder(dir)) {
        contents.push_back(fs::relative(file, dir).generic_string() + ": " + tw::ReadFileText(file));
    }
    return contents;
}

TEST(ManyDatabases, RecursiveExportMirrorsTheTreeAndReportsEachDatabase) {
    SampleTree f;
    const fs::path one = f.out / "one";
    const ToolResult r =
        RunTool({"export", f.Tree().string(), "--recursive", "-o", one.string(), "--jobs", "1"},
                {"depath", "DEPATH"});
    EXPECT_EQ(r.status, 1) << r.err;
    // Each database's files are those of its own export.
    const fs::path single = f.out / "single";
    ASSERT_EQ(
        RunTool({"export", (f.Tree() / "a" / "b").string(), "-o", single.string()}, {"depath", "DEPATH"})
            .status,
        0);
    EXPECT_EQ(Contents(one / "a" / "b"), Contents(single));
    EXPECT_FALSE(Contents(single).empty());
    for (const char* dir : {"a", "v7", "two/RDRRAAAA", "two/RDRRBAAA"}) {
        EXPECT_TRUE(fs::is_directory(one / dir)) << dir;
    }
    EXPECT_EQ(tw::ReadFileText(one / "two" / "RDRRBAAA" / "Notes.csv"), "Text\r\n\"hello\"\r\n");
    EXPECT_FALSE(fs::exists(one / "damaged"));
    // One line for each database, and one for them all.
    const std::vector<std::string> lines = Lines(r.err);
    ASSERT_EQ(lines.size(), 7U) << r.err;
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "corvane-cli: " + (f.Tree() / "damaged").string() +
                            "/RDRRAAAA.DBM: Read beyond end of file"),
              lines.end())
        << r.err;
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "corvane-cli: two/RDRRBAAA.DBM: 1 of 1 forms exported to " + one.string() +
                            "/two/RDRRBAAA/ (1 records, created " + one.string() + "/two/RDRRBAAA/)"),
              lines.end())
        << r.err;
    EXPECT_EQ(lines.back(), "corvane-cli: 5 of 6 databases exported to " + one.string() + "/");
}

TEST(ManyDatabases, FourJobsWriteWhatOneJobWrites) {
    SampleTree f;
    for (const char* format : {"csv", "sqlite"}) {
        SCOPED_TRACE(format);
        const fs::path one = f.out / (std::string(format) + "1");
        const fs::path four = f.out / (std::string(format) + "4");
        const ToolResult r1 =
            RunTool({"export", f.Tree().string(), "-r", "-F", format, "-o", one.string(), "-j", "1"});
        const ToolResult r4 =
            RunTool({"export", f.Tree().string(), "-r", "-F", format, "-o", four.string(), "--jobs=4"});
        EXPECT_EQ(r1.status, 1);
        EXPECT_EQ(r4.status, 1);
        if (std::string(format) == "csv") {
            EXPECT_EQ(Contents(one), Contents(four));
        } else {
            // SQLite files carry no time or path, but compare them by name: their pages may be laid out
            // alike or not.
            std::vector<std::string> names1, names4;
            for (const fs::path& p : FilesUnder(one)) {
                names1.push_back(fs::relative(p, one).generic_string());
            }
            for (const fs::path& p : FilesUnder(four)) {
                names4.push_back(fs::relative(p, four).generic_string());
            }
            EXPECT_EQ(names1, names4);
            EXPECT_EQ(names1, (std::vector<std::string>{"a/b.sqlite", "a.sqlite", "two/RDRRAAAA.sqlite",
                                                        "two/RDRRBAAA.sqlite", "v7.sqlite"}));
        }
        std::vector<std::string> lines1 = Lines(r1.err), lines4 = Lines(r4.err);
        std::sort(lines1.begin(), lines1.end());
        std::sort(lines4.begin(), lines4.end());
        EXPECT_EQ(lines1.size(), lines4.size());
    }
    const ToolResult bad =
        RunTool({"export", f.Tree().string(), "-r", "-o", f.out.Path().string(), "-j", "0"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(Lines(bad.err).front(), "corvane-cli: --jobs takes a number from 1 to 256, not 0");
}

} // namespace
} // namespace corvane
