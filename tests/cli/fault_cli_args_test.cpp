// Bad command lines: each gives one clear first line on standard error and status 2 (a usage error, with the
// usage) or 1 (a database that is missing or of another kind).

#include "cli/FaultSupport.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

namespace tw = testwriter;
using namespace corvane::testing;

struct BadCommandLine {
    const char* what;
    std::vector<std::string> args; // "DB" stands for a sample database, "OUT" for a writable directory,
                                   // "OTHER" for a file of another kind named like a dictionary
    int status;
    std::string firstLine; // "DB", "OUT" and "OTHER" replaced as in args
};

const BadCommandLine kCases[] = {
    {"unknown command", {"frobnicate"}, 2, "corvane-cli: unknown command frobnicate"},
    {"unknown option of forms", {"forms", "DB", "--bogus"}, 2, "corvane-cli: unknown option --bogus"},
    {"unknown option of export",
     {"export", "DB", "--out", "OUT", "--colour"},
     2,
     "corvane-cli: unknown option --colour"},
    {"two databases", {"forms", "DB", "DB"}, 2, "corvane-cli: forms takes one database"},
    {"no database", {"forms"}, 2, "corvane-cli: forms needs a database"},
    {"delimiter of several characters",
     {"export", "DB", "--out", "OUT", "--delimiter", ";;"},
     2,
     "corvane-cli: --delimiter takes one character: ;;"},
    {"delimiter missing",
     {"export", "DB", "--out", "OUT", "--delimiter"},
     2,
     "corvane-cli: --delimiter needs a character"},
    {"extension of four characters",
     {"export", "DB", "--out", "OUT", "--ext", "text"},
     2,
     "corvane-cli: --ext takes at most 3 characters: text"},
    {"unknown date order",
     {"export", "DB", "--out", "OUT", "--dates", "julian"},
     2,
     "corvane-cli: --dates takes british, american, metric or iso, not julian"},
    {"unknown numeric null",
     {"export", "DB", "--out", "OUT", "--numeric-null", "maybe"},
     2,
     "corvane-cli: --numeric-null takes zero or blank"},
    {"export without --out", {"export", "DB"}, 2, "corvane-cli: export needs --out DIR"},
    {"database that does not exist",
     {"export", "/nonexistent-corvane/db", "--out", "OUT"},
     1,
     "corvane-cli: /nonexistent-corvane/db: File not found"},
    {"file of another kind", {"forms", "OTHER"}, 1, "corvane-cli: OTHER: Read beyond end of file"},
    {"file of another kind, export",
     {"export", "OTHER", "--out", "OUT"},
     1,
     "corvane-cli: OTHER: Read beyond end of file"},
};

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
        s.replace(at, from.size(), to);
    }
    return s;
}

TEST(BadCommandLines, GiveAClearMessageAndStatus) {
    tw::TempDir out;
    tw::TempDir other;
    const std::string otherFile = (other / "RDRRAAAA.DBM").string();
    tw::WriteFile(otherFile, "hello, this is a note, not a database\n");
    const std::string db = SampleDirectory("v5").string();
    for (const BadCommandLine& c : kCases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args;
        for (const std::string& a : c.args) {
            args.push_back(a == "DB" ? db : a == "OUT" ? out.Path().string() : a == "OTHER" ? otherFile : a);
        }
        const ToolRun run = RunToolWith(args, {});
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.status, c.status) << run.err;
        const std::vector<std::string> lines = Lines(run.err);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front(), Replace(c.firstLine, "OTHER", otherFile));
        if (c.status == 2) {
            EXPECT_NE(run.err.find("usage: corvane-cli"), std::string::npos) << run.err;
        } else {
            EXPECT_EQ(lines.size(), 1U) << run.err;
        }
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(fs::is_empty(out.Path()));
    }
}

TEST(BadCommandLines, DirectoryWithoutADatabase) {
    tw::TempDir empty;
    const ToolRun run = RunToolWith({"forms", empty.Path().string()}, {});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "corvane-cli: " + empty.Path().string() +
                           ": no DataEase dictionary (rdrr?aaa.dbm) in this directory\n");
}

} // namespace
} // namespace corvane
