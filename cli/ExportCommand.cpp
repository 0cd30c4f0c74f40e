// corvane-cli export and corvane-cli fields.

#include "cli/Commands.h"
#include "cli/FormatOptions.h"
#include "database/DEInfoRec.h"
#include "database/Errors.h"
#include "export/DataFile.h"
#include "export/ExportRun.h"
#include "export/OutputFile.h"
#include "formats/Formats.h"
#include "text/TextUtils.h"

#include <chrono>
#include <clocale>
#include <cstring>
#include <optional>
#include <unistd.h>

namespace corvane {

namespace {

constexpr const char* kExportUsage =
    "usage: corvane-cli export DATABASE --out DIR [--form ENTRY]... [--ext EXT] [--delimiter C]\n"
    "                          [--quote-headings] [--dates british|american|metric|iso] [--numeric-null "
    "zero|blank]\n"
    "                          [--records live|deleted|all] [--depath DIR] [--short-date-format FMT]\n"
    "                          [--format csv|jsonl|sqlite|xlsx|postgresql] [--encoding CP]\n"
    "                          [--schema NAME] [--drop]\n"
    "  --format sqlite, xlsx and postgresql write every form into one file named by --out (a database, a\n"
    "  workbook, an SQL script); jsonl writes <form>.jsonl. --schema and --drop shape the SQL script.\n"
    "  --dates iso writes yyyy-mm-dd (for the workbook's date cells).\n"
    "  --encoding converts text to UTF-8 from CP: raw (the bytes as stored, default for csv), cp437, cp850,\n"
    "  cp852, cp1250, cp1252 or latin1; sqlite and jsonl default to cp437 (versions 3, 5) or cp1252 (6, 7).\n"
    "  ENTRY is a form name, optionally followed by \"=\" and L, D or A (live, deleted, all records).\n"
    "  Without --form, every form that the form list shows is exported.\n";

constexpr const char* kFieldsUsage =
    "usage: corvane-cli fields DATABASE --form NAME [--json] [--depath DIR]\n";

int UsageError(std::ostream& err, const char* usage, const std::string& problem) {
    err << "corvane-cli: " << problem << "\n" << usage;
    return 2;
}

// A progress line on standard error, redrawn at most a few times a second; only on a terminal.
class TProgressLine {
public:
    explicit TProgressLine(std::ostream& err) : err_(err), enabled_(::isatty(STDERR_FILENO) == 1) {}

    void Show(const std::string& form, std::int64_t done, std::int64_t total) {
        if (!enabled_) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (shown_ && now - last_ < std::chrono::milliseconds(200) && done < total) {
            return;
        }
        last_ = now;
        shown_ = true;
        err_ << "\r\033[K" << form << ": " << done << " / " << total << " records" << std::flush;
    }

    void Clear() {
        if (shown_) {
            err_ << "\r\033[K" << std::flush;
            shown_ = false;
        }
    }

private:
    std::ostream& err_;
    bool enabled_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_{};
};

struct ExportOptions {
    std::string Database;
    std::optional<std::string> Out;
    std::vector<std::string> Forms;
    std::string Extension = "csv";
    char Delimiter = ',';
    std::string HeadingQualifier;
    TDateOrder OutputDateOrder = TDateOrder::British;
    int NumericNull = 0;
    char Selection = kSelectLive;
    std::string DEPath;
    std::string ShortDateFormat;
    std::string Schema;
    bool DropTables = false;
    TFormatOptions Format;
};

// Parses the export arguments; returns an error text for a usage error.
std::optional<std::string> ParseExportArgs(const CliArgs& args, ExportOptions& o) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& into) -> bool {
            if (i + 1 >= args.size()) {
                return false;
            }
            into = args[++i];
            return true;
        };
        std::string v;
        if (arg == "--quote-headings") {
            o.HeadingQualifier = "\"";
        } else if (arg == "--out") {
            if (!value(v) || v.empty()) {
                return "--out needs a directory";
            }
            o.Out = v;
        } else if (arg == "--form") {
            if (!value(v)) {
                return "--form needs a form entry";
            }
            o.Forms.push_back(v);
        } else if (arg == "--ext") {
            if (!value(v)) {
                return "--ext needs an extension";
            }
            if (v.size() > 3) {
                return "--ext takes at most 3 characters: " + v;
            }
            o.Extension = v;
        } else if (arg == "--delimiter") {
            if (!value(v)) {
                return "--delimiter needs a character";
            }
            if (v.size() > 1) {
                return "--delimiter takes one character: " + v;
            }
            o.Delimiter = FirstCharOr(v, ',');
        } else if (arg == "--dates") {
            if (!value(v)) {
                return "--dates needs british, american, metric or iso";
            }
            if (v == "british") {
                o.OutputDateOrder = TDateOrder::British;
            } else if (v == "american") {
                o.OutputDateOrder = TDateOrder::American;
            } else if (v == "metric") {
                o.OutputDateOrder = TDateOrder::Metric;
            } else if (v == "iso") {
                o.OutputDateOrder = TDateOrder::Iso;
            } else {
                return "--dates takes british, american, metric or iso, not " + v;
            }
        } else if (arg == "--numeric-null") {
            if (!value(v) || (v != "zero" && v != "blank")) {
                return "--numeric-null takes zero or blank";
            }
            o.NumericNull = v == "zero" ? 0 : 1;
        } else if (arg == "--records") {
            if (!value(v) || (v != "live" && v != "deleted" && v != "all")) {
                return "--records takes live, deleted or all";
            }
            o.Selection = v == "live" ? kSelectLive : (v == "deleted" ? kSelectDeleted : kSelectAll);
        } else if (arg == "--schema") {
            if (!value(v) || v.empty()) {
                return "--schema needs a schema name";
            }
            o.Schema = v;
        } else if (arg == "--drop") {
            o.DropTables = true;
        } else if (arg == "--depath") {
            if (!value(v) || v.empty()) {
                return "--depath needs a directory";
            }
            o.DEPath = v;
        } else if (arg == "--short-date-format") {
            if (!value(v) || v.empty()) {
                return "--short-date-format needs a format";
            }
            o.ShortDateFormat = v;
        } else if (IsFormatOption(arg)) {
            if (auto problem = ParseFormatOption(args, i, o.Format)) {
                return problem;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            return "unknown option " + arg;
        } else if (o.Database.empty()) {
            o.Database = arg;
        } else {
            return "export takes one database";
        }
    }
    if (o.Database.empty()) {
        return "export needs a database";
    }
    if (!o.Out) {
        return "export needs --out DIR";
    }
    return std::nullopt;
}


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
    explicit TCliObserver(std::ostream& err) : err_(err), progress_(err) {}

    void FormStarted(std::size_t, std::size_t, const TPlanItem& item) override { current_ = item.Label; }
    void Records(std::int64_t done, std::int64_t total) override { progress_.Show(current_, done, total); }
    void Message(const std::string& line) override {
        progress_.Clear();
        err_ << EscapeControls(line) << "\n";
    }
    void FormFailed(const TFormResult& result) override {
        progress_.Clear();
        if (!result.Found) {
            err_ << "corvane-cli: " << EscapeControls(result.Error) << "\n";
        } else if (IsCreationError(result)) {
            err_ << "corvane-cli: " << EscapeControls(result.Label) << ": IO Error: " << result.ErrorCode << " ("
                 << std::strerror(result.ErrorCode) << ")\n";
        } else {
            err_ << "corvane-cli: " << EscapeControls(result.Label) << ": " << EscapeControls(result.Error)
                 << "\n";
        }
    }
    void Done() { progress_.Clear(); }

private:
    std::ostream& err_;
    TProgressLine progress_;
    std::string current_;
};

} // namespace

int RunExportCommand(const CliArgs& args, std::ostream& /*out*/, std::ostream& err) {
    ExportOptions parsed;
    if (const auto problem = ParseExportArgs(args, parsed)) {
        return UsageError(err, kExportUsage, *problem);
    }
    TExportOptions options;
    options.Format = parsed.Format.Format;
    options.Destination = *parsed.Out;
    options.Extension = parsed.Extension;
    options.Delimiter = parsed.Delimiter;
    options.HeadingQualifier = parsed.HeadingQualifier;
    options.OutputDateOrder = parsed.OutputDateOrder;
    options.NumericNull = parsed.NumericNull;
    options.Encoding = parsed.Format.Encoding;
    options.ShortDateFormat = parsed.ShortDateFormat;
    options.Schema = parsed.Schema;
    options.DropTables = parsed.DropTables;
    if (const auto problem = CheckExportOptions(options)) {
        return UsageError(err, kExportUsage, *problem);
    }
    if (options.ShortDateFormat.empty()) {
        // Day-count dates follow the user's short date format.
        std::setlocale(LC_TIME, "");
    }

    TDEInfoRec database;
    LoadDatabase(database, parsed.Database, parsed.DEPath);

    TExportPlan plan;
    if (parsed.Forms.empty()) {
        std::vector<TLeftOutForm> leftOut;
        plan = PlanOfEveryForm(database, parsed.Selection, &leftOut);
        for (const TLeftOutForm& form : leftOut) {
            err << "corvane-cli: " << EscapeControls(form.Form->Name)
                << ": left out, its definition is found neither in the DataEase program directory nor beside "
                   "the database ("
                << EscapeControls(form.Reason) << "); --depath DIR includes it\n";
        }
    } else {
        for (const std::string& entry : parsed.Forms) {
            plan.push_back(ResolveFormEntry(database, entry, parsed.Selection));
        }
    }

    TFormatRegistry formats;
    RegisterBuildFormats(formats);
    TRunSetup setup;
    setup.Formats = &formats;
    TCliObserver observer(err);
    const TRunResult run = RunExport(database, plan, options, observer, setup);
    observer.Done();

    for (const TFormResult& form : run.Forms) {
        if (form.Written && form.Renamed) {
            // Its name was taken by an earlier form of the run: say where it went.
            err << "corvane-cli: " << EscapeControls(form.Label) << " -> "
                << EscapeControls(form.FileName.substr(form.FileName.find_last_of('/') + 1)) << "\n";
        }
    }
    const TRunSummary& summary = run.Summary;
    const bool typed = options.Format != TOutputFormat::Delimited;
    const std::string out = IsOneFileFormat(options.Format) ? options.Destination
                                                            : WithTrailingSeparator(options.Destination);
    return PrintExportSummary(err, static_cast<int>(summary.Exported), summary.Forms, out, summary.Records,
                              typed ? ", text from " + std::string(CodePageName(summary.CodePage)) : "",
                              static_cast<int>(summary.Failed), summary.Stopped);
}

int RunFieldsCommand(const CliArgs& args, std::ostream& out, std::ostream& err) {
    std::string databaseArg;
    std::optional<std::string> formName;
    std::string depath;
    bool json = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--json") {
            json = true;
        } else if (arg == "--form") {
            if (i + 1 >= args.size()) {
                return UsageError(err, kFieldsUsage, "--form needs a form name");
            }
            formName = args[++i];
        } else if (arg == "--depath") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                return UsageError(err, kFieldsUsage, "--depath needs a directory");
            }
            depath = args[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            return UsageError(err, kFieldsUsage, "unknown option " + arg);
        } else if (databaseArg.empty()) {
            databaseArg = arg;
        } else {
            return UsageError(err, kFieldsUsage, "fields takes one database");
        }
    }
    if (databaseArg.empty()) {
        return UsageError(err, kFieldsUsage, "fields needs a database");
    }
    if (!formName) {
        return UsageError(err, kFieldsUsage, "fields needs --form NAME");
    }
    TDEInfoRec database;
    LoadDatabase(database, databaseArg, depath);
    TFormRec* form = database.FindForm(*formName);
    if (form == nullptr) {
        // The form list shows system forms with a leading blank; accept the name as listed too.
        const std::size_t first = formName->find_first_not_of(' ');
        if (first != 0 && first != std::string::npos) {
            form = database.FindForm(formName->substr(first));
        }
    }
    if (form == nullptr) {
        err << "corvane-cli: no form " << *formName << " in " << databaseArg << "\n";
        return 1;
    }
    const TFieldRec* fields = form->GetFields();
    if (json) {
        out << "[";
    }
    bool firstField = true;
    for (const TFieldRec* f = fields; f != nullptr; f = f->Next.get()) {
        if (json) {
            out << (firstField ? "\n  " : ",\n  ") << "{\"Name\": ";
            WriteJsonString(out, f->Name);
            out << ", \"FieldType\": " << unsigned{f->FieldType} << ", \"Length\": " << unsigned{f->Length}
                << ", \"SubType\": " << unsigned{f->SubType} << ", \"IntDigits\": " << unsigned{f->IntDigits}
                << ", \"Offset\": " << f->Offset << ", \"Size\": " << unsigned{f->Size}
                << ", \"Flag3\": " << (f->Flag3 ? "true" : "false")
                << ", \"Flag7\": " << (f->Flag7 ? "true" : "false") << ", \"Choices\": [";
            for (std::size_t c = 1; c < f->Choices.size(); ++c) {
                if (c != 1) {
                    out << ", ";
                }
                WriteJsonString(out, f->Choices[c]);
            }
            out << "]}";
        } else {
            out << f->Name << '\t' << unsigned{f->FieldType} << '\t' << unsigned{f->Length} << '\t'
                << unsigned{f->SubType} << '\t' << unsigned{f->IntDigits} << '\t' << f->Offset << '\t'
                << unsigned{f->Size} << '\t' << (f->Flag3 ? 1 : 0) << '\t' << (f->Flag7 ? 1 : 0) << '\t';
            for (std::size_t c = 1; c < f->Choices.size(); ++c) {
                out << (c == 1 ? "" : "|") << f->Choices[c];
            }
            out << '\n';
        }
        firstField = false;
    }
    if (json) {
        out << (firstField ? "]\n" : "\n]\n");
    }
    return 0;
}

} // namespace corvane
