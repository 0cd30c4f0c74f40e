#include "ui/logic/SystemProcess.h"

#include "environment/Environment.h"
#include "text/TextUtils.h"

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane::ui {

namespace fs = std::filesystem;

namespace {
bool Writable(const std::string& path) {
    return ::access(path.c_str(), W_OK) == 0;
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
    struct stat info {};
    return ::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && ::access(dir.c_str(), X_OK) == 0;
}

} // namespace corvane::ui
