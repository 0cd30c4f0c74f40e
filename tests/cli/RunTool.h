#pragma once
// Runs the built corvane-cli as a user would and captures what it prints.

#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "tools/testwriter/TestWriter.h"

namespace corvane::testing {

struct ToolResult {
    int status = -1; // exit status, or -1 when the tool ended by a signal
    int signal = 0;  // the signal that ended it, if any
    std::string out;
    std::string err;
};

// Runs corvane-cli with args; env entries ("NAME=value") are added to the environment, "NAME" alone removes
// it.
inline ToolResult RunTool(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    testwriter::TempDir capture;
    const std::string outPath = (capture / "out").string();
    const std::string errPath = (capture / "err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    std::vector<std::string> argStore{CORVANE_CLI_PATH};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    std::vector<std::string> envStore;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const std::string& change : env) {
            const std::string name = change.substr(0, change.find('='));
            if (entry.compare(0, name.size() + 1, name + "=") == 0) {
                replaced = true;
            }
        }
        if (!replaced) {
            envStore.push_back(entry);
        }
    }
    for (const std::string& change : env) {
        if (change.find('=') != std::string::npos) {
            envStore.push_back(change);
        }
    }
    std::vector<char*> envp;
    for (std::string& e : envStore) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    ToolResult result;
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        result.err = "could not start corvane-cli";
        return result;
    }
    posix_spawn_file_actions_destroy(&actions);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    if (WIFEXITED(wstatus)) {
        result.status = WEXITSTATUS(wstatus);
    } else if (WIFSIGNALED(wstatus)) {
        result.signal = WTERMSIG(wstatus);
    }
    result.out = testwriter::ReadFileText(outPath);
    result.err = testwriter::ReadFileText(errPath);
    return result;
}

} // namespace corvane::testing
