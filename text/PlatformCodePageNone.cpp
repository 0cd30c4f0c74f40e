// A platform without a converter of code pages: only the built-in tables exist.

#include "text/PlatformCodePage.h"

namespace corvane {

std::optional<std::array<char32_t, 256>> PlatformCodePageTable(const std::string& /*name*/) {
    return std::nullopt;
}

} // namespace corvane
