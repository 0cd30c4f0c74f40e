#pragma once
// Read-only readers that give random access, by byte position, to one definition file.

#include "database/PlatformFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

// Reads a whole file of at most 65535 bytes at construction and closes it.
class TMemoryFile {
public:
    // Throws EInOutError when the file cannot be opened or read whole, ERangeError when it exceeds 65535
    // bytes.
    explicit TMemoryFile(const std::string& fileName);
    // The same for bytes held in memory (fuzzing, tests); the same size limit applies.
    TMemoryFile(std::vector<std::uint8_t> bytes, std::string fileName);
    virtual ~TMemoryFile() = default;

    // Text from position up to the first zero byte (or the end of the data); "" at or past Size.
    std::string TextAt(std::uint16_t position) const;
    // The byte at position; 0 at or past Size.
    std::uint8_t ByteAt(std::uint16_t position) const;
    // Little-endian word at position; 0 at or past Size; a high byte past the end reads as 0.
    std::uint16_t WordAt(std::uint16_t position) const;

    const std::string& FileName() const { return fileName_; }
    std::uint16_t Size() const { return static_cast<std::uint16_t>(data_.size()); }

private:
    std::string fileName_;
    std::vector<std::uint8_t> data_;
};

// Holds one 35000-byte window of a file open for its whole life, loading another window whenever a position
// outside the current one is asked for.
class TLargeMemoryFile {
public:
    static constexpr std::int32_t WindowStep = 32000;
    static constexpr std::int32_t WindowSize = 35000;

    // Opens the file (EInOutError when it cannot be opened); reads nothing yet.
    explicit TLargeMemoryFile(const std::string& fileName);
    // Reads from the given source instead (tests, fuzzing).
    explicit TLargeMemoryFile(std::unique_ptr<TByteSource> source);
    virtual ~TLargeMemoryFile();

    std::string TextAt(std::int32_t position);
    std::uint8_t ByteAt(std::int32_t position);
    std::uint16_t WordAt(std::int32_t position);

    const std::string& FileName() const { return fileName_; }
    std::int32_t FileSize() const { return fileSize_; }
    std::int32_t Window() const { return window_; }
    // Number of reads made from the file so far (one per window change).
    std::size_t LoadCount() const { return loads_; }

private:
    void LoadWindow(std::int32_t position);
    // Bytes of the current window that hold file data.
    std::int32_t ValidBytes() const;

    std::string fileName_;
    std::unique_ptr<TByteSource> source_;
    std::vector<std::uint8_t> buffer_;
    std::int32_t fileSize_ = 0;
    std::int32_t window_ = -1;
    std::size_t loads_ = 0;
};

} // namespace corvane
