#pragma once
// Read-only access to files, the case-insensitive name lookup, and directory listing. DataEase files are only
// ever opened for reading; nothing in the library can write to one.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

// Random access to a sequence of bytes: a file, or a buffer in memory (tests, fuzzing).
class TByteSource {
public:
    virtual ~TByteSource() = default;
    virtual std::int64_t Size() const = 0;
    // Reads up to count bytes at pos into buf and returns how many were delivered (fewer at the end).
    // Throws EInOutError when the platform reports an error.
    virtual std::size_t ReadSome(std::int64_t pos, void* buf, std::size_t count) = 0;
    // Name used in error messages.
    virtual const std::string& Name() const = 0;

    // Reads exactly count bytes at pos; a short read raises "Read beyond end of file" (code 100).
    void ReadExact(std::int64_t pos, void* buf, std::size_t count);
};

// A file opened read-only, without locking out other readers or writers. Closed on destruction.
class TReadOnlyFile final : public TByteSource {
public:
    // Opens path for reading. Throws EInOutError ("File not found" for a missing file) on failure.
    explicit TReadOnlyFile(const std::string& path);
    ~TReadOnlyFile() override;
    TReadOnlyFile(const TReadOnlyFile&) = delete;
    TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;

    std::int64_t Size() const override;
    std::size_t ReadSome(std::int64_t pos, void* buf, std::size_t count) override;
    const std::string& Name() const override { return path_; }
    // Closes now; a failure raises EInOutError. Further reads are invalid.
    void Close();

private:
    std::string path_;
    int fd_ = -1;
};

// Bytes held in memory.
class TBufferSource final : public TByteSource {
public:
    explicit TBufferSource(std::vector<std::uint8_t> bytes, std::string name = "<memory>")
        : bytes_(std::move(bytes)), name_(std::move(name)) {}
    std::int64_t Size() const override { return static_cast<std::int64_t>(bytes_.size()); }
    std::size_t ReadSome(std::int64_t pos, void* buf, std::size_t count) override;
    const std::string& Name() const override { return name_; }
    std::size_t ReadCalls() const { return readCalls_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::string name_;
    std::size_t readCalls_ = 0;
};

// DataEase files come from case-insensitive file systems, but the names stored inside them need not match the
// case on disk. Returns path when a file of that exact name exists; otherwise the first entry (in byte order) of
// the same directory whose name equals the last component without regard to ASCII case; otherwise path
// unchanged, so that opening it reports the missing file.
std::string ResolveExistingPath(const std::string& path);

// Last-modification time of path as seconds since the epoch, or nothing when there is no such file.
std::optional<std::time_t> FileModificationTime(const std::string& path);

// Names of the entries of directory (any kind of entry), sorted bytewise. Throws EInOutError when the directory
// cannot be read.
std::vector<std::string> ListDirectory(const std::string& directory);

// True when path names an existing directory.
bool IsDirectory(const std::string& path);

} // namespace corvane
