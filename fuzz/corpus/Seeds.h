#pragma once
// Seed inputs of the fuzz targets, built by the test-support writer: small, well-formed files of every layout
// the readers know, so that the fuzzer starts from the structures it should mutate. The seed program writes
// them into a corpus directory; the regression test replays them too.

#include "fuzz/FuzzEntryPoints.h"
#include "tools/testwriter/TestWriter.h"

#include <ostream>
#include <string>
#include <vector>

namespace corvane::fuzz {

namespace tw = corvane::testwriter;

struct Seed {
    std::string Name;
    tw::Bytes Data;
};

// Fields of every type, with choice lists in the encodings of the layout (4.x knows only the plain one).
inline std::vector<tw::FieldDef> SeedFields(bool layout5x) {
    std::vector<tw::FieldDef> fields{
        tw::TextField("Name", 12),    tw::WholeNumber("Small", 1),
        tw::WholeNumber("Count", 2),  tw::WholeNumber("Big", 4),
        tw::WholeNumber("Huge", 8),   tw::FixedPoint("Price", 9, 6),
        tw::FloatNumber("Ratio", 12), tw::FloatNumber("Single", 10, 4),
        tw::SixCharDate("Born"),      tw::DayCountDate("Since"),
        tw::TimeField("At"),          tw::ChoiceField("Colour", {"Red", "Green", "Blue"}),
    };
    fields.back().Texts = {std::string("Help\rline two"), std::nullopt, std::string("x")};
    if (layout5x) {
        fields.push_back(tw::ChoiceField("Size", {"S", "M"}, tw::ChoiceEncoding::ZeroAfterCount));
        tw::FieldDef escaped = tw::ChoiceField("Mood", {"Up", "Down"}, tw::ChoiceEncoding::Escaped255);
        escaped.EscapeFiller = 7;
        fields.push_back(escaped);
        fields.push_back(tw::ChoiceField("Active", {}, tw::ChoiceEncoding::YesNo));
    }
    fields.front().Flags = 1U << 3;
    return fields;
}

inline std::vector<Seed> DictionarySeeds() {
    std::vector<tw::DictFormRecord> forms{
        {.Name = "Customers", .RecordLength = 60, .RecordCount = 3, .DataFile = "CUSTOMER.DBM"},
        {.Status = 1, .Name = "Gone", .DataFile = "GONE.DBM"},
        {.Name = "Configuration", .DataFile = "CONFIGUR.DBM", .Flags = 1},
        {.Name = "Application Objects", .DataFile = "APPOBJ.DBM", .ObjectFile = "APPOBJ.tdf", .Flags = 1},
        {.Name = "Orders",
         .RecordLength = 20,
         .RecordCount = 2147483647,
         .DataFile = "ORDERS.DBM",
         .ObjectFile = "ORDERS.tdf"},
    };
    std::vector<Seed> seeds;
    struct Variant {
        const char* name;
        std::uint8_t versionByte;
        bool dfw;
    };
    for (const Variant v : {Variant{"v4x", 2, false}, Variant{"v5x", 5, false}, Variant{"dfw", 5, true},
                            Variant{"v7", 7, false}, Variant{"other", 9, false}}) {
        seeds.push_back({std::string(v.name), tw::BuildDictionary({.VersionByte = v.versionByte,
                                                                   .DfWMarker = v.dfw,
                                                                   .DatabaseName = "Seed database",
                                                                   .Forms = forms})});
    }
    // Records shorter than a form entry are refused for the known layouts; a code without a layout reads
    // them.
    seeds.push_back({"short-records",
                     tw::BuildDictionary(
                         {.VersionByte = 9, .DatabaseName = "Short", .RecordLength = 40, .Forms = forms})});
    seeds.push_back({"long-records",
                     tw::BuildDictionary(
                         {.VersionByte = 2, .DatabaseName = "Long", .RecordLength = 90, .Forms = forms})});
    return seeds;
}

inline std::vector<Seed> ApplicationObjectsSeeds() {
    return {
        {"base-and-variants",
         tw::BuildApplicationObjects(
             {.Entries =
                  {{.ObjectFile = "CUSTOMER.tdf", .BaseForm = "Customers"},
                   {.EntryKind = 0,
                    .VariantName = "Customer View",
                    .ObjectFile = "CUSTVIEW.VRF",
                    .BaseForm = "Customers"},
                   {.Status = 1, .EntryKind = 0, .VariantName = "Deleted", .BaseForm = "Orders"},
                   {.EntryKind = 0,
                    .VariantName = "Orders by date",
                    .ObjectFile = "ORDDATE.VRF",
                    .BaseForm = "Orders",
                    .Pad = ' '},
                   {.EntryKind = 0, .VariantName = "Other type", .BaseForm = "Orders", .ObjectType = 2},
                   {.EntryKind = 0, .VariantName = "No base", .BaseForm = "Nowhere"}},
              .TrailingBytes = {1, 2, 3}})},
        {"empty", {}},
    };
}

inline std::vector<Seed> Definition4xSeeds() {
    std::vector<Seed> seeds;
    for (const std::size_t recordSize : {std::size_t{16}, std::size_t{18}}) {
        for (const std::uint8_t d : {std::uint8_t{2}, std::uint8_t{3}}) {
            seeds.push_back({"r" + std::to_string(recordSize) + "-d" + std::to_string(d),
                             tw::BuildDefinition4x({.D = d,
                                                    .SecondHeader = {1, 2, 3, 4},
                                                    .RecordSize = recordSize,
                                                    .Fields = tw::LaidOutFields(SeedFields(false), 3)})});
        }
    }
    return seeds;
}

inline std::vector<Seed> Definition5xSeeds() {
    std::vector<Seed> seeds;
    for (const bool tagged : {true, false}) {
        seeds.push_back(
            {tagged ? "tagged" : "untagged",
             tw::BuildDefinition5x({.Tagged = tagged, .Fields = tw::LaidOutFields(SeedFields(true), 5)})});
    }
    std::vector<tw::FieldDef> many;
    for (int i = 0; i < 255; ++i) {
        many.push_back(tw::WholeNumber("N" + std::to_string(i), 1));
    }
    seeds.push_back({"count-255", tw::BuildDefinition5x({.Fields = tw::LaidOutFields(many, 5)})});
    return seeds;
}

// A form of every field type with a few live and deleted records, for each version code.
inline std::vector<Seed> ExportFormSeeds() {
    std::vector<Seed> seeds;
    for (const int version : {3, 5, 6, 7}) {
        const bool layout5x = version != 3;
        const std::vector<tw::FieldDef> fields = tw::LaidOutFields(SeedFields(layout5x), version);
        const std::uint16_t recordLength = tw::FormRecordLength({.Fields = fields}, version);
        std::vector<tw::Slot> slots;
        const std::vector<tw::RecordSpec> records{
            {.Values = {{"Name", "Smith \"Jo\""},
                        {"Small", 7},
                        {"Count", -3},
                        {"Big", 123456},
                        {"Huge", 1e15},
                        {"Price", 12.345},
                        {"Ratio", 0.005},
                        {"Single", 9.995f},
                        {"Born", tw::Date{1961, 4, 12}},
                        {"Since", tw::Date{1997, 3, 15}},
                        {"At", "235959"},
                        {"Colour", 2}}},
            {.Deleted = true, .Values = {{"Name", "Gone"}, {"Count", tw::Empty{}}}},
            {.Values = {{"Name", "Empty"},
                        {"Small", tw::Empty{}},
                        {"Price", tw::Empty{}},
                        {"Since", tw::Empty{}},
                        {"Colour", 9}}},
        };
        for (const tw::RecordSpec& record : records) {
            slots.push_back(tw::BuildRecordSlot(fields, recordLength, record, version));
        }
        ExportInput in;
        // Stored and output date order British.
        in.Settings = static_cast<std::uint8_t>(ExportSettingsFor(version) | (1U << 2) | (1U << 4));
        in.RecordLength = recordLength;
        in.RecordCount = static_cast<std::int32_t>(slots.size());
        in.Definition = layout5x ? tw::BuildDefinition5x({.Tagged = version != 5, .Fields = fields})
                                 : tw::BuildDefinition4x({.Fields = fields});
        in.Data = tw::BuildDataFile(slots);
        seeds.push_back({"v" + std::to_string(version), PackExportInput(in)});
        in.RecordCount = 2147483647;
        in.Settings = static_cast<std::uint8_t>(in.Settings | 0xF4U);
        seeds.push_back({"v" + std::to_string(version) + "-count-max", PackExportInput(in)});
    }
    return seeds;
}

struct SeedSet {
    const char* Target;
    std::vector<Seed> (*Build)();
    Outcome (*Run)(Input);
};

// Test output names a seed set by its target rather than by its bytes.
inline void PrintTo(const SeedSet& set, std::ostream* os) {
    *os << set.Target;
}

inline const std::vector<SeedSet>& AllSeedSets() {
    static const std::vector<SeedSet> sets{
        {"dictionary", DictionarySeeds, RunDictionary},
        {"app_objects", ApplicationObjectsSeeds, RunApplicationObjects},
        {"definition_4x", Definition4xSeeds, RunDefinition4x},
        {"definition_5x", Definition5xSeeds, RunDefinition5x},
        {"export_form", ExportFormSeeds, RunExportForm},
    };
    return sets;
}

} // namespace corvane::fuzz
