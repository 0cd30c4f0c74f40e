#include "export/ParallelExport.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace corvane {

namespace {

// Readies text for a formatter call: empty, with its limit, and no early stop yet.
void ResetText(TLineText& text, std::size_t byteLimit) {
    text.Size = 0;
    text.ByteLimit = byteLimit;
    text.SlotsTaken = TLineText::kAllSlots;
}

// The slots of count that a formatter went through: all of them unless it stopped early after one or more.
std::size_t SlotsTaken(const TLineText& text, std::size_t count) {
    return text.SlotsTaken == 0 || text.SlotsTaken >= count ? count : text.SlotsTaken;
}

std::int64_t ScanOnOneThread(TSlotReader& reader, std::size_t recordLength, const TScanPlan& plan,
                             const TFormatBatch& format, const std::function<void(std::string_view)>& write,
                             const std::function<void(std::int64_t)>& slotsDone) {
    TLineText text;
    std::int64_t taken = 0;
    for (ByteSpan slots = reader.NextSlots(plan.BatchSlots); !slots.empty();
         slots = reader.NextSlots(plan.BatchSlots)) {
        for (;;) {
            ResetText(text, plan.BatchTextBytes);
            taken += format(slots, text);
            write(text.View());
            const std::size_t count = recordLength == 0 ? 0 : slots.size() / recordLength;
            const std::size_t done = SlotsTaken(text, count);
            if (done >= count) {
                break;
            }
            slots = slots.subspan(done * recordLength);
        }
        slotsDone(reader.SlotsRead());
    }
    return taken;
}

// One batch on its way: read by the calling thread, formatted by a worker, written by the calling thread.
struct TBatch {
    std::vector<std::uint8_t> Slots;
    std::size_t SlotCount = 0;
    std::size_t Start = 0; // slots whose text is written; the formatter begins after them
    TLineText Text;
    std::int64_t Taken = 0;
    std::exception_ptr Error;
    bool Formatted = false; // guarded by the scan's mutex
};

// The batches in flight form a ring: batch number n lives in ring[n % size]. The calling thread reads batch
// filled_, workers take batch next_ (below filled_), the calling thread writes batch written_ once it is
// formatted, and only then reads a new batch into its place. A batch whose formatter stopped early goes back
// to the workers (redo_, taken before any other) after its text is written, as often as it takes.
class TParallelScan {
public:
    TParallelScan(TSlotReader& reader, std::size_t recordLength, const TScanPlan& plan)
        : reader_(reader), recordLength_(recordLength), batchSlots_(plan.BatchSlots),
          textBytes_(plan.BatchTextBytes), ring_(2 * static_cast<std::size_t>(plan.Threads) + 2) {
        for (TBatch& batch : ring_) {
            batch.Slots.resize(batchSlots_ * recordLength_);
        }
    }

    ~TParallelScan() { Stop(); }
    TParallelScan(const TParallelScan&) = delete;
    TParallelScan& operator=(const TParallelScan&) = delete;

    std::int64_t Run(unsigned threads, const std::function<TFormatBatch()>& makeFormatter,
                     const std::function<void(std::string_view)>& write,
                     const std::function<void(std::int64_t)>& slotsDone) {
        std::vector<TFormatBatch> formatters;
        for (unsigned i = 0; i < threads; ++i) {
            formatters.push_back(makeFormatter());
        }
        for (TFormatBatch& format : formatters) {
            workers_.emplace_back([this, f = std::move(format)]() { Work(f); });
        }

        std::int64_t taken = 0;
        std::int64_t slotsWritten = 0;
        bool endOfInput = false;
        std::size_t filled = 0; // the calling thread's own copy of filled_
        for (std::size_t written = 0;; ++written) {
            while (!endOfInput && filled - written < ring_.size()) {
                TBatch& batch = ring_[filled % ring_.size()];
                batch.SlotCount = reader_.ReadSlots(batch.Slots.data(), batchSlots_);
                if (batch.SlotCount == 0) {
                    endOfInput = true;
                    break;
                }
                batch.Start = 0;
                batch.Formatted = false;
                batch.Error = nullptr;
                {
                    const std::lock_guard<std::mutex> lock(mutex_);
                    filled_ = ++filled;
                }
                workAvailable_.notify_one();
            }
            if (written == filled) {
                break;
            }
            const std::size_t place = written % ring_.size();
            TBatch& batch = ring_[place];
            for (;;) {
                {
                    std::unique_lock<std::mutex> lock(mutex_);
                    batchFormatted_.wait(lock, [&batch]() { return batch.Formatted; });
                }
                if (batch.Error) {
                    std::rethrow_exception(batch.Error);
                }
                write(batch.Text.View());
                taken += batch.Taken;
                batch.Start += SlotsTaken(batch.Text, batch.SlotCount - batch.Start);
                if (batch.Start >= batch.SlotCount) {
                    break;
                }
                {
                    const std::lock_guard<std::mutex> lock(mutex_);
                    batch.Formatted = false;
                    redo_ = place;
                }
                workAvailable_.notify_one();
            }
            slotsWritten += static_cast<std::int64_t>(batch.SlotCount);
            slotsDone(slotsWritten);
        }
        return taken;
    }

private:
    void Work(const TFormatBatch& format) {
        for (;;) {
            std::size_t place = 0;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                workAvailable_.wait(lock, [this]() { return stopping_ || redo_ || next_ < filled_; });
                if (stopping_) {
                    return;
                }
                if (redo_) {
                    place = *redo_;
                    redo_.reset();
                } else {
                    place = next_++ % ring_.size();
                }
            }
            TBatch& batch = ring_[place];
            ResetText(batch.Text, textBytes_);
            try {
                batch.Taken = format(ByteSpan(batch.Slots.data() + batch.Start * recordLength_,
                                              (batch.SlotCount - batch.Start) * recordLength_),
                                     batch.Text);
            } catch (...) {
                batch.Error = std::current_exception();
            }
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                batch.Formatted = true;
            }
            batchFormatted_.notify_one();
        }
    }

    void Stop() noexcept {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        workAvailable_.notify_all();
        for (std::thread& worker : workers_) {
            worker.join();
        }
        workers_.clear();
    }

    TSlotReader& reader_;
    std::size_t recordLength_;
    std::size_t batchSlots_;
    std::size_t textBytes_;
    std::vector<TBatch> ring_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable workAvailable_;
    std::condition_variable batchFormatted_;
    std::size_t filled_ = 0;          // batches read
    std::size_t next_ = 0;            // batches taken by a worker
    std::optional<std::size_t> redo_; // the place of a batch to format on from its Start
    bool stopping_ = false;
};

} // namespace

TScanPlan DefaultScanPlan(std::int64_t slotCount, std::size_t lineBound) {
    TScanPlan plan;
    if (slotCount >= kParallelScanMinSlots && lineBound <= kParallelScanMaxLineBytes) {
        plan.Threads = std::clamp(std::thread::hardware_concurrency(), 1U, kMaxScanThreads);
    }
    return plan;
}

std::int64_t ScanInBatches(TSlotReader& reader, std::size_t recordLength, const TScanPlan& plan,
                           const std::function<TFormatBatch()>& makeFormatter,
                           const std::function<void(std::string_view)>& write,
                           const std::function<void(std::int64_t)>& slotsDone) {
    const std::size_t fitting =
        recordLength == 0 ? 1 : std::max<std::size_t>(1, kMaxBatchBytes / recordLength);
    const TScanPlan clamped{plan.Threads, std::clamp<std::size_t>(plan.BatchSlots, 1, fitting),
                            std::max<std::size_t>(plan.BatchTextBytes, 1)};
    if (plan.Threads <= 1 || recordLength == 0) {
        return ScanOnOneThread(reader, recordLength, clamped, makeFormatter(), write, slotsDone);
    }
    TParallelScan scan(reader, recordLength, clamped);
    return scan.Run(plan.Threads, makeFormatter, write, slotsDone);
}

} // namespace corvane
