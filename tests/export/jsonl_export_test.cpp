#include "database/Errors.h"
#include "export/DataFile.h"
#include "export/JsonlExport.h"
#include "export/OutputFile.h"
#include "export/TypedExport.h"
#include "export/TypedFixture.h"
#include "text/TextUtils.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace corvane {
namespace {

namespace tw = corvane::testwriter;
using corvane::testing::JsonObject;
using corvane::testing::JsonReader;
using corvane::testing::JsonValue;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', start)) {
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    EXPECT_EQ(start, text.size()) << "the file ends with a line end";
    return lines;
}

const JsonValue& Get(const JsonObject& object, const std::string& key) {
    for (const auto& [k, v] : object) {
        if (k == key) {
            return v;
        }
    }
    throw std::runtime_error("no key " + key);
}

TEST(JsonString, EscapesQuotesBackslashesAndControlCharacters) {
    struct Case {
        std::string In, Out;
    };
    const Case cases[] = {
        {"plain", "\"plain\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"a\\b", "\"a\\\\b\""},
        {"line\r\nnext\ttab", "\"line\\r\\nnext\\ttab\""},
        {std::string("\x01\x1F\x7F", 3), "\"\\u0001\\u001f\\u007f\""},
        {"Caf\xC3\xA9", "\"Caf\xC3\xA9\""},
        {"", "\"\""},
    };
    for (const Case& c : cases) {
        std::string out;
        AppendJsonString(out, c.In);
        EXPECT_EQ(out, c.Out);
    }
}

TEST(JsonReal, ShortestFormAndNullForNonFinite) {
    struct Case {
        double In;
        const char* Out;
    };
    const Case cases[] = {{0.1, "0.1"},
                          {1234.5, "1234.5"},
                          {1e36, "1e+36"},
                          {-2.5, "-2.5"},
                          {std::numeric_limits<double>::infinity(), "null"},
                          {std::numeric_limits<double>::quiet_NaN(), "null"}};
    for (const Case& c : cases) {
        std::string out;
        AppendJsonReal(out, c.In);
        EXPECT_EQ(out, c.Out);
    }
}

class JsonlVersions : public ::testing::TestWithParam<int> {};

// The fixture's records, read back through a JSON parser: types, UTF-8 accents, NULLs and the deleted flag.
TEST_P(JsonlVersions, RoundTripThroughAJsonParser) {
    const int version = GetParam();
    tw::TempDir dir;
    corvane::testing::WriteAccentDatabase(dir, version);
    TDEInfoRec db;
    corvane::testing::LoadDatabase(db, dir);
    tw::TempDir out;
    std::ostringstream messages;
    const TJsonlResult result =
        ExportFormJsonl("Kunden=A", out.Dir(), db, DefaultCodePage(version), ReadDateOrder(db), messages);
    EXPECT_EQ(messages.str(), "");
    ASSERT_TRUE(result.FileWritten);
    EXPECT_EQ(result.FileName, out.Dir() + "Kunden.jsonl");
    EXPECT_EQ(result.RecordsWritten, 3);

    const std::vector<std::string> lines = Lines(tw::ReadFileText(result.FileName));
    ASSERT_EQ(lines.size(), 3u);
    std::vector<JsonObject> rows;
    for (const std::string& line : lines) {
        rows.push_back(JsonReader(line).Object());
    }
    std::vector<std::string> keys;
    for (const auto& [k, v] : rows[0]) {
        keys.push_back(k);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"Name", "Count", "Price", "Ratio", "Since", "At", "Colour",
                                              "Stra\xC3\x9F"
                                              "e",
                                              "_deleted"}));

    const JsonObject& first = rows[0];
    EXPECT_EQ(Get(first, "Name").Text, "Caf\xC3\xA9 M\xC3\xBCller");
    EXPECT_EQ(Get(first, "Stra\xC3\x9F"
                         "e")
                  .Text,
              "Gr\xC3\xB6\xC3\x9F"
              "e");
    EXPECT_TRUE(Get(first, "Count").Integral);
    EXPECT_EQ(Get(first, "Count").Number, 3);
    EXPECT_EQ(Get(first, "Price").Number, 0.1);
    EXPECT_EQ(Get(first, "Ratio").Number, 0.1);
    EXPECT_EQ(Get(first, "Since").Text, "1997-03-15");
    EXPECT_EQ(Get(first, "At").Text, "09:30:15");
    EXPECT_EQ(Get(first, "Colour").Text, "Green");
    EXPECT_EQ(Get(first, "_deleted").Type, JsonValue::Kind::Bool);
    EXPECT_FALSE(Get(first, "_deleted").Bool);

    const JsonObject& empty = rows[1];
    EXPECT_EQ(Get(empty, "Name").Text, "Empty \"values\"");
    for (const char* key : {"Count", "Price", "Ratio", "Since", "At", "Colour"}) {
        EXPECT_EQ(Get(empty, key).Type, JsonValue::Kind::Null) << key;
    }

    const JsonObject& gone = rows[2];
    EXPECT_EQ(Get(gone, "Name").Text, "Gone");
    EXPECT_EQ(Get(gone, "Price").Number, -0.13);
    EXPECT_EQ(Get(gone, "Colour").Text, "Red");
    EXPECT_TRUE(Get(gone, "_deleted").Bool);
}

INSTANTIATE_TEST_SUITE_P(EveryVersion, JsonlVersions, ::testing::Values(3, 5, 6, 7));

TEST(JsonlExport, ExactLineAndNoDeletedKeyForLiveRecords) {
    tw::TempDir dir;
    corvane::testing::WriteAccentDatabase(dir, 5);
    TDEInfoRec db;
    corvane::testing::LoadDatabase(db, dir);
    tw::TempDir out;
    std::ostringstream messages;
    const TJsonlResult result = ExportFormJsonl("Kunden", out.Dir(), db, TCodePage::Cp437, 'B', messages);
    ASSERT_TRUE(result.FileWritten);
    EXPECT_EQ(
        tw::ReadFileText(result.FileName),
        "{\"Name\":\"Caf\xC3\xA9 M\xC3\xBCller\",\"Count\":3,\"Price\":0.1,\"Ratio\":0.1,\"Since\":"
        "\"1997-03-15\",\"At\":\"09:30:15\",\"Colour\":\"Green\",\"Stra\xC3\x9F"
        "e\":\"Gr\xC3\xB6\xC3\x9F"
        "e\"}\n"
        "{\"Name\":\"Empty \\\"values\\\"\",\"Count\":null,\"Price\":null,\"Ratio\":null,\"Since\":null,"
        "\"At\":null,\"Colour\":null,\"Stra\xC3\x9F"
        "e\":null}\n");
}

TEST(JsonlExport, RawTextIsCarriedAsLatin1SoTheFileStaysUtf8) {
    tw::TempDir dir;
    corvane::testing::WriteAccentDatabase(dir, 5);
    TDEInfoRec db;
    corvane::testing::LoadDatabase(db, dir);
    tw::TempDir out;
    std::ostringstream messages;
    const TJsonlResult result = ExportFormJsonl("Kunden", out.Dir(), db, TCodePage::Raw, 'B', messages);
    const JsonObject first = JsonReader(Lines(tw::ReadFileText(result.FileName))[0]).Object();
    EXPECT_EQ(Get(first, "Name").Text, "Caf\xC2\x82 M\xC2\x81ller");
}

TEST(JsonlExport, MissingFormWritesNoFile) {
    tw::TempDir dir;
    corvane::testing::WriteAccentDatabase(dir, 6);
    TDEInfoRec db;
    corvane::testing::LoadDatabase(db, dir);
    tw::TempDir out;
    std::ostringstream messages;
    const TJsonlResult result = ExportFormJsonl("Nobody=D", out.Dir(), db, TCodePage::Cp1252, 'B', messages);
    EXPECT_FALSE(result.FormFound);
    EXPECT_FALSE(result.FileWritten);
    EXPECT_EQ(messages.str(), "Table Nobody=D doesn't exist.\n");
    EXPECT_TRUE(std::filesystem::is_empty(out.Path()));
}

TEST(JsonlExport, MissingDestinationRaisesAnIOErrorAndLeavesNothing) {
    tw::TempDir dir;
    corvane::testing::WriteAccentDatabase(dir, 6);
    TDEInfoRec db;
    corvane::testing::LoadDatabase(db, dir);
    std::ostringstream messages;
    const std::string missing = dir.Dir() + "no/such/dir";
    try {
        ExportFormJsonl("Kunden", missing, db, TCodePage::Cp1252, 'B', messages);
        FAIL() << "no exception";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), ENOENT);
        EXPECT_EQ(e.FileName(), missing + kPathSeparator + "Kunden.jsonl");
    }
}

TEST(TypedColumns, ClashingHeadingNamesAreMadeUnique) {
    tw::TempDir dir;
    tw::WriteDatabase(
        dir.Path(),
        {.Version = 5,
         .Forms = {{.Name = "Clash",
                    .Fields = {tw::TextField("A B", 4), tw::TextField("a_b", 4), tw::TextField("_deleted", 4),
                               tw::TextField("Date", 4), tw::TextField("DATE", 4)}}}});
    TDEInfoRec db;
    corvane::testing::LoadDatabase(db, dir);
    const TFieldRec* fields = db.FindForm("Clash")->GetFields();
    std::vector<std::string> names;
    for (const TTypedColumn& c : TypedColumns(fields, TCodePage::Cp437, true)) {
        names.push_back(c.Name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"A_B", "a_b_2", "_deleted_2", "DATE_", "DATE__2"}));
}

} // namespace
} // namespace corvane
