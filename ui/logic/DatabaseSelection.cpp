#include "ui/logic/DatabaseSelection.h"

#include "database/DatabaseList.h"
#include "database/Errors.h"
#include "text/TextUtils.h"

#include <cerrno>
#include <exception>

namespace corvane::ui {

namespace {
std::string WithoutTrailingSeparators(std::string s) {
    while (s.size() > 1 && s.back() == kPathSeparator) {
        s.pop_back();
    }
    return s;
}
} // namespace

std::string UpFolder(const std::string& dir) {
    if (LastCharPos(kPathSeparator, dir) == 0) {
        return dir;
    }
    const std::string trimmed = WithoutTrailingSeparators(dir);
    const std::size_t p = LastCharPos(kPathSeparator, trimmed);
    if (p == 0) {
        // "name/": the separator only ended the text; there is no level above.
        return dir;
    }
    if (trimmed.size() == 1) {
        return trimmed; // the root
    }
    return trimmed.substr(0, p);
}

bool IsWithinFolder(const std::string& path, const std::string& folder) {
    const std::string p = WithoutTrailingSeparators(path);
    const std::string f = WithoutTrailingSeparators(folder);
    if (f.empty()) {
        return false;
    }
    if (p == f) {
        return true;
    }
    const std::string prefix = f.back() == kPathSeparator ? f : f + kPathSeparator;
    return p.size() > prefix.size() && p.compare(0, prefix.size(), prefix) == 0;
}

TDatabaseSelectionDialogue::TDatabaseSelectionDialogue(TDatabaseSelectionControls controls,
                                                       const IProcess& process)
    : Controls(controls), process_(process) {
    Controls.Edit1->SetText(process_.HomeDirectory());
}

void TDatabaseSelectionDialogue::FormCreate() {
    FileNames.clear();
}

void TDatabaseSelectionDialogue::SetStartDirectory(const std::string& dir) {
    if (dir.empty()) {
        return;
    }
    const std::string start = process_.CanEnterDirectory(dir) ? dir : process_.HomeDirectory();
    Controls.Edit1->SetText(start);
    Controls.SelectFolderDialog->SetTopFolder(start);
}

void TDatabaseSelectionDialogue::FindDatabases() {
    FileNames.clear();
    Controls.DatabaseListBox->Clear();
    SelectedFile.clear();
    const std::string dir = Controls.Edit1->GetText();
    if (dir.empty()) {
        return;
    }
    SearchDirectory = WithTrailingSeparator(dir);
    const TDatabaseListing listing = ListDatabases(SearchDirectory);
    for (const TDatabaseEntry& entry : listing.Entries) {
        Controls.DatabaseListBox->AddLine(entry.Line());
        FileNames.push_back(entry.FileName);
    }
    if (listing.Error) {
        std::rethrow_exception(listing.Error);
    }
}

void TDatabaseSelectionDialogue::FormActivate() {
    SelectedFile.clear();
    FindDatabases();
}

void TDatabaseSelectionDialogue::Button1Click() {
    const std::optional<std::string> folder = Controls.SelectFolderDialog->Run();
    if (!folder) {
        return;
    }
    Controls.Edit1->SetText(*folder);
    Controls.SelectFolderDialog->SetTopFolder(*folder);
    FindDatabases();
}

void TDatabaseSelectionDialogue::Edit1KeyPress(char key) {
    if (key != '\r') {
        return;
    }
    const std::string folder = Controls.Edit1->GetText();
    if (folder.empty()) {
        return;
    }
    // A typed folder that does not exist leaves the dialog as it was and says so.
    if (!process_.CanEnterDirectory(folder)) {
        throw MakeIOError(ENOENT, folder);
    }
    Controls.SelectFolderDialog->SetTopFolder(folder);
    FindDatabases();
}

void TDatabaseSelectionDialogue::Button2Click() {
    const std::string text = Controls.Edit1->GetText();
    const std::string up = UpFolder(text);
    if (up == text) {
        return;
    }
    Controls.Edit1->SetText(up);
    Controls.SelectFolderDialog->SetTopFolder(up);
}

void TDatabaseSelectionDialogue::BitBtn1Click() {
    const int index = Controls.DatabaseListBox->SelectedIndex();
    if (index >= 0 && static_cast<std::size_t>(index) < FileNames.size()) {
        SelectedFile = FileNames[static_cast<std::size_t>(index)];
    }
    Controls.Dialog->Close();
}

void TDatabaseSelectionDialogue::DatabaseListBoxDblClick() {
    BitBtn1Click();
}

void TDatabaseSelectionDialogue::BitBtn2Click() {
    Controls.Dialog->Close();
}

} // namespace corvane::ui
