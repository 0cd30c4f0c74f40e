#include "export/FormExport.h"

#include "database/Errors.h"
#include "database/PlatformFile.h"
#include "export/DataFile.h"
#include "export/ExportLine.h"
#include "export/ExportRun.h"
#include "export/FieldValues.h"
#include "export/OutputFile.h"
#include "export/ParallelExport.h"
#include "text/TextUtils.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

namespace corvane {

namespace {

constexpr std::string_view kHeadingChars = ",;:+-= .";

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

std::string FileStem(const std::string& formName) {
    return RemoveChars(formName, std::string("/") + kPathSeparator);
}

TFormEntry SplitFormEntry(const std::string& formEntry) {
    TFormEntry entry;
    const std::size_t eq = formEntry.find('=');
    if (eq == std::string::npos) {
        entry.FormName = formEntry;
        entry.Stem = FileStem(formEntry);
        entry.Selection = kSelectLive;
        return entry;
    }
    entry.FormName = formEntry.substr(0, eq);
    // A "/" in the name part would lead the file out of the destination directory ("../x=A"), so it goes here
    // as well as without a selection letter.
    entry.Stem = FileStem(entry.FormName);
    entry.Selection = eq + 1 < formEntry.size() ? UpperAscii(formEntry[eq + 1]) : kSelectLive;
    return entry;
}

std::string HeadingName(const std::string& fieldName) {
    std::string heading = ReplaceChars(fieldName, kHeadingChars, '_');
    if (UpperCaseAscii(heading) == "DATE") {
        heading = "DATE_";
    }
    return heading;
}

std::vector<const TFieldRec*> ExportColumns(const TFieldRec* firstField) {
    std::vector<const TFieldRec*> columns;
    for (const bool pass : {true, false}) {
        for (const TFieldRec* f = firstField; f != nullptr; f = f->Next.get()) {
            if (f->Flag3 == pass && !f->Flag7) {
                columns.push_back(f);
            }
        }
    }
    return columns;
}

TExportResult ExportForm(const std::string& formEntry, const std::string& destination,
                         const std::string& extension, char storedDateOrder, char outputDateOrder,
                         char delimiter, const std::string& headingQualifier, TDEInfoRec& database,
                         std::ostream& messages, int numericNull, const TExportHost& host) {
    return ExportFormWithPlan(std::nullopt, formEntry, destination, extension, storedDateOrder,
                              outputDateOrder, delimiter, headingQualifier, database, messages, numericNull,
                              host);
}

namespace {

TDateOrder DateOrderOfLetter(char letter) {
    switch (letter) {
    case 'A':
        return TDateOrder::American;
    case 'M':
        return TDateOrder::Metric;
    default:
        return TDateOrder::British;
    }
}

} // namespace

TExportResult ExportFormWithPlan(const std::optional<TScanPlan>& plan, const std::string& formEntry,
                                 const std::string& destination, const std::string& extension,
                                 char storedDateOrder, char outputDateOrder, char delimiter,
                                 const std::string& headingQualifier, TDEInfoRec& database,
                                 std::ostream& messages, int numericNull, const TExportHost& host) {
    TExportOptions options;
    options.Destination = destination;
    options.Extension = extension;
    options.Delimiter = delimiter;
    options.HeadingQualifier = headingQualifier;
    options.OutputDateOrder = DateOrderOfLetter(outputDateOrder);
    options.NumericNull = numericNull;
    options.ShortDateFormat = host.ShortDateFormat;
    options.Encoding = host.Encoding;
    TRunSetup setup;
    setup.Scan = plan ? &*plan : nullptr;
    setup.StoredDateOrder = storedDateOrder;
    THostObserver observer(host, messages);
    const TRunResult run =
        RunExport(database, {ResolveFormEntry(database, formEntry)}, options, observer, setup);

    TExportResult result;
    const TFormResult& form = run.Forms.front();
    result.FileName = form.FileName;
    result.FormFound = form.Found;
    result.FileWritten = form.Written;
    result.RecordsWritten = form.RecordsWritten;
    result.DataFileOpened = form.DataFileOpened;
    result.SlotsRead = form.SlotsRead;
    result.DataFileShort = form.DataFileShort;
    result.Columns = form.Columns;
    if (!form.Found) {
        messages << form.Error << '\n';
    } else if (form.ErrorObject) {
        try {
            std::rethrow_exception(form.ErrorObject);
        } catch (const EOutputWriteError&) {
            throw;
        } catch (const EInOutError& error) {
            if (!form.OutputError) {
                throw;
            }
            // The output file could not be created: reported in place, the caller goes on.
            const std::string text = "IO Error: " + std::to_string(error.ErrorCode());
            if (host.ShowIOError) {
                host.ShowIOError(text, error.ErrorCode(), error.what());
            } else {
                messages << text << '\n';
            }
        }
    }
    return result;
}

} // namespace corvane
