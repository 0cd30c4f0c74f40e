#include "ui/logic/MainWindow.h"

#include "environment/Environment.h"
#include "environment/IniFile.h"
#include "export/DataFile.h"
#include "export/FormExport.h"
#include "text/TextUtils.h"

#include <sstream>
#include <vector>

namespace corvane::ui {

namespace {
constexpr const char* kSettingsSection = "paths";

// The messages of a run as lines, without the last line end.
std::string MessageText(const std::ostringstream& messages) {
    std::string text = messages.str();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}
// The DataEase program directory variable: "depath", or "DEPATH" where names tell case apart.
std::string DEPathVariable(const IProcess& process) {
    const std::string value = process.GetEnv("depath");
    return value.empty() ? process.GetEnv("DEPATH") : value;
}
} // namespace

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

std::string FormEntryOfLine(const TDEInfoRec* database, const std::string& line,
                            const std::string& selection) {
    std::string name = line;
    if (database && !line.empty() && line.front() == ' ') {
        const TFormRec* form = database->FindForm(std::string_view(line).substr(1));
        if (form && form->SystemForm) {
            name = line.substr(1);
        }
    }
    return name + selection;
}

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
    for (const TFormRec* form = database.FirstForm(); form; form = form->Next.get()) {
        if (UpperCaseAscii(form->Name) == "USERS") {
            continue;
        }
        if (form->VariantLevel >= 2) {
            continue;
        }
        if (form->SystemForm && database.GetDEPath().empty()) {
            continue;
        }
        list.AddLine(form->SystemForm ? " " + form->Name : form->Name);
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

    ICheckList& list = *Controls.ListBox1;
    std::vector<std::string> lines;
    for (int i = 0; i < list.Count(); ++i) {
        if (list.IsTicked(i)) {
            lines.push_back(list.LineText(i));
        }
    }

    std::ostringstream messages;
    TExportHost host;
    host.ShowIOError = [this](const std::string& text, int, const std::string& systemText) {
        messageBox_.ShowMessage(systemText.empty() ? text : text + "\n" + systemText);
    };
    host.Progress = [this](std::int64_t done, std::int64_t total) { progress_.Records(done, total); };

    const int count = static_cast<int>(lines.size());
    int exported = 0;
    bool cancelled = false;
    progress_.Start(count);
    try {
        for (const std::string& line : lines) {
            if (progress_.CancelRequested()) {
                cancelled = true;
                break;
            }
            progress_.FormStarted(exported, count, line);
            TDEInfoRec& database = *ActiveDatabase;
            const int dateIndex = Controls.DateRadioGroup->ItemIndex();
            const char outputDateOrder = (dateIndex >= 0 && dateIndex < 3) ? "BAM"[dateIndex] : 'B';
            ExportForm(FormEntryOfLine(&database, line, *selection),
                       WithTrailingSeparator(Controls.DirectoryEdit->GetText()), Controls.Edit1->GetText(),
                       ReadDateOrder(database), outputDateOrder,
                       FirstCharOr(Controls.DelimiterEdit->GetText(), ','),
                       Controls.FieldNameCheckBox->IsChecked() ? "\"" : "", database, messages,
                       Controls.NumericNullRadioGroup->ItemIndex(), host);
            ++exported;
        }
    } catch (...) {
        progress_.Finish();
        Controls.Label1->SetText(MessageText(messages));
        throw;
    }
    progress_.Finish();
    Controls.Label1->SetText(MessageText(messages));
    if (cancelled) {
        messageBox_.ShowMessage("Export cancelled: " + std::to_string(exported) + " of " +
                                std::to_string(count) + " forms exported.");
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
