#include "logic/Fakes.h"

#include "database/Errors.h"
#include "tools/testwriter/TestWriter.h"
#include "ui/logic/DatabaseSelection.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tw = corvane::testwriter;
using namespace corvane;
using namespace corvane::ui;
using namespace corvane::ui::fakes;

namespace {

class SelectionTest : public ::testing::Test {
protected:
    SelectionTest() : dialogue({&window, &edit, &list, &browser}, process) {}

    void WriteDb(const std::string& dictionary, int version, const std::string& name) {
        tw::WriteDatabase(dir.Path(), {.Version = version,
                                       .DictionaryName = dictionary,
                                       .Name = name,
                                       .Forms = {{.Name = "Items", .Fields = {tw::TextField("Name", 10)}}}});
    }

    tw::TempDir dir;
    FakeProcess process;
    FakeWindow window;
    FakeEdit edit;
    FakeListBox list;
    FakeFolderBrowser browser;
    TDatabaseSelectionDialogue dialogue;
};

} // namespace

TEST_F(SelectionTest, DirectoryBoxStartsAtHome) {
    EXPECT_EQ(edit.Text, "/home/tester/");
}

TEST_F(SelectionTest, ListsInFileNameOrderAndMapsIndexToFile) {
    // The lines' alphabetical order ("DfW  Alpha" < "5.x  Zeta" is false, but "Alpha" < "Zeta") differs from
    // the order of the files.
    WriteDb("RDRRAAAA.DBM", 5, "Zeta");
    WriteDb("RDRRBAAA.DBM", 6, "Alpha");
    edit.Text = dir.Path().string(); // without the final separator
    dialogue.FormActivate();
    EXPECT_EQ(list.Lines, (std::vector<std::string>{"5.x  Zeta", "DfW  Alpha"}));
    EXPECT_EQ(dialogue.FileNames, (std::vector<std::string>{"RDRRAAAA.DBM", "RDRRBAAA.DBM"}));
    EXPECT_EQ(dialogue.SearchDirectory, dir.Dir());

    list.Selected = 1;
    dialogue.BitBtn1Click();
    EXPECT_EQ(dialogue.SelectedFile, "RDRRBAAA.DBM");
    EXPECT_EQ(window.CloseCount, 1);
}

TEST_F(SelectionTest, LabelsByVersion) {
    WriteDb("RDRRAAAA.DBM", 3, "Four");
    WriteDb("RDRRBAAA.DBM", 6, "Windows");
    WriteDb("RDRRCAAA.DBM", 7, "Seven");
    WriteDb("rdrrdaaa.dbm", 5, "Five"); // the pattern matches without regard to case
    edit.Text = dir.Dir();
    dialogue.FindDatabases();
    EXPECT_EQ(list.Lines, (std::vector<std::string>{"4.x  Four", "DfW  Windows", "Seven", "5.x  Five"}));
    EXPECT_EQ(dialogue.FileNames.back(), "rdrrdaaa.dbm") << "the name as listed";
}

TEST_F(SelectionTest, NameShownUpToNul) {
    WriteDb("RDRRAAAA.DBM", 5, std::string("Ab\0cd", 5));
    edit.Text = dir.Dir();
    dialogue.FindDatabases();
    EXPECT_EQ(list.Lines, (std::vector<std::string>{"5.x  Ab"}));
}

TEST_F(SelectionTest, NoDictionariesGivesEmptyListAndOkWithoutChoice) {
    tw::WriteFile(dir / "notes.txt", "x");
    tw::WriteFile(dir / "RDRRAAAA.DBX", "x");
    edit.Text = dir.Dir();
    dialogue.FormActivate();
    EXPECT_TRUE(list.Lines.empty());
    dialogue.BitBtn1Click();
    EXPECT_EQ(dialogue.SelectedFile, "");
    EXPECT_EQ(window.CloseCount, 1);
}

TEST_F(SelectionTest, EmptyDirectoryBoxKeepsSearchDirectory) {
    WriteDb("RDRRAAAA.DBM", 5, "One");
    edit.Text = dir.Dir();
    dialogue.FindDatabases();
    edit.Text = "";
    dialogue.FindDatabases();
    EXPECT_TRUE(list.Lines.empty());
    EXPECT_TRUE(dialogue.FileNames.empty());
    EXPECT_EQ(dialogue.SearchDirectory, dir.Dir());
}

TEST_F(SelectionTest, FailingCandidateEndsTheSearchKeepingEarlierLines) {
    WriteDb("RDRRAAAA.DBM", 5, "Good");
    tw::WriteFile(dir / "RDRRBAAA.DBM", std::string("\x05\x00", 2)); // far too short for a header
    WriteDb("RDRRCAAA.DBM", 5, "Never reached");
    edit.Text = dir.Dir();
    try {
        dialogue.FindDatabases();
        FAIL() << "no exception";
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "Read beyond end of file");
        EXPECT_EQ(e.ErrorCode(), kIOReadBeyondEnd);
    }
    EXPECT_EQ(list.Lines, (std::vector<std::string>{"5.x  Good"}));
    EXPECT_EQ(dialogue.FileNames, (std::vector<std::string>{"RDRRAAAA.DBM"}));
}

TEST_F(SelectionTest, ActivationEmptiesTheChoice) {
    WriteDb("RDRRAAAA.DBM", 5, "One");
    edit.Text = dir.Dir();
    dialogue.FormActivate();
    list.Selected = 0;
    dialogue.BitBtn1Click();
    ASSERT_EQ(dialogue.SelectedFile, "RDRRAAAA.DBM");
    dialogue.FormActivate();
    EXPECT_EQ(dialogue.SelectedFile, "");
    dialogue.BitBtn2Click();
    EXPECT_EQ(dialogue.SelectedFile, "");
}

TEST_F(SelectionTest, DoubleClickWithoutSelectionClosesWithoutChoice) {
    WriteDb("RDRRAAAA.DBM", 5, "One");
    edit.Text = dir.Dir();
    dialogue.FormActivate();
    dialogue.DatabaseListBoxDblClick();
    EXPECT_EQ(dialogue.SelectedFile, "");
    EXPECT_EQ(window.CloseCount, 1);
    list.Selected = 0;
    dialogue.DatabaseListBoxDblClick();
    EXPECT_EQ(dialogue.SelectedFile, "RDRRAAAA.DBM");
}

TEST_F(SelectionTest, SetStartDirectory) {
    dialogue.SetStartDirectory("");
    EXPECT_EQ(edit.Text, "/home/tester/") << "empty: nothing changes";
    EXPECT_EQ(browser.Top, "");

    dialogue.SetStartDirectory(dir.Dir());
    EXPECT_EQ(edit.Text, dir.Dir());
    EXPECT_EQ(browser.Top, dir.Dir());

    dialogue.SetStartDirectory(dir.Dir() + "gone/");
    EXPECT_EQ(edit.Text, "/home/tester/") << "a directory that cannot be entered gives the home directory";
    EXPECT_EQ(browser.Top, "/home/tester/");
}

TEST_F(SelectionTest, BrowseSearchesTheChosenFolder) {
    std::filesystem::create_directories(dir / "sub");
    tw::WriteDatabase(dir / "sub", {.Version = 5, .Name = "Below", .Forms = {{.Name = "A"}}});
    browser.Top = dir.Dir();
    browser.Answer = std::nullopt;
    edit.Text = "/typed";
    dialogue.Button1Click();
    EXPECT_EQ(edit.Text, "/typed") << "cancelled: nothing changes";
    EXPECT_TRUE(list.Lines.empty());

    browser.Answer = (dir / "sub").string();
    dialogue.Button1Click();
    EXPECT_EQ(browser.TopWhenRun, dir.Dir());
    EXPECT_EQ(edit.Text, (dir / "sub").string());
    EXPECT_EQ(browser.Top, (dir / "sub").string());
    EXPECT_EQ(list.Lines, (std::vector<std::string>{"5.x  Below"}));
    EXPECT_EQ(dialogue.SearchDirectory, (dir / "sub").string() + "/");
}

TEST_F(SelectionTest, EnterInTheDirectoryBoxSearchesTheTypedFolder) {
    tw::WriteDatabase(dir / "typed", {.Version = 5, .Name = "Typed", .Forms = {{.Name = "A"}}});
    tw::WriteDatabase(dir / "first", {.Version = 6, .Name = "First", .Forms = {{.Name = "A"}}});
    edit.Text = (dir / "first").string();
    dialogue.FormActivate();
    ASSERT_EQ(list.Lines, (std::vector<std::string>{"DfW  First"}));
    list.Selected = 0;

    edit.Text = (dir / "typed").string();
    dialogue.Edit1KeyPress('x');
    EXPECT_EQ(list.Lines, (std::vector<std::string>{"DfW  First"})) << "typing alone starts no search";
    dialogue.Edit1KeyPress('\r');
    EXPECT_EQ(list.Lines, (std::vector<std::string>{"5.x  Typed"}));
    EXPECT_EQ(dialogue.FileNames, (std::vector<std::string>{"RDRRAAAA.DBM"}));
    EXPECT_EQ(dialogue.SearchDirectory, (dir / "typed").string() + "/");
    EXPECT_EQ(browser.Top, (dir / "typed").string());
    EXPECT_EQ(dialogue.SelectedFile, "") << "a new search, no choice yet";
    EXPECT_EQ(window.CloseCount, 0) << "Enter never closes the dialog";

    // A folder that does not exist: said so, and the dialog stays as it was.
    edit.Text = (dir / "missing").string();
    try {
        dialogue.Edit1KeyPress('\r');
        ADD_FAILURE() << "no error for a missing folder";
    } catch (const EInOutError& error) {
        EXPECT_EQ(DescribeError(error), (dir / "missing").string() + ": File not found");
    }
    EXPECT_EQ(list.Lines, (std::vector<std::string>{"5.x  Typed"}));
    EXPECT_EQ(dialogue.SearchDirectory, (dir / "typed").string() + "/");
    EXPECT_EQ(window.CloseCount, 0);

    edit.Text = "";
    dialogue.Edit1KeyPress('\r');
    EXPECT_EQ(list.Lines, (std::vector<std::string>{"5.x  Typed"})) << "an empty box searches nothing";
}

TEST(UpFolder, Cases) {
    struct Case {
        const char* In;
        const char* Out;
    };
    const Case cases[] = {
        {"/home/user/db/", "/home/user/"},
        {"/home/user/db", "/home/user/"}, // a folder chosen by browsing carries no final separator
        {"/home/", "/"},
        {"/home", "/"},
        {"/", "/"},
        {"", ""},
        {"relative", "relative"},
        {"relative/", "relative/"},
        {"a/b", "a/"},
        {"/data//", "/"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UpFolder(c.In), c.Out) << "'" << c.In << "'";
    }
}

TEST_F(SelectionTest, UpFolderMovesOnlyTheBoxAndTheBrowseTop) {
    std::filesystem::create_directories(dir / "db");
    tw::WriteDatabase(dir / "db", {.Version = 5, .Name = "Kept", .Forms = {{.Name = "A"}}});
    edit.Text = dir.Dir() + "db/";
    dialogue.FormActivate();
    dialogue.Button2Click();
    EXPECT_EQ(edit.Text, dir.Dir());
    EXPECT_EQ(browser.Top, dir.Dir());
    EXPECT_EQ(list.Lines, (std::vector<std::string>{"5.x  Kept"})) << "no search follows";
    EXPECT_EQ(dialogue.SearchDirectory, dir.Dir() + "db/");
    list.Selected = 0;
    dialogue.BitBtn1Click();
    EXPECT_EQ(dialogue.SelectedFile, "RDRRAAAA.DBM");

    edit.Text = "/";
    browser.Top = "unchanged";
    dialogue.Button2Click();
    EXPECT_EQ(edit.Text, "/");
    EXPECT_EQ(browser.Top, "unchanged") << "at the root nothing changes";
}

TEST(IsWithinFolder, Cases) {
    struct Case {
        const char* Path;
        const char* Folder;
        bool Expected;
    };
    const Case cases[] = {
        {"/home/u", "/home/u", true},
        {"/home/u/", "/home/u", true},
        {"/home/u/x", "/home/u/", true},
        {"/home/u/x/y", "/home/u", true},
        {"/home/user", "/home/u", false},
        {"/home", "/home/u", false},
        {"/anything", "/", true},
        {"/", "/", true},
        {"/x", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsWithinFolder(c.Path, c.Folder), c.Expected) << c.Path << " in " << c.Folder;
    }
}
