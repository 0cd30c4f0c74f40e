#include "ui/logic/SystemProcess.h"

#include "environment/Environment.h"
#include "text/TextUtils.h"

#include "platform/Platform.h"

#include <filesystem>

namespace corvane::ui {

namespace fs = std::filesystem;

namespace {
bool Writable(const std::string& path) {
    return platform::WriteAccess(path) == 0;
}
} // namespace

std::string SettingsFileFor(const std::string& programDirectory,
                            const std::function<std::string(const char*)>& getEnv) {
    if (!programDirectory.empty()) {
        const std::string dir = WithTrailingSeparator(programDirectory);
        const std::string beside = dir + "corvane.ini";
        std::error_code ignored;
        if (Writable(beside) || (fs::is_directory(dir + "CMakeFiles", ignored) && Writable(dir))) {
            return beside;
        }
    }
    const std::string config = GetSpecialFolder(0, kCsidlAppData, getEnv);
    if (config.empty()) {
        return "corvane.ini";
    }
    const std::string dir = JoinPath(config, "corvane");
    std::error_code ignored;
    fs::create_directories(dir, ignored);
    return JoinPath(dir, "corvane.ini");
}

TSystemProcess::TSystemProcess(std::string settingsFileName)
    : settingsFileName_(settingsFileName.empty() ? SettingsFileFor(Environment.ProgramDirectory)
                                                 : std::move(settingsFileName)) {}

std::string TSystemProcess::GetEnv(const std::string& name) const {
    return GetEnvironmentVariable(name.c_str());
}

std::string TSystemProcess::ProgramDirectory() const {
    return Environment.ProgramDirectory;
}

std::string TSystemProcess::HomeDirectory() const {
    const std::string home = corvane::HomeDirectory();
    return home.empty() ? std::string(1, kPathSeparator) : WithTrailingSeparator(home);
}

bool TSystemProcess::CanEnterDirectory(const std::string& dir) const {
    return platform::CanEnterDirectory(dir);
}

} // namespace corvane::ui
