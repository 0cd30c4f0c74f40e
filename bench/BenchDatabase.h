#pragma once
// The benchmark database: one version 5 form, "Customers", of N records with a realistic mix of twelve fields
// (two texts, whole numbers of 1, 2 and 4 bytes, an 8-byte double, a fixed-point double, a floating single, a
// six-character date, a day-count date, a time and a choice), about a tenth of the slots deleted, and a
// Configuration form holding the century cutoff. The records are a pure function of their index, so the same
// N always gives the same files; the data file is streamed, never held in memory.
//
// Used by the benchmark program and by the test that keeps the export's output fixed.

#include "tools/testwriter/TestWriter.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::bench {

namespace tw = corvane::testwriter;

inline constexpr const char* kBenchFormName = "Customers";
inline constexpr int kBenchVersion = 5;
inline constexpr std::uint8_t kBenchCenturyCutoff = 30;

// A 64-bit mix of the record index (splitmix64's finaliser): every value of a record comes from it.
inline std::uint64_t MixIndex(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

inline std::vector<tw::FieldDef> BenchFields() {
    return {
        tw::TextField("Name", 20),      tw::TextField("Street", 40),
        tw::WholeNumber("Visits", 1),   tw::WholeNumber("Items", 2),
        tw::WholeNumber("Balance", 4),  tw::WholeNumber("Turnover", 8),
        tw::FixedPoint("Price", 10, 7), tw::FloatNumber("Rate", 14, 4),
        tw::SixCharDate("First visit"), tw::DayCountDate("Since"),
        tw::TimeField("Call at"),       tw::ChoiceField("Status", {"new", "regular", "lapsed"}),
    };
}

// Fills one record slot (a zeroed live slot of the form's record length) from the record index.
class BenchRecordFiller {
public:
    BenchRecordFiller() : fields_(tw::LaidOutFields(BenchFields(), kBenchVersion)) {}

    void Fill(std::uint64_t index, tw::Slot& slot) const {
        static constexpr std::array<std::string_view, 12> kFirst = {"Anna", "Ben",   "Clara", "David",
                                                                    "Emma", "Frank", "Grace", "Henry",
                                                                    "Iris", "Jack",  "Karen", "Leo"};
        static constexpr std::array<std::string_view, 10> kLast = {"Smith",    "Jones",   "Taylor", "Brown",
                                                                   "Williams", "O'Neill", "Davies", "Evans",
                                                                   "Thomas",   "Roberts"};
        static constexpr std::array<std::string_view, 8> kStreet = {
            "High Street", "Station Road", "Church Lane",      "Mill Road",
            "Park Avenue", "Queen's Walk", "Victoria Terrace", "The Green"};
        static constexpr std::array<std::string_view, 6> kTown = {"Leeds", "York", "Bath",
                                                                  "Derby", "Ely",  "Hull"};

        const std::uint64_t a = MixIndex(index);
        const std::uint64_t b = MixIndex(a);
        const std::uint64_t c = MixIndex(b);
        if (a % 10 == 0) {
            slot.Deleted();
        }
        char buf[64];
        std::size_t n = 0;
        auto put = [&](std::string_view s) {
            for (char ch : s) {
                if (n < sizeof buf) {
                    buf[n++] = ch;
                }
            }
        };
        auto putNumber = [&](std::uint64_t v) {
            char digits[20];
            int k = 0;
            do {
                digits[k++] = static_cast<char>('0' + v % 10);
                v /= 10;
            } while (v != 0);
            while (k > 0) {
                put(std::string_view(&digits[--k], 1));
            }
        };

        const tw::FieldDef* f = fields_.data();
        // Name: first and last name; now and then a nickname in double quotes, now and then none.
        if ((a >> 8) % 97 != 0) {
            put(kFirst[(a >> 12) % kFirst.size()]);
            if ((a >> 16) % 53 == 0) {
                put(" \"Ace\"");
            }
            put(" ");
            put(kLast[(a >> 20) % kLast.size()]);
        }
        slot.Text(f[0].Offset, std::string_view(buf, n), f[0].Size);
        // Street: house number, street, town (cut at 40 bytes by the slot).
        n = 0;
        putNumber(1 + (a >> 24) % 250);
        put(" ");
        put(kStreet[(a >> 32) % kStreet.size()]);
        put(", ");
        put(kTown[(a >> 36) % kTown.size()]);
        slot.Text(f[1].Offset, std::string_view(buf, n), f[1].Size);

        // Whole numbers; each field empty now and then.
        if ((b & 0xFF) == 0) {
            slot.EmptyNumber(f[2].Offset, f[2].Size);
        } else {
            slot.U8(f[2].Offset, static_cast<std::uint8_t>((b >> 8) % 80));
        }
        slot.U16(f[3].Offset, static_cast<std::uint16_t>((b >> 16) % 5000));
        if ((b >> 32) % 50 == 0) {
            slot.EmptyNumber(f[4].Offset, f[4].Size);
        } else {
            slot.I32(f[4].Offset, static_cast<std::int32_t>((b >> 36) % 2000001) - 1000000);
        }
        slot.Double(f[5].Offset, static_cast<double>((c & 0xFFFFFF)) * 37.25);
        // Price: whole cents, 2 decimals.
        if ((c >> 24) % 40 == 0) {
            slot.EmptyNumber(f[6].Offset, f[6].Size);
        } else {
            slot.Double(f[6].Offset, static_cast<double>((c >> 24) % 1000000) / 100.0);
        }
        slot.Single(f[7].Offset, static_cast<float>((c >> 44) % 100000) / 1000.0F - 20.0F);

        // First visit: six characters in the stored day-month-year order, some empty.
        if ((c >> 4) % 25 != 0) {
            const std::uint64_t day = 1 + (c >> 8) % 28;
            const std::uint64_t month = 1 + (c >> 13) % 12;
            const std::uint64_t year = (c >> 17) % 100;
            const char six[6] = {static_cast<char>('0' + day / 10),   static_cast<char>('0' + day % 10),
                                 static_cast<char>('0' + month / 10), static_cast<char>('0' + month % 10),
                                 static_cast<char>('0' + year / 10),  static_cast<char>('0' + year % 10)};
            slot.Chars(f[8].Offset, std::string_view(six, 6));
        }
        // Since: a day count between 1950 and 2024 (about 63,500 to 90,900), some empty.
        if ((a >> 40) % 30 != 0) {
            slot.I32(f[9].Offset, static_cast<std::int32_t>(63500 + (a >> 44) % 27400));
        }
        // Call at: hhmmss, some empty.
        if ((b >> 2) % 9 != 0) {
            const std::uint64_t h = 8 + (b >> 5) % 10;
            const std::uint64_t m = (b >> 9) % 60;
            const std::uint64_t s = (b >> 15) % 60;
            const char six[6] = {static_cast<char>('0' + h / 10), static_cast<char>('0' + h % 10),
                                 static_cast<char>('0' + m / 10), static_cast<char>('0' + m % 10),
                                 static_cast<char>('0' + s / 10), static_cast<char>('0' + s % 10)};
            slot.Chars(f[10].Offset, std::string_view(six, 6));
        }
        // Status: 0 (no choice), the three texts, now and then an index beyond them.
        slot.Choice(f[11].Offset, static_cast<std::uint8_t>((c >> 60) % 4 + ((c >> 50) % 101 == 0 ? 3 : 0)));
    }

private:
    std::vector<tw::FieldDef> fields_;
};

// Writes the benchmark database of records slots into dir; returns the data file's path.
inline std::filesystem::path WriteBenchDatabase(const std::filesystem::path& dir, std::uint64_t records) {
    const BenchRecordFiller filler;
    tw::FormSpec form{.Name = kBenchFormName, .Fields = BenchFields()};
    form.RecordCount = static_cast<std::int32_t>(records);
    form.WriteDataFile = false;
    tw::WriteDatabase(dir, {.Version = kBenchVersion,
                            .Name = "Bench",
                            .Forms = {form},
                            .Configuration = tw::ConfigurationSpec{.CenturyCutoff = kBenchCenturyCutoff}});
    const std::filesystem::path data = dir / tw::DefaultDataFileName(kBenchFormName);
    tw::WriteDataFileStreaming(data, tw::FormRecordLength(form, kBenchVersion), records,
                               [&filler](std::uint64_t index, tw::Slot& slot) { filler.Fill(index, slot); });
    return data;
}

// A database of forms forms (a few fields each, no records), for timing the form list.
inline void WriteManyFormsDatabase(const std::filesystem::path& dir, int forms) {
    tw::DatabaseSpec db{.Version = kBenchVersion, .Name = "Many"};
    for (int i = 0; i < forms; ++i) {
        tw::FormSpec f{
            .Name = "Form " + std::to_string(i),
            .DataFile = "F" + std::to_string(i) + ".DBM",
            .Fields = {tw::TextField("Name", 20), tw::WholeNumber("Count", 2), tw::DayCountDate("Day")}};
        db.Forms.push_back(std::move(f));
    }
    tw::WriteDatabase(dir, db);
}

} // namespace corvane::bench
