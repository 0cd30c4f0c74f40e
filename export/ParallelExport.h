#pragma once
// The record scan of an export, in batches of slots. On one thread the batches are built and written in
// turn. On several, the calling thread reads the batches and writes the finished text in slot order while
// worker threads build it, each with a formatter of its own; the text written is the same either way. The
// memory held is a fixed number of batches, whatever the size of the file.

#include "database/ByteReader.h"
#include "export/DataFile.h"
#include "export/ExportLine.h"
#include "export/FormExport.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace corvane {

// A batch holds at most this many bytes of slots (but always one slot), so that long records do not make the
// batches in flight large.
inline constexpr std::size_t kMaxBatchBytes = std::size_t{256} << 10;
// The text formatted from a batch at one time holds at most this many bytes and one line: a batch whose
// lines are longer is formatted and written in several parts, so that short records with long lines (a
// choice text of kilobytes behind each byte) do not make the text in flight large.
inline constexpr std::size_t kMaxBatchTextBytes = std::size_t{1} << 20;

// How a scan is spread over threads.
struct TScanPlan {
    unsigned Threads = 1;          // worker threads; 0 or 1: everything on the calling thread
    std::size_t BatchSlots = 2048; // slots in a batch (at least 1, and no more than kMaxBatchBytes hold)
    std::size_t BatchTextBytes = kMaxBatchTextBytes; // the ByteLimit of the text a formatter is handed
};

// A form of fewer slots than this is scanned on one thread: starting threads would cost more than it saves.
inline constexpr std::int64_t kParallelScanMinSlots = 50000;
// At most this many worker threads.
inline constexpr unsigned kMaxScanThreads = 4;

// A line longer than this keeps a scan on one thread: every batch in flight may hold one such line.
inline constexpr std::size_t kParallelScanMaxLineBytes = kMaxBatchTextBytes / 4;

// The plan for a scan of slotCount slots whose lines take at most about lineBound bytes: one thread below
// kParallelScanMinSlots or above kParallelScanMaxLineBytes, otherwise one worker per core of the machine, at
// most kMaxScanThreads.
TScanPlan DefaultScanPlan(std::int64_t slotCount, std::size_t lineBound = 0);

// Builds the text of a batch (whole slots side by side), appending it to text (which the caller has
// emptied, and whose ByteLimit and SlotsTaken the caller has set); returns the number of records it took.
// A formatter may stop early once text.Size has reached text.ByteLimit, after one slot at least, and then
// sets text.SlotsTaken to the slots it went through; it is called again with the slots after those.
using TFormatBatch = std::function<std::int64_t(ByteSpan slots, TLineText& text)>;

// Reads the slots of reader in batches of plan.BatchSlots, formats each batch and passes its text to write,
// in slot order (a batch whose formatter stops early in several parts, each at most plan.BatchTextBytes and
// one line when the formatter keeps to its ByteLimit); after each batch written, calls slotsDone with the
// number of slots written so far. With
// more than one thread, makeFormatter is called once per worker (on the calling thread) and each worker uses
// only its own formatter; otherwise it is called once. write and slotsDone always run on the calling thread.
// An exception of a formatter, of write or of the reader stops the workers and is thrown here. Returns the
// sum of what the formatters returned.
std::int64_t ScanInBatches(TSlotReader& reader, std::size_t recordLength, const TScanPlan& plan,
                           const std::function<TFormatBatch()>& makeFormatter,
                           const std::function<void(std::string_view text)>& write,
                           const std::function<void(std::int64_t slotsDone)>& slotsDone);

// ExportForm with the scan plan given (nullopt: DefaultScanPlan of the form's RecordCount), so that tests
// can run the threaded scan on a small form.
TExportResult ExportFormWithPlan(const std::optional<TScanPlan>& plan, const std::string& formEntry,
                                 const std::string& destination, const std::string& extension,
                                 char storedDateOrder, char outputDateOrder, char delimiter,
                                 const std::string& headingQualifier, TDEInfoRec& database,
                                 std::ostream& messages, int numericNull, const TExportHost& host = {});

} // namespace corvane
