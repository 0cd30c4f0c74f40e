#include "export/OutputFile.h"

#include "database/Errors.h"
#include "database/PlatformFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

constexpr std::string_view kPartialMark = ".corvane-partial-";

// Directory part (with its separator) and file part of a path.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {std::string(), path};
    }
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

std::string RandomSuffix() {
    // One generator per thread: exports of several databases at once create files on several threads.
    thread_local std::mt19937_64 generator{std::random_device{}() ^ static_cast<std::uint64_t>(::getpid())};
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string s(8, 'x');
    for (char& c : s) {
        c = alphabet[generator() % (sizeof alphabet - 1)];
    }
    return s;
}

// ---------------------------------------------------------------------------------------------------------
// The temporaries of the process that a SIGINT or SIGTERM must remove. The handler may run on any thread at
// any moment, so the registry is fixed-size memory and atomics only: a slot is claimed (Free -> Filling), its
// path copied, then published (Live); the handler unlinks the paths of the Live slots and nothing else.

enum TSlotState : int { kSlotFree = 0, kSlotFilling = 1, kSlotLive = 2 };
constexpr int kRegistrySlots = 64;
constexpr std::size_t kRegistryPathBytes = 4096;

struct TRegistrySlot {
    std::atomic<int> State{kSlotFree};
    char Path[kRegistryPathBytes] = {};
};
static_assert(std::atomic<int>::is_always_lock_free);

TRegistrySlot gTemporaries[kRegistrySlots];

// The slot that now holds path, or -1 when none is free or the path is too long (the temporary is then only
// removed by its owner, as before a signal).
int RegisterTemporary(const std::string& path) noexcept {
    if (path.size() >= kRegistryPathBytes) {
        return -1;
    }
    for (int i = 0; i < kRegistrySlots; ++i) {
        int expected = kSlotFree;
        if (gTemporaries[i].State.compare_exchange_strong(expected, kSlotFilling)) {
            std::memcpy(gTemporaries[i].Path, path.c_str(), path.size() + 1);
            gTemporaries[i].State.store(kSlotLive, std::memory_order_release);
            return i;
        }
    }
    return -1;
}

void UnregisterTemporary(int slot) noexcept {
    if (slot >= 0) {
        gTemporaries[slot].State.store(kSlotFree, std::memory_order_release);
    }
}

extern "C" void RemoveTemporariesAndEnd(int signalNumber) {
    for (TRegistrySlot& slot : gTemporaries) {
        if (slot.State.load(std::memory_order_acquire) == kSlotLive) {
            ::unlink(slot.Path);
        }
    }
    // The handler was installed with SA_RESETHAND: the signal's usual action now ends the process.
    ::raise(signalNumber);
}

// The description of a file of the final name that is not a regular file, or nullptr for a regular file.
const char* NotRegularText(mode_t mode) {
    if (S_ISREG(mode)) {
        return nullptr;
    }
    if (S_ISFIFO(mode)) {
        return "Not a regular file (a FIFO)";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "Not a regular file (a device)";
    }
    if (S_ISSOCK(mode)) {
        return "Not a regular file (a socket)";
    }
    return "Not a regular file";
}

// Sets the permission bits of the open file fd. A file system without permission bits is no reason to fail.
void SetMode(int fd, mode_t mode, const std::string& name) {
    if (::fchmod(fd, mode) != 0 && errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP) {
        const EInOutError e = MakeIOError(errno, name);
        throw EOutputWriteError(e.ErrorCode(), e.what(), e.FileName());
    }
}

// The permission bits of the regular file at name, or -1 when there is none.
int ModeOfExisting(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return -1;
    }
    return static_cast<int>(st.st_mode & 0777);
}

} // namespace

std::string TOutputFile::TemporaryPrefix(const std::string& finalName) {
    const auto [dir, name] = SplitPath(finalName);
    return dir + "." + name + std::string(kPartialMark);
}

pid_t TemporaryWriter(std::string_view entryName) {
    if (entryName.empty() || entryName.front() != '.') {
        return -1;
    }
    const std::size_t mark = entryName.rfind(kPartialMark);
    if (mark == std::string_view::npos || mark == 0) {
        return -1;
    }
    std::string_view rest = entryName.substr(mark + kPartialMark.size());
    const std::size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash > 9) {
        return -1;
    }
    pid_t pid = 0;
    for (const char c : rest.substr(0, dash)) {
        if (c < '0' || c > '9') {
            return -1;
        }
        pid = pid * 10 + (c - '0');
    }
    return pid > 0 ? pid : -1;
}

std::size_t RemoveAbandonedTemporaries(const std::string& directory) noexcept {
    std::size_t removed = 0;
    try {
        const std::string dir = directory.empty() ? std::string(".") : directory;
        const std::string prefix = dir.back() == '/' ? dir : dir + "/";
        for (const std::string& entry : ListDirectory(dir)) {
            const pid_t writer = TemporaryWriter(entry);
            if (writer <= 0 || writer == ::getpid()) {
                continue; // not a temporary, or one of this process (its owner removes it)
            }
            // A process of that id may be its writer, or a later process that took the id: either way the
            // file is not provably abandoned.
            if (::kill(writer, 0) == 0 || errno == EPERM) {
                continue;
            }
            const std::string path = prefix + entry;
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
            if (fd < 0) {
                continue;
            }
            // A writer holds an exclusive lock on its temporary for as long as it writes; a file it handed to
            // a child (or that another machine writes over a network file system) keeps its lock too.
            struct stat st {};
            if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                ::unlink(path.c_str()) == 0) {
                ++removed;
            }
            ::close(fd);
        }
    } catch (...) {
        // Nothing to clean, or a directory that cannot be listed.
    }
    return removed;
}

void InstallOutputSignalHandling() {
    ::signal(SIGXFSZ, SIG_IGN);
    for (const int signalNumber : {SIGINT, SIGTERM}) {
        struct sigaction old {};
        if (::sigaction(signalNumber, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) {
            continue; // started to ignore it (a background job): it stays ignored
        }
        struct sigaction action {};
        action.sa_handler = RemoveTemporariesAndEnd;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signalNumber, &action, nullptr);
    }
}

void WriteToDescriptor(int fd, std::string_view bytes, const std::string& name) {
    // SIGPIPE is held back for this thread while it writes, so that a reader that went away gives EPIPE; a
    // SIGPIPE the write raised is then taken off again.
    sigset_t pipeSignal;
    sigset_t oldMask;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &oldMask);
    sigset_t pending;
    sigpending(&pending);
    const bool wasPending = sigismember(&pending, SIGPIPE) == 1;
    int error = 0;
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            break;
        }
        if (n == 0) {
            error = ENOSPC;
            break;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    if (error == EPIPE && !wasPending) {
        const timespec now{0, 0};
        ::sigtimedwait(&pipeSignal, nullptr, &now);
    }
    ::pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    if (error != 0) {
        const EInOutError e = MakeIOError(error, name);
        throw EOutputWriteError(e.ErrorCode(), e.what(), e.FileName());
    }
}

TOutputFile::TOutputFile(std::string finalName) : finalName_(std::move(finalName)) {
    // What may not be replaced is refused before the temporary exists. A link is followed: a link to a FIFO
    // is refused like the FIFO.
    struct stat st {};
    int replacedMode = -1;
    if (::stat(finalName_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            throw MakeIOError(EISDIR, finalName_);
        }
        if (const char* text = NotRegularText(st.st_mode)) {
            throw EInOutError(EINVAL, text, finalName_);
        }
        // A plain create-or-replace could not write a read-only file either.
        if (::access(finalName_.c_str(), W_OK) != 0) {
            throw MakeIOError(errno, finalName_);
        }
        replacedMode = static_cast<int>(st.st_mode & 0777);
    }

    const std::string prefix = TemporaryPrefix(finalName_) + std::to_string(::getpid()) + "-";
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
    registrySlot_ = RegisterTemporary(tempName_);
    ::flock(fd_, LOCK_EX | LOCK_NB);
    if (replacedMode >= 0) {
        // No more readers than the file it replaces has while it is written; the owner can always write
        // it (SQLite opens it again by name).
        SetMode(fd_, static_cast<mode_t>(replacedMode) | S_IRUSR | S_IWUSR, finalName_);
    }
    buffer_.resize(kBufferBytes);
}

TOutputFile::~TOutputFile() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!committed_ && !tempName_.empty()) {
        ::unlink(tempName_.c_str());
    }
    UnregisterTemporary(registrySlot_);
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
    // The file it replaces, as it is now, gives the permission bits.
    if (const int mode = ModeOfExisting(finalName_); mode >= 0) {
        SetMode(fd_, static_cast<mode_t>(mode), finalName_);
    }
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
    UnregisterTemporary(registrySlot_);
    registrySlot_ = -1;
}

} // namespace corvane
