// Opening a form's data file: a missing file is a form never filled, anything else that cannot be read is an
// error for that form.

#include "database/DEInfoRec.h"
#include "database/Errors.h"
#include "export/DataFile.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {
namespace {

namespace tw = testwriter;

struct OneForm {
    tw::TempDir dir;
    TDEInfoRec db;
    TFormRec form{&db};
    explicit OneForm(const std::string& dataFile) {
        db.SetDirectory(dir.Dir());
        form.Name = "Orders";
        form.DataFile = dataFile;
    }
};

TEST(OpenDataFile, AMissingFileOrNoNameIsNoFile) {
    for (const char* name : {"ORDERS.DBM", ""}) {
        OneForm f(name);
        EXPECT_EQ(OpenDataFile(f.form), nullptr) << name;
    }
    // A database directory that is a file holds no data file either.
    OneForm f("ORDERS.DBM");
    tw::WriteFile(f.dir / "plain", "x");
    f.db.SetDirectory(f.dir.Dir() + "plain/");
    EXPECT_EQ(OpenDataFile(f.form), nullptr);
}

TEST(OpenDataFile, OpensTheFileWithoutRegardToCase) {
    OneForm f("ORDERS.DBM");
    tw::WriteFile(f.dir / "orders.dbm", "abc");
    const auto file = OpenDataFile(f.form);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Name(), f.dir.Dir() + "orders.dbm");
    EXPECT_EQ(file->Size(), 3);
}

TEST(OpenDataFile, AFileThatExistsButCannotBeReadIsAnError) {
    struct Case {
        const char* what;
        int code;
    };
    const Case cases[] = {{"fifo", kIONotRegularFile}, {"directory", EISDIR}, {"device", kIONotRegularFile}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OneForm f("ORDERS.DBM");
        const std::string path = f.dir.Dir() + "ORDERS.DBM";
        const std::string what = c.what;
        if (what == "fifo") {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        } else if (what == "directory") {
            std::filesystem::create_directory(path);
        } else {
            std::filesystem::create_symlink("/dev/zero", path);
        }
        try {
            (void)OpenDataFile(f.form);
            ADD_FAILURE() << "expected an error";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.ErrorCode(), c.code);
            EXPECT_EQ(e.FileName(), path);
        }
    }
}

TEST(OpenDataFile, AFileWithoutReadPermissionIsAnError) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the superuser";
    }
    OneForm f("ORDERS.DBM");
    tw::WriteFile(f.dir / "ORDERS.DBM", "abc");
    ASSERT_EQ(::chmod((f.dir / "ORDERS.DBM").c_str(), 0), 0);
    try {
        (void)OpenDataFile(f.form);
        ADD_FAILURE() << "expected an error";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), EACCES);
        EXPECT_EQ(e.FileName(), f.dir.Dir() + "ORDERS.DBM");
    }
}

TEST(OpenDataFile, ANameThatLeavesTheDirectoryIsAnErrorEvenWhenTheFileExists) {
    // sub/SECRET.DB and ".." exist; "../SECRET.DB" is refused whether or not it does.
    OneForm f("../SECRET.DB");
    std::filesystem::create_directories(f.dir / "sub");
    tw::WriteFile(f.dir / "sub" / "SECRET.DB", "x");
    for (const char* name : {"../SECRET.DB", "sub/SECRET.DB", ".", ".."}) {
        f.form.DataFile = name;
        EXPECT_THROW((void)OpenDataFile(f.form), EDELibError) << name;
    }
}

} // namespace
} // namespace corvane
