#include "cli/RunTool.h"
#include "version/Version.h"

#include <gtest/gtest.h>

using corvane::testing::RunTool;

TEST(VersionOption, PrintsTheVersionLineOnStandardOutput) {
    for (const char* option : {"--version", "-V"}) {
        SCOPED_TRACE(option);
        const auto result = RunTool({option});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, std::string("corvane-cli ") + corvane::CorvaneVersion() + "\n");
        EXPECT_EQ(result.err, "");
    }
}
