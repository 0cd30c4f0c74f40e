// The whole-file reader and the windowed reader of definition files.

#include "database/Errors.h"
#include "database/MemoryFile.h"
#include "database/PlatformFile.h"
#include "tools/testwriter/TestWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string_view>
#include <utility>

namespace corvane {
namespace {

namespace tw = testwriter;
using tw::Bytes;

// A recognisable byte at every position (zeros included, every 256th byte).
std::uint8_t PatternByte(std::int64_t position) {
    return static_cast<std::uint8_t>((position * 7 + 3) & 0xFF);
}

Bytes PatternBytes(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = PatternByte(static_cast<std::int64_t>(i));
    }
    return bytes;
}

// Serves bytes from memory and records every read; it can claim a size larger than the bytes it holds.
class RecordingSource final : public TByteSource {
public:
    explicit RecordingSource(Bytes bytes, std::int64_t claimedSize = -1)
        : bytes_(std::move(bytes)),
          size_(claimedSize < 0 ? static_cast<std::int64_t>(bytes_.size()) : claimedSize) {}
    std::int64_t Size() const override { return size_; }
    std::size_t ReadSome(std::int64_t pos, void* buf, std::size_t count) override {
        reads_->push_back({pos, count});
        if (pos >= static_cast<std::int64_t>(bytes_.size())) {
            return 0;
        }
        const std::size_t n = std::min(count, bytes_.size() - static_cast<std::size_t>(pos));
        std::memcpy(buf, bytes_.data() + pos, n);
        return n;
    }
    const std::string& Name() const override { return name_; }
    // Shared with the test, which keeps it after the reader takes the source.
    std::shared_ptr<std::vector<std::pair<std::int64_t, std::size_t>>> Reads() const { return reads_; }

private:
    Bytes bytes_;
    std::int64_t size_;
    std::string name_ = "recorded.dba";
    std::shared_ptr<std::vector<std::pair<std::int64_t, std::size_t>>> reads_ =
        std::make_shared<std::vector<std::pair<std::int64_t, std::size_t>>>();
};

using ReadLog = std::vector<std::pair<std::int64_t, std::size_t>>;

struct Windowed {
    std::unique_ptr<TLargeMemoryFile> file;
    std::shared_ptr<ReadLog> reads;
};

Windowed MakeWindowed(Bytes bytes, std::int64_t claimedSize = -1) {
    auto source = std::make_unique<RecordingSource>(std::move(bytes), claimedSize);
    auto reads = source->Reads();
    return {std::make_unique<TLargeMemoryFile>(std::move(source)), reads};
}

// ------------------------------------------------------------------------------------------------------------
// TMemoryFile

TEST(MemoryFile, ReadsAWholeFileFromDisk) {
    tw::TempDir dir;
    Bytes bytes = tw::ToBytes("DETagged");
    tw::AppendU8(bytes, 0);
    tw::AppendU16(bytes, 0x1234);
    tw::AppendCString(bytes, "Name");
    tw::WriteFile(dir / "form.tdf", bytes);

    const TMemoryFile file((dir / "form.tdf").string());
    EXPECT_EQ(file.Size(), bytes.size());
    EXPECT_EQ(file.FileName(), (dir / "form.tdf").string());
    EXPECT_EQ(file.TextAt(0), "DETagged");
    EXPECT_EQ(file.TextAt(3), "agged");
    EXPECT_EQ(file.ByteAt(8), 0);
    EXPECT_EQ(file.WordAt(9), 0x1234);
    EXPECT_EQ(file.ByteAt(9), 0x34);
    EXPECT_EQ(file.TextAt(11), "Name");
}

TEST(MemoryFile, EmptyFileHasNoDataAndEveryAccessorGivesNothing) {
    tw::TempDir dir;
    tw::WriteFile(dir / "empty.tdf", Bytes{});
    const TMemoryFile file((dir / "empty.tdf").string());
    EXPECT_EQ(file.Size(), 0);
    for (const std::uint16_t position : {std::uint16_t{0}, std::uint16_t{1}, std::uint16_t{65535}}) {
        EXPECT_EQ(file.TextAt(position), "");
        EXPECT_EQ(file.ByteAt(position), 0);
        EXPECT_EQ(file.WordAt(position), 0);
    }
}

TEST(MemoryFile, LargestFileLoadsWhole) {
    tw::TempDir dir;
    tw::WriteFile(dir / "big.tdf", PatternBytes(65535));
    const TMemoryFile file((dir / "big.tdf").string());
    EXPECT_EQ(file.Size(), 65535);
    EXPECT_EQ(file.ByteAt(65534), PatternByte(65534));
    EXPECT_EQ(file.ByteAt(32768), PatternByte(32768));
    // The last byte has no high byte after it: it reads as zero.
    EXPECT_EQ(file.WordAt(65534), PatternByte(65534));
    EXPECT_EQ(file.WordAt(65533), PatternByte(65533) | (PatternByte(65534) << 8));
}

TEST(MemoryFile, FileOfMoreThan65535BytesIsARangeError) {
    tw::TempDir dir;
    const std::string path = (dir / "huge.tdf").string();
    tw::WriteFile(path, PatternBytes(65536));
    try {
        const TMemoryFile file(path);
        FAIL() << "a 65536-byte file was accepted";
    } catch (const ERangeError& e) {
        EXPECT_EQ(std::string(e.what()), path + ": file of 65536 bytes is larger than 65535 bytes");
    }
    EXPECT_THROW(TMemoryFile(PatternBytes(65536), "memory.tdf"), ERangeError);
}

TEST(MemoryFile, MissingFileIsFileNotFound) {
    tw::TempDir dir;
    const std::string path = (dir / "absent.tdf").string();
    try {
        const TMemoryFile file(path);
        FAIL() << "a missing file was opened";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), kIOFileNotFound);
        EXPECT_STREQ(e.what(), "File not found");
    }
}

TEST(MemoryFile, AccessorsAtAndAroundTheEndOfTheData) {
    // "AB", a zero, then "CD" reaching the end of the data without a zero byte.
    const TMemoryFile file(tw::ToBytes(std::string_view("AB\0CD", 5)), "t.tdf");
    ASSERT_EQ(file.Size(), 5);
    EXPECT_EQ(file.TextAt(0), "AB");
    EXPECT_EQ(file.TextAt(2), "");
    EXPECT_EQ(file.TextAt(3), "CD"); // ends with the data
    EXPECT_EQ(file.TextAt(4), "D");
    EXPECT_EQ(file.TextAt(5), "");  // at Size
    EXPECT_EQ(file.ByteAt(4), 'D'); // the last byte
    EXPECT_EQ(file.ByteAt(5), 0);
    EXPECT_EQ(file.WordAt(0), 'A' | ('B' << 8));
    EXPECT_EQ(file.WordAt(4), 'D'); // high byte past the data reads as 0
    EXPECT_EQ(file.WordAt(5), 0);
    EXPECT_EQ(file.WordAt(65535), 0);
}

// ------------------------------------------------------------------------------------------------------------
// TLargeMemoryFile

TEST(LargeMemoryFile, ConstructionReadsNothing) {
    Windowed w = MakeWindowed(PatternBytes(1000));
    EXPECT_EQ(w.file->FileSize(), 1000);
    EXPECT_EQ(w.file->Window(), -1);
    EXPECT_EQ(w.file->LoadCount(), 0u);
    EXPECT_TRUE(w.reads->empty());
}

TEST(LargeMemoryFile, PositionsInOneWindowReadTheFileOnce) {
    Windowed w = MakeWindowed(PatternBytes(40000));
    for (const std::int32_t position : {100, 200, 31000}) {
        EXPECT_EQ(w.file->ByteAt(position), PatternByte(position)) << position;
    }
    EXPECT_EQ(*w.reads, (ReadLog{{0, 35000}}));
    EXPECT_EQ(w.file->LoadCount(), 1u);
    EXPECT_EQ(w.file->Window(), 0);
}

TEST(LargeMemoryFile, EachPositionBelongsToTheWindowOfItsStep) {
    Windowed w = MakeWindowed(PatternBytes(70000));
    // 33000 lies in window 0's overlap too, but belongs to window 1; going back reloads window 0.
    const struct {
        std::int32_t position;
        std::int32_t window;
    } steps[] = {{31999, 0}, {33000, 1}, {31999, 0}, {64000, 2}, {69999, 2}};
    for (const auto& step : steps) {
        EXPECT_EQ(w.file->ByteAt(step.position), PatternByte(step.position)) << step.position;
        EXPECT_EQ(w.file->Window(), step.window) << step.position;
    }
    // The last window holds only the 6000 bytes the file has from 64000 on.
    EXPECT_EQ(*w.reads, (ReadLog{{0, 35000}, {32000, 35000}, {0, 35000}, {64000, 6000}}));
    EXPECT_EQ(w.file->LoadCount(), 4u);
}

TEST(LargeMemoryFile, ValuesThatBeginInTheOverlapAreReadWholeFromTheSameWindow) {
    Bytes bytes = PatternBytes(70000);
    tw::PutText(bytes, 31990, "Straddling name", 16); // 15 characters and a zero, across 32000
    Windowed w = MakeWindowed(bytes);
    EXPECT_EQ(w.file->TextAt(31990), "Straddling name");
    EXPECT_EQ(w.file->WordAt(31999), 'g' | (' ' << 8)); // "Straddlin|g |name"
    EXPECT_EQ(w.file->WordAt(31989), PatternByte(31989) | ('S' << 8));
    EXPECT_EQ(w.file->ByteAt(30000), PatternByte(30000));
    EXPECT_EQ(*w.reads, (ReadLog{{0, 35000}}));
}

TEST(LargeMemoryFile, FileOfExactlyOneStepReadsNothingAtItsEnd) {
    Windowed w = MakeWindowed(PatternBytes(32000));
    EXPECT_EQ(w.file->ByteAt(31999), PatternByte(31999));
    EXPECT_EQ(w.file->ByteAt(32000), 0);
    EXPECT_EQ(w.file->Window(), 1); // the window changes although nothing is read
    EXPECT_EQ(w.file->TextAt(32000), "");
    EXPECT_EQ(w.file->WordAt(32000), 0);
    EXPECT_EQ(*w.reads, (ReadLog{{0, 32000}}));
}

TEST(LargeMemoryFile, PositionsPastTheEndGiveNothingButChangeTheWindow) {
    Windowed w = MakeWindowed(PatternBytes(1000));
    EXPECT_EQ(w.file->ByteAt(50000), 0);
    EXPECT_EQ(w.file->Window(), 1);
    EXPECT_EQ(w.file->WordAt(1000), 0);
    EXPECT_EQ(w.file->Window(), 0);
    EXPECT_EQ(w.file->TextAt(std::numeric_limits<std::int32_t>::max()), "");
    EXPECT_EQ(w.file->ByteAt(-5), 0);
    EXPECT_EQ(*w.reads, (ReadLog{{0, 1000}}));
}

TEST(LargeMemoryFile, NothingReachesPastTheDataHeld) {
    // The file ends without a zero byte; the last window is short.
    Bytes bytes(40001, 'x');
    Windowed w = MakeWindowed(bytes);
    EXPECT_EQ(w.file->TextAt(39990), std::string(11, 'x'));
    EXPECT_EQ(w.file->WordAt(40000), 'x'); // no high byte in the data
    EXPECT_EQ(w.file->WordAt(39999), 'x' | ('x' << 8));
    // A text that begins in window 0 ends with that window's 35000 bytes at the latest.
    EXPECT_EQ(w.file->TextAt(31000).size(), 4000u);
}

TEST(LargeMemoryFile, ShortReadIsReadBeyondEndOfFile) {
    // The source claims 50000 bytes but delivers 20000.
    Windowed w = MakeWindowed(PatternBytes(20000), 50000);
    try {
        w.file->ByteAt(10);
        FAIL() << "a short read was accepted";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), kIOReadBeyondEnd);
        EXPECT_STREQ(e.what(), "Read beyond end of file");
    }
    EXPECT_EQ(w.file->Window(), 0); // already names the window whose load failed
}

TEST(LargeMemoryFile, OpensFilesReadOnlyAndReportsAMissingOne) {
    tw::TempDir dir;
    const std::string path = (dir / "form.DBA").string();
    tw::WriteFile(path, PatternBytes(33000));
    TLargeMemoryFile file(path);
    EXPECT_EQ(file.FileName(), path);
    EXPECT_EQ(file.FileSize(), 33000);
    EXPECT_EQ(file.ByteAt(32999), PatternByte(32999));
    EXPECT_EQ(file.ByteAt(5), PatternByte(5));

    try {
        TLargeMemoryFile missing((dir / "absent.DBA").string());
        FAIL() << "a missing file was opened";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), kIOFileNotFound);
        EXPECT_STREQ(e.what(), "File not found");
    }
}

} // namespace
} // namespace corvane
