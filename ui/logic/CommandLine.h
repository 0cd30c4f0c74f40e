#pragma once
// The few command-line options of the desktop program that are answered before any window (or display)
// exists.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace corvane::ui {

// With -h/--help or -V/--version among args (the arguments after the program name), the help text or the
// version line is written to out and the exit status (0) returned; otherwise nullopt, and args are left to
// the toolkit, which takes its own options (-platform ...) from them. The first of those options decides.
std::optional<int> HandleInfoOption(const std::vector<std::string>& args, std::ostream& out);

// The help text of the desktop program.
std::string DesktopHelpText();

} // namespace corvane::ui
