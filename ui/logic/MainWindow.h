#pragma once
// The main window: opens a database through the selection dialog, lists its forms in a check list, collects
// the output options and runs the export of the ticked forms.

#include "database/DEInfoRec.h"
#include "export/ExportRun.h"
#include "ui/logic/DatabaseSelection.h"
#include "ui/logic/Toolkit.h"

#include <memory>
#include <string>

namespace corvane::ui {

inline constexpr const char* kInitialTitle = "DataEase Data Extraction - Corvane 2009";
inline constexpr const char* kExportsComplete = "Exports complete.";
inline constexpr const char* kTickRecordsMessage =
    "Tick \"Live\", \"Deleted\" or both to choose the records to export. Nothing was exported.";

struct TMainWindowControls {
    IWindow* Window = nullptr;
    IRadioGroup* DateRadioGroup = nullptr;
    ICheckBox* FieldNameCheckBox = nullptr;
    IEdit* DelimiterEdit = nullptr;
    IRadioGroup* NumericNullRadioGroup = nullptr;
    IEdit* DirectoryEdit = nullptr;
    IEdit* Edit1 = nullptr;         // "File Type:"
    ICheckBox* CheckBox1 = nullptr; // "Select All"
    ICheckBox* LiveCheckBox = nullptr;
    ICheckBox* DeletedCheckBox = nullptr;
    ICheckList* ListBox1 = nullptr;
    ILabel* Label1 = nullptr; // the bottom strip: the messages of the last export run
    IFolderBrowser* SelectFolderDialog = nullptr;
};

class TForm1 {
public:
    TForm1(TMainWindowControls controls, TDatabaseSelectionDialogue& selection, IModalDialogs& dialogs,
           IMessageBox& messageBox, IProgress& progress, const IProcess& process);

    void FormCreate();
    // Shows the about dialog, the first time only.
    void FormActivate();
    // "Find Database".
    void Button1Click();
    // "Quit".
    void Button2Click();
    // "Select All" changed.
    void CheckBox1Click();
    // "Export Data".
    void Button3Click();
    // "..." beside the destination box.
    void Button4Click();
    // The window closes: releases the database and writes the settings.
    void FormClose();

    TMainWindowControls Controls;
    std::unique_ptr<TDEInfoRec> ActiveDatabase;
    std::string SourceDirectory;

private:
    TDatabaseSelectionDialogue& selection_;
    IModalDialogs& dialogs_;
    IMessageBox& messageBox_;
    IProgress& progress_;
    const IProcess& process_;
    bool aboutShown_ = false;
};

// The record selection the two check boxes ask for: "" live only, "=D" deleted only, "=A" both; nullopt for
// neither.
std::optional<std::string> RecordSelection(bool live, bool deleted);

} // namespace corvane::ui
