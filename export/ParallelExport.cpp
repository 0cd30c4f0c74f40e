#include "export/ParallelExport.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace corvane {

namespace {

std::int64_t ScanOnOneThread(TSlotReader& reader, std::size_t batchSlots, const TFormatBatch& format,
                             const std::function<void(std::string_view)>& write,
                             const std::function<void(std::int64_t)>& slotsDone) {
    TLineText text;
    std::int64_t taken = 0;
    for (ByteSpan slots = reader.NextSlots(batchSlots); !slots.empty();
         slots = reader.NextSlots(batchSlots)) {
        text.Size = 0;
        taken += format(slots, text);
        write(text.View());
        slotsDone(reader.SlotsRead());
    }
    return taken;
}

// One batch on its way: read by the calling thread, formatted by a worker, written by the calling thread.
struct TBatch {
    std::vector<std::uint8_t> Slots;
    std::size_t SlotCount = 0;
    TLineText Text;
    std::int64_t Taken = 0;
    std::exception_ptr Error;
    bool Formatted = false; // guarded by the scan's mutex
};

// The batches in flight form a ring: batch number n lives in ring[n % size]. The calling thread reads batch
// filled_, workers take batch next_ (below filled_), the calling thread writes batch written_ once it is
// formatted, and only then reads a new batch into its place.
class TParallelScan {
public:
    TParallelScan(TSlotReader& reader, std::size_t recordLength, const TScanPlan& plan)
        : reader_(reader), recordLength_(recordLength), batchSlots_(plan.BatchSlots),
          ring_(2 * static_cast<std::size_t>(plan.Threads) + 2) {
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
            TBatch& batch = ring_[written % ring_.size()];
            {
                std::unique_lock<std::mutex> lock(mutex_);
                batchFormatted_.wait(lock, [&batch]() { return batch.Formatted; });
            }
            if (batch.Error) {
                std::rethrow_exception(batch.Error);
            }
            write(batch.Text.View());
            taken += batch.Taken;
            slotsWritten += static_cast<std::int64_t>(batch.SlotCount);
            slotsDone(slotsWritten);
        }
        return taken;
    }

private:
    void Work(const TFormatBatch& format) {
        for (;;) {
            std::size_t number = 0;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                workAvailable_.wait(lock, [this]() { return stopping_ || next_ < filled_; });
                if (stopping_) {
                    return;
                }
                number = next_++;
            }
            TBatch& batch = ring_[number % ring_.size()];
            batch.Text.Size = 0;
            try {
                batch.Taken =
                    format(ByteSpan(batch.Slots.data(), batch.SlotCount * recordLength_), batch.Text);
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
    std::vector<TBatch> ring_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable workAvailable_;
    std::condition_variable batchFormatted_;
    std::size_t filled_ = 0; // batches read
    std::size_t next_ = 0;   // batches taken by a worker
    bool stopping_ = false;
};

} // namespace

TScanPlan DefaultScanPlan(std::int64_t slotCount) {
    TScanPlan plan;
    if (slotCount >= kParallelScanMinSlots) {
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
    const std::size_t batchSlots = std::clamp<std::size_t>(plan.BatchSlots, 1, fitting);
    if (plan.Threads <= 1 || recordLength == 0) {
        return ScanOnOneThread(reader, batchSlots, makeFormatter(), write, slotsDone);
    }
    TParallelScan scan(reader, recordLength, TScanPlan{plan.Threads, batchSlots});
    return scan.Run(plan.Threads, makeFormatter, write, slotsDone);
}

} // namespace corvane
