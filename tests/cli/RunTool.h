#pragma once
// Runs the built corvane-cli as a user would and captures what it prints.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
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

// ---- Runs under limits (fault tests) ----

struct ToolOptions {
    std::vector<std::string> env;          // as for RunTool
    double timeoutSeconds = 30;            // the tool is killed (SIGKILL) when it runs longer
    std::optional<rlim_t> fileSizeLimit{}; // RLIMIT_FSIZE of the tool, in bytes
    bool ignoreFileSizeSignal = false;     // SIGXFSZ ignored, so a write past the limit fails with EFBIG
};

struct ToolRun : ToolResult {
    bool timedOut = false;
    double seconds = 0; // wall-clock time until it ended
    long maxRssKiB = 0; // peak resident memory of the tool
};

// The environment of the test with the changes applied ("NAME=value" adds or replaces, "NAME" removes).
inline std::vector<std::string> ToolEnvironment(const std::vector<std::string>& env) {
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
    return envStore;
}

// Starts corvane-cli with args, its output and error going to the named files; returns its process id, or
// -1 when it could not be started. Only async-signal-safe calls run between fork and exec.
inline pid_t StartTool(const std::vector<std::string>& args, const std::string& outPath,
                       const std::string& errPath, const ToolOptions& options = {}) {
    std::vector<std::string> argStore{CORVANE_CLI_PATH};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> envStore = ToolEnvironment(options.env);
    std::vector<char*> envp;
    for (std::string& e : envStore) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid != 0) {
        return pid;
    }
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) {
        ::_exit(127);
    }
    // As from a terminal, whatever the test runner ignores.
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    if (options.ignoreFileSizeSignal) {
        ::signal(SIGXFSZ, SIG_IGN);
    }
    if (options.fileSizeLimit) {
        const rlimit limit{*options.fileSizeLimit, *options.fileSizeLimit};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            ::_exit(127);
        }
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
}

// Runs corvane-cli with args under options and captures what it prints, how long it ran and its peak memory.
inline ToolRun RunToolWith(const std::vector<std::string>& args, const ToolOptions& options) {
    testwriter::TempDir capture;
    const std::string outPath = (capture / "out").string();
    const std::string errPath = (capture / "err").string();
    ToolRun result;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = StartTool(args, outPath, errPath, options);
    if (pid < 0) {
        result.err = "could not start corvane-cli";
        return result;
    }
    int wstatus = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = ::wait4(pid, &wstatus, WNOHANG, &usage);
        if (done == pid) {
            break;
        }
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (!result.timedOut && elapsed.count() > options.timeoutSeconds) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.maxRssKiB = usage.ru_maxrss;
    if (WIFEXITED(wstatus)) {
        result.status = WEXITSTATUS(wstatus);
    } else if (WIFSIGNALED(wstatus)) {
        result.signal = WTERMSIG(wstatus);
    }
    result.out = testwriter::ReadFileText(outPath);
    result.err = testwriter::ReadFileText(errPath);
    return result;
}

// Runs corvane-cli with args; env entries ("NAME=value") are added to the environment, "NAME" alone removes
// it.
inline ToolResult RunTool(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    ToolOptions options;
    options.env = env;
    return RunToolWith(args, options);
}

} // namespace corvane::testing
