#include "ui/logic/CommandLine.h"
#include "version/Version.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace corvane;
using namespace corvane::ui;

TEST(HandleInfoOption, HelpAndVersionAnswerTheRestGoesToTheToolkit) {
    const std::string help = DesktopHelpText();
    const std::string version = std::string("corvane ") + CorvaneVersion() + "\n";
    struct Case {
        std::vector<std::string> Args;
        std::optional<std::string> Printed; // nullopt: left to the toolkit
    };
    const std::vector<Case> cases = {
        {{"--help"}, help},
        {{"-h"}, help},
        {{"--version"}, version},
        {{"-V"}, version},
        {{"-platform", "offscreen", "--version"}, version},
        {{"--version", "--help"}, version},
        {{"--help", "-V"}, help},
        {{}, std::nullopt},
        {{"-platform", "offscreen"}, std::nullopt},
        {{"--versions", "-help", "help"}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.Args));
        std::ostringstream out;
        const std::optional<int> status = HandleInfoOption(c.Args, out);
        if (c.Printed) {
            EXPECT_EQ(status, 0);
            EXPECT_EQ(out.str(), *c.Printed);
        } else {
            EXPECT_EQ(status, std::nullopt);
            EXPECT_EQ(out.str(), "");
        }
    }
}
