#include "version/Version.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

TEST(CorvaneVersion, ProjectVersionThenTheCheckoutsDescription) {
    const std::string version = corvane::CorvaneVersion();
    ASSERT_EQ(version.rfind(CORVANE_PROJECT_VERSION, 0), 0u) << version;
    // Nothing else but an optional "(abbreviated commit, a tag's distance, -dirty)".
    EXPECT_TRUE(std::regex_match(version, std::regex(R"(\d+\.\d+\.\d+( \([0-9A-Za-z._-]+\))?)"))) << version;
    if (std::filesystem::exists(CORVANE_SOURCE_DIR "/.git")) {
        EXPECT_NE(version.find(" ("), std::string::npos) << "built from a checkout: " << version;
    }
}
