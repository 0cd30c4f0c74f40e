// Damaged copies of the sample databases: every file cut at many lengths and with bytes overwritten at random
// places. Each run of `forms` and `export` ends by itself within a few seconds with status 0 or 1 and a clear
// message; `forms` that fails prints exactly one line.

#include "cli/FaultSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace corvane {
namespace {

namespace tw = testwriter;
using namespace corvane::testing;

constexpr int kFlipVariants = 16;

// The lengths a file is cut to: the first bytes, the middle, the last byte missing.
std::vector<std::size_t> CutLengths(std::size_t size) {
    std::set<std::size_t> lengths{0,       1, 2, 21, 24, 26, size / 4, size / 3, size / 2, (3 * size) / 4,
                                  size - 1};
    std::vector<std::size_t> result;
    for (const std::size_t n : lengths) {
        if (n < size) {
            result.push_back(n);
        }
    }
    return result;
}

// A copy of bytes with up to eight bytes overwritten, some with 0xFF and 0x00 to reach extreme values.
tw::Bytes Flipped(const tw::Bytes& bytes, std::mt19937& random) {
    tw::Bytes result = bytes;
    if (result.empty()) {
        return result;
    }
    std::uniform_int_distribution<std::size_t> where(0, result.size() - 1);
    std::uniform_int_distribution<int> value(0, 255);
    std::uniform_int_distribution<int> count(1, 8);
    for (int i = count(random); i > 0; --i) {
        const int v = value(random);
        result[where(random)] = static_cast<std::uint8_t>(v < 32 ? 0xFF : v < 64 ? 0x00 : v);
    }
    return result;
}

class DamagedSample : public ::testing::TestWithParam<std::string> {
protected:
    void RunBoth(const std::string& what) {
        SCOPED_TRACE(what);
        std::vector<std::string> forms{"forms"};
        const std::vector<std::string> db = DatabaseArgs(dir.Path());
        forms.insert(forms.end(), db.begin(), db.end());
        const ToolRun listed = RunToolWith(forms, {});
        ExpectCleanEnd(listed);
        if (listed.status == 1) {
            EXPECT_EQ(Lines(listed.err).size(), 1U) << listed.err;
        }

        std::vector<std::string> exportArgs{"export"};
        exportArgs.insert(exportArgs.end(), db.begin(), db.end());
        exportArgs.insert(exportArgs.end(), {"--out", out.Path().string()});
        ExpectCleanEnd(RunToolWith(exportArgs, {}));
    }

    tw::TempDir dir;
    tw::TempDir out;
};

TEST_P(DamagedSample, CutFilesEndCleanly) {
    CopySample(GetParam(), dir.Path());
    for (const fs::path& file : FilesUnder(dir.Path())) {
        const tw::Bytes original = tw::ReadFileBytes(file);
        for (const std::size_t length : CutLengths(original.size())) {
            tw::WriteFile(
                file, tw::Bytes(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(length)));
            RunBoth(file.filename().string() + " cut to " + std::to_string(length) + " bytes");
        }
        tw::WriteFile(file, original);
    }
}

TEST_P(DamagedSample, OverwrittenBytesEndCleanly) {
    CopySample(GetParam(), dir.Path());
    std::mt19937 random(20240611);
    for (const fs::path& file : FilesUnder(dir.Path())) {
        const tw::Bytes original = tw::ReadFileBytes(file);
        for (int variant = 0; variant < kFlipVariants; ++variant) {
            tw::WriteFile(file, Flipped(original, random));
            RunBoth(file.filename().string() + " overwritten, variant " + std::to_string(variant));
        }
        tw::WriteFile(file, original);
    }
}

TEST_P(DamagedSample, MissingFilesEndCleanly) {
    CopySample(GetParam(), dir.Path());
    for (const fs::path& file : FilesUnder(dir.Path())) {
        const tw::Bytes original = tw::ReadFileBytes(file);
        fs::remove(file);
        RunBoth(file.filename().string() + " missing");
        tw::WriteFile(file, original);
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, DamagedSample, ::testing::ValuesIn(SampleVersions()),
                         [](const auto& info) { return info.param; });

} // namespace
} // namespace corvane
