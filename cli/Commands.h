#pragma once
// The commands of corvane-cli, each over the options the command line gave it. Each returns the exit status:
// 0 success, 1 an error; a usage problem found after parsing is thrown as EUsageError (status 2).

#include "database/DEInfoRec.h"
#include "export/ExportRun.h"
#include "export/SqlSchema.h"
#include "text/CodePage.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvane {

// A usage error: one line for the user, and the command whose synopsis and help go with it.
class EUsageError : public std::runtime_error {
public:
    EUsageError(std::string command, const std::string& message)
        : std::runtime_error(message), command_(std::move(command)) {}
    const std::string& Command() const { return command_; }

private:
    std::string command_;
};

struct TListingArgs {
    std::string Path; // DIR of databases, DATABASE of forms and fields
    bool Json = false;
    bool All = false;       // forms: every catalogue form
    bool Recursive = false; // databases: below DIR too
    std::string DEPath;
    std::string Form;                  // fields
    std::optional<TCodePage> Encoding; // nullopt: the version's code page in JSON, the stored bytes in text
};

struct TExportArgs {
    std::string Database;
    std::string Out;
    std::vector<std::string> Forms;
    char Selection = 'L';
    std::string DEPath;
    TExportOptions Options; // all but Destination
    bool Recursive = false;
    unsigned Jobs = 0; // 0: the number of cores
    bool Quiet = false;
    bool Progress = false; // shown even when standard error is not a terminal
};

int RunDatabasesCommand(const TListingArgs& args, std::ostream& out, std::ostream& err);
int RunFormsCommand(const TListingArgs& args, std::ostream& out, std::ostream& err);
int RunFieldsCommand(const TListingArgs& args, std::ostream& out, std::ostream& err);
int RunEncodingsCommand(std::ostream& out);
int RunExportCommand(const TExportArgs& args, std::ostream& err);
// The CREATE TABLE statements an export of the same forms would write, in dialect, on out.
int RunSchemaCommand(const TExportArgs& args, TSchemaDialect dialect, std::ostream& out, std::ostream& err);

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

// "corvane-cli: [prefix]N of M forms exported to OUT (R records<detail>)[, F failed][, the run stopped at
// that error]" on err; returns the exit status (0 when nothing failed, else 1).
int PrintExportSummary(std::ostream& err, int exported, std::size_t total, const std::string& out,
                       std::int64_t records, const std::string& detail, int failed, bool stopped,
                       const std::string& prefix = "");

// The program's directory (with a trailing separator).
std::string ProgramDirectory();

// One database found below a directory: its dictionary file, and the path it has below that directory.
struct TFoundDatabase {
    std::string Directory; // with a trailing separator
    std::string DictionaryName;
    std::string RelativeFile; // the dictionary file below the directory searched ("a/b/RDRRAAAA.DBM")
    // Where its export goes below the output directory: the directory below the one searched, followed by
    // the dictionary name without ".dbm" when that directory holds several databases or is the one searched
    // ("a/b", "a/b/RDRRBAAA", "RDRRAAAA").
    std::string OutputPath;
};

// Every database in directory and below it, in path order. Directories that cannot be read are named in
// problems ("DIR: error").
std::vector<TFoundDatabase> FindDatabasesBelow(const std::string& directory,
                                               std::vector<std::string>& problems);

} // namespace corvane
