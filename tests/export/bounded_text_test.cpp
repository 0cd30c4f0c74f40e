// The text an export holds at one time is bounded by bytes, not by slots: short records whose lines are long
// (many choice fields sharing one long choice text) are formatted and written in parts, with the same bytes
// as in one piece.

#include "database/DEInfoRec.h"
#include "database/PlatformFile.h"
#include "export/ExportLine.h"
#include "export/ParallelExport.h"
#include "text/CodePage.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace corvane {
namespace {

namespace tw = corvane::testwriter;

// ---------------------------------------------------------------------------------------------------------
// A builder of lines of a known length: one text field of 7 bytes at offset 1 of a 9-byte slot, so that
// each line is "\"abcdefg\"\r\n" (11 bytes).

constexpr std::size_t kSlot = 9;
constexpr std::size_t kLine = 11;

struct TextColumn {
    TFieldRec field;
    TValueContext context;
    TextColumn() {
        field.FieldType = kFieldText;
        field.Size = 7;
        field.Length = 7;
        field.Offset = 1;
    }
    TLineBuilder Builder() const { return TLineBuilder({&field}, kSlot, ',', context); }
};

// count slots; every third is deleted.
std::vector<std::uint8_t> TextSlots(std::size_t count) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < count; ++i) {
        bytes.push_back(i % 3 == 2 ? 0x01 : 0x00);
        for (const char c : std::string("abcdefg")) {
            bytes.push_back(static_cast<std::uint8_t>(c));
        }
        bytes.push_back(0);
    }
    return bytes;
}

TEST(AppendLinesWithALimit, StopsAfterTheLineThatReachesTheLimit) {
    const TextColumn column;
    TLineBuilder builder = column.Builder();
    const std::vector<std::uint8_t> slots = TextSlots(9); // live: 0 1 3 4 6 7
    const ByteSpan all(slots.data(), slots.size());
    const struct {
        std::size_t limit;
        std::size_t lines;
        std::size_t slotsTaken; // kAllSlots: went through all of them
    } cases[] = {
        {0, 1, 1},             // the first slot is always taken
        {1, 1, 1},             // one line passes any limit below its length
        {kLine, 1, 1},         // reached exactly: stop before the next slot
        {kLine + 1, 2, 2},     //
        {2 * kLine + 1, 3, 4}, // the deleted slot 2 is gone through, writing nothing
        {6 * kLine, 6, 8},     // reached at the last live slot: the deleted slot 8 is left
        {6 * kLine + 1, 6, TLineText::kAllSlots},
        {100 * kLine, 6, TLineText::kAllSlots},
    };
    for (const auto& c : cases) {
        TLineText text;
        text.ByteLimit = c.limit;
        EXPECT_EQ(builder.AppendLines(all, kSelectLive, text), static_cast<std::int64_t>(c.lines)) << c.limit;
        EXPECT_EQ(text.Size, c.lines * kLine) << c.limit;
        EXPECT_EQ(text.SlotsTaken, c.slotsTaken) << c.limit;
    }
}

// The parts, each begun after the slots the one before went through, join to the text of one piece.
TEST(AppendLinesWithALimit, PartsJoinToTheWholeText) {
    const TextColumn column;
    TLineBuilder builder = column.Builder();
    const std::vector<std::uint8_t> slots = TextSlots(50);
    for (const char selection : {kSelectLive, kSelectDeleted, kSelectAll}) {
        TLineText whole;
        const std::int64_t wholeLines =
            builder.AppendLines(ByteSpan(slots.data(), slots.size()), selection, whole);
        for (const std::size_t limit : {std::size_t{1}, kLine * 2, kLine * 5 + 3}) {
            std::string joined;
            std::int64_t lines = 0;
            ByteSpan rest(slots.data(), slots.size());
            while (!rest.empty()) {
                TLineText part;
                part.ByteLimit = limit;
                lines += builder.AppendLines(rest, selection, part);
                EXPECT_LE(part.Size, limit + kLine);
                joined.append(part.View());
                const std::size_t taken =
                    part.SlotsTaken == TLineText::kAllSlots ? rest.size() / kSlot : part.SlotsTaken;
                ASSERT_GE(taken, 1U);
                rest = rest.subspan(taken * kSlot);
            }
            EXPECT_EQ(joined, whole.View()) << selection << " " << limit;
            EXPECT_EQ(lines, wholeLines);
        }
    }
}

// ---------------------------------------------------------------------------------------------------------
// The scan: every text handed to write holds at most the limit and one line, on one thread and on several.

struct Written {
    std::string Text;
    std::size_t Parts = 0;
    std::size_t Largest = 0;
    std::int64_t Taken = 0;
    std::vector<std::int64_t> SlotsDone;
};

Written ScanText(const std::vector<std::uint8_t>& slots, const TScanPlan& plan) {
    const TextColumn column;
    const TLineBuilder builder = column.Builder();
    TBufferSource source(slots);
    TSlotReader reader(source, kSlot, static_cast<std::int64_t>(slots.size() / kSlot));
    Written w;
    w.Taken = ScanInBatches(
        reader, kSlot, plan,
        [&builder]() -> TFormatBatch {
            return [lines = builder](ByteSpan batch, TLineText& text) mutable {
                return lines.AppendLines(batch, kSelectAll, text);
            };
        },
        [&w](std::string_view text) {
            w.Text.append(text);
            ++w.Parts;
            w.Largest = std::max(w.Largest, text.size());
        },
        [&w](std::int64_t done) { w.SlotsDone.push_back(done); });
    return w;
}

TEST(ScanInBatchesWithATextLimit, WritesPartsOfAtMostTheLimitAndOneLine) {
    const std::vector<std::uint8_t> slots = TextSlots(1000);
    const Written whole = ScanText(slots, {1, 2048, SIZE_MAX});
    ASSERT_EQ(whole.Parts, 1U);
    ASSERT_EQ(whole.Text.size(), 1000 * kLine);
    const TScanPlan plans[] = {{1, 2048, 100}, {1, 64, 1}, {1, 1, 1},
                               {3, 64, 100},   {3, 7, 1},  {2, 100, 5 * kLine}};
    for (const TScanPlan& plan : plans) {
        SCOPED_TRACE(testing::Message() << plan.Threads << " threads, " << plan.BatchSlots << " slots, "
                                        << plan.BatchTextBytes << " bytes");
        const Written parts = ScanText(slots, plan);
        EXPECT_EQ(parts.Text, whole.Text);
        EXPECT_EQ(parts.Taken, 1000);
        EXPECT_LE(parts.Largest, plan.BatchTextBytes + kLine);
        const std::size_t linesPerPart = plan.BatchTextBytes / kLine + 1;
        EXPECT_GE(parts.Parts, 1000 / std::min(linesPerPart, plan.BatchSlots));
        // Progress still comes once per batch of slots, in order, ending at every slot.
        ASSERT_FALSE(parts.SlotsDone.empty());
        EXPECT_TRUE(std::is_sorted(parts.SlotsDone.begin(), parts.SlotsDone.end()));
        EXPECT_EQ(parts.SlotsDone.back(), 1000);
        EXPECT_EQ(parts.SlotsDone.size(), (1000 + plan.BatchSlots - 1) / plan.BatchSlots);
    }
}

TEST(DefaultScanPlan, KeepsLongLinesOnOneThread) {
    EXPECT_EQ(DefaultScanPlan(kParallelScanMinSlots, kParallelScanMaxLineBytes + 1).Threads, 1U);
    EXPECT_EQ(DefaultScanPlan(kParallelScanMinSlots - 1, 10).Threads, 1U);
    EXPECT_GE(DefaultScanPlan(kParallelScanMinSlots, kParallelScanMaxLineBytes).Threads, 1U);
    EXPECT_EQ(DefaultScanPlan(kParallelScanMinSlots, 10).Threads,
              DefaultScanPlan(kParallelScanMinSlots).Threads);
    EXPECT_EQ(DefaultScanPlan(1).BatchTextBytes, kMaxBatchTextBytes);
}

// ---------------------------------------------------------------------------------------------------------
// The hostile shape through the export: 2-byte records whose one value byte is the index of every one of
// many choice fields, all sharing one long choice text. Every line is fields x the choice text.

constexpr int kChoiceFields = 60;
constexpr std::size_t kChoiceBytes = 20000;
constexpr int kRecords = 40;

std::string ChoiceText() {
    std::string text;
    for (std::size_t i = 0; text.size() < kChoiceBytes; ++i) {
        text += static_cast<char>(i % 7 == 0 ? '\x81' : 'a' + i % 26); // 0x81 is u-umlaut in code page 437
    }
    return text;
}

class WideChoiceExport : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<tw::FieldDef> fields;
        for (int i = 0; i < kChoiceFields; ++i) {
            tw::FieldDef f =
                tw::ChoiceField("C" + std::to_string(i),
                                i == 0 ? std::vector<std::string>{ChoiceText()} : std::vector<std::string>{});
            f.Offset = 1;
            if (i != 0) {
                f.ChoiceEntry = 1; // the list of the first field
            }
            fields.push_back(f);
        }
        std::vector<tw::RecordSpec> records;
        for (int i = 0; i < kRecords; ++i) {
            records.push_back({.Values = {{"C0", std::int64_t{1}}}});
        }
        tw::WriteDatabase(
            dir.Path(),
            {.Version = 3,
             .Name = "Wide",
             .Forms = {{.Name = "Wide", .RecordLength = 2, .Fields = fields, .Records = records}}});
        db.SetDirectory(dir.Dir());
        db.SetDictionaryName("RDRRAAAA.DBM");
        db.Load();
        std::filesystem::create_directories(dir.Path() / "out");
    }

    std::string Export(const TScanPlan& plan, TCodePage encoding) {
        std::ostringstream messages;
        TExportHost host;
        host.Encoding = encoding;
        const TExportResult result = ExportFormWithPlan(plan, "Wide", (dir.Path() / "out").string(), "csv",
                                                        'B', 'B', ',', "", db, messages, 0, host);
        EXPECT_EQ(result.RecordsWritten, kRecords);
        EXPECT_EQ(messages.str(), "");
        return tw::ReadFileText(result.FileName);
    }

    // Written out by hand: the heading, then each record as the choice text once per field.
    static std::string Expected(TCodePage encoding) {
        std::string heading;
        std::string line;
        for (int i = 0; i < kChoiceFields; ++i) {
            heading += (i == 0 ? "C" : ",C") + std::to_string(i);
            line += (i == 0 ? "" : ",") + ChoiceText();
        }
        line += "\r\n";
        std::string text = heading + "\r\n";
        for (int i = 0; i < kRecords; ++i) {
            text += line;
        }
        return encoding == TCodePage::Raw ? text : ToUtf8(text, encoding);
    }

    tw::TempDir dir;
    TDEInfoRec db;
};

TEST_F(WideChoiceExport, GivesTheSameBytesInPartsOnEveryPlan) {
    const TScanPlan plans[] = {{1, 2048}, {1, 2048, 100000}, {1, 3, 1}, {3, 7, 100000}, {3, 1, 1}};
    for (const TCodePage encoding : {TCodePage::Raw, TCodePage::Cp437}) {
        const std::string expected = Expected(encoding);
        for (const TScanPlan& plan : plans) {
            SCOPED_TRACE(testing::Message()
                         << (encoding == TCodePage::Raw ? "raw, " : "cp437, ") << plan.Threads << " threads, "
                         << plan.BatchSlots << " slots, " << plan.BatchTextBytes << " bytes");
            const std::string text = Export(plan, encoding);
            EXPECT_EQ(text.size(), expected.size());
            EXPECT_TRUE(text == expected);
        }
    }
}

} // namespace
} // namespace corvane
