#pragma once
// Finding the DataEase databases of a directory: one dictionary file "rdrr?aaa.dbm" per database. Shared by
// the command-line tool and the database selection dialog.

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// True when name matches "rdrr?aaa.dbm": letters without regard to case, "?" exactly one character of any
// kind.
bool MatchesDictionaryPattern(std::string_view name);

// Names of the entries of directory that match the pattern, sorted bytewise. Throws EInOutError when the
// directory cannot be read.
std::vector<std::string> FindDictionaryFiles(const std::string& directory);

// The selection-list label of a version code: "4.x  ", "5.x  ", "DfW  ", or "" for any other code.
std::string VersionLabel(std::uint8_t version);

struct TDatabaseEntry {
    std::string FileName; // the dictionary file name as the directory listing spells it
    std::uint8_t Version = 0;
    std::string DisplayName; // GetDisplayName of the loaded database
    // The line the selection list shows: label followed directly by the display name.
    std::string Line() const { return VersionLabel(Version) + DisplayName; }
};

// A dictionary that could not be loaded.
struct TDatabaseFailure {
    std::string FileName; // as the directory listing spells it
    std::exception_ptr Error;
};

struct TDatabaseListing {
    std::vector<TDatabaseEntry> Entries;
    // The first candidate that failed to load, if any.
    std::exception_ptr Error;
    std::string FailedFile;
    // Every candidate that failed, in file-name order (at most one when the listing stops at the first).
    std::vector<TDatabaseFailure> Failures;
};

enum class TListingMode {
    StopAtFirstError, // the selection dialog's rule: Entries holds the databases before the failing one
    ReportEachError,  // every readable database is listed; each failing one is kept in Failures
};

// Loads every dictionary of directory (given with a trailing separator) for its version and display name, in
// file-name order. Errors listing the directory itself are thrown; an error loading one candidate is returned
// in Error, FailedFile and Failures, and by default ends the listing.
TDatabaseListing ListDatabases(const std::string& directory,
                               TListingMode mode = TListingMode::StopAtFirstError);

} // namespace corvane
