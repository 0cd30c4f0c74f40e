#include "platform/Platform.h"

#include <cerrno>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <langinfo.h>
#include <pthread.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace corvane::platform {

namespace {
int Descriptor(TFileHandle file) {
    return static_cast<int>(file);
}
} // namespace

TFileHandle OpenForReading(const std::string& path, int& error, bool noFollow) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; O_NOCTTY: a terminal never becomes ours.
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (noFollow ? O_NOFOLLOW : 0));
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = errno;
        return kNoFile;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        return kNoFile;
    }
    // Reads wait as usual; only the open itself must not.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    return fd;
}

TFileHandle CreateNewFile(const std::string& path, int& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
        return kNoFile;
    }
    return fd;
}

int CloseFile(TFileHandle file) {
    return ::close(Descriptor(file)) == 0 ? 0 : errno;
}

int FileSize(TFileHandle file, std::int64_t& size) {
    struct stat st {};
    if (::fstat(Descriptor(file), &st) != 0) {
        return errno;
    }
    size = static_cast<std::int64_t>(st.st_size);
    return 0;
}

std::int64_t ReadAt(TFileHandle file, std::int64_t pos, void* buf, std::size_t count, int& error) {
    std::size_t done = 0;
    auto* out = static_cast<char*>(buf);
    while (done < count) {
        const ssize_t n = ::pread(Descriptor(file), out + done, count - done,
                                  static_cast<off_t>(pos) + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            return -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

int WriteAll(TFileHandle file, const void* buf, std::size_t count) {
    const auto* in = static_cast<const char*>(buf);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(Descriptor(file), in + done, count - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            return ENOSPC;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

void StartWriteBack(TFileHandle file, std::int64_t pos, std::int64_t count) {
#ifdef SYNC_FILE_RANGE_WRITE
    ::sync_file_range(Descriptor(file), static_cast<off_t>(pos), static_cast<off_t>(count),
                      SYNC_FILE_RANGE_WRITE);
#else
    (void)file;
    (void)pos;
    (void)count;
#endif
}

int SyncFile(TFileHandle file) {
    if (::fsync(Descriptor(file)) != 0 && errno != EINVAL && errno != EROFS) {
        return errno;
    }
    return 0;
}

bool IsRegularFile(TFileHandle file) {
    struct stat st {};
    return ::fstat(Descriptor(file), &st) == 0 && S_ISREG(st.st_mode);
}

int SetPermissions(TFileHandle file, int mode) {
    if (::fchmod(Descriptor(file), static_cast<mode_t>(mode)) != 0 && errno != EPERM && errno != ENOTSUP &&
        errno != EOPNOTSUPP) {
        return errno;
    }
    return 0;
}

int WriteToDescriptor(int descriptor, const void* buf, std::size_t count) {
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
    const int error = WriteAll(descriptor, buf, count);
    if (error == EPIPE && !wasPending) {
        const timespec now{0, 0};
        ::sigtimedwait(&pipeSignal, nullptr, &now);
    }
    ::pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    return error;
}

bool TryLockFile(TFileHandle file) {
    return ::flock(Descriptor(file), LOCK_EX | LOCK_NB) == 0;
}

TFileStatus StatusOf(const std::string& path) {
    TFileStatus status;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        status.Exists = true;
        status.IsDirectory = S_ISDIR(st.st_mode);
        status.IsRegular = S_ISREG(st.st_mode);
        status.Kind = S_ISREG(st.st_mode)                          ? TFileKind::Regular
                      : S_ISDIR(st.st_mode)                        ? TFileKind::Directory
                      : S_ISFIFO(st.st_mode)                       ? TFileKind::Fifo
                      : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? TFileKind::Device
                      : S_ISSOCK(st.st_mode)                       ? TFileKind::Socket
                                                                   : TFileKind::Other;
        status.Permissions = static_cast<int>(st.st_mode & 0777);
        status.ModificationTime = st.st_mtim.tv_sec;
        status.ModificationNanoseconds = st.st_mtim.tv_nsec;
    }
    return status;
}

int WriteAccess(const std::string& path) {
    return ::access(path.c_str(), W_OK) == 0 ? 0 : errno;
}

bool CanEnterDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

int ListDirectory(const std::string& directory, std::vector<std::string>& names) {
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) {
        return errno;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    return 0;
}

int CreateDirectories(const std::string& directory) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    return error ? error.value() : 0;
}

int ReplaceByRename(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        return errno;
    }
    // The new name is on the disk once the directory that holds it is.
    const std::size_t slash = to.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : to.substr(0, slash + 1);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return 0;
}

int RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

void RemoveFileInHandler(const char* path) {
    ::unlink(path);
}

std::string CanonicalPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) {
        return {};
    }
    std::string result = real;
    std::free(real);
    return result;
}

std::string ProgramPath() {
    std::string path(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) {
        return {};
    }
    path.resize(static_cast<std::size_t>(n));
    return path;
}

long ProcessId() {
    return static_cast<long>(::getpid());
}

bool ProcessExists(long pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

namespace {
void (*gInterruptCleanup)() = nullptr;

extern "C" void CleanUpAndEnd(int signalNumber) {
    if (gInterruptCleanup != nullptr) {
        gInterruptCleanup();
    }
    // The handler was installed with SA_RESETHAND: the signal's usual action now ends the process.
    ::raise(signalNumber);
}
} // namespace

void InstallInterruptCleanup(void (*cleanup)()) {
    gInterruptCleanup = cleanup;
    ::signal(SIGXFSZ, SIG_IGN);
    for (const int signalNumber : {SIGINT, SIGTERM}) {
        struct sigaction old {};
        if (::sigaction(signalNumber, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) {
            continue; // started to ignore it (a background job): it stays ignored
        }
        struct sigaction action {};
        action.sa_handler = CleanUpAndEnd;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signalNumber, &action, nullptr);
    }
}

std::string EnvironmentVariable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string UserHomeDirectory() {
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
        return entry->pw_dir;
    }
    return {};
}

std::string SpecialFolder(int /*csidl*/) {
    // No special folders here: the caller picks the XDG directories.
    return {};
}

std::string ShortDateFormat() {
    const char* format = ::nl_langinfo(D_FMT);
    return format != nullptr ? format : "";
}

std::string TimeFormat() {
    const char* format = ::nl_langinfo(T_FMT);
    return format != nullptr ? format : "";
}

bool LocalTime(std::time_t t, std::tm& local) {
    return ::localtime_r(&t, &local) != nullptr;
}

bool IsTerminal(int stream) {
    return ::isatty(stream) == 1;
}

} // namespace corvane::platform
