#include "database/Errors.h"
#include "export/TypedFixture.h"
#include "formats/OneFileRun.h"
#include "tools/testwriter/TestWriter.h"
#include "xlsx/XlsxExport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace corvane {
namespace {

namespace tw = corvane::testwriter;

TEST(XlsxSheetName, CleanedCutAndUniqueWithoutRegardToCase) {
    const std::string thirtyOne(31, 'x');
    const struct {
        std::string Name, Suffix, Sheet;
    } cases[] = {
        {"Customers", "", "Customers"},
        {"CUSTOMERS", "", "CUSTOMERS_2"},
        {"customers", "", "customers_3"},
        {"Customers", " (2)", "Customers (2)"},
        {"Orders/Returns", "", "Orders_Returns"},
        {"a[b]c:d*e?f/g\\h", "", "a_b_c_d_e_f_g_h"},
        {"tab\there", "", "tab_here"},
        {"'quoted'", "", "_quoted_"},
        {"", "", "Form"},
        {"_FORMS", "", "_FORMS_2"}, // the forms sheet's name is taken from the start
        {"history", "", "history_2"},
        {thirtyOne + "yz", "", thirtyOne},
        {thirtyOne + "yz", "", std::string(29, 'x') + "_2"},
        {thirtyOne, " (2)", std::string(27, 'x') + " (2)"},
        {"\xC3\xA9t\xC3\xA9", "", "\xC3\xA9t\xC3\xA9"},
        {"\xC3\x89T\xC3\x89", "", "\xC3\x89T\xC3\x89_2"}, // É folds to é
        {std::string(30, 'x') + "\xC3\xA9\xC3\xA9", "", std::string(30, 'x') + "\xC3\xA9"},
    };
    std::vector<std::string> taken{"_forms", "History"};
    for (const auto& c : cases) {
        EXPECT_EQ(XlsxSheetName(c.Name, taken, c.Suffix), c.Sheet) << c.Name;
    }
}

class XlsxFiles : public ::testing::Test {
protected:
    void SetUp() override {
        corvane::testing::WriteAccentDatabase(dir_, 5);
        corvane::testing::LoadDatabase(db_, dir_);
        file_ = (out_ / "book.xlsx").string();
    }
    std::size_t FilesInOut() const {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(out_.Path())) {
            ++n;
        }
        return n;
    }
    tw::TempDir dir_, out_;
    TDEInfoRec db_;
    TExportOptions options_;
    std::string file_;
};

TEST_F(XlsxFiles, WithoutCommitNothingIsLeftAndAnOlderFileStays) {
    tw::WriteFile(file_, std::string_view("older workbook"));
    {
        auto writer = MakeXlsxWriter(file_, {&db_, &options_, TCodePage::Cp437, nullptr, nullptr});
        corvane::testing::TWriterSink sink(*writer);
        std::ostringstream messages;
        ScanTypedForm("Kunden=A", db_, TCodePage::Cp437, 'B', messages, sink);
    }
    EXPECT_EQ(tw::ReadFileText(file_), "older workbook");
    EXPECT_EQ(FilesInOut(), 1u);
}

TEST_F(XlsxFiles, CommitReplacesTheOlderFileAndLeavesNoTemporary) {
    tw::WriteFile(file_, std::string_view("older workbook"));
    const TRunResult run = corvane::testing::RunOneFile(
        TOutputFormat::Xlsx,
        [](const std::string& name, const TOneFileContext& context) { return MakeXlsxWriter(name, context); },
        db_, PlanOfEveryForm(db_, 'L'), options_, file_);
    ASSERT_EQ(run.Forms.size(), 1u);
    EXPECT_EQ(run.Forms[0].Table, "Kunden");
    EXPECT_EQ(run.Summary.OneFile, file_);
    EXPECT_EQ(tw::ReadFileText(file_).substr(0, 2), "PK"); // a zip container
    EXPECT_EQ(FilesInOut(), 1u);
}

TEST_F(XlsxFiles, ADirectoryOfTheFinalNameIsRefusedBeforeAnythingIsWritten) {
    std::filesystem::create_directory(file_);
    try {
        MakeXlsxWriter(file_, {&db_, &options_, TCodePage::Cp437, nullptr, nullptr});
        FAIL() << "no error";
    } catch (const EInOutError& error) {
        EXPECT_EQ(error.ErrorCode(), EISDIR);
        EXPECT_EQ(error.FileName(), file_);
    }
    EXPECT_EQ(FilesInOut(), 1u);
}

TEST_F(XlsxFiles, AMissingDirectoryIsAnInputOutputError) {
    const std::string missing = (out_ / "no-such-dir" / "book.xlsx").string();
    EXPECT_THROW(MakeXlsxWriter(missing, {&db_, &options_, TCodePage::Cp437, nullptr, nullptr}), EInOutError);
}

} // namespace
} // namespace corvane
