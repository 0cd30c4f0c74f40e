// Drives the real windows through one export as a user would (the about dialog's OK, "Find Database" on a
// small sample database, "Select All", "Export Data") and saves a picture of the whole screen while the run's
// message box is up. Usage: ui_export_screenshot OUTPUT.png [Qt options]. Run by scripts/screenshot-ui.

#include "environment/Environment.h"
#include "tools/testwriter/TestWriter.h"
#include "ui/logic/SystemProcess.h"
#include "ui/qt/Windows.h"

#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <string>

namespace tw = corvane::testwriter;
using namespace corvane;
using namespace corvane::ui;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: ui_export_screenshot OUTPUT.png\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    InitEnvironment(0);

    const tw::TempDir dir;
    tw::WriteDatabase(dir / "db",
                      {.Version = 5,
                       .Name = "Garden Centre",
                       .Forms = {{.Name = "Customers",
                                  .Fields = {tw::TextField("Name", 12), tw::WholeNumber("Visits", 2)},
                                  .Records = {{.Values = {{"Name", "Caf\x82 Rose"}, {"Visits", 3}}},
                                              {.Values = {{"Name", "M\x81ller"}, {"Visits", 7}}}}},
                                 {.Name = "Plants",
                                  .Fields = {tw::TextField("Kind", 12)},
                                  .Records = {{.Values = {{"Kind", "Fern"}}}}}},
                       .Configuration = tw::ConfigurationSpec{}});
    std::filesystem::create_directories(dir / "out");
    const std::string settings = (dir / "corvane.ini").string();
    tw::WriteFile(settings, "[paths]\ndestination=" + (dir / "out").string() + "\nsource=" + dir.Dir() +
                                "db/\n[export]\ncharacters=default\n");

    TSystemProcess process(settings);
    TMainWindow window(process);
    int status = 1;
    bool exported = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible() || modal->property("driven").toBool()) {
            if (modal == nullptr && !exported && window.ListBox1->count() > 0) {
                exported = true;
                // From a timer of its own, so that this one drives the message box the run ends with.
                QTimer::singleShot(0, &window, [&window] {
                    window.CheckBox1->click();
                    window.Button3->click();
                });
            }
            return;
        }
        modal->setProperty("driven", true);
        if (auto* about = qobject_cast<TBtnBottomDlg*>(modal)) {
            about->OKBtn->click();
            QTimer::singleShot(200, &window, [&window] { window.Button1->click(); });
        } else if (auto* selection = qobject_cast<TSelectionDialog*>(modal)) {
            selection->DatabaseListBox->setCurrentRow(0);
            selection->BitBtn1->click();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            // Time to paint, then the whole screen.
            QTimer::singleShot(800, box, [&, box] {
                const QPixmap shot = box->screen()->grabWindow(0);
                status = shot.save(output) ? 0 : 1;
                std::fprintf(stderr, "message box: %s\n", box->text().toLocal8Bit().constData());
                box->accept();
                QTimer::singleShot(100, &app, [] { QApplication::exit(); });
            });
        }
    });
    driver.start(50);
    QTimer::singleShot(30000, &app, [] {
        std::fprintf(stderr, "the export did not end with a message box within 30 seconds\n");
        QApplication::exit();
    });
    window.show();
    window.activateWindow();
    app.exec();
    return status;
}
