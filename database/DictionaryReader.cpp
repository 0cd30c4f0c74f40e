#include "database/ByteReader.h"
#include "database/DEInfoRec.h"
#include "database/PlatformFile.h"
#include "text/TextUtils.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

namespace corvane {

namespace {

// Where the fields of a form record lie, by version code. The header's record length and record count sit at
// the same offsets as a form record's RecordLength and RecordCount.
struct DictionaryLayout {
    std::size_t nameOffset;
    std::size_t nameWidth;
    std::size_t dictValueOffset;
    std::size_t recordLengthOffset;
    std::size_t recordCountOffset;
    std::size_t dataFileOffset;
    std::size_t dataFileWidth;
    std::size_t objectFileOffset; // 0: the layout has no object file
    std::size_t flagsOffset;
    std::size_t recordSize; // bytes the layout covers
    const char* label;      // for messages
};

constexpr DictionaryLayout kLayout4x{.nameOffset = 2,
                                     .nameWidth = 20,
                                     .dictValueOffset = 23,
                                     .recordLengthOffset = 27,
                                     .recordCountOffset = 29,
                                     .dataFileOffset = 39,
                                     .dataFileWidth = 14,
                                     .objectFileOffset = 0,
                                     .flagsOffset = 53,
                                     .recordSize = 55,
                                     .label = "4.x"};
constexpr DictionaryLayout kLayout5x{.nameOffset = 3,
                                     .nameWidth = 21,
                                     .dictValueOffset = 24,
                                     .recordLengthOffset = 28,
                                     .recordCountOffset = 30,
                                     .dataFileOffset = 40,
                                     .dataFileWidth = 12,
                                     .objectFileOffset = 56,
                                     .flagsOffset = 70,
                                     .recordSize = 74,
                                     .label = "5.x"};
constexpr DictionaryLayout kLayout7{.nameOffset = 3,
                                    .nameWidth = 20,
                                    .dictValueOffset = 55,
                                    .recordLengthOffset = 59,
                                    .recordCountOffset = 61,
                                    .dataFileOffset = 69,
                                    .dataFileWidth = 12,
                                    .objectFileOffset = 0,
                                    .flagsOffset = 173,
                                    .recordSize = 177,
                                    .label = "version 7"};

// Offset of the header's record length when the version byte is none of 1, 2, 3, 5 and 7: right after the
// name.
constexpr std::size_t kUnknownHeaderOffset = 22;
constexpr std::size_t kDfWMarkerOffset = 39;
constexpr std::size_t kNameOffset = 3;
constexpr std::size_t kNameWidth = 19;

const DictionaryLayout* LayoutFor(std::uint8_t version) {
    switch (version) {
    case kVersion4x:
        return &kLayout4x;
    case kVersion5x:
    case kVersionDfW:
        return &kLayout5x;
    case kVersionDfW7:
        return &kLayout7;
    default:
        return nullptr;
    }
}

std::string FieldText(ByteSpan record, std::size_t offset, std::size_t width) {
    std::string text(width, '\0');
    const ByteSpan present = ClippedSpan(record, offset, width);
    std::copy(present.begin(), present.end(), text.begin());
    return text;
}

// Data and object file names of the 5.x and version-7 layouts: NULs and blanks out, only the file name of a
// path.
std::string CleanFileName(std::string raw) {
    raw = RemoveChars(raw, std::string_view("\0 ", 2));
    const std::size_t cut = raw.find_last_of("\\:");
    if (cut != std::string::npos) {
        raw.erase(0, cut + 1);
    }
    return raw.substr(0, 12);
}

std::string FirstEight(const std::string& s) {
    return s.substr(0, 8);
}

void FillForm(TFormRec& form, std::uint8_t version, ByteSpan record) {
    const DictionaryLayout* layout = LayoutFor(version);
    if (layout == nullptr) {
        return; // no record layout is known: a form without name or values
    }
    const std::string rawName = FieldText(record, layout->nameOffset, layout->nameWidth);
    if (version == kVersion5x || version == kVersionDfW) {
        form.Name = TrimTrailingBlanks(RemoveChar(rawName, '\0'));
    } else {
        form.Name = TrimTrailingBlanks(rawName);
    }
    form.DictValue = ReadLEOrZero<std::uint32_t>(record, layout->dictValueOffset);
    form.RecordLength = ReadLEOrZero<std::uint16_t>(record, layout->recordLengthOffset);
    form.RecordCount = ReadLEOrZero<std::int32_t>(record, layout->recordCountOffset);
    const std::string rawDataFile = FieldText(record, layout->dataFileOffset, layout->dataFileWidth);
    const bool systemBit = (ReadLEOrZero<std::uint16_t>(record, layout->flagsOffset) & 1U) != 0;
    form.VariantLevel = 0;
    switch (version) {
    case kVersion4x:
        form.DataFile = RemoveChars(rawDataFile, std::string_view("\0 ", 2)).substr(0, 12);
        form.SystemForm = systemBit;
        break;
    case kVersion5x:
        form.DataFile = CleanFileName(rawDataFile);
        form.ObjectFile = CleanFileName(FieldText(record, layout->objectFileOffset, 12));
        form.VariantLevel = FirstEight(form.ObjectFile) != FirstEight(form.DataFile) ? 1 : 0;
        form.SystemForm = systemBit;
        break;
    case kVersionDfW:
        form.DataFile = CleanFileName(rawDataFile);
        form.ObjectFile = CleanFileName(FieldText(record, layout->objectFileOffset, 12));
        // The Application Objects clear this for the forms they name.
        form.SystemForm = true;
        break;
    default: // version 7
        form.DataFile = CleanFileName(rawDataFile);
        form.SystemForm = systemBit;
        break;
    }
}

} // namespace

void TDEInfoRec::ReadDictionary() {
    TReadOnlyFile file(ResolvePath(Directory, DictionaryName));
    ReadDictionaryFrom(file);
    file.Close();
}

void TDEInfoRec::ReadDictionaryFrom(TByteSource& source) {
    std::uint8_t versionByte = 0;
    source.ReadExact(2, &versionByte, 1);
    std::uint8_t version = (versionByte == 1 || versionByte == 2) ? kVersion4x : versionByte;

    std::array<std::uint8_t, kNameWidth> name{};
    source.ReadExact(kNameOffset, name.data(), name.size());
    DatabaseName = TrimTrailingBlanks(BytesToString(name));

    std::size_t headerOffset = kUnknownHeaderOffset;
    if (version == kVersion5x) {
        std::uint8_t marker = 0;
        source.ReadExact(kDfWMarkerOffset, &marker, 1);
        if (marker == ':') {
            version = kVersionDfW;
        }
    }
    const DictionaryLayout* layout = LayoutFor(version);
    if (layout != nullptr) {
        headerOffset = layout->recordLengthOffset;
    }
    Version = version;

    std::array<std::uint8_t, 6> header{};
    source.ReadExact(static_cast<std::int64_t>(headerOffset), header.data(), header.size());
    DictRecordLength = DecodeLE<std::uint16_t>(header.data());
    DictRecordCount = DecodeLE<std::int32_t>(header.data() + 2);
    if (DictRecordCount <= 1) {
        return;
    }
    if (DictRecordLength < 2) {
        // Every record would lie on top of the header: no form can be read from such a file.
        throw ERangeError(source.Name() + ": dictionary record length " + std::to_string(DictRecordLength) +
                          " is too short for " + std::to_string(DictRecordCount) + " records");
    }
    if (layout != nullptr && DictRecordLength < layout->recordSize) {
        // Records shorter than a form entry hold no form: reading them would only give empty forms, millions
        // of them for a large record count.
        throw ERangeError(source.Name() + ": dictionary record length " + std::to_string(DictRecordLength) +
                          " is too short for a form entry of the " + layout->label + " layout (" +
                          std::to_string(layout->recordSize) + " bytes)");
    }

    // Records are read one at a time into a buffer of exactly their length.
    std::vector<std::uint8_t> record(DictRecordLength);
    for (std::int32_t index = 1; index < DictRecordCount; ++index) {
        const std::int64_t start = static_cast<std::int64_t>(DictRecordLength) * index;
        source.ReadExact(start, record.data(), 2);
        if ((DecodeLE<std::uint16_t>(record.data()) & 1U) != 0) {
            continue;
        }
        source.ReadExact(start + 2, record.data() + 2, record.size() - 2);
        auto form = std::make_unique<TFormRec>(this);
        FillForm(*form, Version, ByteSpan(record));
        AddForm(std::move(form));
    }
}

std::string SystemFormStem(std::string_view name) {
    struct Entry {
        std::string_view form;
        std::string_view stem;
    };
    static constexpr std::array<Entry, 10> kSystemForms{{
        {"Configuration", "configur"},
        {"Custom Functions", "cdfsform"},
        {"Menus", "menuform"},
        {"Printers", "printers"},
        {"Relationships", "relation"},
        {"Report Directory", "repoform"},
        {"screen styles", "scrstyle"},
        {"users", "userform"},
        {"Locations", "location"},
        {"Masks", "MaskForm"},
    }};
    for (const Entry& entry : kSystemForms) {
        if (SameNameKey(entry.form, name)) {
            return std::string(entry.stem);
        }
    }
    return {};
}

} // namespace corvane
