#pragma once
// The exceptions of the database access library. The library never prints; it throws these and the
// command-line tool and the window decide how to show them.

#include <exception>
#include <stdexcept>
#include <string>

namespace corvane {

// The library's own exception ("DEPath is not defined"). Carries only its message.
class EDELibError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Error codes that Corvane raises itself; every other code is the platform's errno.
inline constexpr int kIOFileNotFound = 2;     // the same number as ENOENT
inline constexpr int kIOReadBeyondEnd = 100;  // a read that delivered fewer bytes than asked for
inline constexpr int kIONotRegularFile = 101; // an input that is a FIFO, device or socket, not a file

// An input/output error: the platform's numeric code, its text ("File not found", "Read beyond end of file")
// as what(), and the file it concerns (may be empty).
class EInOutError : public std::runtime_error {
public:
    EInOutError(int code, const std::string& text, std::string fileName = {})
        : std::runtime_error(text), code_(code), fileName_(std::move(fileName)) {}
    int ErrorCode() const noexcept { return code_; }
    const std::string& FileName() const noexcept { return fileName_; }

private:
    int code_;
    std::string fileName_;
};

// A stored value that leads past a 16-bit (or other fixed) limit: a block start above 65535, a file too large
// for the whole-file reader.
class ERangeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Builds the EInOutError for an errno value: ENOENT reads "File not found", every other code the system's
// text.
EInOutError MakeIOError(int errnoValue, const std::string& fileName);

// A short read: code 100, "Read beyond end of file".
EInOutError MakeReadBeyondEnd(const std::string& fileName);

// An input that is no regular file: code 101, "Not a regular file".
EInOutError MakeNotRegularFile(const std::string& fileName);

// One line that describes any exception for a user: "<file>: <text>" for input/output errors that name a
// file, otherwise what().
std::string DescribeError(const std::exception& error);

} // namespace corvane
