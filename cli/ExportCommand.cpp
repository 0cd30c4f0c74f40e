// corvane-cli export: one database, or every database below a directory.

#include "cli/Commands.h"
#include "database/DEInfoRec.h"
#include "database/Errors.h"
#include "database/PlatformFile.h"
#include "export/DataFile.h"
#include "export/ExportRun.h"
#include "export/OutputFile.h"
#include "export/Outputs.h"
#include "export/SqlSchema.h"
#include "formats/Formats.h"
#include "text/TextUtils.h"

#include "platform/Platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

namespace corvane {

namespace {

constexpr const char* kStandardOutput = "-";

// The formats that can go to standard output: those written as a stream of bytes, with no file to build.
bool StreamsToStandardOutput(TOutputFormat format) {
    return format == TOutputFormat::Delimited || format == TOutputFormat::Jsonl ||
           format == TOutputFormat::PostgreSql;
}

// A progress line on standard error, redrawn at most a few times a second.
class TProgressLine {
public:
    TProgressLine(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}

    bool Enabled() const { return enabled_; }

    // Form index (0-based) of count: its records done of total, and the rate since the form began.
    void Form(std::size_t index, std::size_t count, const std::string& label) {
        index_ = index;
        count_ = count;
        label_ = label;
        formStart_ = std::chrono::steady_clock::now();
    }
    void Records(std::int64_t done, std::int64_t total) {
        if (!Due(done < total)) {
            return;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - formStart_).count();
        err_ << "\r\033[K[" << index_ + 1 << "/" << count_ << " forms] " << EscapeControls(label_) << ": "
             << done << " / " << total << " records";
        if (seconds > 0.2) {
            err_ << ", " << static_cast<std::int64_t>(static_cast<double>(done) / seconds) << " records/s";
        }
        err_ << std::flush;
    }
    // Databases done of total (the export of many databases).
    void Databases(std::size_t done, std::size_t total) {
        if (!Due(done < total)) {
            return;
        }
        err_ << "\r\033[K" << done << " / " << total << " databases" << std::flush;
    }

    void Clear() {
        if (shown_) {
            err_ << "\r\033[K" << std::flush;
            shown_ = false;
        }
    }

private:
    bool Due(bool unfinished) {
        if (!enabled_) {
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (shown_ && unfinished && now - last_ < std::chrono::milliseconds(200)) {
            return false;
        }
        last_ = now;
        shown_ = true;
        return true;
    }

    std::ostream& err_;
    bool enabled_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_{};
    std::chrono::steady_clock::time_point formStart_{};
    std::size_t index_ = 0;
    std::size_t count_ = 0;
    std::string label_;
};

// An output file that could not be created (rather than written, or refused by the run).
bool IsCreationError(const TFormResult& result) {
    if (!result.OutputError || result.ErrorCode == 0 || !result.ErrorObject) {
        return false;
    }
    try {
        std::rethrow_exception(result.ErrorObject);
    } catch (const EOutputWriteError&) {
        return false;
    } catch (const EInOutError&) {
        return true;
    } catch (...) {
        return false;
    }
}

// The run as the command line shows it: messages and failures on standard error, progress on a terminal.
class TCliObserver final : public IExportObserver {
public:
    TCliObserver(std::ostream& err, TProgressLine& progress) : err_(err), progress_(progress) {}

    void FormStarted(std::size_t index, std::size_t count, const TPlanItem& item) override {
        progress_.Form(index, count, item.Label);
    }
    void Records(std::int64_t done, std::int64_t total) override { progress_.Records(done, total); }
    void Message(const std::string& line) override {
        progress_.Clear();
        err_ << EscapeControls(line) << "\n";
    }
    void FormFailed(const TFormResult& result) override {
        progress_.Clear();
        if (!result.Found) {
            err_ << "corvane-cli: " << EscapeControls(result.Error) << "\n";
        } else if (IsCreationError(result)) {
            err_ << "corvane-cli: " << EscapeControls(result.Label) << ": IO Error: " << result.ErrorCode
                 << " (" << std::strerror(result.ErrorCode) << ")\n";
        } else {
            err_ << "corvane-cli: " << EscapeControls(result.Label) << ": " << EscapeControls(result.Error)
                 << "\n";
        }
    }
    void Done() { progress_.Clear(); }

private:
    std::ostream& err_;
    TProgressLine& progress_;
};

// The plan of a database as the command line asks for it; the forms it leaves out are named on err.
TExportPlan PlanOf(const TDEInfoRec& database, const TExportArgs& args, std::ostream& err) {
    TExportPlan plan;
    if (args.Forms.empty()) {
        std::vector<TLeftOutForm> leftOut;
        plan = PlanOfEveryForm(database, args.Selection, &leftOut);
        for (const TLeftOutForm& form : leftOut) {
            err << "corvane-cli: " << EscapeControls(form.Form->Name)
                << ": left out, its definition is found neither in the DataEase program directory nor beside "
                   "the database ("
                << EscapeControls(form.Reason) << "); --depath DIR includes it\n";
        }
    } else {
        for (const std::string& entry : args.Forms) {
            plan.push_back(ResolveFormEntry(database, entry, args.Selection));
        }
    }
    return plan;
}

// The directory the export writes into: the destination of per-form formats, the parent of the file of
// one-file formats ("" for the current directory).
std::string OutputDirectory(const TExportOptions& options) {
    if (!IsOneFileFormat(options.Format)) {
        return options.Destination;
    }
    const std::size_t slash = options.Destination.find_last_of(platform::kPathSeparators);
    return slash == std::string::npos ? std::string() : options.Destination.substr(0, slash + 1);
}

// Creates the output directory with its parents when it is missing; returns it then, or "" when it was
// there. Throws EInOutError when it cannot be created.
std::string CreateOutputDirectory(const TExportOptions& options) {
    namespace fs = std::filesystem;
    const std::string directory = OutputDirectory(options);
    std::error_code ec;
    if (directory.empty() || fs::exists(directory, ec)) {
        return {};
    }
    if (!fs::create_directories(directory, ec) && ec) {
        throw MakeIOError(ec.value(), directory);
    }
    return directory;
}

// Exports database as args ask into options.Destination through output (nullptr: the file system); the
// messages go to err, the summary too (its lines start with "corvane-cli: " and prefix). Returns the status.
int ExportDatabase(TDEInfoRec& database, const TExportArgs& args, const TExportOptions& options,
                   IOutputTarget* output, TProgressLine& progress, std::ostream& err,
                   const std::string& prefix) {
    const TExportPlan plan = PlanOf(database, args, err);
    const bool toStandardOutput = options.Destination == kStandardOutput;
    if (toStandardOutput && !IsOneFileFormat(options.Format) && plan.size() != 1) {
        throw EUsageError("export", "--out -: standard output takes exactly one form, and " +
                                        std::to_string(plan.size()) +
                                        " are to be exported; name it with --form");
    }
    const std::string created = toStandardOutput ? std::string() : CreateOutputDirectory(options);

    TFormatRegistry formats;
    RegisterBuildFormats(formats);
    TRunSetup setup;
    setup.Formats = &formats;
    setup.Output = output;
    TCliObserver observer(err, progress);
    const TRunResult run = RunExport(database, plan, options, observer, setup);
    observer.Done();

    const TRunSummary& summary = run.Summary;
    if (args.Quiet) {
        return summary.Failed == 0 ? 0 : 1;
    }
    for (const TFormResult& form : run.Forms) {
        if (form.Written && form.Renamed) {
            // Its name was taken by an earlier form of the run: say where it went.
            err << "corvane-cli: " << prefix << EscapeControls(form.Label) << " -> "
                << EscapeControls(
                       form.FileName.substr(form.FileName.find_last_of(platform::kPathSeparators) + 1))
                << "\n";
        }
    }
    const bool typed = options.Format != TOutputFormat::Delimited;
    std::string out =
        IsOneFileFormat(options.Format) ? options.Destination : WithTrailingSeparator(options.Destination);
    if (toStandardOutput) {
        out = "standard output";
    }
    std::string detail = typed ? ", text from " + std::string(CodePageName(summary.CodePage)) : "";
    if (!created.empty()) {
        detail += ", created " + WithTrailingSeparator(created);
    }
    return PrintExportSummary(err, static_cast<int>(summary.Exported), summary.Forms, EscapeControls(out),
                              summary.Records, detail, static_cast<int>(summary.Failed), summary.Stopped,
                              prefix);
}

// The file extension of a one-file format below the output directory of many databases.
std::string OneFileExtension(TOutputFormat format) {
    return format == TOutputFormat::PostgreSql ? "sql" : std::string(FormatName(format));
}

// Every database below args.Database, each into its own place below args.Out, args.Jobs at once. Each job
// loads its own database, so what one holds in memory is freed before the next starts.
int ExportBelow(const TExportArgs& args, std::ostream& err) {
    if (args.Out == kStandardOutput) {
        throw EUsageError("export",
                          "--out -: standard output takes one form of one database, not --recursive");
    }
    if (!IsDirectory(args.Database)) {
        err << "corvane-cli: " << args.Database << ": not a directory\n";
        return 1;
    }
    std::vector<std::string> problems;
    const std::vector<TFoundDatabase> found = FindDatabasesBelow(args.Database, problems);
    int status = 0;
    for (const std::string& problem : problems) {
        err << "corvane-cli: " << problem << "\n";
        status = 1;
    }
    if (found.empty()) {
        err << "corvane-cli: " << args.Database << ": no DataEase database in this directory or below it\n";
        return 1;
    }

    const std::string top = WithTrailingSeparator(args.Out);
    const bool oneFile = IsOneFileFormat(args.Options.Format);
    unsigned jobs = args.Jobs != 0 ? args.Jobs : std::max(1U, std::thread::hardware_concurrency());
    jobs = std::min<unsigned>(jobs, static_cast<unsigned>(found.size()));

    std::mutex errMutex;
    TProgressLine overall(err, !args.Quiet && (args.Progress || platform::IsTerminal(2)));
    std::atomic<std::size_t> next{0};
    std::size_t done = 0;
    std::size_t exported = 0;
    bool failed = false;
    auto job = [&]() {
        for (std::size_t i = next++; i < found.size(); i = next++) {
            const TFoundDatabase& database = found[i];
            std::ostringstream lines; // the database's lines, written together
            TProgressLine silent(lines, false);
            const std::string prefix = EscapeControls(database.RelativeFile) + ": ";
            int result = 1;
            try {
                TExportOptions options = args.Options;
                options.Destination = oneFile
                                          ? top + database.OutputPath + "." + OneFileExtension(options.Format)
                                          : top + database.OutputPath;
                TDEInfoRec loaded;
                LoadDatabase(loaded, database.Directory + database.DictionaryName, args.DEPath);
                result = ExportDatabase(loaded, args, options, nullptr, silent, lines, prefix);
            } catch (const std::exception& error) {
                // An error that names its file needs no other name in front.
                const auto* io = dynamic_cast<const EInOutError*>(&error);
                lines << "corvane-cli: " << (io != nullptr && !io->FileName().empty() ? "" : prefix)
                      << EscapeControls(DescribeError(error)) << "\n";
            }
            const std::lock_guard lock(errMutex);
            overall.Clear();
            err << lines.str() << std::flush;
            ++done;
            if (result == 0) {
                ++exported;
            } else {
                failed = true;
            }
            overall.Databases(done, found.size());
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < jobs; ++t) {
        threads.emplace_back(job);
    }
    job();
    for (std::thread& thread : threads) {
        thread.join();
    }
    overall.Clear();
    if (!args.Quiet) {
        err << "corvane-cli: " << exported << " of " << found.size() << " databases exported to " << top
            << "\n";
    }
    return failed || status != 0 ? 1 : 0;
}

} // namespace

int RunSchemaCommand(const TExportArgs& args, TSchemaDialect dialect, std::ostream& out, std::ostream& err) {
    TDEInfoRec database;
    LoadDatabase(database, args.Database, args.DEPath);
    const TExportPlan plan = PlanOf(database, args, err);
    int status = 0;
    TExportPlan found;
    for (const TPlanItem& item : plan) {
        if (item.Form == nullptr) {
            err << "corvane-cli: Table " << EscapeControls(item.Label) << " doesn't exist.\n";
            status = 1;
        } else {
            found.push_back(item);
        }
    }
    const TCodePage codePage = args.Options.Encoding.value_or(DefaultCodePage(database.GetVersion()));
    std::string ddl;
    WriteSchema(found, dialect, codePage, args.Options, ddl);
    out << ddl;
    return status;
}

int RunExportCommand(const TExportArgs& args, std::ostream& err) {
    if (args.Options.ShortDateFormat.empty()) {
        // Day-count dates follow the user's short date format.
        std::setlocale(LC_TIME, "");
    }
    if (args.Recursive) {
        return ExportBelow(args, err);
    }
    TExportOptions options = args.Options;
    options.Destination = args.Out;
    const bool toStandardOutput = options.Destination == kStandardOutput;
    if (toStandardOutput && !StreamsToStandardOutput(options.Format)) {
        throw EUsageError("export", "--out -: " + std::string(FormatName(options.Format)) +
                                        " builds a file of its own and cannot go to standard output; name "
                                        "the file with --out");
    }
    TDEInfoRec database;
    LoadDatabase(database, args.Database, args.DEPath);
    TStdoutOutputTarget standardOutput;
    TProgressLine progress(err, !args.Quiet && (args.Progress || platform::IsTerminal(2)));
    return ExportDatabase(database, args, options, toStandardOutput ? &standardOutput : nullptr, progress,
                          err, "");
}

} // namespace corvane
