#include "logic/Fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace corvane::ui::fakes {

namespace {
// FormCreate fills the run environment, which makes sure of a shared data directory: keep it out of the
// user's own data directory.
struct PrivateDataHome {
    PrivateDataHome() {
        const std::filesystem::path data =
            std::filesystem::temp_directory_path() / "corvane-ui-logic-tests-data";
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    }
} privateDataHome;
} // namespace

bool FakeProcess::CanEnterDirectory(const std::string& dir) const {
    std::error_code error;
    return std::filesystem::is_directory(dir, error);
}

void FakeChoiceBox::Choose(const std::string& caption) {
    const auto it = std::find(Items.begin(), Items.end(), caption);
    ASSERT_NE(it, Items.end()) << caption << " is not an item";
    Index = static_cast<int>(it - Items.begin());
}

} // namespace corvane::ui::fakes
