#include "cli/Cli.h"

#include "cli/Commands.h"
#include "database/DEInfoRec.h"
#include "database/DatabaseList.h"
#include "database/Errors.h"
#include "database/PlatformFile.h"
#include "export/ExportRun.h"
#include "text/TextUtils.h"
#include "version/Version.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace corvane {

namespace {

constexpr const char* kUsage =
    "usage: corvane-cli COMMAND [ARGS]\n"
    "       corvane-cli --help | --version\n"
    "\n"
    "commands:\n"
    "  databases DIR [--json]\n"
    "      list the DataEase databases (dictionary files rdrr?aaa.dbm) in DIR\n"
    "  forms DATABASE [--all] [--json] [--depath DIR]\n"
    "      list the forms of a database as the main window lists them; --all: every catalogue form\n"
    "  fields DATABASE --form NAME [--json]\n"
    "      list the fields of one form in definition order\n"
    "  export DATABASE --out DIR [--form ENTRY]... [--ext EXT] [--delimiter C] [--quote-headings]\n"
    "         [--dates british|american|metric] [--numeric-null zero|blank] [--records live|deleted|all]\n"
    "         [--depath DIR] [--short-date-format FMT]\n"
    "      write one delimited text file per form\n"
    "\n"
    "DATABASE is a dictionary file, or a directory that holds exactly one.\n";

int Usage(std::ostream& err, const std::string& problem) {
    if (!problem.empty()) {
        err << "corvane-cli: " << problem << "\n";
    }
    err << kUsage;
    return 2;
}

int Fail(std::ostream& err, const std::string& message) {
    err << "corvane-cli: " << message << "\n";
    return 1;
}

} // namespace

void LoadDatabase(TDEInfoRec& database, const std::string& argument, const std::string& depathOverride) {
    const DatabaseLocation location = LocateDatabase(argument);
    database.SetDirectory(location.Directory);
    database.SetDictionaryName(location.DictionaryName);
    database.Load();
    database.SetDEPath(depathOverride.empty()
                           ? DEPathForVersion(database.GetVersion(), DEPathVariable(), ProgramDirectory())
                           : depathOverride);
}

int PrintExportSummary(std::ostream& err, int exported, std::size_t total, const std::string& out,
                       std::int64_t records, const std::string& detail, int failed, bool stopped) {
    err << "corvane-cli: " << exported << " of " << total << " forms exported to " << out << " (" << records
        << " records" << detail << ")";
    if (failed != 0) {
        err << ", " << failed << " failed";
    }
    if (stopped) {
        err << ", the run stopped at that error";
    }
    err << "\n";
    return failed == 0 ? 0 : 1;
}

std::string DEPathVariable() {
    if (const char* value = std::getenv("depath")) {
        return value;
    }
    if (const char* value = std::getenv("DEPATH")) {
        return value;
    }
    return {};
}

std::string ProgramDirectory() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) {
        return {};
    }
    path.resize(static_cast<std::size_t>(n));
    return path.substr(0, path.find_last_of('/') + 1);
}

DatabaseLocation LocateDatabase(const std::string& argument) {
    if (argument.empty()) {
        throw std::runtime_error("no database given");
    }
    if (IsDirectory(argument)) {
        const std::string directory = WithTrailingSeparator(argument);
        const std::vector<std::string> found = FindDictionaryFiles(directory);
        if (found.empty()) {
            throw std::runtime_error(argument + ": no DataEase dictionary (rdrr?aaa.dbm) in this directory");
        }
        if (found.size() > 1) {
            std::string names;
            for (const std::string& name : found) {
                names += (names.empty() ? "" : ", ") + name;
            }
            throw std::runtime_error(argument + ": several databases in this directory (" + names +
                                     "); name the dictionary file");
        }
        return {directory, found.front()};
    }
    const std::size_t slash = argument.find_last_of(kPathSeparator);
    DatabaseLocation location;
    if (slash == std::string::npos) {
        location.Directory = std::string(".") + kPathSeparator;
        location.DictionaryName = argument;
    } else {
        location.Directory = argument.substr(0, slash + 1);
        location.DictionaryName = argument.substr(slash + 1);
    }
    if (!FileModificationTime(ResolveExistingPath(argument))) {
        throw MakeIOError(ENOENT, argument);
    }
    if (location.DictionaryName.size() > 12) {
        throw std::runtime_error(argument + ": a dictionary file name has at most 12 characters");
    }
    return location;
}

void WriteJsonString(std::ostream& out, const std::string& s) {
    static constexpr char kHex[] = "0123456789abcdef";
    out << '"';
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out << '\\' << ch;
        } else if (c < 0x20 || c >= 0x7F) {
            // Stored text is single-byte: each byte above 0x7F is written as the code point of the same
            // value.
            out << "\\u00" << kHex[c >> 4] << kHex[c & 0xF];
        } else {
            out << ch;
        }
    }
    out << '"';
}

int RunDatabasesCommand(const CliArgs& args, std::ostream& out, std::ostream& err) {
    std::string directory;
    bool json = false;
    for (const std::string& arg : args) {
        if (arg == "--json") {
            json = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage(err, "unknown option " + arg);
        } else if (directory.empty()) {
            directory = arg;
        } else {
            return Usage(err, "databases takes one directory");
        }
    }
    if (directory.empty()) {
        return Usage(err, "databases needs a directory");
    }
    if (!IsDirectory(directory)) {
        return Fail(err, directory + ": not a directory");
    }
    const TDatabaseListing listing =
        ListDatabases(WithTrailingSeparator(directory), TListingMode::ReportEachError);
    if (json) {
        out << "[";
        for (std::size_t i = 0; i < listing.Entries.size(); ++i) {
            const TDatabaseEntry& entry = listing.Entries[i];
            out << (i == 0 ? "\n  " : ",\n  ") << "{\"file\": ";
            WriteJsonString(out, entry.FileName);
            out << ", \"version\": " << static_cast<unsigned>(entry.Version) << ", \"label\": ";
            WriteJsonString(out, VersionLabel(entry.Version));
            out << ", \"name\": ";
            WriteJsonString(out, entry.DisplayName);
            out << "}";
        }
        out << (listing.Entries.empty() ? "]\n" : "\n]\n");
    } else {
        for (const TDatabaseEntry& entry : listing.Entries) {
            out << entry.FileName << '\t' << static_cast<unsigned>(entry.Version) << '\t' << entry.DisplayName
                << '\n';
        }
    }
    out.flush();
    // Each database that could not be read, on a line of its own.
    for (const TDatabaseFailure& failure : listing.Failures) {
        try {
            std::rethrow_exception(failure.Error);
        } catch (const std::exception& e) {
            const auto* io = dynamic_cast<const EInOutError*>(&e);
            Fail(err, io != nullptr && !io->FileName().empty() ? DescribeError(e)
                                                               : failure.FileName + ": " + e.what());
        } catch (...) {
            Fail(err, failure.FileName + ": unknown error");
        }
    }
    return listing.Failures.empty() ? 0 : 1;
}

int RunFormsCommand(const CliArgs& args, std::ostream& out, std::ostream& err) {
    std::string databaseArg;
    std::string depath;
    bool all = false;
    bool json = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--all") {
            all = true;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--depath") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                return Usage(err, "--depath needs a directory");
            }
            depath = args[++i];
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage(err, "unknown option " + arg);
        } else if (databaseArg.empty()) {
            databaseArg = arg;
        } else {
            return Usage(err, "forms takes one database");
        }
    }
    if (databaseArg.empty()) {
        return Usage(err, "forms needs a database");
    }
    TDEInfoRec database;
    LoadDatabase(database, databaseArg, depath);
    if (!all) {
        const std::vector<std::string> lines = FormListLines(database);
        if (json) {
            out << "[";
            for (std::size_t i = 0; i < lines.size(); ++i) {
                out << (i == 0 ? "\n  " : ",\n  ");
                WriteJsonString(out, lines[i]);
            }
            out << (lines.empty() ? "]\n" : "\n]\n");
        } else {
            for (const std::string& line : lines) {
                out << EscapeControls(line) << '\n';
            }
        }
        return 0;
    }
    if (json) {
        out << "[";
    }
    bool first = true;
    for (const TFormRec* form = database.FirstForm(); form != nullptr; form = form->Next.get()) {
        if (json) {
            out << (first ? "\n  " : ",\n  ") << "{\"Name\": ";
            WriteJsonString(out, form->Name);
            out << ", \"DataFile\": ";
            WriteJsonString(out, form->DataFile);
            out << ", \"RecordLength\": " << form->RecordLength << ", \"RecordCount\": " << form->RecordCount
                << ", \"SystemForm\": " << (form->SystemForm ? 1 : 0)
                << ", \"VariantLevel\": " << static_cast<unsigned>(form->VariantLevel)
                << ", \"ObjectFile\": ";
            WriteJsonString(out, form->ObjectFile);
            out << "}";
        } else {
            out << EscapeControls(form->Name) << '\t' << EscapeControls(form->DataFile) << '\t' << form->RecordLength << '\t'
                << form->RecordCount << '\t' << (form->SystemForm ? 1 : 0) << '\t'
                << static_cast<unsigned>(form->VariantLevel) << '\t' << form->ObjectFile << '\n';
        }
        first = false;
    }
    if (json) {
        out << (first ? "]\n" : "\n]\n");
    }
    return 0;
}

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err) {
    if (argc < 2) {
        return Usage(err, "");
    }
    const std::string command = argv[1];
    const CliArgs args(argv + 2, argv + argc);
    try {
        if (command == "databases") {
            return RunDatabasesCommand(args, out, err);
        }
        if (command == "forms") {
            return RunFormsCommand(args, out, err);
        }
        if (command == "export") {
            return RunExportCommand(args, out, err);
        }
        if (command == "fields") {
            return RunFieldsCommand(args, out, err);
        }
        if (command == "--version" || command == "-V") {
            out << "corvane-cli " << CorvaneVersion() << "\n";
            return 0;
        }
        if (command == "--help" || command == "-h" || command == "help") {
            out << kUsage;
            return 0;
        }
        return Usage(err, "unknown command " + command);
    } catch (const std::exception& e) {
        return Fail(err, DescribeError(e));
    }
}

} // namespace corvane
