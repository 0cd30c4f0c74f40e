#pragma once
// What the window logic needs of the widget toolkit. The windows' handlers are written against these small
// interfaces, so that they run in tests with fakes and with the Qt widgets in the program. Texts are
// single-byte strings; how a toolkit shows them is its own business, but what it hands back must be what it
// was given.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane::ui {

// A window: its title, and closing it from code (which runs its close handler).
class IWindow {
public:
    virtual ~IWindow() = default;
    virtual std::string GetTitle() const = 0;
    virtual void SetTitle(const std::string& title) = 0;
    virtual void Close() = 0;
};

// A one-line edit.
class IEdit {
public:
    virtual ~IEdit() = default;
    virtual std::string GetText() const = 0;
    virtual void SetText(const std::string& text) = 0;
};

class ICheckBox {
public:
    virtual ~ICheckBox() = default;
    virtual bool IsChecked() const = 0;
    virtual void SetChecked(bool checked) = 0;
};

// A radio group: the 0-based index of the selected item (-1 when none is).
class IRadioGroup {
public:
    virtual ~IRadioGroup() = default;
    virtual int ItemIndex() const = 0;
    // Selects item index; an index outside the items changes nothing.
    virtual void SetItemIndex(int index) = 0;
};

// A drop-down choice of one item among fixed lines: the 0-based index of the selected one (-1 when none is).
class IChoiceBox {
public:
    virtual ~IChoiceBox() = default;
    virtual void SetItems(const std::vector<std::string>& items) = 0;
    virtual int ItemIndex() const = 0;
    // Selects item index; an index outside the items changes nothing.
    virtual void SetItemIndex(int index) = 0;
};

class ILabel {
public:
    virtual ~ILabel() = default;
    virtual void SetText(const std::string& text) = 0;
};

// A list of lines, each with its own tick box. In sorted mode the control keeps its lines in CheckListLess
// order.
class ICheckList {
public:
    virtual ~ICheckList() = default;
    virtual void Clear() = 0;
    virtual void AddLine(const std::string& text) = 0;
    virtual void SetSorted(bool sorted) = 0;
    virtual int Count() const = 0;
    virtual std::string LineText(int index) const = 0;
    virtual bool IsTicked(int index) const = 0;
    virtual void SetTicked(int index, bool ticked) = 0;
    virtual void Repaint() = 0;
    virtual void SetFocus() = 0;
};

// A single-selection list of lines, never sorted.
class IListBox {
public:
    virtual ~IListBox() = default;
    virtual void Clear() = 0;
    virtual void AddLine(const std::string& text) = 0;
    // The index of the selected line, -1 when none is selected.
    virtual int SelectedIndex() const = 0;
};

// A folder-browse dialog whose tree starts at a top folder: only that folder and the folders below it can be
// chosen.
class IFolderBrowser {
public:
    virtual ~IFolderBrowser() = default;
    virtual void SetTopFolder(const std::string& folder) = 0;
    virtual std::string TopFolder() const = 0;
    // Runs modally: the chosen folder's path (without a trailing separator, except for the root), or nothing
    // when cancelled.
    virtual std::optional<std::string> Run() = 0;
};

// A save-file dialog: asks for the name of one file to write.
class ISaveFileDialog {
public:
    virtual ~ISaveFileDialog() = default;
    // Runs modally, opening in directory with suggestedName in its name box and offering files ending in
    // "." extension: the chosen path (with that extension added when the user typed none), or nothing when
    // cancelled.
    virtual std::optional<std::string> Run(const std::string& directory, const std::string& suggestedName,
                                           const std::string& extension) = 0;
};

// Modal message boxes.
class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    // Information icon, one OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    // An error that left a handler: its message and the exception's class.
    virtual void ShowError(const std::string& message, const std::string& className) = 0;
};

// The modal dialogs the main window opens.
class IModalDialogs {
public:
    virtual ~IModalDialogs() = default;
    // Shows the database selection dialog; returns when it has closed.
    virtual void ShowDatabaseSelection() = 0;
    virtual void ShowAbout() = 0;
};

// Progress of an export run, with a way to ask it to stop after the current form.
class IProgress {
public:
    virtual ~IProgress() = default;
    virtual void Start(int formCount) = 0;
    // Form index (0-based) of formCount begins; name is the line as listed.
    virtual void FormStarted(int index, int formCount, const std::string& name) = 0;
    virtual void Records(std::int64_t done, std::int64_t total) = 0;
    virtual bool CancelRequested() = 0;
    virtual void Finish() = 0;
};

// A progress that shows nothing and is never cancelled.
class TNoProgress : public IProgress {
public:
    void Start(int) override {}
    void FormStarted(int, int, const std::string&) override {}
    void Records(std::int64_t, std::int64_t) override {}
    bool CancelRequested() override { return false; }
    void Finish() override {}
};

// The process and its surroundings.
class IProcess {
public:
    virtual ~IProcess() = default;
    // The value of an environment variable, "" when unset.
    virtual std::string GetEnv(const std::string& name) const = 0;
    // The program's directory, with a trailing separator.
    virtual std::string ProgramDirectory() const = 0;
    // The settings file (corvane.ini) the main window reads at creation and writes at close.
    virtual std::string SettingsFileName() const = 0;
    // The user's home directory, with a trailing separator: the default of the directories the windows use.
    virtual std::string HomeDirectory() const = 0;
    // True when dir names a directory the process could make its current directory.
    virtual bool CanEnterDirectory(const std::string& dir) const = 0;
};

// The order of a sorted check list: alphabetical without regard to ASCII case, as unsigned bytes, so that
// lines beginning with a blank come first.
bool CheckListLess(const std::string& a, const std::string& b);

} // namespace corvane::ui
