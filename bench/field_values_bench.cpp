// Google Benchmark micro-benchmark: the conversion of one value of each field type of the benchmark form, as
// the export does it (AppendFieldValue into a reused buffer), over 4096 different records.
//
//     build-bench/bench/field_values_bench [--benchmark_filter=Rate]

#include "bench/BenchDatabase.h"
#include "database/DEInfoRec.h"
#include "database/PlatformFile.h"
#include "export/DataFile.h"
#include "export/ExportLine.h"
#include "export/FieldValues.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace corvane;

constexpr std::uint64_t kRecords = 4096;

// The benchmark database of kRecords records, loaded, with every slot in memory.
struct BenchData {
    testwriter::TempDir dir;
    TDEInfoRec database;
    TFormRec* form = nullptr;
    std::vector<std::uint8_t> slots;
    std::size_t recordLength = 0;
    TValueContext context;

    BenchData() {
        bench::WriteBenchDatabase(dir.Path(), kRecords);
        database.SetDirectory(dir.Dir());
        database.SetDictionaryName("RDRRAAAA.DBM");
        database.Load();
        form = database.FindForm(bench::kBenchFormName);
        form->GetFields();
        recordLength = form->RecordLength;
        TReadOnlyFile data(DataFilePath(*form));
        slots.resize(recordLength * kRecords);
        data.ReadExact(0, slots.data(), slots.size());
        context.Version = database.GetVersion();
        context.ShortDateFormat = "%d/%m/%Y";
        context.CenturyCutoff = [this]() { return ReadCenturyCutoff(database); };
    }

    const TFieldRec* Field(const std::string& name) const {
        for (const TFieldRec* f = form->GetFields(); f != nullptr; f = f->Next.get()) {
            if (f->Name == name) {
                return f;
            }
        }
        return nullptr;
    }
};

BenchData& Data() {
    static BenchData data;
    return data;
}

void BM_FieldValue(benchmark::State& state, const char* fieldName) {
    BenchData& d = Data();
    const TFieldRec* field = d.Field(fieldName);
    if (field == nullptr) {
        state.SkipWithError("no such field");
        return;
    }
    std::string out;
    out.reserve(256);
    std::uint64_t i = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        const ByteSpan slot(d.slots.data() + (i % kRecords) * d.recordLength, d.recordLength);
        out.clear();
        AppendFieldValue(out, slot, *field, d.context);
        bytes += out.size();
        benchmark::DoNotOptimize(out.data());
        ++i;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}

BENCHMARK_CAPTURE(BM_FieldValue, Text20, "Name");
BENCHMARK_CAPTURE(BM_FieldValue, Text40, "Street");
BENCHMARK_CAPTURE(BM_FieldValue, Whole1, "Visits");
BENCHMARK_CAPTURE(BM_FieldValue, Whole2, "Items");
BENCHMARK_CAPTURE(BM_FieldValue, Whole4, "Balance");
BENCHMARK_CAPTURE(BM_FieldValue, Double8, "Turnover");
BENCHMARK_CAPTURE(BM_FieldValue, FixedPoint, "Price");
BENCHMARK_CAPTURE(BM_FieldValue, FloatSingle, "Rate");
BENCHMARK_CAPTURE(BM_FieldValue, SixCharDate, "First visit");
BENCHMARK_CAPTURE(BM_FieldValue, DayCountDate, "Since");
BENCHMARK_CAPTURE(BM_FieldValue, Time, "Call at");
BENCHMARK_CAPTURE(BM_FieldValue, Choice, "Status");

// A whole record: every column and the delimiters, as one line of the export.
void BM_Record(benchmark::State& state) {
    BenchData& d = Data();
    std::vector<const TFieldRec*> columns;
    for (const TFieldRec* f = d.form->GetFields(); f != nullptr; f = f->Next.get()) {
        columns.push_back(f);
    }
    std::string out;
    out.reserve(512);
    std::uint64_t i = 0;
    for (auto _ : state) {
        const ByteSpan slot(d.slots.data() + (i % kRecords) * d.recordLength, d.recordLength);
        out.clear();
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (c != 0) {
                out += ',';
            }
            AppendFieldValue(out, slot, *columns[c], d.context);
        }
        out += "\r\n";
        benchmark::DoNotOptimize(out.data());
        ++i;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_Record);

// The same record as the export builds it: columns prepared once, every value written in place.
void BM_RecordLineBuilder(benchmark::State& state) {
    BenchData& d = Data();
    std::vector<const TFieldRec*> columns;
    for (const TFieldRec* f = d.form->GetFields(); f != nullptr; f = f->Next.get()) {
        columns.push_back(f);
    }
    TLineBuilder builder(columns, d.recordLength, ',', d.context);
    std::uint64_t i = 0;
    for (auto _ : state) {
        const ByteSpan slot(d.slots.data() + (i % kRecords) * d.recordLength, d.recordLength);
        const std::string_view line = builder.Build(slot);
        benchmark::DoNotOptimize(line.data());
        ++i;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_RecordLineBuilder);

} // namespace

BENCHMARK_MAIN();
