#pragma once
// Read-only access to files, the case-insensitive name lookup, and directory listing. DataEase files are only
// ever opened for reading; nothing in the library can write to one.

#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <map>
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

// A file opened read-only, without locking out other readers or writers. Closed on destruction. The open
// never blocks and never creates anything: only a regular file is accepted, so a FIFO, device, socket or
// directory put where a DataEase file is expected is an error instead of a read that waits for ever.
class TReadOnlyFile final : public TByteSource {
public:
    // Opens path for reading. Throws EInOutError on failure: "File not found" for a missing file, the
    // system's text for a directory (EISDIR) and for other failures, "Not a regular file" (kIONotRegularFile)
    // for a FIFO, device or socket.
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
    platform::TFileHandle file_ = platform::kNoFile;
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
// case on disk. Returns path when a file of that exact name exists; otherwise the first entry (in byte order)
// of the same directory whose name equals the last component without regard to ASCII case; otherwise path
// unchanged, so that opening it reports the missing file.
std::string ResolveExistingPath(const std::string& path);

// The same lookup for many names of one directory: the directory is listed at the first name that does not
// exist as given, and listed again only when the directory has changed since. Not for use by several threads.
class TDirectoryIndex {
public:
    // directory is "" (the current directory) or ends with the separator.
    explicit TDirectoryIndex(std::string directory) : directory_(std::move(directory)) {}
    // ResolveExistingPath(directory + fileName), for a fileName that holds no separator.
    std::string Resolve(const std::string& fileName);
    // Times the directory has been listed.
    std::size_t Listings() const { return listings_; }

private:
    void Refresh();

    std::string directory_;
    bool listed_ = false;
    std::int64_t stampSeconds_ = 0;
    std::int64_t stampNanoseconds_ = 0;
    std::map<std::string, std::string> byKey_; // name key -> the first entry of that key in byte order
    std::size_t listings_ = 0;
};

// Last-modification time of path as seconds since the epoch, or nothing when there is no such file.
std::optional<std::time_t> FileModificationTime(const std::string& path);

// Names of the entries of directory (any kind of entry), sorted bytewise. Throws EInOutError when the
// directory cannot be read.
std::vector<std::string> ListDirectory(const std::string& directory);

// True when path names an existing directory.
bool IsDirectory(const std::string& path);

} // namespace corvane
