#include "database/FieldRec.h"
#include "export/PostgreSqlScript.h"
#include "export/SqlSchema.h"
#include "export/TypedFixture.h"
#include "formats/OneFileRun.h"
#include "sqlite/SqliteExport.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <sstream>

namespace corvane {
namespace {

namespace tw = corvane::testwriter;

// Outputs kept in memory; Committed says whether the writer completed its output.
class TMemoryTarget final : public IOutputTarget {
public:
    struct TState {
        std::string Bytes;
        bool Committed = false;
    };
    class TMemoryOutput final : public IOutput {
    public:
        explicit TMemoryOutput(TState& state) : state_(state) {}
        void Write(std::string_view bytes) override { state_.Bytes += bytes; }
        void Commit() override { state_.Committed = true; }

    private:
        TState& state_;
    };
    std::unique_ptr<IOutput> Create(const std::string& finalName) override {
        return std::make_unique<TMemoryOutput>(outputs[finalName]);
    }
    bool WritesFiles() const override { return false; }
    std::map<std::string, TState> outputs;
};

TTypedValue Integer(std::int64_t v) {
    return {TValueType::Integer, v, 0, {}};
}
TTypedValue Real(double v) {
    return {TValueType::Real, 0, v, {}};
}
TTypedValue Text(std::string v) {
    return {TValueType::Text, 0, 0, std::move(v)};
}

TEST(CopyText, EscapesWhatTheTextFormatReads) {
    const struct {
        std::string In, Out;
    } cases[] = {
        {"plain text", "plain text"},
        {"back\\slash", "back\\\\slash"},
        {"tab\there", "tab\\there"},
        {"line\nfeed", "line\\nfeed"},
        {"carriage\rreturn", "carriage\\rreturn"},
        {"\\.", "\\\\."},               // not the end-of-data marker
        {"\\N", "\\\\N"},               // not NULL
        {std::string("a\0b", 3), "ab"}, // no PostgreSQL text holds a NUL
        {"Gr\xC3\xB6\xC3\x9F"
         "e",
         "Gr\xC3\xB6\xC3\x9F"
         "e"},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string out;
        AppendCopyText(out, c.In);
        EXPECT_EQ(out, c.Out) << c.In;
    }
}

TEST(CopyValue, WritesWhatEachColumnTypeAccepts) {
    using K = TPostgreSqlKind;
    const TPostgreSqlType numeric62{K::Numeric, 6, 2};
    const struct {
        TTypedValue Value;
        TPostgreSqlType Type;
        std::string Out;
    } cases[] = {
        {TTypedValue{}, {K::Text}, "\\N"},
        {TTypedValue{}, {K::Integer}, "\\N"},
        {Integer(255), {K::SmallInt}, "255"},
        {Integer(40000), {K::SmallInt}, "\\N"},
        {Integer(65535), {K::Integer}, "65535"},
        {Integer(-1), {K::Integer}, "-1"},
        {Integer(INT64_MIN), {K::BigInt}, "-9223372036854775808"},
        {Real(1e20), {K::BigInt}, "\\N"}, // a whole-number double beyond 64 bits
        {Real(1234.5), numeric62, "1234.50"},
        {Real(-0.13), numeric62, "-0.13"},
        {Real(0.1), numeric62, "0.10"},
        {Real(9999.99), numeric62, "9999.99"},
        {Real(12345), numeric62, "\\N"}, // more integer digits than numeric(6,2) takes
        {Real(5), {K::Numeric, 3, 0}, "5"},
        {Real(0.1), {K::Real}, "0.1"},
        {Real(-2.5e-300), {K::Double}, "-2.5e-300"},
        {Text("1997-03-15"), {K::Date}, "1997-03-15"},
        {Text("2000-02-29"), {K::Date}, "2000-02-29"},
        {Text("1900-02-29"), {K::Date}, "\\N"},
        {Text("1997-13-45"), {K::Date}, "\\N"},
        {Text("19 5-03-15"), {K::Date}, "\\N"},
        {Text("09:30:15"), {K::Time}, "09:30:15"},
        {Text("99:99:99"), {K::Time}, "\\N"},
        {Text("24:00:01"), {K::Time}, "\\N"},
        {Text("a\tb"), {K::Text}, "a\\tb"},
    };
    for (const auto& c : cases) {
        std::string out;
        AppendCopyValue(out, c.Value, c.Type);
        EXPECT_EQ(out, c.Out) << PostgreSqlTypeName(c.Type) << " " << c.Value.Integer << " " << c.Value.Real
                              << " " << c.Value.Text;
    }
}

TEST(PostgreSqlTypes, FollowTheFieldDefinition) {
    const struct {
        std::uint8_t FieldType, SubType, Size, Length, IntDigits;
        std::string Type;
    } cases[] = {
        {kFieldNumber, 0, 1, 3, 0, "smallint"},
        {kFieldNumber, 0, 2, 5, 0, "integer"},
        {kFieldNumber, 0, 4, 9, 0, "integer"},
        {kFieldNumber, 0, 8, 15, 0, "bigint"},
        {kFieldNumber, 1, 4, 7, 4, "numeric(6,2)"},
        {kFieldNumber, 1, 8, 5, 4, "numeric(4,0)"},
        {kFieldNumber, 1, 8, 3, 4, "double precision"}, // no decimals count: Length below IntDigits
        {kFieldNumber, 2, 4, 12, 0, "real"},
        {kFieldNumber, 2, 8, 16, 0, "double precision"},
        {kFieldDate, 1, 4, 0, 0, "date"},
        {kFieldDate, 0, 6, 0, 0, "date"},
        {kFieldTime, 0, 6, 0, 0, "time"},
        {kFieldText, 0, 20, 20, 0, "text"},
        {kFieldText2, 0, 20, 20, 0, "text"},
        {kFieldChoice, 0, 1, 0, 0, "text"},
        {9, 0, 4, 0, 0, "text"},
    };
    for (const auto& c : cases) {
        TFieldRec field;
        field.FieldType = c.FieldType;
        field.SubType = c.SubType;
        field.Size = c.Size;
        field.Length = c.Length;
        field.IntDigits = c.IntDigits;
        const TTypedColumn column{&field, "x", ColumnTypeOf(field)};
        EXPECT_EQ(PostgreSqlTypeName(PostgreSqlTypeOf(column)), c.Type)
            << int(c.FieldType) << "/" << int(c.SubType) << "/" << int(c.Size);
    }
}

TEST(SqlNames, CutToTheServersLimitOnCharacterBoundaries) {
    const std::string longName(40, 'x');
    std::string accents;
    for (int i = 0; i < 40; ++i) {
        accents += "\xC3\xA9"; // é: two bytes each
    }
    std::vector<std::string> taken{"_forms"};
    EXPECT_EQ(UniqueTableName("Customers", taken, 63), "Customers");
    EXPECT_EQ(UniqueTableName("CUSTOMERS", taken, 63), "CUSTOMERS_2");
    EXPECT_EQ(UniqueTableName("_Forms", taken, 63), "__Forms");
    EXPECT_EQ(UniqueTableName("", taken, 63), "form");
    EXPECT_EQ(UniqueTableName(accents, taken, 63), accents.substr(0, 62));
    EXPECT_EQ(UniqueTableName(accents + "x", taken, 63), accents.substr(0, 60) + "_2");
    EXPECT_EQ(UniqueTableName(longName + longName, taken, 63), std::string(63, 'x'));
    EXPECT_EQ(UniqueTableName(longName + longName + "y", taken, 63), std::string(61, 'x') + "_2");

    TFieldRec field;
    TTypedForm form;
    form.WithDeleted = true;
    form.Columns = {{&field, longName + "a", TColumnType::Text}, {&field, longName + "b", TColumnType::Text}};
    EXPECT_EQ(SqlColumnNames(form, 40),
              (std::vector<std::string>{longName, std::string(38, 'x') + "_2", std::string(kDeletedColumn)}));
}

// A form of two fields and three records, one deleted, written whole.
void WriteSmallDatabase(const tw::TempDir& dir) {
    tw::DatabaseSpec desc{
        .Version = 5,
        .Name = "Small",
        .Forms = {{.Name = "Parts",
                   .Fields = {tw::TextField("Name", 10), tw::WholeNumber("Qty", 2)},
                   .Records = {{.Values = {{"Name", "Bolt"}, {"Qty", 12}}},
                               {.Values = {{"Name", "Nut\tM6"}, {"Qty", tw::Empty{}}}},
                               {.Deleted = true, .Values = {{"Name", "Gone"}, {"Qty", 1}}}}}},
    };
    tw::WriteDatabase(dir.Path(), desc);
}

TEST(PostgreSqlScript, OneTransactionOfTablesCopyBlocksAndTheFormsTable) {
    tw::TempDir dir;
    WriteSmallDatabase(dir);
    TDEInfoRec db;
    corvane::testing::LoadDatabase(db, dir);
    TExportOptions options;
    options.Schema = "old \"data\"";
    options.DropTables = true;
    TMemoryTarget target;
    TExportPlan plan = PlanOfEveryForm(db, 'A');
    plan.push_back({nullptr, 'L', "Missing", {}});
    const TRunResult run = corvane::testing::RunOneFile(TOutputFormat::PostgreSql, MakePostgreSqlWriter, db,
                                                        plan, options, "parts.sql", &target);
    EXPECT_EQ(run.Summary.OneFile, "parts.sql");
    ASSERT_EQ(run.Forms.size(), 2u);
    EXPECT_EQ(run.Forms[0].Table, "Parts");
    ASSERT_TRUE(target.outputs["parts.sql"].Committed);
    EXPECT_EQ(target.outputs["parts.sql"].Bytes,
              "-- Written by Corvane. Load it with: psql -v ON_ERROR_STOP=1 -f FILE\n"
              "SET client_encoding = 'UTF8';\n"
              "SET standard_conforming_strings = on;\n"
              "BEGIN;\n"
              "CREATE SCHEMA IF NOT EXISTS \"old \"\"data\"\"\";\n"
              "DROP TABLE IF EXISTS \"old \"\"data\"\"\".\"_forms\";\n"
              "CREATE TABLE \"old \"\"data\"\"\".\"_forms\" (\n"
              "    \"form_name\" text NOT NULL,\n    \"table_name\" text,\n    \"data_file\" text,\n"
              "    \"record_count\" bigint NOT NULL,\n    \"version\" integer NOT NULL,\n"
              "    \"code_page\" text NOT NULL,\n    \"error\" text\n);\n"
              "\n"
              "DROP TABLE IF EXISTS \"old \"\"data\"\"\".\"Parts\";\n"
              "CREATE TABLE \"old \"\"data\"\"\".\"Parts\" (\n"
              "    \"Name\" text,\n    \"Qty\" integer,\n    \"_deleted\" boolean NOT NULL\n);\n"
              "COPY \"old \"\"data\"\"\".\"Parts\" (\"Name\", \"Qty\", \"_deleted\") FROM stdin;\n"
              "Bolt\t12\tf\n"
              "Nut\\tM6\t\\N\tf\n"
              "Gone\t1\tt\n"
              "\\.\n"
              "\n"
              "COPY \"old \"\"data\"\"\".\"_forms\" (\"form_name\", \"table_name\", \"data_file\", "
              "\"record_count\", \"version\", \"code_page\", \"error\") FROM stdin;\n"
              "Parts\tParts\tPARTS.DBM\t3\t5\tcp437\t\\N\n"
              "Missing\t\\N\t\\N\t0\t5\tcp437\tTable Missing doesn't exist.\n"
              "\\.\n"
              "COMMIT;\n");
}

TEST(PostgreSqlScript, AFormThatFailsDuringItsRowsEndsItsCopyBlockAndIsListedWithItsError) {
    tw::TempDir dir;
    WriteSmallDatabase(dir);
    TDEInfoRec db;
    corvane::testing::LoadDatabase(db, dir);
    TExportOptions options;
    TMemoryTarget target;
    auto writer = MakePostgreSqlWriter("out.sql", {&db, &options, TCodePage::Cp437, &target, nullptr});
    TFieldRec field;
    field.FieldType = kFieldText;
    TTypedForm form;
    form.Form = db.FirstForm();
    form.Name = "Parts";
    form.Columns = {{&field, "Name", TColumnType::Text}};
    writer->BeginForm(form);
    writer->Row(form, {Text("one")}, false);
    writer->FormFailed({db.FirstForm(), 'L', "Parts", {}}, "Parts", "Read beyond end of file");
    EXPECT_EQ(writer->TableOf(form), "Parts");
    writer->Commit();
    const std::string& script = target.outputs["out.sql"].Bytes;
    EXPECT_NE(script.find("FROM stdin;\none\n\\.\n"), std::string::npos) << script;
    EXPECT_NE(script.find("Parts\tParts\t\\N\t1\t5\tcp437\tRead beyond end of file\n"), std::string::npos)
        << script;
}

TEST(PostgreSqlScript, WithoutCommitTheOutputIsNotCompleted) {
    TMemoryTarget target;
    TExportOptions options;
    TDEInfoRec db;
    { auto writer = MakePostgreSqlWriter("out.sql", {&db, &options, TCodePage::Cp437, &target, nullptr}); }
    EXPECT_FALSE(target.outputs["out.sql"].Committed);
}

TEST(PostgreSqlScript, WithoutATargetItIsWrittenToTheFileOnlyOnCommit) {
    tw::TempDir out;
    const std::string file = (out / "out.sql").string();
    tw::WriteFile(file, std::string_view("older script"));
    TExportOptions options;
    TDEInfoRec db;
    { auto writer = MakePostgreSqlWriter(file, {&db, &options, TCodePage::Cp437, nullptr, nullptr}); }
    EXPECT_EQ(tw::ReadFileText(file), "older script");
    auto writer = MakePostgreSqlWriter(file, {&db, &options, TCodePage::Cp437, nullptr, nullptr});
    writer->Commit();
    EXPECT_NE(tw::ReadFileText(file).find("COMMIT;\n"), std::string::npos);
}

// The CREATE TABLE statements that SQLite keeps for the file, each followed by ";" and a line end.
std::string SqliteSchema(const std::string& file) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE type = 'table' ORDER BY rowid", -1, &stmt,
                       nullptr);
    std::string schema;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        schema += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        schema += ";\n";
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return schema;
}

class SchemaOfSqlite : public ::testing::TestWithParam<std::tuple<int, char>> {};

TEST_P(SchemaOfSqlite, IsTheSchemaOfTheSqliteExport) {
    const auto [version, selection] = GetParam();
    tw::TempDir dir;
    corvane::testing::WriteAccentDatabase(dir, version);
    TDEInfoRec db;
    corvane::testing::LoadDatabase(db, dir);
    // Two forms of one name (the second gets "_2"), and one that names no form.
    TExportPlan plan = PlanOfEveryForm(db, selection);
    plan.push_back(plan.front());
    plan.push_back({nullptr, 'L', "Missing", {}});
    tw::TempDir out;
    const std::string file = (out / "db.sqlite").string();
    TFormatRegistry registry;
    RegisterSqliteFormat(registry);
    const TRunResult run = corvane::testing::RunOneFile(
        TOutputFormat::Sqlite, *registry.Find(TOutputFormat::Sqlite), db, plan, TExportOptions{}, file);
    ASSERT_EQ(run.Summary.OneFile, file);
    std::string ddl;
    WriteSchema(plan, TSchemaDialect::Sqlite, DefaultCodePage(version), TExportOptions{}, ddl);
    EXPECT_EQ(ddl, SqliteSchema(file));
    EXPECT_NE(ddl.find("\"Kunden_2\""), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(VersionsAndSelections, SchemaOfSqlite,
                         ::testing::Combine(::testing::Values(3, 5, 6, 7), ::testing::Values('L', 'A')));

TEST(Schema, PostgreSqlDialectInTheSchemaWithDrops) {
    tw::TempDir dir;
    WriteSmallDatabase(dir);
    TDEInfoRec db;
    corvane::testing::LoadDatabase(db, dir);
    TExportOptions options;
    options.Schema = "s";
    options.DropTables = true;
    std::string ddl;
    WriteSchema(PlanOfEveryForm(db, 'L'), TSchemaDialect::PostgreSql, TCodePage::Cp437, options, ddl);
    EXPECT_EQ(ddl, "CREATE SCHEMA IF NOT EXISTS \"s\";\n"
                   "DROP TABLE IF EXISTS \"s\".\"_forms\";\n"
                   "CREATE TABLE \"s\".\"_forms\" (\n"
                   "    \"form_name\" text NOT NULL,\n    \"table_name\" text,\n    \"data_file\" text,\n"
                   "    \"record_count\" bigint NOT NULL,\n    \"version\" integer NOT NULL,\n"
                   "    \"code_page\" text NOT NULL,\n    \"error\" text\n);\n"
                   "DROP TABLE IF EXISTS \"s\".\"Parts\";\n"
                   "CREATE TABLE \"s\".\"Parts\" (\n    \"Name\" text,\n    \"Qty\" integer\n);\n");
}

} // namespace
} // namespace corvane
