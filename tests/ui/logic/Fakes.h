#pragma once
// Fakes of the toolkit interfaces: plain members the tests set and inspect.

#include "ui/logic/DatabaseSelection.h"
#include "ui/logic/MainWindow.h"
#include "ui/logic/Toolkit.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace corvane::ui::fakes {

class FakeWindow : public IWindow {
public:
    std::string GetTitle() const override { return Title; }
    void SetTitle(const std::string& title) override {
        Title = title;
        Titles.push_back(title);
    }
    // Like the toolkit: closing runs the close handler.
    void Close() override {
        ++CloseCount;
        if (OnClose) {
            OnClose();
        }
    }
    std::string Title;
    std::vector<std::string> Titles;
    int CloseCount = 0;
    std::function<void()> OnClose;
};

class FakeEdit : public IEdit {
public:
    explicit FakeEdit(std::string text = {}) : Text(std::move(text)) {}
    std::string GetText() const override { return Text; }
    void SetText(const std::string& text) override { Text = text; }
    std::string Text;
};

class FakeCheckBox : public ICheckBox {
public:
    explicit FakeCheckBox(bool checked = false) : Checked(checked) {}
    bool IsChecked() const override { return Checked; }
    void SetChecked(bool checked) override { Checked = checked; }
    bool Checked;
};

class FakeRadioGroup : public IRadioGroup {
public:
    explicit FakeRadioGroup(int index = 0) : Index(index) {}
    int ItemIndex() const override { return Index; }
    void SetItemIndex(int index) override { Index = index; }
    int Index;
};

class FakeChoiceBox : public IChoiceBox {
public:
    void SetItems(const std::vector<std::string>& items) override {
        Items = items;
        Index = items.empty() ? -1 : 0;
    }
    int ItemIndex() const override { return Index; }
    void SetItemIndex(int index) override {
        if (index >= 0 && index < static_cast<int>(Items.size())) {
            Index = index;
        }
    }
    // Selects the item of caption; fails the test when there is none.
    void Choose(const std::string& caption);
    std::vector<std::string> Items;
    int Index = -1;
};

class FakeSaveFileDialog : public ISaveFileDialog {
public:
    std::optional<std::string> Run(const std::string& directory, const std::string& suggestedName,
                                   const std::string& extension) override {
        ++Runs;
        Directory = directory;
        SuggestedName = suggestedName;
        Extension = extension;
        return Answer;
    }
    std::optional<std::string> Answer;
    std::string Directory, SuggestedName, Extension;
    int Runs = 0;
};

class FakeLabel : public ILabel {
public:
    void SetText(const std::string& text) override { Text = text; }
    std::string Text;
};

class FakeCheckList : public ICheckList {
public:
    struct Line {
        std::string Text;
        bool Ticked = false;
    };
    void Clear() override { Lines.clear(); }
    void AddLine(const std::string& text) override {
        if (Sorted) {
            const auto at =
                std::upper_bound(Lines.begin(), Lines.end(), text, [](const std::string& t, const Line& l) {
                    return CheckListLess(t, l.Text);
                });
            Lines.insert(at, Line{text});
        } else {
            Lines.push_back(Line{text});
        }
    }
    void SetSorted(bool sorted) override { Sorted = sorted; }
    int Count() const override { return static_cast<int>(Lines.size()); }
    std::string LineText(int index) const override { return Lines.at(static_cast<std::size_t>(index)).Text; }
    bool IsTicked(int index) const override { return Lines.at(static_cast<std::size_t>(index)).Ticked; }
    void SetTicked(int index, bool ticked) override {
        Lines.at(static_cast<std::size_t>(index)).Ticked = ticked;
    }
    void Repaint() override { ++Repaints; }
    void SetFocus() override { ++Focused; }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Line& l : Lines) {
            texts.push_back(l.Text);
        }
        return texts;
    }
    void Tick(const std::string& text, bool ticked = true) {
        for (Line& l : Lines) {
            if (l.Text == text) {
                l.Ticked = ticked;
            }
        }
    }
    std::vector<Line> Lines;
    bool Sorted = false;
    int Repaints = 0;
    int Focused = 0;
};

class FakeListBox : public IListBox {
public:
    void Clear() override {
        Lines.clear();
        Selected = -1;
    }
    void AddLine(const std::string& text) override { Lines.push_back(text); }
    int SelectedIndex() const override { return Selected; }
    std::vector<std::string> Lines;
    int Selected = -1;
};

class FakeFolderBrowser : public IFolderBrowser {
public:
    void SetTopFolder(const std::string& folder) override { Top = folder; }
    std::string TopFolder() const override { return Top; }
    std::optional<std::string> Run() override {
        ++Runs;
        TopWhenRun = Top;
        return Answer;
    }
    std::string Top;
    std::string TopWhenRun;
    std::optional<std::string> Answer;
    int Runs = 0;
};

class FakeMessageBox : public IMessageBox {
public:
    void ShowMessage(const std::string& text) override { Messages.push_back(text); }
    void ShowError(const std::string& message, const std::string& className) override {
        Errors.push_back({message, className});
    }
    std::vector<std::string> Messages;
    std::vector<std::pair<std::string, std::string>> Errors;
};

class FakeProgress : public IProgress {
public:
    void Start(int formCount) override {
        ++Starts;
        Total = formCount;
    }
    void FormStarted(int index, int formCount, const std::string& name) override {
        Forms.push_back(name);
        LastIndex = index;
        Total = formCount;
    }
    void Records(std::int64_t done, std::int64_t total) override {
        RecordsDone = done;
        RecordsTotal = total;
    }
    // Cancelled once CancelAfterForms forms have started.
    bool CancelRequested() override {
        return CancelAfterForms >= 0 && static_cast<int>(Forms.size()) >= CancelAfterForms;
    }
    void Finish() override { ++Finishes; }
    int Starts = 0, Finishes = 0, Total = 0, LastIndex = -1, CancelAfterForms = -1;
    std::int64_t RecordsDone = 0, RecordsTotal = 0;
    std::vector<std::string> Forms;
};

class FakeProcess : public IProcess {
public:
    std::string GetEnv(const std::string& name) const override {
        const auto it = Env.find(name);
        return it == Env.end() ? std::string() : it->second;
    }
    std::string ProgramDirectory() const override { return ProgramDir; }
    std::string SettingsFileName() const override { return SettingsFile; }
    std::string HomeDirectory() const override { return Home; }
    bool CanEnterDirectory(const std::string& dir) const override;
    std::map<std::string, std::string> Env;
    std::string ProgramDir = "/opt/corvane/";
    std::string SettingsFile;
    std::string Home = "/home/tester/";
};

// Modal dialogs whose showing runs a script: the selection dialog's showing activates it (a search) and then
// runs the next queued action, which picks, cancels ...
class FakeDialogs : public IModalDialogs {
public:
    explicit FakeDialogs(TDatabaseSelectionDialogue& selection) : selection_(selection) {}
    void ShowDatabaseSelection() override {
        ++SelectionShown;
        selection_.FormActivate();
        if (!Actions.empty()) {
            auto action = std::move(Actions.front());
            Actions.pop_front();
            action(selection_);
        } else {
            selection_.BitBtn2Click();
        }
    }
    void ShowAbout() override { ++AboutShown; }
    std::deque<std::function<void(TDatabaseSelectionDialogue&)>> Actions;
    int SelectionShown = 0;
    int AboutShown = 0;

private:
    TDatabaseSelectionDialogue& selection_;
};

} // namespace corvane::ui::fakes
