#include "ui/logic/CommandLine.h"

#include "version/Version.h"

namespace corvane::ui {

std::string DesktopHelpText() {
    return "Usage: corvane [OPTION] [TOOLKIT OPTIONS]\n"
           "\n"
           "Opens the Corvane window, which reads a DataEase 4.x, 5.x or DataEase for Windows\n"
           "database (never writing to it) and exports the forms ticked in its list to delimited\n"
           "text files, one per form. The command-line tool corvane-cli does the same without a\n"
           "window.\n"
           "\n"
           "Options:\n"
           "  -h, --help       print this help and exit\n"
           "  -V, --version    print the version and exit\n"
           "\n"
           "The Qt toolkit's own options, such as -platform NAME or -display DISPLAY, are passed on\n"
           "to it.\n"
           "\n"
           "Environment:\n"
           "  depath, DEPATH   the DataEase program directory, where the definitions of the\n"
           "                   DataEase 4.x system forms lie\n"
           "\n"
           "Files:\n"
           "  $XDG_CONFIG_HOME/corvane/corvane.ini\n"
           "                   the source and destination directories last used (XDG_CONFIG_HOME\n"
           "                   defaults to ~/.config); a writable corvane.ini already beside the\n"
           "                   program is used instead\n";
}

std::optional<int> HandleInfoOption(const std::vector<std::string>& args, std::ostream& out) {
    for (const std::string& arg : args) {
        if (arg == "-h" || arg == "--help") {
            out << DesktopHelpText();
            return 0;
        }
        if (arg == "-V" || arg == "--version") {
            out << "corvane " << CorvaneVersion() << "\n";
            return 0;
        }
    }
    return std::nullopt;
}

} // namespace corvane::ui
