#include "cli/RunTool.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace corvane {
namespace {

namespace tw = testwriter;
namespace fs = std::filesystem;
using testing::RunTool;

std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A 4.x database with an ordinary form, a system form (definition under DEPath) and "users".
struct Sales4x {
    tw::TempDir dir, depath, out;
    Sales4x() {
        tw::WriteDatabase(
            dir.Path(),
            {.Version = 3,
             .Name = "Sales",
             .Forms = {{.Name = "Customers",
                        .Fields = {tw::TextField("Name", 8), tw::WholeNumber("Count", 2),
                                   tw::SixCharDate("Due Date")},
                        .Records =
                            {{.Values = {{"Name", "Ann"}, {"Count", 3}, {"Due Date", tw::Date{1997, 3, 15}}}},
                             {.Deleted = true, .Values = {{"Name", "Bob"}, {"Count", tw::Empty{}}}},
                             {.Values = {{"Name", "Cy"}, {"Count", tw::Empty{}}}}}},
                       {.Name = "users", .Fields = {tw::TextField("Login", 8)}}},
             .Configuration = tw::ConfigurationSpec{.DateOrder = 2, .CenturyCutoff = 50},
             .DEPathDir = depath.Path()});
    }
    std::string Db() const { return (dir / "RDRRAAAA.DBM").string(); }
    std::string Out() const { return out.Path().string(); }
    std::string Depath() const { return "depath=" + depath.Path().string(); }
};

TEST(ExportCommand, ExportsEveryListedFormSystemFormsUnderTheirOwnName) {
    Sales4x f;
    const auto r = RunTool({"export", f.Db(), "--out", f.Out()}, {f.Depath(), "DEPATH"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Entries(f.out.Path()), (std::vector<std::string>{"Configuration.csv", "Customers.csv"}));
    EXPECT_EQ(tw::ReadFileText(f.out / "Customers.csv"),
              "Name,Count,Due_Date\r\n\"Ann\",3,15/03/1997\r\n\"Cy\",0,\r\n");
    EXPECT_NE(r.err.find("2 of 2 forms exported to " + f.Out() + "/"), std::string::npos) << r.err;
}

TEST(ExportCommand, WithoutDEPathSystemFormsAreNotListed) {
    Sales4x f;
    const auto r = RunTool({"export", f.Db(), "--out", f.Out()}, {"depath", "DEPATH"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Entries(f.out.Path()), std::vector<std::string>{"Customers.csv"});
}

TEST(ExportCommand, OptionsMapAsTheMainWindowMapsThem) {
    Sales4x f;
    const auto r = RunTool({"export", f.Db(), "--out", f.Out(), "--form", "Customers", "--ext", "txt",
                            "--delimiter", ";", "--quote-headings", "--dates", "american", "--numeric-null",
                            "blank", "--records", "all"},
                           {f.Depath()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(tw::ReadFileText(f.out / "Customers.txt"),
              "\"Name\";\"Count\";\"Due_Date\"\r\n\"Ann\";3;03/15/1997\r\n\"Bob\";;\r\n\"Cy\";;\r\n");
}

TEST(ExportCommand, RecordsApplyOnlyToAnEntryWithoutASelection) {
    Sales4x f;
    const auto r = RunTool({"export", f.Db(), "--out", f.Out(), "--form", "Customers", "--form",
                            "Customers=L", "--records", "deleted"},
                           {f.Depath()});
    EXPECT_EQ(r.status, 0) << r.err;
    // Both entries name Customers: the later one gets a file of its own, and the summary says which.
    EXPECT_EQ(tw::ReadFileText(f.out / "Customers.csv"), "Name,Count,Due_Date\r\n\"Bob\",0,\r\n");
    EXPECT_EQ(tw::ReadFileText(f.out / "Customers_2.csv"),
              "Name,Count,Due_Date\r\n\"Ann\",3,15/03/1997\r\n\"Cy\",0,\r\n");
    EXPECT_NE(r.err.find("Customers -> Customers_2.csv"), std::string::npos) << r.err;
    const auto d =
        RunTool({"export", f.Db(), "--out", f.Out(), "--form", "Customers", "--records", "deleted"});
    EXPECT_EQ(tw::ReadFileText(f.out / "Customers.csv"), "Name,Count,Due_Date\r\n\"Bob\",0,\r\n");
}

TEST(ExportCommand, UsageErrorsGiveStatusTwo) {
    Sales4x f;
    const std::vector<std::vector<std::string>> cases = {
        {"export", f.Db(), "--out", f.Out(), "--ext", "abcd"},
        {"export", f.Db(), "--out", f.Out(), "--delimiter", ";;"},
        {"export", f.Db(), "--out", f.Out(), "--dates", "french"},
        {"export", f.Db(), "--out", f.Out(), "--numeric-null", "none"},
        {"export", f.Db(), "--out", f.Out(), "--records", "some"},
        {"export", f.Db(), "--out", f.Out(), "--bogus"},
        {"export", f.Db()},
        {"export", "--out", f.Out()},
        {"export", f.Db(), "--out"},
        {"fields", f.Db()},
        {"fields", "--form", "Customers"},
    };
    for (const auto& args : cases) {
        const auto r = RunTool(args);
        EXPECT_EQ(r.status, 2) << args.back() << ": " << r.err;
        EXPECT_NE(r.err.find("usage: corvane-cli"), std::string::npos);
    }
    EXPECT_TRUE(Entries(f.out.Path()).empty());
}

TEST(ExportCommand, UnknownFormFailsButTheRunGoesOn) {
    Sales4x f;
    const auto r = RunTool({"export", f.Db(), "--out", f.Out(), "--form", "Nobody", "--form", "Customers"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Table Nobody doesn't exist.\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 of 2 forms exported"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(f.out / "Customers.csv"));
}

TEST(ExportCommand, AMissingOutputDirectoryIsCreated) {
    Sales4x f;
    const auto r = RunTool({"export", f.Db(), "--out", (f.out / "missing").string(), "--form", "Customers"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(f.out / "missing" / "Customers.csv"));
    EXPECT_NE(r.err.find(", created " + (f.out / "missing").string() + "/)\n"), std::string::npos) << r.err;
}

// A form that fails is reported on its own line and the run goes on with the next.
TEST(ExportCommand, DEPathNotDefinedFailsThatFormAndTheRunGoesOn) {
    Sales4x f;
    const auto r =
        RunTool({"export", f.Db(), "--out", f.Out(), "--form", "Configuration", "--form", "Customers"},
                {"depath", "DEPATH"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Configuration: DEPath is not defined\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 of 2 forms exported"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(", 1 failed"), std::string::npos) << r.err;
    EXPECT_EQ(Entries(f.out.Path()), std::vector<std::string>{"Customers.csv"});
}

TEST(ExportCommand, ShortDataFileWarnsWithFormNameAndBothCounts) {
    tw::TempDir dir, out;
    tw::WriteDatabase(dir.Path(), {.Version = 5,
                                   .Forms = {{.Name = "Short",
                                              .RecordCount = 4,
                                              .Fields = {tw::TextField("N", 2)},
                                              .Records = {{.Values = {{"N", "a"}}}}}}});
    const auto r = RunTool({"export", dir.Path().string(), "--out", out.Path().string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("form Short: the data file holds 1 whole records of 4"), std::string::npos) << r.err;
    EXPECT_EQ(tw::ReadFileText(out / "Short.csv"), "N\r\n\"a\"\r\n");
}

TEST(ExportCommand, ADefinitionWithoutFieldsIsAFailureNotASuccess) {
    tw::TempDir dir, out;
    tw::WriteDatabase(dir.Path(), {.Version = 5,
                                   .Forms = {{.Name = "Broken",
                                              .Fields = {tw::TextField("N", 2)},
                                              .Records = {{.Values = {{"N", "a"}}}},
                                              .WriteDefinition = false},
                                             {.Name = "Good",
                                              .Fields = {tw::TextField("N", 2)},
                                              .Records = {{.Values = {{"N", "b"}}}}}}});
    // A definition cut short after its header: it reads, but holds no field.
    tw::WriteFile(dir / "BROKEN.tdf",
                  tw::BuildDefinition5x({.Fields = {tw::TextField("N", 2)}, .TruncateTo = 30}));
    const auto r = RunTool({"export", dir.Path().string(), "--out", out.Path().string()});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("corvane-cli: Broken: definition file BROKEN.tdf is damaged: it gives no field to "
                         "export; " +
                         out.Dir() + "Broken.csv holds no columns\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("1 of 2 forms exported"), std::string::npos) << r.err;
    // The files themselves are what the window writes: an empty heading line and an empty line per record.
    EXPECT_EQ(tw::ReadFileText(out / "Broken.csv"), "\r\n\r\n");
    EXPECT_EQ(tw::ReadFileText(out / "Good.csv"), "N\r\n\"b\"\r\n");
}

TEST(ExportCommand, DayCountsUseTheLocaleOrTheGivenShortDateFormat) {
    tw::TempDir dir, out;
    tw::WriteDatabase(dir.Path(), {.Version = 7,
                                   .Forms = {{.Name = "Days",
                                              .Fields = {tw::DayCountDate("D")},
                                              .Records = {{.Values = {{"D", tw::Date{1998, 11, 14}}}}}}}});
    const auto c = RunTool({"export", dir.Path().string(), "--out", out.Path().string(), "--form", "Days"},
                           {"LC_ALL", "LANG", "LC_TIME=C"});
    EXPECT_EQ(c.status, 0) << c.err;
    // The C locale's %m/%d/%y, with the year widened to four digits.
    EXPECT_EQ(tw::ReadFileText(out / "Days.csv"), "D\r\n11/14/1998\r\n");
    const auto g = RunTool({"export", dir.Path().string(), "--out", out.Path().string(), "--form", "Days",
                            "--short-date-format", "%d.%m.%Y"});
    EXPECT_EQ(g.status, 0) << g.err;
    EXPECT_EQ(tw::ReadFileText(out / "Days.csv"), "D\r\n14.11.1998\r\n");
}

TEST(FieldsCommand, ListsTheFieldsInDefinitionOrder) {
    tw::TempDir dir;
    tw::FieldDef key = tw::WholeNumber("Key", 2);
    key.Flags = 0x08;
    tw::FieldDef hidden = tw::TextField("Hidden", 3);
    hidden.Flags = 0x80;
    tw::WriteDatabase(dir.Path(),
                      {.Version = 3,
                       .Forms = {{.Name = "Stock",
                                  .Fields = {tw::TextField("Item", 6), key, tw::FixedPoint("Price", 7, 4),
                                             tw::ChoiceField("Colour", {"Red", "Gr\xe9y"}), hidden}}}});
    const auto r = RunTool({"fields", dir.Path().string(), "--form", "stock"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Item\t1\t6\t0\t0\t1\t6\t0\t0\t\n"
                     "Key\t3\t5\t0\t5\t7\t2\t1\t0\t\n"
                     "Price\t3\t7\t1\t4\t9\t8\t0\t0\t\n"
                     "Colour\t8\t1\t0\t0\t17\t1\t0\t0\tRed|Gr\xe9y\n"
                     "Hidden\t1\t3\t0\t0\t18\t3\t0\t1\t\n");
    const auto j = RunTool({"fields", dir.Path().string(), "--form", "Stock", "--json"});
    EXPECT_EQ(j.status, 0) << j.err;
    EXPECT_NE(
        j.out.find(
            "{\"name\": \"Colour\", \"field_type\": 8, \"length\": 1, \"sub_type\": 0, \"int_digits\": 0, "
            "\"offset\": 17, \"size\": 1, \"flag3\": false, \"flag7\": false, \"choices\": [\"Red\", "
            "\"Gr\xCE\x98y\"]}"),
        std::string::npos)
        << j.out;
    const auto missing = RunTool({"fields", dir.Path().string(), "--form", "Nothing"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no form Nothing"), std::string::npos) << missing.err;
}

} // namespace
} // namespace corvane
