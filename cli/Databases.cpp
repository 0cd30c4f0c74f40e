// Finding and loading the databases that the command line names.

#include "cli/Commands.h"

#include "database/DatabaseList.h"
#include "database/Errors.h"
#include "database/PlatformFile.h"
#include "export/ExportRun.h"
#include "text/TextUtils.h"

#include "platform/Platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <system_error>

namespace corvane {

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
                       std::int64_t records, const std::string& detail, int failed, bool stopped,
                       const std::string& prefix) {
    err << "corvane-cli: " << prefix << exported << " of " << total << " forms exported to " << out << " ("
        << records << " records" << detail << ")";
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
    const std::string path = platform::ProgramPath();
    return path.substr(0, path.find_last_of(platform::kPathSeparators) + 1);
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

std::vector<TFoundDatabase> FindDatabasesBelow(const std::string& directory,
                                               std::vector<std::string>& problems) {
    namespace fs = std::filesystem;
    const std::string top = WithTrailingSeparator(directory);
    std::vector<std::string> directories{""}; // below top, each with a trailing separator
    std::error_code ec;
    fs::recursive_directory_iterator it(top, fs::directory_options::none, ec);
    if (ec) {
        problems.push_back(directory + ": " + ec.message());
        return {};
    }
    for (const fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
        if (ec) {
            problems.push_back(it->path().string() + ": " + ec.message());
            ec.clear();
            continue;
        }
        // Symbolic links to directories are not followed, so a link cannot make the search go round.
        if (it->is_directory(ec) && !it->is_symlink(ec)) {
            directories.push_back(WithTrailingSeparator(fs::relative(it->path(), top, ec).generic_string()));
        }
    }
    if (ec) {
        problems.push_back(directory + ": " + ec.message());
    }
    std::sort(directories.begin(), directories.end());
    std::vector<TFoundDatabase> found;
    for (const std::string& below : directories) {
        std::vector<std::string> names;
        try {
            names = FindDictionaryFiles(top + below);
        } catch (const std::exception& error) {
            problems.push_back(DescribeError(error));
            continue;
        }
        for (const std::string& name : names) {
            TFoundDatabase database;
            database.Directory = top + below;
            database.DictionaryName = name;
            database.RelativeFile = below + name;
            database.OutputPath = below.empty() ? std::string() : below.substr(0, below.size() - 1);
            if (below.empty() || names.size() > 1) {
                const std::string stem = name.substr(0, name.find_last_of('.'));
                database.OutputPath += (database.OutputPath.empty() ? "" : "/") + stem;
            }
            found.push_back(std::move(database));
        }
    }
    return found;
}

} // namespace corvane
