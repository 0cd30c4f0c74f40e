#include "cli/RunTool.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace corvane {
namespace {

namespace tw = testwriter;
using testing::RunTool;

// Two databases in one directory: a 4.x one with a system form, and a DfW one with a variant.
struct TwoDatabases {
    tw::TempDir dir;
    TwoDatabases() {
        tw::WriteFile(
            dir / "RDRRAAAA.DBM",
            tw::BuildDictionary(
                {.VersionByte = 2,
                 .DatabaseName = "Accounts",
                 .Forms = {{.Name = "orders", .RecordLength = 20, .RecordCount = 4, .DataFile = "ORDERS.DBM"},
                           {.Name = "Configuration", .DataFile = "CONFIGUR.DBM", .Flags = 1},
                           {.Name = "Users", .DataFile = "USERS.DBM"},
                           {.Name = "Balance", .DataFile = "BALANCE.DBM"}}}));
        tw::WriteDatabase(dir.Path(),
                          {.Version = 6,
                           .DictionaryName = "RDRRBAAA.DBM",
                           .Name = "Windows",
                           .Forms = {{.Name = "Customers", .Fields = {tw::TextField("Name", 10)}}},
                           .Variants = {{.Name = "Customer View", .BaseForm = "Customers"}}});
    }
};

TEST(DatabasesCommand, ListsEveryDictionaryWithVersionAndName) {
    TwoDatabases f;
    const auto r = RunTool({"databases", f.dir.Path().string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "RDRRAAAA.DBM\t3\tAccounts\nRDRRBAAA.DBM\t6\tWindows\n");
    const auto j = RunTool({"databases", f.dir.Path().string(), "--json"});
    EXPECT_EQ(j.status, 0) << j.err;
    EXPECT_EQ(
        j.out,
        "[\n  {\"file\": \"RDRRAAAA.DBM\", \"version\": 3, \"label\": \"4.x  \", \"name\": \"Accounts\"},\n"
        "  {\"file\": \"RDRRBAAA.DBM\", \"version\": 6, \"label\": \"DfW  \", \"name\": \"Windows\"}\n]\n");
}

TEST(DatabasesCommand, ListsEveryReadableDictionaryAndReportsABadOne) {
    TwoDatabases f;
    tw::WriteFile(f.dir / "RDRRAAAA.DBM", "xx");
    const auto r = RunTool({"databases", f.dir.Path().string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "RDRRBAAA.DBM\t6\tWindows\n");
    EXPECT_EQ(r.err, "corvane-cli: " + f.dir.Dir() + "RDRRAAAA.DBM: Read beyond end of file\n");
}

TEST(FormsCommand, ListsAsTheMainWindowWould) {
    TwoDatabases f;
    const std::string db = (f.dir / "RDRRAAAA.DBM").string();
    // 4.x: system forms only while depath is set, then with a leading blank and first; "users" never.
    auto r = RunTool({"forms", db}, {"depath", "DEPATH"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Balance\norders\n");
    r = RunTool({"forms", db}, {"depath=/opt/dease"});
    EXPECT_EQ(r.out, " Configuration\nBalance\norders\n");
    r = RunTool({"forms", db}, {"depath", "DEPATH=/opt/dease"});
    EXPECT_EQ(r.out, " Configuration\nBalance\norders\n");
    r = RunTool({"forms", db, "--depath", "/elsewhere"}, {"depath", "DEPATH"});
    EXPECT_EQ(r.out, " Configuration\nBalance\norders\n");
    // DfW code 6: the forms the Application Objects name are user forms; the variant is listed too.
    r = RunTool({"forms", (f.dir / "RDRRBAAA.DBM").string()}, {"depath=/opt/dease"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Customer View\nCustomers\n");
}

TEST(FormsCommand, AllListsTheCatalogueInOrder) {
    TwoDatabases f;
    const auto r = RunTool({"forms", (f.dir / "RDRRAAAA.DBM").string(), "--all"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Balance\tBALANCE.DBM\t0\t0\t0\t0\t\n"
                     "Configuration\tCONFIGUR.DBM\t0\t0\t1\t0\t\n"
                     "orders\tORDERS.DBM\t20\t4\t0\t0\t\n"
                     "Users\tUSERS.DBM\t0\t0\t0\t0\t\n");
    const auto j = RunTool({"forms", (f.dir / "RDRRAAAA.DBM").string(), "--all", "--json"});
    EXPECT_NE(j.out.find("{\"Name\": \"orders\", \"DataFile\": \"ORDERS.DBM\", \"RecordLength\": 20, "
                         "\"RecordCount\": 4, \"SystemForm\": 0, \"VariantLevel\": 0, \"ObjectFile\": \"\"}"),
              std::string::npos)
        << j.out;
}

TEST(FormsCommand, DirectoryArgumentNeedsExactlyOneDictionary) {
    TwoDatabases f;
    auto r = RunTool({"forms", f.dir.Path().string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "corvane-cli: " + f.dir.Path().string() +
                  ": several databases in this directory (RDRRAAAA.DBM, RDRRBAAA.DBM); name the dictionary "
                  "file\n");
    std::filesystem::remove(f.dir / "RDRRBAAA.DBM");
    r = RunTool({"forms", f.dir.Path().string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Balance\norders\n");
    tw::TempDir empty;
    r = RunTool({"forms", empty.Path().string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "corvane-cli: " + empty.Path().string() +
                         ": no DataEase dictionary (rdrr?aaa.dbm) in this directory\n");
}

TEST(FormsCommand, ErrorsAreOneLineWithStatusOne) {
    tw::TempDir dir;
    tw::WriteFile(dir / "RDRRAAAA.DBM", "abc");
    struct Case {
        std::string argument;
        std::string message;
    };
    const Case cases[] = {
        {(dir / "RDRRZAAA.DBM").string(), (dir / "RDRRZAAA.DBM").string() + ": File not found"},
        {(dir / "RDRRAAAA.DBM").string(), dir.Dir() + "RDRRAAAA.DBM: Read beyond end of file"},
    };
    for (const Case& c : cases) {
        const auto r = RunTool({"forms", c.argument});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "corvane-cli: " + c.message + "\n");
        EXPECT_EQ(r.out, "");
    }
}

TEST(Cli, UsageErrorsExitWithTwoAndPrintTheUsage) {
    const std::vector<std::vector<std::string>> cases = {{},
                                                         {"frobnicate"},
                                                         {"forms"},
                                                         {"forms", "a", "b"},
                                                         {"forms", "x", "--bogus"},
                                                         {"databases"},
                                                         {"forms", "x", "--depath"}};
    for (const auto& args : cases) {
        const auto r = RunTool(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("usage: corvane-cli COMMAND"), std::string::npos);
    }
}

} // namespace
} // namespace corvane
