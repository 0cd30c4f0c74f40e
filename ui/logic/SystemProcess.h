#pragma once
// The real process surroundings of the program, for the windows.

#include "ui/logic/Toolkit.h"

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

// corvane.ini beside the program when its directory is writable (a portable install), otherwise in the user's
// configuration directory ($XDG_CONFIG_HOME/corvane/, default ~/.config/corvane/), which is created.
std::string SettingsFileFor(const std::string& programDirectory);

} // namespace corvane::ui
