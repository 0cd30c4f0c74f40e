#pragma once
// The real process surroundings of the program, for the windows.

#include "ui/logic/Toolkit.h"

#include <functional>
#include <string>

namespace corvane::ui {

class TSystemProcess : public IProcess {
public:
    // settingsFileName: the settings file to use; empty chooses it with SettingsFileFor.
    explicit TSystemProcess(std::string settingsFileName = {});
    std::string GetEnv(const std::string& name) const override;
    std::string ProgramDirectory() const override;
    std::string SettingsFileName() const override { return settingsFileName_; }
    std::string HomeDirectory() const override;
    bool CanEnterDirectory(const std::string& dir) const override;

private:
    std::string settingsFileName_;
};

// The settings file of a program in programDirectory. Beside the program only when that is writable and
// either a corvane.ini is already there (a portable copy, made so on purpose) or the directory is part of a
// CMake build tree (it holds "CMakeFiles"); otherwise in the user's configuration directory
// ($XDG_CONFIG_HOME/corvane/, default ~/.config/corvane/), which is created. An installed program therefore
// never writes beside itself, even when run with the rights to. "corvane.ini" in the current directory when
// no home directory is known. getEnv looks up environment variables (default: the process's).
std::string SettingsFileFor(const std::string& programDirectory,
                            const std::function<std::string(const char*)>& getEnv = {});

} // namespace corvane::ui
