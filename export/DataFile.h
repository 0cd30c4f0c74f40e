#pragma once
// The data file of a form and the two database-wide settings kept in the "Configuration" form.

#include "database/DEInfoRec.h"

#include "database/ByteReader.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace corvane {

// Record selection letters.
inline constexpr char kSelectLive = 'L';
inline constexpr char kSelectDeleted = 'D';
inline constexpr char kSelectAll = 'A';

class TReadOnlyFile;

// The path of a form's data file: Directory + DataFile, resolved without regard to case. Throws EDELibError
// when DataFile is not a plain file name (it holds a separator or NUL, or is "." or "..").
std::string DataFilePath(const TFormRec& form);

// Opens a form's data file for reading. nullptr when there is no such file (a form never filled has none;
// also when the database directory is no directory) or the form names none (an empty DataFile); throws when
// the file exists but cannot be read: EInOutError naming the file (permission, I/O error, a directory, a FIFO
// or device), or the EDELibError of DataFilePath.
std::unique_ptr<TReadOnlyFile> OpenDataFile(const TFormRec& form);

// True when a slot whose first byte is status is taken by selection ('L', 'D', 'A'; any other letter: none).
inline bool SlotSelected(std::uint8_t status, char selection) {
    const bool deleted = (status & 0x01) != 0;
    switch (selection) {
    case kSelectLive:
        return !deleted;
    case kSelectDeleted:
        return deleted;
    case kSelectAll:
        return true;
    default:
        return false;
    }
}

// The stored date order of the database: 'A', 'B' or 'M' (version 3 reads byte 128 of the Configuration data
// file; every other version answers 'B'). Throws EInOutError when that file is missing or too short.
char ReadDateOrder(TDEInfoRec& database);

// The two-digit-year cutoff, cached in CenturyCutoff; 0 without a Configuration form. Throws EInOutError.
std::uint8_t ReadCenturyCutoff(TDEInfoRec& database);

// Settings bytes of the Configuration data file.
inline constexpr std::int64_t kDateOrderOffset4x = 128;
inline constexpr std::int64_t kCenturyCutoffOffset4x = 143;
inline constexpr std::int64_t kCenturyCutoffOffset = 324;

class TByteSource;

// Reads the record slots of a data file in file order, in large blocks: one read per block rather than one
// per slot, and the memory held does not grow with the file. Slot positions are 64-bit.
class TSlotReader {
public:
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

    // Reads at most slotCount slots of recordLength bytes from source (which it does not own).
    TSlotReader(TByteSource& source, std::uint16_t recordLength, std::int64_t slotCount,
                std::size_t blockBytes = kBlockBytes);

    // The next whole slot, or an empty span when slotCount slots have been read or the source holds no
    // further whole slot (a partial slot at the end is never delivered). Throws EInOutError on a read error.
    ByteSpan Next();
    // The next whole slots, at most maxSlots of them, side by side inside the reader's block: fewer when the
    // block ends first, an empty span where Next would give one. Valid until the next call of any reading
    // member.
    ByteSpan NextSlots(std::size_t maxSlots);
    // Copies the next whole slots, at most maxSlots of them, to dest (room for maxSlots slots) and returns
    // how many; 0 where Next would give an empty span. Reads straight into dest once the block is used up, so
    // a caller that keeps the slots saves a copy.
    std::size_t ReadSlots(std::uint8_t* dest, std::size_t maxSlots);

    // Slots delivered so far.
    std::int64_t SlotsRead() const { return slotsRead_; }
    // True when the source ended before slotCount whole slots.
    bool EndedShort() const { return endedShort_; }

private:
    TByteSource& source_;
    std::size_t recordLength_;
    std::int64_t slotCount_;
    std::size_t blockCapacity_ = 0; // bytes of the block, allocated at its first load
    std::vector<std::uint8_t> block_;
    std::size_t blockFill_ = 0;
    std::size_t blockPos_ = 0;
    std::int64_t filePos_ = 0;
    std::int64_t slotsRead_ = 0;
    bool endedShort_ = false;
};

// After a scan of form's data file: when it held fewer whole slots than the catalogue's RecordCount (or the
// record length is 0), writes the warning line to messages and returns true.
bool WarnIfDataFileShort(std::ostream& messages, const TFormRec& form, const TSlotReader& reader);

} // namespace corvane
