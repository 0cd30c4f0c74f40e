// The output layer: what a final name may be, the permissions a replaced file keeps, which temporaries a
// cleanup may remove, and the three targets a run writes through.

#include "export/OutputFile.h"
#include "export/Outputs.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace corvane {
namespace {

namespace fs = std::filesystem;
namespace tw = corvane::testwriter;

std::vector<std::string> EntryNames(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

mode_t ModeOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

mode_t KindOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & S_IFMT;
}

// A process id that no process has: a child that has ended and been waited for.
pid_t EndedProcess() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

// ---------------------------------------------------------------------------------------------------------
// Final names that are not regular files

struct NotRegularCase {
    const char* what;
    std::function<void(const fs::path& at)> make;
    const char* message;
    mode_t kind; // what is at the final name, before and after
};

void MakeSocket(const fs::path& at) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(at.string().size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, at.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

const NotRegularCase kNotRegular[] = {
    {"fifo", [](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0644), 0); },
     "Not a regular file (a FIFO)", S_IFIFO},
    {"directory", [](const fs::path& at) { fs::create_directory(at); }, "Is a directory", S_IFDIR},
    {"socket", MakeSocket, "Not a regular file (a socket)", S_IFSOCK},
    {"link_to_a_device", [](const fs::path& at) { fs::create_symlink("/dev/null", at); },
     "Not a regular file (a device)", S_IFLNK},
    {"link_to_a_fifo",
     [](const fs::path& at) {
         ASSERT_EQ(::mkfifo((at.string() + ".fifo").c_str(), 0644), 0);
         fs::create_symlink(at.string() + ".fifo", at);
     },
     "Not a regular file (a FIFO)", S_IFLNK},
};

class NotRegularFinalName : public ::testing::TestWithParam<NotRegularCase> {};

TEST_P(NotRegularFinalName, IsRefusedBeforeAnythingIsCreated) {
    const NotRegularCase& c = GetParam();
    tw::TempDir dir;
    const fs::path at = dir / "Orders.csv";
    c.make(at);
    const std::vector<std::string> before = EntryNames(dir.Path());
    try {
        TOutputFile out(at.string());
        FAIL() << "created an output over a " << c.what;
    } catch (const EOutputWriteError&) {
        FAIL() << "a refused name is not a write error";
    } catch (const EInOutError& e) {
        EXPECT_EQ(std::string(e.what()), c.message);
        EXPECT_EQ(e.FileName(), at.string());
    }
    EXPECT_EQ(EntryNames(dir.Path()), before);
    EXPECT_EQ(KindOf(at), c.kind);
}

TEST(NotRegularFinalName, DeviceItselfIsRefused) {
    try {
        TOutputFile out("/dev/null");
        FAIL() << "created an output over /dev/null";
    } catch (const EInOutError& e) {
        EXPECT_EQ(std::string(e.what()), "Not a regular file (a device)");
    }
    EXPECT_EQ(KindOf("/dev/null"), S_IFCHR);
    for (const std::string& name : EntryNames("/dev")) {
        EXPECT_EQ(name.find(".null.corvane-partial-"), std::string::npos) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, NotRegularFinalName, ::testing::ValuesIn(kNotRegular),
                         [](const auto& info) { return std::string(info.param.what); });

// ---------------------------------------------------------------------------------------------------------
// Permission bits

class ReplacedFileMode : public ::testing::TestWithParam<mode_t> {};

TEST_P(ReplacedFileMode, IsKept) {
    tw::TempDir dir;
    const fs::path at = dir / "Orders.csv";
    tw::WriteFile(at, "older\r\n");
    ASSERT_EQ(::chmod(at.c_str(), GetParam()), 0);
    TOutputFile out(at.string());
    // While it is written, the temporary lets no one read it whom the older file kept out.
    EXPECT_EQ(ModeOf(out.TemporaryName()) & ~GetParam() & 077, 0U);
    out.Write("newer\r\n");
    out.Commit();
    EXPECT_EQ(tw::ReadFileText(at), "newer\r\n");
    EXPECT_EQ(ModeOf(at), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Modes, ReplacedFileMode, ::testing::Values(0600, 0640, 0604, 0755, 0666));

TEST(NewFileMode, IsWhatAPlainCreateGives) {
    tw::TempDir dir;
    const mode_t mask = ::umask(027);
    {
        TOutputFile out((dir / "Orders.csv").string());
        out.Commit();
    }
    ::umask(mask);
    EXPECT_EQ(ModeOf(dir / "Orders.csv"), 0640U);
}

// ---------------------------------------------------------------------------------------------------------
// Temporaries: their names, and which of them a cleanup removes

TEST(TemporaryWriter, IsReadFromTheName) {
    const struct {
        const char* name;
        pid_t writer;
    } cases[] = {
        {".Orders.csv.corvane-partial-1234-abcdefgh", 1234},
        {".a.corvane-partial-b.corvane-partial-77-x", 77},
        {".Orders.csv.corvane-partial-abcdefgh", -1}, // the older form, without a process id
        {".Orders.csv.corvane-partial--abc", -1},
        {".Orders.csv.corvane-partial-0-abc", -1},
        {".Orders.csv.corvane-partial-12a-abc", -1},
        {".Orders.csv.corvane-partial-1234", -1},
        {".Orders.csv.corvane-partial-1234567890-a", -1},
        {"Orders.csv.corvane-partial-12-abc", -1}, // not hidden
        {".corvane-partial-12-abc", -1},
        {"Orders.csv", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TemporaryWriter(c.name), c.writer) << c.name;
    }
}

TEST(TemporaryName, CarriesTheWritersProcessId) {
    tw::TempDir dir;
    TOutputFile out((dir / "Orders.csv").string());
    const std::string name = fs::path(out.TemporaryName()).filename().string();
    EXPECT_EQ(name.rfind(".Orders.csv.corvane-partial-", 0), 0U) << name;
    EXPECT_EQ(TemporaryWriter(name), ::getpid());
}

TEST(RemoveAbandonedTemporaries, RemovesOnlyWhatNoProcessCanStillWrite) {
    tw::TempDir dir;
    const std::string dead = std::to_string(EndedProcess());
    const std::string alive = std::to_string(::getppid());
    const std::string self = std::to_string(::getpid());
    const std::string abandoned = ".Orders.csv.corvane-partial-" + dead + "-aaaaaaaa";
    const std::string lockedByUs = ".Items.csv.corvane-partial-" + dead + "-bbbbbbbb";
    const std::vector<std::string> kept{
        ".Orders.csv.corvane-partial-" + alive + "-cccccccc", // its writer still runs
        ".Orders.csv.corvane-partial-" + self + "-dddddddd",  // this process's own
        lockedByUs,                                           // a process holds its lock
        ".Orders.csv.corvane-partial-eeeeeeee",               // no writer named: not provably abandoned
        "Orders.csv",
        "notes.corvane-partial-" + dead + "-ffffffff",
    };
    tw::WriteFile(dir / abandoned, "partial");
    for (const std::string& name : kept) {
        tw::WriteFile(dir / name, "keep");
    }
    fs::create_directory(dir / (".Sub.csv.corvane-partial-" + dead + "-gggggggg"));
    const int lock = ::open((dir / lockedByUs).c_str(), O_RDONLY);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);

    // A child holds no lock of ours: it sees the lock as any other process would.
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(static_cast<int>(RemoveAbandonedTemporaries(dir.Path().string())));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(lock);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);

    std::vector<std::string> expected = kept;
    expected.push_back(".Sub.csv.corvane-partial-" + dead + "-gggggggg");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(EntryNames(dir.Path()), expected);
}

TEST(RemoveAbandonedTemporaries, OfAMissingDirectoryDoesNothing) {
    tw::TempDir dir;
    EXPECT_EQ(RemoveAbandonedTemporaries((dir / "missing").string()), 0U);
}

TEST(OutputFile, LeavesTheTemporariesOfOthersAlone) {
    tw::TempDir dir;
    const std::string other = ".Orders.csv.corvane-partial-" + std::to_string(EndedProcess()) + "-aaaaaaaa";
    tw::WriteFile(dir / other, "partial");
    {
        TOutputFile out((dir / "Orders.csv").string());
        out.Write("x");
        out.Commit();
    }
    EXPECT_EQ(EntryNames(dir.Path()), (std::vector<std::string>{other, "Orders.csv"}));
}

// ---------------------------------------------------------------------------------------------------------
// Targets

TEST(MemoryOutputTarget, KeepsCommittedOutputsOnly) {
    TMemoryOutputTarget target;
    EXPECT_FALSE(target.WritesFiles());
    {
        auto kept = target.Create("out/Orders.csv");
        kept->Write("a,b\r\n");
        kept->Write("1,2\r\n");
        auto dropped = target.Create("out/Items.csv");
        dropped->Write("lost");
        EXPECT_EQ(target.Open(), 2U);
        kept->Commit();
    }
    EXPECT_EQ(target.Open(), 0U);
    const std::map<std::string, std::string> expected{{"out/Orders.csv", "a,b\r\n1,2\r\n"}};
    EXPECT_EQ(target.Committed(), expected);
}

TEST(FileOutputTarget, CommitsUnderTheFinalNameAndAnAbandonedOutputLeavesTheOlderFile) {
    tw::TempDir dir;
    tw::WriteFile(dir / "Items.csv", "older\r\n");
    TFileOutputTarget target;
    EXPECT_TRUE(target.WritesFiles());
    {
        auto orders = target.Create((dir / "Orders.csv").string());
        orders->Write("a\r\n");
        orders->Commit();
        auto items = target.Create((dir / "Items.csv").string());
        items->Write("partial");
    }
    EXPECT_EQ(tw::ReadFileText(dir / "Orders.csv"), "a\r\n");
    EXPECT_EQ(tw::ReadFileText(dir / "Items.csv"), "older\r\n");
    EXPECT_EQ(EntryNames(dir.Path()), (std::vector<std::string>{"Items.csv", "Orders.csv"}));
}

TEST(FileOutputTarget, CleansEachDirectoryOnceAtItsFirstOutput) {
    tw::TempDir dir;
    tw::TempDir second;
    const std::string abandoned = ".Old.csv.corvane-partial-" + std::to_string(EndedProcess()) + "-aaaaaaaa";
    tw::WriteFile(dir / abandoned, "partial");
    TFileOutputTarget target;
    target.Create((dir / "Orders.csv").string())->Commit();
    EXPECT_FALSE(fs::exists(dir / abandoned));

    // Left after the directory was cleaned: this target lists it no more.
    tw::WriteFile(dir / abandoned, "partial");
    tw::WriteFile(second / abandoned, "partial");
    target.Create((dir / "Items.csv").string())->Commit();
    target.Create((second / "Items.csv").string())->Commit();
    EXPECT_TRUE(fs::exists(dir / abandoned));
    EXPECT_FALSE(fs::exists(second / abandoned));
}

TEST(FileOutputTarget, RefusesAFifo) {
    tw::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "Orders.csv").c_str(), 0644), 0);
    TFileOutputTarget target;
    EXPECT_THROW(target.Create((dir / "Orders.csv").string()), EInOutError);
    EXPECT_EQ(KindOf(dir / "Orders.csv"), S_IFIFO);
}

TEST(StdoutOutputTarget, WritesEveryOutputToTheDescriptorInOrder) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    std::string read;
    std::thread reader([&]() {
        char buffer[4096];
        for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
            read.append(buffer, static_cast<std::size_t>(n));
        }
    });
    {
        TStdoutOutputTarget target(pipeFds[1], "<pipe>");
        EXPECT_FALSE(target.WritesFiles());
        auto first = target.Create("Orders.csv");
        first->Write("a,b\r\n");
        first->Write(std::string(100000, 'x')); // more than the output's buffer
        first->Write("\r\n");
        first->Commit();
        auto second = target.Create("Items.csv");
        second->Write("c\r\n");
        second->Commit();
    }
    ::close(pipeFds[1]);
    reader.join();
    ::close(pipeFds[0]);
    EXPECT_EQ(read, "a,b\r\n" + std::string(100000, 'x') + "\r\nc\r\n");
}

// Runs in a child, so that a SIGPIPE that got through would show as the child's end.
TEST(StdoutOutputTarget, AClosedPipeIsAWriteErrorAndNoSignal) {
    const pid_t child = ::fork();
    if (child == 0) {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) {
            ::_exit(10);
        }
        ::close(pipeFds[0]);
        TStdoutOutputTarget target(pipeFds[1], "<pipe>");
        auto out = target.Create("Orders.csv");
        try {
            out->Write("a\r\n");
            out->Commit();
        } catch (const EOutputWriteError& e) {
            sigset_t pending;
            sigpending(&pending);
            const bool left = sigismember(&pending, SIGPIPE) == 1;
            ::_exit(e.ErrorCode() == EPIPE && e.FileName() == "<pipe>" && !left ? 0 : 11);
        }
        ::_exit(12);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(StdoutOutputTarget, AFullDeviceIsAWriteError) {
    const int fd = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(fd, 0);
    TStdoutOutputTarget target(fd, "/dev/full");
    auto out = target.Create("Orders.csv");
    out->Write("a\r\n");
    try {
        out->Commit();
        FAIL() << "wrote to a full device";
    } catch (const EOutputWriteError& e) {
        EXPECT_EQ(e.ErrorCode(), ENOSPC);
        EXPECT_EQ(e.FileName(), "/dev/full");
    }
    ::close(fd);
}

} // namespace
} // namespace corvane
