// The read-only promise: with every file and directory of a sample database made read-only, `forms`,
// `fields` and `export` read it fine, and afterwards every byte, permission and modification time is as it
// was and no file has been added.

#include "cli/FaultSupport.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

namespace tw = testwriter;
using namespace corvane::testing;

void SetTreeWritable(const fs::path& dir, bool writable) {
    const auto perms = [writable](bool isDir) {
        fs::perms p = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
        if (isDir) {
            p |= fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
        }
        if (writable) {
            p |= fs::perms::owner_write;
        }
        return p;
    };
    // Files first, then the directories from the deepest up, so that the walk never loses access.
    std::vector<fs::path> dirs{dir};
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_directory()) {
            dirs.push_back(entry.path());
        } else {
            fs::permissions(entry.path(), perms(false));
        }
    }
    if (writable) {
        for (const auto& d : dirs) {
            fs::permissions(d, perms(true));
        }
        for (const auto& entry : fs::recursive_directory_iterator(dir)) {
            if (!entry.is_directory()) {
                fs::permissions(entry.path(), perms(true));
            }
        }
        return;
    }
    for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) {
        fs::permissions(*it, perms(true) & ~fs::perms::owner_write);
    }
}

class ReadOnlySample : public ::testing::TestWithParam<std::string> {};

TEST_P(ReadOnlySample, IsReadAndLeftUntouched) {
    tw::TempDir root;
    const fs::path db = root / "db";
    CopySample(GetParam(), db);
    tw::TempDir out;
    SetTreeWritable(db, false);
    const auto before = SnapshotTree(db);

    const std::vector<std::string> dbArgs = DatabaseArgs(db);
    std::vector<std::string> forms{"forms"};
    forms.insert(forms.end(), dbArgs.begin(), dbArgs.end());
    const ToolRun listed = RunToolWith(forms, {});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find("Customers"), std::string::npos);

    const ToolRun fields = RunToolWith({"fields", db.string(), "--form", "Customers"}, {});
    EXPECT_EQ(fields.status, 0) << fields.err;
    EXPECT_FALSE(fields.out.empty());

    std::vector<std::string> exportArgs{"export"};
    exportArgs.insert(exportArgs.end(), dbArgs.begin(), dbArgs.end());
    exportArgs.insert(exportArgs.end(), {"--out", out.Path().string()});
    const ToolRun exported = RunToolWith(exportArgs, {});
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_TRUE(fs::exists(out / "Customers.csv"));
    EXPECT_GT(fs::file_size(out / "Customers.csv"), 0U);

    const auto after = SnapshotTree(db);
    SetTreeWritable(db, true);
    EXPECT_EQ(after.size(), before.size());
    for (const auto& [path, state] : before) {
        SCOPED_TRACE(path);
        ASSERT_EQ(after.count(path), 1U);
        EXPECT_TRUE(after.at(path) == state);
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, ReadOnlySample, ::testing::ValuesIn(SampleVersions()),
                         [](const auto& info) { return info.param; });

} // namespace
} // namespace corvane
