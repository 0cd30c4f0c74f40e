#include "database/ByteReader.h"
#include "database/DEInfoRec.h"
#include "database/PlatformFile.h"
#include "platform/Platform.h"
#include "text/TextUtils.h"

#include <ctime>
#include <vector>

namespace corvane {

namespace {

// One entry of the Application Objects form's data file.
constexpr std::size_t kEntrySize = 213;
constexpr std::size_t kStatusOffset = 0;
constexpr std::size_t kKindOffset = 3;
constexpr std::size_t kVariantNameOffset = 5;
constexpr std::size_t kNameWidth = 64;
constexpr std::size_t kObjectFileOffset = 69;
constexpr std::size_t kObjectFileWidth = 14;
constexpr std::size_t kBaseNameOffset = 83;
constexpr std::size_t kObjectTypeOffset = 211;
// Entries are read in blocks of this many, so a large file costs few reads.
constexpr std::size_t kEntriesPerRead = 256;

std::string EntryText(ByteSpan entry, std::size_t offset, std::size_t width) {
    return BytesToString(entry.subspan(offset, width));
}

// Days from 30 December 1899 to the given civil date (proleptic Gregorian).
long DaysFromEpoch(int year, unsigned month, unsigned day) {
    // Days since 1 March of year 0, by the usual era arithmetic.
    const int y = static_cast<int>(month) <= 2 ? year - 1 : year;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned mp = (month + 9) % 12;
    const unsigned doy = (153 * mp + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long daysSince1970 = static_cast<long>(era) * 146097 + static_cast<long>(doe) - 719468;
    return daysSince1970 + 25569; // 1 January 1970 is day 25569 of the 1899 epoch
}

bool IsLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(int year, unsigned month) {
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

} // namespace

TDateTime DosFileDateToDateTime(std::uint32_t packed) {
    const unsigned seconds = (packed & 0x1FU) * 2;
    const unsigned minute = (packed >> 5) & 0x3FU;
    const unsigned hour = (packed >> 11) & 0x1FU;
    const unsigned day = (packed >> 16) & 0x1FU;
    const unsigned month = (packed >> 21) & 0x0FU;
    const int year = 1980 + static_cast<int>((packed >> 25) & 0x7FU);
    // Fields that form no date or time (a file dated before 1980 packs to such values) give "no date".
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
        seconds > 59) {
        return 0;
    }
    const double timeOfDay = (hour * 3600.0 + minute * 60.0 + seconds) / 86400.0;
    return static_cast<double>(DaysFromEpoch(year, month, day)) + timeOfDay;
}

std::uint32_t DateTimeToDosFileDate(std::time_t t) {
    std::tm local{};
    if (!platform::LocalTime(t, local)) {
        return 0;
    }
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 1980 + 127) {
        return 0;
    }
    return (static_cast<std::uint32_t>(year - 1980) << 25) |
           (static_cast<std::uint32_t>(local.tm_mon + 1) << 21) |
           (static_cast<std::uint32_t>(local.tm_mday) << 16) |
           (static_cast<std::uint32_t>(local.tm_hour) << 11) |
           (static_cast<std::uint32_t>(local.tm_min) << 5) | static_cast<std::uint32_t>(local.tm_sec / 2);
}

void TDEInfoRec::ReadApplicationObjects() {
    const TFormRec* objects = FindForm("Application Objects");
    if (objects == nullptr) {
        return;
    }
    RequirePlainFileName(*objects, "data file", objects->DataFile);
    TReadOnlyFile file(ResolvePath(Directory, objects->DataFile));
    ReadApplicationObjectsFrom(file);
    file.Close();
}

void TDEInfoRec::ReadApplicationObjectsFrom(TByteSource& source) {
    const std::int64_t size = source.Size();
    const std::int64_t entries = size / static_cast<std::int64_t>(kEntrySize);
    std::vector<std::uint8_t> block(kEntrySize * kEntriesPerRead);
    for (std::int64_t first = 0; first < entries; first += static_cast<std::int64_t>(kEntriesPerRead)) {
        const std::int64_t count =
            std::min<std::int64_t>(static_cast<std::int64_t>(kEntriesPerRead), entries - first);
        const std::size_t bytes = static_cast<std::size_t>(count) * kEntrySize;
        source.ReadExact(first * static_cast<std::int64_t>(kEntrySize), block.data(), bytes);
        for (std::int64_t i = 0; i < count; ++i) {
            const ByteSpan entry(block.data() + static_cast<std::size_t>(i) * kEntrySize, kEntrySize);
            if ((ReadLE<std::uint16_t>(entry, kStatusOffset) & 1U) != 0 ||
                ReadLE<std::uint16_t>(entry, kObjectTypeOffset) != 1) {
                continue;
            }
            TFormRec* base = FindForm(TrimBlanks(EntryText(entry, kBaseNameOffset, kNameWidth)));
            if (base == nullptr) {
                continue;
            }
            base->SystemForm = false;
            const std::string rawObjectFile = EntryText(entry, kObjectFileOffset, kObjectFileWidth);
            const std::string objectFile = TrimBlanks(rawObjectFile).substr(0, 12);
            if (ReadLE<std::uint16_t>(entry, kKindOffset) == 1) {
                base->ObjectFile = objectFile;
                continue;
            }
            auto variant = std::make_unique<TFormRec>(this);
            variant->Name = TrimBlanks(EntryText(entry, kVariantNameOffset, kNameWidth));
            variant->DictValue = base->DictValue;
            variant->RecordLength = base->RecordLength;
            variant->RecordCount = base->RecordCount;
            variant->DataFile = base->DataFile;
            // The variant's own file, named by the object file field as stored up to its first NUL. A name
            // that would lead out of the database directory is not looked up: the variant has no file date.
            const std::string storedName = rawObjectFile.substr(0, rawObjectFile.find('\0'));
            if (!storedName.empty() && IsPlainFileName(storedName)) {
                if (const auto modified = FileModificationTime(ResolvePath(Directory, storedName))) {
                    variant->FileDate = DosFileDateToDateTime(DateTimeToDosFileDate(*modified));
                }
            }
            variant->SystemForm = false;
            variant->VariantLevel = 1;
            variant->ObjectFile = objectFile;
            AddForm(std::move(variant));
        }
    }
}

} // namespace corvane
