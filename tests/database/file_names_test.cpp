// Names read from the dictionary and the Application Objects are file names inside the database directory,
// never paths: a name that would lead elsewhere lists harmlessly but is an error wherever a file is opened by
// it.

#include "database/DEInfoRec.h"
#include "database/Errors.h"
#include "export/DataFile.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace corvane {
namespace {

namespace tw = testwriter;
using namespace std::string_literals;

TEST(PlainFileName, RefusesSeparatorsNulAndTheDotNames) {
    struct Case {
        std::string name;
        bool plain;
    };
    const Case cases[] = {
        {"CUSTOMER.DBM", true},
        {"", true},
        {"...", true},
        {"..DBM", true},
        {".hidden", true},
        {".", false},
        {"..", false},
        {"../SECRET.DB", false},
        {"SUB/DATA", false},
        {"/", false},
        {"..\\SECRET.DB", false},
        {"A\\B", false},
        {"AB\0CD"s, false},
        {"\0"s, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsPlainFileName(c.name), c.plain) << c.name;
    }
}

// A database in DIR/db whose form Secret names the data file given, while a readable form of the same layout
// (definition and data) lies one level up, where a name with ".." would reach it.
struct EscapingDatabase {
    tw::TempDir root;
    TDEInfoRec db;

    EscapingDatabase(std::uint8_t versionByte, const std::string& dataFile) {
        const int version = versionByte == 5 ? 5 : 3;
        tw::WriteDatabase(root.Path(), {.Version = version,
                                        .DictionaryName = "RDRROUTS.DBM",
                                        .Forms = {{.Name = "Secret",
                                                   .DataFile = "SECRET.DB",
                                                   .Fields = {tw::TextField("Code", 8)},
                                                   .Records = {{.Values = {{"Code", "TOPSECRT"}}}}}}});
        std::filesystem::create_directories(root / "db");
        tw::WriteFile(
            root / "db" / "RDRRAAAA.DBM",
            tw::BuildDictionary(
                {.VersionByte = versionByte,
                 .Forms = {{.Name = "Secret", .RecordLength = 9, .RecordCount = 1, .DataFile = dataFile},
                           {.Name = "Plain", .DataFile = "PLAIN.DBM"}}}));
        db.SetDirectory((root / "db").string() + "/");
        db.SetDictionaryName("RDRRAAAA.DBM");
    }
};

TEST(PlainFileName, ADataFileNameLeavingTheDirectoryListsButNeverOpens) {
    struct Case {
        std::uint8_t versionByte;
        std::string field; // the dictionary's data file field
        std::string name;  // as the catalogue keeps it
    };
    const Case cases[] = {
        {5, "../SECRET.DB", "../SECRET.DB"},
        {2, "../SECRET.DB", "../SECRET.DB"},
        {2, "..", ".."},
        {2, ".", "."},
        {2, "..\\SECRET.DB", "..\\SECRET.DB"},
        {5, "/SECRET.DB", "/SECRET.DB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        EscapingDatabase f(c.versionByte, c.field);
        ASSERT_NO_THROW(f.db.Load());
        TFormRec* secret = f.db.FindForm("Secret");
        ASSERT_NE(secret, nullptr);
        EXPECT_EQ(secret->DataFile, c.name);
        ASSERT_NE(f.db.FindForm("Plain"), nullptr);

        const std::string message =
            "form Secret: data file name " + c.name + " leaves the database directory";
        auto expectRefused = [&message](auto&& call) {
            try {
                call();
                ADD_FAILURE() << "expected an error";
            } catch (const EDELibError& e) {
                EXPECT_EQ(e.what(), message);
            }
        };
        expectRefused([&] { (void)DataFilePath(*secret); });
        expectRefused([&] { (void)OpenDataFile(*secret); });
        expectRefused([&] { (void)secret->DefinitionFile4x(); });
        expectRefused([&] { (void)secret->DefinitionFile5x(); });
        // The definition one level up is never read.
        expectRefused([&] { (void)secret->GetFields(); });
        EXPECT_EQ(secret->Fields, nullptr);
    }
}

TEST(PlainFileName, TheMessageShowsControlCharactersEscaped) {
    TDEInfoRec db;
    TFormRec form(&db);
    form.Name = "AB\0CD"s;
    form.DataFile = "X\0/Y"s;
    try {
        (void)DataFilePath(form);
        FAIL() << "expected an error";
    } catch (const EDELibError& e) {
        EXPECT_STREQ(e.what(), "form AB\\x00CD: data file name X\\x00/Y leaves the database directory");
    }
}

TEST(PlainFileName, SystemFormsUnderDEPathAreNotAffected) {
    // The definition of a system form is named by its fixed stem, not by the data file.
    tw::TempDir dePath;
    TDEInfoRec db;
    db.SetDEPath(dePath.Dir());
    db.Version = kVersion4x;
    TFormRec form(&db);
    form.Name = "Configuration";
    form.SystemForm = true;
    form.DataFile = "../CONFIGUR.DBM";
    EXPECT_EQ(form.DefinitionFile4x(), dePath.Dir() + "configur.dbs");
    EXPECT_THROW((void)DataFilePath(form), EDELibError);
}

// A DfW database whose Application Objects file is named by the dictionary.
void WriteDfW(const std::filesystem::path& dir, const std::string& objectsFile,
              const tw::AppObjectsSpec& objects) {
    std::filesystem::create_directories(dir);
    tw::WriteFile(dir / "RDRRAAAA.DBM",
                  tw::BuildDictionary({.VersionByte = 5,
                                       .DfWMarker = true,
                                       .Forms = {{.Name = "Customers", .DataFile = "CUST.DBM"},
                                                 {.Name = "Application Objects", .DataFile = objectsFile}}}));
    tw::WriteFile(dir / "APPOBJ.DBM", tw::BuildApplicationObjects(objects));
}

TEST(PlainFileName, AnApplicationObjectsFileOutsideTheDirectoryFailsTheLoad) {
    tw::TempDir root;
    const tw::AppObjectsSpec objects{
        .Entries = {{.EntryKind = 0, .VariantName = "Outside", .BaseForm = "Customers"}}};
    // A readable Application Objects file one level up, which "../" would reach.
    tw::WriteFile(root / "APPOBJ.DB", tw::BuildApplicationObjects(objects));
    WriteDfW(root / "db", "../APPOBJ.DB", objects);
    TDEInfoRec db;
    db.SetDirectory((root / "db").string() + "/");
    db.SetDictionaryName("RDRRAAAA.DBM");
    try {
        db.Load();
        ADD_FAILURE() << "expected an error";
    } catch (const EDELibError& e) {
        EXPECT_STREQ(e.what(),
                     "form Application Objects: data file name ../APPOBJ.DB leaves the database directory");
    }
    // The dictionary's forms stay; no variant was read from the file outside.
    EXPECT_NE(db.FindForm("Customers"), nullptr);
    EXPECT_EQ(db.FindForm("Outside"), nullptr);
}

TEST(PlainFileName, AVariantObjectFileOutsideTheDirectoryIsNotLookedUp) {
    tw::TempDir dir;
    tw::WriteFile(dir / "INSIDE.VRF", "x");
    std::filesystem::create_directories(dir / "sub");
    tw::WriteFile(dir / "sub" / "DEEP.VRF", "x"); // exists, but is not in the database directory
    WriteDfW(
        dir.Path(), "APPOBJ.DBM",
        {.Entries = {
             {.EntryKind = 0, .VariantName = "Inside", .ObjectFile = "INSIDE.VRF", .BaseForm = "Customers"},
             {.EntryKind = 0, .VariantName = "Deep", .ObjectFile = "sub/DEEP.VRF", .BaseForm = "Customers"},
             {.EntryKind = 0, .VariantName = "Dots", .ObjectFile = "..", .BaseForm = "Customers"}}});
    TDEInfoRec db;
    db.SetDirectory(dir.Dir());
    db.SetDictionaryName("RDRRAAAA.DBM");
    ASSERT_NO_THROW(db.Load());
    ASSERT_NE(db.FindForm("Inside"), nullptr);
    ASSERT_NE(db.FindForm("Deep"), nullptr);
    ASSERT_NE(db.FindForm("Dots"), nullptr);
    EXPECT_NE(db.FindForm("Inside")->FileDate, 0.0);
    EXPECT_EQ(db.FindForm("Deep")->FileDate, 0.0);
    EXPECT_EQ(db.FindForm("Dots")->FileDate, 0.0);
    // Opening the variants' data goes through the base form's plain name.
    EXPECT_EQ(DataFilePath(*db.FindForm("Deep")), dir.Dir() + "CUST.DBM");
}

} // namespace
} // namespace corvane
