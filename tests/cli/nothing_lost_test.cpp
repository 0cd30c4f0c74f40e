// The export through the real command line, for every format: odd form names and failing re-exports never
// lose a record or an earlier file, and never report a failure as success.

#include "cli/RunTool.h"
#include "tools/testwriter/TestWriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace corvane {
namespace {

namespace tw = testwriter;
namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::RunTool;

std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Every row of a query as "a|b|c" lines.
std::string QueryRows(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return "<cannot open>";
    }
    std::string rows;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        rows = std::string("<") + sqlite3_errmsg(db) + ">";
    }
    while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW) {
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            const unsigned char* text = sqlite3_column_text(stmt, i);
            rows += (i == 0 ? "" : "|") + std::string(text ? reinterpret_cast<const char*>(text) : "NULL");
        }
        rows += "\n";
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

tw::FormSpec Form(std::string name, std::string dataFile, std::string value) {
    return {.Name = std::move(name),
            .DataFile = std::move(dataFile),
            .Fields = {tw::TextField("N", 8)},
            .Records = {{.Values = {{"N", std::move(value)}}}}};
}

// Forms whose names clash, hold "=", a "/" or a NUL.
struct OddNames {
    tw::TempDir dir, out;
    OddNames() {
        tw::WriteDatabase(
            dir.Path(),
            {.Version = 3,
             .Forms = {Form("Sales", "SALES.DBM", "sales"), Form("Sales=Q3", "SALESQ3.DBM", "q3"),
                       Form("P/O", "PSLASHO.DBM", "slash"), Form("PO", "PO.DBM", "po"),
                       Form("Customers", "CUST1.DBM", "lower"), Form("CUSTOMERS", "CUST2.DBM", "upper"),
                       Form(std::string("AB\0CD", 5), "ABCD.DBM", "cd"),
                       Form(std::string("AB\0EF", 5), "ABEF.DBM", "ef")}});
    }
    std::string Db() const { return dir.Path().string(); }
};

TEST(NothingLost, EveryFormOfOddNamesExportsIntoAFileOfItsOwn) {
    OddNames f;
    const std::vector<std::string> values = {"sales", "q3", "slash", "po", "lower", "upper", "cd", "ef"};
    // csv and jsonl: a file each, holding its own form's records.
    for (const std::string format : {"csv", "jsonl"}) {
        SCOPED_TRACE(format);
        const fs::path out = f.out / format;
        fs::create_directory(out);
        const auto r = RunTool({"export", f.Db(), "--out", out.string(), "--format", format});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_THAT(r.err, HasSubstr("8 of 8 forms exported"));
        EXPECT_THAT(r.err, HasSubstr("CUSTOMERS -> CUSTOMERS_2." + format));
        const std::vector<std::string> files = Entries(out);
        ASSERT_EQ(files.size(), 8u) << ::testing::PrintToString(files);
        std::string all;
        for (const std::string& file : files) {
            all += tw::ReadFileText(out / file);
        }
        for (const std::string& value : values) {
            EXPECT_THAT(all, HasSubstr("\"" + value + "\"")) << value;
        }
        EXPECT_THAT(tw::ReadFileText(out / ("Sales=Q3." + format)), HasSubstr("q3"));
        EXPECT_THAT(tw::ReadFileText(out / ("AB_EF." + format)), HasSubstr("ef"));
    }
    // sqlite: a table each.
    const std::string file = (f.out / "all.sqlite").string();
    const auto r = RunTool({"export", f.Db(), "--out", file, "--format", "sqlite"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(QueryRows(file, "SELECT N FROM \"Sales=Q3\""), "q3\n");
    EXPECT_EQ(QueryRows(file, "SELECT N FROM \"CUSTOMERS_2\""), "upper\n");
    EXPECT_EQ(QueryRows(file, "SELECT count(*) FROM _forms WHERE error IS NULL"), "8\n");
    // --form with the exact name is that form.
    fs::create_directory(f.out / "one");
    const auto again = RunTool({"export", f.Db(), "--out", (f.out / "one").string(), "--form", "Sales=Q3"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(tw::ReadFileText(f.out / "one" / "Sales=Q3.csv"), "N\r\n\"q3\"\r\n");
}

TEST(NothingLost, ControlCharactersAreEscapedOnTheTerminal) {
    OddNames f;
    const auto r = RunTool({"forms", f.Db()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("AB\\x00CD\n"));
    EXPECT_EQ(r.out.find('\0'), std::string::npos);
}

// A failing re-export leaves the earlier good file, and the failure is reported as one.
TEST(NothingLost, AFailedExportKeepsTheEarlierFile) {
    tw::TempDir dir, out;
    tw::WriteDatabase(dir.Path(), {.Version = 5,
                                   .Forms = {Form("Orders/Returns", "ORDERRET.DBM", "r"),
                                             Form("Customers", "CUSTOMER.DBM", "c")}});
    for (const std::string format : {"csv", "jsonl"}) {
        SCOPED_TRACE(format);
        const std::string stem = (out / "OrdersReturns.").string() + format;
        ASSERT_EQ(
            RunTool({"export", dir.Path().string(), "--out", out.Path().string(), "--format", format}).status,
            0);
        const std::string good = tw::ReadFileText(stem);
        // No such form: the stem of another form's file is not a form name.
        const auto missing = RunTool({"export", dir.Path().string(), "--out", out.Path().string(), "--format",
                                      format, "--form", "OrdersReturns"});
        EXPECT_EQ(missing.status, 1);
        EXPECT_THAT(missing.err, HasSubstr("Table OrdersReturns doesn't exist."));
        EXPECT_EQ(tw::ReadFileText(stem), good);
        // A data file that cannot be read (here a directory in its place).
        fs::rename(dir / "ORDERRET.DBM", dir / "ORDERRET.BAK");
        fs::create_directory(dir / "ORDERRET.DBM");
        const auto unreadable =
            RunTool({"export", dir.Path().string(), "--out", out.Path().string(), "--format", format});
        EXPECT_EQ(unreadable.status, 1);
        EXPECT_THAT(unreadable.err, HasSubstr("Orders/Returns: "));
        EXPECT_THAT(unreadable.err, HasSubstr("1 of 2 forms exported"));
        EXPECT_EQ(tw::ReadFileText(stem), good);
        fs::remove(dir / "ORDERRET.DBM");
        fs::rename(dir / "ORDERRET.BAK", dir / "ORDERRET.DBM");
    }
    // sqlite: the failed form is listed with its error, the exported one is in the file, exit 1.
    fs::rename(dir / "ORDERRET.DBM", dir / "ORDERRET.BAK");
    fs::create_directory(dir / "ORDERRET.DBM");
    const std::string file = (out / "all.sqlite").string();
    const auto r = RunTool({"export", dir.Path().string(), "--out", file, "--format", "sqlite"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(
        QueryRows(file, "SELECT form_name, table_name, error IS NOT NULL FROM _forms ORDER BY form_name"),
        "Customers|Customers|0\nOrders/Returns|NULL|1\n");
}

TEST(NothingLost, TheDatabaseOwnFilesAreNeverReplaced) {
    tw::TempDir dir;
    tw::WriteDatabase(dir.Path(), {.Version = 5, .Forms = {Form("CUSTOMER", "CUSTOMER.DBM", "c")}});
    const std::string before = tw::ReadFileText(dir / "CUSTOMER.DBM");
    const std::vector<std::vector<std::string>> cases = {
        {"export", dir.Path().string(), "--out", dir.Path().string(), "--ext", "DBM"},
        {"export", dir.Path().string(), "--out", dir.Path().string(), "--format", "jsonl"},
        {"export", dir.Path().string(), "--out", (dir / "CUSTOMER.DBM").string(), "--format", "sqlite"},
    };
    for (const auto& args : cases) {
        const auto r = RunTool(args);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_THAT(r.err, HasSubstr("refusing to write into"));
    }
    EXPECT_EQ(tw::ReadFileText(dir / "CUSTOMER.DBM"), before);
}

TEST(NothingLost, ExtensionsAndDelimitersThatCannotWorkAreUsageErrors) {
    tw::TempDir dir, out;
    tw::WriteDatabase(dir.Path(), {.Version = 5, .Forms = {Form("", "BLANK.DBM", "b")}});
    for (const std::vector<std::string>& extra : {std::vector<std::string>{"--ext", "./x"},
                                                  {"--ext", ".."},
                                                  {"--delimiter", "\""},
                                                  {"--delimiter", "\r"}}) {
        std::vector<std::string> args = {"export", dir.Path().string(), "--out", out.Path().string()};
        args.insert(args.end(), extra.begin(), extra.end());
        const auto r = RunTool(args);
        EXPECT_EQ(r.status, 2) << extra.back() << ": " << r.err;
    }
    EXPECT_TRUE(Entries(out.Path()).empty());
    EXPECT_FALSE(fs::exists(dir.Path().parent_path() / "x")) << "nothing above --out";
    // A blank form name still gets a file inside --out.
    ASSERT_EQ(RunTool({"export", dir.Path().string(), "--out", out.Path().string()}).status, 0);
    EXPECT_EQ(Entries(out.Path()), std::vector<std::string>{"form.csv"});
}

// A DfW database on a machine without DataEase: the system form's definition is nowhere, and the ordinary
// forms export all the same.
TEST(NothingLost, AMissingSystemDefinitionDoesNotStopTheOrdinaryForms) {
    tw::TempDir dir, out;
    tw::WriteDatabase(dir.Path(),
                      {.Version = 7,
                       .Forms = {Form("Customers", "CUSTOMER.DBM", "c"), Form("Orders", "ORDERS.DBM", "o")},
                       .Configuration = tw::ConfigurationSpec{}});
    const auto csv = RunTool({"export", dir.Path().string(), "--out", out.Path().string()});
    EXPECT_EQ(csv.status, 0) << csv.err;
    EXPECT_THAT(csv.err, HasSubstr("Configuration: left out"));
    EXPECT_THAT(csv.err, HasSubstr("--depath DIR"));
    EXPECT_THAT(Entries(out.Path()), ::testing::IsSupersetOf({"Customers.csv", "Orders.csv"}));
    const std::string file = (out / "all.sqlite").string();
    const auto sqlite = RunTool({"export", dir.Path().string(), "--out", file, "--format", "sqlite"});
    EXPECT_EQ(sqlite.status, 0) << sqlite.err;
    EXPECT_EQ(QueryRows(file, "SELECT N FROM Orders"), "o\n");
    // Named with --form it is an error, as it always was.
    const auto named =
        RunTool({"export", dir.Path().string(), "--out", out.Path().string(), "--form", "Configuration"});
    EXPECT_EQ(named.status, 1);
}

} // namespace
} // namespace corvane
