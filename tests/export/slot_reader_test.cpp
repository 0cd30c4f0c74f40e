#include "database/ByteReader.h"
#include "database/PlatformFile.h"
#include "export/DataFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace corvane {
namespace {

// A very large data file that is never materialised: each slot begins with its own index (8 bytes), taken
// from the position asked for, so a position cut to 32 bits shows up as a wrong index.
class TIndexedSlots final : public TByteSource {
public:
    TIndexedSlots(std::uint16_t recordLength, std::int64_t slots)
        : recordLength_(recordLength), slots_(slots) {}
    std::int64_t Size() const override { return slots_ * recordLength_; }
    std::size_t ReadSome(std::int64_t pos, void* buf, std::size_t count) override {
        ++calls;
        maxPosition = std::max(maxPosition, pos);
        const std::int64_t end = std::min<std::int64_t>(Size(), pos + static_cast<std::int64_t>(count));
        if (pos >= end) {
            return 0;
        }
        auto* out = static_cast<std::uint8_t*>(buf);
        EXPECT_EQ(pos % recordLength_, 0);
        for (std::int64_t p = pos; p + 8 <= end; p += recordLength_) {
            const auto index = static_cast<std::uint64_t>(p / recordLength_);
            for (int i = 0; i < 8; ++i) {
                out[p - pos + i] = static_cast<std::uint8_t>(index >> (8 * i));
            }
        }
        return static_cast<std::size_t>(end - pos);
    }
    const std::string& Name() const override { return name_; }

    std::size_t calls = 0;
    std::int64_t maxPosition = 0;

private:
    std::uint16_t recordLength_;
    std::int64_t slots_;
    std::string name_ = "big.dbm";
};

// Sound behaviour: slot positions are 64-bit, so a data file beyond 2 GiB (and 4 GiB) reads whole.
TEST(TSlotReader, ReadsSlotsBeyondFourGiB) {
    const std::uint16_t length = 60000;
    const std::int64_t slots = 80000; // 4.8 GB
    TIndexedSlots source(length, slots);
    TSlotReader reader(source, length, slots);
    std::int64_t expected = 0;
    for (ByteSpan slot = reader.Next(); !slot.empty(); slot = reader.Next()) {
        ASSERT_EQ(slot.size(), length);
        ASSERT_EQ(DecodeLE<std::uint64_t>(slot.data()), static_cast<std::uint64_t>(expected));
        ++expected;
    }
    EXPECT_EQ(expected, slots);
    EXPECT_EQ(reader.SlotsRead(), slots);
    EXPECT_FALSE(reader.EndedShort());
    EXPECT_GT(source.maxPosition, std::int64_t{1} << 32);
}

std::vector<std::uint8_t> NumberedSlots(std::size_t length, std::size_t count) {
    std::vector<std::uint8_t> bytes(length * count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i * length] = static_cast<std::uint8_t>(i);
    }
    return bytes;
}

TEST(TSlotReader, ReadsInLargeBlocksNotOnceASlot) {
    TBufferSource source(NumberedSlots(10, 1000));
    TSlotReader reader(source, 10, 1000);
    int n = 0;
    for (ByteSpan slot = reader.Next(); !slot.empty(); slot = reader.Next()) {
        EXPECT_EQ(slot[0], static_cast<std::uint8_t>(n));
        ++n;
    }
    EXPECT_EQ(n, 1000);
    EXPECT_EQ(source.ReadCalls(), 1u);
}

TEST(TSlotReader, SlotsSpanningSeveralBlocksArriveInOrder) {
    TBufferSource source(NumberedSlots(7, 100));
    TSlotReader reader(source, 7, 100, 30); // four slots a block
    int n = 0;
    for (ByteSpan slot = reader.Next(); !slot.empty(); slot = reader.Next()) {
        EXPECT_EQ(slot[0], static_cast<std::uint8_t>(n));
        ++n;
    }
    EXPECT_EQ(n, 100);
    EXPECT_EQ(source.ReadCalls(), 25u);
}

TEST(TSlotReader, StopsAtTheCatalogueCountOrTheLastWholeSlot) {
    const struct {
        std::size_t FileBytes;
        std::int64_t Count;
        std::size_t Block;
        std::int64_t Delivered;
        bool Short;
    } cases[] = {
        {50, 3, 1 << 20, 3, false},                            // more in the file than the catalogue counts
        {50, 5, 1 << 20, 5, false}, {55, 7, 1 << 20, 5, true}, // a partial sixth slot is never delivered
        {55, 7, 20, 5, true},       {50, 7, 20, 5, true},        {0, 2, 1 << 20, 0, true},
        {50, 0, 1 << 20, 0, false}, {50, -1, 1 << 20, 0, false},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> bytes(c.FileBytes, 0);
        TBufferSource source(bytes);
        TSlotReader reader(source, 10, c.Count, c.Block);
        std::int64_t n = 0;
        while (!reader.Next().empty()) {
            ++n;
        }
        EXPECT_EQ(n, c.Delivered) << c.FileBytes << " bytes, count " << c.Count << ", block " << c.Block;
        EXPECT_EQ(reader.EndedShort(), c.Short) << c.FileBytes << " bytes, count " << c.Count;
        EXPECT_TRUE(reader.Next().empty());
    }
}

// NextSlots and ReadSlots deliver the slots Next would, in order, in runs of at most the count asked for, and
// stop where it stops; ReadSlots first hands out what a block loaded by Next still holds.
TEST(TSlotReader, BatchReadsDeliverTheSlotsNextWould) {
    const struct {
        std::size_t FileBytes;
        std::int64_t Count;
        std::size_t Block;
        std::size_t Batch;
        std::int64_t Delivered;
        bool Short;
    } cases[] = {
        {1000, 100, 1 << 20, 7, 100, false}, {1000, 60, 1 << 20, 7, 60, false},
        {1000, 100, 30, 7, 100, false},      {995, 100, 1 << 20, 7, 99, true},
        {995, 100, 40, 1, 99, true},         {990, 100, 1 << 20, 9, 99, true},
        {0, 5, 1 << 20, 3, 0, true},         {1000, 0, 1 << 20, 3, 0, false},
    };
    for (const auto& c : cases) {
        for (const bool copying : {false, true}) {
            SCOPED_TRACE(std::to_string(c.FileBytes) + " bytes, count " + std::to_string(c.Count) +
                         ", block " + std::to_string(c.Block) + ", batch " + std::to_string(c.Batch) +
                         (copying ? ", ReadSlots" : ", NextSlots"));
            std::vector<std::uint8_t> bytes = NumberedSlots(10, 100);
            bytes.resize(c.FileBytes);
            TBufferSource source(bytes);
            TSlotReader reader(source, 10, c.Count, c.Block);
            std::int64_t n = 0;
            if (copying && c.Count > 2 && c.FileBytes >= 20) {
                // Two slots through Next leave the rest of a block for ReadSlots.
                EXPECT_EQ(reader.Next()[0], 0);
                EXPECT_EQ(reader.Next()[0], 1);
                n = 2;
            }
            std::vector<std::uint8_t> dest(c.Batch * 10);
            for (;;) {
                std::size_t got = 0;
                if (copying) {
                    got = reader.ReadSlots(dest.data(), c.Batch);
                } else {
                    const ByteSpan slots = reader.NextSlots(c.Batch);
                    ASSERT_EQ(slots.size() % 10, 0u);
                    got = slots.size() / 10;
                    std::copy(slots.begin(), slots.end(), dest.begin());
                }
                if (got == 0) {
                    break;
                }
                ASSERT_LE(got, c.Batch);
                for (std::size_t i = 0; i < got; ++i) {
                    ASSERT_EQ(dest[i * 10], static_cast<std::uint8_t>(n)) << "slot " << n;
                    ++n;
                }
            }
            EXPECT_EQ(n, c.Delivered);
            EXPECT_EQ(reader.SlotsRead(), c.Delivered);
            EXPECT_EQ(reader.EndedShort(), c.Short);
            EXPECT_TRUE(reader.Next().empty());
        }
    }
}

TEST(TSlotReader, ZeroRecordLengthReadsNothing) {
    TBufferSource source(std::vector<std::uint8_t>(20, 0));
    TSlotReader reader(source, 0, 5);
    EXPECT_TRUE(reader.Next().empty());
    EXPECT_EQ(source.ReadCalls(), 0u);
}

} // namespace
} // namespace corvane
