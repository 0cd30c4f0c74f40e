#pragma once
// The commands of corvane-cli. Each takes the arguments after the command name and returns the exit status:
// 0 success, 1 an error, 2 a usage error (after printing the usage to err).

#include <ostream>
#include <string>
#include <vector>

namespace corvane {

using CliArgs = std::vector<std::string>;

int RunDatabasesCommand(const CliArgs& args, std::ostream& out, std::ostream& err);
int RunFormsCommand(const CliArgs& args, std::ostream& out, std::ostream& err);
int RunExportCommand(const CliArgs& args, std::ostream& out, std::ostream& err);
int RunFieldsCommand(const CliArgs& args, std::ostream& out, std::ostream& err);

// Resolves DATABASE (a dictionary file, or a directory holding exactly one) to a directory with a trailing
// separator and a dictionary file name. Throws std::runtime_error with a clear message otherwise.
struct DatabaseLocation {
    std::string Directory;
    std::string DictionaryName;
};
DatabaseLocation LocateDatabase(const std::string& argument);

// The DataEase program directory for a loaded database as the main window sets it: version 3 the "depath"
// environment variable (DEPATH when unset), version 7 the program's directory + "7/", any other empty.
// override, when non-empty, wins.
std::string DEPathForVersion(unsigned version, const std::string& programDirectory, const std::string& override);

// The program's directory (with a trailing separator).
std::string ProgramDirectory();

// Writes s as a JSON string literal (bytes above 0x7F are written as \u00XX, so any stored byte survives).
void WriteJsonString(std::ostream& out, const std::string& s);

} // namespace corvane
