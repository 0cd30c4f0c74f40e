// corvane-make-samples OUTDIR: writes the small sample databases of examples/, one per version code, with
// every field type, empty values, deleted records and awkward names and texts. The output is the same on
// every run.

#include "tools/testwriter/TestWriter.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

namespace tw = corvane::testwriter;

namespace {

// The customers form: every field type, in the date kinds the version stores.
tw::FormSpec Customers(int version) {
    const bool dayCounts = version >= 5;
    std::vector<tw::FieldDef> fields = {
        tw::TextField("Name", 20),
        {.Name = "Notes", .Type = 2, .Length = 30, .Size = 30},
        tw::WholeNumber("Visits", 1),
        tw::WholeNumber("Points", 2),
        tw::WholeNumber("Balance", 4),
        tw::WholeNumber("Big Whole", 8),
        tw::FixedPoint("Price", 7, 4),
        tw::FixedPoint("Rate", 6, 3, 4),
        tw::FloatNumber("Ratio", 10),
        tw::FloatNumber("Factor", 12, 4),
        dayCounts ? tw::DayCountDate("Date") : tw::SixCharDate("Date"),
        tw::SixCharDate("Joined"),
        tw::TimeField("Time"),
        tw::ChoiceField("Colour", {"Red", "Green", "Blue"},
                        version == 5 ? tw::ChoiceEncoding::ZeroAfterCount : tw::ChoiceEncoding::Plain),
    };
    fields[0].Texts = {"Customer's full name", std::nullopt, "Line one\rLine two"};
    fields.back().Flags = 0x08; // the choice column is exported first
    fields.push_back({.Name = "Internal", .Type = 1, .Length = 4, .Size = 4, .Flags = 0x80}); // left out
    fields.push_back({.Name = "Reserved", .Type = 9, .Length = 2, .Size = 2});                // no known kind
    if (version >= 5) {
        fields.push_back(tw::ChoiceField("Active", {}, tw::ChoiceEncoding::YesNo));
    }
    const tw::Value firstDate = tw::Date{1997, 3, 15};
    std::vector<tw::RecordSpec> records = {
        {.Values = {{"Name", "Smith"},
                    {"Notes", "Said \"hi\", then left"},
                    {"Visits", 12},
                    {"Points", 65535},
                    {"Balance", -1500},
                    {"Big Whole", -2.7},
                    {"Price", 1234.5},
                    {"Rate", 0.125},
                    {"Ratio", 1234.5},
                    {"Factor", 0.000123f},
                    {"Date", firstDate},
                    {"Joined", tw::Date{2002, 3, 15}},
                    {"Time", "093015"},
                    {"Colour", "Green"},
                    {"Internal", "HIDE"},
                    {"Reserved", tw::RawValue{{0x12, 0x34}}}}},
        {.Values = {{"Name", "Jones"},
                    {"Notes", "plain"},
                    {"Visits", 0},
                    {"Points", 7},
                    {"Balance", 2147483647},
                    {"Big Whole", 1e12},
                    {"Price", -0.125},
                    {"Rate", -12.5},
                    {"Ratio", -9.995},
                    {"Factor", 1e30f},
                    {"Date", tw::Date{1776, 1, 1}},
                    {"Joined", tw::Date{1949, 12, 31}},
                    {"Time", "235959"},
                    {"Colour", 5}}},
        {.Values = {{"Name", "Empty Values"},
                    {"Visits", tw::Empty{}},
                    {"Points", tw::Empty{}},
                    {"Balance", tw::Empty{}},
                    {"Big Whole", tw::Empty{}},
                    {"Price", tw::Empty{}},
                    {"Rate", tw::Empty{}},
                    {"Ratio", tw::Empty{}},
                    {"Factor", tw::Empty{}},
                    {"Date", tw::Empty{}},
                    {"Joined", tw::Empty{}},
                    {"Colour", 0}}},
        {.Deleted = true,
         .Values = {{"Name", "Removed"}, {"Visits", 1}, {"Date", tw::Date{2001, 9, 1}}, {"Colour", "Red"}}},
        {.Values = {{"Name", "Padded    "},
                    {"Notes", "commas, here, too"},
                    {"Visits", 255},
                    {"Points", 0},
                    {"Balance", 0},
                    {"Big Whole", 0.0},
                    {"Price", 0.005},
                    {"Rate", 999.5},
                    {"Ratio", 0.0},
                    {"Factor", -2.5f},
                    {"Date", tw::Date{2024, 2, 29}},
                    {"Joined", "      "},
                    {"Time", "120000"},
                    {"Colour", "Blue"}}},
    };
    if (version >= 5) {
        records[0].Values.push_back({"Active", "yes"});
        records[1].Values.push_back({"Active", "no"});
    }
    return {.Name = "Customers", .DataFile = "CUSTOMER.DBM", .Fields = fields, .Records = records};
}

// A second form whose name holds a "/".
tw::FormSpec OrdersReturns(int version) {
    return {.Name = "Orders/Returns",
            .DataFile = "ORDERRET.DBM",
            .Fields = {tw::TextField("Customer", 20), tw::WholeNumber("Quantity", 2),
                       tw::FixedPoint("Amount", 9, 6),
                       version >= 5 ? tw::DayCountDate("Date") : tw::SixCharDate("Date")},
            .Records = {{.Values = {{"Customer", "Smith"},
                                    {"Quantity", 3},
                                    {"Amount", 19.99},
                                    {"Date", tw::Date{1999, 12, 31}}}},
                        {.Deleted = true, .Values = {{"Customer", "Jones"}, {"Quantity", 1}}},
                        {.Values = {{"Customer", "Jones"},
                                    {"Quantity", 12},
                                    {"Amount", -5.5},
                                    {"Date", tw::Date{2000, 1, 1}}}}}};
}

tw::DatabaseSpec Sample(int version) {
    tw::DatabaseSpec desc{.Version = version, .Forms = {Customers(version), OrdersReturns(version)}};
    switch (version) {
    case 3:
        desc.Name = "Sample 4.x";
        desc.RecordSize4x = 18;
        desc.Configuration = tw::ConfigurationSpec{.DateOrder = 2, .CenturyCutoff = 30};
        break;
    case 5:
        desc.Name = "Sample 5.x";
        desc.Tagged = false;
        desc.Configuration = tw::ConfigurationSpec{.CenturyCutoff = 30};
        break;
    case 6:
        desc.Name = "Sample DfW";
        desc.Configuration = tw::ConfigurationSpec{.CenturyCutoff = 30};
        desc.Variants = {{.Name = "Customer View", .BaseForm = "Customers", .ObjectFile = "CUSTVIEW.DBV"}};
        break;
    default:
        desc.Name = "Sample DfW 7";
        break;
    }
    return desc;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: corvane-make-samples OUTDIR\n");
        return 2;
    }
    try {
        const std::filesystem::path out = argv[1];
        for (const int version : {3, 5, 6, 7}) {
            const std::filesystem::path dir = out / ("v" + std::to_string(version));
            std::filesystem::remove_all(dir);
            tw::DatabaseSpec desc = Sample(version);
            if (desc.Configuration) {
                // System-form definitions for the DataEase program directory (--depath).
                desc.DEPathDir = dir / "depath";
            }
            tw::WriteDatabase(dir, desc);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "corvane-make-samples: %s\n", e.what());
        return 1;
    }
    return 0;
}
