#include "database/ByteReader.h"
#include "database/Errors.h"
#include "database/PlatformFile.h"
#include "export/DataFile.h"
#include "export/OutputFile.h"
#include "export/ParallelExport.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace corvane {
namespace {

namespace tw = corvane::testwriter;

constexpr std::size_t kLength = 6;

// count slots of kLength bytes, each starting with its index (4 bytes).
std::vector<std::uint8_t> IndexedSlots(std::size_t count) {
    std::vector<std::uint8_t> bytes(count * kLength, 0);
    for (std::size_t i = 0; i < count; ++i) {
        for (int b = 0; b < 4; ++b) {
            bytes[i * kLength + b] = static_cast<std::uint8_t>(i >> (8 * b));
        }
    }
    return bytes;
}

void AppendText(TLineText& text, const std::string& s) {
    text.Bytes.resize(text.Size + s.size());
    std::copy(s.begin(), s.end(), text.Bytes.begin() + static_cast<std::ptrdiff_t>(text.Size));
    text.Size += s.size();
}

// A formatter writing "<index>\n" for each slot whose index is not a multiple of 5 (taking those), that
// records the threads it ran on and throws std::runtime_error("slot <index>") at slot throwAt.
struct Formatters {
    std::int64_t throwAt = -1;
    std::mutex mutex;
    std::map<int, std::set<std::thread::id>> threadsOf; // by formatter number
    int made = 0;

    TFormatBatch Make() {
        const int number = made++;
        return [this, number](ByteSpan slots, TLineText& text) {
            {
                const std::lock_guard<std::mutex> lock(mutex);
                threadsOf[number].insert(std::this_thread::get_id());
            }
            std::int64_t taken = 0;
            for (std::size_t pos = 0; pos < slots.size(); pos += kLength) {
                const auto index = static_cast<std::int64_t>(DecodeLE<std::uint32_t>(slots.data() + pos));
                if (index == throwAt) {
                    throw std::runtime_error("slot " + std::to_string(index));
                }
                if (index % 5 != 0) {
                    AppendText(text, std::to_string(index) + "\n");
                    ++taken;
                }
            }
            return taken;
        };
    }
};

std::string ExpectedText(std::size_t count) {
    std::string s;
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 5 != 0) {
            s += std::to_string(i) + "\n";
        }
    }
    return s;
}

struct Scanned {
    std::string Text;
    std::int64_t Taken = 0;
    std::vector<std::int64_t> SlotsDone;
    bool CallbacksOnCallingThread = true;
};

Scanned Scan(TByteSource& source, std::int64_t slotCount, const TScanPlan& plan, Formatters& formatters) {
    Scanned s;
    TSlotReader reader(source, kLength, slotCount);
    const std::thread::id caller = std::this_thread::get_id();
    s.Taken = ScanInBatches(
        reader, kLength, plan, [&formatters]() { return formatters.Make(); },
        [&](std::string_view text) {
            s.CallbacksOnCallingThread &= std::this_thread::get_id() == caller;
            s.Text.append(text);
        },
        [&](std::int64_t done) {
            s.CallbacksOnCallingThread &= std::this_thread::get_id() == caller;
            s.SlotsDone.push_back(done);
        });
    return s;
}

TEST(ScanInBatches, WritesEveryBatchInSlotOrderWhateverTheThreadsAndBatches) {
    const std::size_t count = 5000;
    const TScanPlan plans[] = {{1, 2048}, {1, 7}, {2, 1}, {2, 64}, {3, 1000}, {4, 4999}, {4, 9000}};
    for (const TScanPlan& plan : plans) {
        SCOPED_TRACE(std::to_string(plan.Threads) + " threads, batches of " +
                     std::to_string(plan.BatchSlots));
        TBufferSource source(IndexedSlots(count));
        Formatters formatters;
        const Scanned s = Scan(source, count, plan, formatters);
        EXPECT_EQ(s.Text, ExpectedText(count));
        EXPECT_EQ(s.Taken, 4000);
        EXPECT_TRUE(s.CallbacksOnCallingThread);
        ASSERT_FALSE(s.SlotsDone.empty());
        EXPECT_EQ(s.SlotsDone.back(), static_cast<std::int64_t>(count));
        EXPECT_TRUE(std::is_sorted(s.SlotsDone.begin(), s.SlotsDone.end()));
        // One formatter per worker, each used by one thread only, never the calling one.
        EXPECT_EQ(formatters.made, static_cast<int>(std::max(1U, plan.Threads)));
        for (const auto& [number, threads] : formatters.threadsOf) {
            EXPECT_EQ(threads.size(), 1u) << "formatter " << number;
            if (plan.Threads > 1) {
                EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u) << "formatter " << number;
            }
        }
    }
}

TEST(ScanInBatches, ABatchHoldsNoMoreThanItsByteLimit) {
    const std::size_t length = 40000;
    const std::size_t count = 20;
    const std::size_t perBatch = kMaxBatchBytes / length;
    for (const unsigned threads : {1U, 2U}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        TBufferSource source(std::vector<std::uint8_t>(length * count, 0));
        TSlotReader reader(source, static_cast<std::uint16_t>(length), count);
        std::mutex mutex;
        std::size_t largest = 0;
        std::size_t batches = 0;
        const std::int64_t taken = ScanInBatches(
            reader, length, {threads, 2048},
            [&]() -> TFormatBatch {
                return [&](ByteSpan slots, TLineText&) {
                    const std::lock_guard<std::mutex> lock(mutex);
                    largest = std::max(largest, slots.size());
                    return static_cast<std::int64_t>(slots.size() / length);
                };
            },
            [&batches](std::string_view) { ++batches; }, [](std::int64_t) {});
        EXPECT_EQ(taken, static_cast<std::int64_t>(count));
        EXPECT_EQ(largest, perBatch * length);
        EXPECT_EQ(batches, (count + perBatch - 1) / perBatch);
    }
}

TEST(ScanInBatches, AFormatterExceptionReachesTheCallerAfterTheEarlierBatchesOnly) {
    const std::size_t count = 3000;
    const TScanPlan plans[] = {{1, 100}, {2, 100}, {4, 1}};
    for (const TScanPlan& plan : plans) {
        SCOPED_TRACE(std::to_string(plan.Threads) + " threads, batches of " +
                     std::to_string(plan.BatchSlots));
        TBufferSource source(IndexedSlots(count));
        Formatters formatters;
        formatters.throwAt = 1234;
        std::string written;
        TSlotReader reader(source, kLength, count);
        try {
            ScanInBatches(
                reader, kLength, plan, [&formatters]() { return formatters.Make(); },
                [&written](std::string_view text) { written.append(text); }, [](std::int64_t) {});
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "slot 1234");
        }
        const std::size_t batchStart = 1234 / plan.BatchSlots * plan.BatchSlots;
        EXPECT_EQ(written, ExpectedText(batchStart));
    }
}

TEST(ScanInBatches, AWriteExceptionStopsTheWorkersAndReachesTheCaller) {
    const std::size_t count = 10000;
    TBufferSource source(IndexedSlots(count));
    Formatters formatters;
    TSlotReader reader(source, kLength, count);
    int writes = 0;
    try {
        ScanInBatches(
            reader, kLength, {2, 10}, [&formatters]() { return formatters.Make(); },
            [&writes](std::string_view) {
                if (++writes == 3) {
                    throw EOutputWriteError(28, "No space left on device", "out.csv");
                }
            },
            [](std::int64_t) {});
        ADD_FAILURE() << "no exception";
    } catch (const EOutputWriteError& e) {
        EXPECT_EQ(e.ErrorCode(), 28);
        EXPECT_STREQ(e.what(), "No space left on device");
    }
    EXPECT_EQ(writes, 3);
    EXPECT_LT(reader.SlotsRead(), static_cast<std::int64_t>(count));
}

// Fails every read from position failAt on.
class TFailingSource final : public TByteSource {
public:
    TFailingSource(std::vector<std::uint8_t> bytes, std::int64_t failAt)
        : inner_(std::move(bytes)), failAt_(failAt) {}
    std::int64_t Size() const override { return inner_.Size(); }
    std::size_t ReadSome(std::int64_t pos, void* buf, std::size_t count) override {
        if (pos + static_cast<std::int64_t>(count) > failAt_) {
            throw EInOutError(5, "Input/output error", "data.dbm");
        }
        return inner_.ReadSome(pos, buf, count);
    }
    const std::string& Name() const override { return inner_.Name(); }

private:
    TBufferSource inner_;
    std::int64_t failAt_;
};

TEST(ScanInBatches, AReadErrorReachesTheCaller) {
    for (const unsigned threads : {1U, 3U}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        const std::size_t count = 4000;
        TFailingSource source(IndexedSlots(count), 2000 * kLength);
        Formatters formatters;
        std::string written;
        TSlotReader reader(source, kLength, count);
        try {
            ScanInBatches(
                reader, kLength, {threads, 100}, [&formatters]() { return formatters.Make(); },
                [&written](std::string_view text) { written.append(text); }, [](std::int64_t) {});
            ADD_FAILURE() << "no exception";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.ErrorCode(), 5);
            EXPECT_EQ(e.FileName(), "data.dbm");
        }
        // Nothing past the failed read; the one-thread reader reads a block at a time, so it may stop sooner.
        EXPECT_EQ(ExpectedText(count).compare(0, written.size(), written), 0);
        EXPECT_LE(written.size(), ExpectedText(2000).size());
    }
}

TEST(ScanInBatches, AShortSourceGivesItsWholeSlotsOnEveryPlan) {
    const struct {
        std::size_t Bytes;
        std::int64_t Count;
        std::size_t Delivered;
        bool Short;
    } cases[] = {
        {999 * kLength + 3, 5000, 999, true}, // ends inside a slot
        {999 * kLength, 5000, 999, true},     // ends at a slot boundary
        {999 * kLength, 500, 500, false},     // holds more than the count
        {0, 10, 0, true},
    };
    for (const auto& c : cases) {
        for (const TScanPlan& plan : {TScanPlan{1, 64}, TScanPlan{2, 64}, TScanPlan{3, 1}}) {
            SCOPED_TRACE(std::to_string(c.Bytes) + " bytes, " + std::to_string(plan.Threads) + " threads");
            std::vector<std::uint8_t> bytes = IndexedSlots(c.Bytes / kLength + 1);
            bytes.resize(c.Bytes);
            TBufferSource source(bytes);
            TSlotReader reader(source, kLength, c.Count);
            Formatters formatters;
            std::string written;
            ScanInBatches(
                reader, kLength, plan, [&formatters]() { return formatters.Make(); },
                [&written](std::string_view text) { written.append(text); }, [](std::int64_t) {});
            EXPECT_EQ(written, ExpectedText(c.Delivered));
            EXPECT_EQ(reader.SlotsRead(), static_cast<std::int64_t>(c.Delivered));
            EXPECT_EQ(reader.EndedShort(), c.Short);
        }
    }
}

TEST(DefaultScanPlan, OneThreadForSmallFormsAtMostFourOtherwise) {
    EXPECT_EQ(DefaultScanPlan(0).Threads, 1u);
    EXPECT_EQ(DefaultScanPlan(kParallelScanMinSlots - 1).Threads, 1u);
    const unsigned cores = std::thread::hardware_concurrency();
    const unsigned expected = std::min(std::max(cores, 1U), kMaxScanThreads);
    EXPECT_EQ(DefaultScanPlan(kParallelScanMinSlots).Threads, expected);
    EXPECT_EQ(DefaultScanPlan(std::int64_t{1} << 40).Threads, expected);
}

// The export itself on a threaded plan: code page conversion, selection letters, progress and a short data
// file give what the one-thread scan gives.
class ThreadedExport : public ::testing::Test {
protected:
    void SetUp() override {
        tw::FormSpec form{
            .Name = "People",
            .Fields = {tw::TextField("Name", 12), tw::WholeNumber("N", 4), tw::SixCharDate("D")}};
        for (int i = 0; i < 3000; ++i) {
            tw::RecordSpec r{.Deleted = i % 7 == 0,
                             .Values = {{"Name", i % 3 == 0 ? std::string("M\x81ller") : "Smith"},
                                        {"N", i},
                                        {"D", tw::Date{1990 + i % 40, 1 + i % 12, 1 + i % 28}}}};
            form.Records.push_back(r);
        }
        tw::WriteDatabase(dir.Path(), {.Version = 5,
                                       .Name = "T",
                                       .Forms = {form},
                                       .Configuration = tw::ConfigurationSpec{.CenturyCutoff = 20}});
        db.SetDirectory(dir.Dir());
        db.SetDictionaryName("RDRRAAAA.DBM");
        db.Load();
        std::filesystem::create_directories(dir.Path() / "out");
    }

    struct Run {
        TExportResult Result;
        std::string Text;
        std::string Messages;
        std::vector<std::int64_t> Progress;
        bool ProgressOnCallingThread = true;
    };

    Run Export(const std::string& entry, const TScanPlan& plan, TCodePage encoding) {
        Run run;
        std::ostringstream messages;
        TExportHost host;
        host.ShortDateFormat = "%d/%m/%Y";
        host.Encoding = encoding;
        const std::thread::id caller = std::this_thread::get_id();
        host.Progress = [&run, caller](std::int64_t done, std::int64_t) {
            run.ProgressOnCallingThread &= std::this_thread::get_id() == caller;
            run.Progress.push_back(done);
        };
        run.Result = ExportFormWithPlan(plan, entry, (dir.Path() / "out").string(), "csv", 'B', 'B', ',', "",
                                        db, messages, 0, host);
        run.Messages = messages.str();
        run.Text = tw::ReadFileText(run.Result.FileName);
        return run;
    }

    tw::TempDir dir;
    TDEInfoRec db;
};

TEST_F(ThreadedExport, GivesTheBytesOfTheOneThreadScan) {
    for (const std::string entry : {"People", "People=D", "People=A"}) {
        for (const TCodePage encoding : {TCodePage::Raw, TCodePage::Cp437}) {
            SCOPED_TRACE(entry + (encoding == TCodePage::Raw ? " raw" : " cp437"));
            const Run one = Export(entry, {1, 2048}, encoding);
            const Run threaded = Export(entry, {3, 10}, encoding);
            EXPECT_EQ(threaded.Text, one.Text);
            EXPECT_EQ(threaded.Result.RecordsWritten, one.Result.RecordsWritten);
            EXPECT_EQ(threaded.Result.SlotsRead, 3000);
            EXPECT_EQ(threaded.Messages, "");
            EXPECT_TRUE(threaded.ProgressOnCallingThread);
            ASSERT_FALSE(threaded.Progress.empty());
            EXPECT_EQ(threaded.Progress.back(), 3000);
        }
    }
    const Run utf8 = Export("People", {2, 10}, TCodePage::Cp437);
    EXPECT_NE(utf8.Text.find("\"M\xC3\xBCller\",3,04/04/1993\r\n"), std::string::npos);
    EXPECT_EQ(utf8.Result.RecordsWritten, 3000 - 429);
}

TEST_F(ThreadedExport, ShortDataFileWarnsAlike) {
    const std::filesystem::path data = dir.Path() / tw::DefaultDataFileName("People");
    std::filesystem::resize_file(data, std::filesystem::file_size(data) * 2 / 3 + 5);
    const Run one = Export("People", {1, 2048}, TCodePage::Raw);
    const Run threaded = Export("People", {2, 33}, TCodePage::Raw);
    EXPECT_EQ(threaded.Text, one.Text);
    EXPECT_EQ(threaded.Messages, one.Messages);
    EXPECT_TRUE(threaded.Result.DataFileShort);
    EXPECT_EQ(threaded.Result.SlotsRead, 2000);
}

} // namespace
} // namespace corvane
