// Dictionary files and Application Objects files.

#include "tools/testwriter/TestWriter.h"

#include <algorithm>

namespace corvane::testwriter {

DictLayout LayoutOfVersionByte(std::uint8_t versionByte) {
    switch (versionByte) {
    case 1:
    case 2:
    case 3:
        return DictLayout::V4x;
    case 5:
        return DictLayout::V5x;
    case 7:
        return DictLayout::V7;
    default:
        return DictLayout::Other;
    }
}

std::uint16_t LayoutRecordSize(DictLayout layout) {
    switch (layout) {
    case DictLayout::V4x:
        return 55;
    case DictLayout::V7:
        return 177;
    case DictLayout::V5x:
    case DictLayout::Other:
        break;
    }
    return 74;
}

DictRecordOffsets RecordOffsets(DictLayout layout) {
    switch (layout) {
    case DictLayout::V4x:
        return {.Name = 2,
                .NameWidth = 20,
                .DictValue = 23,
                .RecordLength = 27,
                .RecordCount = 29,
                .DataFile = 39,
                .DataFileWidth = 14,
                .ObjectFile = std::nullopt,
                .Flags = 53};
    case DictLayout::V7:
        return {.Name = 3,
                .NameWidth = 20,
                .DictValue = 55,
                .RecordLength = 59,
                .RecordCount = 61,
                .DataFile = 69,
                .DataFileWidth = 12,
                .ObjectFile = std::nullopt,
                .Flags = 173};
    case DictLayout::V5x:
    case DictLayout::Other:
        break;
    }
    return {.Name = 3,
            .NameWidth = 21,
            .DictValue = 24,
            .RecordLength = 28,
            .RecordCount = 30,
            .DataFile = 40,
            .DataFileWidth = 12,
            .ObjectFile = 56,
            .Flags = 70};
}

std::pair<std::size_t, std::size_t> HeaderValueOffsets(DictLayout layout) {
    if (layout == DictLayout::Other) {
        return {22, 24};
    }
    const DictRecordOffsets o = RecordOffsets(layout);
    return {o.RecordLength, o.RecordCount};
}

namespace {

Bytes BuildFormRecord(DictLayout layout, const DictFormRecord& form) {
    if (form.Raw) {
        return *form.Raw;
    }
    const DictRecordOffsets o = RecordOffsets(layout);
    Bytes record(LayoutRecordSize(layout), 0);
    PutU16(record, 0, form.Status);
    PutText(record, o.Name, form.Name, o.NameWidth, form.NamePad);
    PutU32(record, o.DictValue, form.DictValue);
    PutU16(record, o.RecordLength, form.RecordLength);
    PutI32(record, o.RecordCount, form.RecordCount);
    PutText(record, o.DataFile, form.DataFile, o.DataFileWidth, form.DataFilePad);
    if (o.ObjectFile) {
        PutText(record, *o.ObjectFile, form.ObjectFile, 12, form.DataFilePad);
    }
    PutU16(record, o.Flags, form.Flags);
    return record;
}

} // namespace

Bytes BuildDictionary(const DictionarySpec& desc) {
    const DictLayout layout = LayoutOfVersionByte(desc.VersionByte);
    const std::uint16_t length = desc.RecordLength.value_or(LayoutRecordSize(layout));
    const std::int32_t count = desc.RecordCount.value_or(static_cast<std::int32_t>(desc.Forms.size() + 1));
    const auto [lengthAt, countAt] = HeaderValueOffsets(layout);

    Bytes file(std::size_t{length} * (desc.Forms.size() + 1), 0);
    for (std::size_t i = 0; i < desc.Forms.size(); ++i) {
        Bytes record = BuildFormRecord(layout, desc.Forms[i]);
        record.resize(length, 0);
        PutBytes(file, std::size_t{length} * (i + 1), record);
    }
    // The header last: with a very short record length its items overlap record 1 and must still be readable.
    PutU8(file, 2, desc.VersionByte);
    PutText(file, 3, desc.DatabaseName, 19, desc.NamePad);
    if (desc.DfWMarker) {
        PutU8(file, 39, ':');
    }
    PutU16(file, lengthAt, length);
    PutI32(file, countAt, count);
    if (desc.TruncateTo && *desc.TruncateTo < file.size()) {
        file.resize(*desc.TruncateTo);
    }
    return file;
}

Bytes BuildApplicationObjects(const AppObjectsSpec& desc) {
    Bytes file;
    for (const AppObjectEntry& e : desc.Entries) {
        Bytes record(kAppObjectRecordSize, 0);
        PutU16(record, 0, e.Status);
        PutU16(record, 3, e.EntryKind);
        PutText(record, 5, e.VariantName, 64, e.Pad);
        PutText(record, 69, e.ObjectFile, 14, e.Pad);
        PutText(record, 83, e.BaseForm, 64, e.Pad);
        PutU16(record, 211, e.ObjectType);
        AppendBytes(file, record);
    }
    AppendBytes(file, desc.TrailingBytes);
    return file;
}

} // namespace corvane::testwriter
