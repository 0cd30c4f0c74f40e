#pragma once
// The commands of corvane-cli. Each takes the arguments after the command name and returns the exit status:
// 0 success, 1 an error, 2 a usage error (after printing the usage to err).

#include "database/DEInfoRec.h"

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

// The value of the DataEase program directory variable: "depath", or "DEPATH" when that is unset.
std::string DEPathVariable();

// Loads the database named by a DATABASE argument and sets its DataEase program directory (DEPathForVersion).
// Throws what LocateDatabase and Load throw.
void LoadDatabase(TDEInfoRec& database, const std::string& argument, const std::string& depathOverride);

// "corvane-cli: N of M forms exported to OUT (R records<detail>)[, F failed][, the run stopped at that
// error]" on err; returns the exit status (0 when nothing failed, else 1).
int PrintExportSummary(std::ostream& err, int exported, std::size_t total, const std::string& out,
                       std::int64_t records, const std::string& detail, int failed, bool stopped);

// The program's directory (with a trailing separator).
std::string ProgramDirectory();

// Writes s as a JSON string literal (bytes above 0x7F are written as \u00XX, so any stored byte survives).
void WriteJsonString(std::ostream& out, const std::string& s);

} // namespace corvane
