// A full disk: an export under a file-size limit (RLIMIT_FSIZE; the tool ignores SIGXFSZ itself, so a write
// past the limit fails with EFBIG whether or not the shell that started it ignored the signal) ends with
// status 1 and a clear error, leaves the older export of that name as it was and no partial or temporary file
// beside it.

#include "cli/FaultSupport.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

namespace tw = testwriter;
using namespace corvane::testing;

constexpr int kRecords = 3000;
constexpr std::string_view kOlderExport = "Name,Count\r\nolder,1\r\n";

// One form whose export runs to about 150 KB, more than two of the writer's 64 KiB buffers.
void WriteLargeDatabase(const fs::path& dir) {
    std::vector<tw::RecordSpec> records;
    for (int i = 0; i < kRecords; ++i) {
        records.push_back(
            {.Values = {{"Name", "customer number " + std::to_string(i) + " of the large table"},
                        {"Count", i}}});
    }
    tw::WriteDatabase(dir, {.Version = 5,
                            .Name = "Large",
                            .Forms = {{.Name = "Customers",
                                       .Fields = {tw::TextField("Name", 44), tw::WholeNumber("Count", 4)},
                                       .Records = records}}});
}

struct SizeLimit {
    const char* what;
    rlim_t bytes;
    bool signalIgnoredByParent; // false: as "ulimit -f" in an ordinary shell, SIGXFSZ at its default
};

void PrintTo(const SizeLimit& limit, std::ostream* os) {
    *os << limit.bytes << " bytes";
}

class FullDisk : public ::testing::TestWithParam<SizeLimit> {};

TEST_P(FullDisk, FailsClearlyAndKeepsTheOlderFile) {
    tw::TempDir db;
    WriteLargeDatabase(db.Path());
    tw::TempDir out;
    tw::WriteFile(out / "Customers.csv", kOlderExport);

    ToolOptions options;
    options.fileSizeLimit = GetParam().bytes;
    options.ignoreFileSizeSignal = GetParam().signalIgnoredByParent;
    const ToolRun run = RunToolWith({"export", db.Path().string(), "--out", out.Path().string()}, options);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.status, 1) << run.err;
    const std::vector<std::string> lines = Lines(run.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().rfind("corvane-cli: Customers: ", 0), 0U) << run.err;
    EXPECT_NE(lines.front().find("File too large"), std::string::npos) << run.err;

    EXPECT_EQ(tw::ReadFileText(out / "Customers.csv"), kOlderExport);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out.Path())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"Customers.csv"});
}

TEST(NoSizeLimit, TheSameExportSucceeds) {
    tw::TempDir db;
    WriteLargeDatabase(db.Path());
    tw::TempDir out;
    tw::WriteFile(out / "Customers.csv", kOlderExport);
    const ToolRun run = RunToolWith({"export", db.Path().string(), "--out", out.Path().string()}, {});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = Lines(tw::ReadFileText(out / "Customers.csv"));
    ASSERT_EQ(lines.size(), kRecords + 1U);
    EXPECT_EQ(lines[1], "\"customer number 0 of the large table\",0\r");
}

const SizeLimit kLimits[] = {
    {"before_the_first_buffer_is_written", 4096, true},
    {"after_the_first_buffer", 100000, true},
    {"ulimit_before_the_first_buffer", 4096, false},
    {"ulimit_after_the_first_buffer", 100000, false},
};

INSTANTIATE_TEST_SUITE_P(Limits, FullDisk, ::testing::ValuesIn(kLimits),
                         [](const auto& info) { return std::string(info.param.what); });

} // namespace
} // namespace corvane
