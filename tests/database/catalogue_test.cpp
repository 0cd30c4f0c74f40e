#include "database/DEInfoRec.h"
#include "text/TextUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace corvane {
namespace {

std::unique_ptr<TFormRec> MakeForm(TDEInfoRec& db, const std::string& name, std::int32_t count = 0) {
    auto form = std::make_unique<TFormRec>(&db);
    form->Name = name;
    form->RecordCount = count;
    return form;
}

std::vector<std::string> Names(const TDEInfoRec& db) {
    std::vector<std::string> names;
    for (const TFormRec* f = db.FirstForm(); f != nullptr; f = f->Next.get()) {
        names.push_back(f->Name);
    }
    return names;
}

TEST(Catalogue, NewHandleIsEmpty) {
    TDEInfoRec db;
    EXPECT_EQ(db.GetVersion(), kVersionNotLoaded);
    EXPECT_EQ(db.FirstForm(), nullptr);
    EXPECT_EQ(db.FindForm("Anything"), nullptr);
    EXPECT_EQ(db.CenturyCutoff, 0);
    EXPECT_TRUE(db.GetDirectory().empty());
    EXPECT_TRUE(db.GetDEPath().empty());
}

TEST(Catalogue, NewFormHasEverythingEmptyButItsDatabase) {
    TDEInfoRec db;
    TFormRec form(&db);
    EXPECT_EQ(form.Database, &db);
    EXPECT_EQ(form.Fields, nullptr);
    EXPECT_EQ(form.Next, nullptr);
    EXPECT_TRUE(form.Name.empty());
    EXPECT_EQ(form.RecordLength, 0);
    EXPECT_EQ(form.RecordCount, 0);
    EXPECT_EQ(form.FileDate, 0.0);
    EXPECT_FALSE(form.SystemForm);
    EXPECT_EQ(form.VariantLevel, 0);
    EXPECT_EQ(form.DefinitionVersion, 0);
}

TEST(Catalogue, AddFormSortsByNameKeyAndKeepsAdditionOrderForEqualKeys) {
    TDEInfoRec db;
    db.AddForm(MakeForm(db, "orders", 1));
    db.AddForm(MakeForm(db, "Customers"));
    db.AddForm(MakeForm(db, "ORDERS", 2));
    db.AddForm(MakeForm(db, "Accounts"));
    db.AddForm(nullptr);
    EXPECT_EQ(Names(db), (std::vector<std::string>{"Accounts", "Customers", "orders", "ORDERS"}));
    ASSERT_NE(db.FindForm("Orders"), nullptr);
    EXPECT_EQ(db.FindForm("Orders")->RecordCount, 1);
}

TEST(Catalogue, ManyFormsKeepTheOrderOfOneByOneSortedInsertion) {
    // Names drawn from a small alphabet, so that many share a key in different cases; each form carries its
    // number of addition. The reference is a stable sort by key of the addition order.
    std::mt19937 random(20240611);
    const std::string letters = "aAbB\xE9_";
    TDEInfoRec db;
    std::vector<std::pair<std::string, int>> added;
    for (int i = 0; i < 3000; ++i) {
        std::string name;
        const int length = static_cast<int>(random() % 3);
        for (int k = 0; k < length; ++k) {
            name += letters[random() % letters.size()];
        }
        db.AddForm(MakeForm(db, name, i));
        added.emplace_back(name, i);
    }
    std::stable_sort(added.begin(), added.end(),
                     [](const auto& a, const auto& b) { return CompareNameKeys(a.first, b.first) < 0; });
    std::vector<std::pair<std::string, int>> listed;
    for (const TFormRec* f = db.FirstForm(); f != nullptr; f = f->Next.get()) {
        listed.emplace_back(f->Name, f->RecordCount);
    }
    EXPECT_EQ(listed, added);
    // FindForm gives the earliest-added form of each key.
    for (const auto& [name, number] : added) {
        const auto first = std::find_if(added.begin(), added.end(),
                                        [&](const auto& e) { return SameNameKey(e.first, name); });
        const TFormRec* found = db.FindForm(UpperCaseAscii(name));
        ASSERT_NE(found, nullptr) << name;
        EXPECT_EQ(found->RecordCount, first->second) << name;
    }
    EXPECT_EQ(db.FindForm("abc"), nullptr);
}

TEST(Catalogue, ClearFormsForgetsEveryForm) {
    TDEInfoRec db;
    db.AddForm(MakeForm(db, "Orders", 1));
    db.ClearForms();
    EXPECT_EQ(db.FindForm("Orders"), nullptr);
    db.AddForm(MakeForm(db, "orders", 2));
    db.AddForm(MakeForm(db, "Accounts", 3));
    EXPECT_EQ(Names(db), (std::vector<std::string>{"Accounts", "orders"}));
    ASSERT_NE(db.FindForm("ORDERS"), nullptr);
    EXPECT_EQ(db.FindForm("ORDERS")->RecordCount, 2);
}

TEST(Catalogue, KeysFoldOnlyAsciiLettersAndAreNotTrimmed) {
    TDEInfoRec db;
    db.AddForm(MakeForm(db, "\xE9tude"));
    db.AddForm(MakeForm(db, "Zebra"));
    db.AddForm(MakeForm(db, "apple"));
    db.AddForm(MakeForm(db, "Customers"));
    EXPECT_EQ(Names(db), (std::vector<std::string>{"apple", "Customers", "Zebra", "\xE9tude"}));
    EXPECT_EQ(db.FindForm("\xC9TUDE"), nullptr);
    EXPECT_NE(db.FindForm("\xE9TUDE"), nullptr);
    EXPECT_EQ(db.FindForm(" Customers"), nullptr);
    EXPECT_EQ(db.FindForm("Customers "), nullptr);
}

TEST(Catalogue, SetDEPathStoresOneTrailingSeparator) {
    TDEInfoRec db;
    const std::string sep(1, kPathSeparator);
    db.SetDEPath("dease");
    EXPECT_EQ(db.GetDEPath(), "dease" + sep);
    db.SetDEPath("dease" + sep);
    EXPECT_EQ(db.GetDEPath(), "dease" + sep);
    db.SetDEPath("");
    EXPECT_EQ(db.GetDEPath(), "");
}

TEST(Catalogue, DisplayNameEndsAtTheFirstNulUnlessItIsFirst) {
    struct Case {
        std::string stored;
        std::string shown;
    };
    const Case cases[] = {
        {std::string("SALES\0XYZ", 9), "SALES"},
        {std::string("\0SALES", 6), std::string("\0SALES", 6)},
        {"PLAIN", "PLAIN"},
        {"", ""},
    };
    for (const Case& c : cases) {
        TDEInfoRec db;
        db.DatabaseName = c.stored;
        EXPECT_EQ(db.GetDisplayName(), c.shown);
    }
}

TEST(Catalogue, DictionaryNameKeepsTwelveCharacters) {
    TDEInfoRec db;
    db.SetDictionaryName("RDRRAAAA.DBMXY");
    EXPECT_EQ(db.DictionaryName, "RDRRAAAA.DBM");
}

TEST(Catalogue, ALongCatalogueIsReleasedWithoutDeepRecursion) {
    // A chain of a million forms: released one link at a time, so the stack never holds the whole chain.
    auto db = std::make_unique<TDEInfoRec>();
    std::unique_ptr<TFormRec> head;
    for (int i = 0; i < 1'000'000; ++i) {
        auto form = std::make_unique<TFormRec>(db.get());
        form->Next = std::move(head);
        head = std::move(form);
    }
    db->Forms = std::move(head);
    db.reset();
    SUCCEED();
}

} // namespace
} // namespace corvane
