#include "cli/FormatOptions.h"

#include "database/Errors.h"
#include "export/DataFile.h"
#include "export/JsonlExport.h"
#include "export/OutputFile.h"
#include "sqlite/SqliteExport.h"
#include "text/TextUtils.h"

namespace corvane {

namespace {

void WarnNoDataFile(std::ostream& err, TDEInfoRec& database, const std::string& entry, bool opened) {
    const TFormRec* form = database.FindForm(SplitFormEntry(entry).FormName);
    if (!opened && form != nullptr && form->RecordCount > 0) {
        err << "corvane-cli: warning: " << entry << ": the data file " << form->DataFile
            << " cannot be opened; no records were exported\n";
    }
}

int RunSqlite(const TFormatOptions& options, TDEInfoRec& database, const std::vector<std::string>& entries,
              const std::string& out, std::ostream& err) {
    try {
        const TSqliteResult result = ExportDatabaseSqlite(entries, out, database, options.Encoding, err);
        int exported = 0;
        for (const TSqliteFormResult& form : result.Forms) {
            exported += form.FormFound ? 1 : 0;
            WarnNoDataFile(err, database, form.FormEntry, form.DataFileOpened);
        }
        const int failed = static_cast<int>(entries.size()) - exported;
        return PrintExportSummary(err, exported, entries.size(), out, result.RecordsWritten,
                                  ", text from " + std::string(CodePageName(result.CodePage)), failed, false);
    } catch (const std::exception& e) {
        err << "corvane-cli: " << DescribeError(e) << "\n";
        err << "corvane-cli: no SQLite file was written\n";
        return 1;
    }
}

int RunJsonl(const TFormatOptions& options, TDEInfoRec& database, const std::vector<std::string>& entries,
             const std::string& out, std::ostream& err) {
    const TCodePage codePage = options.Encoding.value_or(DefaultCodePage(database.GetVersion()));
    int exported = 0;
    int failed = 0;
    std::int64_t records = 0;
    bool stopped = false;
    for (const std::string& entry : entries) {
        try {
            const TJsonlResult result =
                ExportFormJsonl(entry, out, database, codePage, ReadDateOrder(database), err);
            if (result.FileWritten) {
                ++exported;
                records += result.RecordsWritten;
                WarnNoDataFile(err, database, entry, result.DataFileOpened);
            } else {
                ++failed;
            }
        } catch (const EOutputWriteError& e) {
            err << "corvane-cli: " << entry << ": " << DescribeError(e) << "\n";
            ++failed;
        } catch (const EInOutError& e) {
            err << "corvane-cli: " << entry << ": " << DescribeError(e) << "\n";
            ++failed;
            // An output file that cannot be created fails this form alone; an error reading the database
            // ends the run.
            if (e.FileName() != WithTrailingSeparator(out) + SplitFormEntry(entry).Stem + ".jsonl") {
                stopped = true;
                break;
            }
        } catch (const std::exception& e) {
            // Errors reading the database end the run.
            err << "corvane-cli: " << entry << ": " << DescribeError(e) << "\n";
            ++failed;
            stopped = true;
            break;
        }
    }
    return PrintExportSummary(err, exported, entries.size(), WithTrailingSeparator(out), records,
                              ", text from " + std::string(CodePageName(codePage)), failed, stopped);
}

} // namespace

const char* const kFormatUsage =
    "                          [--format csv|sqlite|jsonl] [--encoding raw|cp437|cp850|cp852|cp1250|cp1252|"
    "latin1]\n"
    "  --format sqlite writes one SQLite file: --out names the file. jsonl writes <form>.jsonl files.\n"
    "  --encoding converts text to UTF-8 from that code page; default raw (bytes as stored) for csv, cp437\n"
    "  (versions 3 and 5) or cp1252 (6 and 7) for sqlite and jsonl.\n";

bool IsFormatOption(const std::string& arg) {
    return arg == "--format" || arg == "--encoding";
}

std::optional<std::string> ParseFormatOption(const CliArgs& args, std::size_t& i, TFormatOptions& options) {
    const std::string& arg = args[i];
    if (i + 1 >= args.size()) {
        return arg == "--format" ? "--format needs csv, sqlite or jsonl"
                                 : "--encoding needs a code page: " + std::string(CodePageNames());
    }
    const std::string& v = args[++i];
    if (arg == "--format") {
        if (v == "csv") {
            options.Format = TOutputFormat::Csv;
        } else if (v == "sqlite") {
            options.Format = TOutputFormat::Sqlite;
        } else if (v == "jsonl") {
            options.Format = TOutputFormat::Jsonl;
        } else {
            return "--format takes csv, sqlite or jsonl, not " + v;
        }
        return std::nullopt;
    }
    options.Encoding = CodePageByName(v);
    if (!options.Encoding) {
        return "--encoding takes " + std::string(CodePageNames()) + ", not " + v;
    }
    return std::nullopt;
}

TCodePage CsvEncoding(const TFormatOptions& options) {
    return options.Encoding.value_or(TCodePage::Raw);
}

int RunTypedExport(const TFormatOptions& options, TDEInfoRec& database,
                   const std::vector<std::string>& entries, const std::string& out, std::ostream& err) {
    return options.Format == TOutputFormat::Sqlite ? RunSqlite(options, database, entries, out, err)
                                                   : RunJsonl(options, database, entries, out, err);
}

} // namespace corvane
