#include "ui/logic/MainWindow.h"

#include "environment/Environment.h"
#include "environment/IniFile.h"
#include "export/DataFile.h"
#include "export/ExportRun.h"
#include "text/TextUtils.h"

#include <map>
#include <vector>

namespace corvane::ui {

namespace {
constexpr const char* kSettingsSection = "paths";

// The DataEase program directory variable: "depath", or "DEPATH" where names tell case apart.
std::string DEPathVariable(const IProcess& process) {
    const std::string value = process.GetEnv("depath");
    return value.empty() ? process.GetEnv("DEPATH") : value;
}
} // namespace

std::optional<std::string> RecordSelection(bool live, bool deleted) {
    if (live && deleted) {
        return std::string("=A");
    }
    if (deleted) {
        return std::string("=D");
    }
    if (live) {
        return std::string();
    }
    return std::nullopt;
}

TForm1::TForm1(TMainWindowControls controls, TDatabaseSelectionDialogue& selection, IModalDialogs& dialogs,
               IMessageBox& messageBox, IProgress& progress, const IProcess& process)
    : Controls(controls), selection_(selection), dialogs_(dialogs), messageBox_(messageBox),
      progress_(progress), process_(process) {}

void TForm1::FormCreate() {
    ActiveDatabase = std::make_unique<TDEInfoRec>();
    ActiveDatabase->SetDEPath(DEPathVariable(process_));

    const TIniFile settings(process_.SettingsFileName());
    const std::string home = process_.HomeDirectory();
    Controls.DirectoryEdit->SetText(settings.ReadString(kSettingsSection, "destination", home));
    SourceDirectory = settings.ReadString(kSettingsSection, "source", home);
    Controls.SelectFolderDialog->SetTopFolder(Controls.DirectoryEdit->GetText());

    // Already filled at start-up; this call changes nothing.
    InitEnvironment(0);
    Controls.Window->SetTitle(Controls.Window->GetTitle() + " Build:" + Environment.BuildStamp);
}

void TForm1::FormActivate() {
    if (aboutShown_) {
        return;
    }
    aboutShown_ = true;
    dialogs_.ShowAbout();
}

void TForm1::Button1Click() {
    if (!ActiveDatabase) {
        return; // the window has closed
    }
    selection_.SetStartDirectory(SourceDirectory);
    dialogs_.ShowDatabaseSelection();
    SourceDirectory = selection_.SearchDirectory;
    if (selection_.SelectedFile.empty()) {
        Controls.Window->Close();
        return;
    }
    Controls.Window->SetTitle(selection_.SearchDirectory + selection_.SelectedFile);

    TDEInfoRec& database = *ActiveDatabase;
    database.SetDirectory(selection_.SearchDirectory);
    database.SetDictionaryName(selection_.SelectedFile);
    try {
        database.Load();
    } catch (...) {
        // No line of the previous database may stay on screen once its forms are gone.
        Controls.ListBox1->Clear();
        throw;
    }
    database.SetDEPath(
        DEPathForVersion(database.GetVersion(), DEPathVariable(process_), process_.ProgramDirectory()));

    ICheckList& list = *Controls.ListBox1;
    list.Clear();
    list.SetSorted(true);
    for (const TFormRec* form : ListedForms(database)) {
        list.AddLine(FormListLine(*form));
    }
    list.Repaint();
    list.SetFocus();
    Controls.Window->SetTitle("DataEase Data Extraction: " + database.GetDisplayName());
}

void TForm1::Button2Click() {
    Controls.Window->Close();
}

void TForm1::CheckBox1Click() {
    const bool ticked = Controls.CheckBox1->IsChecked();
    ICheckList& list = *Controls.ListBox1;
    for (int i = 0; i < list.Count(); ++i) {
        const TFormRec* form = ActiveDatabase ? ActiveDatabase->FindForm(list.LineText(i)) : nullptr;
        if (form && form->VariantLevel == 0) {
            list.SetTicked(i, ticked);
        }
    }
}

namespace {

// The run as the window shows it: progress in its progress indication, messages in the strip, an output
// that cannot be created in a message box.
class TWindowObserver final : public IExportObserver {
public:
    TWindowObserver(IProgress& progress, IMessageBox& messageBox) : progress_(progress), messageBox_(messageBox) {}

    void FormStarted(std::size_t index, std::size_t count, const TPlanItem& item) override {
        progress_.FormStarted(static_cast<int>(index), static_cast<int>(count), item.Label);
    }
    void Records(std::int64_t done, std::int64_t total) override { progress_.Records(done, total); }
    void Message(const std::string& line) override { strip_ += (strip_.empty() ? "" : "\n") + line; }
    void FormFailed(const TFormResult& result) override {
        if (!result.Found) {
            Message(result.Error);
        } else if (result.OutputError) {
            std::string text = "IO Error: " + std::to_string(result.ErrorCode);
            if (result.ErrorObject) {
                try {
                    std::rethrow_exception(result.ErrorObject);
                } catch (const std::exception& error) {
                    text += std::string("\n") + error.what();
                }
            }
            messageBox_.ShowMessage(text);
        }
    }
    bool CancelRequested() override { return progress_.CancelRequested(); }

    const std::string& Strip() const { return strip_; }

private:
    IProgress& progress_;
    IMessageBox& messageBox_;
    std::string strip_;
};

} // namespace

void TForm1::Button3Click() {
    if (!ActiveDatabase) {
        return; // the window has closed
    }
    Controls.Label1->SetText("");
    const std::optional<std::string> selection =
        RecordSelection(Controls.LiveCheckBox->IsChecked(), Controls.DeletedCheckBox->IsChecked());
    if (!selection) {
        messageBox_.ShowMessage(kTickRecordsMessage);
        return;
    }
    const char letter = selection->empty() ? kSelectLive : (*selection)[1];

    TDEInfoRec& database = *ActiveDatabase;
    ICheckList& list = *Controls.ListBox1;
    TExportPlan plan;
    // Two forms of one name have two lines of one text: the n-th such line is the n-th such form.
    std::map<std::string, int> occurrences;
    for (int i = 0; i < list.Count(); ++i) {
        const std::string line = list.LineText(i);
        const int occurrence = occurrences[line]++;
        if (list.IsTicked(i)) {
            plan.push_back(PlanItemOfLine(database, line, letter, occurrence));
        }
    }

    TExportOptions options;
    options.Destination = WithTrailingSeparator(Controls.DirectoryEdit->GetText());
    options.Extension = Controls.Edit1->GetText();
    const int dateIndex = Controls.DateRadioGroup->ItemIndex();
    constexpr TDateOrder kOrders[] = {TDateOrder::British, TDateOrder::American, TDateOrder::Metric};
    options.OutputDateOrder = dateIndex >= 0 && dateIndex < 3 ? kOrders[dateIndex] : TDateOrder::British;
    options.Delimiter = FirstCharOr(Controls.DelimiterEdit->GetText(), ',');
    options.HeadingQualifier = Controls.FieldNameCheckBox->IsChecked() ? "\"" : "";
    options.NumericNull = Controls.NumericNullRadioGroup->ItemIndex();

    TRunSetup setup;
    setup.Stop = TStopRule::AtFirstError;
    TWindowObserver observer(progress_, messageBox_);
    progress_.Start(static_cast<int>(plan.size()));
    TRunResult run;
    try {
        run = RunExport(database, plan, options, observer, setup);
    } catch (...) {
        progress_.Finish();
        Controls.Label1->SetText(observer.Strip());
        throw;
    }
    progress_.Finish();
    Controls.Label1->SetText(observer.Strip());
    if (run.Summary.Stopped) {
        // An error reading the database ends the run and goes to the program's error reporting.
        std::rethrow_exception(run.Forms.back().ErrorObject);
    }
    if (run.Summary.Cancelled) {
        messageBox_.ShowMessage("Export cancelled: " + std::to_string(run.Summary.Exported) + " of " +
                                std::to_string(plan.size()) + " forms exported.");
        return;
    }
    messageBox_.ShowMessage(kExportsComplete);
}

void TForm1::Button4Click() {
    const std::optional<std::string> folder = Controls.SelectFolderDialog->Run();
    if (!folder) {
        return;
    }
    Controls.DirectoryEdit->SetText(*folder);
    Controls.SelectFolderDialog->SetTopFolder(*folder);
}

void TForm1::FormClose() {
    ActiveDatabase.reset();
    TIniFile settings(process_.SettingsFileName());
    settings.WriteString(kSettingsSection, "destination", Controls.DirectoryEdit->GetText());
    settings.WriteString(kSettingsSection, "source", SourceDirectory);
    settings.UpdateFile();
}

} // namespace corvane::ui
