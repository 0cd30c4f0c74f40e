#pragma once
// The export run: a plan of forms, one options value and an observer in; one result per form and a summary
// out. Every front end (the command-line tool, the window, the Python module) calls this run, so the rules
// of which forms are exported, how their files are named and what a failure costs live here once.

#include "database/DEInfoRec.h"
#include "export/TypedExport.h"
#include "text/CodePage.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

struct TScanPlan;

// ---------------------------------------------------------------------------------------------------------
// Options

enum class TOutputFormat {
    Delimited,  // one delimited text file per form
    Jsonl,      // one JSON Lines file per form
    Sqlite,     // one SQLite file for the run
    Xlsx,       // one workbook for the run
    PostgreSql, // one SQL script for the run
};

// True for the formats that write the whole run into one file (Destination names that file).
bool IsOneFileFormat(TOutputFormat format);
// "csv", "jsonl", "sqlite", "xlsx", "postgresql".
std::string_view FormatName(TOutputFormat format);
std::optional<TOutputFormat> FormatByName(std::string_view name);

// The order in which dates are written. Iso (yyyy-mm-dd) is for the typed formats that ask for it.
enum class TDateOrder { British, American, Metric, Iso };
// 'B', 'A', 'M' (Iso: 'M', the delimited export's nearest).
char DateOrderLetter(TDateOrder order);

struct TExportOptions {
    TOutputFormat Format = TOutputFormat::Delimited;
    // Per-form formats: the directory of the files. One-file formats: the file. "-": standard output (one
    // form, or a one-file format that can stream).
    std::string Destination;
    std::string Extension = "csv"; // delimited files only
    char Delimiter = ',';
    std::string HeadingQualifier; // written before and after every heading name
    TDateOrder OutputDateOrder = TDateOrder::British;
    int NumericNull = 0; // 0: an empty number is "0"; otherwise nothing
    // nullopt: the bytes as stored for delimited text, DefaultCodePage of the version for the typed formats.
    std::optional<TCodePage> Encoding;
    std::string ShortDateFormat; // for day-count dates; empty: the locale's
    // PostgreSQL script: tables in this schema (empty: none), and DROP TABLE before each CREATE.
    std::string Schema;
    bool DropTables = false;
};

// A usage problem of options, in one line, or nullopt: an extension holding a separator or a NUL, or
// equal to "." or ".."; a delimiter that is CR, LF, NUL or a double quote.
std::optional<std::string> CheckExportOptions(const TExportOptions& options);

// ---------------------------------------------------------------------------------------------------------
// The plan

struct TPlanItem {
    // The catalogue's form record; nullptr for an entry that named no form (the run reports it).
    TFormRec* Form = nullptr;
    char Selection = 'L'; // 'L' live, 'D' deleted, 'A' all; any other letter takes no record
    // The form as the user knows it, for messages: its name ("Customers"), or what the user typed when it
    // named no form.
    std::string Label;
    // The stem of its file name as the user wrote it ("customers" for an entry typed so); empty: the form's
    // name. Either way it is made safe and unique within the run.
    std::string Stem;
};
using TExportPlan = std::vector<TPlanItem>;

// A user's entry resolved against the catalogue: an exact form name wins (so "Sales=Q3" is that form when
// it exists); otherwise "NAME=x" is the form NAME with selection letter x upper-cased ('L' when nothing
// follows the "="). An entry without a selection letter takes defaultSelection. Form is nullptr when
// nothing matches. The item's Stem is the name part as written.
TPlanItem ResolveFormEntry(const TDEInfoRec& database, const std::string& entry, char defaultSelection = 'L');

// The forms the window lists, in the list's order: "users" and variant levels of 2 or more never, system
// forms only while DEPath is set (their lines carry one leading blank).
std::vector<const TFormRec*> ListedForms(const TDEInfoRec& database);
// The line the window shows for a listed form.
std::string FormListLine(const TFormRec& form);
// The lines of ListedForms.
std::vector<std::string> FormListLines(const TDEInfoRec& database);

// The plan item of a list line: the listed form whose line it is. occurrence picks among listed forms of
// the same line (0 the first in list order), so that two forms of one name are two items.
TPlanItem PlanItemOfLine(const TDEInfoRec& database, const std::string& line, char selection,
                         int occurrence = 0);

// The listed forms by their list line, in list order among equal lines: PlanItemOfLine for many lines
// without listing the forms again for each.
using TFormsByLine = std::multimap<std::string, TFormRec*>;
TFormsByLine ListedFormsByLine(const TDEInfoRec& database);
TPlanItem PlanItemOfLine(const TFormsByLine& forms, const std::string& line, char selection,
                         int occurrence = 0);

// A form that the plan of every form leaves out, and why.
struct TLeftOutForm {
    const TFormRec* Form = nullptr;
    std::string Reason;
};

// The plan of "every form": the listed forms in list order with selection. A system form whose definition
// can be found neither in DEPath nor beside the database is left out and named in leftOut (when given).
TExportPlan PlanOfEveryForm(const TDEInfoRec& database, char selection,
                            std::vector<TLeftOutForm>* leftOut = nullptr);

// The DataEase program directory of a version as the window sets it: version 3 the "depath" variable,
// version 7 the program directory followed by "7" and a separator, any other version none.
std::string DEPathForVersion(std::uint8_t version, const std::string& depathVariable,
                             const std::string& programDirectory);

// ---------------------------------------------------------------------------------------------------------
// Outputs

// One output file being written. Destroyed without Commit, it leaves nothing and no older file is touched.
class IOutput {
public:
    virtual ~IOutput() = default;
    // Throws EOutputWriteError when the bytes cannot be written.
    virtual void Write(std::string_view bytes) = 0;
    // Completes the file under its final name. Throws EInOutError.
    virtual void Commit() = 0;
};

// Where outputs are created: the file system (default), standard output, or memory (tests, fuzzing).
class IOutputTarget {
public:
    virtual ~IOutputTarget() = default;
    // Creates the output of finalName. Throws EInOutError when it cannot be created.
    virtual std::unique_ptr<IOutput> Create(const std::string& finalName) = 0;
    // True when outputs are files on disk: writers that need a real file (SQLite, the workbook) may build
    // one, and the run guards the database's own directory.
    virtual bool WritesFiles() const { return true; }
};

// ---------------------------------------------------------------------------------------------------------
// One-file formats, provided by the modules that link their libraries

struct TFormResult;
class IExportObserver;

// Writes the typed records of the run's forms into one file. The run calls BeginForm, Row for each record,
// EndForm, for each form in plan order; FormFailed for a form that failed (listed in the file's table of
// forms with its error); then Commit when the run has ended. Destroyed without Commit, it leaves nothing.
class IOneFileWriter : public TTypedSink {
public:
    // After the last Row of a form.
    virtual void EndForm(const TTypedForm& form, const TFormResult& result) = 0;
    // A form of the plan that failed; label names it as the user knows it (UTF-8).
    virtual void FormFailed(const TPlanItem& item, const std::string& utf8Label,
                            const std::string& error) = 0;
    // Completes the file and puts it under its final name.
    virtual void Commit() = 0;
    // The name of the table, sheet ... that holds form (UTF-8), once BeginForm has run; empty for none.
    virtual std::string TableOf(const TTypedForm& form) const = 0;
};

struct TOneFileContext {
    TDEInfoRec* Database = nullptr;
    const TExportOptions* Options = nullptr;
    TCodePage CodePage = TCodePage::Cp437; // the code page of the text (never Raw)
    IOutputTarget* Output = nullptr;       // for writers that stream (the PostgreSQL script)
    IExportObserver* Observer = nullptr;   // for the writer's warnings
};

using TOneFileWriterFactory = std::function<std::unique_ptr<IOneFileWriter>(const std::string& fileName,
                                                                            const TOneFileContext& context)>;

// The one-file formats this build has; a front end adds those it links (for example RegisterSqliteFormat).
class TFormatRegistry {
public:
    void Add(TOutputFormat format, TOneFileWriterFactory factory) { factories_[format] = std::move(factory); }
    const TOneFileWriterFactory* Find(TOutputFormat format) const {
        const auto it = factories_.find(format);
        return it == factories_.end() ? nullptr : &it->second;
    }

private:
    std::map<TOutputFormat, TOneFileWriterFactory> factories_;
};

// ---------------------------------------------------------------------------------------------------------
// Observer, results

class IExportObserver {
public:
    virtual ~IExportObserver() = default;
    // Before form index (0-based) of count.
    virtual void FormStarted(std::size_t /*index*/, std::size_t /*count*/, const TPlanItem& /*item*/) {}
    // Now and then during a form's record scan.
    virtual void Records(std::int64_t /*slotsDone*/, std::int64_t /*slotsTotal*/) {}
    // A diagnostic line (a warning, "Table X doesn't exist."), without a line end.
    virtual void Message(const std::string& /*line*/) {}
    // A form failed: its result carries the error.
    virtual void FormFailed(const TFormResult& /*result*/) {}
    // Asked between forms and between batches of records; true ends the run early.
    virtual bool CancelRequested() { return false; }
};

// The observer of the callers that export one form at a time with a TExportHost: messages as lines on a
// stream, progress to the host.
class THostObserver final : public IExportObserver {
public:
    THostObserver(const TExportHost& host, std::ostream& messages) : host_(host), messages_(messages) {}
    void Records(std::int64_t done, std::int64_t total) override {
        if (host_.Progress) {
            host_.Progress(done, total);
        }
    }
    void Message(const std::string& line) override { messages_ << line << '\n'; }

private:
    const TExportHost& host_;
    std::ostream& messages_;
};

struct TFormResult {
    const TFormRec* Form = nullptr;
    std::string Label; // as in the plan item
    char Selection = 'L';
    bool Found = false; // the plan item named a form
    bool DataFileOpened = false;
    bool DataFileShort = false; // the data file held fewer whole slots than RecordCount
    std::int64_t SlotsRead = 0;
    std::int64_t RecordsWritten = 0;
    std::size_t Columns = 0;
    std::string FileName; // the file that holds the form (the one file for one-file formats)
    bool Renamed = false; // its file name was taken by an earlier form of the run: a suffix was added
    std::string Table;    // one-file formats: its table or sheet (UTF-8)
    bool Written = false; // its records are in FileName under its final name
    std::string Error;    // empty when the form was exported
    // The failure was the output's (it could not be created or written), not the database's; ErrorCode is
    // the platform's code of it.
    bool OutputError = false;
    int ErrorCode = 0;
    std::exception_ptr ErrorObject; // the exception behind Error, when there was one
};

struct TRunSummary {
    std::size_t Forms = 0; // items of the plan
    std::size_t Exported = 0;
    std::size_t Failed = 0;
    std::int64_t Records = 0;
    bool Cancelled = false;
    bool Stopped = false;                // the run ended at a failed form (TStopRule::AtFirstError)
    TCodePage CodePage = TCodePage::Raw; // the code page text was converted from (Raw: as stored)
    std::string OneFile;                 // one-file formats: the file written (empty when none was)
};

struct TRunResult {
    std::vector<TFormResult> Forms; // one per plan item that the run reached, in plan order
    TRunSummary Summary;
};

enum class TStopRule {
    GoOn,         // a form that fails is reported and the run goes on with the next
    AtFirstError, // the first form that fails ends the run (the window)
};

struct TRunSetup {
    IOutputTarget* Output = nullptr;          // nullptr: the file system
    const TFormatRegistry* Formats = nullptr; // the one-file formats available
    TStopRule Stop = TStopRule::GoOn;
    const TScanPlan* Scan = nullptr; // nullptr: the default spread of a scan over threads
    // The stored date order to use instead of the database's own (callers that read it themselves).
    std::optional<char> StoredDateOrder;
};

// Runs plan over database. Throws only for options that CheckExportOptions refuses (std::invalid_argument);
// every other failure is a form's result.
TRunResult RunExport(TDEInfoRec& database, const TExportPlan& plan, const TExportOptions& options,
                     IExportObserver& observer, const TRunSetup& setup = {});

} // namespace corvane
