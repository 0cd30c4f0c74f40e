#pragma once
// The program's windows with Qt 6 Widgets: the main window (TForm1's controls), the database selection dialog
// and the about dialog. The handlers themselves are the window logic's; these classes build the controls and
// route the toolkit's events to them.

#include "ui/logic/DatabaseSelection.h"
#include "ui/logic/MainWindow.h"
#include "ui/qt/QtToolkit.h"

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include <memory>

namespace corvane::ui {

// Modal dialogs that close themselves from the logic: Close() ends exec().
class TQtDialogWindow : public IWindow {
public:
    explicit TQtDialogWindow(QDialog* dialog) : dialog_(dialog) {}
    std::string GetTitle() const override { return ToDisplay(dialog_->windowTitle()); }
    void SetTitle(const std::string& title) override { dialog_->setWindowTitle(FromDisplay(title)); }
    void Close() override { dialog_->done(QDialog::Accepted); }

private:
    QDialog* dialog_;
};

class TSelectionDialog : public QDialog {
    Q_OBJECT
public:
    TSelectionDialog(QWidget* parent, const IProcess& process);
    TDatabaseSelectionDialogue& Logic() { return *logic_; }

    QLineEdit* Edit1;
    QPushButton* Button1;
    QListWidget* DatabaseListBox;
    QPushButton* Button2;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

protected:
    void showEvent(QShowEvent* event) override;
    // Enter in the directory box searches the folder typed there instead of pressing "O.K.".
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<TQtDialogWindow> window_;
    std::unique_ptr<TQtEdit> edit_;
    std::unique_ptr<TQtListBox> listBox_;
    std::unique_ptr<TQtFolderBrowser> browser_;
    std::unique_ptr<TQtMessageBox> messageBox_;
    std::unique_ptr<TDatabaseSelectionDialogue> logic_;
};

// The about dialog.
class TBtnBottomDlg : public QDialog {
    Q_OBJECT
public:
    explicit TBtnBottomDlg(QWidget* parent);
    QPlainTextEdit* Memo1;
    QPushButton* OKBtn;
};

class TMainWindow : public QWidget, private IModalDialogs {
    Q_OBJECT
public:
    // dialogs: the modal dialogs to show; nullptr uses this window's own.
    explicit TMainWindow(const IProcess& process, IModalDialogs* dialogs = nullptr);
    ~TMainWindow() override;
    TForm1& Logic() { return *logic_; }
    TSelectionDialog* SelectionDialog() const { return selection_; }
    TBtnBottomDlg* AboutDialog() const { return about_; }
    TQtProgress& Progress() { return *progress_; }

    QPushButton* Button1;
    QPushButton* Button2;
    QGroupBox* DateRadioGroupBox;
    QButtonGroup* DateRadioGroup;
    QCheckBox* FieldNameCheckBox;
    QLineEdit* DelimiterEdit;
    QGroupBox* NumericNullRadioGroupBox;
    QButtonGroup* NumericNullRadioGroup;
    QLineEdit* DirectoryEdit;
    QPushButton* Button4;
    QLineEdit* Edit1;
    QCheckBox* CheckBox1;
    QComboBox* FormatBox;
    QComboBox* CharactersBox;
    QCheckBox* LiveCheckBox;
    QCheckBox* DeletedCheckBox;
    QPushButton* Button3;
    QListWidget* ListBox1;
    QLabel* Label1;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowDatabaseSelection() override;
    void ShowAbout() override;
    void Handle(void (TForm1::*handler)());

    QWidget* content_;
    TSelectionDialog* selection_;
    TBtnBottomDlg* about_;
    IModalDialogs* dialogs_;
    std::unique_ptr<TQtWindow> window_;
    std::unique_ptr<TQtRadioGroup> dateGroup_, numericGroup_;
    std::unique_ptr<TQtCheckBox> fieldName_, selectAll_, live_, deleted_;
    std::unique_ptr<TQtEdit> delimiter_, directory_, extension_;
    std::unique_ptr<TQtCheckList> checkList_;
    std::unique_ptr<TQtLabel> label_;
    std::unique_ptr<TQtFolderBrowser> browser_;
    std::unique_ptr<TQtChoiceBox> format_, characters_;
    std::unique_ptr<TQtSaveFileDialog> saveFile_;
    std::unique_ptr<TQtProgress> progress_;
    std::unique_ptr<TQtMessageBox> messageBox_;
    std::unique_ptr<TForm1> logic_;
    bool closed_ = false;
};

} // namespace corvane::ui
