#pragma once
// Where the program runs: its directory and file name, a build stamp from the program file's modification
// time, and a shared data directory that start-up makes sure exists. Filled once, before any window is
// created.

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

namespace corvane {

// An opaque window handle; the folder lookup does not use it, it is only kept.
using TWindowHandle = std::uintptr_t;

struct TEnvironment {
    std::string ProgramDirectory;    // with a trailing separator; empty until the record is filled
    std::string ProgramFileName;     // without directory
    std::string BuildStamp;          // "yyyymmdd:hhmm" (the locale's time separator); empty when not found
    std::string CommonDataDirectory; // with a trailing separator (empty when configured empty)
    TWindowHandle OwnerWindow = 0;
};

// The program's one record.
extern TEnvironment Environment;

// Fills Environment for the running program; a later call returns at once and changes nothing.
void InitEnvironment(TWindowHandle owner);

// The same steps for the program file programPath into env (nothing happens when env is already filled).
// getEnv looks up environment variables for the special-folder lookup (default: the process's).
void InitEnvironmentFor(TEnvironment& env, TWindowHandle owner, const std::string& programPath,
                        const std::function<std::string(const char*)>& getEnv = {});

// base and rel joined by one separator: an empty base gives rel; an empty rel gives base with a separator; a
// separator leading rel is dropped once.
std::string JoinPath(std::string_view base, std::string_view rel);

// Special-folder codes that the lookup knows, and where they lead without Windows special folders.
inline constexpr int kCsidlPersonal = 5;       // the user's documents: the home directory
inline constexpr int kCsidlAppData = 26;       // $XDG_CONFIG_HOME, default ~/.config
inline constexpr int kCsidlLocalAppData = 28;  // $XDG_DATA_HOME, default ~/.local/share
inline constexpr int kCsidlCommonAppData = 35; // $XDG_DATA_HOME, default ~/.local/share

// The folder of that code, created when missing (failure to create is not examined), without a trailing
// separator. On Windows the system's special folder; elsewhere the XDG directory of the table above, "" for a
// code it does not know or when no home directory can be found.
std::string GetSpecialFolder(TWindowHandle owner, int csidl,
                             const std::function<std::string(const char*)>& getEnv = {});

// The user's home directory: $HOME, else the password database's entry; "" when neither names one.
std::string HomeDirectory(const std::function<std::string(const char*)>& getEnv = {});

// The value of an environment variable, "" when unset.
std::string GetEnvironmentVariable(const char* name);

// The full path of the running program file ("" when the system does not tell).
std::string RunningProgramPath();

// "yyyymmdd" + separator + "hhmm" of a broken-down local time.
std::string FormatBuildStamp(const std::tm& local, char timeSeparator);

// The time separator of the current LC_TIME locale (":" when the locale's time format names none).
char LocaleTimeSeparator();

// The separator that follows the hour in a strftime time format such as "%H:%M:%S" or "%I.%M.%S %p"; ':' when
// the format has none.
char TimeSeparatorOfFormat(std::string_view format);

} // namespace corvane
