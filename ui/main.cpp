// The Corvane desktop program.

#include "environment/Environment.h"
#include "ui/logic/SystemProcess.h"
#include "ui/qt/Windows.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Before any window exists.
    corvane::InitEnvironment(0);
    corvane::ui::TSystemProcess process;
    corvane::ui::TMainWindow window(process);
    window.show();
    // Without a window manager nothing gives the new window the keyboard focus; ask for it.
    window.activateWindow();
    return app.exec();
}
