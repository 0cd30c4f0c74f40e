#pragma once
// The database selection dialog: lists the DataEase databases of a directory (one line per dictionary, with
// its version label and name) and hands back the chosen dictionary file and the directory searched.

#include "ui/logic/Toolkit.h"

#include <string>
#include <vector>

namespace corvane::ui {

struct TDatabaseSelectionControls {
    IWindow* Dialog = nullptr;
    IEdit* Edit1 = nullptr; // the directory box
    IListBox* DatabaseListBox = nullptr;
    IFolderBrowser* SelectFolderDialog = nullptr;
};

class TDatabaseSelectionDialogue {
public:
    // The directory box starts as the home directory (the part "c:\" plays on Windows).
    TDatabaseSelectionDialogue(TDatabaseSelectionControls controls, const IProcess& process);

    // Prepares the directory box before the dialog is shown: an empty dir changes nothing; a directory that
    // cannot be entered is replaced by the home directory.
    void SetStartDirectory(const std::string& dir);
    // Empties the lists and SelectedFile, then lists the databases of the directory box's directory. Lines
    // added before a candidate that fails to load stay; that error is then thrown. Throws EInOutError when
    // the directory cannot be listed.
    void FindDatabases();

    void FormCreate();
    // Every showing of the dialog.
    void FormActivate();
    // "...": browse, and search the folder chosen.
    void Button1Click();
    // A key typed in the directory box: Enter searches the folder typed there, as choosing it with "..."
    // does (and never closes the dialog); other keys are the box's own.
    void Edit1KeyPress(char key);
    // "Up Folder": the directory box one level up; no search.
    void Button2Click();
    // "O.K." and double-click: take the selected line, close.
    void BitBtn1Click();
    void DatabaseListBoxDblClick();
    // "Cancel".
    void BitBtn2Click();

    TDatabaseSelectionControls Controls;
    std::string SearchDirectory;        // the directory of the last search, with a trailing separator
    std::string SelectedFile;           // the chosen dictionary file name as listed; empty: no choice
    std::vector<std::string> FileNames; // entry i: the dictionary behind line i of the list

private:
    const IProcess& process_;
};

// The directory one level above dir: trailing separators go, then everything after the last separator; the
// root stays the root and a text without a separator is returned unchanged.
std::string UpFolder(const std::string& dir);

// True when path is folder itself or lies below it (both absolute; trailing separators do not count).
bool IsWithinFolder(const std::string& path, const std::string& folder);

} // namespace corvane::ui
