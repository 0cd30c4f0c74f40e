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
        "[\n  {\"path\": \"RDRRAAAA.DBM\", \"file\": \"RDRRAAAA.DBM\", \"version\": 3, \"label\": \"4.x  \", "
        "\"name\": \"Accounts\"},\n"
        "  {\"path\": \"RDRRBAAA.DBM\", \"file\": \"RDRRBAAA.DBM\", \"version\": 6, \"label\": \"DfW  \", "
        "\"name\": \"Windows\"}\n]\n");
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
    EXPECT_NE(
        j.out.find("{\"name\": \"orders\", \"data_file\": \"ORDERS.DBM\", \"record_length\": 20, "
                   "\"record_count\": 4, \"system_form\": false, \"variant_level\": 0, \"object_file\": "
                   "\"\"}"),
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

// Names with a cp437 e-acute (0x82): JSON holds the character, text the stored byte unless asked.
TEST(JsonListings, OneKeyStyleAndNamesDecoded) {
    tw::TempDir dir;
    tw::WriteDatabase(
        dir.Path(),
        {.Version = 3,
         .Name = "Caf\x82",
         .Forms = {{.Name = "Cl\x82s",
                    .Fields = {tw::TextField("Pr\x82nom", 8), tw::ChoiceField("Etat", {"Fran\x87"
                                                                                       "ais",
                                                                                       "Autre"})}}}});
    const std::string db = (dir / "RDRRAAAA.DBM").string();
    const auto databases = RunTool({"databases", dir.Path().string(), "--json"});
    EXPECT_NE(databases.out.find("\"name\": \"Caf\xC3\xA9\"}"), std::string::npos) << databases.out;
    const auto forms = RunTool({"forms", db, "--json"});
    EXPECT_EQ(forms.status, 0) << forms.err;
    EXPECT_EQ(forms.out.rfind("[\n  {\"name\": \"Cl\xC3\xA9s\", \"data_file\": ", 0), 0U) << forms.out;
    EXPECT_EQ(forms.out.find("\\u00"), std::string::npos);
    const auto fields = RunTool({"fields", db, "-f", "Cl\x82s", "--json"});
    EXPECT_EQ(fields.status, 0) << fields.err;
    EXPECT_NE(
        fields.out.find("{\"name\": \"Pr\xC3\xA9nom\", \"field_type\": 1, \"length\": 8, \"sub_type\": "),
        std::string::npos)
        << fields.out;
    EXPECT_NE(fields.out.find("\"flag3\": false, \"flag7\": false, \"choices\": []}"), std::string::npos);
    EXPECT_NE(fields.out.find("\"choices\": [\"Fran\xC3\xA7"
                              "ais\", \"Autre\"]}"),
              std::string::npos)
        << fields.out;
    // Another code page when asked; text keeps the stored bytes unless asked.
    EXPECT_NE(RunTool({"forms", db, "--json", "-e", "cp1252"}).out.find("\"Cl\xE2\x80\x9As\""),
              std::string::npos);
    EXPECT_EQ(RunTool({"forms", db}).out, "Cl\x82s\n");
    EXPECT_EQ(RunTool({"forms", db, "--encoding=cp437"}).out, "Cl\xC3\xA9s\n");
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
        EXPECT_NE(r.err.find("usage: corvane-cli "), std::string::npos);
        EXPECT_NE(r.err.find("--help tells more"), std::string::npos);
    }
}

} // namespace
} // namespace corvane
