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
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        throw MakeIOError(errno, path_);
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int code = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd_);
        fd_ = -1;
        throw MakeIOError(code, path_);
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
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        return path;
    }
    const std::size_t slash = path.find_last_of(kPathSeparator);
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty()) {
        return path;
    }
    try {
        for (const std::string& name : ListDirectory(dir.empty() ? std::string(".") : dir)) {
            if (SameNameKey(name, base)) {
                return dir + name;
            }
        }
    } catch (const EInOutError&) {
        // An unreadable directory: opening the path as given reports the problem.
    }
    return path;
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
