#include "cli/RunTool.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>

namespace corvane {
namespace {

namespace tw = testwriter;
using testing::RunTool;

// A 4.x form with a cp437 e-acute (0x82) and a DfW form with a cp1252 e-acute (0xE9) in a text value.
struct AccentedDatabases {
    tw::TempDir dir;
    AccentedDatabases() {
        tw::WriteDatabase(dir / "v3",
                          {.Version = 3,
                           .Name = "Accents",
                           .Forms = {{.Name = "People",
                                      .Fields = {tw::TextField("Name", 12), tw::WholeNumber("Age", 2)},
                                      .Records = {{.Values = {{"Name", "Ren\x82"}, {"Age", 41}}},
                                                  {.Values = {{"Name", "Ann"}, {"Age", tw::Empty{}}}},
                                                  {.Deleted = true, .Values = {{"Name", "Old"}}}}}}});
        tw::WriteDatabase(dir / "v6", {.Version = 6,
                                       .Name = "Accents",
                                       .Forms = {{.Name = "People",
                                                  .Fields = {tw::TextField("Name", 12)},
                                                  .Records = {{.Values = {{"Name", "Ren\xE9"}}}}}}});
    }
    std::string Db(const char* v) const { return (dir / v).string(); }
};

std::string QueryOne(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return "<cannot open>";
    }
    std::string result = "<no row>";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(stmt, 0);
        result = text != nullptr ? reinterpret_cast<const char*>(text) : "<null>";
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

TEST(ExportFormats, SqliteHoldsTypedValuesWithReadableAccents) {
    AccentedDatabases f;
    const std::string out = (f.dir / "people.sqlite").string();
    const auto r = RunTool({"export", f.Db("v3"), "--format", "sqlite", "--out", out, "--records", "all"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(QueryOne(out, "SELECT Name FROM People WHERE Age = 41"), "Ren\xC3\xA9");
    EXPECT_EQ(QueryOne(out, "SELECT typeof(Age) FROM People WHERE Name = 'Ann'"), "null");
    EXPECT_EQ(QueryOne(out, "SELECT count(*) FROM People WHERE _deleted = 1"), "1");
    EXPECT_EQ(QueryOne(out, "SELECT version || ' ' || record_count FROM _forms WHERE form_name = 'People'"),
              "3 3");
    // The DfW default is cp1252.
    const std::string out6 = (f.dir / "six.sqlite").string();
    ASSERT_EQ(RunTool({"export", f.Db("v6"), "--format", "sqlite", "--out", out6}).status, 0);
    EXPECT_EQ(QueryOne(out6, "SELECT Name FROM People"), "Ren\xC3\xA9");
}

TEST(ExportFormats, JsonLinesWritesOneObjectPerRecord) {
    AccentedDatabases f;
    const std::string out = (f.dir / "jsonl").string();
    std::filesystem::create_directory(out);
    const auto r = RunTool({"export", f.Db("v3"), "--format", "jsonl", "--out", out});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = tw::ReadFileText(f.dir / "jsonl" / "People.jsonl");
    EXPECT_EQ(text, "{\"Name\":\"Ren\xC3\xA9\",\"Age\":41}\n{\"Name\":\"Ann\",\"Age\":null}\n");
    EXPECT_EQ(text.find("Old"), std::string::npos) << "deleted records are not exported by default";
}

TEST(ExportFormats, EncodingConvertsTheDelimitedExportAndRawKeepsTheBytes) {
    AccentedDatabases f;
    const std::string out = (f.dir / "csv").string();
    std::filesystem::create_directory(out);
    ASSERT_EQ(RunTool({"export", f.Db("v3"), "--out", out}).status, 0);
    EXPECT_EQ(tw::ReadFileText(f.dir / "csv" / "People.csv"), "Name,Age\r\n\"Ren\x82\",41\r\n\"Ann\",0\r\n");
    const auto r = RunTool({"export", f.Db("v3"), "--out", out, "--encoding", "cp437"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(tw::ReadFileText(f.dir / "csv" / "People.csv"),
              "Name,Age\r\n\"Ren\xC3\xA9\",41\r\n\"Ann\",0\r\n");
}

TEST(ExportFormats, BadFormatOrEncodingIsAUsageError) {
    AccentedDatabases f;
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"export", f.Db("v3"), "--out", "x", "--format", "xml"},
                                               {"export", f.Db("v3"), "--out", "x", "--encoding", "klingon"},
                                               {"export", f.Db("v3"), "--out", "x", "--format"}}) {
        const auto r = RunTool(args);
        EXPECT_EQ(r.status, 2) << args.back() << ": " << r.err;
        EXPECT_NE(r.err.find("corvane-cli: "), std::string::npos);
    }
}

// The one-file formats of the build, each through the same run: one file named by --out.
TEST(ExportFormats, WorkbookAndScriptOfASampleDatabase) {
    tw::TempDir out;
    const std::string db = std::string(CORVANE_SOURCE_DIR) + "/examples/v5";
    const std::string script = (out / "v5.sql").string();
    const auto sql = RunTool({"export", db, "--format", "postgresql", "--out", script, "--schema", "sales",
                              "--drop", "--records", "all"});
    ASSERT_EQ(sql.status, 0) << sql.err;
    const std::string text = tw::ReadFileText(script);
    EXPECT_NE(text.find("CREATE SCHEMA IF NOT EXISTS \"sales\""), std::string::npos);
    EXPECT_NE(text.find("DROP TABLE IF EXISTS \"sales\".\"Customers\""), std::string::npos);
    EXPECT_NE(text.find("COPY \"sales\".\"Customers\""), std::string::npos);
    EXPECT_NE(text.find("_deleted"), std::string::npos);

    const std::string book = (out / "v5.xlsx").string();
    const auto xlsx = RunTool({"export", db, "--format", "xlsx", "--out", book, "--dates", "iso"});
    ASSERT_EQ(xlsx.status, 0) << xlsx.err;
    EXPECT_EQ(tw::ReadFileText(book).substr(0, 2), "PK") << "a workbook is a zip archive";
    EXPECT_NE(xlsx.err.find("2 of 2 forms exported to " + book), std::string::npos) << xlsx.err;
}

// schema prints the statements the export itself runs: for SQLite, those the file keeps in sqlite_master.
TEST(SchemaCommand, PrintsTheTablesOfTheExport) {
    tw::TempDir out;
    const std::string db = std::string(CORVANE_SOURCE_DIR) + "/examples/v6";
    const std::string file = (out / "v6.sqlite").string();
    ASSERT_EQ(
        RunTool({"export", db, "--format", "sqlite", "--out", file, "--records", "all", "-f", "Customers"})
            .status,
        0);
    const auto sqlite = RunTool({"schema", db, "--dialect=sqlite", "--records", "all", "-f", "Customers"});
    ASSERT_EQ(sqlite.status, 0) << sqlite.err;
    EXPECT_EQ(sqlite.out,
              QueryOne(file, "SELECT group_concat(sql || ';', char(10)) || char(10) FROM "
                             "(SELECT sql FROM sqlite_master WHERE type = 'table' ORDER BY rowid)"));

    const auto pg = RunTool({"schema", db, "-f", "Customers", "--schema", "s", "--drop"});
    ASSERT_EQ(pg.status, 0) << pg.err;
    const std::string script = (out / "v6.sql").string();
    ASSERT_EQ(RunTool({"export", db, "--format", "postgresql", "--out", script, "-f", "Customers", "--schema",
                       "s", "--drop"})
                  .status,
              0);
    const std::string create = pg.out.substr(pg.out.find("CREATE TABLE \"s\".\"Customers\""));
    EXPECT_NE(tw::ReadFileText(script).find(create.substr(0, create.find(");") + 2)), std::string::npos)
        << create;

    struct Case {
        std::vector<std::string> Args;
        int Status;
    };
    const Case cases[] = {
        {{"schema", db, "-f", "Nobody"}, 1},
        {{"schema", db, "--dialect", "oracle"}, 2},
        {{"schema"}, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunTool(c.Args).status, c.Status) << c.Args.back();
    }
}

} // namespace
} // namespace corvane
