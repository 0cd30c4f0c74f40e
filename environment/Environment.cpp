#include "environment/Environment.h"

#include "environment/IniFile.h"
#include "text/TextUtils.h"

#include "platform/Platform.h"

#include <cstdio>

namespace corvane {

TEnvironment Environment;

namespace {
std::string Lookup(const std::function<std::string(const char*)>& getEnv, const char* name) {
    return getEnv ? getEnv(name) : GetEnvironmentVariable(name);
}

// An XDG base directory: the variable when it holds an absolute path, else home + fallback.
std::string XdgDirectory(const std::function<std::string(const char*)>& getEnv, const char* variable,
                         const char* fallback) {
    const std::string value = Lookup(getEnv, variable);
    if (!value.empty() && value.front() == '/') {
        return value;
    }
    const std::string home = HomeDirectory(getEnv);
    if (home.empty()) {
        return {};
    }
    return JoinPath(home, fallback);
}

std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == kPathSeparator) {
        path.pop_back();
    }
    return path;
}
} // namespace

std::string GetEnvironmentVariable(const char* name) {
    return platform::EnvironmentVariable(name);
}

std::string HomeDirectory(const std::function<std::string(const char*)>& getEnv) {
    std::string home = Lookup(getEnv, "HOME");
    if (!home.empty()) {
        return home;
    }
    return platform::UserHomeDirectory();
}

std::string RunningProgramPath() {
    return platform::ProgramPath();
}

std::string JoinPath(std::string_view base, std::string_view rel) {
    if (base.empty()) {
        return std::string(rel);
    }
    std::string result = WithTrailingSeparator(base);
    if (rel.empty()) {
        return result;
    }
    if (rel.front() == kPathSeparator) {
        rel.remove_prefix(1);
    }
    result.append(rel);
    return result;
}

std::string GetSpecialFolder(TWindowHandle /*owner*/, int csidl,
                             const std::function<std::string(const char*)>& getEnv) {
    std::string folder = platform::SpecialFolder(csidl);
    if (!folder.empty()) {
        return WithoutTrailingSeparators(folder);
    }
    switch (csidl) {
    case kCsidlPersonal:
        folder = HomeDirectory(getEnv);
        break;
    case kCsidlAppData:
        folder = XdgDirectory(getEnv, "XDG_CONFIG_HOME", ".config");
        break;
    case kCsidlLocalAppData:
    case kCsidlCommonAppData:
        folder = XdgDirectory(getEnv, "XDG_DATA_HOME", ".local/share");
        break;
    default:
        return {};
    }
    if (folder.empty()) {
        return {};
    }
    // The folder is created when missing; whether that worked is not examined.
    platform::CreateDirectories(folder);
    return WithoutTrailingSeparators(folder);
}

std::string FormatBuildStamp(const std::tm& local, char timeSeparator) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02d%c%02d%02d", (local.tm_year + 1900) % 10000,
                  (local.tm_mon + 1) % 100, local.tm_mday % 100, timeSeparator, local.tm_hour % 100,
                  local.tm_min % 100);
    return buffer;
}

char TimeSeparatorOfFormat(std::string_view format) {
    for (std::size_t i = 0; i + 1 < format.size(); ++i) {
        if (format[i] != '%') {
            continue;
        }
        const char conversion = format[i + 1];
        if (conversion == 'T' || conversion == 'R' || conversion == 'r') {
            return ':';
        }
        if (conversion == 'H' || conversion == 'I' || conversion == 'k' || conversion == 'l') {
            if (i + 2 < format.size() && format[i + 2] != '%') {
                return format[i + 2];
            }
            return ':';
        }
        ++i; // skip the conversion character (also "%%")
    }
    return ':';
}

char LocaleTimeSeparator() {
    return TimeSeparatorOfFormat(platform::TimeFormat());
}

void InitEnvironmentFor(TEnvironment& env, TWindowHandle owner, const std::string& programPath,
                        const std::function<std::string(const char*)>& getEnv) {
    if (!env.ProgramDirectory.empty()) {
        return;
    }
    env.OwnerWindow = owner;
    const std::size_t slash = LastCharPos(kPathSeparator, programPath);
    env.ProgramDirectory = programPath.substr(0, slash);
    env.ProgramFileName = programPath.substr(slash);
    if (env.ProgramDirectory.empty()) {
        // A bare file name: the program lives in the current directory.
        env.ProgramDirectory = std::string(".") + kPathSeparator;
    }

    const std::string programFile = env.ProgramDirectory + env.ProgramFileName;
    env.BuildStamp.clear();
    if (!env.ProgramFileName.empty()) {
        const platform::TFileStatus status = platform::StatusOf(programFile);
        std::tm local{};
        if (status.Exists && platform::LocalTime(status.ModificationTime, local)) {
            env.BuildStamp = FormatBuildStamp(local, LocaleTimeSeparator());
        }
    }

    const TIniFile settings(env.ProgramDirectory + "Environment.ini");
    const std::string commonFolder = GetSpecialFolder(env.OwnerWindow, kCsidlCommonAppData, getEnv);
    std::string common =
        WithTrailingSeparator(settings.ReadString("Paths", "CommonAppDataPath", commonFolder));
    if (!common.empty() && common.front() == '$') {
        common = JoinPath(env.ProgramDirectory, std::string_view(common).substr(1));
    }
    env.CommonDataDirectory = common;

    // Made sure of at every start; a directory that cannot be created is passed over in silence.
    platform::CreateDirectories(env.CommonDataDirectory + "Ostrel" + kPathSeparator + "Quintor");
}

void InitEnvironment(TWindowHandle owner) {
    InitEnvironmentFor(Environment, owner, RunningProgramPath());
}

} // namespace corvane
