#include "export/OutputFile.h"

#include "database/Errors.h"
#include "database/PlatformFile.h"
#include "text/TextUtils.h"

#include "platform/Platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>

namespace corvane {

namespace {

constexpr std::string_view kPartialMark = ".corvane-partial-";

// Directory part (with its separator) and file part of a path.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
    const std::size_t slash = path.find_last_of(platform::kPathSeparators);
    if (slash == std::string::npos) {
        return {std::string(), path};
    }
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

std::string RandomSuffix() {
    // One generator per thread: exports of several databases at once create files on several threads.
    thread_local std::mt19937_64 generator{std::random_device{}() ^
                                           static_cast<std::uint64_t>(platform::ProcessId())};
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string s(8, 'x');
    for (char& c : s) {
        c = alphabet[generator() % (sizeof alphabet - 1)];
    }
    return s;
}

// ---------------------------------------------------------------------------------------------------------
// The temporaries of the process that an interruption must remove. The handler may run on any thread at any
// moment, so the registry is fixed-size memory and atomics only: a slot is claimed (Free -> Filling), its
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

void RemoveRegisteredTemporaries() {
    for (TRegistrySlot& slot : gTemporaries) {
        if (slot.State.load(std::memory_order_acquire) == kSlotLive) {
            platform::RemoveFileInHandler(slot.Path);
        }
    }
}

// The description of a file of the final name that is not a regular file, or nullptr for a regular file.
const char* NotRegularText(platform::TFileKind kind) {
    switch (kind) {
    case platform::TFileKind::Regular:
        return nullptr;
    case platform::TFileKind::Fifo:
        return "Not a regular file (a FIFO)";
    case platform::TFileKind::Device:
        return "Not a regular file (a device)";
    case platform::TFileKind::Socket:
        return "Not a regular file (a socket)";
    default:
        return "Not a regular file";
    }
}

// Sets the permission bits of the open file. A file system without permission bits is no reason to fail.
void SetMode(platform::TFileHandle file, int mode, const std::string& name) {
    if (const int error = platform::SetPermissions(file, mode); error != 0) {
        const EInOutError e = MakeIOError(error, name);
        throw EOutputWriteError(e.ErrorCode(), e.what(), e.FileName());
    }
}

// The permission bits of the regular file at name, or -1 when there is none (or the system has none).
int ModeOfExisting(const std::string& name) {
    const platform::TFileStatus status = platform::StatusOf(name);
    return status.Exists && status.IsRegular ? status.Permissions : -1;
}

} // namespace

std::string TOutputFile::TemporaryPrefix(const std::string& finalName) {
    const auto [dir, name] = SplitPath(finalName);
    return dir + "." + name + std::string(kPartialMark);
}

long TemporaryWriter(std::string_view entryName) {
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
    long pid = 0;
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
        const std::string prefix = WithTrailingSeparator(dir);
        for (const std::string& entry : ListDirectory(dir)) {
            const long writer = TemporaryWriter(entry);
            if (writer <= 0 || writer == platform::ProcessId()) {
                continue; // not a temporary, or one of this process (its owner removes it)
            }
            // A process of that id may be its writer, or a later process that took the id: either way the
            // file is not provably abandoned.
            if (platform::ProcessExists(writer)) {
                continue;
            }
            const std::string path = prefix + entry;
            int error = 0;
            const platform::TFileHandle file = platform::OpenForReading(path, error, true);
            if (file == platform::kNoFile) {
                continue;
            }
            // A writer holds an exclusive lock on its temporary for as long as it writes; a file it handed to
            // a child (or that another machine writes over a network file system) keeps its lock too.
            if (platform::IsRegularFile(file) && platform::TryLockFile(file) &&
                platform::RemoveFile(path) == 0) {
                ++removed;
            }
            platform::CloseFile(file);
        }
    } catch (...) {
        // Nothing to clean, or a directory that cannot be listed.
    }
    return removed;
}

void InstallOutputSignalHandling() {
    platform::InstallInterruptCleanup(RemoveRegisteredTemporaries);
}

void WriteToDescriptor(int fd, std::string_view bytes, const std::string& name) {
    if (const int error = platform::WriteToDescriptor(fd, bytes.data(), bytes.size()); error != 0) {
        const EInOutError e = MakeIOError(error, name);
        throw EOutputWriteError(e.ErrorCode(), e.what(), e.FileName());
    }
}

TOutputFile::TOutputFile(std::string finalName) : finalName_(std::move(finalName)) {
    // What may not be replaced is refused before the temporary exists. A link is followed: a link to a FIFO
    // is refused like the FIFO.
    const platform::TFileStatus existing = platform::StatusOf(finalName_);
    int replacedMode = -1;
    if (existing.Exists) {
        if (existing.IsDirectory) {
            throw MakeIOError(EISDIR, finalName_);
        }
        if (const char* text = NotRegularText(existing.Kind)) {
            throw EInOutError(EINVAL, text, finalName_);
        }
        // A plain create-or-replace could not write a read-only file either.
        if (const int error = platform::WriteAccess(finalName_); error != 0) {
            throw MakeIOError(error, finalName_);
        }
        replacedMode = existing.Permissions;
    }

    const std::string prefix = TemporaryPrefix(finalName_) + std::to_string(platform::ProcessId()) + "-";
    for (int attempt = 0;; ++attempt) {
        tempName_ = prefix + RandomSuffix();
        int error = 0;
        file_ = platform::CreateNewFile(tempName_, error);
        if (file_ != platform::kNoFile) {
            break;
        }
        if (error != EEXIST || attempt >= 100) {
            tempName_.clear();
            throw MakeIOError(error, finalName_);
        }
    }
    registrySlot_ = RegisterTemporary(tempName_);
    platform::TryLockFile(file_);
    if (replacedMode >= 0) {
        // No more readers than the file it replaces has while it is written; the owner can always read and
        // write it (SQLite opens it again by name).
        SetMode(file_, replacedMode | 0600, finalName_);
    }
    buffer_.resize(kBufferBytes);
}

TOutputFile::~TOutputFile() noexcept {
    if (file_ != platform::kNoFile) {
        platform::CloseFile(file_);
    }
    if (!committed_ && !tempName_.empty()) {
        platform::RemoveFile(tempName_);
    }
    UnregisterTemporary(registrySlot_);
}

void TOutputFile::Fail(int code) {
    const EInOutError e = MakeIOError(code, finalName_);
    throw EOutputWriteError(e.ErrorCode(), e.what(), e.FileName());
}

void TOutputFile::Flush() {
    if (const int error = platform::WriteAll(file_, buffer_.data(), used_); error != 0) {
        Fail(error);
    }
    written_ += used_;
    used_ = 0;
    if (written_ - writebackStart_ >= kWritebackBytes) {
        // Start the disk writes of what is written so far now, while the export goes on, so that the sync at
        // the end has little left to wait for. Only a hint: an error shows again at that sync.
        platform::StartWriteBack(file_, static_cast<std::int64_t>(writebackStart_),
                                 static_cast<std::int64_t>(written_ - writebackStart_));
        writebackStart_ = written_;
    }
}

void TOutputFile::Write(std::string_view bytes) {
    if (file_ == platform::kNoFile) {
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
    if (file_ == platform::kNoFile) {
        return;
    }
    Flush();
    // The file it replaces, as it is now, gives the permission bits.
    if (const int mode = ModeOfExisting(finalName_); mode >= 0) {
        SetMode(file_, mode, finalName_);
    }
    if (const int error = platform::SyncFile(file_); error != 0) {
        Fail(error);
    }
    const platform::TFileHandle file = file_;
    file_ = platform::kNoFile;
    if (const int error = platform::CloseFile(file); error != 0) {
        Fail(error);
    }
}

void TOutputFile::Commit() {
    if (committed_ || tempName_.empty()) {
        Fail(EBADF);
    }
    Close();
    if (const int error = platform::ReplaceByRename(tempName_, finalName_); error != 0) {
        throw MakeIOError(error, finalName_);
    }
    committed_ = true;
    UnregisterTemporary(registrySlot_);
    registrySlot_ = -1;
}

} // namespace corvane
