#include "platform/Platform.h"

#include "platform/LocalePicture.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <iterator>
#include <system_error>

#include <windows.h>

#include <io.h>
#include <shlobj.h>

namespace corvane::platform {

namespace {

HANDLE Handle(TFileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

TFileHandle FromHandle(HANDLE handle) {
    return reinterpret_cast<TFileHandle>(handle);
}

// The errno number of a system error code, so that the layers above see one set of codes.
int ErrnoOf(DWORD code) {
    switch (code) {
    case ERROR_SUCCESS:
        return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_CURRENT_DIRECTORY:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_TOO_LARGE:
        return EFBIG;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
        return EPIPE;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
    case ERROR_BAD_PATHNAME:
        return EINVAL;
    default:
        return EIO;
    }
}

int LastErrno() {
    return ErrnoOf(::GetLastError());
}

std::wstring Convert(const std::string& text, UINT codePage, DWORD flags) {
    const int n =
        ::MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

// A path as the system takes it: UTF-8 when the bytes are valid UTF-8, else the ANSI code page.
std::wstring Wide(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    std::wstring wide = Convert(path, CP_UTF8, MB_ERR_INVALID_CHARS);
    return wide.empty() ? Convert(path, CP_ACP, 0) : wide;
}

// A text from the system as UTF-8.
std::string Narrow(const wchar_t* text, int length = -1) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, length, narrow.data(), n, nullptr, nullptr);
    if (length < 0) {
        narrow.pop_back(); // the terminating NUL
    }
    return narrow;
}

std::time_t TimeOf(const FILETIME& written) {
    // 100-nanosecond steps since 1601-01-01; the epoch is 11644473600 seconds later.
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    return static_cast<std::time_t>(ticks / 10000000ULL) - static_cast<std::time_t>(11644473600LL);
}

bool Attributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
    return ::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data) != 0;
}

// Where a writer's lock lies: far past any data, since a locked range of a file cannot be read by others.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

std::string LocaleText(LCTYPE type) {
    wchar_t buffer[128];
    const int n =
        ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, static_cast<int>(std::size(buffer)));
    return n > 0 ? Narrow(buffer) : std::string();
}

} // namespace

TFileHandle OpenForReading(const std::string& path, int& error, bool noFollow) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (Attributes(path, data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = EISDIR;
        return kNoFile;
    }
    // Sharing delete as well: a reader of ours never stands in the way of a replacement of the file.
    const HANDLE handle = ::CreateFileW(
        Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | (noFollow ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = LastErrno();
        return kNoFile;
    }
    return FromHandle(handle);
}

TFileHandle CreateNewFile(const std::string& path, int& error) {
    // Others may read a file being written, but neither delete nor rename it.
    const HANDLE handle = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = LastErrno();
        return kNoFile;
    }
    return FromHandle(handle);
}

int CloseFile(TFileHandle file) {
    return ::CloseHandle(Handle(file)) ? 0 : LastErrno();
}

int FileSize(TFileHandle file, std::int64_t& size) {
    LARGE_INTEGER value{};
    if (!::GetFileSizeEx(Handle(file), &value)) {
        return LastErrno();
    }
    size = static_cast<std::int64_t>(value.QuadPart);
    return 0;
}

std::int64_t ReadAt(TFileHandle file, std::int64_t pos, void* buf, std::size_t count, int& error) {
    std::size_t done = 0;
    auto* out = static_cast<char*>(buf);
    while (done < count) {
        const std::uint64_t at = static_cast<std::uint64_t>(pos) + done;
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(Handle(file), out + done, ask, &got, &where)) {
            if (::GetLastError() == ERROR_HANDLE_EOF) {
                break;
            }
            error = LastErrno();
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return static_cast<std::int64_t>(done);
}

int WriteAll(TFileHandle file, const void* buf, std::size_t count) {
    const auto* in = static_cast<const char*>(buf);
    std::size_t done = 0;
    while (done < count) {
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        DWORD put = 0;
        if (!::WriteFile(Handle(file), in + done, ask, &put, nullptr)) {
            return LastErrno();
        }
        if (put == 0) {
            return ENOSPC;
        }
        done += put;
    }
    return 0;
}

void StartWriteBack(TFileHandle /*file*/, std::int64_t /*pos*/, std::int64_t /*count*/) {
    // The system has no call that starts the disk writes without waiting for them; SyncFile does it all.
}

int SyncFile(TFileHandle file) {
    if (!::FlushFileBuffers(Handle(file))) {
        const DWORD code = ::GetLastError();
        // Pipes and consoles cannot be flushed to a disk.
        if (code == ERROR_INVALID_HANDLE || code == ERROR_INVALID_FUNCTION) {
            return 0;
        }
        return ErrnoOf(code);
    }
    return 0;
}

bool IsRegularFile(TFileHandle file) {
    return ::GetFileType(Handle(file)) == FILE_TYPE_DISK;
}

int SetPermissions(TFileHandle /*file*/, int /*mode*/) {
    // Files here carry access lists, not permission bits: a new file gets those of its directory.
    return 0;
}

int WriteToDescriptor(int descriptor, const void* buf, std::size_t count) {
    // Straight to the system's handle: no text-mode translation of line ends on the way.
    const intptr_t handle = ::_get_osfhandle(descriptor);
    if (handle == -1) {
        return EBADF;
    }
    return WriteAll(handle, buf, count);
}

bool TryLockFile(TFileHandle file) {
    OVERLAPPED where{};
    where.OffsetHigh = kLockOffsetHigh;
    return ::LockFileEx(Handle(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where) !=
           0;
}

TFileStatus StatusOf(const std::string& path) {
    TFileStatus status;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (Attributes(path, data)) {
        status.Exists = true;
        status.IsDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        status.IsRegular = (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
        status.Kind = status.IsDirectory                                     ? TFileKind::Directory
                      : (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0 ? TFileKind::Device
                                                                             : TFileKind::Regular;
        status.ModificationTime = TimeOf(data.ftLastWriteTime);
        status.ModificationNanoseconds = static_cast<std::int64_t>(
            (((static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
              data.ftLastWriteTime.dwLowDateTime) %
             10000000ULL) *
            100ULL);
    }
    return status;
}

int WriteAccess(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!Attributes(path, data)) {
        return LastErrno();
    }
    // The read-only attribute of a directory does not keep files from being made in it.
    const bool writable = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
                          (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0;
    return writable ? 0 : EACCES;
}

bool CanEnterDirectory(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return Attributes(path, data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int ListDirectory(const std::string& directory, std::vector<std::string>& names) {
    std::wstring pattern = Wide(directory);
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') {
        pattern += L'\\';
    }
    pattern += L'*';
    WIN32_FIND_DATAW entry{};
    const HANDLE find = ::FindFirstFileW(pattern.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        // An empty directory (a drive root has no "." entry).
        return code == ERROR_FILE_NOT_FOUND && CanEnterDirectory(directory) ? 0 : ErrnoOf(code);
    }
    do {
        const std::string name = Narrow(entry.cFileName);
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    } while (::FindNextFileW(find, &entry));
    const DWORD code = ::GetLastError();
    ::FindClose(find);
    return code == ERROR_NO_MORE_FILES ? 0 : ErrnoOf(code);
}

int CreateDirectories(const std::string& directory) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(Wide(directory)), error);
    return error ? EACCES : 0;
}

int ReplaceByRename(const std::string& from, const std::string& to) {
    const std::wstring source = Wide(from);
    const std::wstring target = Wide(to);
    if (::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return 0;
    }
    const DWORD refused = ::GetLastError();
    if (refused != ERROR_ACCESS_DENIED && refused != ERROR_SHARING_VIOLATION) {
        return ErrnoOf(refused);
    }
    // A rename over a file that is still open is refused even when every opener shares deletion, yet such a
    // file may itself be renamed: move it aside, put the new file in its place, then delete the old one (it
    // goes when its last reader closes it). The aside name extends the temporary's, so it is as unique, and
    // a run that ended between the steps left the old file there, where the cleanup of abandoned temporaries
    // finds it.
    const std::wstring aside = source + L".replaced";
    if (!::MoveFileExW(target.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) {
        return ErrnoOf(refused); // a reader that forbids deletion: the old file stays as it was
    }
    if (!::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD failed = ::GetLastError();
        ::MoveFileExW(aside.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
        return ErrnoOf(failed);
    }
    ::DeleteFileW(aside.c_str());
    return 0;
}

int RemoveFile(const std::string& path) {
    return ::DeleteFileW(Wide(path).c_str()) ? 0 : LastErrno();
}

void RemoveFileInHandler(const char* path) {
    // Console interruptions are handled on a thread of their own, where converting the name is safe.
    RemoveFile(path);
}

std::string CanonicalPath(const std::string& path) {
    const HANDLE handle =
        ::CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD n = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    if (n >= buffer.size()) {
        buffer.resize(n + 1);
        n = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    }
    ::CloseHandle(handle);
    if (n == 0 || n >= buffer.size()) {
        return {};
    }
    buffer.resize(n);
    if (buffer.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        buffer = L"\\" + buffer.substr(7);
    } else if (buffer.rfind(L"\\\\?\\", 0) == 0) {
        buffer = buffer.substr(4);
    }
    return Narrow(buffer.data(), static_cast<int>(buffer.size()));
}

std::string ProgramPath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return {};
        }
        if (n < buffer.size()) {
            return Narrow(buffer.data(), static_cast<int>(n));
        }
        buffer.resize(buffer.size() * 2);
    }
}

long ProcessId() {
    return static_cast<long>(::GetCurrentProcessId());
}

bool ProcessExists(long pid) {
    if (pid <= 0) {
        return false;
    }
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) {
        // A process that exists but may not be asked about.
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    }
    DWORD code = 0;
    const bool running = ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    ::CloseHandle(process);
    return running;
}

namespace {
void (*gInterruptCleanup)() = nullptr;

BOOL WINAPI CleanUpOnInterrupt(DWORD /*event*/) {
    if (gInterruptCleanup != nullptr) {
        gInterruptCleanup();
    }
    return FALSE; // the next handler, in the end the system's, ends the process as usual
}
} // namespace

void InstallInterruptCleanup(void (*cleanup)()) {
    gInterruptCleanup = cleanup;
    ::SetConsoleCtrlHandler(CleanUpOnInterrupt, TRUE);
}

std::string EnvironmentVariable(const char* name) {
    const std::wstring wideName = Wide(name);
    const DWORD n = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (n == 0) {
        return {};
    }
    std::wstring value(n, L'\0');
    const DWORD got = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), n);
    if (got == 0 || got >= n) {
        return {};
    }
    return Narrow(value.data(), static_cast<int>(got));
}

std::string UserHomeDirectory() {
    return EnvironmentVariable("USERPROFILE");
}

std::string SpecialFolder(int csidl) {
    char buffer[MAX_PATH + 1] = {};
    // The answer is not examined: a folder the system cannot name leaves the buffer empty.
    ::SHGetSpecialFolderPathA(nullptr, buffer, csidl, TRUE);
    return buffer;
}

std::string ShortDateFormat() {
    const std::string picture = LocaleText(LOCALE_SSHORTDATE);
    return picture.empty() ? std::string() : FormatOfPicture(picture);
}

std::string TimeFormat() {
    const std::string picture = LocaleText(LOCALE_STIMEFORMAT);
    return picture.empty() ? std::string() : FormatOfPicture(picture);
}

bool LocalTime(std::time_t t, std::tm& local) {
    return ::localtime_s(&local, &t) == 0;
}

bool IsTerminal(int stream) {
    const HANDLE handle = ::GetStdHandle(stream == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && ::GetConsoleMode(handle, &mode) != 0;
}

} // namespace corvane::platform
