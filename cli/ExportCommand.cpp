// corvane-cli export and corvane-cli fields.

#include "cli/Commands.h"
#include "cli/FormatOptions.h"
#include "database/DEInfoRec.h"
#include "database/Errors.h"
#include "export/DataFile.h"
#include "export/FormExport.h"
#include "export/OutputFile.h"
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
    "                          [--quote-headings] [--dates british|american|metric] [--numeric-null "
    "zero|blank]\n"
    "                          [--records live|deleted|all] [--depath DIR] [--short-date-format FMT]\n"
    "                          [--format csv|sqlite|jsonl] [--encoding CP]\n"
    "  --format sqlite writes the forms into one SQLite file named by --out; jsonl writes <form>.jsonl.\n"
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
    char OutputDateOrder = 'B';
    int NumericNull = 0;
    std::string RecordSuffix;
    std::string DEPath;
    std::string ShortDateFormat;
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
                return "--dates needs british, american or metric";
            }
            if (v == "british") {
                o.OutputDateOrder = 'B';
            } else if (v == "american") {
                o.OutputDateOrder = 'A';
            } else if (v == "metric") {
                o.OutputDateOrder = 'M';
            } else {
                return "--dates takes british, american or metric, not " + v;
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
            o.RecordSuffix = v == "live" ? "" : (v == "deleted" ? "=D" : "=A");
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

} // namespace

int RunExportCommand(const CliArgs& args, std::ostream& /*out*/, std::ostream& err) {
    ExportOptions options;
    if (const auto problem = ParseExportArgs(args, options)) {
        return UsageError(err, kExportUsage, *problem);
    }
    if (options.ShortDateFormat.empty()) {
        // Day-count dates follow the user's short date format.
        std::setlocale(LC_TIME, "");
    }

    TDEInfoRec database;
    LoadDatabase(database, options.Database, options.DEPath);

    std::vector<std::string> entries;
    if (options.Forms.empty()) {
        for (const std::string& line : FormListLines(database)) {
            // A system form's line carries one leading blank that its name does not.
            const TFormRec* system = line.starts_with(' ') ? database.FindForm(line.substr(1)) : nullptr;
            const bool strip = system != nullptr && system->SystemForm;
            entries.push_back((strip ? line.substr(1) : line) + options.RecordSuffix);
        }
    } else {
        for (const std::string& entry : options.Forms) {
            entries.push_back(entry.find('=') == std::string::npos ? entry + options.RecordSuffix : entry);
        }
    }

    if (options.Format.Format != TOutputFormat::Csv) {
        return RunTypedExport(options.Format, database, entries, *options.Out, err);
    }

    TProgressLine progress(err);
    std::string current;
    TExportHost host;
    host.ShortDateFormat = options.ShortDateFormat;
    host.Encoding = CsvEncoding(options.Format);
    host.ShowIOError = [&](const std::string& text, int code, const std::string&) {
        progress.Clear();
        err << "corvane-cli: " << current << ": " << text << " (" << std::strerror(code) << ")\n";
    };
    host.Progress = [&](std::int64_t done, std::int64_t total) { progress.Show(current, done, total); };

    int exported = 0;
    int failed = 0;
    std::int64_t records = 0;
    bool stopped = false;
    for (const std::string& entry : entries) {
        current = entry;
        try {
            const char storedOrder = ReadDateOrder(database);
            const TExportResult result = ExportForm(
                entry, *options.Out, options.Extension, storedOrder, options.OutputDateOrder,
                options.Delimiter, options.HeadingQualifier, database, err, options.NumericNull, host);
            progress.Clear();
            if (result.FileWritten && result.FormFound && result.Columns == 0) {
                // The file is written as the window would write it, but a form without a single column is a
                // damaged or unreadable definition, not a successful export.
                err << "corvane-cli: " << entry << ": its definition gives no field to export; "
                    << result.FileName << " holds no columns\n";
                ++failed;
            } else if (result.FileWritten && result.FormFound) {
                ++exported;
                records += result.RecordsWritten;
                const TFormRec* form = database.FindForm(SplitFormEntry(entry).FormName);
                if (!result.DataFileOpened && form != nullptr && form->RecordCount > 0) {
                    err << "corvane-cli: warning: " << entry << ": the data file " << form->DataFile
                        << " cannot be opened; " << result.FileName << " holds the heading line only\n";
                }
            } else {
                ++failed;
            }
        } catch (const EOutputWriteError& e) {
            progress.Clear();
            err << "corvane-cli: " << entry << ": " << DescribeError(e) << "\n";
            ++failed;
        } catch (const std::exception& e) {
            // Errors reading the database end the run, as they end the main window's.
            progress.Clear();
            err << "corvane-cli: " << entry << ": " << DescribeError(e) << "\n";
            ++failed;
            stopped = true;
            break;
        }
    }
    return PrintExportSummary(err, exported, entries.size(), WithTrailingSeparator(*options.Out), records, "",
                              failed, stopped);
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
