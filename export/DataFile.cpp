#include "export/DataFile.h"

#include "database/Errors.h"
#include "database/PlatformFile.h"

#include <algorithm>
#include <cerrno>

namespace corvane {

namespace {

constexpr const char* kConfigurationForm = "Configuration";

// The byte at position of the Configuration data file; throws EInOutError when it is missing or too short.
std::uint8_t ReadConfigurationByte(const TFormRec& form, std::int64_t position) {
    TReadOnlyFile file(DataFilePath(form));
    std::uint8_t b = 0;
    file.ReadExact(position, &b, 1);
    file.Close();
    return b;
}

} // namespace

std::string DataFilePath(const TFormRec& form) {
    RequirePlainFileName(form, "data file", form.DataFile);
    if (form.Database == nullptr) {
        return ResolveExistingPath(form.DataFile);
    }
    return form.Database->ResolvePath(form.Database->GetDirectory(), form.DataFile);
}

std::unique_ptr<TReadOnlyFile> OpenDataFile(const TFormRec& form) {
    const std::string path = DataFilePath(form);
    if (form.DataFile.empty()) {
        return nullptr;
    }
    try {
        return std::make_unique<TReadOnlyFile>(path);
    } catch (const EInOutError& error) {
        // Nothing of that name (ENOTDIR: not even the directory on the way to it).
        if (error.ErrorCode() == kIOFileNotFound || error.ErrorCode() == ENOTDIR) {
            return nullptr;
        }
        throw;
    }
}

char ReadDateOrder(TDEInfoRec& database) {
    const TFormRec* form = database.FindForm(kConfigurationForm);
    if (form == nullptr) {
        return 'B';
    }
    if (database.GetVersion() != kVersion4x) {
        // Only the 4.x layout keeps the order; the file is still opened, so a missing one is reported alike.
        TReadOnlyFile file(DataFilePath(*form));
        file.Close();
        return 'B';
    }
    switch (ReadConfigurationByte(*form, kDateOrderOffset4x)) {
    case 1:
        return 'A';
    case 3:
        return 'M';
    default:
        return 'B';
    }
}

std::uint8_t ReadCenturyCutoff(TDEInfoRec& database) {
    if (database.CenturyCutoff != 0) {
        return database.CenturyCutoff;
    }
    const TFormRec* form = database.FindForm(kConfigurationForm);
    if (form == nullptr) {
        return 0;
    }
    database.CenturyCutoff = ReadConfigurationByte(
        *form, database.GetVersion() == kVersion4x ? kCenturyCutoffOffset4x : kCenturyCutoffOffset);
    return database.CenturyCutoff;
}

TSlotReader::TSlotReader(TByteSource& source, std::uint16_t recordLength, std::int64_t slotCount,
                         std::size_t blockBytes)
    : source_(source), recordLength_(recordLength), slotCount_(slotCount > 0 ? slotCount : 0) {
    if (recordLength_ == 0) {
        slotCount_ = 0;
        return;
    }
    const std::size_t slotsPerBlock = std::max<std::size_t>(1, blockBytes / recordLength_);
    // No larger than the slots the source holds: a small file that claims many records gets a small block.
    const std::int64_t size = source_.Size();
    const std::int64_t held = size > 0 ? size / recordLength_ + 1 : 1;
    const auto wanted = static_cast<std::uint64_t>(std::min(slotCount_, held));
    blockCapacity_ = recordLength_ * static_cast<std::size_t>(std::min<std::uint64_t>(slotsPerBlock, wanted));
}

ByteSpan TSlotReader::Next() {
    return NextSlots(1);
}

ByteSpan TSlotReader::NextSlots(std::size_t maxSlots) {
    if (slotsRead_ >= slotCount_ || endedShort_ || maxSlots == 0) {
        return {};
    }
    if (blockPos_ + recordLength_ > blockFill_) {
        // Load the next block: as many slots as it holds, but never past slotCount.
        if (block_.empty()) {
            block_.resize(blockCapacity_);
        }
        const auto remaining = static_cast<std::uint64_t>(slotCount_ - slotsRead_) * recordLength_;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(block_.size(), remaining));
        const std::size_t got = source_.ReadSome(filePos_, block_.data(), want);
        filePos_ += static_cast<std::int64_t>(got);
        blockFill_ = got;
        blockPos_ = 0;
        if (got < recordLength_) {
            endedShort_ = true;
            return {};
        }
    }
    const std::size_t n = std::min((blockFill_ - blockPos_) / recordLength_, maxSlots);
    const ByteSpan slots(block_.data() + blockPos_, n * recordLength_);
    blockPos_ += n * recordLength_;
    slotsRead_ += static_cast<std::int64_t>(n);
    if (blockPos_ + recordLength_ > blockFill_ && blockFill_ % recordLength_ != 0) {
        // The last read ended inside a slot: the file holds no further whole slot.
        endedShort_ = slotsRead_ < slotCount_;
        blockFill_ = blockPos_;
    }
    return slots;
}

std::size_t TSlotReader::ReadSlots(std::uint8_t* dest, std::size_t maxSlots) {
    if (blockPos_ + recordLength_ <= blockFill_) {
        // Slots of a block loaded by Next come first.
        const ByteSpan slots = NextSlots(maxSlots);
        std::copy(slots.begin(), slots.end(), dest);
        return slots.size() / recordLength_;
    }
    if (slotsRead_ >= slotCount_ || endedShort_ || maxSlots == 0) {
        return 0;
    }
    const auto remaining = static_cast<std::uint64_t>(slotCount_ - slotsRead_);
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(maxSlots, remaining)) * recordLength_;
    const std::size_t got = source_.ReadSome(filePos_, dest, want);
    filePos_ += static_cast<std::int64_t>(got);
    const std::size_t n = got / recordLength_;
    slotsRead_ += static_cast<std::int64_t>(n);
    if (n == 0 || got % recordLength_ != 0) {
        // The source ended, or ended inside a slot: it holds no further whole slot.
        endedShort_ = slotsRead_ < slotCount_;
    }
    return n;
}

bool WarnIfDataFileShort(std::ostream& messages, const TFormRec& form, const TSlotReader& reader) {
    if (!reader.EndedShort() && !(form.RecordLength == 0 && form.RecordCount > 0)) {
        return false;
    }
    messages << "Warning: form " << form.Name << ": the data file holds " << reader.SlotsRead()
             << " whole records of " << form.RecordCount << " in the catalogue; only those were exported."
             << '\n';
    return true;
}

} // namespace corvane
