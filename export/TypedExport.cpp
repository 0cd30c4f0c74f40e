#include "export/TypedExport.h"

#include "database/Errors.h"
#include "database/PlatformFile.h"
#include "export/DataFile.h"
#include "text/TextUtils.h"

#include <memory>
#include <set>

namespace corvane {

namespace {

constexpr std::int64_t kProgressEvery = 4096;

std::string UniqueName(std::string name, std::set<std::string>& taken) {
    if (taken.insert(UpperCaseAscii(name)).second) {
        return name;
    }
    for (int n = 2;; ++n) {
        std::string candidate = name + "_" + std::to_string(n);
        if (taken.insert(UpperCaseAscii(candidate)).second) {
            return candidate;
        }
    }
}

} // namespace

std::vector<TTypedColumn> TypedColumns(const TFieldRec* firstField, TCodePage codePage, bool withDeleted) {
    std::vector<TTypedColumn> columns;
    std::set<std::string> taken;
    if (withDeleted) {
        taken.insert(UpperCaseAscii(kDeletedColumn));
    }
    for (const TFieldRec* field : ExportColumns(firstField)) {
        std::string name =
            ToUtf8(HeadingName(field->Name), codePage == TCodePage::Raw ? TCodePage::Latin1 : codePage);
        // A NUL byte would end an SQL statement's text early.
        name = ReplaceChars(name, std::string_view("\0", 1), '_');
        if (name.empty()) {
            name = "column_" + std::to_string(columns.size() + 1);
        }
        columns.push_back({field, UniqueName(std::move(name), taken), ColumnTypeOf(*field)});
    }
    return columns;
}

TTypedScanResult ScanTypedForm(const std::string& formEntry, TDEInfoRec& database, TCodePage codePage,
                               char storedDateOrder, std::ostream& messages, TTypedSink& sink,
                               const TExportHost& host) {
    TTypedScanResult result;
    TTypedForm typed;
    typed.Entry = SplitFormEntry(formEntry);
    TFormRec* form = database.FindForm(typed.Entry.FormName);
    if (form == nullptr) {
        messages << "Table " << formEntry << " doesn't exist." << '\n';
        return result;
    }
    result.FormFound = true;
    const TCodePage textCodePage = codePage == TCodePage::Raw ? TCodePage::Latin1 : codePage;
    typed.Form = form;
    typed.Name = ToUtf8(form->Name, textCodePage);
    typed.DataFile = ToUtf8(form->DataFile, textCodePage);
    typed.WithDeleted = typed.Entry.Selection == kSelectDeleted || typed.Entry.Selection == kSelectAll;
    typed.Columns = TypedColumns(form->GetFields(), codePage, typed.WithDeleted);
    sink.BeginForm(typed);

    std::unique_ptr<TReadOnlyFile> data;
    try {
        data = std::make_unique<TReadOnlyFile>(DataFilePath(*form));
        result.DataFileOpened = true;
    } catch (const EInOutError&) {
        // A form whose data file cannot be opened has no rows, as its delimited file has the heading alone.
        return result;
    }

    TTypedContext context;
    context.Version = database.GetVersion();
    context.StoredDateOrder = storedDateOrder;
    context.CodePage = codePage;
    context.CenturyCutoff = [&database]() { return ReadCenturyCutoff(database); };

    std::vector<TTypedValue> values(typed.Columns.size());
    const std::int64_t total = form->RecordCount > 0 ? form->RecordCount : 0;
    TSlotReader reader(*data, form->RecordLength, total);
    for (ByteSpan slot = reader.Next(); !slot.empty(); slot = reader.Next()) {
        if (SlotSelected(slot[0], typed.Entry.Selection)) {
            for (std::size_t i = 0; i < typed.Columns.size(); ++i) {
                DecodeTypedValue(slot, *typed.Columns[i].Field, context, values[i]);
            }
            sink.Row(typed, values, !SlotSelected(slot[0], kSelectLive));
            ++result.RecordsWritten;
        }
        if (host.Progress && reader.SlotsRead() % kProgressEvery == 0) {
            host.Progress(reader.SlotsRead(), total);
        }
    }
    result.SlotsRead = reader.SlotsRead();
    if (host.Progress) {
        host.Progress(reader.SlotsRead(), total);
    }
    result.DataFileShort = WarnIfDataFileShort(messages, *form, reader);
    data->Close();
    return result;
}

} // namespace corvane
