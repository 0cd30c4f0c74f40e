#pragma once
// The toolkit interfaces of the window logic, implemented with Qt 6 Widgets.

#include "ui/logic/Toolkit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <QWidget>

#include <functional>
#include <string>

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

private:
    QCheckBox* box_;
};

class TQtRadioGroup : public IRadioGroup {
public:
    explicit TQtRadioGroup(QButtonGroup* group) : group_(group) {}
    int ItemIndex() const override { return group_->checkedId(); }

private:
    QButtonGroup* group_;
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

class TQtMessageBox : public IMessageBox {
public:
    explicit TQtMessageBox(QWidget* parent) : parent_(parent) {}
    void ShowMessage(const std::string& text) override;
    void ShowError(const std::string& message, const std::string& className) override;

private:
    QWidget* parent_;
};

// A progress dialog for the export run. While it runs, the owner's controls are disabled (so no handler can
// start inside the run) and events are processed now and then so the window repaints.
class TQtProgress : public IProgress {
public:
    // parent owns the progress dialog; content is the part of the window disabled during the run.
    TQtProgress(QWidget* parent, QWidget* content) : parent_(parent), content_(content) {}
    ~TQtProgress() override;
    void Start(int formCount) override;
    void FormStarted(int index, int formCount, const std::string& name) override;
    void Records(std::int64_t done, std::int64_t total) override;
    bool CancelRequested() override;
    void Finish() override;
    bool Running() const { return running_; }
    QProgressDialog* Dialog() const { return dialog_; }

private:
    void Update(bool force);
    QWidget* parent_;
    QWidget* content_;
    QPointer<QProgressDialog> dialog_;
    QElapsedTimer sinceUpdate_;
    bool running_ = false;
    int formIndex_ = 0;
    int formCount_ = 0;
    QString formName_;
    std::int64_t done_ = 0;
    std::int64_t total_ = 0;
};

} // namespace corvane::ui
