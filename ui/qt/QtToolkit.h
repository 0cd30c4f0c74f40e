#pragma once
// The toolkit interfaces of the window logic, implemented with Qt 6 Widgets.

#include "ui/logic/Toolkit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

namespace corvane::ui {

// Texts from DataEase files are single bytes without a code page: they travel as Latin-1, so that every byte
// comes back unchanged. Paths are file-system names.
QString FromBytes(const std::string& s);
std::string ToBytes(const QString& s);
QString FromPath(const std::string& s);
std::string ToPath(const QString& s);
// For display only (titles): UTF-8 when the bytes are valid UTF-8, else Latin-1.
QString FromDisplay(const std::string& s);
std::string ToDisplay(const QString& s);

class TQtWindow : public IWindow {
public:
    explicit TQtWindow(QWidget* widget) : widget_(widget) {}
    std::string GetTitle() const override;
    void SetTitle(const std::string& title) override;
    void Close() override;

private:
    QWidget* widget_;
};

class TQtEdit : public IEdit {
public:
    enum class Encoding { Path, Bytes };
    TQtEdit(QLineEdit* edit, Encoding encoding) : edit_(edit), encoding_(encoding) {}
    std::string GetText() const override;
    void SetText(const std::string& text) override;

private:
    QLineEdit* edit_;
    Encoding encoding_;
};

class TQtCheckBox : public ICheckBox {
public:
    explicit TQtCheckBox(QCheckBox* box) : box_(box) {}
    bool IsChecked() const override { return box_->isChecked(); }
    void SetChecked(bool checked) override { box_->setChecked(checked); }

private:
    QCheckBox* box_;
};

class TQtRadioGroup : public IRadioGroup {
public:
    explicit TQtRadioGroup(QButtonGroup* group) : group_(group) {}
    int ItemIndex() const override { return group_->checkedId(); }
    void SetItemIndex(int index) override;

private:
    QButtonGroup* group_;
};

class TQtChoiceBox : public IChoiceBox {
public:
    explicit TQtChoiceBox(QComboBox* box) : box_(box) {}
    void SetItems(const std::vector<std::string>& items) override;
    int ItemIndex() const override { return box_->currentIndex(); }
    void SetItemIndex(int index) override;

private:
    QComboBox* box_;
};

// A save-file dialog of the toolkit's own kind (the same on every desktop, and drivable in tests).
class TQtSaveFileDialog : public ISaveFileDialog {
public:
    TQtSaveFileDialog(QWidget* parent, QString caption) : parent_(parent), caption_(std::move(caption)) {}
    std::optional<std::string> Run(const std::string& directory, const std::string& suggestedName,
                                   const std::string& extension) override;

private:
    QWidget* parent_;
    QString caption_;
};

class TQtLabel : public ILabel {
public:
    explicit TQtLabel(QLabel* label) : label_(label) {}
    // The strip has room for two lines: longer texts show their first lines and keep the rest in the tooltip.
    void SetText(const std::string& text) override;

private:
    QLabel* label_;
};

class TQtCheckList : public ICheckList {
public:
    explicit TQtCheckList(QListWidget* list) : list_(list) {}
    void Clear() override;
    void AddLine(const std::string& text) override;
    void SetSorted(bool sorted) override;
    int Count() const override { return list_->count(); }
    std::string LineText(int index) const override;
    bool IsTicked(int index) const override;
    void SetTicked(int index, bool ticked) override;
    void Repaint() override { list_->viewport()->update(); }
    void SetFocus() override { list_->setFocus(); }

private:
    QListWidget* list_;
    bool sorted_ = false;
};

class TQtListBox : public IListBox {
public:
    explicit TQtListBox(QListWidget* list) : list_(list) {}
    void Clear() override { list_->clear(); }
    void AddLine(const std::string& text) override;
    int SelectedIndex() const override;

private:
    QListWidget* list_;
};

// A directory-mode file dialog that keeps to its top folder: it opens there, snaps back when the user leaves
// it, and refuses a choice outside it.
class TQtFolderBrowser : public IFolderBrowser {
public:
    TQtFolderBrowser(QWidget* parent, QString caption) : parent_(parent), caption_(std::move(caption)) {}
    void SetTopFolder(const std::string& folder) override { top_ = folder; }
    std::string TopFolder() const override { return top_; }
    std::optional<std::string> Run() override;

private:
    QWidget* parent_;
    QString caption_;
    std::string top_;
};

class TQtProgress;

class TQtMessageBox : public IMessageBox {
public:
    // progress: the run during which a box may open (it then stands aside), or nullptr.
    explicit TQtMessageBox(QWidget* parent, TQtProgress* progress = nullptr)
        : parent_(parent), progress_(progress) {}
    void ShowMessage(const std::string& text) override;
    void ShowError(const std::string& message, const std::string& className) override;

private:
    void Exec(QMessageBox& box);
    QWidget* parent_;
    TQtProgress* progress_;
};

// The progress dialog of an export run. While a run goes on, the owner's controls are disabled (so no handler
// can start inside the run) and events are processed now and then so the window repaints. The dialog is
// shown only from the run's own progress reports, once the run has lasted kShowAfterMs, and it is destroyed
// when the run ends: a short run shows none, and none can appear after the run or over its last message.
class TQtProgress : public IProgress {
public:
    static constexpr int kShowAfterMs = 400;
    // parent owns the progress dialog; content is the part of the window disabled during the run.
    TQtProgress(QWidget* parent, QWidget* content) : parent_(parent), content_(content) {}
    ~TQtProgress() override;
    void Start(int formCount) override;
    void FormStarted(int index, int formCount, const std::string& name) override;
    void Records(std::int64_t done, std::int64_t total) override;
    // True once Cancel was pressed (or RequestCancel called) during the run that is going on.
    bool CancelRequested() override;
    void Finish() override;
    bool Running() const { return running_; }
    // How long a run goes on before its dialog is shown (kShowAfterMs unless set).
    void SetShowAfter(int ms) { showAfterMs_ = ms; }
    // Asks the run that is going on to stop; outside a run it does nothing.
    void RequestCancel();
    // Runs a modal dialog of the run (a message box) with the progress dialog out of its way.
    void StandAsideDuring(const std::function<void()>& modal);
    // The progress dialog while it is shown, else nullptr.
    QProgressDialog* Dialog() const { return dialog_; }

private:
    void Update(bool force);
    QWidget* parent_;
    QWidget* content_;
    QPointer<QProgressDialog> dialog_;
    QElapsedTimer sinceStart_;
    QElapsedTimer sinceUpdate_;
    bool running_ = false;
    bool cancelled_ = false;
    bool standingAside_ = false;
    int showAfterMs_ = kShowAfterMs;
    int formIndex_ = 0;
    int formCount_ = 0;
    QString formName_;
    std::int64_t done_ = 0;
    std::int64_t total_ = 0;
};

} // namespace corvane::ui
