#include "ui/qt/Windows.h"

#include "ui/logic/AboutText.h"
#include "ui/logic/Handlers.h"

#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace corvane::ui {

namespace {
QFont BoldFont(const QWidget* widget) {
    QFont font = widget->font();
    font.setBold(true);
    font.setPixelSize(11);
    return font;
}

// The program's icon at every size built into it; empty when the build had none.
QIcon CorvaneIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString file = QStringLiteral(":/icons/corvane-%1.png").arg(size);
        if (QFile::exists(file)) {
            icon.addFile(file, QSize(size, size));
        }
    }
    return icon;
}

void CentreOnScreen(QWidget* widget) {
    if (const QScreen* screen = widget->screen()) {
        const QRect area = screen->availableGeometry();
        widget->move(area.center() - widget->rect().center());
    }
}
} // namespace

TSelectionDialog::TSelectionDialog(QWidget* parent, const IProcess& process) : QDialog(parent) {
    setObjectName(QStringLiteral("DatabaseSelectionDialogue"));
    setWindowTitle(QStringLiteral("Database Selection"));
    setFont(BoldFont(this));
    setFixedSize(419, 151);
    setSizeGripEnabled(false);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Button1 = new QPushButton(QStringLiteral("..."), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setFixedWidth(28);
    Button1->setAutoDefault(false);
    DatabaseListBox = new QListWidget(this);
    DatabaseListBox->setObjectName(QStringLiteral("DatabaseListBox"));
    DatabaseListBox->setSelectionMode(QAbstractItemView::SingleSelection);
    DatabaseListBox->setSortingEnabled(false);
    Button2 = new QPushButton(QStringLiteral("Up Folder"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAutoDefault(false);
    BitBtn1 = new QPushButton(QStringLiteral("O.K."), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("Cancel"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setAutoDefault(false);

    auto* top = new QHBoxLayout;
    top->addWidget(Edit1);
    top->addWidget(Button1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(Button2);
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addStretch();
    buttons->addWidget(BitBtn2);
    auto* lower = new QHBoxLayout;
    lower->addWidget(DatabaseListBox, 1);
    lower->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);
    layout->addLayout(top);
    layout->addLayout(lower, 1);

    window_ = std::make_unique<TQtDialogWindow>(this);
    edit_ = std::make_unique<TQtEdit>(Edit1, TQtEdit::Encoding::Path);
    listBox_ = std::make_unique<TQtListBox>(DatabaseListBox);
    browser_ = std::make_unique<TQtFolderBrowser>(this, QStringLiteral("Select the database folder"));
    messageBox_ = std::make_unique<TQtMessageBox>(this);
    logic_ = std::make_unique<TDatabaseSelectionDialogue>(
        TDatabaseSelectionControls{window_.get(), edit_.get(), listBox_.get(), browser_.get()}, process);
    logic_->FormCreate();

    auto route = [this](void (TDatabaseSelectionDialogue::*handler)()) {
        return [this, handler] { RunHandler(*messageBox_, [this, handler] { ((*logic_).*handler)(); }); };
    };
    connect(Button1, &QPushButton::clicked, this, route(&TDatabaseSelectionDialogue::Button1Click));
    connect(Button2, &QPushButton::clicked, this, route(&TDatabaseSelectionDialogue::Button2Click));
    connect(BitBtn1, &QPushButton::clicked, this, route(&TDatabaseSelectionDialogue::BitBtn1Click));
    connect(BitBtn2, &QPushButton::clicked, this, route(&TDatabaseSelectionDialogue::BitBtn2Click));
    connect(DatabaseListBox, &QListWidget::itemDoubleClicked, this,
            route(&TDatabaseSelectionDialogue::DatabaseListBoxDblClick));
    Edit1->installEventFilter(this);
}

bool TSelectionDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            RunHandler(*messageBox_, [this] { logic_->Edit1KeyPress('\r'); });
            return true; // the default button "O.K." is not pressed
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TSelectionDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnScreen(this);
    RunHandler(*messageBox_, [this] { logic_->FormActivate(); });
}

TBtnBottomDlg::TBtnBottomDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("BtnBottomDlg"));
    setWindowTitle(QStringLiteral("Dialog"));
    QFont font = BoldFont(this);
    setFont(font);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::black);
    setPalette(palette);
    setFixedSize(595, 474);

    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::StyledPanel);
    Memo1 = new QPlainTextEdit(panel);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setPlainText(QString::fromUtf8(AboutText().c_str()));
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(4, 4, 4, 4);
    panelLayout->addWidget(Memo1);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(OKBtn);
    bottom->addStretch();
    layout->addLayout(bottom);
    setFocusProxy(OKBtn);
    OKBtn->setFocus();
}

TMainWindow::TMainWindow(const IProcess& process, IModalDialogs* dialogs)
    : dialogs_(dialogs ? dialogs : static_cast<IModalDialogs*>(this)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(kInitialTitle));
    // The outer size is 568 x 381 with the window frame; the client area leaves room for it.
    resize(560, 350);

    content_ = new QWidget(this);
    auto* controlArea = new QWidget(content_);
    controlArea->setObjectName(QStringLiteral("ControlArea"));
    controlArea->setFixedHeight(193);

    Button1 = new QPushButton(QStringLiteral("Find Database"), controlArea);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("Quit"), controlArea);
    Button2->setObjectName(QStringLiteral("Button2"));

    DateRadioGroupBox = new QGroupBox(QStringLiteral("Output Dates"), controlArea);
    DateRadioGroupBox->setObjectName(QStringLiteral("DateRadioGroup"));
    DateRadioGroup = new QButtonGroup(this);
    auto* dateLayout = new QVBoxLayout(DateRadioGroupBox);
    dateLayout->setContentsMargins(8, 2, 8, 2);
    dateLayout->setSpacing(0);
    const char* dateItems[] = {"British Dates (dd/mm/yyyy)", "American Dates (mm/dd/yyyy)",
                               "Metric Dates (yyyy/mm/dd)"};
    for (int i = 0; i < 3; ++i) {
        auto* radio = new QRadioButton(QString::fromLatin1(dateItems[i]), DateRadioGroupBox);
        DateRadioGroup->addButton(radio, i);
        dateLayout->addWidget(radio);
    }
    DateRadioGroup->button(0)->setChecked(true);

    FieldNameCheckBox = new QCheckBox(QStringLiteral("Text Qualifier"), controlArea);
    FieldNameCheckBox->setObjectName(QStringLiteral("FieldNameCheckBox"));
    auto* delimiterLabel = new QLabel(QStringLiteral("Delimiter"), controlArea);
    DelimiterEdit = new QLineEdit(QStringLiteral(","), controlArea);
    DelimiterEdit->setObjectName(QStringLiteral("DelimiterEdit"));
    DelimiterEdit->setMaxLength(1);
    DelimiterEdit->setFixedWidth(32);
    delimiterLabel->setBuddy(DelimiterEdit);

    NumericNullRadioGroupBox = new QGroupBox(QStringLiteral("Numeric Null Values"), controlArea);
    NumericNullRadioGroupBox->setObjectName(QStringLiteral("NumericNullRadioGroup"));
    NumericNullRadioGroup = new QButtonGroup(this);
    auto* nullLayout = new QGridLayout(NumericNullRadioGroupBox);
    nullLayout->setContentsMargins(8, 2, 8, 2);
    const char* nullItems[] = {"Zero", "Blank"};
    for (int i = 0; i < 2; ++i) {
        auto* radio = new QRadioButton(QString::fromLatin1(nullItems[i]), NumericNullRadioGroupBox);
        NumericNullRadioGroup->addButton(radio, i);
        nullLayout->addWidget(radio, 0, i);
    }
    NumericNullRadioGroup->button(0)->setChecked(true);

    auto* destinationLabel = new QLabel(QStringLiteral("Destination"), controlArea);
    DirectoryEdit = new QLineEdit(controlArea);
    DirectoryEdit->setObjectName(QStringLiteral("DirectoryEdit"));
    DirectoryEdit->setReadOnly(true);
    Button4 = new QPushButton(QStringLiteral("..."), controlArea);
    Button4->setObjectName(QStringLiteral("Button4"));
    Button4->setFixedWidth(28);
    auto* fileTypeLabel = new QLabel(QStringLiteral("File Type:"), controlArea);
    Edit1 = new QLineEdit(QStringLiteral("csv"), controlArea);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMaxLength(3);
    Edit1->setFixedWidth(44);
    fileTypeLabel->setBuddy(Edit1);

    auto* formatLabel = new QLabel(QStringLiteral("Format"), controlArea);
    FormatBox = new QComboBox(controlArea);
    FormatBox->setObjectName(QStringLiteral("FormatBox"));
    formatLabel->setBuddy(FormatBox);
    auto* charactersLabel = new QLabel(QStringLiteral("Characters"), controlArea);
    CharactersBox = new QComboBox(controlArea);
    CharactersBox->setObjectName(QStringLiteral("CharactersBox"));
    // Its longest line is shown in full only in the open list, so that the row keeps to the window's width.
    CharactersBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    CharactersBox->setMinimumContentsLength(16);
    charactersLabel->setBuddy(CharactersBox);

    CheckBox1 = new QCheckBox(QStringLiteral("Select All"), controlArea);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    auto* recordsLabel = new QLabel(QStringLiteral("Records:"), controlArea);
    LiveCheckBox = new QCheckBox(QStringLiteral("Live"), controlArea);
    LiveCheckBox->setObjectName(QStringLiteral("LiveCheckBox"));
    LiveCheckBox->setChecked(true);
    DeletedCheckBox = new QCheckBox(QStringLiteral("Deleted"), controlArea);
    DeletedCheckBox->setObjectName(QStringLiteral("DeletedCheckBox"));
    Button3 = new QPushButton(QStringLiteral("Export Data"), controlArea);
    Button3->setObjectName(QStringLiteral("Button3"));

    ListBox1 = new QListWidget(content_);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setStyleSheet(QStringLiteral("QListWidget::item { height: 16px; }"));

    auto* strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("BottomStrip"));
    strip->setFixedHeight(41);
    Label1 = new QLabel(strip);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* stripLayout = new QHBoxLayout(strip);
    stripLayout->setContentsMargins(8, 2, 8, 2);
    stripLayout->addWidget(Label1, 1);

    // The control area: buttons, dates and the qualifier/delimiter across the top; numeric nulls; the
    // destination row and the selection row.
    auto* leftColumn = new QVBoxLayout;
    leftColumn->addWidget(Button1);
    leftColumn->addWidget(Button2);
    leftColumn->addStretch();
    auto* delimiterRow = new QHBoxLayout;
    delimiterRow->addWidget(delimiterLabel);
    delimiterRow->addWidget(DelimiterEdit);
    delimiterRow->addStretch();
    auto* rightColumn = new QVBoxLayout;
    rightColumn->addWidget(FieldNameCheckBox);
    rightColumn->addLayout(delimiterRow);
    rightColumn->addStretch();
    auto* topRow = new QHBoxLayout;
    topRow->addLayout(leftColumn);
    topRow->addWidget(DateRadioGroupBox, 1);
    topRow->addLayout(rightColumn);

    auto* rows = new QGridLayout;
    rows->setVerticalSpacing(2);
    rows->addWidget(destinationLabel, 0, 0);
    auto* destinationRow = new QHBoxLayout;
    destinationRow->addWidget(DirectoryEdit, 1);
    destinationRow->addWidget(Button4);
    destinationRow->addSpacing(8);
    destinationRow->addWidget(fileTypeLabel);
    destinationRow->addWidget(Edit1);
    rows->addLayout(destinationRow, 0, 1);
    auto* selectionRow = new QHBoxLayout;
    selectionRow->addWidget(CheckBox1);
    selectionRow->addSpacing(16);
    selectionRow->addWidget(recordsLabel);
    selectionRow->addWidget(LiveCheckBox);
    selectionRow->addWidget(DeletedCheckBox);
    selectionRow->addStretch();
    selectionRow->addWidget(Button3);
    rows->addLayout(selectionRow, 1, 0, 1, 2);

    auto* controlLayout = new QVBoxLayout(controlArea);
    controlLayout->setContentsMargins(6, 4, 6, 2);
    controlLayout->setSpacing(3);
    // Beside the numeric nulls: the format and the characters of the files, one above the other.
    auto* choices = new QGridLayout;
    choices->setContentsMargins(0, 4, 0, 0);
    choices->setVerticalSpacing(1);
    choices->addWidget(formatLabel, 0, 0);
    choices->addWidget(FormatBox, 0, 1);
    choices->addWidget(charactersLabel, 1, 0);
    choices->addWidget(CharactersBox, 1, 1);
    auto* nullRow = new QHBoxLayout;
    nullRow->addWidget(NumericNullRadioGroupBox, 1);
    nullRow->addSpacing(8);
    nullRow->addLayout(choices);

    controlLayout->addLayout(topRow);
    controlLayout->addLayout(nullRow);
    controlLayout->addLayout(rows);

    auto* contentLayout = new QVBoxLayout(content_);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->setSpacing(0);
    contentLayout->addWidget(controlArea);
    contentLayout->addWidget(ListBox1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(content_, 1);
    layout->addWidget(strip);

    window_ = std::make_unique<TQtWindow>(this);
    dateGroup_ = std::make_unique<TQtRadioGroup>(DateRadioGroup);
    numericGroup_ = std::make_unique<TQtRadioGroup>(NumericNullRadioGroup);
    fieldName_ = std::make_unique<TQtCheckBox>(FieldNameCheckBox);
    selectAll_ = std::make_unique<TQtCheckBox>(CheckBox1);
    live_ = std::make_unique<TQtCheckBox>(LiveCheckBox);
    deleted_ = std::make_unique<TQtCheckBox>(DeletedCheckBox);
    delimiter_ = std::make_unique<TQtEdit>(DelimiterEdit, TQtEdit::Encoding::Bytes);
    directory_ = std::make_unique<TQtEdit>(DirectoryEdit, TQtEdit::Encoding::Path);
    extension_ = std::make_unique<TQtEdit>(Edit1, TQtEdit::Encoding::Path);
    checkList_ = std::make_unique<TQtCheckList>(ListBox1);
    label_ = std::make_unique<TQtLabel>(Label1);
    browser_ = std::make_unique<TQtFolderBrowser>(this, QStringLiteral("Select the destination folder"));
    format_ = std::make_unique<TQtChoiceBox>(FormatBox);
    characters_ = std::make_unique<TQtChoiceBox>(CharactersBox);
    saveFile_ = std::make_unique<TQtSaveFileDialog>(this, QStringLiteral("Export into the file"));
    progress_ = std::make_unique<TQtProgress>(this, content_);
    messageBox_ = std::make_unique<TQtMessageBox>(this, progress_.get());

    selection_ = new TSelectionDialog(this, process);
    about_ = new TBtnBottomDlg(this);
    const QIcon icon = CorvaneIcon();
    for (QWidget* window :
         {static_cast<QWidget*>(this), static_cast<QWidget*>(selection_), static_cast<QWidget*>(about_)}) {
        window->setWindowIcon(icon);
    }

    TMainWindowControls controls;
    controls.Window = window_.get();
    controls.DateRadioGroup = dateGroup_.get();
    controls.FieldNameCheckBox = fieldName_.get();
    controls.DelimiterEdit = delimiter_.get();
    controls.NumericNullRadioGroup = numericGroup_.get();
    controls.DirectoryEdit = directory_.get();
    controls.Edit1 = extension_.get();
    controls.CheckBox1 = selectAll_.get();
    controls.LiveCheckBox = live_.get();
    controls.DeletedCheckBox = deleted_.get();
    controls.ListBox1 = checkList_.get();
    controls.Label1 = label_.get();
    controls.SelectFolderDialog = browser_.get();
    controls.FormatBox = format_.get();
    controls.CharactersBox = characters_.get();
    controls.SaveFileDialog = saveFile_.get();
    logic_ =
        std::make_unique<TForm1>(controls, selection_->Logic(), *dialogs_, *messageBox_, *progress_, process);
    Handle(&TForm1::FormCreate);

    connect(Button1, &QPushButton::clicked, this, [this] { Handle(&TForm1::Button1Click); });
    connect(Button2, &QPushButton::clicked, this, [this] { Handle(&TForm1::Button2Click); });
    connect(Button3, &QPushButton::clicked, this, [this] { Handle(&TForm1::Button3Click); });
    connect(Button4, &QPushButton::clicked, this, [this] { Handle(&TForm1::Button4Click); });
    connect(CheckBox1, &QCheckBox::toggled, this, [this] { Handle(&TForm1::CheckBox1Click); });
}

TMainWindow::~TMainWindow() = default;

void TMainWindow::Handle(void (TForm1::*handler)()) {
    RunHandler(*messageBox_, [this, handler] { ((*logic_).*handler)(); });
}

bool TMainWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        // After the activation has been delivered, so that the about dialog opens over a shown window.
        QTimer::singleShot(0, this, [this] { Handle(&TForm1::FormActivate); });
    }
    return QWidget::event(event);
}

void TMainWindow::closeEvent(QCloseEvent* event) {
    if (progress_->Running()) {
        // An export is running: it is asked to stop; the window stays.
        progress_->RequestCancel();
        event->ignore();
        return;
    }
    if (!closed_) {
        closed_ = true;
        Handle(&TForm1::FormClose);
    }
    event->accept();
}

void TMainWindow::ShowDatabaseSelection() {
    selection_->exec();
}

void TMainWindow::ShowAbout() {
    CentreOnScreen(about_);
    about_->OKBtn->setFocus();
    about_->exec();
}

} // namespace corvane::ui
