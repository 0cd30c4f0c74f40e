// The Corvane desktop program.

#include "environment/Environment.h"
#include "ui/logic/CommandLine.h"
#include "ui/logic/SystemProcess.h"
#include "ui/qt/Windows.h"

#include <QApplication>

#include <iostream>

int main(int argc, char* argv[]) {
    // Answered before the toolkit starts, so that they work without a display.
    if (const auto status = corvane::ui::HandleInfoOption({argv + 1, argv + argc}, std::cout)) {
        return *status;
    }
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
