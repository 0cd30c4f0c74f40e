#pragma once
// The output file of one export. It is written to a temporary file beside the final name and renamed over it
// only when the export has finished, so an export that fails part way leaves an older file untouched and no
// partial file. Writes are buffered, and every failed write is raised.
//
// This file and OutputFile.cpp hold the output side's rules: the temporary files, their cleanup, the
// interruptions that could otherwise leave a temporary behind, and writes to a file descriptor. The system
// calls behind them are in platform/.

#include "database/Errors.h"
#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// A write to the output file failed after it was created (a full disk, a size limit, a closed pipe). The
// export's input is not at fault, so a caller may go on with its next form.
class EOutputWriteError : public EInOutError {
public:
    using EInOutError::EInOutError;
};

class TOutputFile {
public:
    static constexpr std::size_t kBufferBytes = std::size_t{64} << 10;

    // Creates the temporary file for finalName. Refuses, before anything is created, what must not be
    // replaced: an existing directory, FIFO, device or socket of the final name (followed through links),
    // and a file that a plain create-or-replace could not write. Throws EInOutError (the platform's code,
    // or EINVAL with "Not a regular file ..." for a FIFO, device or socket).
    explicit TOutputFile(std::string finalName);
    // Removes the temporary file unless Commit succeeded.
    ~TOutputFile() noexcept;
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    // Appends bytes; throws EOutputWriteError when the file system refuses them (a full disk, a size limit).
    void Write(std::string_view bytes);
    // Writes what is buffered, gives the file the permission bits of the file it is to replace (when there
    // is one), syncs and closes the temporary file. Throws EOutputWriteError (a full disk).
    void Close();
    // Closes (when still open) and renames the file to its final name. Throws EInOutError.
    void Commit();

    const std::string& FinalName() const { return finalName_; }
    const std::string& TemporaryName() const { return tempName_; }

    // The prefix every temporary file of finalName starts with: "<dir>/.<name>.corvane-partial-". The rest
    // of the name is the writer's process id, a "-" and a random part.
    static std::string TemporaryPrefix(const std::string& finalName);

private:
    void Flush();
    [[noreturn]] void Fail(int code);

    std::string finalName_;
    std::string tempName_;
    platform::TFileHandle file_ = platform::kNoFile;
    bool committed_ = false;
    int registrySlot_ = -1; // where the temporary is registered for removal on SIGINT/SIGTERM
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    // Bytes written to the file, and where the range not yet handed to the disk begins.
    static constexpr std::uint64_t kWritebackBytes = std::uint64_t{8} << 20;
    std::uint64_t written_ = 0;
    std::uint64_t writebackStart_ = 0;
};

// The process id that the name of a temporary file carries, or -1 when entryName is not the name of one.
long TemporaryWriter(std::string_view entryName);

// Removes the temporary files in directory that are provably abandoned: the process named in the file's name
// no longer exists and no process holds the file's lock. A live writer's temporary is never touched, even
// while it is being created. Lists the directory once; returns the number removed. Never throws (cleaning up
// is a courtesy: a directory that cannot be listed fails again when a file is created in it).
std::size_t RemoveAbandonedTemporaries(const std::string& directory) noexcept;

// Prepares the process for writing outputs: SIGXFSZ ignored (a file-size limit is then a write error like a
// full disk), and SIGINT and SIGTERM (unless ignored when the process started) remove every temporary file of
// the process that is still being written before the process ends with the signal's usual action. Call once,
// early in main.
void InstallOutputSignalHandling();

// Writes all of bytes to the open descriptor fd (standard output, a pipe); a closed pipe is an error here,
// not a signal that ends the process. Throws EOutputWriteError naming name.
void WriteToDescriptor(int fd, std::string_view bytes, const std::string& name);

} // namespace corvane
