#include "database/PlatformFile.h"

#include "database/Errors.h"
#include "text/TextUtils.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

void TByteSource::ReadExact(std::int64_t pos, void* buf, std::size_t count) {
    if (pos < 0 || ReadSome(pos, buf, count) != count) {
        throw MakeReadBeyondEnd(Name());
    }
}

TReadOnlyFile::TReadOnlyFile(const std::string& path) : path_(path) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer. Regular files ignore it.
    do {
        fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
        throw MakeIOError(errno, path_);
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        const int code = errno;
        ::close(fd_);
        fd_ = -1;
        throw MakeIOError(code, path_);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw S_ISDIR(st.st_mode) ? MakeIOError(EISDIR, path_) : MakeNotRegularFile(path_);
    }
}

TReadOnlyFile::~TReadOnlyFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void TReadOnlyFile::Close() {
    if (fd_ >= 0) {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) {
            throw MakeIOError(errno, path_);
        }
    }
}

std::int64_t TReadOnlyFile::Size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        throw MakeIOError(fd_ < 0 ? EBADF : errno, path_);
    }
    return static_cast<std::int64_t>(st.st_size);
}

std::size_t TReadOnlyFile::ReadSome(std::int64_t pos, void* buf, std::size_t count) {
    if (fd_ < 0) {
        throw MakeIOError(EBADF, path_);
    }
    std::size_t done = 0;
    auto* out = static_cast<char*>(buf);
    while (done < count) {
        const ssize_t n =
            ::pread(fd_, out + done, count - done, static_cast<off_t>(pos) + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw MakeIOError(errno, path_);
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t TBufferSource::ReadSome(std::int64_t pos, void* buf, std::size_t count) {
    ++readCalls_;
    if (pos < 0 || static_cast<std::uint64_t>(pos) >= bytes_.size()) {
        return 0;
    }
    const std::size_t start = static_cast<std::size_t>(pos);
    const std::size_t n = std::min(count, bytes_.size() - start);
    std::copy_n(bytes_.data() + start, n, static_cast<std::uint8_t*>(buf));
    return n;
}

std::string ResolveExistingPath(const std::string& path) {
    const std::size_t slash = path.find_last_of(kPathSeparator);
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return TDirectoryIndex(dir).Resolve(base);
}

std::string TDirectoryIndex::Resolve(const std::string& fileName) {
    const std::string path = directory_ + fileName;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 || fileName.empty() ||
        fileName.find(kPathSeparator) != std::string::npos) {
        return path;
    }
    Refresh();
    const auto found = byKey_.find(UpperCaseAscii(fileName));
    return found != byKey_.end() ? directory_ + found->second : path;
}

void TDirectoryIndex::Refresh() {
    const std::string dir = directory_.empty() ? std::string(".") : directory_;
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) {
        // The directory is gone or cannot be looked up: nothing in it can be found.
        listed_ = false;
        byKey_.clear();
        return;
    }
    if (listed_ && st.st_mtim.tv_sec == stampSeconds_ && st.st_mtim.tv_nsec == stampNanoseconds_) {
        return;
    }
    byKey_.clear();
    listed_ = true;
    stampSeconds_ = st.st_mtim.tv_sec;
    stampNanoseconds_ = st.st_mtim.tv_nsec;
    ++listings_;
    try {
        // The listing is in byte order, so the first entry of each key is the one kept.
        for (const std::string& name : ListDirectory(dir)) {
            byKey_.emplace(UpperCaseAscii(name), name);
        }
    } catch (const EInOutError&) {
        // An unreadable directory: opening the path as given reports the problem.
    }
}

std::optional<std::time_t> FileModificationTime(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return st.st_mtime;
}

std::vector<std::string> ListDirectory(const std::string& directory) {
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) {
        throw MakeIOError(errno, directory);
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace corvane
