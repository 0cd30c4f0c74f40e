// Data file slots, day counts, the Configuration form's data and the streaming data file writer.

#include "tools/testwriter/TestWriter.h"

#include <algorithm>
#include <bit>
#include <fstream>
#include <stdexcept>

namespace corvane::testwriter {

namespace {

// Days from 1 January 1970 in the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<std::int64_t>(y - era * 400);
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

Date CivilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const auto d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const auto m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const auto y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    return {y, m, d};
}

const std::int64_t kFirstDay = DaysFromCivil(1776, 1, 1);
const std::int64_t kSkippedDay = DaysFromCivil(1776, 12, 31);

} // namespace

std::int32_t DayCount(const Date& date) {
    const std::int64_t day = DaysFromCivil(date.Year, date.Month, date.Day);
    if (day == kSkippedDay) {
        throw std::invalid_argument("31 December 1776 has no stored day count");
    }
    // The stored calendar counts 1 January 1776 as 1 and leaves out 31 December 1776.
    const std::int64_t n = day < kSkippedDay ? day - kFirstDay + 1 : day - kFirstDay;
    return static_cast<std::int32_t>(n);
}

std::int32_t DayCount(int year, int month, int day) {
    return DayCount(Date{year, month, day});
}

Date DateOfDayCount(std::int32_t n) {
    return CivilFromDays(n <= 365 ? kFirstDay + n - 1 : kFirstDay + n);
}

Slot::Slot(std::size_t length) : bytes_(length, 0) {}

Slot& Slot::Live() {
    return Status(0x00);
}
Slot& Slot::Deleted() {
    return Status(0x01);
}
Slot& Slot::Status(std::uint8_t statusByte) {
    return U8(0, statusByte);
}

namespace {

// Little-endian bytes of v at offset, clipped to the slot; no allocation, so the streaming writer stays fast.
template <typename U> void PutClipped(Bytes& slot, std::size_t offset, U v) {
    for (std::size_t i = 0; i < sizeof(U) && offset + i < slot.size(); ++i) {
        slot[offset + i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
    }
}

} // namespace

Slot& Slot::Raw(std::size_t offset, const Bytes& bytes) {
    for (std::size_t i = 0; i < bytes.size() && offset + i < bytes_.size(); ++i) {
        bytes_[offset + i] = bytes[i];
    }
    return *this;
}

Slot& Slot::Text(std::size_t offset, std::string_view s, std::size_t size, char pad) {
    for (std::size_t i = 0; i < size && offset + i < bytes_.size(); ++i) {
        bytes_[offset + i] = static_cast<std::uint8_t>(i < s.size() ? s[i] : pad);
    }
    return *this;
}

Slot& Slot::U8(std::size_t offset, std::uint8_t v) {
    PutClipped(bytes_, offset, v);
    return *this;
}

Slot& Slot::U16(std::size_t offset, std::uint16_t v) {
    PutClipped(bytes_, offset, v);
    return *this;
}

Slot& Slot::I32(std::size_t offset, std::int32_t v) {
    PutClipped(bytes_, offset, static_cast<std::uint32_t>(v));
    return *this;
}

Slot& Slot::Double(std::size_t offset, double v) {
    PutClipped(bytes_, offset, std::bit_cast<std::uint64_t>(v));
    return *this;
}

Slot& Slot::Single(std::size_t offset, float v) {
    PutClipped(bytes_, offset, std::bit_cast<std::uint32_t>(v));
    return *this;
}

Slot& Slot::EmptyNumber(std::size_t offset, std::size_t size) {
    if (size == 0) {
        return *this;
    }
    Bytes b(size, 0);
    b.back() = 0x80;
    return Raw(offset, b);
}

Slot& Slot::Chars(std::size_t offset, std::string_view s) {
    return Raw(offset, ToBytes(s));
}

Slot& Slot::DayCountDate(std::size_t offset, const Date& date) {
    return I32(offset, DayCount(date));
}

Slot& Slot::Choice(std::size_t offset, std::uint8_t index) {
    return U8(offset, index);
}

Bytes BuildDataFile(const std::vector<Slot>& slots) {
    Bytes file;
    for (const Slot& s : slots) {
        AppendBytes(file, s.GetBytes());
    }
    return file;
}

std::uint16_t ConfigurationRecordLength(int versionCode, const ConfigurationSpec& desc) {
    if (desc.RecordLength != 0) {
        return desc.RecordLength;
    }
    return versionCode == 3 ? 160 : 340;
}

Bytes BuildConfigurationData(int versionCode, const ConfigurationSpec& desc) {
    Slot slot(ConfigurationRecordLength(versionCode, desc));
    if (versionCode == 3) {
        slot.U8(128, desc.DateOrder).U8(143, desc.CenturyCutoff);
    } else {
        slot.U8(324, desc.CenturyCutoff);
    }
    return slot.GetBytes();
}

struct DataFileWriter::Impl {
    std::ofstream Out;
    std::vector<char> Buffer;
    std::filesystem::path Path;
};

DataFileWriter::DataFileWriter(const std::filesystem::path& path, std::uint16_t recordLength)
    : impl_(std::make_unique<Impl>()), recordLength_(recordLength) {
    impl_->Path = path;
    impl_->Buffer.resize(std::size_t{1} << 20);
    impl_->Out.rdbuf()->pubsetbuf(impl_->Buffer.data(), static_cast<std::streamsize>(impl_->Buffer.size()));
    impl_->Out.open(path, std::ios::binary | std::ios::trunc);
    if (!impl_->Out) {
        throw std::runtime_error("cannot create " + path.string());
    }
}

DataFileWriter::~DataFileWriter() {
    if (impl_ && impl_->Out.is_open()) {
        impl_->Out.close();
    }
}

Slot DataFileWriter::NewSlot() const {
    return Slot(recordLength_);
}

void DataFileWriter::Write(const Slot& slot) {
    const Bytes& b = slot.GetBytes();
    const std::size_t n = std::min<std::size_t>(b.size(), recordLength_);
    impl_->Out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(n));
    for (std::size_t i = n; i < recordLength_; ++i) {
        impl_->Out.put('\0');
    }
    if (!impl_->Out) {
        throw std::runtime_error("cannot write " + impl_->Path.string());
    }
    ++written_;
}

void DataFileWriter::Close() {
    if (!impl_->Out.is_open()) {
        return;
    }
    impl_->Out.close();
    if (!impl_->Out) {
        throw std::runtime_error("cannot write " + impl_->Path.string());
    }
}

void WriteDataFileStreaming(const std::filesystem::path& path, std::uint16_t recordLength,
                            std::uint64_t count,
                            const std::function<void(std::uint64_t index, Slot& slot)>& fill) {
    DataFileWriter writer(path, recordLength);
    Slot slot(recordLength);
    const Slot blank(recordLength);
    for (std::uint64_t i = 0; i < count; ++i) {
        slot = blank;
        fill(i, slot);
        writer.Write(slot);
    }
    writer.Close();
}

} // namespace corvane::testwriter
