// An interrupted export: the tool killed while it writes leaves the older file of that name as it was and no
// partial file under the final name; what it was writing carries a hidden name that no one takes for a
// result, and the next export removes it.

#include "cli/FaultSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

namespace corvane {
namespace {

namespace tw = testwriter;
using namespace corvane::testing;

constexpr std::string_view kOlderExport = "Name,Count,Since\r\nolder,1,01/01/1990\r\n";
constexpr std::uint64_t kRecords = 400000;

// One form of 400 000 records, several seconds of export in a debug build.
void WriteBigDatabase(const fs::path& dir) {
    const tw::FormSpec form{
        .Name = "Big",
        .RecordCount = static_cast<std::int32_t>(kRecords),
        .Fields = {tw::TextField("Name", 40), tw::WholeNumber("Count", 4), tw::DayCountDate("Since")},
        .WriteDataFile = false};
    tw::WriteDatabase(dir, {.Version = 5, .Name = "Big", .Forms = {form}});
    const std::vector<tw::FieldDef> fields = tw::LaidOutFields(form.Fields, 5);
    tw::WriteDataFileStreaming(
        dir / tw::DefaultDataFileName("Big"), tw::FormRecordLength(form, 5), kRecords,
        [&fields](std::uint64_t i, tw::Slot& slot) {
            slot.Text(fields[0].Offset, "record " + std::to_string(i), fields[0].Size);
            slot.I32(fields[1].Offset, static_cast<std::int32_t>(i));
            slot.DayCountDate(fields[2].Offset, {1990, 1, 1 + static_cast<int>(i % 28)});
        });
}

std::vector<std::string> EntryNames(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The temporary file beside Big.csv once it holds data, or "" when the tool ended first.
std::string WaitForPartialFile(const fs::path& out, pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        for (const auto& entry : fs::directory_iterator(out)) {
            const std::string name = entry.path().filename().string();
            std::error_code ec;
            if (name != "Big.csv" && fs::file_size(entry.path(), ec) > 0 && !ec) {
                return name;
            }
        }
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return {};
}

TEST(InterruptedExport, LeavesTheOlderFileAndAHiddenPartialOneThatTheNextRunRemoves) {
    tw::TempDir db;
    WriteBigDatabase(db.Path());
    tw::TempDir out;
    tw::TempDir capture;
    tw::WriteFile(out / "Big.csv", kOlderExport);

    const std::vector<std::string> args{"export", db.Path().string(), "--out", out.Path().string()};
    const pid_t pid = StartTool(args, (capture / "out").string(), (capture / "err").string());
    ASSERT_GT(pid, 0);
    const std::string partial = WaitForPartialFile(out.Path(), pid);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_FALSE(partial.empty()) << "the export ended before it could be interrupted";
    ASSERT_TRUE(WIFSIGNALED(status));

    EXPECT_EQ(tw::ReadFileText(out / "Big.csv"), kOlderExport);
    EXPECT_EQ(EntryNames(out.Path()), (std::vector<std::string>{partial, "Big.csv"}));
    EXPECT_EQ(partial.rfind(".Big.csv.corvane-partial-", 0), 0U) << partial;

    ToolOptions patient;
    patient.timeoutSeconds = 120;
    const ToolRun again = RunToolWith(args, patient);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(EntryNames(out.Path()), std::vector<std::string>{"Big.csv"});
    const std::string exported = tw::ReadFileText(out / "Big.csv");
    EXPECT_EQ(exported.rfind("Name,Count,Since\r\n\"record 0\",0,", 0), 0U) << exported.substr(0, 80);
    EXPECT_EQ(std::count(exported.begin(), exported.end(), '\n'), static_cast<std::ptrdiff_t>(kRecords + 1));
}

// SIGTERM (a shutdown, kill) or SIGINT (Ctrl-C) while the tool writes: it removes what it was writing, then
// ends by that signal, as it would without a handler; the older file stays.
class StoppedExport : public ::testing::TestWithParam<int> {};

TEST_P(StoppedExport, LeavesNoTemporaryAndEndsByTheSignal) {
    tw::TempDir db;
    WriteBigDatabase(db.Path());
    tw::TempDir out;
    tw::TempDir capture;
    tw::WriteFile(out / "Big.csv", kOlderExport);

    const std::vector<std::string> args{"export", db.Path().string(), "--out", out.Path().string()};
    const pid_t pid = StartTool(args, (capture / "out").string(), (capture / "err").string());
    ASSERT_GT(pid, 0);
    const std::string partial = WaitForPartialFile(out.Path(), pid);
    ::kill(pid, GetParam());
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_FALSE(partial.empty()) << "the export ended before it could be stopped";
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), GetParam());

    EXPECT_EQ(tw::ReadFileText(out / "Big.csv"), kOlderExport);
    EXPECT_EQ(EntryNames(out.Path()), std::vector<std::string>{"Big.csv"});
}

INSTANTIATE_TEST_SUITE_P(Signals, StoppedExport, ::testing::Values(SIGTERM, SIGINT), [](const auto& info) {
    return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGINT");
});

} // namespace
} // namespace corvane
