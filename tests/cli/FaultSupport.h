#pragma once
// Shared pieces of the fault tests: copies of the sample databases, snapshots of files, and the checks every
// run of the tool on a damaged database must pass.

#include "cli/RunTool.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace corvane::testing {

namespace fs = std::filesystem;

inline const std::vector<std::string>& SampleVersions() {
    static const std::vector<std::string> versions{"v3", "v5", "v6", "v7"};
    return versions;
}

inline fs::path SampleDirectory(const std::string& version) {
    return fs::path(CORVANE_SOURCE_DIR) / "examples" / version;
}

// Copies the sample database into dir (its DataEase program directory included, when it has one).
inline void CopySample(const std::string& version, const fs::path& dir) {
    fs::copy(SampleDirectory(version), dir,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

// The arguments that point the tool at a copied sample: the database and, where there is one, its program
// directory.
inline std::vector<std::string> DatabaseArgs(const fs::path& dir) {
    std::vector<std::string> args{dir.string()};
    if (fs::is_directory(dir / "depath")) {
        args.push_back("--depath");
        args.push_back((dir / "depath").string());
    }
    return args;
}

// Every regular file under dir, in name order.
inline std::vector<fs::path> FilesUnder(const fs::path& dir) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The bytes, permissions and modification time (to the nanosecond) of a file.
struct FileState {
    testwriter::Bytes bytes;
    mode_t mode = 0;
    std::int64_t mtimeNs = 0;
    friend bool operator==(const FileState&, const FileState&) = default;
};

inline FileState StateOf(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return {};
    }
    FileState state;
    if (S_ISREG(st.st_mode)) {
        state.bytes = testwriter::ReadFileBytes(path);
    }
    state.mode = st.st_mode;
    state.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return state;
}

// Every file and directory under dir (dir itself included).
inline std::map<std::string, FileState> SnapshotTree(const fs::path& dir) {
    std::map<std::string, FileState> snapshot{{dir.string(), StateOf(dir)}};
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        snapshot[entry.path().string()] = StateOf(entry.path());
    }
    return snapshot;
}

// A run on a damaged database ended on its own, soon, with status 0 or 1, and explained a failure.
inline void ExpectCleanEnd(const ToolRun& run, double maxSeconds = 5) {
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.signal, 0) << run.err;
    EXPECT_TRUE(run.status == 0 || run.status == 1) << "status " << run.status << "\n" << run.err;
    EXPECT_LT(run.seconds, maxSeconds);
    if (run.status == 1) {
        EXPECT_NE(run.err.find("corvane-cli: "), std::string::npos) << run.err;
    }
    for (const std::string& line : Lines(run.err)) {
        EXPECT_FALSE(line.empty()) << run.err;
    }
}

} // namespace corvane::testing
