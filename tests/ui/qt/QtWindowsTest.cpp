// The real Qt windows on the offscreen platform: their controls, and one whole run through the widgets.

#include "environment/Environment.h"
#include "tools/testwriter/TestWriter.h"
#include "ui/logic/AboutText.h"
#include "ui/logic/SystemProcess.h"
#include "ui/qt/Windows.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

namespace tw = corvane::testwriter;
using namespace corvane;
using namespace corvane::ui;

namespace {

// Runs handler on every modal dialog that becomes active, from a timer that also fires inside the dialogs'
// own event loops.
class ModalDriver {
public:
    explicit ModalDriver(std::function<void(QWidget*)> handler) : handler_(std::move(handler)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            // A guarded pointer: a dialog opened after another one was destroyed may reuse its address.
            if (modal && modal->isVisible() && modal != last_) {
                last_ = modal;
                handler_(modal);
            } else if (!modal) {
                last_ = nullptr;
            }
        });
        timer_.start(20);
    }

private:
    std::function<void(QWidget*)> handler_;
    QTimer timer_;
    QPointer<QWidget> last_;
};

bool WaitFor(const std::function<bool()>& condition, int ms = 5000) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (condition()) {
            return true;
        }
        QTest::qWait(20);
    }
    return condition();
}

std::string Text(const QString& s) {
    return s.toStdString();
}

// The visible dialogs other than except: none may stand beside a message box.
std::vector<std::string> OtherVisibleDialogs(const QWidget* except) {
    std::vector<std::string> names;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget != except && widget->isVisible() && qobject_cast<QDialog*>(widget)) {
            names.push_back(Text(widget->windowTitle()) + " (" + widget->metaObject()->className() + ")");
        }
    }
    return names;
}

// The visible progress dialogs of a window.
int VisibleProgressDialogs(const QWidget& window) {
    int count = 0;
    for (const QProgressDialog* dialog : window.findChildren<QProgressDialog*>()) {
        count += dialog->isVisible() ? 1 : 0;
    }
    return count;
}

// The settings file of a window that starts in source and exports into destination.
std::string WriteSettings(const tw::TempDir& dir, const std::string& destination, const std::string& source) {
    const std::string settings = (dir / "corvane.ini").string();
    tw::WriteFile(settings, "[paths]\ndestination=" + destination + "\nsource=" + source + "\n");
    return settings;
}

class QtWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_DATA_HOME", (dir.Path() / "data").c_str(), 1);
        InitEnvironment(0);
    }
    tw::TempDir dir;
};

} // namespace

TEST_F(QtWindowsTest, MainWindowControls) {
    TSystemProcess process((dir / "corvane.ini").string());
    TMainWindow window(process);
    EXPECT_EQ(Text(window.windowTitle()),
              "DataEase Data Extraction - Corvane 2009 Build:" + corvane::Environment.BuildStamp);

    struct Caption {
        QAbstractButton* Button;
        const char* Text;
    };
    const Caption captions[] = {
        {window.Button1, "Find Database"},
        {window.Button2, "Quit"},
        {window.Button3, "Export Data"},
        {window.Button4, "..."},
        {window.FieldNameCheckBox, "Text Qualifier"},
        {window.CheckBox1, "Select All"},
        {window.LiveCheckBox, "Live"},
        {window.DeletedCheckBox, "Deleted"},
        {window.DateRadioGroup->button(0), "British Dates (dd/mm/yyyy)"},
        {window.DateRadioGroup->button(1), "American Dates (mm/dd/yyyy)"},
        {window.DateRadioGroup->button(2), "Metric Dates (yyyy/mm/dd)"},
        {window.NumericNullRadioGroup->button(0), "Zero"},
        {window.NumericNullRadioGroup->button(1), "Blank"},
    };
    for (const Caption& c : captions) {
        EXPECT_EQ(Text(c.Button->text()), c.Text);
    }
    EXPECT_EQ(Text(window.DateRadioGroupBox->title()), "Output Dates");
    EXPECT_EQ(Text(window.NumericNullRadioGroupBox->title()), "Numeric Null Values");

    EXPECT_EQ(window.DateRadioGroup->checkedId(), 0);
    EXPECT_EQ(window.NumericNullRadioGroup->checkedId(), 0);
    EXPECT_FALSE(window.FieldNameCheckBox->isChecked());
    EXPECT_FALSE(window.CheckBox1->isChecked());
    EXPECT_TRUE(window.LiveCheckBox->isChecked());
    EXPECT_FALSE(window.DeletedCheckBox->isChecked());
    EXPECT_EQ(Text(window.DelimiterEdit->text()), ",");
    EXPECT_EQ(window.DelimiterEdit->maxLength(), 1);
    EXPECT_EQ(Text(window.Edit1->text()), "csv");
    EXPECT_EQ(window.Edit1->maxLength(), 3);
    EXPECT_TRUE(window.DirectoryEdit->isReadOnly());
    EXPECT_EQ(window.ListBox1->count(), 0);
    EXPECT_EQ(Text(window.Label1->text()), "");
    // The program's own icon, drawn at the sizes a desktop asks for.
    const QList<QSize> iconSizes = window.windowIcon().availableSizes();
    EXPECT_TRUE(iconSizes.contains(QSize(16, 16)));
    EXPECT_TRUE(iconSizes.contains(QSize(256, 256)));
    EXPECT_EQ(window.SelectionDialog()->windowIcon().availableSizes(), iconSizes);
    EXPECT_EQ(Text(window.FormatBox->itemText(0)), "Delimited text");
    EXPECT_EQ(Text(window.CharactersBox->itemText(0)), "As stored");

    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.findChild<QWidget*>(QStringLiteral("ControlArea"))->height(), 193);
    EXPECT_EQ(window.findChild<QWidget*>(QStringLiteral("BottomStrip"))->height(), 41);
    EXPECT_GT(window.ListBox1->height(), 50) << "the check list fills the middle";
    EXPECT_TRUE(window.Button1->isVisible());
    EXPECT_TRUE(window.Button3->isVisible());
    // Nothing of the control area lies outside the window.
    for (QWidget* child : window.findChildren<QWidget*>()) {
        if (child->isVisible()) {
            const QRect r(child->mapTo(&window, QPoint(0, 0)), child->size());
            EXPECT_TRUE(window.rect().contains(r)) << Text(child->objectName());
        }
    }
    window.hide();
}

TEST_F(QtWindowsTest, DialogControls) {
    TSystemProcess process((dir / "corvane.ini").string());
    TMainWindow window(process);
    TSelectionDialog* selection = window.SelectionDialog();
    EXPECT_EQ(Text(selection->windowTitle()), "Database Selection");
    EXPECT_EQ(selection->size(), QSize(419, 151));
    EXPECT_EQ(Text(selection->Button1->text()), "...");
    EXPECT_EQ(Text(selection->Button2->text()), "Up Folder");
    EXPECT_EQ(Text(selection->BitBtn1->text()), "O.K.");
    EXPECT_EQ(Text(selection->BitBtn2->text()), "Cancel");
    EXPECT_FALSE(selection->DatabaseListBox->isSortingEnabled());
    EXPECT_TRUE(selection->font().bold());

    TBtnBottomDlg* about = window.AboutDialog();
    EXPECT_EQ(Text(about->windowTitle()), "Dialog");
    EXPECT_EQ(about->size(), QSize(595, 474));
    EXPECT_EQ(Text(about->OKBtn->text()), "OK");
    EXPECT_TRUE(about->Memo1->isReadOnly());
    EXPECT_EQ(about->Memo1->toPlainText().toStdString(), AboutText());
    EXPECT_EQ(
        Text(about->Memo1->document()->firstBlock().text()),
        "Corvane provides a rapid means of extracting data from DataEase tables.  It will handle 4.x, ");
}

TEST_F(QtWindowsTest, OneExportRunThroughTheWidgets) {
    const auto db = dir / "db";
    tw::WriteDatabase(db,
                      {.Version = 3,
                       .Name = "Shop",
                       .Forms = {{.Name = "Orders",
                                  .Fields = {tw::TextField("Item", 8), tw::WholeNumber("Qty", 2)},
                                  .Records = {{.Values = {{"Item", "Pen"}, {"Qty", 3}}},
                                              {.Deleted = true, .Values = {{"Item", "Gone"}, {"Qty", 1}}}}},
                                 {.Name = "Customers",
                                  .Fields = {tw::TextField("Name", 10)},
                                  .Records = {{.Values = {{"Name", "Smith"}}}}}},
                       .Configuration = tw::ConfigurationSpec{}});
    std::filesystem::create_directories(dir / "out");
    const std::string settings = (dir / "corvane.ini").string();
    tw::WriteFile(settings,
                  "[paths]\ndestination=" + (dir / "out").string() + "\nsource=" + dir.Dir() + "db/\n");

    int aboutShown = 0;
    std::vector<std::string> messages;
    std::vector<std::string> listed;
    std::vector<std::string> beside;
    ModalDriver driver([&](QWidget* modal) {
        if (auto* about = qobject_cast<TBtnBottomDlg*>(modal)) {
            ++aboutShown;
            QTest::mouseClick(about->OKBtn, Qt::LeftButton);
        } else if (auto* selection = qobject_cast<TSelectionDialog*>(modal)) {
            for (int i = 0; i < selection->DatabaseListBox->count(); ++i) {
                listed.push_back(Text(selection->DatabaseListBox->item(i)->text()));
            }
            selection->DatabaseListBox->setCurrentRow(0);
            QTest::mouseClick(selection->BitBtn1, Qt::LeftButton);
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages.push_back(Text(box->text()));
            beside = OtherVisibleDialogs(box);
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        }
    });

    TSystemProcess process(settings);
    TMainWindow window(process);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(WaitFor([&] { return aboutShown == 1; }))
        << "the about dialog opens when the window is activated";
    EXPECT_EQ(Text(window.DirectoryEdit->text()), (dir / "out").string());

    QTest::mouseClick(window.Button1, Qt::LeftButton);
    EXPECT_EQ(listed, (std::vector<std::string>{"4.x  Shop"}));
    EXPECT_EQ(Text(window.windowTitle()), "DataEase Data Extraction: Shop");
    ASSERT_EQ(window.ListBox1->count(), 2);
    EXPECT_EQ(Text(window.ListBox1->item(0)->text()), "Customers");
    EXPECT_EQ(Text(window.ListBox1->item(1)->text()), "Orders");

    QTest::mouseClick(window.CheckBox1, Qt::LeftButton);
    EXPECT_EQ(window.ListBox1->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(window.ListBox1->item(1)->checkState(), Qt::Checked);
    QTest::mouseClick(window.DeletedCheckBox, Qt::LeftButton);
    QTest::mouseClick(window.FieldNameCheckBox, Qt::LeftButton);
    window.DelimiterEdit->clear();
    QTest::keyClicks(window.DelimiterEdit, ";;");
    EXPECT_EQ(Text(window.DelimiterEdit->text()), ";");

    QTest::mouseClick(window.Button3, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !messages.empty(); }));
    EXPECT_EQ(messages, (std::vector<std::string>{"Exports complete."}));
    EXPECT_TRUE(beside.empty()) << "the message box is the only dialog shown: " << beside.front();
    // Longer than the progress dialog's delay: none appears after the run.
    QTest::qWait(TQtProgress::kShowAfterMs + 300);
    EXPECT_EQ(VisibleProgressDialogs(window), 0);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(tw::ReadFileText(dir / "out" / "Orders.csv"),
              "\"Item\";\"Qty\"\r\n\"Pen\";3\r\n\"Gone\";1\r\n");
    EXPECT_EQ(tw::ReadFileText(dir / "out" / "Customers.csv"), "\"Name\"\r\n\"Smith\"\r\n");
    EXPECT_TRUE(window.isEnabled());
    EXPECT_TRUE(window.Button3->isEnabled()) << "controls are enabled again after the run";

    QTest::mouseClick(window.Button2, Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
    // The choices of the run are remembered beside the paths.
    EXPECT_EQ(tw::ReadFileText(settings),
              "[paths]\ndestination=" + (dir / "out").string() + "\nsource=" + dir.Dir() +
                  "db/\n[export]\nformat=csv\ncharacters=stored\ndates=british\nnumeric null=zero\n"
                  "text qualifier=1\ndelimiter=\";\"\nfile type=csv\nlive=1\ndeleted=1\n");
    EXPECT_EQ(aboutShown, 1);
}

TEST_F(QtWindowsTest, ClosingDuringARunCancelsAfterTheCurrentForm) {
    const auto db = dir / "db";
    tw::WriteDatabase(db, {.Version = 3,
                           .Name = "Shop",
                           .Forms = {{.Name = "Alpha",
                                      .Fields = {tw::TextField("A", 4)},
                                      .Records = {{.Values = {{"A", "a1"}}}, {.Values = {{"A", "a2"}}}}},
                                     {.Name = "Beta",
                                      .Fields = {tw::TextField("B", 4)},
                                      .Records = {{.Values = {{"B", "b1"}}}}}},
                           .Configuration = tw::ConfigurationSpec{}});
    std::filesystem::create_directories(dir / "out");
    const std::string settings = (dir / "corvane.ini").string();
    tw::WriteFile(settings,
                  "[paths]\ndestination=" + (dir / "out").string() + "\nsource=" + dir.Dir() + "db/\n");

    std::vector<std::string> messages;
    ModalDriver driver([&](QWidget* modal) {
        if (auto* about = qobject_cast<TBtnBottomDlg*>(modal)) {
            about->accept();
        } else if (auto* selection = qobject_cast<TSelectionDialog*>(modal)) {
            selection->DatabaseListBox->setCurrentRow(0);
            selection->BitBtn1->click();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages.push_back(Text(box->text()));
            box->accept();
        }
    });
    TSystemProcess process(settings);
    TMainWindow window(process);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.Button1, Qt::LeftButton);
    ASSERT_EQ(window.ListBox1->count(), 2);
    window.CheckBox1->click();

    // Fires at the first repaint inside the run: the close is refused and the run stops after "Alpha".
    bool closedDuringRun = false;
    QTimer::singleShot(0, &window, [&] {
        closedDuringRun = window.Progress().Running();
        window.close();
    });
    QTest::mouseClick(window.Button3, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !messages.empty(); }));
    EXPECT_TRUE(closedDuringRun);
    EXPECT_TRUE(window.isVisible()) << "the window stays while an export runs";
    EXPECT_EQ(messages, (std::vector<std::string>{"Export cancelled: 1 of 2 forms exported."}));
    EXPECT_EQ(tw::ReadFileText(dir / "out" / "Alpha.csv"), "A\r\n\"a1\"\r\n\"a2\"\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "out" / "Beta.csv"));
    EXPECT_TRUE(window.Button3->isEnabled());
    window.close();
    EXPECT_FALSE(window.isVisible());
}

TEST_F(QtWindowsTest, OutputThatCannotBeCreatedShowsIOErrorBoxesAndTheFailures) {
    tw::WriteDatabase(dir / "db", {.Version = 5,
                                   .Name = "Shop",
                                   .Forms = {{.Name = "Alpha", .Fields = {tw::TextField("A", 4)}},
                                             {.Name = "Beta", .Fields = {tw::TextField("B", 4)}}},
                                   .Configuration = tw::ConfigurationSpec{}});
    const std::string missing = dir.Dir() + "gone";
    const std::string settings = WriteSettings(dir, missing, dir.Dir() + "db/");

    std::vector<std::string> messages;
    std::vector<std::string> beside;
    ModalDriver driver([&](QWidget* modal) {
        if (auto* about = qobject_cast<TBtnBottomDlg*>(modal)) {
            about->accept();
        } else if (auto* selection = qobject_cast<TSelectionDialog*>(modal)) {
            selection->DatabaseListBox->setCurrentRow(0);
            selection->BitBtn1->click();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages.push_back(Text(box->text()));
            for (const std::string& name : OtherVisibleDialogs(box)) {
                beside.push_back(name);
            }
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        }
    });
    TSystemProcess process(settings);
    TMainWindow window(process);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.Button1, Qt::LeftButton);
    ASSERT_EQ(window.ListBox1->count(), 2);
    window.CheckBox1->click();
    QTest::mouseClick(window.Button3, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return messages.size() == 3; }));
    const std::string alpha = "Alpha: " + missing + "/Alpha.csv: File not found";
    const std::string beta = "Beta: " + missing + "/Beta.csv: File not found";
    EXPECT_EQ(messages, (std::vector<std::string>{"IO Error: 2\n" + alpha, "IO Error: 2\n" + beta,
                                                  "Exports finished, but 2 of 2 forms failed:\n" + alpha +
                                                      "\n" + beta}));
    EXPECT_TRUE(beside.empty()) << beside.front();
    QTest::qWait(TQtProgress::kShowAfterMs + 300);
    EXPECT_EQ(VisibleProgressDialogs(window), 0);
    EXPECT_EQ(messages.size(), 3u);
    EXPECT_TRUE(window.Button3->isEnabled());
    window.close();
}

TEST_F(QtWindowsTest, CancelDuringALongRunReportsTheFormsDone) {
    // "Big" holds enough records that its export lasts long enough to be cancelled while it goes on.
    constexpr std::uint64_t kBigRecords = 3'000'000;
    tw::FormSpec big{.Name = "Big", .Fields = {tw::TextField("Name", 8), tw::WholeNumber("N", 4)}};
    big.RecordCount = static_cast<std::int32_t>(kBigRecords);
    big.WriteDataFile = false;
    tw::WriteDatabase(
        dir / "db",
        {.Version = 5,
         .Name = "Shop",
         .Forms =
             {{.Name = "Alpha", .Fields = {tw::TextField("A", 4)}, .Records = {{.Values = {{"A", "a1"}}}}},
              big,
              {.Name = "Gamma", .Fields = {tw::TextField("G", 4)}, .Records = {{.Values = {{"G", "g1"}}}}}},
         .Configuration = tw::ConfigurationSpec{}});
    tw::WriteDataFileStreaming(dir / "db" / tw::DefaultDataFileName("Big"), tw::FormRecordLength(big, 5),
                               kBigRecords, [](std::uint64_t index, tw::Slot& slot) {
                                   slot.Text(1, "n" + std::to_string(index % 1000), 8);
                                   slot.I32(9, static_cast<std::int32_t>(index));
                               });
    std::filesystem::create_directories(dir / "out");
    const std::string settings = WriteSettings(dir, (dir / "out").string(), dir.Dir() + "db/");

    std::vector<std::string> messages;
    std::vector<std::string> beside;
    int progressShown = 0;
    ModalDriver driver([&](QWidget* modal) {
        if (auto* about = qobject_cast<TBtnBottomDlg*>(modal)) {
            about->accept();
        } else if (auto* selection = qobject_cast<TSelectionDialog*>(modal)) {
            selection->DatabaseListBox->setCurrentRow(0);
            selection->BitBtn1->click();
        } else if (auto* progress = qobject_cast<QProgressDialog*>(modal)) {
            ++progressShown;
            auto* cancel = progress->findChild<QPushButton*>();
            ASSERT_NE(cancel, nullptr);
            QTest::mouseClick(cancel, Qt::LeftButton);
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages.push_back(Text(box->text()));
            beside = OtherVisibleDialogs(box);
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        }
    });
    TSystemProcess process(settings);
    TMainWindow window(process);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.Button1, Qt::LeftButton);
    ASSERT_EQ(window.ListBox1->count(), 3);
    window.CheckBox1->click();
    // The dialog at once, so that the driver cancels while the first form or "Big" goes on.
    window.Progress().SetShowAfter(0);
    QTest::mouseClick(window.Button3, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !messages.empty(); }, 60000));
    EXPECT_EQ(progressShown, 1) << "the long run shows its progress";
    EXPECT_EQ(messages, (std::vector<std::string>{"Export cancelled: 1 of 3 forms exported."}));
    EXPECT_TRUE(beside.empty()) << beside.front();
    EXPECT_EQ(tw::ReadFileText(dir / "out" / "Alpha.csv"), "A\r\n\"a1\"\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "out" / "Big.csv")) << "a cancelled form leaves no file";
    EXPECT_FALSE(std::filesystem::exists(dir / "out" / "Gamma.csv"));
    EXPECT_EQ(VisibleProgressDialogs(window), 0);
    EXPECT_FALSE(window.Progress().CancelRequested()) << "a Cancel counts only while its run goes on";
    window.close();
}

TEST_F(QtWindowsTest, EnterInTheDirectoryBoxSearchesInsteadOfClosing) {
    tw::WriteDatabase(dir / "typed", {.Version = 5, .Name = "Typed", .Forms = {{.Name = "A"}}});
    std::filesystem::create_directories(dir / "empty");
    const std::string settings = WriteSettings(dir, dir.Dir(), dir.Dir() + "empty/");

    std::vector<std::string> listed;
    bool stillOpen = false;
    ModalDriver driver([&](QWidget* modal) {
        if (auto* about = qobject_cast<TBtnBottomDlg*>(modal)) {
            about->accept();
        } else if (auto* selection = qobject_cast<TSelectionDialog*>(modal)) {
            selection->Edit1->setFocus();
            selection->Edit1->setText(QString::fromStdString((dir / "typed").string()));
            QTest::keyClick(selection->Edit1, Qt::Key_Return);
            stillOpen = selection->isVisible();
            for (int i = 0; i < selection->DatabaseListBox->count(); ++i) {
                listed.push_back(Text(selection->DatabaseListBox->item(i)->text()));
            }
            selection->DatabaseListBox->setCurrentRow(0);
            QTest::keyClick(selection->DatabaseListBox, Qt::Key_Return); // now "O.K." takes the line
        }
    });
    TSystemProcess process(settings);
    TMainWindow window(process);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.Button1, Qt::LeftButton);
    EXPECT_TRUE(stillOpen) << "Enter in the directory box does not press O.K.";
    EXPECT_EQ(listed, (std::vector<std::string>{"5.x  Typed"}));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(Text(window.windowTitle()), "DataEase Data Extraction: Typed");
    window.close();
}

TEST_F(QtWindowsTest, ErrorLeavingAHandlerIsShownAndTheProgramCarriesOn) {
    std::filesystem::create_directories(dir / "bad");
    tw::WriteFile(dir / "bad" / "RDRRAAAA.DBM", std::string("\x05", 1));
    const std::string settings = (dir / "corvane.ini").string();
    tw::WriteFile(settings, "[paths]\nsource=" + dir.Dir() + "bad/\n");

    std::vector<std::pair<std::string, std::string>> errors;
    ModalDriver driver([&](QWidget* modal) {
        if (auto* about = qobject_cast<TBtnBottomDlg*>(modal)) {
            about->accept();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            errors.emplace_back(Text(box->text()), Text(box->informativeText()));
            box->accept();
        } else if (auto* selection = qobject_cast<TSelectionDialog*>(modal)) {
            selection->BitBtn2->click();
        }
    });
    TSystemProcess process(settings);
    TMainWindow window(process);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // The search of the dialog fails on the one candidate; Cancel then ends the program.
    QTest::mouseClick(window.Button1, Qt::LeftButton);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].first, (dir / "bad" / "RDRRAAAA.DBM").string() + ": Read beyond end of file");
    EXPECT_EQ(errors[0].second, "Exception class: EInOutError");
    EXPECT_FALSE(window.isVisible()) << "cancelling Find Database closes the window";
    EXPECT_NE(tw::ReadFileText(settings).find("source=" + dir.Dir() + "bad/\n"), std::string::npos);
}

TEST_F(QtWindowsTest, DestinationBrowseKeepsToTheTopFolder) {
    std::filesystem::create_directories(dir / "out" / "sub");
    std::filesystem::create_directories(dir / "elsewhere");
    const std::string settings = (dir / "corvane.ini").string();
    tw::WriteFile(settings, "[paths]\ndestination=" + (dir / "out").string() + "\n");

    int browses = 0;
    std::vector<std::string> messages;
    ModalDriver driver([&](QWidget* modal) {
        if (auto* about = qobject_cast<TBtnBottomDlg*>(modal)) {
            about->accept();
        } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
            ++browses;
            EXPECT_EQ(Text(files->directory().absolutePath()), (dir / "out").string());
            // First a folder above the top folder, which is refused; then one below it.
            const auto target = browses == 1 ? dir / "elsewhere" : dir / "out" / "sub";
            // Typed into the dialog's name box, as a user would; accepted from the event loop so that the
            // driver also sees the dialogs that the acceptance opens.
            auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(QString::fromStdString(target.string()));
            QTimer::singleShot(0, files, [files] {
                static_cast<QDialog*>(files)->accept();
            }); // QFileDialog::accept, through the public slot
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages.push_back(Text(box->text()));
            box->accept();
        }
    });
    TSystemProcess process(settings);
    TMainWindow window(process);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.Button4, Qt::LeftButton);
    EXPECT_EQ(browses, 2);
    EXPECT_EQ(messages,
              (std::vector<std::string>{"Choose " + (dir / "out").string() + " or a folder below it."}));
    EXPECT_EQ(Text(window.DirectoryEdit->text()), (dir / "out" / "sub").string());
    window.close();
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!std::getenv("QT_QPA_PLATFORM")) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
