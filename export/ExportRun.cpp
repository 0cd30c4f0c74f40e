#include "export/ExportRun.h"

#include "database/Errors.h"
#include "database/PlatformFile.h"
#include "export/DataFile.h"
#include "export/ExportLine.h"
#include "export/FieldValues.h"
#include "export/JsonlExport.h"
#include "export/OutputFile.h"
#include "export/Outputs.h"
#include "export/ParallelExport.h"
#include "text/TextUtils.h"

#include "platform/Platform.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

namespace corvane {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::int64_t kProgressEvery = 4096;

// Thrown from inside a scan when the observer asks to stop; never leaves the run.
struct TRunCancelled {};

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// ------------------------------------------------------------------------------------------------------
// Names

// The file stem of a form name: the path separators removed (so the file always lands in the destination),
// NUL and the other control characters replaced by "_" (they would cut or garble the name); a stem that ends
// up empty, "." or ".." is "form".
std::string SafeStem(const std::string& formName) {
    std::string stem;
    stem.reserve(formName.size());
    for (const char c : formName) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\') {
            continue;
        }
        stem += (b < 0x20 || b == 0x7F) ? '_' : c;
    }
    if (stem.empty() || stem == "." || stem == "..") {
        return "form";
    }
    return stem;
}

// File names of the plan's forms, unique within the run without regard to case (the exports may be copied
// to a disk that does not tell case apart): a later form whose name is taken gets "_2", "_3" ... Items that
// name no form get an empty name.
std::vector<std::string> PlanFileNames(const TExportPlan& plan, const std::string& extension,
                                       std::vector<bool>& renamed) {
    std::vector<std::string> names;
    renamed.assign(plan.size(), false);
    std::set<std::string> taken;
    const std::string suffix = "." + extension;
    for (const TPlanItem& item : plan) {
        if (item.Form == nullptr) {
            names.emplace_back();
            continue;
        }
        const std::string stem = SafeStem(item.Stem.empty() ? item.Form->Name : item.Stem);
        std::string name = stem + suffix;
        for (int n = 2; !taken.insert(UpperCaseAscii(name)).second; ++n) {
            name = stem + "_" + std::to_string(n) + suffix;
            renamed[names.size()] = true;
        }
        names.push_back(std::move(name));
    }
    return names;
}

// ------------------------------------------------------------------------------------------------------
// Where the run may write

std::string RealDirectory(const std::string& directory) {
    if (directory.empty()) {
        return {};
    }
    return platform::CanonicalPath(directory);
}

std::string ParentDirectory(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// The directories that hold what the database reads: an output there could replace one of its files.
std::vector<std::string> ProtectedDirectories(const TDEInfoRec& database) {
    std::vector<std::string> dirs;
    for (const std::string& dir : {database.GetDirectory(), database.GetDEPath()}) {
        std::string real = RealDirectory(dir.empty() ? std::string() : dir);
        if (!real.empty()) {
            dirs.push_back(std::move(real));
        }
    }
    return dirs;
}

// An error text when outputDirectory is one of the protected directories, else empty.
std::string ProtectedDirectoryProblem(const std::string& outputDirectory,
                                      const std::vector<std::string>& dirs) {
    const std::string real = RealDirectory(outputDirectory);
    if (real.empty()) {
        return {};
    }
    for (const std::string& dir : dirs) {
        if (real == dir) {
            return "refusing to write into " + outputDirectory +
                   ": it holds the database's own files, which an export must never replace";
        }
    }
    return {};
}

// ------------------------------------------------------------------------------------------------------
// The run

// What every form of a run shares: read once, before the first form.
struct TRunState {
    TRunState(TDEInfoRec& database, const TExportOptions& options, IExportObserver& observer,
              const TRunSetup& setup, IOutputTarget& output)
        : Database(database), Options(options), Observer(observer), Setup(setup), Output(output) {}

    TDEInfoRec& Database;
    const TExportOptions& Options;
    IExportObserver& Observer;
    const TRunSetup& Setup;
    IOutputTarget& Output;
    char StoredDateOrder = 'B';
    std::exception_ptr DateOrderError;
    std::function<std::uint8_t()> CenturyCutoff;
    std::string ShortDateFormat;
    TCodePage TypedCodePage = TCodePage::Cp437;
};

void ForwardMessages(IExportObserver& observer, const std::string& text) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        observer.Message(line);
    }
}

// The progress callback of a scan: reports to the observer and stops the scan when it asks to cancel.
std::function<void(std::int64_t)> ProgressOf(IExportObserver& observer, std::int64_t total) {
    return [&observer, total, reported = std::int64_t{0}](std::int64_t slotsDone) mutable {
        if (slotsDone / kProgressEvery != reported / kProgressEvery || slotsDone == total) {
            observer.Records(slotsDone, total);
            // A form whose records are all read is finished, whatever is asked now.
            if (slotsDone < total && observer.CancelRequested()) {
                throw TRunCancelled{};
            }
        }
        reported = slotsDone;
    };
}

std::string HeadingLine(const std::vector<const TFieldRec*>& columns, const TExportOptions& options) {
    std::string line;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i != 0) {
            line += options.Delimiter;
        }
        line += options.HeadingQualifier;
        line += HeadingName(columns[i]->Name);
        line += options.HeadingQualifier;
    }
    line.append(kLineEnd);
    return line;
}

void WarnMissingDataFile(TRunState& run, const TFormRec& form, TFormResult& result) {
    if (form.RecordCount > 0) {
        run.Observer.Message("Warning: form " + result.Label + ": the dictionary counts " +
                             std::to_string(form.RecordCount) + " records, but its data file " +
                             form.DataFile + " does not exist (0 records); " +
                             (result.FileName.empty() ? std::string("no records were exported")
                                                      : result.FileName + " holds the heading line only"));
    }
}

// The error of a form whose definition gives no field to export: a damaged definition file.
std::string NoFieldsError(const TFormRec& form) {
    std::string file;
    try {
        file = form.DefinitionFile();
    } catch (const std::exception&) {
        // The name was found when the fields were read; it is only wanted for the message.
    }
    const std::size_t slash = file.find_last_of("/\\");
    file = slash == std::string::npos ? file : file.substr(slash + 1);
    return "definition file " + (file.empty() ? std::string("of the form") : file) +
           " is damaged: it gives no field to export";
}

// Runs an operation of the output; a failure of it is the output's, not the database's.
template <class Operation> auto OnOutput(TFormResult& result, Operation operation) {
    try {
        return operation();
    } catch (const EInOutError&) {
        result.OutputError = true;
        throw;
    }
}

// One form as delimited text.
void ExportDelimited(TRunState& run, const TPlanItem& item, TFormResult& result) {
    TFormRec& form = *item.Form;
    const TExportOptions& options = run.Options;
    const TFieldRec* fields = form.GetFields();
    const std::vector<const TFieldRec*> columns = ExportColumns(fields);
    result.Columns = columns.size();
    std::unique_ptr<TReadOnlyFile> data = OpenDataFile(form);
    if (run.DateOrderError) {
        std::rethrow_exception(run.DateOrderError);
    }

    std::unique_ptr<IOutput> out = OnOutput(result, [&] { return run.Output.Create(result.FileName); });
    const TCodePage encoding = options.Encoding.value_or(TCodePage::Raw);
    std::string heading = HeadingLine(columns, options);
    if (fields == nullptr) {
        // Once for each of the two passes over the (empty) field list.
        run.Observer.Message("Table " + result.Label + " doesn't exist.");
        run.Observer.Message("Table " + result.Label + " doesn't exist.");
    }
    auto write = [&out, &result](std::string_view text) { OnOutput(result, [&] { out->Write(text); }); };
    write(encoding == TCodePage::Raw ? heading : ToUtf8(heading, encoding));

    if (data) {
        result.DataFileOpened = true;
        TValueContext context;
        context.Version = run.Database.GetVersion();
        context.StoredDateOrder = run.StoredDateOrder;
        context.OutputDateOrder = DateOrderLetter(options.OutputDateOrder);
        context.NumericNull = options.NumericNull;
        context.ShortDateFormat = run.ShortDateFormat;
        context.CenturyCutoff = run.CenturyCutoff;

        const std::int64_t total = form.RecordCount > 0 ? form.RecordCount : 0;
        TSlotReader reader(*data, form.RecordLength, total);
        TLineBuilder builder(columns, form.RecordLength, options.Delimiter, context);
        // Asked here, once, so that no copy of the builder on another thread touches the database.
        builder.FetchCenturyCutoff();
        const char selection = item.Selection;
        auto makeFormatter = [&builder, selection, encoding]() -> TFormatBatch {
            return [lines = builder, selection, encoding, raw = TLineText(),
                    utf8 = std::string()](ByteSpan slots, TLineText& text) mutable {
                if (encoding == TCodePage::Raw) {
                    return lines.AppendLines(slots, selection, text);
                }
                // A character of the code page is at most three bytes of UTF-8.
                raw.Size = 0;
                raw.ByteLimit = std::max<std::size_t>(1, text.ByteLimit / 3);
                raw.SlotsTaken = TLineText::kAllSlots;
                const std::int64_t taken = lines.AppendLines(slots, selection, raw);
                text.SlotsTaken = raw.SlotsTaken;
                utf8.clear();
                AppendUtf8(utf8, raw.View(), encoding);
                text.Bytes.assign(utf8.begin(), utf8.end());
                text.Size = utf8.size();
                return taken;
            };
        };
        result.RecordsWritten = ScanInBatches(
            reader, form.RecordLength,
            run.Setup.Scan != nullptr ? *run.Setup.Scan : DefaultScanPlan(total, builder.LineBound()),
            makeFormatter, write, ProgressOf(run.Observer, total));
        result.SlotsRead = reader.SlotsRead();
        std::ostringstream messages;
        result.DataFileShort = WarnIfDataFileShort(messages, form, reader);
        ForwardMessages(run.Observer, messages.str());
        data->Close();
    } else {
        WarnMissingDataFile(run, form, result);
    }
    OnOutput(result, [&] { out->Commit(); });
    result.Written = true;
    if (columns.empty()) {
        result.Error = NoFieldsError(form) + "; " + result.FileName + " holds no columns";
    }
}

// The typed record scan of one form into sink, for JSON Lines and the one-file formats.
class TTypedScan {
public:
    TTypedScan(TRunState& run, const TPlanItem& item, TFormResult& result) : run_(run), result_(result) {
        TFormRec& form = *item.Form;
        typed_.Form = &form;
        typed_.Entry.FormName = form.Name;
        typed_.Entry.Stem = SafeStem(form.Name);
        typed_.Entry.Selection = item.Selection;
        typed_.Name = ToUtf8(form.Name, run.TypedCodePage);
        typed_.DataFile = ToUtf8(form.DataFile, run.TypedCodePage);
        typed_.WithDeleted = item.Selection == kSelectDeleted || item.Selection == kSelectAll;
        typed_.Columns = TypedColumns(form.GetFields(), run.TypedCodePage, typed_.WithDeleted);
        result.Columns = typed_.Columns.size();
        data_ = OpenDataFile(form);
        if (run.DateOrderError) {
            std::rethrow_exception(run.DateOrderError);
        }
    }

    const TTypedForm& Form() const { return typed_; }

    // Hands the selected records to sink (after BeginForm, which the caller calls).
    void Run(TTypedSink& sink) {
        if (!data_) {
            WarnMissingDataFile(run_, *typed_.Form, result_);
            return;
        }
        result_.DataFileOpened = true;
        const TFormRec& form = *typed_.Form;
        TTypedContext context;
        context.Version = run_.Database.GetVersion();
        context.StoredDateOrder = run_.StoredDateOrder;
        context.CodePage = run_.TypedCodePage;
        context.CenturyCutoff = run_.CenturyCutoff;

        std::vector<TTypedValue> values(typed_.Columns.size());
        const std::int64_t total = form.RecordCount > 0 ? form.RecordCount : 0;
        auto progress = ProgressOf(run_.Observer, total);
        TSlotReader reader(*data_, form.RecordLength, total);
        for (ByteSpan slot = reader.Next(); !slot.empty(); slot = reader.Next()) {
            if (SlotSelected(slot[0], typed_.Entry.Selection)) {
                for (std::size_t i = 0; i < typed_.Columns.size(); ++i) {
                    DecodeTypedValue(slot, *typed_.Columns[i].Field, context, values[i]);
                }
                sink.Row(typed_, values, !SlotSelected(slot[0], kSelectLive));
                ++result_.RecordsWritten;
            }
            progress(reader.SlotsRead());
        }
        result_.SlotsRead = reader.SlotsRead();
        progress(total);
        std::ostringstream messages;
        result_.DataFileShort = WarnIfDataFileShort(messages, form, reader);
        ForwardMessages(run_.Observer, messages.str());
        data_->Close();
    }

private:
    TRunState& run_;
    TFormResult& result_;
    TTypedForm typed_;
    std::unique_ptr<TReadOnlyFile> data_;
};

// One form as JSON Lines: one object per selected record, keys the typed column names.
class TJsonlSink final : public TTypedSink {
public:
    TJsonlSink(IOutput& out, TFormResult& result) : out_(out), result_(result) {}

    void BeginForm(const TTypedForm& form) override {
        keys_.clear();
        for (const TTypedColumn& column : form.Columns) {
            std::string key;
            AppendJsonString(key, column.Name);
            key += ':';
            keys_.push_back(std::move(key));
        }
    }

    void Row(const TTypedForm& form, const std::vector<TTypedValue>& values, bool deleted) override {
        line_.clear();
        line_ += '{';
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i != 0) {
                line_ += ',';
            }
            line_ += keys_[i];
            AppendJsonValue(line_, values[i]);
        }
        if (form.WithDeleted) {
            line_ += values.empty() ? "" : ",";
            AppendJsonString(line_, kDeletedColumn);
            line_ += deleted ? ":true" : ":false";
        }
        line_ += "}\n";
        OnOutput(result_, [&] { out_.Write(line_); });
    }

private:
    IOutput& out_;
    TFormResult& result_;
    std::vector<std::string> keys_;
    std::string line_;
};

void ExportJsonl(TRunState& run, const TPlanItem& item, TFormResult& result) {
    TTypedScan scan(run, item, result);
    std::unique_ptr<IOutput> out = OnOutput(result, [&] { return run.Output.Create(result.FileName); });
    TJsonlSink sink(*out, result);
    sink.BeginForm(scan.Form());
    scan.Run(sink);
    OnOutput(result, [&] { out->Commit(); });
    result.Written = true;
}

// Whether a failed form ends a run that stops at its first error: an output that could not be created or
// written is reported in place and the run goes on, as is an entry that names no form.
bool EndsRun(const TFormResult& result) {
    return !result.OutputError && result.Found && result.ErrorObject != nullptr;
}

void Fail(TFormResult& result, const std::exception& error) {
    result.Error = DescribeError(error);
    if (const auto* io = dynamic_cast<const EInOutError*>(&error)) {
        result.ErrorCode = io->ErrorCode();
    }
    result.ErrorObject = std::current_exception();
}

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Options

bool IsOneFileFormat(TOutputFormat format) {
    return format == TOutputFormat::Sqlite || format == TOutputFormat::Xlsx ||
           format == TOutputFormat::PostgreSql;
}

namespace {
constexpr std::pair<TOutputFormat, std::string_view> kFormatNames[] = {
    {TOutputFormat::Delimited, "csv"},         {TOutputFormat::Jsonl, "jsonl"},
    {TOutputFormat::Sqlite, "sqlite"},         {TOutputFormat::Xlsx, "xlsx"},
    {TOutputFormat::PostgreSql, "postgresql"},
};
} // namespace

std::string_view FormatName(TOutputFormat format) {
    for (const auto& [f, name] : kFormatNames) {
        if (f == format) {
            return name;
        }
    }
    return "csv";
}

std::optional<TOutputFormat> FormatByName(std::string_view name) {
    for (const auto& [f, n] : kFormatNames) {
        if (n == name) {
            return f;
        }
    }
    return std::nullopt;
}

char DateOrderLetter(TDateOrder order) {
    switch (order) {
    case TDateOrder::American:
        return 'A';
    case TDateOrder::Metric:
    case TDateOrder::Iso:
        return 'M';
    case TDateOrder::British:
        break;
    }
    return 'B';
}

std::optional<std::string> CheckExportOptions(const TExportOptions& options) {
    const std::string& ext = options.Extension;
    if (ext.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos || ext == "." || ext == "..") {
        return "the extension may hold no path separator or NUL and may not be \".\" or \"..\"";
    }
    const char d = options.Delimiter;
    if (d == '\r' || d == '\n' || d == '\0' || d == '"') {
        return "the delimiter may not be CR, LF, NUL or a double quote: the file could not be read back";
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------------------
// The plan

TPlanItem ResolveFormEntry(const TDEInfoRec& database, const std::string& entry, char defaultSelection) {
    TPlanItem item;
    item.Label = entry;
    item.Selection = defaultSelection;
    if (TFormRec* exact = database.FindForm(entry)) {
        item.Form = exact;
        item.Label = exact->Name;
        item.Stem = entry;
        return item;
    }
    // "NAME=x": the name part may itself hold "=", so the longest name part that is a form wins; with none,
    // the part before the first "=" names the form, as the entry's plain reading has it.
    for (std::size_t eq = entry.rfind('='); eq != std::string::npos;
         eq = eq == 0 ? std::string::npos : entry.rfind('=', eq - 1)) {
        TFormRec* form = database.FindForm(std::string_view(entry).substr(0, eq));
        const bool first = entry.find('=') == eq;
        if (form != nullptr || first) {
            item.Form = form;
            item.Selection = eq + 1 < entry.size() ? UpperAscii(entry[eq + 1]) : kSelectLive;
            if (form != nullptr) {
                item.Label = form->Name;
                item.Stem = entry.substr(0, eq);
            }
            return item;
        }
    }
    return item;
}

std::vector<const TFormRec*> ListedForms(const TDEInfoRec& database) {
    std::vector<const TFormRec*> forms;
    for (const TFormRec* form = database.FirstForm(); form != nullptr; form = form->Next.get()) {
        if (UpperCaseAscii(form->Name) == "USERS" || form->VariantLevel >= 2 ||
            (form->SystemForm && database.GetDEPath().empty())) {
            continue;
        }
        forms.push_back(form);
    }
    // The check list orders its lines alphabetically without regard to case; lines of system forms begin with
    // a blank and so come first.
    std::stable_sort(forms.begin(), forms.end(), [](const TFormRec* a, const TFormRec* b) {
        return CompareNameKeys(FormListLine(*a), FormListLine(*b)) < 0;
    });
    return forms;
}

std::string FormListLine(const TFormRec& form) {
    return form.SystemForm ? " " + form.Name : form.Name;
}

std::vector<std::string> FormListLines(const TDEInfoRec& database) {
    std::vector<std::string> lines;
    for (const TFormRec* form : ListedForms(database)) {
        lines.push_back(FormListLine(*form));
    }
    return lines;
}

TFormsByLine ListedFormsByLine(const TDEInfoRec& database) {
    TFormsByLine forms;
    for (const TFormRec* form : ListedForms(database)) {
        forms.emplace(FormListLine(*form), const_cast<TFormRec*>(form));
    }
    return forms;
}

TPlanItem PlanItemOfLine(const TFormsByLine& forms, const std::string& line, char selection, int occurrence) {
    TPlanItem item;
    item.Label = line;
    item.Selection = selection;
    auto [first, last] = forms.equal_range(line);
    for (; first != last; ++first) {
        if (occurrence-- == 0) {
            item.Form = first->second;
            item.Label = first->second->Name;
            break;
        }
    }
    return item;
}

TPlanItem PlanItemOfLine(const TDEInfoRec& database, const std::string& line, char selection,
                         int occurrence) {
    return PlanItemOfLine(ListedFormsByLine(database), line, selection, occurrence);
}

TExportPlan PlanOfEveryForm(const TDEInfoRec& database, char selection, std::vector<TLeftOutForm>* leftOut) {
    TExportPlan plan;
    for (const TFormRec* listed : ListedForms(database)) {
        auto* form = const_cast<TFormRec*>(listed);
        if (form->SystemForm) {
            // A system form's definition lives in the DataEase program directory, which a machine without
            // DataEase does not have; such a form is left out of "every form" rather than failing.
            try {
                form->GetFields();
            } catch (const EInOutError& error) {
                if (error.ErrorCode() != ENOENT && error.ErrorCode() != ENOTDIR) {
                    throw;
                }
                if (leftOut != nullptr) {
                    leftOut->push_back({form, DescribeError(error)});
                }
                continue;
            } catch (const EDELibError& error) {
                if (leftOut != nullptr) {
                    leftOut->push_back({form, error.what()});
                }
                continue;
            }
        }
        plan.push_back({form, selection, form->Name, {}});
    }
    return plan;
}

std::string DEPathForVersion(std::uint8_t version, const std::string& depathVariable,
                             const std::string& programDirectory) {
    if (version == kVersion4x) {
        return depathVariable;
    }
    if (version == kVersionDfW7) {
        return WithTrailingSeparator(programDirectory) + "7" + kPathSeparator;
    }
    return {};
}

// ---------------------------------------------------------------------------------------------------------
// The run

TRunResult RunExport(TDEInfoRec& database, const TExportPlan& plan, const TExportOptions& options,
                     IExportObserver& observer, const TRunSetup& setup) {
    if (const auto problem = CheckExportOptions(options)) {
        throw std::invalid_argument(*problem);
    }
    TFileOutputTarget files;
    TRunState run(database, options, observer, setup, setup.Output != nullptr ? *setup.Output : files);
    TRunResult runResult;
    TRunSummary& summary = runResult.Summary;
    summary.Forms = plan.size();

    // What the database knows is read once per run: the stored date order and the century cutoff.
    try {
        run.StoredDateOrder = setup.StoredDateOrder ? *setup.StoredDateOrder : ReadDateOrder(database);
    } catch (...) {
        run.DateOrderError = std::current_exception();
    }
    std::optional<std::uint8_t> cutoff;
    std::exception_ptr cutoffError;
    run.CenturyCutoff = [&database, &cutoff, &cutoffError]() -> std::uint8_t {
        if (!cutoff && !cutoffError) {
            try {
                cutoff = ReadCenturyCutoff(database);
            } catch (...) {
                cutoffError = std::current_exception();
            }
        }
        if (cutoffError) {
            std::rethrow_exception(cutoffError);
        }
        return *cutoff;
    };
    run.ShortDateFormat = options.ShortDateFormat.empty() ? LocaleShortDateFormat() : options.ShortDateFormat;
    const bool typed = options.Format != TOutputFormat::Delimited;
    const TCodePage typedPage = options.Encoding.value_or(DefaultCodePage(database.GetVersion()));
    run.TypedCodePage = typedPage == TCodePage::Raw ? TCodePage::Latin1 : typedPage;
    summary.CodePage = typed ? typedPage : options.Encoding.value_or(TCodePage::Raw);

    const std::vector<std::string> protectedDirs = ProtectedDirectories(database);
    const bool oneFile = IsOneFileFormat(options.Format);
    std::string refused;
    std::vector<std::string> fileNames(plan.size());
    std::vector<bool> renamed(plan.size(), false);
    if (oneFile) {
        std::fill(fileNames.begin(), fileNames.end(), options.Destination);
        if (run.Output.WritesFiles()) {
            refused = ProtectedDirectoryProblem(ParentDirectory(options.Destination), protectedDirs);
        }
    } else {
        const std::string directory = WithTrailingSeparator(options.Destination);
        const std::string extension = options.Format == TOutputFormat::Jsonl ? "jsonl" : options.Extension;
        fileNames = PlanFileNames(plan, extension, renamed);
        for (std::string& name : fileNames) {
            if (!name.empty()) {
                name.insert(0, directory);
            }
        }
        if (run.Output.WritesFiles()) {
            refused = ProtectedDirectoryProblem(options.Destination, protectedDirs);
        }
    }

    // The one file of a one-file format, created before the first form.
    std::unique_ptr<IOneFileWriter> writer;
    std::string writerError;
    std::exception_ptr writerErrorObject;
    if (oneFile && refused.empty() && run.Output.WritesFiles()) {
        // The one-file writers build their temporaries themselves.
        RemoveAbandonedTemporaries(ParentDirectory(options.Destination));
    }
    if (oneFile && refused.empty()) {
        const TOneFileWriterFactory* factory = setup.Formats ? setup.Formats->Find(options.Format) : nullptr;
        if (factory == nullptr) {
            writerError =
                "the " + std::string(FormatName(options.Format)) + " format is not available in this build";
        } else {
            try {
                TOneFileContext context{&database, &options, run.TypedCodePage, &run.Output, &observer};
                writer = (*factory)(options.Destination, context);
            } catch (const std::exception& error) {
                writerError = DescribeError(error);
                writerErrorObject = std::current_exception();
            }
        }
    }

    for (std::size_t i = 0; i < plan.size(); ++i) {
        const TPlanItem& item = plan[i];
        if (observer.CancelRequested()) {
            summary.Cancelled = true;
            break;
        }
        observer.FormStarted(i, plan.size(), item);
        TFormResult& result = runResult.Forms.emplace_back();
        result.Form = item.Form;
        result.Label = item.Label;
        result.Selection = item.Selection;
        result.Found = item.Form != nullptr;
        result.FileName = fileNames[i];
        result.Renamed = renamed[i];
        try {
            if (item.Form == nullptr) {
                result.Error = "Table " + item.Label + " doesn't exist.";
            } else if (!refused.empty()) {
                result.Error = refused;
                result.OutputError = true;
            } else if (oneFile && !writer) {
                result.Error = writerError;
                result.ErrorObject = writerErrorObject;
                result.OutputError = true;
            } else if (oneFile) {
                TTypedScan scan(run, item, result);
                writer->BeginForm(scan.Form());
                scan.Run(*writer);
                result.Table = writer->TableOf(scan.Form());
                writer->EndForm(scan.Form(), result);
            } else if (typed) {
                ExportJsonl(run, item, result);
            } else {
                ExportDelimited(run, item, result);
            }
        } catch (const TRunCancelled&) {
            summary.Cancelled = true;
            runResult.Forms.pop_back();
            break;
        } catch (const std::exception& error) {
            Fail(result, error);
        }
        if (!result.Error.empty()) {
            ++summary.Failed;
            observer.FormFailed(result);
            if (writer) {
                writer->FormFailed(item, ToUtf8(item.Label, run.TypedCodePage), result.Error);
            }
            if (setup.Stop == TStopRule::AtFirstError && EndsRun(result)) {
                summary.Stopped = true;
                break;
            }
            continue;
        }
        ++summary.Exported;
        summary.Records += result.RecordsWritten;
    }

    // A one-file run in which no form exported would replace an older file with one that holds nothing.
    if (writer && !summary.Cancelled && (summary.Exported > 0 || summary.Failed == 0)) {
        try {
            writer->Commit();
            summary.OneFile = options.Destination;
            for (TFormResult& result : runResult.Forms) {
                result.Written = result.Error.empty();
            }
        } catch (const std::exception& error) {
            // Nothing of the run reached the file: every form that had been written fails with it.
            for (TFormResult& result : runResult.Forms) {
                if (result.Error.empty()) {
                    Fail(result, error);
                    result.OutputError = true;
                    --summary.Exported;
                    ++summary.Failed;
                    summary.Records -= result.RecordsWritten;
                    observer.FormFailed(result);
                }
            }
        }
    }
    return runResult;
}

} // namespace corvane
