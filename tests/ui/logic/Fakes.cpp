#include "logic/Fakes.h"

#include <filesystem>

namespace corvane::ui::fakes {

bool FakeProcess::CanEnterDirectory(const std::string& dir) const {
    std::error_code error;
    return std::filesystem::is_directory(dir, error);
}

} // namespace corvane::ui::fakes
