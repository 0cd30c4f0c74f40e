#include "database/MemoryFile.h"

#include "database/ByteReader.h"
#include "database/Errors.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace corvane {

namespace {

constexpr std::size_t kMaxMemoryFileSize = std::numeric_limits<std::uint16_t>::max();

void CheckMemoryFileSize(std::int64_t size, const std::string& fileName) {
    if (size < 0 || static_cast<std::uint64_t>(size) > kMaxMemoryFileSize) {
        throw ERangeError(fileName + ": file of " + std::to_string(size) +
                          " bytes is larger than 65535 bytes");
    }
}

// The run of bytes from offset up to the first zero byte or the end of bytes, whichever comes first.
std::string TextIn(ByteSpan bytes, std::size_t offset) {
    const ByteSpan rest = ClippedSpan(bytes, offset, bytes.size());
    const auto end = std::find(rest.begin(), rest.end(), std::uint8_t{0});
    return BytesToString(rest.first(static_cast<std::size_t>(end - rest.begin())));
}

} // namespace

TMemoryFile::TMemoryFile(const std::string& fileName) : fileName_(fileName) {
    TReadOnlyFile file(fileName);
    const std::int64_t size = file.Size();
    CheckMemoryFileSize(size, fileName);
    data_.resize(static_cast<std::size_t>(size));
    if (!data_.empty()) {
        file.ReadExact(0, data_.data(), data_.size());
    }
    file.Close();
}

TMemoryFile::TMemoryFile(std::vector<std::uint8_t> bytes, std::string fileName)
    : fileName_(std::move(fileName)) {
    CheckMemoryFileSize(static_cast<std::int64_t>(bytes.size()), fileName_);
    data_ = std::move(bytes);
}

std::string TMemoryFile::TextAt(std::uint16_t position) const {
    return TextIn(data_, position);
}

std::uint8_t TMemoryFile::ByteAt(std::uint16_t position) const {
    return ReadLEOrZero<std::uint8_t>(data_, position);
}

// A word at the last byte has no high byte in the data: it reads as 0.
std::uint16_t TMemoryFile::WordAt(std::uint16_t position) const {
    return ReadLEOrZero<std::uint16_t>(data_, position);
}

TLargeMemoryFile::TLargeMemoryFile(const std::string& fileName)
    : TLargeMemoryFile(std::make_unique<TReadOnlyFile>(fileName)) {}

TLargeMemoryFile::TLargeMemoryFile(std::unique_ptr<TByteSource> source)
    : fileName_(source ? source->Name() : std::string()), source_(std::move(source)) {
    if (!source_) {
        throw std::invalid_argument("TLargeMemoryFile needs a byte source");
    }
    const std::int64_t size = source_->Size();
    if (size < 0 || size > std::numeric_limits<std::int32_t>::max()) {
        throw ERangeError(fileName_ + ": file of " + std::to_string(size) +
                          " bytes is too large to read by window");
    }
    fileSize_ = static_cast<std::int32_t>(size);
    buffer_.assign(static_cast<std::size_t>(WindowSize), 0);
}

// A destructor cannot report a failed close: a read-only file loses nothing when its close fails, so the
// file's own destructor closes it quietly.
TLargeMemoryFile::~TLargeMemoryFile() = default;

std::int32_t TLargeMemoryFile::ValidBytes() const {
    if (window_ < 0) {
        return 0;
    }
    const std::int64_t start = static_cast<std::int64_t>(window_) * WindowStep;
    if (start >= fileSize_) {
        return 0;
    }
    return static_cast<std::int32_t>(std::min<std::int64_t>(fileSize_ - start, WindowSize));
}

void TLargeMemoryFile::LoadWindow(std::int32_t position) {
    const std::int32_t w = position / WindowStep;
    if (w == window_) {
        return;
    }
    // The new window is current before the read, so a failed read leaves a reader that is not to be used
    // again.
    window_ = w;
    const std::int32_t count = ValidBytes();
    if (count > 0) {
        ++loads_;
        source_->ReadExact(static_cast<std::int64_t>(w) * WindowStep, buffer_.data(),
                           static_cast<std::size_t>(count));
    }
}

// Positions are never negative; a negative one is treated like one past the end of the file.
std::string TLargeMemoryFile::TextAt(std::int32_t position) {
    if (position < 0) {
        return {};
    }
    LoadWindow(position);
    if (position >= fileSize_) {
        return {};
    }
    // A text that starts in the overlap is read from this window; it ends at the window's last byte at the
    // latest.
    const ByteSpan held(buffer_.data(), static_cast<std::size_t>(ValidBytes()));
    return TextIn(held, static_cast<std::size_t>(position % WindowStep));
}

std::uint8_t TLargeMemoryFile::ByteAt(std::int32_t position) {
    if (position < 0) {
        return 0;
    }
    LoadWindow(position);
    if (position >= fileSize_) {
        return 0;
    }
    const ByteSpan held(buffer_.data(), static_cast<std::size_t>(ValidBytes()));
    return ReadLEOrZero<std::uint8_t>(held, static_cast<std::size_t>(position % WindowStep));
}

std::uint16_t TLargeMemoryFile::WordAt(std::int32_t position) {
    if (position < 0) {
        return 0;
    }
    LoadWindow(position);
    if (position >= fileSize_) {
        return 0;
    }
    // A word at the file's last byte has no high byte in the data: it reads as 0.
    const ByteSpan held(buffer_.data(), static_cast<std::size_t>(ValidBytes()));
    return ReadLEOrZero<std::uint16_t>(held, static_cast<std::size_t>(position % WindowStep));
}

} // namespace corvane
