#include "logic/Fakes.h"

#include "database/Errors.h"
#include "environment/Environment.h"
#include "tools/testwriter/TestWriter.h"
#include "ui/logic/Handlers.h"
#include "ui/logic/MainWindow.h"
#include "ui/logic/SystemProcess.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

namespace fs = std::filesystem;
namespace tw = corvane::testwriter;
using namespace corvane;
using namespace corvane::ui;
using namespace corvane::ui::fakes;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// A main window with fake controls in its initial states, its selection dialog and scripted modal dialogs.
class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest()
        : selection({&selectionWindow, &selectionEdit, &selectionList, &selectionBrowser}, process),
          dialogs(selection), form(Controls(), selection, dialogs, messageBox, progress, process) {
        process.SettingsFile = (dir / "corvane.ini").string();
        process.Home = dir.Dir() + "home/";
        fs::create_directories(dir / "home");
        fs::create_directories(dir / "out");
        window.Title = kInitialTitle;
        window.OnClose = [this] { form.FormClose(); };
    }

    TMainWindowControls Controls() {
        return {&window,    &dateGroup, &fieldName,     &delimiter, &numericNull, &directory,
                &extension, &selectAll, &live,          &deleted,   &list,        &label,
                &browser,   &formatBox, &charactersBox, &saveFile};
    }

    // Opens the database of directory through "Find Database", choosing the line of the given file name.
    void Open(const std::string& directory, const std::string& dictionary = "RDRRAAAA.DBM") {
        form.SourceDirectory = directory;
        dialogs.Actions.push_back([this, dictionary](TDatabaseSelectionDialogue& d) {
            const auto it = std::find(d.FileNames.begin(), d.FileNames.end(), dictionary);
            ASSERT_NE(it, d.FileNames.end()) << dictionary << " is not listed";
            selectionList.Selected = static_cast<int>(it - d.FileNames.begin());
            d.BitBtn1Click();
        });
        form.Button1Click();
    }

    std::string Out(const std::string& name) { return tw::ReadFileText(dir / "out" / name); }

    tw::TempDir dir;
    FakeProcess process;
    FakeWindow window;
    FakeRadioGroup dateGroup{0};
    FakeCheckBox fieldName{false};
    FakeEdit delimiter{","};
    FakeRadioGroup numericNull{0};
    FakeEdit directory;
    FakeEdit extension{"csv"};
    FakeCheckBox selectAll{false};
    FakeCheckBox live{true};
    FakeCheckBox deleted{false};
    FakeCheckList list;
    FakeLabel label;
    FakeFolderBrowser browser;
    FakeChoiceBox formatBox;
    FakeChoiceBox charactersBox;
    FakeSaveFileDialog saveFile;
    FakeMessageBox messageBox;
    FakeProgress progress;

    FakeWindow selectionWindow;
    FakeEdit selectionEdit;
    FakeListBox selectionList;
    FakeFolderBrowser selectionBrowser;
    TDatabaseSelectionDialogue selection;
    FakeDialogs dialogs;
    TForm1 form;
};

// A 4.x database: two ordinary forms, "users", the system form Configuration, and one form per record kind.
tw::DatabaseSpec SalesDb() {
    return {.Version = 3,
            .Name = "Sales",
            .Forms = {{.Name = "Orders",
                       .Fields = {tw::TextField("Item", 8), tw::WholeNumber("Qty", 2)},
                       .Records = {{.Values = {{"Item", "Pen"}, {"Qty", 3}}},
                                   {.Deleted = true, .Values = {{"Item", "Gone"}, {"Qty", 1}}},
                                   {.Values = {{"Item", "Ink"}, {"Qty", tw::Empty{}}}}}},
                      {.Name = "customers",
                       .Fields = {tw::TextField("Name", 10)},
                       .Records = {{.Values = {{"Name", "Smith"}}}}},
                      {.Name = "UsErS", .Fields = {tw::TextField("Login", 8)}}},
            .Configuration = tw::ConfigurationSpec{}};
}

// A 4.x database whose one form holds a name with an accented letter: "Caf" and cp437's e acute (0x82).
tw::DatabaseSpec CafeDb() {
    return {.Version = 3,
            .Name = "Sales",
            .Forms = {{.Name = "Places",
                       .Fields = {tw::TextField("Name", 8)},
                       .Records = {{.Values = {{"Name", "Caf\x82"}}}}}},
            .Configuration = tw::ConfigurationSpec{}};
}

// The rows of a query on an SQLite file, each row's columns joined by "|".
std::vector<std::string> SqliteRows(const std::string& file, const std::string& query) {
    sqlite3* db = nullptr;
    std::vector<std::string> rows;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        ADD_FAILURE() << "cannot open " << file;
        return rows;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db);
    }
    while (statement && sqlite3_step(statement) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < sqlite3_column_count(statement); ++i) {
            const auto* text = sqlite3_column_text(statement, i);
            row += (i ? "|" : "") + std::string(text ? reinterpret_cast<const char*>(text) : "NULL");
        }
        rows.push_back(row);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

} // namespace

TEST_F(MainWindowTest, FormCreateWithoutSettingsUsesHome) {
    process.Env["depath"] = "/opt/dataease";
    form.FormCreate();
    ASSERT_NE(form.ActiveDatabase, nullptr);
    EXPECT_EQ(form.ActiveDatabase->GetDEPath(), "/opt/dataease/");
    EXPECT_EQ(directory.Text, process.Home);
    EXPECT_EQ(form.SourceDirectory, process.Home);
    EXPECT_EQ(browser.Top, process.Home);
    EXPECT_EQ(window.Title, std::string(kInitialTitle) + " Build:" + Environment.BuildStamp);
    EXPECT_FALSE(Environment.ProgramDirectory.empty()) << "FormCreate makes sure the environment is filled";
}

TEST_F(MainWindowTest, FormCreateReadsSettings) {
    tw::WriteFile(dir / "corvane.ini", "[paths]\ndestination=/srv/out\nsource=/srv/db/\n");
    form.FormCreate();
    EXPECT_EQ(directory.Text, "/srv/out");
    EXPECT_EQ(form.SourceDirectory, "/srv/db/");
    EXPECT_EQ(browser.Top, "/srv/out");
    EXPECT_EQ(form.ActiveDatabase->GetDEPath(), "") << "depath unset";
    // A settings file without the export section: every export control keeps its initial state.
    EXPECT_EQ(formatBox.Index, 0);
    EXPECT_EQ(formatBox.Items.front(), "Delimited text");
    EXPECT_EQ(charactersBox.Index, 0);
    EXPECT_EQ(charactersBox.Items.front(), "As stored");
    EXPECT_EQ(dateGroup.Index, 0);
    EXPECT_EQ(numericNull.Index, 0);
    EXPECT_FALSE(fieldName.Checked);
    EXPECT_EQ(delimiter.Text, ",");
    EXPECT_EQ(extension.Text, "csv");
    EXPECT_TRUE(live.Checked);
    EXPECT_FALSE(deleted.Checked);
}

TEST_F(MainWindowTest, AboutShownOnce) {
    form.FormCreate();
    form.FormActivate();
    form.FormActivate();
    EXPECT_EQ(dialogs.AboutShown, 1);
}

TEST_F(MainWindowTest, CancellingFindDatabaseClosesAndWritesSource) {
    tw::WriteFile(dir / "corvane.ini",
                  "[paths]\ndestination=" + dir.Dir() + "out\nsource=" + dir.Dir() + "\n");
    form.FormCreate();
    dialogs.Actions.push_back([](TDatabaseSelectionDialogue& d) {
        d.Controls.Edit1->SetText(d.SearchDirectory + "home");
        d.FindDatabases(); // a second search elsewhere, then Cancel
        d.BitBtn2Click();
    });
    form.Button1Click();
    EXPECT_EQ(window.CloseCount, 1);
    EXPECT_EQ(form.ActiveDatabase, nullptr) << "released at close";
    EXPECT_THAT(tw::ReadFileText(dir / "corvane.ini"),
                ::testing::StartsWith("[paths]\ndestination=" + dir.Dir() + "out\nsource=" + dir.Dir() +
                                      "home/\n[export]\n"));
}

TEST_F(MainWindowTest, SettingsWrittenAtCloseWithoutDatabase) {
    form.FormCreate();
    form.Button2Click();
    EXPECT_EQ(window.CloseCount, 1);
    EXPECT_EQ(tw::ReadFileText(dir / "corvane.ini"),
              "[paths]\ndestination=" + process.Home + "\nsource=" + process.Home +
                  "\n[export]\nformat=csv\ncharacters=stored\ndates=british\nnumeric null=zero\n"
                  "text qualifier=0\ndelimiter=\",\"\nfile type=csv\nlive=1\ndeleted=0\n");
}

TEST_F(MainWindowTest, OpensDatabaseAndListsForms) {
    tw::WriteDatabase(dir / "db", SalesDb());
    form.FormCreate();
    Open(dir.Dir() + "db/");
    EXPECT_EQ(list.Texts(), (std::vector<std::string>{"customers", "Orders"}))
        << "users never listed; system forms not listed while depath is unset";
    EXPECT_TRUE(list.Sorted);
    EXPECT_EQ(list.Repaints, 1);
    EXPECT_EQ(list.Focused, 1);
    ASSERT_GE(window.Titles.size(), 3u);
    EXPECT_EQ(window.Titles[window.Titles.size() - 2], dir.Dir() + "db/RDRRAAAA.DBM");
    EXPECT_EQ(window.Title, "DataEase Data Extraction: Sales");
    EXPECT_EQ(form.SourceDirectory, dir.Dir() + "db/");
}

TEST_F(MainWindowTest, SystemFormsByVersionAndDEPath) {
    struct Case {
        int Version;
        bool DEPathSet;
        std::vector<std::string> Expected;
    };
    const Case cases[] = {
        {3, false, {"Orders"}}, {3, true, {" Configuration", "Orders"}},  {5, true, {"Orders"}},
        {6, true, {"Orders"}},  {7, false, {" Configuration", "Orders"}},
    };
    int n = 0;
    for (const Case& c : cases) {
        const fs::path db = dir / ("db" + std::to_string(n++));
        tw::WriteDatabase(db, {.Version = c.Version,
                               .Name = "V",
                               .Forms = {{.Name = "Orders", .Fields = {tw::TextField("Item", 8)}}},
                               .Configuration = tw::ConfigurationSpec{},
                               .ApplicationObjects = true});
        if (c.DEPathSet) {
            process.Env["depath"] = dir.Dir() + "depath";
        } else {
            process.Env.erase("depath");
        }
        form.FormCreate();
        Open(db.string() + "/");
        std::vector<std::string> texts = list.Texts();
        // DfW lists its Application Objects form as a system form as well; only the Configuration matters
        // here.
        std::erase(texts, " Application Objects");
        EXPECT_EQ(texts, c.Expected) << "version " << c.Version << " depath " << c.DEPathSet;
        if (c.Version == 7) {
            EXPECT_EQ(form.ActiveDatabase->GetDEPath(), "/opt/corvane/7/");
        }
    }
}

TEST_F(MainWindowTest, SelectAllTouchesOnlyOrdinaryForms) {
    tw::WriteDatabase(dir / "db", {.Version = 6,
                                   .Name = "Win",
                                   .Forms = {{.Name = "Base", .Fields = {tw::TextField("A", 4)}},
                                             {.Name = "Other", .Fields = {tw::TextField("A", 4)}}},
                                   .Variants = {{.Name = "Base View", .BaseForm = "Base"}}});
    form.FormCreate();
    Open(dir.Dir() + "db/");
    const std::vector<std::string> texts = list.Texts();
    ASSERT_NE(std::find(texts.begin(), texts.end(), "Base View"), texts.end());
    list.Tick("Base View");
    list.Tick(" Application Objects");
    list.Lines.push_back({"No Such Form", true});

    selectAll.Checked = true;
    form.CheckBox1Click();
    for (const auto& line : list.Lines) {
        EXPECT_TRUE(line.Ticked) << line.Text;
    }
    selectAll.Checked = false;
    form.CheckBox1Click();
    for (const auto& line : list.Lines) {
        const bool kept =
            line.Text == "Base View" || line.Text == " Application Objects" || line.Text == "No Such Form";
        EXPECT_EQ(line.Ticked, kept) << line.Text;
    }
}

TEST_F(MainWindowTest, FailedLoadEmptiesTheList) {
    tw::WriteDatabase(dir / "db", SalesDb());
    tw::WriteDatabase(dir / "bad", SalesDb());
    tw::WriteFile(dir / "bad" / "RDRRAAAA.DBM", std::string("\x02", 1));
    form.FormCreate();
    Open(dir.Dir() + "db/");
    ASSERT_EQ(list.Count(), 2);
    // The selection dialog itself lists nothing there (the candidate fails), so the choice is made directly.
    dialogs.Actions.push_back([this](TDatabaseSelectionDialogue& d) {
        d.SearchDirectory = dir.Dir() + "bad/";
        d.SelectedFile = "RDRRAAAA.DBM";
    });
    form.SourceDirectory = dir.Dir() + "home/";
    EXPECT_THROW(form.Button1Click(), EInOutError);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(window.Title, dir.Dir() + "bad/RDRRAAAA.DBM");
}

TEST_F(MainWindowTest, ExportWritesTickedFormsInListOrder) {
    tw::WriteDatabase(dir / "db", SalesDb());
    form.FormCreate();
    Open(dir.Dir() + "db/");
    directory.Text = dir.Dir() + "out"; // no final separator: the run adds it
    list.Tick("Orders");
    list.Tick("customers");
    form.Button3Click();
    EXPECT_THAT(messageBox.Messages, ElementsAre(kExportsComplete));
    EXPECT_THAT(progress.Forms, ElementsAre("customers", "Orders"));
    EXPECT_EQ(progress.Starts, 1);
    EXPECT_EQ(progress.Finishes, 1);
    EXPECT_EQ(Out("Orders.csv"), "Item,Qty\r\n\"Pen\",3\r\n\"Ink\",0\r\n");
    EXPECT_EQ(Out("customers.csv"), "Name\r\n\"Smith\"\r\n");
    EXPECT_EQ(label.Text, "");
}

TEST_F(MainWindowTest, ExportOptionsReachTheFile) {
    tw::WriteDatabase(dir / "db", SalesDb());
    form.FormCreate();
    Open(dir.Dir() + "db/");
    directory.Text = dir.Dir() + "out/";
    list.Tick("Orders");
    fieldName.Checked = true;
    delimiter.Text = ""; // gives ","
    numericNull.Index = 1;
    extension.Text = "txt";
    form.Button3Click();
    EXPECT_EQ(Out("Orders.txt"), "\"Item\",\"Qty\"\r\n\"Pen\",3\r\n\"Ink\",\r\n");

    delimiter.Text = " ";
    extension.Text = "";
    form.Button3Click();
    EXPECT_EQ(Out("Orders."), "\"Item\" \"Qty\"\r\n\"Pen\" 3\r\n\"Ink\" \r\n");
}

TEST_F(MainWindowTest, LiveAndDeletedChooseTheRecords) {
    tw::WriteDatabase(dir / "db", SalesDb());
    form.FormCreate();
    Open(dir.Dir() + "db/");
    directory.Text = dir.Dir() + "out";
    list.Tick("Orders");
    struct Case {
        bool Live, Deleted;
        const char* Expected;
    };
    const Case cases[] = {
        {true, false, "Item,Qty\r\n\"Pen\",3\r\n\"Ink\",0\r\n"},
        {false, true, "Item,Qty\r\n\"Gone\",1\r\n"},
        {true, true, "Item,Qty\r\n\"Pen\",3\r\n\"Gone\",1\r\n\"Ink\",0\r\n"},
    };
    for (const Case& c : cases) {
        live.Checked = c.Live;
        deleted.Checked = c.Deleted;
        form.Button3Click();
        EXPECT_EQ(Out("Orders.csv"), c.Expected) << c.Live << c.Deleted;
    }
}

TEST_F(MainWindowTest, NeitherLiveNorDeletedExportsNothing) {
    tw::WriteDatabase(dir / "db", SalesDb());
    form.FormCreate();
    Open(dir.Dir() + "db/");
    directory.Text = dir.Dir() + "out";
    list.Tick("Orders");
    live.Checked = false;
    form.Button3Click();
    EXPECT_THAT(messageBox.Messages, ElementsAre(kTickRecordsMessage));
    EXPECT_FALSE(fs::exists(dir / "out" / "Orders.csv"));
    EXPECT_EQ(progress.Starts, 0);
}

TEST_F(MainWindowTest, SystemFormLineExports) {
    tw::DatabaseSpec description = SalesDb();
    description.DEPathDir = dir / "depath";
    tw::WriteDatabase(dir / "db", description);
    process.Env["depath"] = dir.Dir() + "depath";
    form.FormCreate();
    Open(dir.Dir() + "db/");
    ASSERT_EQ(list.LineText(0), " Configuration");
    directory.Text = dir.Dir() + "out";
    list.Tick(" Configuration");
    form.Button3Click();
    EXPECT_THAT(messageBox.Messages, ElementsAre(kExportsComplete));
    EXPECT_EQ(Out("Configuration.csv"), "Date_Order,Century_Cutoff\r\n2,0\r\n");
}

TEST_F(MainWindowTest, PlanItemOfLine) {
    tw::DatabaseSpec description = SalesDb();
    tw::WriteDatabase(dir / "db", description);
    TDEInfoRec db;
    db.SetDirectory(dir.Dir() + "db/");
    db.SetDictionaryName("RDRRAAAA.DBM");
    db.Load();
    db.SetDEPath(dir.Dir());
    const TPlanItem system = PlanItemOfLine(db, " Configuration", 'D');
    ASSERT_NE(system.Form, nullptr) << "a system form's line finds its form";
    EXPECT_EQ(system.Form->Name, "Configuration");
    EXPECT_EQ(system.Label, "Configuration");
    EXPECT_EQ(system.Selection, 'D');
    EXPECT_EQ(PlanItemOfLine(db, " Orders", 'L').Form, nullptr) << "not a system form: no line of that text";
    const TPlanItem orders = PlanItemOfLine(db, "Orders", 'A');
    ASSERT_NE(orders.Form, nullptr);
    EXPECT_EQ(orders.Form->Name, "Orders");
    EXPECT_EQ(PlanItemOfLine(db, "Orders", 'A', 1).Form, nullptr) << "one form, one line";
}

TEST_F(MainWindowTest, RecordSelection) {
    EXPECT_EQ(RecordSelection(true, false), "");
    EXPECT_EQ(RecordSelection(false, true), "=D");
    EXPECT_EQ(RecordSelection(true, true), "=A");
    EXPECT_EQ(RecordSelection(false, false), std::nullopt);
}

TEST_F(MainWindowTest, ExportMessagesShownInTheStrip) {
    tw::WriteDatabase(dir / "db", SalesDb());
    form.FormCreate();
    Open(dir.Dir() + "db/");
    directory.Text = dir.Dir() + "out";
    list.Lines.push_back({"Missing", true});
    list.Lines.push_back({"Also Missing", true});
    form.Button3Click();
    EXPECT_EQ(label.Text, "Table Missing doesn't exist.\nTable Also Missing doesn't exist.");
    EXPECT_THAT(messageBox.Messages,
                ElementsAre("Exports finished, but 2 of 2 forms failed:\nTable Missing doesn't exist.\n"
                            "Table Also Missing doesn't exist."));
}

TEST_F(MainWindowTest, NothingTickedOrNoDatabaseCompletesAtOnce) {
    form.FormCreate();
    form.Button3Click();
    tw::WriteDatabase(dir / "db", SalesDb());
    Open(dir.Dir() + "db/");
    form.Button3Click();
    EXPECT_THAT(messageBox.Messages, ElementsAre(kExportsComplete, kExportsComplete));
    EXPECT_TRUE(fs::is_empty(dir / "out"));
}

TEST_F(MainWindowTest, CancelStopsAfterTheCurrentForm) {
    tw::WriteDatabase(dir / "db", SalesDb());
    form.FormCreate();
    Open(dir.Dir() + "db/");
    directory.Text = dir.Dir() + "out";
    list.Tick("Orders");
    list.Tick("customers");
    progress.CancelAfterForms = 1;
    form.Button3Click();
    EXPECT_THAT(progress.Forms, ElementsAre("customers"));
    EXPECT_TRUE(fs::exists(dir / "out" / "customers.csv"));
    EXPECT_FALSE(fs::exists(dir / "out" / "Orders.csv"));
    EXPECT_THAT(messageBox.Messages, ElementsAre("Export cancelled: 1 of 2 forms exported."));
    EXPECT_EQ(progress.Finishes, 1);
}

TEST_F(MainWindowTest, OutputFileThatCannotBeCreatedIsReportedAndTheRunGoesOn) {
    tw::WriteDatabase(dir / "db", SalesDb());
    form.FormCreate();
    Open(dir.Dir() + "db/");
    directory.Text = dir.Dir() + "no/such/dir";
    list.Tick("Orders");
    list.Tick("customers");
    form.Button3Click();
    const std::string missing = dir.Dir() + "no/such/dir/";
    EXPECT_THAT(messageBox.Messages,
                ElementsAre("IO Error: 2\ncustomers: " + missing + "customers.csv: File not found",
                            "IO Error: 2\nOrders: " + missing + "Orders.csv: File not found",
                            "Exports finished, but 2 of 2 forms failed:\ncustomers: " + missing +
                                "customers.csv: File not found\nOrders: " + missing +
                                "Orders.csv: File not found"));
}

TEST_F(MainWindowTest, ErrorInsideTheExportEndsTheRun) {
    tw::DatabaseSpec description = SalesDb();
    description.Forms[1].WriteDefinition = false; // "customers" has no definition file
    tw::WriteDatabase(dir / "db", description);
    form.FormCreate();
    Open(dir.Dir() + "db/");
    directory.Text = dir.Dir() + "out";
    list.Tick("Orders");
    list.Tick("customers");
    form.Button3Click();
    EXPECT_TRUE(messageBox.Messages.empty()) << "no \"Exports complete.\"";
    ASSERT_EQ(messageBox.Errors.size(), 1u) << "the error goes to the error reporting, naming the form";
    EXPECT_EQ(messageBox.Errors[0].first,
              "customers: " + dir.Dir() +
                  "db/CUSTOMER.DBA: File not found\nThe export stopped at this form: "
                  "0 of 2 forms exported.");
    EXPECT_EQ(messageBox.Errors[0].second, "EInOutError");
    EXPECT_FALSE(fs::exists(dir / "out" / "Orders.csv")) << "the later form is not exported";
    EXPECT_TRUE(list.IsTicked(0));
    EXPECT_TRUE(list.IsTicked(1));
    EXPECT_EQ(progress.Finishes, 1);
}

TEST_F(MainWindowTest, DestinationBrowse) {
    form.FormCreate();
    browser.Answer = std::nullopt;
    form.Button4Click();
    EXPECT_EQ(directory.Text, process.Home);
    EXPECT_EQ(browser.TopWhenRun, process.Home);

    browser.Answer = process.Home + "exports";
    form.Button4Click();
    EXPECT_EQ(directory.Text, process.Home + "exports");
    EXPECT_EQ(browser.Top, process.Home + "exports");
}

TEST_F(MainWindowTest, FormatAndCharactersReachTheRun) {
    tw::WriteDatabase(dir / "db", CafeDb());
    form.FormCreate();
    Open(dir.Dir() + "db/");
    directory.Text = dir.Dir() + "out";
    list.Tick("Places");
    // The formats of this build follow the first three; the PostgreSQL script is always built.
    ASSERT_GE(formatBox.Items.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(formatBox.Items.begin(), formatBox.Items.begin() + 3),
              (std::vector<std::string>{"Delimited text", "SQLite database", "JSON Lines"}));
    EXPECT_THAT(formatBox.Items, ::testing::Contains("PostgreSQL script"));
    EXPECT_EQ(charactersBox.Items,
              (std::vector<std::string>{"As stored", "UTF-8 from the version's code page", "UTF-8 from cp437",
                                        "UTF-8 from cp850", "UTF-8 from cp852", "UTF-8 from cp1250",
                                        "UTF-8 from cp1252", "UTF-8 from latin1"}));
    struct Case {
        const char* Format;
        const char* Characters;
        const char* File;
        std::string Expected;
    };
    const Case cases[] = {
        {"Delimited text", "As stored", "Places.csv", "Name\r\n\"Caf\x82\"\r\n"},
        {"Delimited text", "UTF-8 from the version's code page", "Places.csv", "Name\r\n\"Caf\xC3\xA9\"\r\n"},
        {"Delimited text", "UTF-8 from cp1252", "Places.csv", "Name\r\n\"Caf\xE2\x80\x9A\"\r\n"},
        {"JSON Lines", "As stored", "Places.jsonl", "{\"Name\":\"Caf\xC3\xA9\"}\n"},
        {"JSON Lines", "UTF-8 from latin1", "Places.jsonl", "{\"Name\":\"Caf\xC2\x82\"}\n"},
    };
    for (const Case& c : cases) {
        formatBox.Choose(c.Format);
        charactersBox.Choose(c.Characters);
        messageBox.Messages.clear();
        form.Button3Click();
        EXPECT_THAT(messageBox.Messages, ElementsAre(kExportsComplete)) << c.Format << " " << c.Characters;
        EXPECT_EQ(Out(c.File), c.Expected) << c.Format << " " << c.Characters;
    }
    EXPECT_EQ(saveFile.Runs, 0) << "the per-file formats write into the destination folder";
}

TEST_F(MainWindowTest, SqliteAsksForItsFile) {
    tw::WriteDatabase(dir / "db", CafeDb());
    form.FormCreate();
    Open(dir.Dir() + "db/");
    directory.Text = dir.Dir() + "out";
    list.Tick("Places");
    formatBox.Choose("SQLite database");

    saveFile.Answer = std::nullopt; // cancelled: nothing is written and nothing said
    form.Button3Click();
    EXPECT_EQ(saveFile.Runs, 1);
    EXPECT_EQ(saveFile.Directory, dir.Dir() + "out/");
    EXPECT_EQ(saveFile.SuggestedName, "Sales.sqlite");
    EXPECT_EQ(saveFile.Extension, "sqlite");
    EXPECT_TRUE(messageBox.Messages.empty());
    EXPECT_EQ(progress.Starts, 0);
    EXPECT_TRUE(fs::is_empty(dir / "out"));

    const std::string file = dir.Dir() + "out/cafe.sqlite";
    saveFile.Answer = file;
    charactersBox.Choose("UTF-8 from cp850");
    form.Button3Click();
    EXPECT_THAT(messageBox.Messages, ElementsAre(kExportsComplete));
    EXPECT_THAT(SqliteRows(file, "SELECT Name FROM Places"), ElementsAre("Caf\xC3\xA9"));
    EXPECT_THAT(SqliteRows(file, "SELECT form_name, record_count, code_page FROM _forms"),
                ElementsAre("Places|1|cp850"));

    // Nothing ticked: no file is asked for.
    list.Tick("Places", false);
    messageBox.Messages.clear();
    form.Button3Click();
    EXPECT_EQ(saveFile.Runs, 2);
    EXPECT_THAT(messageBox.Messages, ElementsAre(kExportsComplete));
}

TEST_F(MainWindowTest, CancelledOneFileRunReportsNothingExported) {
    tw::WriteDatabase(dir / "db", SalesDb());
    form.FormCreate();
    Open(dir.Dir() + "db/");
    directory.Text = dir.Dir() + "out";
    list.Tick("Orders");
    list.Tick("customers");
    formatBox.Choose("SQLite database");
    saveFile.Answer = dir.Dir() + "out/sales.sqlite";
    progress.CancelAfterForms = 1;
    form.Button3Click();
    EXPECT_THAT(progress.Forms, ElementsAre("customers"));
    EXPECT_THAT(messageBox.Messages, ElementsAre("Export cancelled: 0 of 2 forms exported."))
        << "the one file is not written when the run is cancelled";
    EXPECT_TRUE(fs::is_empty(dir / "out"));
}

TEST_F(MainWindowTest, DamagedDefinitionNamesTheFormAndItsError) {
    tw::DatabaseSpec description = SalesDb();
    description.Version = 5;
    description.Forms[1].Name = "Customers";
    const tw::WrittenDatabase written = tw::WriteDatabase(dir / "db", description);
    // Customers' definition file cut short.
    for (const fs::path& file : written.Files) {
        if (file.filename().string().starts_with("CUSTOMER") && file.extension() == ".tdf") {
            tw::WriteFile(file, std::string("DETagged\x04", 9));
        }
    }
    form.FormCreate();
    Open(dir.Dir() + "db/");
    directory.Text = dir.Dir() + "out";
    list.Tick("Customers");
    list.Tick("Orders");
    deleted.Checked = true; // the "=A" selection
    form.Button3Click();

    std::vector<std::string> said = messageBox.Messages;
    for (const auto& error : messageBox.Errors) {
        said.push_back(error.first);
    }
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0], kExportsComplete);
    EXPECT_THAT(said[0], HasSubstr("\nCustomers: ")) << said[0];
    EXPECT_THAT(said[0], HasSubstr("1 of 2 forms")) << said[0];
    for (const std::string& text : {said[0], label.Text}) {
        EXPECT_THAT(text, Not(HasSubstr("=A"))) << text;
        EXPECT_THAT(text, Not(HasSubstr("doesn't exist"))) << text;
    }
    EXPECT_THAT(label.Text, ::testing::StartsWith("Customers: ")) << "the strip names the form and its error";
}

TEST_F(MainWindowTest, ExportChoicesRoundTripThroughTheSettingsFile) {
    form.FormCreate();
    formatBox.Choose("JSON Lines");
    charactersBox.Choose("UTF-8 from cp852");
    dateGroup.Index = 2;
    numericNull.Index = 1;
    fieldName.Checked = true;
    delimiter.Text = " ";
    extension.Text = "";
    live.Checked = false;
    deleted.Checked = true;
    form.Button2Click();
    const std::string written = tw::ReadFileText(dir / "corvane.ini");
    EXPECT_THAT(written, HasSubstr("\n[export]\nformat=jsonl\ncharacters=cp852\ndates=metric\n"));

    // A second program run with controls in their initial states.
    FakeRadioGroup dates2{0}, nulls2{0};
    FakeCheckBox qualifier2{false}, live2{true}, deleted2{false};
    FakeEdit delimiter2{","}, extension2{"csv"};
    FakeChoiceBox format2, characters2;
    TMainWindowControls controls = Controls();
    controls.DateRadioGroup = &dates2;
    controls.NumericNullRadioGroup = &nulls2;
    controls.FieldNameCheckBox = &qualifier2;
    controls.LiveCheckBox = &live2;
    controls.DeletedCheckBox = &deleted2;
    controls.DelimiterEdit = &delimiter2;
    controls.Edit1 = &extension2;
    controls.FormatBox = &format2;
    controls.CharactersBox = &characters2;
    TForm1 second(controls, selection, dialogs, messageBox, progress, process);
    second.FormCreate();
    EXPECT_EQ(format2.Items.at(static_cast<std::size_t>(format2.Index)), "JSON Lines");
    EXPECT_EQ(characters2.Items.at(static_cast<std::size_t>(characters2.Index)), "UTF-8 from cp852");
    EXPECT_EQ(dates2.Index, 2);
    EXPECT_EQ(nulls2.Index, 1);
    EXPECT_TRUE(qualifier2.Checked);
    EXPECT_EQ(delimiter2.Text, " ") << "a blank delimiter survives";
    EXPECT_EQ(extension2.Text, "") << "an empty file type survives";
    EXPECT_FALSE(live2.Checked);
    EXPECT_TRUE(deleted2.Checked);
}

TEST_F(MainWindowTest, UnknownSettingsValuesKeepTheInitialStates) {
    tw::WriteFile(dir / "corvane.ini",
                  "[paths]\ndestination=/srv/out\n[export]\nformat=dbase\ncharacters=ebcdic\n"
                  "dates=lunar\nnumeric null=9\ntext qualifier=maybe\ndelimiter=;;\n"
                  "file type=toolong\nlive=yes\n");
    form.FormCreate();
    EXPECT_EQ(formatBox.Index, 0) << "a format this window does not offer";
    EXPECT_EQ(charactersBox.Index, 0);
    EXPECT_EQ(dateGroup.Index, 0);
    EXPECT_EQ(numericNull.Index, 0);
    EXPECT_FALSE(fieldName.Checked);
    EXPECT_EQ(delimiter.Text, ",");
    EXPECT_EQ(extension.Text, "csv");
    EXPECT_TRUE(live.Checked);
    EXPECT_EQ(directory.Text, "/srv/out");
}

TEST(SuggestedFileStem, Cases) {
    EXPECT_EQ(SuggestedFileStem("Sales"), "Sales");
    EXPECT_EQ(SuggestedFileStem("  Sales 1997  "), "Sales 1997");
    EXPECT_EQ(SuggestedFileStem("a/b\\c:\x82"), "a_b_c__");
    EXPECT_EQ(SuggestedFileStem(""), "corvane");
    EXPECT_EQ(SuggestedFileStem("//"), "corvane");
}

TEST(DEPathForVersion, ByVersion) {
    EXPECT_EQ(DEPathForVersion(3, "/opt/de", "/opt/corvane/"), "/opt/de");
    EXPECT_EQ(DEPathForVersion(3, "", "/opt/corvane/"), "");
    EXPECT_EQ(DEPathForVersion(7, "/opt/de", "/opt/corvane/"), "/opt/corvane/7/");
    EXPECT_EQ(DEPathForVersion(5, "/opt/de", "/opt/corvane/"), "");
    EXPECT_EQ(DEPathForVersion(6, "/opt/de", "/opt/corvane/"), "");
}

TEST(RunHandler, ShowsMessageAndClassAndCarriesOn) {
    struct Case {
        std::function<void()> Throw;
        std::string Message;
        std::string Class;
    };
    const Case cases[] = {
        {[] { throw EDELibError("DEPath is not defined"); }, "DEPath is not defined", "EDELibError"},
        {[] { throw EInOutError(2, "File not found"); }, "File not found", "EInOutError"},
        {[] { throw std::runtime_error("plain"); }, "plain", "std::runtime_error"},
        {[] { throw 42; }, "An unknown error occurred.", "unknown exception"},
    };
    for (const Case& c : cases) {
        FakeMessageBox box;
        EXPECT_FALSE(RunHandler(box, c.Throw));
        ASSERT_EQ(box.Errors.size(), 1u);
        EXPECT_EQ(box.Errors[0].first, c.Message);
        EXPECT_EQ(box.Errors[0].second, c.Class);
    }
    FakeMessageBox box;
    EXPECT_TRUE(RunHandler(box, [] {}));
    EXPECT_TRUE(box.Errors.empty());
}

TEST(CheckListOrder, CaseBlindWithBlankFirst) {
    std::vector<std::string> lines = {"orders", "Customers", " Configuration", "ORDERS2", "apple"};
    std::stable_sort(lines.begin(), lines.end(), CheckListLess);
    EXPECT_THAT(lines, ElementsAre(" Configuration", "apple", "Customers", "orders", "ORDERS2"));
}

TEST(SettingsFileFor, BesideThePortableCopyOrTheBuildTreeOtherwiseInTheConfigurationDirectory) {
    struct Case {
        const char* Name;
        std::function<void(const fs::path&)> Prepare; // lays out the program directory
        bool Beside;
    };
    const std::vector<Case> cases = {
        // An installed program: a writable directory of its own, but no settings file there.
        {"installed", [](const fs::path& program) { fs::create_directories(program); }, false},
        {"missing directory", [](const fs::path&) {}, false},
        {"portable copy",
         [](const fs::path& program) {
             fs::create_directories(program);
             tw::WriteFile(program / "corvane.ini", "[paths]\n");
         },
         true},
        {"build tree", [](const fs::path& program) { fs::create_directories(program / "CMakeFiles"); }, true},
        // A file named CMakeFiles is no build tree.
        {"CMakeFiles file",
         [](const fs::path& program) {
             fs::create_directories(program);
             tw::WriteFile(program / "CMakeFiles", "");
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        tw::TempDir dir;
        const fs::path program = dir / "bin";
        c.Prepare(program);
        const std::string config = dir.Dir() + "config";
        const auto env = [&](const char* name) {
            return std::string(name) == "XDG_CONFIG_HOME" ? config : "";
        };
        for (const std::string& programDir : {program.string(), program.string() + "/"}) {
            const std::string settings = SettingsFileFor(programDir, env);
            EXPECT_EQ(settings,
                      c.Beside ? program.string() + "/corvane.ini" : config + "/corvane/corvane.ini");
        }
        EXPECT_EQ(fs::is_directory(config + "/corvane"), !c.Beside);
        // Choosing never writes the file itself.
        EXPECT_FALSE(fs::exists(config + "/corvane/corvane.ini"));
        if (c.Beside == false && fs::is_directory(program)) {
            EXPECT_FALSE(fs::exists(program / "corvane.ini"));
        }
    }
}

TEST(SettingsFileFor, HomeConfigurationWhenTheVariableIsUnsetOrRelative) {
    tw::TempDir dir;
    fs::create_directories(dir / "bin");
    for (const std::string xdg : {"", "relative/config"}) {
        SCOPED_TRACE(xdg);
        const auto env = [&](const char* name) {
            const std::string n = name;
            return n == "HOME" ? dir.Dir() + "home" : n == "XDG_CONFIG_HOME" ? xdg : std::string();
        };
        EXPECT_EQ(SettingsFileFor((dir / "bin").string(), env),
                  dir.Dir() + "home/.config/corvane/corvane.ini");
    }
}
