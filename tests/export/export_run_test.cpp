// The one export run: plans, file names decided once per run, and failures that never cost an earlier file
// or one of the database's own.

#include "database/DEInfoRec.h"
#include "database/Errors.h"
#include "export/ExportRun.h"
#include "tools/testwriter/TestWriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

namespace corvane {
namespace {

namespace tw = testwriter;
namespace fs = std::filesystem;
using ::testing::ElementsAre;

std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Collects what the run tells its observer.
struct TRecordingObserver final : IExportObserver {
    std::vector<std::string> Messages;
    std::vector<std::string> Failures;
    int CancelAfterForms = -1;
    int Started = 0;
    void FormStarted(std::size_t, std::size_t, const TPlanItem&) override { ++Started; }
    void Message(const std::string& line) override { Messages.push_back(line); }
    void FormFailed(const TFormResult& result) override {
        Failures.push_back(result.Label + ": " + result.Error);
    }
    bool CancelRequested() override { return CancelAfterForms >= 0 && Started >= CancelAfterForms; }
};

tw::FormSpec Form(std::string name, std::string dataFile, std::string value) {
    return {.Name = std::move(name),
            .DataFile = std::move(dataFile),
            .Fields = {tw::TextField("N", 8)},
            .Records = {{.Values = {{"N", std::move(value)}}}}};
}

class ExportRunTest : public ::testing::Test {
protected:
    tw::TempDir dir, out;
    TDEInfoRec db;

    void Load(const tw::DatabaseSpec& desc) {
        tw::WriteDatabase(dir.Path(), desc);
        db.SetDirectory(dir.Dir());
        db.SetDictionaryName(desc.DictionaryName);
        db.Load();
    }

    TRunResult Run(const TExportPlan& plan, TOutputFormat format = TOutputFormat::Delimited,
                   TStopRule stop = TStopRule::GoOn, std::string destination = {}) {
        TExportOptions options;
        options.Format = format;
        options.Destination = destination.empty() ? out.Dir() : destination;
        if (IsOneFileFormat(format) && destination.empty()) {
            options.Destination = (out / "all.sqlite").string();
        }
        TRunSetup setup;
        setup.Stop = stop;
        setup.Formats = &formats;
        return RunExport(db, plan, options, observer, setup);
    }

    std::string Text(std::string_view name) const { return tw::ReadFileText(out / name); }

    TRecordingObserver observer;
    TFormatRegistry formats;
};

TEST_F(ExportRunTest, AnExactFormNameWinsOverASelectionLetter) {
    Load({.Version = 5,
          .Forms = {Form("Sales", "SALES.DBM", "plain"), Form("Sales=Q3", "SALESQ3.DBM", "q3"),
                    Form("Orders", "ORDERS.DBM", "o")}});
    struct Case {
        std::string Entry;
        std::string Form; // "" for none
        char Selection;
    };
    const Case cases[] = {
        {"Sales=Q3", "Sales=Q3", 'A'}, {"sales=q3", "Sales=Q3", 'A'}, {"Sales=Q3=D", "Sales=Q3", 'D'},
        {"Sales=d", "Sales", 'D'},     {"Sales=", "Sales", 'L'},      {"Sales=Xyz", "Sales", 'X'},
        {"Orders", "Orders", 'A'},     {"Nobody=D", "", 'D'},         {" Orders", "", 'A'},
    };
    for (const Case& c : cases) {
        const TPlanItem item = ResolveFormEntry(db, c.Entry, 'A');
        EXPECT_EQ(item.Form ? item.Form->Name : "", c.Form) << c.Entry;
        EXPECT_EQ(item.Selection, c.Selection) << c.Entry;
    }
    // Both forms export, each into a file of its own holding its own records.
    const TRunResult run = Run({ResolveFormEntry(db, "Sales"), ResolveFormEntry(db, "Sales=Q3")});
    EXPECT_EQ(run.Summary.Exported, 2u);
    EXPECT_EQ(Text("Sales.csv"), "N\r\n\"plain\"\r\n");
    EXPECT_EQ(Text("Sales=Q3.csv"), "N\r\n\"q3\"\r\n");
}

// Names that would clash, cut a file name short or lead outside the destination: each form gets a file of
// its own, chosen before anything is written and unique without regard to case.
TEST_F(ExportRunTest, EveryFormGetsAFileOfItsOwn) {
    Load({.Version = 3,
          .Forms = {Form("P/O", "PSLASHO.DBM", "slash"), Form("PO", "PO.DBM", "po"),
                    Form("Customers", "CUST1.DBM", "lower"), Form("CUSTOMERS", "CUST2.DBM", "upper"),
                    Form("Twin", "TWIN1.DBM", "first"), Form("Twin", "TWIN2.DBM", "second"),
                    Form(std::string("AB\0CD", 5), "ABCD.DBM", "cd"),
                    Form(std::string("AB\0EF", 5), "ABEF.DBM", "ef"), Form("..", "DOTDOT.DBM", "dots"),
                    Form("a\tb", "TAB.DBM", "tab")}});
    const TExportPlan plan = PlanOfEveryForm(db, 'L');
    ASSERT_EQ(plan.size(), 10u);
    const TRunResult run = Run(plan);
    EXPECT_EQ(run.Summary.Exported, 10u) << ::testing::PrintToString(observer.Failures);
    std::map<std::string, std::string> contents;
    for (const std::string& name : Entries(out.Path())) {
        contents[name] = Text(name);
    }
    const std::map<std::string, std::string> expected = {
        {"AB_CD.csv", "N\r\n\"cd\"\r\n"},          {"AB_EF.csv", "N\r\n\"ef\"\r\n"},
        {"CUSTOMERS_2.csv", "N\r\n\"upper\"\r\n"}, {"Customers.csv", "N\r\n\"lower\"\r\n"},
        {"PO.csv", "N\r\n\"slash\"\r\n"},          {"PO_2.csv", "N\r\n\"po\"\r\n"},
        {"Twin.csv", "N\r\n\"first\"\r\n"},        {"Twin_2.csv", "N\r\n\"second\"\r\n"},
        {"a_b.csv", "N\r\n\"tab\"\r\n"},           {"form.csv", "N\r\n\"dots\"\r\n"},
    };
    EXPECT_EQ(contents, expected);
    for (const TFormResult& form : run.Forms) {
        EXPECT_EQ(form.Renamed, form.FileName.find("_2.") != std::string::npos) << form.FileName;
    }
}

TEST_F(ExportRunTest, JsonLinesKeepsTwoFormsOfOneNameApart) {
    Load({.Version = 5, .Forms = {Form("Twin", "TWIN1.DBM", "first"), Form("twin", "TWIN2.DBM", "second")}});
    const TExportPlan plan = PlanOfEveryForm(db, 'L');
    ASSERT_EQ(plan.size(), 2u);
    Run(plan, TOutputFormat::Jsonl);
    EXPECT_EQ(Text("Twin.jsonl"), "{\"N\":\"first\"}\n");
    EXPECT_EQ(Text("twin_2.jsonl"), "{\"N\":\"second\"}\n");
}

TEST_F(ExportRunTest, OptionsThatCouldNotBeReadBackOrLeadOutsideAreRefused) {
    struct Case {
        std::string Extension;
        char Delimiter;
        bool Refused;
    };
    const Case cases[] = {
        {"csv", ',', false},
        {"", ';', false},
        {"./x", ',', true},
        {".", ',', true},
        {"..", ',', true},
        {"a\\b", ',', true},
        {std::string("a\0", 2), ',', true},
        {"csv", '\r', true},
        {"csv", '\n', true},
        {"csv", '\0', true},
        {"csv", '"', true},
        {"csv", '\t', false},
    };
    for (const Case& c : cases) {
        TExportOptions options;
        options.Extension = c.Extension;
        options.Delimiter = c.Delimiter;
        EXPECT_EQ(CheckExportOptions(options).has_value(), c.Refused)
            << c.Extension << " " << int{c.Delimiter};
        if (c.Refused) {
            EXPECT_THROW(RunExport(db, {}, options, observer), std::invalid_argument);
        }
    }
}

TEST_F(ExportRunTest, AnEntryNamingNoFormWritesNothing) {
    Load({.Version = 5, .Forms = {{.Name = "Orders/Returns", .Fields = {tw::TextField("N", 8)}}}});
    tw::WriteFile(out / "OrdersReturns.csv", std::string_view("good"));
    const TRunResult run = Run({ResolveFormEntry(db, "OrdersReturns")});
    ASSERT_EQ(run.Forms.size(), 1u);
    EXPECT_FALSE(run.Forms[0].Found);
    EXPECT_EQ(run.Forms[0].Error, "Table OrdersReturns doesn't exist.");
    EXPECT_EQ(run.Summary.Failed, 1u);
    EXPECT_EQ(Text("OrdersReturns.csv"), "good");
    EXPECT_THAT(Entries(out.Path()), ElementsAre("OrdersReturns.csv"));
}

// A data file that is there but cannot be read fails the form and leaves the earlier export; a missing one
// is a form never filled.
TEST_F(ExportRunTest, AnUnreadableDataFileFailsTheFormAndKeepsTheEarlierFile) {
    Load({.Version = 5,
          .Forms = {Form("Broken", "BROKEN.DBM", "x"),
                    Form("Fine", "FINE.DBM", "y"),
                    {.Name = "Empty",
                     .DataFile = "EMPTY.DBM",
                     .RecordCount = 0,
                     .Fields = {tw::TextField("N", 8)},
                     .WriteDataFile = false}}});
    fs::remove(dir / "BROKEN.DBM");
    fs::create_directory(dir / "BROKEN.DBM");
    tw::WriteFile(out / "Broken.csv", std::string_view("good"));
    const TRunResult run = Run(PlanOfEveryForm(db, 'L'));
    EXPECT_EQ(run.Summary.Exported, 2u);
    EXPECT_EQ(run.Summary.Failed, 1u);
    EXPECT_EQ(Text("Broken.csv"), "good");
    EXPECT_EQ(Text("Fine.csv"), "N\r\n\"y\"\r\n");
    EXPECT_EQ(Text("Empty.csv"), "N\r\n");
    EXPECT_TRUE(observer.Messages.empty()) << "a form that counts no record needs no data file";
    ASSERT_EQ(observer.Failures.size(), 1u);
    EXPECT_THAT(observer.Failures[0], ::testing::StartsWith("Broken: "));
}

TEST_F(ExportRunTest, TheDatabaseDirectoryIsNeverWrittenInto) {
    Load({.Version = 5, .Forms = {Form("Customer", "CUSTOMER.DBM", "x")}});
    const std::string before = tw::ReadFileText(dir / "CUSTOMER.DBM");
    fs::create_directory_symlink(dir.Path(), out / "link");
    struct Case {
        TOutputFormat Format;
        std::string Destination;
    };
    const Case cases[] = {
        {TOutputFormat::Delimited, dir.Dir()},
        {TOutputFormat::Delimited, (out / "link").string()},
        {TOutputFormat::Delimited, dir.Dir() + "../" + dir.Path().filename().string()},
        {TOutputFormat::Jsonl, dir.Dir()},
    };
    for (const Case& c : cases) {
        TRecordingObserver quiet;
        TExportOptions options;
        options.Format = c.Format;
        options.Destination = c.Destination;
        options.Extension = "DBM";
        const TRunResult run = RunExport(db, PlanOfEveryForm(db, 'L'), options, quiet);
        EXPECT_EQ(run.Summary.Exported, 0u) << c.Destination;
        ASSERT_FALSE(run.Forms.empty());
        EXPECT_THAT(run.Forms[0].Error, ::testing::HasSubstr("refusing to write into")) << c.Destination;
    }
    EXPECT_EQ(tw::ReadFileText(dir / "CUSTOMER.DBM"), before);
}

// Without a definition of a system form (a machine without DataEase), "every form" leaves it out and says
// why; the ordinary forms export.
TEST_F(ExportRunTest, ASystemFormWithoutDefinitionIsLeftOutOfEveryForm) {
    Load({.Version = 7,
          .Forms = {Form("Customers", "CUSTOMER.DBM", "c"), Form("Orders", "ORDERS.DBM", "o")},
          .Configuration = tw::ConfigurationSpec{}});
    db.SetDEPath(dir.Dir() + "no-such-program-directory/");
    std::vector<TLeftOutForm> leftOut;
    const TExportPlan plan = PlanOfEveryForm(db, 'L', &leftOut);
    ASSERT_EQ(leftOut.size(), 1u);
    EXPECT_EQ(leftOut[0].Form->Name, "Configuration");
    EXPECT_THAT(leftOut[0].Reason, ::testing::HasSubstr("configur"));
    const TRunResult run = Run(plan);
    EXPECT_EQ(run.Summary.Failed, 0u) << ::testing::PrintToString(observer.Failures);
    EXPECT_EQ(Text("Customers.csv"), "N\r\n\"c\"\r\n");
    EXPECT_EQ(Text("Orders.csv"), "N\r\n\"o\"\r\n");
}

TEST_F(ExportRunTest, AFailedFormEndsOnlyARunThatStopsAtItsFirstError) {
    tw::DatabaseSpec desc{
        .Version = 5, .Forms = {Form("A", "A.DBM", "a"), Form("B", "B.DBM", "b"), Form("C", "C.DBM", "c")}};
    desc.Forms[1].WriteDefinition = false;
    Load(desc);
    const TRunResult goOn = Run(PlanOfEveryForm(db, 'L'));
    EXPECT_EQ(goOn.Summary.Exported, 2u);
    EXPECT_EQ(goOn.Summary.Failed, 1u);
    EXPECT_FALSE(goOn.Summary.Stopped);
    EXPECT_THAT(Entries(out.Path()), ElementsAre("A.csv", "C.csv"));

    fs::remove_all(out / "A.csv");
    fs::remove_all(out / "C.csv");
    const TRunResult stop = Run(PlanOfEveryForm(db, 'L'), TOutputFormat::Delimited, TStopRule::AtFirstError);
    EXPECT_TRUE(stop.Summary.Stopped);
    ASSERT_EQ(stop.Forms.size(), 2u);
    EXPECT_NE(stop.Forms[1].ErrorObject, nullptr);
    EXPECT_THROW(std::rethrow_exception(stop.Forms[1].ErrorObject), EInOutError);
    EXPECT_THAT(Entries(out.Path()), ElementsAre("A.csv"));
}

TEST_F(ExportRunTest, CancelBetweenFormsReportsTheFormsDone) {
    Load({.Version = 5, .Forms = {Form("A", "A.DBM", "a"), Form("B", "B.DBM", "b")}});
    observer.CancelAfterForms = 1;
    const TRunResult run = Run(PlanOfEveryForm(db, 'L'));
    EXPECT_TRUE(run.Summary.Cancelled);
    EXPECT_EQ(run.Summary.Exported, 1u);
    EXPECT_THAT(Entries(out.Path()), ElementsAre("A.csv"));
}

TEST_F(ExportRunTest, AOneFileFormatThisBuildLacksFailsEveryFormClearly) {
    Load({.Version = 5, .Forms = {Form("A", "A.DBM", "a")}});
    const TRunResult run =
        Run(PlanOfEveryForm(db, 'L'), TOutputFormat::Xlsx, TStopRule::GoOn, (out / "a.xlsx").string());
    ASSERT_EQ(run.Forms.size(), 1u);
    EXPECT_EQ(run.Forms[0].Error, "the xlsx format is not available in this build");
    EXPECT_TRUE(Entries(out.Path()).empty());
}

TEST(DEPathForVersion, ByVersion) {
    EXPECT_EQ(DEPathForVersion(3, "/opt/de", "/opt/corvane/"), "/opt/de");
    EXPECT_EQ(DEPathForVersion(3, "", "/opt/corvane/"), "");
    EXPECT_EQ(DEPathForVersion(7, "/opt/de", "/opt/corvane/"), "/opt/corvane/7/");
    EXPECT_EQ(DEPathForVersion(5, "/opt/de", "/opt/corvane/"), "");
    EXPECT_EQ(DEPathForVersion(6, "/opt/de", "/opt/corvane/"), "");
}

} // namespace
} // namespace corvane
