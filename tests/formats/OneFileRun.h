#pragma once
// What the export run does with a one-file writer, for the tests of the writers: each plan item's form
// scanned into the writer (BeginForm, Row ..., EndForm), a form that fails or names nothing reported with
// FormFailed, then Commit.

#include "database/Errors.h"
#include "export/DataFile.h"
#include "export/ExportRun.h"
#include "export/TypedExport.h"
#include "text/TextUtils.h"

#include <sstream>
#include <string>
#include <vector>

namespace corvane::testing {

// Hands the scan's rows to the writer and keeps a copy of the form for EndForm.
class TWriterSink final : public TTypedSink {
public:
    explicit TWriterSink(IOneFileWriter& writer) : writer_(writer) {}
    void BeginForm(const TTypedForm& form) override {
        form_ = form;
        writer_.BeginForm(form_);
    }
    void Row(const TTypedForm& /*form*/, const std::vector<TTypedValue>& values, bool deleted) override {
        writer_.Row(form_, values, deleted);
    }
    const TTypedForm& Form() const { return form_; }

private:
    IOneFileWriter& writer_;
    TTypedForm form_;
};

// The plan of every form a user sees: not "users", no variants of level 2 or more, system forms only while
// DEPath is set.
inline TExportPlan PlanOfForms(const TDEInfoRec& database, char selection) {
    TExportPlan plan;
    for (TFormRec* form = database.FirstForm(); form != nullptr; form = form->Next.get()) {
        if (UpperCaseAscii(form->Name) == "USERS" || form->VariantLevel >= 2 ||
            (form->SystemForm && database.DEPath.empty())) {
            continue;
        }
        plan.push_back({form, selection, form->Name});
    }
    return plan;
}

inline std::vector<TFormResult> RunOneFile(IOneFileWriter& writer, TDEInfoRec& database, const TExportPlan& plan,
                                           TCodePage codePage, std::ostream& messages) {
    std::vector<TFormResult> results;
    const TCodePage textCodePage = codePage == TCodePage::Raw ? TCodePage::Latin1 : codePage;
    for (const TPlanItem& item : plan) {
        TFormResult& result = results.emplace_back();
        result.Form = item.Form;
        result.Label = item.Label;
        result.Selection = item.Selection;
        const std::string label = ToUtf8(item.Label, textCodePage);
        if (item.Form == nullptr) {
            result.Error = "Table " + item.Label + " doesn't exist.";
            writer.FormFailed(item, label, result.Error);
            continue;
        }
        result.Found = true;
        try {
            TWriterSink sink(writer);
            const TTypedScanResult scan = ScanTypedForm(item.Form->Name + "=" + item.Selection, database,
                                                        codePage, ReadDateOrder(database), messages, sink);
            result.DataFileOpened = scan.DataFileOpened;
            result.DataFileShort = scan.DataFileShort;
            result.SlotsRead = scan.SlotsRead;
            result.RecordsWritten = scan.RecordsWritten;
            result.Columns = sink.Form().Columns.size();
            writer.EndForm(sink.Form(), result);
            result.Table = writer.TableOf(sink.Form());
        } catch (const std::exception& error) {
            result.Error = DescribeError(error);
            writer.FormFailed(item, label, result.Error);
        }
    }
    writer.Commit();
    return results;
}

} // namespace corvane::testing
