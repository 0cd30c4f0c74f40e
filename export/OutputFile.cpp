#include "export/OutputFile.h"

#include "database/Errors.h"
#include "database/PlatformFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <unistd.h>

namespace corvane {

namespace {

constexpr const char* kPartialMark = ".corvane-partial-";

// Directory part (with its separator) and file part of a path.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {std::string(), path};
    }
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

std::string RandomSuffix() {
    static std::mt19937_64 generator{std::random_device{}() ^ static_cast<std::uint64_t>(::getpid())};
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string s(8, 'x');
    for (char& c : s) {
        c = alphabet[generator() % (sizeof alphabet - 1)];
    }
    return s;
}

} // namespace

std::string TOutputFile::TemporaryPrefix(const std::string& finalName) {
    const auto [dir, name] = SplitPath(finalName);
    return dir + "." + name + kPartialMark;
}

void TOutputFile::RemoveStaleTemporaries(const std::string& finalName) noexcept {
    try {
        const auto [dir, name] = SplitPath(finalName);
        const std::string prefix = "." + name + kPartialMark;
        for (const std::string& entry : ListDirectory(dir.empty() ? "." : dir)) {
            if (entry.compare(0, prefix.size(), prefix) != 0) {
                continue;
            }
            const std::string path = dir + entry;
            // A live writer holds an exclusive lock on its temporary file for as long as it writes.
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0) {
                continue;
            }
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                ::unlink(path.c_str());
            }
            ::close(fd);
        }
    } catch (...) {
        // Cleaning up is a courtesy; a directory that cannot be listed fails again when the file is created.
    }
}

TOutputFile::TOutputFile(std::string finalName) : finalName_(std::move(finalName)) {
    RemoveStaleTemporaries(finalName_);
    const std::string prefix = TemporaryPrefix(finalName_);
    for (int attempt = 0;; ++attempt) {
        tempName_ = prefix + RandomSuffix();
        fd_ = ::open(tempName_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            break;
        }
        if (errno != EEXIST || attempt >= 100) {
            const int code = errno;
            tempName_.clear();
            throw MakeIOError(code, finalName_);
        }
    }
    ::flock(fd_, LOCK_EX | LOCK_NB);
    buffer_.resize(kBufferBytes);
}

TOutputFile::~TOutputFile() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!committed_ && !tempName_.empty()) {
        ::unlink(tempName_.c_str());
    }
}

void TOutputFile::Fail(int code) {
    const EInOutError e = MakeIOError(code, finalName_);
    throw EOutputWriteError(e.ErrorCode(), e.what(), e.FileName());
}

void TOutputFile::Flush() {
    std::size_t done = 0;
    while (done < used_) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, used_ - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail(errno);
        }
        if (n == 0) {
            Fail(ENOSPC);
        }
        done += static_cast<std::size_t>(n);
    }
    written_ += used_;
    used_ = 0;
    if (written_ - writebackStart_ >= kWritebackBytes) {
        // Start the disk writes of what is written so far now, while the export goes on, so that the sync at
        // the end has little left to wait for. Only a hint: an error shows again at that sync.
        ::sync_file_range(fd_, static_cast<off_t>(writebackStart_),
                          static_cast<off_t>(written_ - writebackStart_), SYNC_FILE_RANGE_WRITE);
        writebackStart_ = written_;
    }
}

void TOutputFile::Write(std::string_view bytes) {
    if (fd_ < 0) {
        Fail(EBADF);
    }
    while (!bytes.empty()) {
        if (used_ == buffer_.size()) {
            Flush();
        }
        const std::size_t n = std::min(bytes.size(), buffer_.size() - used_);
        std::memcpy(buffer_.data() + used_, bytes.data(), n);
        used_ += n;
        bytes.remove_prefix(n);
    }
}

void TOutputFile::Close() {
    if (fd_ < 0) {
        return;
    }
    Flush();
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        Fail(errno);
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        Fail(errno);
    }
}

void TOutputFile::Commit() {
    if (committed_ || tempName_.empty()) {
        Fail(EBADF);
    }
    Close();
    if (std::rename(tempName_.c_str(), finalName_.c_str()) != 0) {
        throw MakeIOError(errno, finalName_);
    }
    committed_ = true;
}

} // namespace corvane
