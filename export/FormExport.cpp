#include "export/FormExport.h"

#include "database/Errors.h"
#include "database/PlatformFile.h"
#include "export/DataFile.h"
#include "export/ExportLine.h"
#include "export/FieldValues.h"
#include "export/OutputFile.h"
#include "export/ParallelExport.h"
#include "text/TextUtils.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <unistd.h>

namespace corvane {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kHeadingChars = ",;:+-= .";
constexpr std::int64_t kProgressEvery = 4096;

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

void ReportIOError(const TExportHost& host, std::ostream& messages, const EInOutError& error) {
    const std::string text = "IO Error: " + std::to_string(error.ErrorCode());
    if (host.ShowIOError) {
        host.ShowIOError(text, error.ErrorCode(), error.what());
    } else {
        messages << text << '\n';
    }
}

// The creation of the output file as a plain create-or-replace would see it: a directory or a read-only file
// of the final name refuses it before anything is written.
void CheckReplaceable(const std::string& finalName) {
    if (IsDirectory(finalName)) {
        throw MakeIOError(EISDIR, finalName);
    }
    if (::access(finalName.c_str(), F_OK) == 0 && ::access(finalName.c_str(), W_OK) != 0) {
        throw MakeIOError(errno, finalName);
    }
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

TExportResult ExportFormWithPlan(const std::optional<TScanPlan>& plan, const std::string& formEntry,
                                 const std::string& destination, const std::string& extension,
                                 char storedDateOrder, char outputDateOrder, char delimiter,
                                 const std::string& headingQualifier, TDEInfoRec& database,
                                 std::ostream& messages, int numericNull, const TExportHost& host) {
    TExportResult result;
    const TFormEntry entry = SplitFormEntry(formEntry);
    result.FileName = WithTrailingSeparator(destination) + entry.Stem + "." + extension;

    std::optional<TOutputFile> out;
    try {
        CheckReplaceable(result.FileName);
        out.emplace(result.FileName);
    } catch (const EInOutError& error) {
        ReportIOError(host, messages, error);
        return result;
    }
    auto commit = [&]() {
        out->Close();
        try {
            out->Commit();
            result.FileWritten = true;
        } catch (const EInOutError& error) {
            ReportIOError(host, messages, error);
        }
    };

    TFormRec* form = database.FindForm(entry.FormName);
    if (form == nullptr) {
        messages << "Table " << formEntry << " doesn't exist." << '\n';
        commit();
        return result;
    }
    result.FormFound = true;

    const TFieldRec* fields = form->GetFields();
    const std::vector<const TFieldRec*> columns = ExportColumns(fields);
    result.Columns = columns.size();
    std::string line;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i != 0) {
            line += delimiter;
        }
        line += headingQualifier;
        line += HeadingName(columns[i]->Name);
        line += headingQualifier;
    }
    if (fields == nullptr) {
        // Once for each of the two passes over the (empty) field list.
        messages << "Table " << formEntry << " doesn't exist." << '\n';
        messages << "Table " << formEntry << " doesn't exist." << '\n';
    }
    line.append(kLineEnd);
    out->Write(host.Encoding == TCodePage::Raw ? line : ToUtf8(line, host.Encoding));

    std::unique_ptr<TReadOnlyFile> data;
    try {
        data = std::make_unique<TReadOnlyFile>(DataFilePath(*form));
        result.DataFileOpened = true;
    } catch (const EInOutError&) {
        // A data file that cannot be opened gives the heading line alone.
    }
    if (data) {
        TValueContext context;
        context.Version = database.GetVersion();
        context.StoredDateOrder = storedDateOrder;
        context.OutputDateOrder = outputDateOrder == 'A' || outputDateOrder == 'M' ? outputDateOrder : 'B';
        context.NumericNull = numericNull;
        context.ShortDateFormat =
            host.ShortDateFormat.empty() ? LocaleShortDateFormat() : host.ShortDateFormat;
        context.CenturyCutoff = [&database]() { return ReadCenturyCutoff(database); };

        const std::int64_t total = form->RecordCount > 0 ? form->RecordCount : 0;
        TSlotReader reader(*data, form->RecordLength, total);
        TLineBuilder builder(columns, form->RecordLength, delimiter, context);
        // Asked here, once, so that no copy of the builder on another thread touches the database.
        builder.FetchCenturyCutoff();
        const char selection = entry.Selection;
        const TCodePage encoding = host.Encoding;
        auto makeFormatter = [&builder, selection, encoding]() -> TFormatBatch {
            return [lines = builder, selection, encoding, raw = TLineText(),
                    utf8 = std::string()](ByteSpan slots, TLineText& text) mutable {
                if (encoding == TCodePage::Raw) {
                    return lines.AppendLines(slots, selection, text);
                }
                raw.Size = 0;
                const std::int64_t taken = lines.AppendLines(slots, selection, raw);
                utf8.clear();
                AppendUtf8(utf8, raw.View(), encoding);
                text.Bytes.assign(utf8.begin(), utf8.end());
                text.Size = utf8.size();
                return taken;
            };
        };
        std::int64_t reported = 0;
        result.RecordsWritten = ScanInBatches(
            reader, form->RecordLength, plan ? *plan : DefaultScanPlan(total), makeFormatter,
            [&out](std::string_view text) { out->Write(text); },
            [&host, &reported, total](std::int64_t slotsDone) {
                if (host.Progress && slotsDone / kProgressEvery != reported / kProgressEvery) {
                    host.Progress(slotsDone, total);
                }
                reported = slotsDone;
            });
        result.SlotsRead = reader.SlotsRead();
        if (host.Progress) {
            host.Progress(reader.SlotsRead(), total);
        }
        result.DataFileShort = WarnIfDataFileShort(messages, *form, reader);
        data->Close();
    }
    commit();
    return result;
}

} // namespace corvane
