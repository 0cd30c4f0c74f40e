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

TEST(TSlotReader, ZeroRecordLengthReadsNothing) {
    TBufferSource source(std::vector<std::uint8_t>(20, 0));
    TSlotReader reader(source, 0, 5);
    EXPECT_TRUE(reader.Next().empty());
    EXPECT_EQ(source.ReadCalls(), 0u);
}

} // namespace
} // namespace corvane
