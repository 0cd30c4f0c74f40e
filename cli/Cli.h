#pragma once
// The command-line tool: corvane-cli COMMAND ARGS...

#include <ostream>

namespace corvane {

// Runs the command line and returns the exit status: 0 success, 1 an error, 2 a usage error.
int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err);

} // namespace corvane
