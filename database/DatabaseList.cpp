#include "database/DatabaseList.h"

#include "database/DEInfoRec.h"
#include "database/PlatformFile.h"

#include <cctype>

namespace corvane {

bool MatchesDictionaryPattern(std::string_view name) {
    static constexpr std::string_view kPattern = "rdrr?aaa.dbm";
    if (name.size() != kPattern.size()) {
        return false;
    }
    for (std::size_t i = 0; i < kPattern.size(); ++i) {
        if (kPattern[i] == '?') {
            continue;
        }
        const auto c = static_cast<unsigned char>(name[i]);
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : static_cast<char>(c);
        if (lower != kPattern[i]) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> FindDictionaryFiles(const std::string& directory) {
    std::vector<std::string> found;
    for (const std::string& name : ListDirectory(directory)) {
        if (MatchesDictionaryPattern(name)) {
            found.push_back(name);
        }
    }
    return found;
}

std::string VersionLabel(std::uint8_t version) {
    switch (version) {
    case kVersion4x:
        return "4.x  ";
    case kVersion5x:
        return "5.x  ";
    case kVersionDfW:
        return "DfW  ";
    default:
        return {};
    }
}

TDatabaseListing ListDatabases(const std::string& directory, TListingMode mode) {
    TDatabaseListing listing;
    for (const std::string& name : FindDictionaryFiles(directory)) {
        try {
            TDEInfoRec database;
            database.SetDirectory(directory);
            database.SetDictionaryName(name);
            database.Load();
            listing.Entries.push_back({name, database.GetVersion(), database.GetDisplayName()});
        } catch (...) {
            listing.Failures.push_back({name, std::current_exception()});
            if (!listing.Error) {
                listing.Error = listing.Failures.back().Error;
                listing.FailedFile = name;
            }
            if (mode == TListingMode::StopAtFirstError) {
                break;
            }
        }
    }
    return listing;
}

} // namespace corvane
