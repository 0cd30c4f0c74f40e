#pragma once
// The main window: opens a database through the selection dialog, lists its forms in a check list, collects
// the output options and runs the export of the ticked forms.

#include "database/DEInfoRec.h"
#include "environment/IniFile.h"
#include "export/ExportRun.h"
#include "ui/logic/DatabaseSelection.h"
#include "ui/logic/Toolkit.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    IChoiceBox* FormatBox = nullptr;           // "Format"
    IChoiceBox* CharactersBox = nullptr;       // "Characters"
    ISaveFileDialog* SaveFileDialog = nullptr; // the file of a one-file format
};

// One line of "Format": the format, its caption, and for a one-file format the extension of its file.
struct TFormatChoice {
    TOutputFormat Format = TOutputFormat::Delimited;
    std::string Caption;
    std::string FileExtension;
};

// The formats the window offers, in the order of its "Format" lines: the per-file formats always, a one-file
// format when formats holds it.
std::vector<TFormatChoice> FormatChoices(const TFormatRegistry& formats);

// The one-file formats this program's window can write.
TFormatRegistry WindowFormatRegistry();

// One line of "Characters": the bytes as stored, UTF-8 from the code page a database's version most likely
// uses, or UTF-8 from one code page.
struct TCharactersChoice {
    enum class TKind { Stored, VersionDefault, CodePage };
    TKind Kind = TKind::Stored;
    TCodePage CodePage = TCodePage::Raw; // for CodePage
    std::string Caption;
    std::string Key; // in the settings file: "stored", "default" or the code page's name
};

std::vector<TCharactersChoice> CharactersChoices();

// The export choices the window keeps in the settings file, section "export", beside "paths".
inline constexpr const char* kExportSection = "export";

class TForm1 {
public:
    // formats: the one-file formats offered under "Format".
    TForm1(TMainWindowControls controls, TDatabaseSelectionDialogue& selection, IModalDialogs& dialogs,
           IMessageBox& messageBox, IProgress& progress, const IProcess& process,
           TFormatRegistry formats = WindowFormatRegistry());

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
    void ReadExportSettings(const TIniFile& settings);
    void WriteExportSettings(TIniFile& settings) const;
    // The export options of the controls; nullopt when the user cancelled choosing the one file.
    std::optional<TExportOptions> OptionsOfControls(bool askForFile);

    TDatabaseSelectionDialogue& selection_;
    IModalDialogs& dialogs_;
    IMessageBox& messageBox_;
    IProgress& progress_;
    const IProcess& process_;
    bool aboutShown_ = false;
    TFormatRegistry formats_;
    std::vector<TFormatChoice> formatChoices_;
    std::vector<TCharactersChoice> charactersChoices_;
};

// The stem of a one-file format's suggested file name: the database's name with every character but ASCII
// letters, digits, blanks, "-" and "_" replaced by "_"; "corvane" when that leaves nothing.
std::string SuggestedFileStem(const std::string& databaseName);

// The record selection the two check boxes ask for: "" live only, "=D" deleted only, "=A" both; nullopt for
// neither.
std::optional<std::string> RecordSelection(bool live, bool deleted);

} // namespace corvane::ui
