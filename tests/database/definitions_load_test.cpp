// Which definition file a form's fields come from, which reader reads it, and how the field list is kept.

#include "database/DEInfoRec.h"
#include "database/Definitions.h"
#include "database/Errors.h"
#include "definitions_dump.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace corvane {
namespace {

namespace tw = testwriter;
using testing::DumpFields;
using tw::Bytes;

// A database directory and a DataEase program directory, with one form added per test.
struct Database {
    tw::TempDir dir;
    tw::TempDir program;
    TDEInfoRec db;

    explicit Database(std::uint8_t version, bool withDEPath = true) {
        db.Version = version;
        db.SetDirectory(dir.Dir());
        if (withDEPath) {
            db.SetDEPath(program.Dir());
        }
    }

    TFormRec& Add(const std::string& name, const std::string& dataFile = "ORDERS.DBM",
                  bool systemForm = false, std::uint8_t variantLevel = 0) {
        auto form = std::make_unique<TFormRec>(&db);
        form->Name = name;
        form->DataFile = dataFile;
        form->SystemForm = systemForm;
        form->VariantLevel = variantLevel;
        TFormRec& added = *form;
        db.AddForm(std::move(form));
        return added;
    }

    // "{dir}" and "{de}" stand for the two directories.
    std::string Expand(std::string pattern) const {
        for (const auto& [key, value] :
             {std::pair{std::string("{dir}"), dir.Dir()}, {"{de}", program.Dir()}}) {
            if (const std::size_t at = pattern.find(key); at != std::string::npos) {
                pattern.replace(at, key.size(), value);
            }
        }
        return pattern;
    }
};

Bytes Definition4x(const std::string& fieldName) {
    return tw::BuildDefinition4x({.D = 3, .Fields = {tw::TextField(fieldName, 10)}});
}

Bytes Definition5x(const std::string& fieldName) {
    return tw::BuildDefinition5x({.Fields = {tw::TextField(fieldName, 10)}});
}

std::string FirstFieldName(TFormRec& form) {
    const TFieldRec* first = form.GetFields();
    return first ? first->Name : "(none)";
}

// ------------------------------------------------------------------------------------------------------------
// Definition file names

struct NamingCase {
    std::uint8_t version;
    const char* name;
    const char* dataFile;
    bool systemForm;
    std::uint8_t variantLevel;
    const char* file4x;
    const char* file5x;
};

TEST(DefinitionFiles, NamesFollowTheFormAndTheVersion) {
    const NamingCase cases[] = {
        {3, "Orders", "ORDERS.DBM", false, 0, "{dir}ORDERS.DBA", "{dir}ORDERS.tdf"},
        {3, "Orders", "ORDERS.DBM", false, 1, "{dir}ORDERS.DBF", "{dir}ORDERS.tdf"},
        {6, "Orders", "ORDERS.DBM", false, 2, "{dir}ORDERS.DBF", "{dir}ORDERS.tde"},
        {7, "Orders", "ORDERS.DBM", false, 3, "{dir}ORDERS.DBF", "{dir}ORDERS.tdf"},
        {3, "Orders", "NODOT", false, 0, "{dir}DBA", "{dir}tdf"},
        {5, "Orders", "A.B.C", false, 0, "{dir}A.DBA", "{dir}A.tdf"},
        {3, "users", "USERS.DBM", true, 0, "{de}userform.dbs", "{de}userform.dbs"},
        {4, "USERS", "USERS.DBM", true, 0, "{de}userform.dbs", "{de}userform.dbs"},
        {5, "Users", "USERS.DBM", true, 0, "{de}userform.tds", "{de}userform.tds"},
        {6, "Configuration", "CONFIGUR.DBM", true, 0, "{de}configur.dbs", "{de}configur.dbs"},
        {7, "masks", "MASKS.DBM", true, 0, "{de}MaskForm.dbs", "{de}MaskForm.dbs"},
        // A system form outside the table has the empty stem.
        {5, "Unknown", "UNKNOWN.DBM", true, 0, "{de}.tds", "{de}.tds"},
        {6, "$Temp", "TEMP.DBM", true, 0, "{de}.dbs", "{dir}TEMP.tdf"},
        {6, "Dictionary", "RDRRAAAA.DBM", true, 0, "{de}.dbs", "{dir}RDRRAAAA.tdf"},
        {6, "Application Objects", "APPOBJ.DBM", true, 0, "{de}.dbs", "{dir}APPOBJ.tdf"},
        // The names that keep a system form's definition in the database directory compare with case.
        {6, "dictionary", "RDRRAAAA.DBM", true, 0, "{de}.dbs", "{de}.dbs"},
        {7, "application objects", "APPOBJ.DBM", true, 2, "{de}.dbs", "{de}.dbs"},
    };
    for (const NamingCase& c : cases) {
        Database d(c.version);
        TFormRec& form = d.Add(c.name, c.dataFile, c.systemForm, c.variantLevel);
        EXPECT_EQ(form.DefinitionFile4x(), d.Expand(c.file4x)) << int(c.version) << " " << c.name;
        EXPECT_EQ(form.DefinitionFile5x(), d.Expand(c.file5x)) << int(c.version) << " " << c.name;
    }
}

TEST(DefinitionFiles, NamesFromTheFilesMatchWithoutRegardToCase) {
    struct Case {
        std::uint8_t version;
        const char* name;
        bool systemForm;
        const char* onDisk;
    } cases[] = {
        {3, "Orders", false, "{dir}orders.dba"},
        {5, "Orders", false, "{dir}Orders.TDF"},
        {3, "users", true, "{de}USERFORM.DBS"},
        {5, "Users", true, "{de}UserForm.Tds"},
    };
    for (const Case& c : cases) {
        Database d(c.version);
        TFormRec& form = d.Add(c.name, "ORDERS.DBM", c.systemForm);
        const bool is4x = c.version == 3 || std::string(c.name) == "Users";
        tw::WriteFile(d.Expand(c.onDisk), is4x ? Definition4x("Found") : Definition5x("Found"));
        EXPECT_EQ(FirstFieldName(form), "Found") << c.onDisk;
    }
}

TEST(DefinitionFiles, AnExactNameWinsOverOneThatDiffersInCase) {
    Database d(3);
    TFormRec& form = d.Add("Orders");
    tw::WriteFile(d.dir / "orders.dba", Definition4x("Folded"));
    tw::WriteFile(d.dir / "ORDERS.DBA", Definition4x("Exact"));
    EXPECT_EQ(FirstFieldName(form), "Exact");
}

TEST(DefinitionFiles, MissingDefinitionIsFileNotFound) {
    for (const std::uint8_t version : {std::uint8_t{3}, std::uint8_t{5}}) {
        Database d(version);
        TFormRec& form = d.Add("Orders");
        try {
            form.GetFields();
            FAIL() << "no error for a missing definition";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.ErrorCode(), kIOFileNotFound);
            EXPECT_STREQ(e.what(), "File not found");
            EXPECT_EQ(e.FileName(), d.dir.Dir() + (version == 3 ? "ORDERS.DBA" : "ORDERS.tdf"));
        }
        EXPECT_EQ(form.Fields, nullptr);
    }
}

TEST(DefinitionFiles, FiveXDefinitionOver65535BytesIsARangeError) {
    Database d(5);
    TFormRec& form = d.Add("Orders");
    Bytes bytes = Definition5x("Big");
    bytes.resize(65536, 0);
    tw::WriteFile(d.dir / "ORDERS.tdf", bytes);
    EXPECT_THROW(form.GetFields(), ERangeError);
    bytes.resize(65535);
    tw::WriteFile(d.dir / "ORDERS.tdf", bytes);
    EXPECT_EQ(FirstFieldName(form), "Big");
}

// ------------------------------------------------------------------------------------------------------------
// DEPath

TEST(DefinitionFiles, SystemFormsUnderTheProgramDirectoryNeedDEPath) {
    struct Case {
        std::uint8_t version;
        const char* name;
        bool needsDEPath;
    } cases[] = {
        {3, "users", true},      {3, "Orders", true},      {4, "Users", true},
        {5, "Orders", true},     {6, "Orders", true},      {7, "Configuration", true},
        {6, "dictionary", true}, {6, "Dictionary", false}, {6, "Application Objects", false},
        {7, "$Sys", false},      {5, "Dictionary", false},
    };
    for (const Case& c : cases) {
        Database d(c.version, false);
        TFormRec& form = d.Add(c.name, "SYS.DBM", true);
        // The database-directory definitions exist in both layouts, so only the missing DEPath can fail.
        tw::WriteFile(d.dir / "SYS.tdf", Definition5x("Local"));
        tw::WriteFile(d.dir / "SYS.DBA", Definition4x("Local"));
        if (c.needsDEPath) {
            try {
                form.GetFields();
                FAIL() << c.name << ": no error without DEPath";
            } catch (const EDELibError& e) {
                EXPECT_STREQ(e.what(), "DEPath is not defined") << c.name;
            }
            EXPECT_EQ(form.Fields, nullptr);
        } else {
            EXPECT_EQ(FirstFieldName(form), "Local") << c.name;
        }
    }
}

TEST(DefinitionFiles, DefinitionFileNamesRaiseTheDEPathError) {
    Database d(5, false);
    TFormRec& form = d.Add("users", "USERS.DBM", true);
    EXPECT_THROW(form.DefinitionFile4x(), EDELibError);
    EXPECT_THROW(form.DefinitionFile5x(), EDELibError);
}

// ------------------------------------------------------------------------------------------------------------
// Reader choice

struct ChoiceCase {
    std::uint8_t version;
    const char* name;
    bool systemForm;
    const char* reads; // "4x", "5x" or "none"
};

TEST(LoadFields, ChoosesTheReaderByVersionNameAndSystemFlag) {
    const ChoiceCase cases[] = {
        // Above version 3 these names always take the 5.x layout.
        {5, "Application Objects", false, "5x"},
        {6, "$Temp", true, "5x"},
        {7, "Dictionary", false, "5x"},
        {4, "Dictionary", false, "5x"},
        {8, "$X", false, "5x"},
        // Version 3, and system forms of version 6.
        {3, "$Temp", false, "4x"},
        {3, "Dictionary", false, "4x"},
        {3, "Orders", false, "4x"},
        {3, "Orders", true, "4x"},
        {6, "Orders", true, "4x"},
        // Users, in any letter case and any version.
        {7, "users", false, "4x"},
        {5, "Users", true, "4x"},
        {4, "USERS", false, "4x"},
        {0, "uSeRs", false, "4x"},
        // Versions 5, 6 and 7.
        {5, "Orders", false, "5x"},
        {5, "Orders", true, "5x"},
        {6, "Orders", false, "5x"},
        {7, "Orders", true, "5x"},
        {5, "dictionary", false, "5x"},
        // Nothing else is read.
        {4, "Orders", false, "none"},
        {4, "dictionary", false, "none"},
        {4, "application objects", false, "none"},
        {0, "Orders", false, "none"},
        {8, "Orders", false, "none"},
        {2, "Orders", false, "none"},
    };
    for (const ChoiceCase& c : cases) {
        Database d(c.version);
        TFormRec& form = d.Add(c.name, "FORM.DBM", c.systemForm);
        const std::string file4x = form.DefinitionFile4x();
        const std::string file5x = form.DefinitionFile5x();
        const std::string expected = c.reads;
        // Where both readers would open the same file, it holds the layout the expected reader reads.
        if (file4x != file5x || expected != "5x") {
            tw::WriteFile(file4x, Definition4x("From4x"));
        }
        if (file4x != file5x || expected == "5x") {
            tw::WriteFile(file5x, Definition5x("From5x"));
        }
        const std::string label =
            std::to_string(c.version) + " " + c.name + (c.systemForm ? " (system)" : "");
        if (expected == "none") {
            EXPECT_EQ(form.GetFields(), nullptr) << label;
            EXPECT_EQ(form.DefinitionVersion, 0) << label;
        } else {
            EXPECT_EQ(FirstFieldName(form), "From" + expected) << label;
            EXPECT_EQ(form.DefinitionVersion, expected == "4x" ? 3 : 5) << label;
        }
    }
}

// ------------------------------------------------------------------------------------------------------------
// The field list

TEST(GetFields, ReadsTheDefinitionOnceAndKeepsTheList) {
    Database d(5);
    TFormRec& form = d.Add("Orders");
    tw::WriteFile(d.dir / "ORDERS.tdf",
                  tw::BuildDefinition5x({.Fields = {tw::TextField("A", 1), tw::TextField("B", 2)}}));
    const TFieldRec* first = form.GetFields();
    ASSERT_NE(first, nullptr);
    std::filesystem::remove(d.dir / "ORDERS.tdf");
    EXPECT_EQ(form.GetFields(), first);
    EXPECT_EQ(DumpFields(first).size(), 2u);
}

TEST(GetFields, AReadWithoutFieldsIsRepeatedNextTime) {
    Database d(3);
    TFormRec& form = d.Add("Orders");
    tw::WriteFile(d.dir / "ORDERS.DBA", tw::BuildDefinition4x({}));
    EXPECT_EQ(form.GetFields(), nullptr);
    tw::WriteFile(d.dir / "ORDERS.DBA", Definition4x("Later"));
    EXPECT_EQ(FirstFieldName(form), "Later");
}

TEST(GetFields, AFailedReadLeavesNoPartialList) {
    // The second field's name lies past the 16-bit range (5.x) or its choice list's table entry does (4.x);
    // the first field was read before the error and must not survive it.
    tw::FieldDef bad5x = tw::TextField("Bad", 2);
    bad5x.NameOffset = 0xFFFF;
    tw::FieldDef bad4x = tw::ChoiceField("Bad", {"A"});
    bad4x.ChoiceEntry = 255;
    const struct Case {
        std::uint8_t version;
        const char* file;
        Bytes broken;
        Bytes repaired;
    } cases[] = {
        {5, "ORDERS.tdf", tw::BuildDefinition5x({.Fields = {tw::TextField("Good", 2), bad5x}}),
         Definition5x("Repaired")},
        {3, "ORDERS.DBA",
         tw::BuildDefinition4x({.HeaderExtra = Bytes(64000, 0), .Fields = {tw::TextField("Good", 2), bad4x}}),
         Definition4x("Repaired")},
    };
    for (const Case& c : cases) {
        Database d(c.version);
        TFormRec& form = d.Add("Orders");
        tw::WriteFile(d.dir / c.file, c.broken);
        EXPECT_THROW(form.GetFields(), ERangeError) << c.file;
        EXPECT_EQ(form.Fields, nullptr) << c.file;
        // The next call reads the definition again instead of returning what the failed read left.
        tw::WriteFile(d.dir / c.file, c.repaired);
        EXPECT_EQ(FirstFieldName(form), "Repaired") << c.file;
    }
}

TEST(FieldList, AppendFieldKeepsDefinitionOrderAndIgnoresNothing) {
    TFormRec form(nullptr);
    form.AppendField(nullptr);
    EXPECT_EQ(form.Fields, nullptr);
    for (const char* name : {"A", "B", "C"}) {
        auto f = std::make_unique<TFieldRec>();
        f->Name = name;
        form.AppendField(std::move(f));
    }
    std::string names;
    for (const TFieldRec* f = form.Fields.get(); f; f = f->Next.get()) {
        names += f->Name;
    }
    EXPECT_EQ(names, "ABC");
}

TEST(FieldList, NewFieldHasAnEmptyChoiceEntryAndNothingElse) {
    const TFieldRec f;
    EXPECT_EQ(testing::DumpField(f), " t=0 len=0 sub=0 int=0 size=0 off=0 flags= choices=[] texts=[][][]");
    EXPECT_EQ(f.Choices, std::vector<std::string>{""});
    for (const auto& list : f.Texts) {
        EXPECT_TRUE(list.empty());
    }
}

TEST(FieldList, AVeryLongListIsReleasedWithoutRecursion) {
    auto head = std::make_unique<TFieldRec>();
    TFieldRec* tail = head.get();
    for (int i = 0; i < 1'000'000; ++i) {
        tail->Next = std::make_unique<TFieldRec>();
        tail = tail->Next.get();
    }
    head.reset(); // a recursive release would exhaust the stack here
    EXPECT_EQ(head, nullptr);
}

TEST(SplitLines, CarriageReturnsEndLinesAndLineFeedsStay) {
    const struct Case {
        std::string_view text;
        std::vector<std::string> lines;
    } cases[] = {
        {"AB\r\nCD", {"AB", "\nCD"}},
        {"one line", {"one line"}},
        {"", {""}},
        {"A\r", {"A", ""}},
        {"\r\r", {"", "", ""}},
        {"A\nB", {"A\nB"}},
        {std::string_view("A\rB\0C", 5), {"A", "B"}}, // ends at the zero byte
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SplitLines(c.text), c.lines) << testing::Escaped(std::string(c.text));
    }
}

} // namespace
} // namespace corvane
