#include "database/Errors.h"
#include "export/DataFile.h"
#include "export/FormExport.h"
#include "export/OutputFile.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace corvane {
namespace {

namespace tw = corvane::testwriter;
namespace fs = std::filesystem;

struct Options {
    std::string Extension = "csv";
    char StoredOrder = 'B';
    char OutputOrder = 'B';
    char Delimiter = ',';
    std::string Qualifier{};
    int NumericNull = 0;
    std::string ShortDateFormat = "%d/%m/%Y";
};

struct Exported {
    TExportResult Result;
    std::string Messages;
    std::vector<std::string> IOErrors;
};

Exported Export(TDEInfoRec& db, const std::string& entry, const std::string& destination,
                const Options& o = {}) {
    Exported e;
    std::ostringstream messages;
    TExportHost host;
    host.ShortDateFormat = o.ShortDateFormat;
    host.ShowIOError = [&e](const std::string& text, int, const std::string&) { e.IOErrors.push_back(text); };
    e.Result = ExportForm(entry, destination, o.Extension, o.StoredOrder, o.OutputOrder, o.Delimiter,
                          o.Qualifier, db, messages, o.NumericNull, host);
    e.Messages = messages.str();
    return e;
}

void Open(TDEInfoRec& db, const tw::TempDir& dir, const std::string& depath = "") {
    db.SetDirectory(dir.Dir());
    db.SetDictionaryName("RDRRAAAA.DBM");
    db.Load();
    db.SetDEPath(depath);
}

std::vector<std::string> DirectoryEntries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// One form with every kind of field, the same in every version.
tw::FormSpec EveryType(int version) {
    tw::FieldDef grade = tw::ChoiceField("Grade", {"Red", "Green"});
    tw::FieldDef since = version == 3 ? tw::SixCharDate("Since") : tw::DayCountDate("Since");
    tw::FieldDef hidden = tw::TextField("Hidden", 4);
    hidden.Flags = 0x80;
    tw::FieldDef key = tw::WholeNumber("Key", 2);
    key.Flags = 0x08;
    return {
        .Name = "Every Type",
        .Fields = {tw::TextField("Name", 10), tw::WholeNumber("Count", 4), tw::FixedPoint("Price", 7, 4),
                   tw::FloatNumber("Ratio", 12), since, tw::TimeField("At"), grade, hidden, key,
                   tw::SixCharDate("Date")},
        .Records = {{.Values = {{"Name", "Smith \"Jr\""},
                                {"Count", -1},
                                {"Price", 1234.5},
                                {"Ratio", 0.000123456},
                                {"Since", tw::Date{1997, 3, 15}},
                                {"At", "093015"},
                                {"Grade", 2},
                                {"Hidden", "zzzz"},
                                {"Key", 7},
                                {"Date", tw::Date{2049, 12, 31}}}},
                    {.Deleted = true, .Values = {{"Name", "Gone"}, {"Key", 8}}},
                    {.Values = {{"Name", "Empty"},
                                {"Count", tw::Empty{}},
                                {"Price", tw::Empty{}},
                                {"Ratio", tw::Empty{}},
                                {"Since", tw::Empty{}},
                                {"Key", 9}}}},
    };
}

class ExportEveryVersion : public ::testing::TestWithParam<int> {};

TEST_P(ExportEveryVersion, WritesHeadingAndRecordsOfEveryFieldType) {
    const int version = GetParam();
    tw::TempDir dir, out;
    tw::WriteDatabase(dir.Path(),
                      {.Version = version,
                       .Name = "Every",
                       .Forms = {EveryType(version)},
                       .Configuration = tw::ConfigurationSpec{.DateOrder = 2, .CenturyCutoff = 50}});
    TDEInfoRec db;
    Open(db, dir);
    ASSERT_EQ(db.GetVersion(), version);
    const Exported e = Export(db, "Every Type", out.Dir(), {.StoredOrder = ReadDateOrder(db)});
    EXPECT_EQ(e.Messages, "");
    EXPECT_TRUE(e.IOErrors.empty());
    ASSERT_TRUE(e.Result.FileWritten);
    EXPECT_TRUE(e.Result.FormFound);
    EXPECT_EQ(e.Result.RecordsWritten, 2);
    EXPECT_EQ(e.Result.FileName, out.Dir() + "Every Type.csv");
    EXPECT_EQ(tw::ReadFileText(out / "Every Type.csv"),
              "Key,Name,Count,Price,Ratio,Since,At,Grade,DATE_\r\n"
              "7,\"Smith \"\"Jr\"\"\",-1,1234.50,1.235E-0004,15/03/1997,09:30:15,Green,31/12/2049\r\n"
              "9,\"Empty\",0,0,0,,,,\r\n");
    EXPECT_EQ(DirectoryEntries(out.Path()), std::vector<std::string>{"Every Type.csv"});
}

INSTANTIATE_TEST_SUITE_P(Versions, ExportEveryVersion, ::testing::Values(3, 5, 6, 7));

class ExportForm4x : public ::testing::Test {
protected:
    void Write(std::vector<tw::FormSpec> forms, std::optional<tw::ConfigurationSpec> configuration = {}) {
        tw::WriteDatabase(dir.Path(), {.Version = 3,
                                       .Name = "Test",
                                       .Forms = std::move(forms),
                                       .Configuration = configuration,
                                       .DEPathDir = depath.Path()});
        Open(db, dir, depath.Dir());
    }
    std::string Text(const std::string& name) { return tw::ReadFileText(out / name); }

    tw::TempDir dir, depath, out;
    TDEInfoRec db;
};

TEST_F(ExportForm4x, HeadingPutsFlag3FirstLeavesFlag7OutAndRenamesCharacters) {
    tw::FieldDef b = tw::TextField("B", 2);
    b.Flags = 0x08;
    tw::FieldDef gone = tw::TextField("Gone", 2);
    gone.Flags = 0x80;
    Write({{.Name = "Abc", .Fields = {tw::TextField("A", 2), b, gone, tw::TextField("C", 2)}},
           {.Name = "Names",
            .Fields = {tw::TextField("Date", 1), tw::TextField("date", 1), tw::TextField("Due Date", 1),
                       tw::TextField("Net-Value", 1), tw::TextField("a,b;c:d+e=f.g", 1)}}});
    Export(db, "Abc", out.Dir(), {.Delimiter = ';', .Qualifier = "\""});
    EXPECT_EQ(Text("Abc.csv"), "\"B\";\"A\";\"C\"\r\n");
    Export(db, "Abc", out.Dir(), {.Delimiter = ';'});
    EXPECT_EQ(Text("Abc.csv"), "B;A;C\r\n");
    Export(db, "Names", out.Dir());
    EXPECT_EQ(Text("Names.csv"), "DATE_,DATE_,Due_Date,Net_Value,a_b_c_d_e_f_g\r\n");
}

TEST_F(ExportForm4x, EntrySelectsRecordsAndNamesTheFile) {
    tw::FormSpec form{.Name = "P/O LINES",
                      .Fields = {tw::TextField("N", 3)},
                      .Records = {{.Values = {{"N", "L1"}}},
                                  {.Deleted = true, .Values = {{"N", "D1"}}},
                                  {.StatusByte = 0x03, .Values = {{"N", "D2"}}},
                                  {.StatusByte = 0x02, .Values = {{"N", "L2"}}}}};
    Write({form});
    EXPECT_EQ(Export(db, "P/O LINES", out.Dir()).Result.FileName, out.Dir() + "PO LINES.csv");
    EXPECT_EQ(Text("PO LINES.csv"), "N\r\n\"L1\"\r\n\"L2\"\r\n");

    // With "=" the stem loses its "/" as well, so the file never lands outside the destination.
    const struct {
        const char* Entry;
        const char* Text;
    } selections[] = {
        {"P/O LINES=d", "N\r\n\"D1\"\r\n\"D2\"\r\n"},
        {"P/O LINES=A", "N\r\n\"L1\"\r\n\"D1\"\r\n\"D2\"\r\n\"L2\"\r\n"},
        {"P/O LINES=Lxyz", "N\r\n\"L1\"\r\n\"L2\"\r\n"},
        {"P/O LINES=", "N\r\n\"L1\"\r\n\"L2\"\r\n"},
        {"P/O LINES=X", "N\r\n"},
    };
    for (const auto& c : selections) {
        const Exported e = Export(db, c.Entry, out.Dir());
        EXPECT_TRUE(e.Result.FileWritten) << c.Entry;
        EXPECT_EQ(e.Result.FileName, out.Dir() + "PO LINES.csv") << c.Entry;
        EXPECT_EQ(Text("PO LINES.csv"), c.Text) << c.Entry;
    }
}

TEST_F(ExportForm4x, FormNamesCannotLeadOutOfTheDestination) {
    Write(
        {{.Name = "../../escape", .Fields = {tw::TextField("N", 3)}, .Records = {{.Values = {{"N", "x"}}}}}});
    for (const char* entry : {"../../escape", "../../escape=A"}) {
        const Exported e = Export(db, entry, out.Dir());
        EXPECT_TRUE(e.Result.FileWritten) << entry;
        EXPECT_EQ(e.Result.FileName, out.Dir() + "....escape.csv") << entry;
        EXPECT_EQ(Text("....escape.csv"), "N\r\n\"x\"\r\n") << entry;
    }
}

TEST_F(ExportForm4x, EmptyExtensionEndsTheNameInAPoint) {
    Write({{.Name = "Customer", .Fields = {tw::TextField("N", 3)}}});
    Export(db, "CUSTOMER", out.Dir(), {.Extension = ""});
    EXPECT_EQ(Text("CUSTOMER."), "N\r\n");
}

// Sound behaviour: an entry that names no form writes nothing, so it cannot empty an earlier good export.
TEST_F(ExportForm4x, UnknownFormGivesTheMessageAndLeavesAnyOlderFile) {
    Write({{.Name = "Customer", .Fields = {tw::TextField("N", 3)}}});
    tw::WriteFile(out / " Customer.csv", std::string("old"));
    const Exported e = Export(db, " Customer", out.Dir());
    EXPECT_EQ(e.Messages, "Table  Customer doesn't exist.\n");
    EXPECT_FALSE(e.Result.FormFound);
    EXPECT_FALSE(e.Result.FileWritten);
    EXPECT_EQ(Text(" Customer.csv"), "old");
    const Exported sel = Export(db, "Nobody=D", out.Dir());
    EXPECT_EQ(sel.Messages, "Table Nobody=D doesn't exist.\n");
}

TEST_F(ExportForm4x, FormWithoutFieldsGivesTheMessageTwiceAndEmptyLines) {
    Write({{.Name = "Bare", .RecordLength = 4, .Records = {{}, {.Deleted = true}, {}}}});
    const Exported e = Export(db, "Bare", out.Dir());
    EXPECT_EQ(e.Messages, "Table Bare doesn't exist.\nTable Bare doesn't exist.\n");
    EXPECT_EQ(Text("Bare.csv"), "\r\n\r\n\r\n");
}

TEST_F(ExportForm4x, MissingDataFileOrNoRecordsGivesTheHeadingAlone) {
    Write({{.Name = "NoData", .RecordCount = 3, .Fields = {tw::TextField("N", 3)}, .WriteDataFile = false},
           {.Name = "NoCount",
            .RecordCount = 0,
            .Fields = {tw::TextField("N", 3)},
            .Records = {{.Values = {{"N", "x"}}}}},
           {.Name = "Negative",
            .RecordCount = -5,
            .Fields = {tw::TextField("N", 3)},
            .Records = {{.Values = {{"N", "x"}}}}}});
    const Exported e = Export(db, "NoData", out.Dir());
    EXPECT_FALSE(e.Result.DataFileOpened);
    // The dictionary counts records the missing file cannot hold: said, naming the form and both counts.
    EXPECT_EQ(e.Messages,
              "Warning: form NoData: the dictionary counts 3 records, but its data file NODATA.DBM "
              "does not exist (0 records); " +
                  out.Dir() + "NoData.csv holds the heading line only\n");
    EXPECT_EQ(Text("NoData.csv"), "N\r\n");
    fs::remove(dir / "NOCOUNT.DBM");
    EXPECT_EQ(Export(db, "NoCount", out.Dir()).Messages, "") << "a form never filled has no data file";
    EXPECT_EQ(Text("NoCount.csv"), "N\r\n");
    Export(db, "Negative", out.Dir());
    EXPECT_EQ(Text("Negative.csv"), "N\r\n");
}

TEST_F(ExportForm4x, SixCharacterDatesFollowTheStoredOrderAndTheCutoff) {
    Write({{.Name = "Dates",
            .Fields = {tw::SixCharDate("D")},
            .Records = {{.Values = {{"D", "031502"}}},
                        {.Values = {{"D", "1503XY"}}},
                        {.Values = {{"D", "      "}}}}}},
          tw::ConfigurationSpec{.DateOrder = 1, .CenturyCutoff = 50});
    EXPECT_EQ(ReadDateOrder(db), 'A');
    Export(db, "Dates", out.Dir(), {.StoredOrder = 'A', .OutputOrder = 'M'});
    EXPECT_EQ(Text("Dates.csv"), "D\r\n2002/03/15\r\nError\r\n\r\n");
    EXPECT_EQ(db.CenturyCutoff, 50);
}

TEST_F(ExportForm4x, WithoutConfigurationEveryTwoDigitYearIsOfThe1900s) {
    Write({{.Name = "Dates", .Fields = {tw::SixCharDate("D")}, .Records = {{.Values = {{"D", "150301"}}}}}});
    EXPECT_EQ(ReadDateOrder(db), 'B');
    Export(db, "Dates", out.Dir());
    EXPECT_EQ(Text("Dates.csv"), "D\r\n15/03/1901\r\n");
}

TEST_F(ExportForm4x, UnreadableCutoffGivesErrorForThatValueAndIsTriedAgain) {
    Write({{.Name = "Dates",
            .Fields = {tw::SixCharDate("D")},
            .Records = {{.Values = {{"D", "150397"}}}, {.Values = {{"D", "150398"}}}}}},
          tw::ConfigurationSpec{.CenturyCutoff = 50});
    fs::resize_file(dir / "CONFIGUR.DBM", 100); // too short for byte 143
    Export(db, "Dates", out.Dir());
    EXPECT_EQ(Text("Dates.csv"), "D\r\nError\r\nError\r\n");
    EXPECT_EQ(db.CenturyCutoff, 0);
}

// Sound behaviour: a quote inside a text value is doubled, so the line parses back into the same columns.
TEST_F(ExportForm4x, QuotesInsideTextAreDoubled) {
    Write({{.Name = "T",
            .Fields = {tw::TextField("A", 12), tw::TextField("B", 4)},
            .Records = {{.Values = {{"A", "x\",\"y"}, {"B", "z"}}}}}});
    Export(db, "T", out.Dir());
    EXPECT_EQ(Text("T.csv"), "A,B\r\n\"x\"\",\"\"y\",\"z\"\r\n");
}

// Sound behaviour: the output file appears only when its export has finished; an export that fails part way
// leaves the older file untouched and no partial file.
TEST_F(ExportForm4x, FailedExportLeavesTheOlderFileAndNoPartialFile) {
    Write({{.Name = "Relationships",
            .SystemForm = true,
            .Fields = {tw::TextField("N", 3)},
            .Records = {{.Values = {{"N", "x"}}}}}});
    db.SetDEPath("");
    tw::WriteFile(out / "Relationships.csv", std::string("older"));
    try {
        Export(db, "Relationships", out.Dir());
        FAIL() << "expected EDELibError";
    } catch (const EDELibError& e) {
        EXPECT_STREQ(e.what(), "DEPath is not defined");
    }
    EXPECT_EQ(Text("Relationships.csv"), "older");
    EXPECT_EQ(DirectoryEntries(out.Path()), std::vector<std::string>{"Relationships.csv"});
}

TEST_F(ExportForm4x, OutputThatCannotBeCreatedGivesIOErrorAndTheCode) {
    Write({{.Name = "Customer", .Fields = {tw::TextField("N", 3)}}});
    const Exported missing = Export(db, "Customer", (out / "no such dir").string());
    EXPECT_EQ(missing.IOErrors, std::vector<std::string>{"IO Error: 2"});
    EXPECT_FALSE(missing.Result.FileWritten);
    EXPECT_EQ(missing.Messages, "");

    fs::create_directory(out / "Customer.csv");
    const Exported isDir = Export(db, "Customer", out.Dir());
    EXPECT_EQ(isDir.IOErrors, std::vector<std::string>{"IO Error: " + std::to_string(EISDIR)});

    // Without a host the text goes to the message sink.
    std::ostringstream messages;
    ExportForm("Customer", (out / "no such dir").string(), "csv", 'B', 'B', ',', "", db, messages, 0);
    EXPECT_EQ(messages.str(), "IO Error: 2\n");
}

// Sound behaviour: a full disk is detected and raised, never reported as success. The child process runs
// under a file size limit with SIGXFSZ ignored, so writes past the limit fail with EFBIG.
TEST_F(ExportForm4x, WriteErrorIsRaisedAndLeavesTheOlderFile) {
    tw::FormSpec big{.Name = "Big", .Fields = {tw::TextField("N", 100)}};
    for (int i = 0; i < 3000; ++i) {
        big.Records.push_back({.Values = {{"N", std::string(90, 'x')}}});
    }
    Write({big});
    tw::WriteFile(out / "Big.csv", std::string("older"));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int code = 10;
        try {
            Export(db, "Big", out.Dir());
            code = 11; // reported as success
        } catch (const EOutputWriteError& e) {
            code = e.ErrorCode() == EFBIG ? 0 : 12;
        } catch (...) {
            code = 13;
        }
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Text("Big.csv"), "older");
    EXPECT_EQ(DirectoryEntries(out.Path()), std::vector<std::string>{"Big.csv"});
    // Without the limit the same export succeeds.
    EXPECT_TRUE(Export(db, "Big", out.Dir()).Result.FileWritten);
    EXPECT_EQ(Text("Big.csv").size(), 3u + 3000u * 94u);
}

// Sound behaviour: a data file shorter than RecordCount slots gives the whole slots, then a warning.
TEST_F(ExportForm4x, ShortDataFileWritesTheWholeSlotsAndWarns) {
    Write({{.Name = "Short",
            .RecordCount = 5,
            .Fields = {tw::TextField("N", 3)},
            .Records = {{.Values = {{"N", "a"}}}, {.Values = {{"N", "b"}}}, {.Values = {{"N", "c"}}}},
            .DataFileTrailing = {0x00, 'd', 'd'}}});
    const Exported e = Export(db, "Short", out.Dir());
    EXPECT_EQ(Text("Short.csv"), "N\r\n\"a\"\r\n\"b\"\r\n\"c\"\r\n");
    EXPECT_TRUE(e.Result.DataFileShort);
    EXPECT_EQ(e.Result.SlotsRead, 3);
    EXPECT_EQ(e.Messages,
              "Warning: form Short: the data file holds 3 whole records of 5 in the catalogue; only "
              "those were exported.\n");
}

// Sound behaviour: a field whose value would run past the record slot is empty; nothing is read beyond it.
TEST_F(ExportForm4x, ValuesPastTheSlotAreEmpty) {
    tw::FieldDef late = tw::SixCharDate("Late");
    late.Offset = 5; // six characters from 5 run past the 8-byte slot
    tw::FieldDef far = tw::WholeNumber("Far", 4);
    far.Offset = 200;
    tw::FieldDef text = tw::TextField("Text", 50);
    text.Offset = 1;
    Write({{.Name = "Slot",
            .RecordLength = 8,
            .Fields = {text, late, far},
            .Records = {{.Values = {{"Text", "abcdefg"}}}}}});
    Export(db, "Slot", out.Dir());
    EXPECT_EQ(Text("Slot.csv"), "Text,Late,Far\r\n\"abcdefg\",,\r\n");
}

// A temporary is only removed when provably abandoned: its writer (named in it) has ended and no process
// holds its lock. A name without a writer, or a lock still held, keeps it.
TEST_F(ExportForm4x, AbandonedTemporariesAreRemovedButALiveOneIsKept) {
    Write({{.Name = "Customer", .Fields = {tw::TextField("N", 3)}}});
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    const std::string ended = std::to_string(child);
    const std::string prefix = ".Customer.csv.corvane-partial-";
    tw::WriteFile(out / (prefix + ended + "-dead01"), std::string("partial"));
    tw::WriteFile(out / (prefix + ended + "-live01"), std::string("partial"));
    tw::WriteFile(out / (prefix + "nowriter"), std::string("partial"));
    tw::WriteFile(out / (".Other.csv.corvane-partial-" + ended + "-dead02"), std::string("partial"));
    const int fd = ::open((out / (prefix + ended + "-live01")).c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    Export(db, "Customer", out.Dir());
    ::close(fd);
    EXPECT_EQ(DirectoryEntries(out.Path()),
              (std::vector<std::string>{prefix + ended + "-live01", prefix + "nowriter", "Customer.csv"}));
}

TEST(ExportForm5x, DayCountsUseTheShortDateFormat) {
    tw::TempDir dir, out;
    tw::WriteDatabase(dir.Path(), {.Version = 5,
                                   .Name = "Days",
                                   .Forms = {{.Name = "Days",
                                              .Fields = {tw::DayCountDate("D")},
                                              .Records = {{.Values = {{"D", 1}}},
                                                          {.Values = {{"D", 365}}},
                                                          {.Values = {{"D", 366}}},
                                                          {.Values = {{"D", 0}}}}}}});
    TDEInfoRec db;
    Open(db, dir);
    Export(db, "Days", out.Dir(), {.OutputOrder = 'A', .ShortDateFormat = "%Y-%m-%d"});
    EXPECT_EQ(tw::ReadFileText(out / "Days.csv"), "D\r\n1776-01-01\r\n1776-12-30\r\n1777-01-01\r\n\r\n");
}

// ---- The Configuration settings ----

TEST(ReadDateOrder, ReadsByte128Of4xDatabasesOnly) {
    const struct {
        int Version;
        std::uint8_t Stored;
        char Expected;
    } cases[] = {{3, 1, 'A'}, {3, 2, 'B'}, {3, 3, 'M'}, {3, 0, 'B'}, {3, 9, 'B'}, {5, 3, 'B'}, {7, 1, 'B'}};
    for (const auto& c : cases) {
        tw::TempDir dir;
        tw::WriteDatabase(dir.Path(), {.Version = c.Version,
                                       .Configuration = tw::ConfigurationSpec{.DateOrder = c.Stored}});
        TDEInfoRec db;
        Open(db, dir);
        EXPECT_EQ(ReadDateOrder(db), c.Expected) << c.Version << " " << int(c.Stored);
    }
}

TEST(ReadDateOrder, MissingOrShortConfigurationFileRaisesIOError) {
    tw::TempDir dir;
    tw::WriteDatabase(dir.Path(), {.Version = 3, .Configuration = tw::ConfigurationSpec{.DateOrder = 3}});
    TDEInfoRec db;
    Open(db, dir);
    fs::resize_file(dir / "CONFIGUR.DBM", 128);
    try {
        ReadDateOrder(db);
        FAIL() << "expected EInOutError";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), kIOReadBeyondEnd);
        EXPECT_STREQ(e.what(), "Read beyond end of file");
    }
    fs::remove(dir / "CONFIGUR.DBM");
    try {
        ReadDateOrder(db);
        FAIL() << "expected EInOutError";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), kIOFileNotFound);
        EXPECT_STREQ(e.what(), "File not found");
    }
}

TEST(ReadCenturyCutoff, IsReadOnceAndCached) {
    for (const int version : {3, 5, 6, 7}) {
        tw::TempDir dir;
        tw::WriteDatabase(dir.Path(),
                          {.Version = version, .Configuration = tw::ConfigurationSpec{.CenturyCutoff = 30}});
        TDEInfoRec db;
        Open(db, dir);
        EXPECT_EQ(ReadCenturyCutoff(db), 30) << version;
        fs::remove(dir / "CONFIGUR.DBM");
        EXPECT_EQ(ReadCenturyCutoff(db), 30) << "cached";
    }
}

TEST(ReadCenturyCutoff, ZeroWithoutConfigurationAndAStoredZeroIsReadAgain) {
    tw::TempDir dir;
    tw::WriteDatabase(dir.Path(), {.Version = 3, .Forms = {{.Name = "X"}}});
    TDEInfoRec db;
    Open(db, dir);
    EXPECT_EQ(ReadCenturyCutoff(db), 0);

    tw::TempDir dir2;
    tw::WriteDatabase(dir2.Path(),
                      {.Version = 3, .Configuration = tw::ConfigurationSpec{.CenturyCutoff = 0}});
    TDEInfoRec db2;
    Open(db2, dir2);
    EXPECT_EQ(ReadCenturyCutoff(db2), 0);
    fs::remove(dir2 / "CONFIGUR.DBM");
    EXPECT_THROW(ReadCenturyCutoff(db2), EInOutError);
}

TEST(SlotSelected, StatusBitZeroAlone) {
    EXPECT_TRUE(SlotSelected(0x02, 'L'));
    EXPECT_FALSE(SlotSelected(0x03, 'L'));
    EXPECT_TRUE(SlotSelected(0x03, 'D'));
    EXPECT_FALSE(SlotSelected(0x00, 'D'));
    EXPECT_TRUE(SlotSelected(0x00, 'A'));
    EXPECT_TRUE(SlotSelected(0xFF, 'A'));
    EXPECT_FALSE(SlotSelected(0x00, 'X'));
    EXPECT_FALSE(SlotSelected(0x00, 'l'));
}

} // namespace
} // namespace corvane
