// Absurd headers: record counts of 2^31 - 1, record lengths of 0 and 65535, name blocks that point past the
// end, choice lists that run off the buffer, definitions too large for their reader. `forms`, `fields` and
// `export` give a clear error or a bounded result, quickly and with bounded memory.

#include "cli/FaultSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace corvane {
namespace {

namespace tw = testwriter;
using namespace corvane::testing;

constexpr std::int32_t kMaxCount = std::numeric_limits<std::int32_t>::max();
constexpr long kMaxRssKiB = 256 * 1024;

std::vector<tw::FieldDef> CustomerFields() {
    return {tw::TextField("Name", 12), tw::WholeNumber("Count", 2),
            tw::ChoiceField("Colour", {"Red", "Green"}, tw::ChoiceEncoding::ZeroAfterCount)};
}

std::vector<tw::RecordSpec> CustomerRecords() {
    return {{.Values = {{"Name", "Smith"}, {"Count", 3}, {"Colour", 1}}},
            {.Values = {{"Name", "Jones"}, {"Count", 4}, {"Colour", 2}}}};
}

// A version 5 (or 3) database of the form "Customers", whose definition and dictionary a case then spoils.
void WriteCustomers(const fs::path& dir, int version = 5,
                    std::vector<tw::FieldDef> fields = CustomerFields()) {
    if (version == 3) {
        fields.back().Encoding = tw::ChoiceEncoding::Plain;
    }
    tw::WriteDatabase(dir,
                      {.Version = version,
                       .Name = "Absurd",
                       .Forms = {{.Name = "Customers", .Fields = fields, .Records = CustomerRecords()}}});
}

// Replaces the dictionary with one whose only form has the given record length and count.
void WriteCatalogue(const fs::path& dir, std::uint16_t recordLength, std::int32_t recordCount) {
    tw::WriteFile(dir / "RDRRAAAA.DBM", tw::BuildDictionary({.VersionByte = 5,
                                                             .DatabaseName = "Absurd",
                                                             .Forms = {{.Name = "Customers",
                                                                        .RecordLength = recordLength,
                                                                        .RecordCount = recordCount,
                                                                        .DataFile = "CUSTOMER.DBM",
                                                                        .ObjectFile = "CUSTOMER.DBM"}}}));
}

void WriteDefinition5x(const fs::path& dir, tw::Definition5xSpec definition) {
    if (definition.Fields.empty()) {
        definition.Fields = tw::LaidOutFields(CustomerFields(), 5);
    }
    tw::WriteFile(dir / "CUSTOMER.tdf", tw::BuildDefinition5x(definition));
}

struct AbsurdCase {
    const char* name;
    std::function<void(const fs::path&)> write;
    // A text that standard error of the listed commands must hold ("" when any clear end will do).
    std::string formsError;
    std::string exportError;
};

const std::vector<AbsurdCase>& Cases() {
    static const std::vector<AbsurdCase> cases{
        {"dictionary_count_max",
         [](const fs::path& d) {
             WriteCustomers(d);
             tw::WriteFile(
                 d / "RDRRAAAA.DBM",
                 tw::BuildDictionary({.VersionByte = 5,
                                      .RecordCount = kMaxCount,
                                      .Forms = {{.Name = "Customers", .DataFile = "CUSTOMER.DBM"}}}));
         },
         "Read beyond end of file", "Read beyond end of file"},
        {"dictionary_record_length_0",
         [](const fs::path& d) {
             WriteCustomers(d);
             tw::WriteFile(d / "RDRRAAAA.DBM",
                           tw::BuildDictionary(
                               {.VersionByte = 5, .RecordLength = 0, .RecordCount = 3, .Forms = {{}, {}}}));
         },
         "", ""},
        {"dictionary_record_length_65535",
         [](const fs::path& d) {
             WriteCustomers(d);
             tw::WriteFile(d / "RDRRAAAA.DBM",
                           tw::BuildDictionary({.VersionByte = 5,
                                                .RecordLength = 65535,
                                                .Forms = {{.Name = "Customers", .DataFile = "CUSTOMER.DBM"}},
                                                .TruncateTo = 1000}));
         },
         "Read beyond end of file", "Read beyond end of file"},
        {"form_count_max",
         [](const fs::path& d) {
             WriteCustomers(d);
             WriteCatalogue(d, 17, kMaxCount);
         },
         "", " whole records of 2147483647 in the catalogue"},
        {"form_record_length_0",
         [](const fs::path& d) {
             WriteCustomers(d);
             WriteCatalogue(d, 0, 2);
         },
         "", "Warning: form Customers"},
        {"form_record_length_65535",
         [](const fs::path& d) {
             WriteCustomers(d);
             WriteCatalogue(d, 65535, kMaxCount);
         },
         "", "Warning: form Customers: the data file holds 0 whole records"},
        {"name_block_past_the_end",
         [](const fs::path& d) {
             WriteCustomers(d);
             std::vector<tw::FieldDef> fields = tw::LaidOutFields(CustomerFields(), 5);
             fields[0].NameOffset = 60000;
             WriteDefinition5x(d, {.Fields = fields});
         },
         "", ""},
        {"name_block_count_255",
         [](const fs::path& d) {
             WriteCustomers(d);
             WriteDefinition5x(d, {.FieldCount = 255});
         },
         "", ""},
        {"choice_count_off_the_buffer",
         [](const fs::path& d) {
             WriteCustomers(d);
             std::vector<tw::FieldDef> fields = tw::LaidOutFields(CustomerFields(), 5);
             fields[2].ChoiceCount = 250;
             WriteDefinition5x(d, {.Fields = fields});
         },
         "", ""},
        {"choice_entry_past_the_table",
         [](const fs::path& d) {
             WriteCustomers(d);
             std::vector<tw::FieldDef> fields = tw::LaidOutFields(CustomerFields(), 5);
             fields[2].ChoiceEntry = 200;
             WriteDefinition5x(d, {.Fields = fields});
         },
         "", ""},
        {"tagged_lengths_with_high_half",
         [](const fs::path& d) {
             WriteCustomers(d);
             WriteDefinition5x(d, {.LengthHighHalf = 0xFFFF});
         },
         "", ""},
        {"definition_over_65535_bytes",
         [](const fs::path& d) {
             WriteCustomers(d);
             WriteDefinition5x(d, {.Trailing = tw::Bytes(70000, 0xFF)});
         },
         "", "CUSTOMER.tdf: file of 70146 bytes is larger than 65535 bytes"},
        {"definition_4x_choice_count_off_the_buffer",
         [](const fs::path& d) {
             std::vector<tw::FieldDef> fields = CustomerFields();
             fields[2].ChoiceCount = 255;
             WriteCustomers(d, 3, fields);
         },
         "", ""},
        {"definition_4x_field_count_255",
         [](const fs::path& d) {
             WriteCustomers(d, 3);
             tw::WriteFile(d / "CUSTOMER.DBA",
                           tw::BuildDefinition4x(
                               {.Fields = tw::LaidOutFields(CustomerFields(), 3), .FieldCount = 255}));
         },
         "", ""},
    };
    return cases;
}

void PrintTo(const AbsurdCase& c, std::ostream* os) {
    *os << c.name;
}

class AbsurdHeader : public ::testing::TestWithParam<AbsurdCase> {};

void ExpectBounded(const ToolRun& run, const std::string& expected) {
    ExpectCleanEnd(run);
    EXPECT_LT(run.maxRssKiB, kMaxRssKiB);
    if (!expected.empty()) {
        EXPECT_NE(run.err.find(expected), std::string::npos) << run.err;
    }
}

TEST_P(AbsurdHeader, GivesAClearErrorOrABoundedResult) {
    tw::TempDir db;
    tw::TempDir out;
    GetParam().write(db.Path());
    {
        SCOPED_TRACE("forms");
        const ToolRun run = RunToolWith({"forms", db.Path().string(), "--all"}, {});
        ExpectBounded(run, GetParam().formsError);
    }
    {
        SCOPED_TRACE("fields");
        ExpectBounded(RunToolWith({"fields", db.Path().string(), "--form", "Customers"}, {}), "");
    }
    {
        SCOPED_TRACE("export");
        const ToolRun run = RunToolWith(
            {"export", db.Path().string(), "--out", out.Path().string(), "--form", "Customers"}, {});
        ExpectBounded(run, GetParam().exportError);
        if (run.status == 0) {
            EXPECT_TRUE(fs::exists(out / "Customers.csv"));
            EXPECT_LT(fs::file_size(out / "Customers.csv"), 65536U);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, AbsurdHeader, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace corvane
