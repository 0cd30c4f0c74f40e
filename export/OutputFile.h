#pragma once
// The output file of one export. It is written to a temporary file beside the final name and renamed over it
// only when the export has finished, so an export that fails part way leaves an older file untouched and no
// partial file. Writes are buffered, and every failed write is raised.

#include "database/Errors.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// A write to the output file failed after it was created (a full disk, a size limit). The export's input is
// not at fault, so a caller may go on with its next form.
class EOutputWriteError : public EInOutError {
public:
    using EInOutError::EInOutError;
};

class TOutputFile {
public:
    static constexpr std::size_t kBufferBytes = std::size_t{64} << 10;

    // Creates the temporary file for finalName (first removing stale temporaries of the same name left by a
    // killed run). Throws EInOutError with the platform's code when it cannot be created.
    explicit TOutputFile(std::string finalName);
    // Removes the temporary file unless Commit succeeded.
    ~TOutputFile() noexcept;
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    // Appends bytes; throws EOutputWriteError when the file system refuses them (a full disk, a size limit).
    void Write(std::string_view bytes);
    // Writes what is buffered, syncs and closes the temporary file. Throws EOutputWriteError (a full disk).
    void Close();
    // Closes (when still open) and renames the file to its final name. Throws EInOutError.
    void Commit();

    const std::string& FinalName() const { return finalName_; }
    const std::string& TemporaryName() const { return tempName_; }

    // The prefix every temporary file of finalName starts with: "<dir>/.<name>.corvane-partial-".
    static std::string TemporaryPrefix(const std::string& finalName);
    // Removes the temporaries of finalName whose writer is gone (no process holds their lock). Never throws.
    static void RemoveStaleTemporaries(const std::string& finalName) noexcept;

private:
    void Flush();
    [[noreturn]] void Fail(int code);

    std::string finalName_;
    std::string tempName_;
    int fd_ = -1;
    bool committed_ = false;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    // Bytes written to the file, and where the range not yet handed to the disk begins.
    static constexpr std::uint64_t kWritebackBytes = std::uint64_t{8} << 20;
    std::uint64_t written_ = 0;
    std::uint64_t writebackStart_ = 0;
};

} // namespace corvane
