#include "environment/Environment.h"
#include "database/Errors.h"
#include "environment/IniFile.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <utime.h>

namespace fs = std::filesystem;
using namespace corvane;

namespace {

// A fresh directory per test under the system's temporary directory, removed afterwards.
class TempDir {
public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("corvane-env-") + info->test_suite_name() + "-" + info->name();
        for (char& c : name) {
            if (c == '/') {
                c = '_';
            }
        }
        path_ = fs::temp_directory_path() / name;
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string Str() const { return path_.string() + "/"; }
    fs::path Path() const { return path_; }

private:
    fs::path path_;
};

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Environment variables for the special-folder lookup, without touching the process's own.
std::function<std::string(const char*)> FakeEnv(std::map<std::string, std::string> values) {
    return [values = std::move(values)](const char* name) {
        const auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    };
}

} // namespace

TEST(JoinPath, Cases) {
    struct Case {
        const char* Base;
        const char* Rel;
        const char* Expected;
    };
    const Case cases[] = {
        {"", "name", "name"},
        {"", "/name", "/name"},
        {"", "", ""},
        {"/opt/app", "", "/opt/app/"},
        {"/opt/app/", "", "/opt/app/"},
        {"/opt/app", "data", "/opt/app/data"},
        {"/opt/app/", "data", "/opt/app/data"},
        {"/opt/app/", "/data", "/opt/app/data"},
        {"/opt/app/", "//data", "/opt/app//data"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JoinPath(c.Base, c.Rel), c.Expected) << "base '" << c.Base << "' rel '" << c.Rel << "'";
    }
}

TEST(BuildStamp, FormatsThirteenCharacters) {
    std::tm t{};
    t.tm_year = 2009 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 7;
    t.tm_hour = 9;
    t.tm_min = 5;
    EXPECT_EQ(FormatBuildStamp(t, ':'), "20090307:0905");
    t.tm_hour = 23;
    t.tm_min = 59;
    EXPECT_EQ(FormatBuildStamp(t, '.'), "20090307.2359");
}

TEST(BuildStamp, TimeSeparatorOfFormat) {
    struct Case {
        const char* Format;
        char Expected;
    };
    const Case cases[] = {{"%H:%M:%S", ':'}, {"%H.%M.%S", '.'}, {"%I.%M.%S %p", '.'},
                          {"%T", ':'},       {"%R", ':'},       {"%Hh%M", 'h'},
                          {"", ':'},         {"%%H-%M", ':'},   {"%H%M", ':'}};
    for (const Case& c : cases) {
        EXPECT_EQ(TimeSeparatorOfFormat(c.Format), c.Expected) << c.Format;
    }
}

TEST(BuildStamp, CLocaleUsesColon) {
    std::setlocale(LC_TIME, "C");
    EXPECT_EQ(LocaleTimeSeparator(), ':');
}

TEST(SpecialFolder, CommonAppDataFollowsXdgDataHome) {
    TempDir dir;
    const std::string data = dir.Str() + "data/home";
    EXPECT_EQ(GetSpecialFolder(0, kCsidlCommonAppData, FakeEnv({{"XDG_DATA_HOME", data + "/"}})), data);
    EXPECT_TRUE(fs::is_directory(data)) << "the folder is created when missing";
}

TEST(SpecialFolder, DefaultsUnderHome) {
    TempDir dir;
    const std::string home = dir.Str() + "user";
    fs::create_directories(home);
    // A relative XDG value is ignored, as the base directory rules require.
    const auto env = FakeEnv({{"HOME", home}, {"XDG_DATA_HOME", "relative/dir"}});
    EXPECT_EQ(GetSpecialFolder(0, kCsidlCommonAppData, env), home + "/.local/share");
    EXPECT_EQ(GetSpecialFolder(0, kCsidlAppData, env), home + "/.config");
    EXPECT_EQ(GetSpecialFolder(0, kCsidlPersonal, env), home);
    EXPECT_EQ(GetSpecialFolder(0, 12345, env), "");
}

class InitEnvironmentTest : public ::testing::Test {
protected:
    void SetUp() override {
        programDir = dir.Str() + "bin/";
        fs::create_directories(programDir);
        WriteFile(programDir + "corvane", "program");
        dataHome = dir.Str() + "xdgdata";
        env = FakeEnv({{"XDG_DATA_HOME", dataHome}, {"HOME", dir.Str() + "home"}});
    }
    TEnvironment Fill(const std::string& iniContent, bool writeIni = true) {
        if (writeIni) {
            WriteFile(programDir + "Environment.ini", iniContent);
        }
        TEnvironment result;
        InitEnvironmentFor(result, 42, programDir + "corvane", env);
        return result;
    }

    TempDir dir;
    std::string programDir;
    std::string dataHome;
    std::function<std::string(const char*)> env;
};

TEST_F(InitEnvironmentTest, FillsProgramPartsAndStamp) {
    std::setlocale(LC_TIME, "C");
    std::tm when{};
    when.tm_year = 2009 - 1900;
    when.tm_mon = 5;
    when.tm_mday = 30;
    when.tm_hour = 14;
    when.tm_min = 7;
    when.tm_isdst = -1;
    const std::time_t t = std::mktime(&when);
    utimbuf times{t, t};
    ASSERT_EQ(::utime((programDir + "corvane").c_str(), &times), 0);

    const TEnvironment e = Fill("", false);
    EXPECT_EQ(e.ProgramDirectory, programDir);
    EXPECT_EQ(e.ProgramFileName, "corvane");
    EXPECT_EQ(e.BuildStamp, "20090630:1407");
    EXPECT_EQ(e.OwnerWindow, 42u);
    // No Environment.ini: the common application data folder, with the separator appended.
    EXPECT_EQ(e.CommonDataDirectory, dataHome + "/");
    EXPECT_TRUE(fs::is_directory(dataHome + "/Ostrel/Quintor"));
    EXPECT_FALSE(fs::exists(programDir + "Environment.ini")) << "the file is never created";
}

TEST_F(InitEnvironmentTest, MissingProgramFileGivesEmptyStamp) {
    TEnvironment e;
    InitEnvironmentFor(e, 1, programDir + "not-there", env);
    EXPECT_EQ(e.ProgramDirectory, programDir);
    EXPECT_EQ(e.ProgramFileName, "not-there");
    EXPECT_EQ(e.BuildStamp, "");
}

TEST_F(InitEnvironmentTest, SecondCallChangesNothing) {
    TEnvironment e = Fill("[Paths]\nCommonAppDataPath=$shared\n");
    const TEnvironment before = e;
    WriteFile(programDir + "Environment.ini", "[Paths]\nCommonAppDataPath=/elsewhere\n");
    InitEnvironmentFor(e, 99, dir.Str() + "other/program", env);
    EXPECT_EQ(e.OwnerWindow, before.OwnerWindow);
    EXPECT_EQ(e.ProgramDirectory, before.ProgramDirectory);
    EXPECT_EQ(e.ProgramFileName, before.ProgramFileName);
    EXPECT_EQ(e.BuildStamp, before.BuildStamp);
    EXPECT_EQ(e.CommonDataDirectory, before.CommonDataDirectory);
}

TEST_F(InitEnvironmentTest, CommonAppDataPathRules) {
    const std::string absolute = dir.Str() + "not/yet/there";
    struct Case {
        std::string Value;
        std::string Expected;
    };
    const Case cases[] = {
        {"$shared", programDir + "shared/"},
        {"$/shared", programDir + "shared/"},
        {"$", programDir},
        {"$shared/", programDir + "shared/"},
        {absolute, absolute + "/"},
        {absolute + "/", absolute + "/"},
    };
    for (const Case& c : cases) {
        const TEnvironment e = Fill("[Paths]\nCommonAppDataPath=" + c.Value + "\n");
        EXPECT_EQ(e.CommonDataDirectory, c.Expected) << c.Value;
        EXPECT_TRUE(fs::is_directory(c.Expected + "Ostrel/Quintor")) << c.Value;
    }
}

TEST_F(InitEnvironmentTest, SectionAndKeyMatchWithoutCase) {
    const TEnvironment e = Fill("; shared data\n[paths]\ncommonappdatapath = $x\n");
    EXPECT_EQ(e.CommonDataDirectory, programDir + "x/");
}

TEST_F(InitEnvironmentTest, AbsentKeyGivesDefault) {
    const TEnvironment e = Fill("[Paths]\nOther=1\n[Elsewhere]\nCommonAppDataPath=$no\n");
    EXPECT_EQ(e.CommonDataDirectory, dataHome + "/");
}

TEST_F(InitEnvironmentTest, EmptyValueGivesEmptyDirectoryAndCreatesRelativeToCurrent) {
    const fs::path previous = fs::current_path();
    const std::string work = dir.Str() + "cwd";
    fs::create_directories(work);
    fs::current_path(work);
    const TEnvironment e = Fill("[Paths]\nCommonAppDataPath=\n");
    fs::current_path(previous);
    EXPECT_EQ(e.CommonDataDirectory, "");
    EXPECT_TRUE(fs::is_directory(work + "/Ostrel/Quintor"));
}

TEST_F(InitEnvironmentTest, UncreatableDirectoryIsPassedOverSilently) {
    // A plain file stands where the directory would go.
    WriteFile(dir.Str() + "blocked", "x");
    TEnvironment e;
    EXPECT_NO_THROW(e = Fill("[Paths]\nCommonAppDataPath=" + dir.Str() + "blocked\n"));
    EXPECT_EQ(e.CommonDataDirectory, dir.Str() + "blocked/");
}

TEST(IniFile, ReadsDefaultsFromMissingFile) {
    const TIniFile ini("/nonexistent-corvane-dir/corvane.ini");
    EXPECT_EQ(ini.ReadString("paths", "source", "/home/x/"), "/home/x/");
}

TEST(IniFile, WritesOrdinarySyntaxAndKeepsOtherLines) {
    TempDir dir;
    const fs::path file = dir.Path() / "corvane.ini";
    {
        TIniFile ini(file.string());
        ini.WriteString("paths", "destination", "/out/");
        ini.WriteString("paths", "source", "/data/db/");
        ini.UpdateFile();
    }
    EXPECT_EQ(ReadFile(file), "[paths]\ndestination=/out/\nsource=/data/db/\n");

    WriteFile(file, "; kept\n[other]\na=1\n\n[Paths]\nSource = /old/\n\n[more]\nb=2\n");
    {
        TIniFile ini(file.string());
        EXPECT_EQ(ini.ReadString("PATHS", "source", ""), "/old/");
        ini.WriteString("paths", "source", "/new/");
        ini.WriteString("paths", "destination", "/dest/");
        ini.UpdateFile();
    }
    EXPECT_EQ(ReadFile(file),
              "; kept\n[other]\na=1\n\n[Paths]\nSource=/new/\ndestination=/dest/\n\n[more]\nb=2\n");
    EXPECT_FALSE(fs::exists(file.string() + ".tmp"));
}

TEST(IniFile, ValueWithEqualsSignAndCrLf) {
    TempDir dir;
    const fs::path file = dir.Path() / "x.ini";
    WriteFile(file, "[s]\r\nk=a=b\r\n");
    const TIniFile ini(file.string());
    EXPECT_EQ(ini.ReadString("s", "k", ""), "a=b");
}

TEST(IniFile, UnwritableFileThrowsInOutError) {
    TIniFile ini("/nonexistent-corvane-dir/corvane.ini");
    ini.WriteString("paths", "source", "/x/");
    try {
        ini.UpdateFile();
        FAIL() << "no exception";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), ENOENT);
        EXPECT_STREQ(e.what(), std::strerror(ENOENT));
        EXPECT_EQ(e.FileName(), "/nonexistent-corvane-dir/corvane.ini.tmp");
    }
}
