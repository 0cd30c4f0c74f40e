#pragma once
// The entry points that the fuzz targets drive, shared with the regression test that replays every committed
// crash input without libFuzzer. Each takes the raw input, runs one reader of the library on it and returns
// how the reader answered. The exceptions the library documents for bad input are an answer; anything else
// (another exception, a crash, a read past a buffer, a broken invariant) is a finding.

#include "database/DEInfoRec.h"
#include "database/Definitions.h"
#include "database/Errors.h"
#include "database/FieldRec.h"
#include "database/MemoryFile.h"
#include "database/PlatformFile.h"
#include "export/ExportRun.h"
#include "export/FormExport.h"
#include "export/Outputs.h"
#include "export/ParallelExport.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace corvane::fuzz {

using Input = std::span<const std::uint8_t>;

enum class Outcome {
    Accepted, // the reader finished
    Rejected, // the reader threw one of the library's errors
};

// Aborts with a message: libFuzzer and the regression test both see it as a finding.
[[noreturn]] inline void Broken(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

// Runs body, mapping the library's documented errors to Rejected. Any other exception escapes.
template <typename Body> Outcome Guarded(Body&& body) {
    try {
        body();
        return Outcome::Accepted;
    } catch (const EInOutError&) {
        return Outcome::Rejected;
    } catch (const ERangeError&) {
        return Outcome::Rejected;
    } catch (const EDELibError&) {
        return Outcome::Rejected;
    }
}

// An exact-size copy, so that AddressSanitizer sees a read one byte past the end.
inline std::vector<std::uint8_t> Copy(Input input) {
    return std::vector<std::uint8_t>(input.begin(), input.end());
}

// Touches everything a caller would read of a catalogue, checking the limits the readers promise.
inline void WalkCatalogue(const TDEInfoRec& database) {
    for (const TFormRec* form = database.FirstForm(); form != nullptr; form = form->Next.get()) {
        if (form->DataFile.size() > 12 || form->ObjectFile.size() > 12) {
            Broken("a catalogue file name longer than 12 characters");
        }
        (void)database.FindForm(form->Name);
    }
    (void)database.GetDisplayName();
}

// Touches every field read, checking the limits of the layouts: names of at most 20 characters, at most 255
// stored choices besides the empty entry 0, and no more text lines than a 65535-byte file can hold.
inline void WalkFields(const TFormRec& form) {
    for (const TFieldRec* f = form.Fields.get(); f != nullptr; f = f->Next.get()) {
        if (f->Name.size() > 20) {
            Broken("a field name longer than 20 characters");
        }
        if (f->Choices.empty() || !f->Choices.front().empty() || f->Choices.size() > 256) {
            Broken("a choice list without its empty entry 0 or with more than 255 choices");
        }
        for (const std::vector<std::string>& lines : f->Texts) {
            if (lines.size() > 65536) {
                Broken("more text lines than the file holds bytes");
            }
        }
    }
}

// ---- The dictionary reader ----

inline Outcome RunDictionary(Input input) {
    TDEInfoRec database;
    database.SetDirectory("/nonexistent-corvane-fuzz/");
    database.SetDictionaryName("RDRRAAAA.DBM");
    TBufferSource source(Copy(input), "RDRRAAAA.DBM");
    const Outcome outcome = Guarded([&] { database.ReadDictionaryFrom(source); });
    WalkCatalogue(database);
    return outcome;
}

// ---- The Application Objects reader, on a DfW catalogue of three forms ----

inline void AddFuzzForm(TDEInfoRec& database, const char* name, const char* dataFile, bool systemForm) {
    auto form = std::make_unique<TFormRec>(&database);
    form->Name = name;
    form->DataFile = dataFile;
    form->RecordLength = 40;
    form->RecordCount = 3;
    form->SystemForm = systemForm;
    database.AddForm(std::move(form));
}

inline Outcome RunApplicationObjects(Input input) {
    TDEInfoRec database;
    database.Version = kVersionDfW;
    database.SetDirectory("/nonexistent-corvane-fuzz/");
    AddFuzzForm(database, "Customers", "CUSTOMER.DBM", false);
    AddFuzzForm(database, "Orders", "ORDERS.DBM", false);
    AddFuzzForm(database, "Application Objects", "APPOBJ.DBM", true);
    TBufferSource source(Copy(input), "APPOBJ.DBM");
    const Outcome outcome = Guarded([&] { database.ReadApplicationObjectsFrom(source); });
    WalkCatalogue(database);
    return outcome;
}

// ---- The two definition readers ----

inline Outcome RunDefinition4x(Input input) {
    TDEInfoRec database;
    database.Version = kVersion4x;
    TFormRec form(&database);
    form.Name = "Fuzz";
    const Outcome outcome = Guarded([&] {
        TLargeMemoryFile file(std::make_unique<TBufferSource>(Copy(input), "FUZZ.DBA"));
        ParseFields4x(file, form);
    });
    if (outcome == Outcome::Rejected && form.Fields) {
        Broken("a failed 4.x definition read left fields behind");
    }
    WalkFields(form);
    return outcome;
}

inline Outcome RunDefinition5x(Input input) {
    TDEInfoRec database;
    database.Version = kVersion5x;
    TFormRec form(&database);
    form.Name = "Fuzz";
    const Outcome outcome = Guarded([&] {
        const TMemoryFile file(Copy(input), "FUZZ.tdf");
        ParseFields5x(file, form);
    });
    if (outcome == Outcome::Rejected && form.Fields) {
        Broken("a failed 5.x definition read left fields behind");
    }
    WalkFields(form);
    return outcome;
}

// ---- The export of one form ----
//
// The input holds a small header, the definition file and the data file:
//   byte 0      bits 0-1 the version (3, 5, 6, 7), bits 2-3 the stored date order, bits 4-5 the output date
//               order, bit 6 the numeric null setting, bit 7 quoted headings
//   bytes 1-2   the catalogue's record length
//   bytes 3-6   the catalogue's record count
//   bytes 7-8   the length of the definition file; what follows it is the data file

inline constexpr std::size_t kExportHeaderSize = 9;
inline constexpr std::array<std::uint8_t, 4> kExportVersions{kVersion4x, kVersion5x, kVersionDfW,
                                                             kVersionDfW7};
inline constexpr std::array<char, 4> kDateOrders{'A', 'B', 'M', 'X'};

struct ExportInput {
    std::uint8_t Settings = 0;
    std::uint16_t RecordLength = 0;
    std::int32_t RecordCount = 0;
    std::vector<std::uint8_t> Definition;
    std::vector<std::uint8_t> Data;
};

inline std::vector<std::uint8_t> PackExportInput(const ExportInput& in) {
    std::vector<std::uint8_t> out(kExportHeaderSize);
    out[0] = in.Settings;
    out[1] = static_cast<std::uint8_t>(in.RecordLength);
    out[2] = static_cast<std::uint8_t>(in.RecordLength >> 8);
    const auto count = static_cast<std::uint32_t>(in.RecordCount);
    for (int i = 0; i < 4; ++i) {
        out[3 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(count >> (8 * i));
    }
    const auto defLength = static_cast<std::uint16_t>(in.Definition.size());
    out[7] = static_cast<std::uint8_t>(defLength);
    out[8] = static_cast<std::uint8_t>(defLength >> 8);
    out.insert(out.end(), in.Definition.begin(), in.Definition.begin() + defLength);
    out.insert(out.end(), in.Data.begin(), in.Data.end());
    return out;
}

// Settings byte 0 for a version code (3, 5, 6 or 7), the other settings zero.
inline std::uint8_t ExportSettingsFor(int versionCode) {
    for (std::size_t i = 0; i < kExportVersions.size(); ++i) {
        if (kExportVersions[i] == versionCode) {
            return static_cast<std::uint8_t>(i);
        }
    }
    return 0;
}

// One scratch directory per process, removed at exit.
class ScratchDir {
public:
    ScratchDir() {
        // A memory file system where there is one: the export syncs every file it writes.
        const bool shm = ::access("/dev/shm", W_OK) == 0;
        std::string pattern = shm ? "/dev/shm/corvane-fuzz-XXXXXX" : "/tmp/corvane-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            Broken("cannot create a scratch directory");
        }
        path_ = pattern + "/";
        out_ = path_ + "out/";
        ::mkdir(out_.c_str(), 0700);
    }
    ~ScratchDir() {
        for (const char* name : {"FUZZ.DBA", "FUZZ.tdf", "FUZZ.DBM"}) {
            ::unlink((path_ + name).c_str());
        }
        for (const char* name : {"Fuzz.csv"}) {
            ::unlink((out_ + name).c_str());
        }
        ::rmdir(out_.c_str());
        ::rmdir(path_.c_str());
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& Path() const { return path_; }
    const std::string& Out() const { return out_; }

private:
    std::string path_;
    std::string out_;
};

inline ScratchDir& Scratch() {
    static ScratchDir dir;
    return dir;
}

inline void WriteScratchFile(const std::string& path, Input bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f) {
        Broken("cannot write a scratch file");
    }
}

inline Outcome RunExportForm(Input input) {
    if (input.size() < kExportHeaderSize) {
        return Outcome::Rejected;
    }
    const std::uint8_t settings = input[0];
    const std::uint8_t version = kExportVersions[settings & 3U];
    const char storedOrder = kDateOrders[(settings >> 2) & 3U];
    const char outputOrder = kDateOrders[(settings >> 4) & 3U];
    const int numericNull = (settings >> 6) & 1;
    const std::string qualifier = (settings & 0x80U) != 0 ? "\"" : "";
    const auto recordLength = static_cast<std::uint16_t>(input[1] | (input[2] << 8));
    const std::int32_t recordCount = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(input[3]) | (static_cast<std::uint32_t>(input[4]) << 8) |
        (static_cast<std::uint32_t>(input[5]) << 16) | (static_cast<std::uint32_t>(input[6]) << 24));
    std::size_t defLength = static_cast<std::size_t>(input[7] | (input[8] << 8));
    const Input rest = input.subspan(kExportHeaderSize);
    defLength = std::min(defLength, rest.size());
    const Input definition = rest.first(defLength);
    const Input data = rest.subspan(defLength);

    ScratchDir& dir = Scratch();
    ::unlink((dir.Path() + "FUZZ.DBA").c_str());
    ::unlink((dir.Path() + "FUZZ.tdf").c_str());
    WriteScratchFile(dir.Path() + (version == kVersion4x ? "FUZZ.DBA" : "FUZZ.tdf"), definition);
    WriteScratchFile(dir.Path() + "FUZZ.DBM", data);

    TDEInfoRec database;
    database.Version = version;
    database.SetDirectory(dir.Path());
    auto form = std::make_unique<TFormRec>(&database);
    form->Name = "Fuzz";
    form->DataFile = "FUZZ.DBM";
    form->RecordLength = recordLength;
    form->RecordCount = recordCount;
    database.AddForm(std::move(form));

    // The run as every front end calls it, into memory: the fuzzer exercises the scan and the formatting
    // rather than the file system.
    TExportOptions options;
    options.Destination = dir.Out();
    options.OutputDateOrder = outputOrder == 'A'   ? TDateOrder::American
                              : outputOrder == 'M' ? TDateOrder::Metric
                                                   : TDateOrder::British;
    options.NumericNull = numericNull;
    options.HeadingQualifier = qualifier;
    options.ShortDateFormat = "%d/%m/%Y";
    TRunSetup setup;
    setup.StoredDateOrder = storedOrder;
    // One thread: a claimed record count would otherwise start worker threads for a few slots.
    const TScanPlan oneThread{};
    setup.Scan = &oneThread;
    IExportObserver quiet;
    TMemoryOutputTarget memory;
    setup.Output = &memory;
    const TExportPlan plan = {ResolveFormEntry(database, "Fuzz")};
    const TRunResult run = RunExport(database, plan, options, quiet, setup);
    // The typed scan of the same form, as JSON Lines.
    options.Format = TOutputFormat::Jsonl;
    const TRunResult typed = RunExport(database, plan, options, quiet, setup);
    if (memory.Open() != 0) {
        Broken("an output of the run was left open");
    }
    const Outcome outcome = run.Forms.front().Error.empty() ? Outcome::Accepted : Outcome::Rejected;
    for (const TRunResult* r : {&run, &typed}) {
        const TFormResult& result = r->Forms.front();
        if (!result.Error.empty()) {
            if (!result.ErrorObject) {
                continue;
            }
            // Only the library's documented errors may fail a form.
            Guarded([&] { std::rethrow_exception(result.ErrorObject); });
            continue;
        }
        if (!result.Written || memory.Committed().count(result.FileName) == 0) {
            Broken("an export into memory wrote no output");
        }
        if (result.RecordsWritten > result.SlotsRead) {
            Broken("more records written than slots read");
        }
        if (result.SlotsRead * static_cast<std::int64_t>(recordLength) >
            static_cast<std::int64_t>(data.size())) {
            Broken("more slots read than the data file holds");
        }
    }
    return outcome;
}

} // namespace corvane::fuzz
