#include "database/PlatformFile.h"

#include "database/Errors.h"
#include "text/TextUtils.h"

#include <algorithm>
#include <cerrno>

namespace corvane {

void TByteSource::ReadExact(std::int64_t pos, void* buf, std::size_t count) {
    if (pos < 0 || ReadSome(pos, buf, count) != count) {
        throw MakeReadBeyondEnd(Name());
    }
}

TReadOnlyFile::TReadOnlyFile(const std::string& path) : path_(path) {
    // The open never waits (a FIFO without a writer), and only a regular file is accepted.
    int error = 0;
    file_ = platform::OpenForReading(path, error);
    if (file_ == platform::kNoFile) {
        throw MakeIOError(error, path_);
    }
    if (!platform::IsRegularFile(file_)) {
        platform::CloseFile(file_);
        file_ = platform::kNoFile;
        throw MakeNotRegularFile(path_);
    }
}

TReadOnlyFile::~TReadOnlyFile() {
    if (file_ != platform::kNoFile) {
        platform::CloseFile(file_);
    }
}

void TReadOnlyFile::Close() {
    if (file_ != platform::kNoFile) {
        const platform::TFileHandle file = file_;
        file_ = platform::kNoFile;
        if (const int error = platform::CloseFile(file); error != 0) {
            throw MakeIOError(error, path_);
        }
    }
}

std::int64_t TReadOnlyFile::Size() const {
    if (file_ == platform::kNoFile) {
        throw MakeIOError(EBADF, path_);
    }
    std::int64_t size = 0;
    if (const int error = platform::FileSize(file_, size); error != 0) {
        throw MakeIOError(error, path_);
    }
    return size;
}

std::size_t TReadOnlyFile::ReadSome(std::int64_t pos, void* buf, std::size_t count) {
    if (file_ == platform::kNoFile) {
        throw MakeIOError(EBADF, path_);
    }
    int error = 0;
    const std::int64_t n = platform::ReadAt(file_, pos, buf, count, error);
    if (n < 0) {
        throw MakeIOError(error, path_);
    }
    return static_cast<std::size_t>(n);
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
    const std::size_t slash = path.find_last_of(platform::kPathSeparators);
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return TDirectoryIndex(dir).Resolve(base);
}

std::string TDirectoryIndex::Resolve(const std::string& fileName) {
    const std::string path = directory_ + fileName;
    if (platform::StatusOf(path).Exists || fileName.empty() ||
        fileName.find_first_of(platform::kPathSeparators) != std::string::npos) {
        return path;
    }
    Refresh();
    const auto found = byKey_.find(UpperCaseAscii(fileName));
    return found != byKey_.end() ? directory_ + found->second : path;
}

void TDirectoryIndex::Refresh() {
    const std::string dir = directory_.empty() ? std::string(".") : directory_;
    const platform::TFileStatus status = platform::StatusOf(dir);
    if (!status.Exists) {
        // The directory is gone or cannot be looked up: nothing in it can be found.
        listed_ = false;
        byKey_.clear();
        return;
    }
    if (listed_ && status.ModificationTime == stampSeconds_ &&
        status.ModificationNanoseconds == stampNanoseconds_) {
        return;
    }
    byKey_.clear();
    listed_ = true;
    stampSeconds_ = status.ModificationTime;
    stampNanoseconds_ = status.ModificationNanoseconds;
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
    const platform::TFileStatus status = platform::StatusOf(path);
    if (!status.Exists) {
        return std::nullopt;
    }
    return status.ModificationTime;
}

std::vector<std::string> ListDirectory(const std::string& directory) {
    std::vector<std::string> names;
    if (const int error = platform::ListDirectory(directory, names); error != 0) {
        throw MakeIOError(error, directory);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool IsDirectory(const std::string& path) {
    return platform::StatusOf(path).IsDirectory;
}

} // namespace corvane
