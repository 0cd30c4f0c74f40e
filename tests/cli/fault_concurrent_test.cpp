// Concurrent exports of one database into one directory: each run's temporaries are its own, so no run
// removes another's file while it is being written, and every run ends with every file complete.

#include "cli/FaultSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>

namespace corvane {
namespace {

namespace tw = testwriter;
using namespace corvane::testing;

constexpr int kForms = 24;
constexpr int kRecords = 400;
constexpr int kRuns = 6;
constexpr int kRounds = 4;

void WriteManyForms(const fs::path& dir) {
    std::vector<tw::FormSpec> forms;
    for (int f = 0; f < kForms; ++f) {
        tw::FormSpec form{.Name = "Form" + std::to_string(f),
                          .Fields = {tw::TextField("Name", 30), tw::WholeNumber("N", 4)}};
        for (int i = 0; i < kRecords; ++i) {
            form.Records.push_back({.Values = {{"Name", "record " + std::to_string(i)}, {"N", i * f}}});
        }
        forms.push_back(form);
    }
    tw::WriteDatabase(dir, {.Version = 5, .Name = "Many", .Forms = forms});
}

std::map<std::string, std::string> FilesOf(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        files[entry.path().filename().string()] = tw::ReadFileText(entry.path());
    }
    return files;
}

TEST(ConcurrentExports, IntoOneDirectoryAllSucceed) {
    tw::TempDir db;
    WriteManyForms(db.Path());
    const std::vector<std::string> args{"export", db.Path().string(), "--out"};

    tw::TempDir reference;
    std::vector<std::string> alone = args;
    alone.push_back(reference.Path().string());
    const ToolRun single = RunToolWith(alone, {});
    ASSERT_EQ(single.status, 0) << single.err;
    const std::map<std::string, std::string> expected = FilesOf(reference.Path());
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(kForms));

    tw::TempDir out;
    tw::TempDir capture;
    std::vector<std::string> together = args;
    together.push_back(out.Path().string());
    for (int round = 0; round < kRounds; ++round) {
        std::vector<pid_t> pids;
        for (int r = 0; r < kRuns; ++r) {
            const std::string name = std::to_string(round) + "-" + std::to_string(r);
            pids.push_back(StartTool(together, (capture / ("out" + name)).string(),
                                     (capture / ("err" + name)).string()));
            ASSERT_GT(pids.back(), 0);
        }
        for (int r = 0; r < kRuns; ++r) {
            int status = 0;
            ::waitpid(pids[static_cast<std::size_t>(r)], &status, 0);
            const std::string name = std::to_string(round) + "-" + std::to_string(r);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                << "round " << round << ", run " << r << ": status " << status << "\n"
                << tw::ReadFileText(capture / ("err" + name));
        }
        EXPECT_EQ(FilesOf(out.Path()), expected) << "round " << round;
    }
}

} // namespace
} // namespace corvane
