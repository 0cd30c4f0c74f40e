#pragma once
// The directory separator of the file names Corvane builds, fixed when the program is compiled. Part of the
// platform layer: the one place that tells the systems apart.

namespace corvane::platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
// The characters that end the directory part of a path.
inline constexpr const char* kPathSeparators = "\\/";
// The device that discards what is written to it.
inline constexpr const char* kNullDevice = "nul";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr const char* kPathSeparators = "/";
inline constexpr const char* kNullDevice = "/dev/null";
#endif

} // namespace corvane::platform
