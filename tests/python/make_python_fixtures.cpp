// Writes the databases the Python module's tests read into the directory given (replacing it): the typed
// fixture of every version, a large generated form, and damaged and hostile databases.
//
//     make_python_fixtures DIR [LARGE_RECORDS]

#include "bench/BenchDatabase.h"
#include "export/TypedFixture.h"
#include "tools/testwriter/TestWriter.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

namespace fs = std::filesystem;
namespace tw = corvane::testwriter;

namespace {

tw::FormSpec SmallForm(std::string name = "Customers") {
    return {
        .Name = std::move(name),
        .Fields = {tw::TextField("Name", 20), tw::WholeNumber("Count", 2), tw::DayCountDate("Since")},
        .Records = {{.Values = {{"Name", "Smith"}, {"Count", 3}, {"Since", tw::Date{1997, 3, 15}}}},
                    {.Values = {{"Name", "Jones"}, {"Count", 4}}}},
    };
}

void WriteSmall(const fs::path& dir, tw::FormSpec form) {
    tw::WriteDatabase(dir, {.Version = 5, .Name = "Small", .Forms = {std::move(form)}});
}

// Cuts a file to size bytes.
void Truncate(const fs::path& file, std::uintmax_t size) {
    fs::resize_file(file, size);
}

// Six-character dates and times whose characters make no date or time, which the typed scan keeps as text.
void WriteOddValues(const fs::path& dir) {
    tw::WriteDatabase(
        dir, {.Version = 3,
              .Name = "Odd",
              .Forms = {{.Name = "Odd",
                         .Fields = {tw::TextField("Label", 10), tw::SixCharDate("Day"), tw::TimeField("At")},
                         .Records = {{.Values = {{"Label", "month 13"}, {"Day", "151397"}, {"At", "250000"}}},
                                     {.Values = {{"Label", "31 Feb"}, {"Day", "310297"}, {"At", "12ab00"}}},
                                     {.Values = {{"Label", "good"}, {"Day", "010100"}, {"At", "235959"}}}}}},
              .Configuration = tw::ConfigurationSpec{.DateOrder = 2, .CenturyCutoff = 30}});
}

// Day-count dates beyond the reach of pandas' datetime64[ns], and one beyond the year 9999.
void WriteFarDates(const fs::path& dir) {
    tw::WriteDatabase(
        dir,
        {.Version = 5,
         .Name = "Far",
         .Forms = {{.Name = "Far",
                    .Fields = {tw::DayCountDate("Day"), tw::DayCountDate("Near")},
                    .Records = {{.Values = {{"Day", tw::Date{2300, 1, 1}}, {"Near", tw::Date{2001, 2, 3}}}},
                                {.Values = {{"Day", tw::Date{1997, 3, 15}}}},
                                {.Values = {{"Day", tw::Empty{}}}},
                                {.Values = {{"Day", 0x7FFFFFFF}}}}}}});
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: make_python_fixtures DIR [LARGE_RECORDS]\n";
        return 2;
    }
    const fs::path root = argv[1];
    const std::uint64_t large = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 300000;
    try {
        // Written afresh each time: the directory is the fixture makers' own.
        fs::remove_all(root);
        fs::create_directories(root);
        for (const int version : {3, 5, 6, 7}) {
            corvane::testing::WriteAccentDatabase(root / ("typed-v" + std::to_string(version)), version);
        }
        corvane::bench::WriteBenchDatabase(root / "large", large);
        WriteOddValues(root / "odd-values");
        WriteFarDates(root / "far-dates");

        // A dictionary cut inside its second form record.
        tw::WriteDatabase(root / "damaged-dictionary",
                          {.Version = 5, .Name = "Damaged", .Forms = {SmallForm("A"), SmallForm("B")}});
        Truncate(root / "damaged-dictionary" / "RDRRAAAA.DBM", 74 * 2 + 30);

        // A definition file cut short.
        WriteSmall(root / "damaged-definition", SmallForm());
        Truncate(root / "damaged-definition" / "CUSTOMER.tdf", 40);

        // A directory where the data file should be.
        WriteSmall(root / "unreadable-data", SmallForm());
        fs::remove(root / "unreadable-data" / "CUSTOMER.DBM");
        fs::create_directory(root / "unreadable-data" / "CUSTOMER.DBM");

        // No data file although the catalogue counts records.
        tw::FormSpec missing = SmallForm();
        missing.WriteDataFile = false;
        WriteSmall(root / "missing-data", missing);

        // A data file holding two of the five records the catalogue counts.
        tw::FormSpec shortForm = SmallForm();
        shortForm.RecordCount = 5;
        WriteSmall(root / "short-data", shortForm);

        // Hostile files: a field reaching far beyond its record, a huge record count over a tiny data
        // file, a definition whose blocks are noise, a data file ending in part of a slot.
        tw::FormSpec beyond = SmallForm();
        beyond.Fields[1].Offset = 60000;
        beyond.Fields[1].Size = 8;
        WriteSmall(root / "hostile-offsets", beyond);
        tw::FormSpec huge = SmallForm();
        huge.RecordCount = 0x7FFFFFFF;
        WriteSmall(root / "hostile-count", huge);
        WriteSmall(root / "hostile-definition", SmallForm());
        tw::WriteFile(
            root / "hostile-definition" / "CUSTOMER.tdf",
            tw::BuildDefinition5x({.FieldBlock = tw::Bytes(300, 0xFF), .NameBlock = tw::Bytes(3, 0xFE)}));
        tw::FormSpec partial = SmallForm();
        partial.RecordCount = 3;
        partial.DataFileTrailing = tw::Bytes(7, 0x41);
        WriteSmall(root / "hostile-partial-slot", partial);
    } catch (const std::exception& e) {
        std::cerr << "make_python_fixtures: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
