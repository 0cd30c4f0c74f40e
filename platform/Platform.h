#pragma once
// Everything Corvane asks of the operating system, behind one small interface with one POSIX implementation
// (PlatformPosix.cpp) and one Windows implementation (PlatformWindows.cpp); the build compiles exactly one of
// them. The code above this layer is plain C++ and never includes a system header.
//
// Error codes are errno numbers on every system (the Windows side translates its own codes), so that the
// callers handle one set and std::strerror describes them. Paths are byte strings; on Windows they are
// converted to UTF-16 at the system call: UTF-8 when the bytes are valid UTF-8, otherwise the ANSI code page
// (the single-byte names stored in DataEase files and given on a Windows command line).

#include "platform/PathSeparator.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace corvane::platform {

// An open file of this layer; kNoFile when none.
using TFileHandle = std::intptr_t;
inline constexpr TFileHandle kNoFile = -1;

// Opens an existing file for reading only, without denying other programs read or write access (nor the
// replacement of its name). The open never waits (a FIFO without a writer is opened at once); with noFollow a
// final link is not followed (ELOOP). Returns kNoFile and sets error on failure; a directory gives EISDIR.
TFileHandle OpenForReading(const std::string& path, int& error, bool noFollow = false);
// Creates path for writing; fails with EEXIST when anything of that name exists (so two writers never share
// a file). The file is created with the default permissions of a new file.
TFileHandle CreateNewFile(const std::string& path, int& error);
// Closes file; returns 0 or the error code of the close.
int CloseFile(TFileHandle file);

// Size in bytes of the open file; returns 0 or an error code.
int FileSize(TFileHandle file, std::int64_t& size);
// Reads up to count bytes at pos (repeating after interruptions). Returns the number delivered, fewer only at
// the end of the file, or -1 with error set.
std::int64_t ReadAt(TFileHandle file, std::int64_t pos, void* buf, std::size_t count, int& error);
// Writes all count bytes at the current end; returns 0 or an error code (ENOSPC for a full disk).
int WriteAll(TFileHandle file, const void* buf, std::size_t count);
// Asks the system to start writing the given range to the disk now. Only a hint: errors show at SyncFile.
void StartWriteBack(TFileHandle file, std::int64_t pos, std::int64_t count);
// Waits until what was written is on the disk; returns 0 or an error code. File systems that cannot sync a
// file (a pipe, a read-only or special file system) count as done.
int SyncFile(TFileHandle file);

// True when the open file is a regular file.
bool IsRegularFile(TFileHandle file);
// Gives the open file the permission bits mode (0 to 0777); returns 0 or an error code. Systems and file
// systems without permission bits count as done.
int SetPermissions(TFileHandle file, int mode);

// Writes all bytes to an open descriptor of the C runtime (1 standard output, 2 standard error, the end of a
// pipe). A reader that went away gives EPIPE here, never a signal that ends the process. Returns 0 or an
// error code.
int WriteToDescriptor(int descriptor, const void* buf, std::size_t count);

// Takes an exclusive lock on the open file without waiting; false when another holder has it. A writer holds
// the lock on its temporary file for as long as it writes, so that a cleanup can tell it from an abandoned
// one.
bool TryLockFile(TFileHandle file);

enum class TFileKind { Regular, Directory, Fifo, Device, Socket, Other };

struct TFileStatus {
    bool Exists = false;
    bool IsDirectory = false;
    bool IsRegular = false;
    TFileKind Kind = TFileKind::Other;
    int Permissions = -1;                     // the permission bits (0 to 0777), -1 where the system has none
    std::time_t ModificationTime = 0;         // seconds since the epoch
    std::int64_t ModificationNanoseconds = 0; // and the part of a second, where the file system keeps it
};

// What path names (following links); Exists is false when nothing of that name can be found.
TFileStatus StatusOf(const std::string& path);
// 0 when the calling process may write to the existing file or directory path, else the error code.
int WriteAccess(const std::string& path);
// True when path is a directory that the calling process may enter.
bool CanEnterDirectory(const std::string& path);

// Names of the entries of directory, "." and ".." left out, in the system's order. Returns 0 or an error
// code.
int ListDirectory(const std::string& directory, std::vector<std::string>& names);
// Creates directory and its missing parents; returns 0 or an error code (an existing directory is no error).
int CreateDirectories(const std::string& directory);
// Renames from to to, replacing an existing file of that name in one step, also while another program has
// it open for reading; the rename is on the disk when this returns. Returns 0 or an error code.
int ReplaceByRename(const std::string& from, const std::string& to);
// Removes the file path; returns 0 or an error code.
int RemoveFile(const std::string& path);
// The same for a path of at most a few thousand bytes, and safe to call from an interruption handler.
void RemoveFileInHandler(const char* path);
// The absolute path of the existing directory or file path with every link resolved; "" when there is none.
std::string CanonicalPath(const std::string& path);

// The full path of the running program file ("" when the system does not tell).
std::string ProgramPath();
// The calling process's id.
long ProcessId();
// True when a process of that id exists (it may be another program that took the id of an ended one).
bool ProcessExists(long pid);
// Prepares the process for writing files: a file-size limit makes a write fail like a full disk instead of
// ending the process, and an interruption (Ctrl-C, a request to terminate) first calls cleanup and then ends
// the process as it would have without it. An interruption the process was started to ignore stays ignored.
// cleanup may only call RemoveFileInHandler and read memory it does not allocate. Call once, early.
void InstallInterruptCleanup(void (*cleanup)());
// The value of an environment variable, "" when unset.
std::string EnvironmentVariable(const char* name);
// The user's home directory as the system's user database names it ("" when it names none).
std::string UserHomeDirectory();
// The system's special folder of a CSIDL code (35: application data shared by all users), created when
// missing; "" where the system has no special folders (the caller then chooses one) or cannot name it.
std::string SpecialFolder(int csidl);

// The user's short date format in the strftime-like form of the date writer: %d and %m two digits, %-d and
// %-m without a leading zero, %e the day padded with a blank, %Y the whole year, %y two digits. "" when the
// system names none.
std::string ShortDateFormat();
// The user's time format in the same form: %H, %I, %M, %S and the text between them. "" when none is named.
std::string TimeFormat();
// The local date and time of t; false when the system cannot convert it.
bool LocalTime(std::time_t t, std::tm& local);

// True when standard output (stream 1) or standard error (stream 2) is a terminal.
bool IsTerminal(int stream);

} // namespace corvane::platform
