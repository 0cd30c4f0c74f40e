// What only the Windows build does: "\" paths and drive letters, the short date format of the user's
// regional settings, and an output replaced while another program reads the old file.

#include "cli/Cli.h"
#include "database/PlatformFile.h"
#include "environment/Environment.h"
#include "export/FieldValues.h"
#include "export/FormExport.h"
#include "export/OutputFile.h"
#include "platform/Platform.h"
#include "text/TextUtils.h"
#include "tools/testwriter/TestWriter.h"
#include "ui/logic/DatabaseSelection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <windows.h>

#include <shlobj.h>

namespace corvane {
namespace {

namespace fs = std::filesystem;
namespace tw = corvane::testwriter;

// The sample databases, as a Windows path ("\" separators on the drive the tests run from).
std::string ExamplesDirectory() {
    std::string dir = std::string(CORVANE_SOURCE_DIR) + "/examples/";
    for (char& c : dir) {
        c = c == '/' ? '\\' : c;
    }
    return dir;
}

int Cli(std::vector<std::string> args, std::string& err) {
    args.insert(args.begin(), "corvane-cli");
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    std::ostringstream out;
    std::ostringstream errors;
    const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, errors);
    err = errors.str();
    return status;
}

std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(WindowsPaths, DirectoriesEndInABackslash) {
    EXPECT_EQ(kPathSeparator, '\\');
    EXPECT_EQ(WithTrailingSeparator("C:\\OUT"), "C:\\OUT\\");
    EXPECT_EQ(WithTrailingSeparator("C:\\OUT\\"), "C:\\OUT\\");
    EXPECT_EQ(JoinPath("C:\\DATA", "\\Ostrel"), "C:\\DATA\\Ostrel");
    EXPECT_EQ(JoinPath("C:\\DATA\\", "Ostrel"), "C:\\DATA\\Ostrel");
    EXPECT_EQ(FileStem("A\\B/C"), "ABC") << "neither separator may lead an output out of its directory";
}

TEST(WindowsPaths, UpFolderStopsAtTheDriveRoot) {
    const struct {
        const char* Dir;
        const char* Up;
    } cases[] = {
        {"c:\\temp\\", "c:\\"},
        {"c:\\temp", "c:\\"}, // the root, not "c:" (which names the drive's current directory)
        {"c:\\temp\\sub\\", "c:\\temp\\"},
        {"c:\\", "c:\\"}, // the root stays the root
        {"c:", "c:"},     // no separator: nothing changes
        {"\\\\server\\share\\dir", "\\\\server\\share\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ui::UpFolder(c.Dir), c.Up) << c.Dir;
    }
}

TEST(WindowsPaths, ProgramPathIsTheExeWithBackslashes) {
    const std::string path = platform::ProgramPath();
    ASSERT_GT(path.size(), 3u);
    EXPECT_EQ(path[1], ':') << path;
    EXPECT_EQ(path[2], '\\') << path;
    EXPECT_EQ(UpperCaseAscii(path.substr(path.size() - 4)), ".EXE") << path;
    EXPECT_TRUE(platform::StatusOf(path).IsRegular);
}

TEST(WindowsPaths, DriveRootIsListedAndNamesAreFoundWithoutRegardToCase) {
    EXPECT_FALSE(ListDirectory("C:\\").empty());
    tw::TempDir dir;
    tw::WriteFile(dir / "MixedCase.Dbm", "x");
    const std::string lower = dir.Path().string() + "\\mixedcase.DBM";
    EXPECT_TRUE(platform::StatusOf(lower).Exists) << "the file system itself ignores case";
    TReadOnlyFile file(ResolveExistingPath(lower));
    EXPECT_EQ(file.Size(), 1);
}

TEST(WindowsPaths, SampleDatabasesExportThroughBackslashPaths) {
    tw::TempDir out;
    for (const char* version : {"v3", "v5", "v6", "v7"}) {
        const std::string db = ExamplesDirectory() + version + "\\";
        const std::string target = out.Path().string() + "\\" + version;
        fs::create_directories(target);
        std::vector<std::string> args{"export", db, "--out", target};
        if (platform::StatusOf(db + "depath").IsDirectory) {
            args.insert(args.end(), {"--depath", db + "depath\\"});
        }
        std::string err;
        EXPECT_EQ(Cli(args, err), 0) << version << ": " << err;
        const std::vector<std::string> files = Entries(target);
        EXPECT_FALSE(files.empty()) << version;
        for (const std::string& name : files) {
            EXPECT_EQ(name.find(".corvane-partial-"), std::string::npos) << "a temporary was left: " << name;
            EXPECT_GT(fs::file_size(fs::path(target) / name), 0u) << name;
        }
    }
}

TEST(WindowsPaths, AnArgumentStartingWithASlashIsAPathNotAnOption) {
    // The source directory is given as the build machine names it ("/..."): a path from the root of the
    // current drive, which Wine maps to that machine's root.
    const std::string db = std::string(CORVANE_SOURCE_DIR) + "/examples/v3/";
    ASSERT_EQ(db.front(), '/');
    tw::TempDir out;
    const std::string target = out.Path().string() + "\\v3";
    const struct {
        std::vector<std::string> Args;
        const char* Made; // the file the command writes, "" for none
    } cases[] = {
        {{"forms", db}, ""},
        {{"fields", db, "--form", "Customers"}, ""},
        {{"export", db, "--out", target}, "Customers.csv"},
    };
    for (const auto& c : cases) {
        std::string err;
        EXPECT_EQ(Cli(c.Args, err), 0) << c.Args.front() << ": " << err;
        if (*c.Made != '\0') {
            EXPECT_TRUE(fs::is_regular_file(fs::path(target) / c.Made)) << err;
        }
    }
}

// ---- The regional short date format ----

// What the system itself writes for a date in the user's short date format.
std::string SystemShortDate(int year, int month, int day) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    wchar_t buffer[64];
    const int n =
        ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, buffer, 64, nullptr);
    EXPECT_GT(n, 0);
    std::string text;
    for (int i = 0; i + 1 < n; ++i) {
        text += buffer[i] < 0x80 ? static_cast<char>(buffer[i]) : '?';
    }
    return text;
}

TEST(WindowsLocale, ShortDatesAreWrittenAsTheSystemWritesThem) {
    const std::string format = LocaleShortDateFormat();
    ASSERT_FALSE(format.empty());
    EXPECT_EQ(format.find("%y"), std::string::npos) << "a two-digit year is widened: " << format;
    const TCivilDate dates[] = {{1777, 1, 1}, {1999, 12, 31}, {2024, 3, 5}, {2038, 10, 9}};
    for (const TCivilDate& d : dates) {
        std::string ours;
        AppendFormattedDate(ours, d, format);
        std::string system = SystemShortDate(static_cast<int>(d.Year), d.Month, d.Day);
        // The system may write a two-digit year where Corvane keeps the century.
        if (system.size() + 2 == ours.size()) {
            EXPECT_NE(ours.find(std::to_string(d.Year)), std::string::npos) << ours;
            continue;
        }
        EXPECT_EQ(ours, system) << "format " << format;
    }
}

TEST(WindowsLocale, TimeSeparatorAndBuildStampFollowTheLocale) {
    wchar_t buffer[16] = {};
    ASSERT_GT(::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STIME, buffer, 16), 0);
    EXPECT_EQ(LocaleTimeSeparator(), static_cast<char>(buffer[0]));
}

TEST(WindowsEnvironment, CommonDataDirectoryIsTheSharedApplicationDataFolder) {
    char expected[MAX_PATH + 1] = {};
    ASSERT_TRUE(::SHGetSpecialFolderPathA(nullptr, expected, 35, TRUE));
    EXPECT_EQ(GetSpecialFolder(0, kCsidlCommonAppData), expected);

    tw::TempDir dir;
    const std::string program = dir.Path().string() + "\\corvane.exe";
    tw::WriteFile(program, "MZ");
    tw::WriteFile(dir / "Environment.ini", "[Paths]\r\nCommonAppDataPath=$data\r\n");
    TEnvironment env;
    InitEnvironmentFor(env, 7, program);
    EXPECT_EQ(env.ProgramDirectory, dir.Path().string() + "\\");
    EXPECT_EQ(env.ProgramFileName, "corvane.exe");
    EXPECT_EQ(env.CommonDataDirectory, dir.Path().string() + "\\data\\");
    EXPECT_TRUE(fs::is_directory(dir / "data" / "Ostrel" / "Quintor"));
    EXPECT_EQ(env.BuildStamp.size(), 13u) << env.BuildStamp;
}

// ---- Replacing an output that is open elsewhere ----

HANDLE OpenForReadingWithShare(const fs::path& path, DWORD share) {
    return ::CreateFileW(path.wstring().c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string ReadAll(HANDLE handle) {
    char buffer[64];
    DWORD got = 0;
    ::SetFilePointer(handle, 0, nullptr, FILE_BEGIN);
    EXPECT_TRUE(::ReadFile(handle, buffer, sizeof buffer, &got, nullptr));
    return std::string(buffer, got);
}

TEST(WindowsReplace, AnOutputReplacesAFileAReaderHoldsOpen) {
    tw::TempDir dir;
    const fs::path file = dir / "A.csv";
    tw::WriteFile(file, "old\r\n");
    // Our own reader shares everything, as a viewer that allows replacement does.
    int error = 0;
    const platform::TFileHandle reader = platform::OpenForReading(file.string(), error);
    ASSERT_NE(reader, platform::kNoFile) << error;
    {
        TOutputFile out(file.string());
        out.Write("new\r\n");
        out.Commit();
    }
    EXPECT_EQ(tw::ReadFileText(file), "new\r\n");
    char old[8] = {};
    EXPECT_EQ(platform::ReadAt(reader, 0, old, sizeof old, error), 5)
        << "the reader keeps the file it opened";
    EXPECT_EQ(std::string(old, 5), "old\r\n");
    platform::CloseFile(reader);
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"A.csv"});
}

TEST(WindowsReplace, AReaderThatForbidsReplacementKeepsTheOldFileAndNoTemporaryStays) {
    tw::TempDir dir;
    const fs::path file = dir / "A.csv";
    tw::WriteFile(file, "old\r\n");
    // A program that reads without sharing deletion (most editors): the replacement must fail cleanly.
    const HANDLE reader = OpenForReadingWithShare(file, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    {
        TOutputFile out(file.string());
        out.Write("new\r\n");
        try {
            out.Commit();
            ADD_FAILURE() << "the replacement was reported as done";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.FileName(), file.string());
            EXPECT_NE(e.ErrorCode(), 0);
        }
    }
    EXPECT_EQ(ReadAll(reader), "old\r\n");
    ::CloseHandle(reader);
    EXPECT_EQ(tw::ReadFileText(file), "old\r\n");
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"A.csv"});
}

TEST(WindowsReplace, AnExportReadsADatabaseThatAnotherProgramHasOpenForWriting) {
    tw::TempDir copy;
    fs::copy(ExamplesDirectory() + "v5", copy.Path(), fs::copy_options::recursive);
    // DataEase itself keeps its files open for reading and writing while it runs.
    const HANDLE writer = ::CreateFileW((copy / "CUSTOMER.DBM").wstring().c_str(),
                                        GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    tw::TempDir out;
    std::string err;
    EXPECT_EQ(Cli({"export", copy.Path().string(), "--out", out.Path().string(), "--depath",
                   (copy / "depath").string()},
                  err),
              0)
        << err;
    ::CloseHandle(writer);
    EXPECT_TRUE(fs::exists(out / "Customers.csv")) << err;
}

} // namespace
} // namespace corvane
