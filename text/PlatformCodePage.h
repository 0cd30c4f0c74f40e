#pragma once
// The platform's own converter of code pages, behind one function, so that a build without one keeps the
// built-in tables only.

#include <array>
#include <optional>
#include <string>

namespace corvane {

// A byte that does not stand alone as a character in the code page (it starts a sequence of several bytes,
// or gives more than one code point).
inline constexpr char32_t kNotSingleByte = 0xFFFFFFFF;

// The code point of each of the 256 bytes in the code page that the platform's converter knows as name:
// U+FFFD where it defines none, kNotSingleByte where a byte is not a character of its own. nullopt when the
// converter does not know the name, or there is no converter.
std::optional<std::array<char32_t, 256>> PlatformCodePageTable(const std::string& name);

} // namespace corvane
