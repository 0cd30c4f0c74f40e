#include "database/Errors.h"
#include "export/TypedFixture.h"
#include "sqlite/SqliteExport.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>
#include <sstream>

namespace corvane {
namespace {

namespace tw = corvane::testwriter;

// The rows of a query, each value written as TYPE:text ("INTEGER:3", "TEXT:Café", "NULL").
std::vector<std::string> Query(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    std::vector<std::string> rows;
    while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            row += i == 0 ? "" : "|";
            switch (sqlite3_column_type(stmt, i)) {
            case SQLITE_NULL:
                row += "NULL";
                break;
            case SQLITE_INTEGER:
                row += "INTEGER:" + std::to_string(sqlite3_column_int64(stmt, i));
                break;
            case SQLITE_FLOAT: {
                std::ostringstream s;
                s.precision(17);
                s << sqlite3_column_double(stmt, i);
                row += "REAL:" + s.str();
                break;
            }
            default:
                row += "TEXT:" + std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)));
                break;
            }
        }
        rows.push_back(row);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

std::size_t FilesIn(const std::filesystem::path& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) {
        ++n;
    }
    return n;
}

class SqliteVersions : public ::testing::TestWithParam<int> {};

TEST_P(SqliteVersions, AccentsTypesNullsAndDeletedRecords) {
    const int version = GetParam();
    tw::TempDir dir;
    corvane::testing::WriteAccentDatabase(dir, version);
    TDEInfoRec db;
    corvane::testing::LoadDatabase(db, dir);
    tw::TempDir out;
    const std::string file = (out / "accents.sqlite").string();
    std::ostringstream messages;
    const TSqliteResult result = ExportDatabaseSqlite({"Kunden=A"}, file, db, std::nullopt, messages);
    EXPECT_EQ(messages.str(), "");
    ASSERT_TRUE(result.FileWritten);
    EXPECT_EQ(result.CodePage, DefaultCodePage(version));
    EXPECT_EQ(result.RecordsWritten, 3);
    EXPECT_EQ(FilesIn(out.Path()), 1u) << "no temporary or journal file is left";

    EXPECT_EQ(Query(file, "SELECT name, type FROM pragma_table_info('Kunden')"),
              (std::vector<std::string>{"TEXT:Name|TEXT:TEXT", "TEXT:Count|TEXT:INTEGER",
                                        "TEXT:Price|TEXT:REAL", "TEXT:Ratio|TEXT:REAL",
                                        "TEXT:Since|TEXT:TEXT", "TEXT:At|TEXT:TEXT", "TEXT:Colour|TEXT:TEXT",
                                        "TEXT:Stra\xC3\x9F"
                                        "e|TEXT:TEXT",
                                        "TEXT:_deleted|TEXT:INTEGER"}));
    EXPECT_EQ(
        Query(file, "SELECT * FROM Kunden"),
        (std::vector<std::string>{
            "TEXT:Caf\xC3\xA9 M\xC3\xBCller|INTEGER:3|REAL:0.10000000000000001|REAL:0.10000000000000001|"
            "TEXT:1997-03-15|TEXT:09:30:15|TEXT:Green|TEXT:Gr\xC3\xB6\xC3\x9F"
            "e|INTEGER:0",
            "TEXT:Empty \"values\"|NULL|NULL|NULL|NULL|NULL|NULL|NULL|INTEGER:0",
            "TEXT:Gone|INTEGER:7|REAL:-0.13|REAL:0|NULL|NULL|TEXT:Red|NULL|INTEGER:1"}));
    EXPECT_EQ(Query(file, "SELECT * FROM _forms"),
              (std::vector<std::string>{
                  "TEXT:Kunden|TEXT:Kunden|TEXT:KUNDEN.DBM|INTEGER:3|INTEGER:" + std::to_string(version) +
                  "|TEXT:" + std::string(CodePageName(DefaultCodePage(version))) + "|NULL"}));
    // Typed columns answer typed queries.
    EXPECT_EQ(Query(file, "SELECT Name FROM Kunden WHERE Since < '2000-01-01' AND Count > 2"),
              (std::vector<std::string>{"TEXT:Caf\xC3\xA9 M\xC3\xBCller"}));
}

INSTANTIATE_TEST_SUITE_P(EveryVersion, SqliteVersions, ::testing::Values(3, 5, 6, 7));

// The sample databases of every version: every form a table, every row typed and readable.
TEST(SqliteExport, SampleDatabasesOfEveryVersion) {
    for (const char* v : {"v3", "v5", "v6", "v7"}) {
        SCOPED_TRACE(v);
        const std::string source = std::string(CORVANE_SOURCE_DIR) + "/examples/" + v + "/";
        TDEInfoRec db;
        db.SetDirectory(source);
        db.SetDictionaryName("RDRRAAAA.DBM");
        db.Load();
        tw::TempDir out;
        const std::string file = (out / "sample.sqlite").string();
        std::ostringstream messages;
        const TSqliteResult result =
            ExportDatabaseSqlite({"Customers=A", "Orders/Returns"}, file, db, std::nullopt, messages);
        ASSERT_TRUE(result.FileWritten);
        EXPECT_EQ(Query(file, "SELECT table_name, record_count FROM _forms"),
                  (std::vector<std::string>{"TEXT:Customers|INTEGER:5", "TEXT:Orders/Returns|INTEGER:2"}));
        EXPECT_EQ(Query(file, "SELECT Name, Visits, typeof(Price), DATE_, Time, _deleted FROM Customers "
                              "WHERE Name = 'Smith'"),
                  (std::vector<std::string>{"TEXT:Smith|INTEGER:12|TEXT:real|TEXT:1997-03-15|TEXT:09:30:15|"
                                            "INTEGER:0"}));
        EXPECT_EQ(Query(file, "SELECT count(*) FROM Customers WHERE _deleted = 1"),
                  (std::vector<std::string>{"INTEGER:1"}));
        EXPECT_EQ(Query(file, "SELECT Notes FROM Customers WHERE Name = 'Smith'"),
                  (std::vector<std::string>{"TEXT:Said \"hi\", then left"}));
        EXPECT_EQ(Query(file, "SELECT count(*) FROM \"Orders/Returns\""),
                  (std::vector<std::string>{"INTEGER:2"}));
    }
}

// A form that fails is listed in _forms with its error, and gets no table.
TEST(SqliteExport, MissingFormIsReportedAndListedWithItsError) {
    tw::TempDir dir;
    corvane::testing::WriteAccentDatabase(dir, 6);
    TDEInfoRec db;
    corvane::testing::LoadDatabase(db, dir);
    tw::TempDir out;
    const std::string file = (out / "a.sqlite").string();
    std::ostringstream messages;
    const TSqliteResult result =
        ExportDatabaseSqlite({"Nobody", "Kunden"}, file, db, TCodePage::Cp1252, messages);
    EXPECT_EQ(messages.str(), "Table Nobody doesn't exist.\n");
    ASSERT_EQ(result.Forms.size(), 2u);
    EXPECT_FALSE(result.Forms[0].FormFound);
    EXPECT_TRUE(result.Forms[1].FormFound);
    EXPECT_EQ(Query(file, "SELECT form_name, table_name, record_count, error FROM _forms"),
              (std::vector<std::string>{"TEXT:Nobody|NULL|INTEGER:0|TEXT:Table Nobody doesn't exist.",
                                        "TEXT:Kunden|TEXT:Kunden|INTEGER:2|NULL"}));
    EXPECT_EQ(Query(file, "SELECT count(*) FROM pragma_table_info('Kunden') WHERE name = '_deleted'"),
              (std::vector<std::string>{"INTEGER:0"}))
        << "live records only: no _deleted column";
}

TEST(SqliteExport, AFailurePartWayLeavesTheOlderFileAndNoPartialFile) {
    tw::TempDir dir;
    corvane::testing::WriteAccentDatabase(dir, 3);
    TDEInfoRec db;
    corvane::testing::LoadDatabase(db, dir);
    tw::TempDir out;
    const std::string file = (out / "a.sqlite").string();
    tw::WriteFile(out / "a.sqlite", std::string_view("older"));
    // The stored date order of a 4.x database lives in the Configuration data file; without it the second
    // form's export fails after the first was written.
    std::ostringstream messages;
    std::filesystem::remove(dir / "CONFIGUR.DBM");
    EXPECT_THROW(ExportDatabaseSqlite({"Kunden"}, file, db, std::nullopt, messages), EInOutError);
    EXPECT_EQ(tw::ReadFileText(out / "a.sqlite"), "older");
    EXPECT_EQ(FilesIn(out.Path()), 1u);
}

TEST(SqliteExport, ADirectoryOfTheFileNameIsRefused) {
    tw::TempDir dir;
    corvane::testing::WriteAccentDatabase(dir, 6);
    TDEInfoRec db;
    corvane::testing::LoadDatabase(db, dir);
    tw::TempDir out;
    std::ostringstream messages;
    try {
        ExportDatabaseSqlite({"Kunden"}, out.Path().string(), db, std::nullopt, messages);
        FAIL() << "no exception";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), EISDIR);
        EXPECT_EQ(e.FileName(), out.Path().string());
    }
}

TEST(SqliteTableName, ReservedClashingAndEmptyNames) {
    std::vector<std::string> taken{"_forms"};
    EXPECT_EQ(SqliteTableName("Customers", taken), "Customers");
    EXPECT_EQ(SqliteTableName("CUSTOMERS", taken), "CUSTOMERS_2");
    EXPECT_EQ(SqliteTableName("_Forms", taken), "__Forms");
    EXPECT_EQ(SqliteTableName("sqlite_master", taken), "_sqlite_master");
    EXPECT_EQ(SqliteTableName("", taken), "form");
    EXPECT_EQ(SqliteTableName(std::string("a\0b", 3), taken), "a_b");
}

} // namespace
} // namespace corvane
