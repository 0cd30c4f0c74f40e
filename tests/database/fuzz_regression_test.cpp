// Replays, without libFuzzer, every input that the fuzz targets once crashed on (fuzz/regressions/<target>/),
// through the same entry points the targets drive, and checks the seed corpus: each seed is read without
// error, and each seed cut short at many lengths gives an answer or one of the library's errors, nothing
// else.

#include "fuzz/FuzzEntryPoints.h"
#include "fuzz/corpus/Seeds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

namespace corvane {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> RegressionInputs(const char* target) {
    std::vector<fs::path> files;
    const fs::path dir = fs::path(CORVANE_SOURCE_DIR) / "fuzz" / "regressions" / target;
    if (fs::is_directory(dir)) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

class FuzzTarget : public ::testing::TestWithParam<fuzz::SeedSet> {};

TEST_P(FuzzTarget, ReplaysEveryCommittedCrashInput) {
    const fuzz::SeedSet& set = GetParam();
    for (const fs::path& file : RegressionInputs(set.Target)) {
        SCOPED_TRACE(file.string());
        const testwriter::Bytes bytes = testwriter::ReadFileBytes(file);
        // An exact-size heap copy, as the fuzz target gets it.
        auto copy = std::make_unique<std::uint8_t[]>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), copy.get());
        EXPECT_NO_THROW(set.Run({copy.get(), bytes.size()}));
    }
}

TEST_P(FuzzTarget, ReadsEverySeedWithoutError) {
    const fuzz::SeedSet& set = GetParam();
    const std::vector<fuzz::Seed> seeds = set.Build();
    ASSERT_FALSE(seeds.empty());
    for (const fuzz::Seed& seed : seeds) {
        SCOPED_TRACE(seed.Name);
        EXPECT_EQ(set.Run(seed.Data), fuzz::Outcome::Accepted);
    }
}

TEST_P(FuzzTarget, SeedsCutShortGiveAnAnswerOrALibraryError) {
    const fuzz::SeedSet& set = GetParam();
    for (const fuzz::Seed& seed : set.Build()) {
        const std::size_t size = seed.Data.size();
        const std::size_t step = std::max<std::size_t>(1, size / 200);
        for (std::size_t length = 0; length < size; length += step) {
            SCOPED_TRACE(seed.Name + " cut to " + std::to_string(length));
            const std::vector<std::uint8_t> cut(seed.Data.begin(),
                                                seed.Data.begin() + static_cast<std::ptrdiff_t>(length));
            EXPECT_NO_THROW(set.Run(cut));
        }
    }
}

TEST(FuzzExportInput, SplitsHeaderDefinitionAndData) {
    fuzz::ExportInput in;
    in.Settings = fuzz::ExportSettingsFor(7);
    in.RecordLength = 0x1234;
    in.RecordCount = -2;
    in.Definition = {1, 2, 3};
    in.Data = {9, 8};
    const std::vector<std::uint8_t> expected{3, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 3, 0, 1, 2, 3, 9, 8};
    EXPECT_EQ(fuzz::PackExportInput(in), expected);
}

std::string TargetName(const ::testing::TestParamInfo<fuzz::SeedSet>& info) {
    return info.param.Target;
}

INSTANTIATE_TEST_SUITE_P(AllTargets, FuzzTarget, ::testing::ValuesIn(fuzz::AllSeedSets()), TargetName);

} // namespace
} // namespace corvane
