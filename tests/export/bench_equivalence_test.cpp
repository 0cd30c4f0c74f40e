// The export's output on the benchmark form stays byte for byte what it was before the export was tuned for
// speed. The expected digests below were produced by the straightforward export (one AppendFieldValue call
// per value, each number through its full decimal expansion) before any of the fast paths existed; a fast
// path that changes a single byte of any of these files changes the digest. Each case also checks a few lines
// in the clear, so a failure shows what kind of value moved.
//
// To regenerate after a deliberate change of the output: run with CORVANE_PRINT_DIGESTS=1 and copy the
// printed values, having checked the difference by hand.

#include "bench/BenchDatabase.h"
#include "export/DataFile.h"
#include "export/FormExport.h"
#include "export/ParallelExport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace corvane {
namespace {

namespace tw = corvane::testwriter;

constexpr std::uint64_t kRecords = 20000;

// FNV-1a, 64 bits.
std::uint64_t Digest(const std::string& bytes) {
    std::uint64_t h = 0xCBF29CE484222325ULL;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001B3ULL;
    }
    return h;
}

struct DigestCase {
    const char* Label;
    std::string Entry;
    char OutputOrder;
    char Delimiter;
    std::string Qualifier;
    int NumericNull;
    std::string ShortDateFormat;
    std::size_t Size;       // bytes of the file
    std::uint64_t Expected; // Digest of the file
    std::int64_t Records;   // lines after the heading
    std::string FirstLines; // the heading and the first record
};

class BenchEquivalence : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new tw::TempDir();
        bench::WriteBenchDatabase(dir_->Path(), kRecords);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }

    // plan nullopt: the plan ExportForm picks (one thread at this size).
    static std::string Run(const DigestCase& c, TExportResult& result,
                           const std::optional<TScanPlan>& plan = std::nullopt) {
        TDEInfoRec db;
        db.SetDirectory(dir_->Dir());
        db.SetDictionaryName("RDRRAAAA.DBM");
        db.Load();
        const std::string out = (dir_->Path() / "out").string();
        std::filesystem::create_directories(out);
        std::ostringstream messages;
        TExportHost host;
        host.ShortDateFormat = c.ShortDateFormat;
        result = ExportFormWithPlan(plan, c.Entry, out, "csv", ReadDateOrder(db), c.OutputOrder, c.Delimiter,
                                    c.Qualifier, db, messages, c.NumericNull, host);
        EXPECT_EQ(messages.str(), "");
        return tw::ReadFileText(result.FileName);
    }

    static tw::TempDir* dir_;
};

tw::TempDir* BenchEquivalence::dir_ = nullptr;

const DigestCase kCases[] = {
    {"defaults", "Customers", 'B', ',', "", 0, "%d/%m/%Y", 2167826, 0xD087A551E9579C20ULL, 17973,
     "Name,Street,Visits,Items,Balance,Turnover,Price,Rate,First_visit,Since,Call_at,Status\r\n"
     "\"Iris Evans\",\"72 Station Road, Derby\",14,2033,140219,617003673,6093.36,2.54470E+0001,15/02/1934,"
     "21/02/2010,13:27:06,regular\r\n"},
    {"all records, american, blank nulls", "Customers=A", 'A', ';', "\"", 1, "%m-%d-%Y", 2411624,
     0x0E527A256D9849ECULL, 20000,
     "\"Name\";\"Street\";\"Visits\";\"Items\";\"Balance\";\"Turnover\";\"Price\";\"Rate\";\"First_visit\";"
     "\"Since\";\"Call_at\";\"Status\"\r\n"
     "\"Iris Evans\";\"72 Station Road, Derby\";14;2033;140219;617003673;6093.36;2.54470E+0001;02/15/1934;"
     "02-21-2010;13:27:06;regular\r\n"},
    {"deleted records, metric", "Customers=D", 'M', '\t', "", 0, "%Y.%m.%e", 244817, 0x309AF24AEE8C48FFULL,
     2027,
     "Name\tStreet\tVisits\tItems\tBalance\tTurnover\tPrice\tRate\tFirst_visit\tSince\tCall_at\tStatus\r\n"
     "\"Frank Jones\"\t\"223 Victoria Terrace, Hull\"\t36\t1199\t284752\t287878318\t5431.38\t-1.62100E+0001\t"
     "2022/04/13\t1996.09.11\t11:38:39\tnew\r\n"},
};

TEST_F(BenchEquivalence, OutputMatchesTheStraightforwardExport) {
    const bool print = std::getenv("CORVANE_PRINT_DIGESTS") != nullptr;
    for (const DigestCase& c : kCases) {
        SCOPED_TRACE(c.Label);
        TExportResult result;
        const std::string text = Run(c, result);
        if (print) {
            std::printf("%s: size %zu digest 0x%016llXULL records %lld\n", c.Label, text.size(),
                        static_cast<unsigned long long>(Digest(text)),
                        static_cast<long long>(result.RecordsWritten));
            continue;
        }
        EXPECT_EQ(result.RecordsWritten, c.Records);
        EXPECT_EQ(text.substr(0, c.FirstLines.size()), c.FirstLines);
        EXPECT_EQ(text.size(), c.Size);
        EXPECT_EQ(Digest(text), c.Expected);
    }
}

// The threaded scan writes the same bytes: batches that split the reader's blocks anywhere, a batch of a
// single slot, more workers than cores.
TEST_F(BenchEquivalence, ThreadedScanMatchesTheStraightforwardExport) {
    const TScanPlan plans[] = {{2, 2048}, {3, 777}, {4, 1}};
    for (const TScanPlan& plan : plans) {
        for (const DigestCase& c : kCases) {
            SCOPED_TRACE(std::string(c.Label) + ", " + std::to_string(plan.Threads) +
                         " threads, batches of " + std::to_string(plan.BatchSlots));
            TExportResult result;
            const std::string text = Run(c, result, plan);
            EXPECT_EQ(result.RecordsWritten, c.Records);
            EXPECT_EQ(result.SlotsRead, static_cast<std::int64_t>(kRecords));
            EXPECT_EQ(text.size(), c.Size);
            EXPECT_EQ(Digest(text), c.Expected);
        }
    }
}

} // namespace
} // namespace corvane
