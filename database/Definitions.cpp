// Parsers of the two form definition layouts. Both are chains of blocks (a length field, then that many bytes
// of content): leading header blocks, the field block, the text table (6-byte entries of three u16 offsets
// into the text block), the name block (the field count, then the names) and the text block (texts and choice
// lists). Positions in these files are 16-bit; a stored length or offset that leads past 65535 is a range
// error, and every read goes through the reader's accessors, which give 0 or "" past the end of the data.

#include "database/Definitions.h"

#include "database/Errors.h"

#include <cstdint>
#include <limits>
#include <string>

namespace corvane {

namespace {

constexpr std::size_t kMaxNameLength = 20;
constexpr std::uint8_t kChoiceFieldType = kFieldChoice;
constexpr std::int64_t kMaxPosition = std::numeric_limits<std::uint16_t>::max();
constexpr std::int32_t kTextEntrySize = 6;

// A position computed from stored values, checked against the 16-bit limit of the layout.
std::int32_t CheckedPosition(std::int64_t position, const char* what, const std::string& fileName) {
    if (position > kMaxPosition) {
        throw ERangeError(fileName + ": " + what + " position " + std::to_string(position) +
                          " exceeds 65535");
    }
    return static_cast<std::int32_t>(position);
}

// Removes the fields appended after construction unless Commit is called: a read that fails part way leaves
// the form's list as it was, never a silent partial list.
class FieldListRollback {
public:
    explicit FieldListRollback(TFormRec& form) : form_(form) {
        for (TFieldRec* f = form.Fields.get(); f; f = f->Next.get()) {
            tail_ = f;
        }
    }
    FieldListRollback(const FieldListRollback&) = delete;
    FieldListRollback& operator=(const FieldListRollback&) = delete;
    ~FieldListRollback() {
        if (committed_) {
            return;
        }
        if (tail_) {
            tail_->Next.reset();
        } else {
            form_.Fields.reset();
        }
    }
    void Commit() { committed_ = true; }

private:
    TFormRec& form_;
    TFieldRec* tail_ = nullptr;
    bool committed_ = false;
};

void SetFlags(TFieldRec& field, std::uint8_t flags) {
    field.Flag0 = (flags & 0x01) != 0;
    field.Flag1 = (flags & 0x02) != 0;
    field.Flag3 = (flags & 0x08) != 0;
    field.Flag7 = (flags & 0x80) != 0;
}

void AppendLines(std::vector<std::string>& list, const std::string& text) {
    for (std::string& line : SplitLines(text)) {
        list.push_back(std::move(line));
    }
}

std::string CutName(std::string name) {
    if (name.size() > kMaxNameLength) {
        name.resize(kMaxNameLength);
    }
    return name;
}

// Where each item lies in a 4.x field record; the two known record sizes differ in the last two.
struct Layout4x {
    std::int32_t RecordSize;
    std::int32_t ValueOffset;
    std::int32_t TextEntry;
};
constexpr Layout4x kLayouts4x[] = {
    {.RecordSize = 16, .ValueOffset = 9, .TextEntry = 11},
    {.RecordSize = 18, .ValueOffset = 12, .TextEntry = 14},
};
constexpr std::int32_t kRecName = 0;
constexpr std::int32_t kRecType = 2;
constexpr std::int32_t kRecLength = 3;
constexpr std::int32_t kRecSubType = 4;
constexpr std::int32_t kRecIntDigits = 5;
constexpr std::int32_t kRecChoiceEntry = 6;

// The 5.x / DfW field record.
constexpr std::int32_t kRec5xSize = 8;
constexpr std::int32_t kRec5xFlags = 9;
constexpr std::int32_t kRec5xValueOffset = 13;
constexpr std::int32_t kRec5xTextEntry = 15;

// The 4.x field record keeps size and flags right after the choice entry.
constexpr std::int32_t kRec4xSize = 7;
constexpr std::int32_t kRec4xFlags = 8;

} // namespace

void ParseFields4x(TLargeMemoryFile& file, TFormRec& form) {
    const std::string& fileName = file.FileName();
    constexpr std::int32_t kLengthWidth = 2;
    auto nextBlock = [&](std::int32_t start) {
        return CheckedPosition(static_cast<std::int64_t>(start) + kLengthWidth + file.WordAt(start), "block",
                               fileName);
    };

    const std::uint8_t formatByte = file.ByteAt(2);
    form.DefinitionVersion = formatByte;

    std::int32_t fieldBlock = nextBlock(0);
    if (formatByte > 2) {
        fieldBlock = nextBlock(fieldBlock);
    }
    const std::int32_t textTable = nextBlock(fieldBlock);
    const std::int32_t nameBlock = nextBlock(textTable);
    const std::int32_t textBlock = nextBlock(nameBlock);
    const std::int32_t fieldContent = fieldBlock + kLengthWidth;
    const std::int32_t tableContent = textTable + kLengthWidth;
    const std::int32_t nameContent = nameBlock + kLengthWidth;
    const std::int32_t textContent = textBlock + kLengthWidth;

    const std::uint16_t fieldBlockLength = file.WordAt(fieldBlock);
    const std::uint8_t count = file.ByteAt(nameContent);
    if (fieldBlockLength == 0 || count == 0) {
        return;
    }
    const std::int32_t recordSize = fieldBlockLength / count;
    if (recordSize > std::numeric_limits<std::uint8_t>::max()) {
        throw ERangeError(fileName + ": field record size " + std::to_string(recordSize) + " exceeds 255");
    }
    const Layout4x* layout = nullptr;
    for (const Layout4x& candidate : kLayouts4x) {
        if (candidate.RecordSize == recordSize) {
            layout = &candidate;
        }
    }
    if (!layout) {
        return;
    }
    const std::int32_t textEntries = file.WordAt(textTable) / kTextEntrySize;

    FieldListRollback rollback(form);
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t record = fieldContent + recordSize * i;
        auto field = std::make_unique<TFieldRec>();
        field->Name = CutName(file.TextAt(nameContent + file.WordAt(record + kRecName)));
        field->FieldType = file.ByteAt(record + kRecType);
        field->Length = file.ByteAt(record + kRecLength);
        field->SubType = file.ByteAt(record + kRecSubType);
        field->IntDigits = file.ByteAt(record + kRecIntDigits);

        if (field->FieldType == kChoiceFieldType) {
            const std::int32_t entry =
                CheckedPosition(static_cast<std::int64_t>(tableContent) +
                                    kTextEntrySize * file.ByteAt(record + kRecChoiceEntry),
                                "text table entry", fileName);
            const std::int32_t third = CheckedPosition(entry + 4, "text table entry", fileName);
            const std::int32_t list = CheckedPosition(
                static_cast<std::int64_t>(textContent) + file.WordAt(third), "choice list", fileName);
            const std::uint8_t choices = file.ByteAt(list);
            // At most 255 texts inside the 16-bit range; the next position is computed only when another text
            // is to be read, so a list that ends exactly at the limit still reads.
            std::int64_t next = static_cast<std::int64_t>(list) + 1;
            for (std::uint8_t k = 0; k < choices; ++k) {
                std::string text = file.TextAt(CheckedPosition(next, "choice list", fileName));
                next += static_cast<std::int64_t>(text.size()) + 1;
                field->Choices.push_back(std::move(text));
            }
        }

        field->Size = file.ByteAt(record + kRec4xSize);
        SetFlags(*field, file.ByteAt(record + kRec4xFlags));
        field->Offset = file.WordAt(record + layout->ValueOffset);

        const std::uint8_t textEntry = file.ByteAt(record + layout->TextEntry);
        if (textEntry > 0 && textEntry < textEntries) {
            const std::int32_t entry =
                CheckedPosition(static_cast<std::int64_t>(tableContent) + kTextEntrySize * textEntry,
                                "text table entry", fileName);
            for (std::int32_t j = 0; j < 3; ++j) {
                const std::uint16_t offset =
                    file.WordAt(CheckedPosition(entry + 2 * j, "text table entry", fileName));
                if (offset != 0) {
                    AppendLines(field->Texts[static_cast<std::size_t>(j)], file.TextAt(textContent + offset));
                }
            }
        }
        form.AppendField(std::move(field));
    }
    rollback.Commit();
}

void ParseFields5x(const TMemoryFile& file, TFormRec& form) {
    const std::string& fileName = file.FileName();
    auto pos = [&](std::int64_t position, const char* what) {
        return static_cast<std::uint16_t>(CheckedPosition(position, what, fileName));
    };

    const bool tagged = file.TextAt(0).substr(0, 8) == "DETagged";
    form.DefinitionVersion = 5;
    // Only the low word of a 4-byte length is used.
    const std::int32_t lengthWidth = tagged ? 4 : 2;
    auto nextBlock = [&](std::uint16_t start) {
        return pos(static_cast<std::int64_t>(start) + lengthWidth + file.WordAt(start), "block");
    };

    std::uint16_t block = tagged ? 22 : 25;
    block = nextBlock(block);
    if (tagged) {
        block = nextBlock(block);
    }
    const std::uint16_t fieldBlock = block;
    const std::uint16_t textTable = nextBlock(fieldBlock);
    const std::uint16_t nameBlock = nextBlock(textTable);
    const std::uint16_t textBlock = nextBlock(nameBlock);
    const std::uint16_t fieldContent = pos(fieldBlock + lengthWidth, "field block");
    const std::uint16_t tableContent = pos(textTable + lengthWidth, "text table");
    const std::uint16_t nameContent = pos(nameBlock + lengthWidth, "name block");
    const std::uint16_t textContent = pos(textBlock + lengthWidth, "text block");

    // A count byte of 255 followed by 0 escapes to the byte after them.
    std::uint8_t count = file.ByteAt(nameContent);
    if (count == 255 && file.ByteAt(pos(nameContent + 1, "name block")) == 0) {
        count = file.ByteAt(pos(nameContent + 2, "name block"));
    }
    if (count == 0) {
        return;
    }
    const std::int32_t recordSize = file.WordAt(fieldBlock) / count;

    FieldListRollback rollback(form);
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint16_t record =
            pos(static_cast<std::int64_t>(fieldContent) + recordSize * i, "field record");
        auto at = [&](std::int32_t item) { return pos(record + item, "field record"); };
        auto field = std::make_unique<TFieldRec>();
        field->Name = CutName(file.TextAt(pos(nameContent + file.WordAt(at(kRecName)), "field name")));
        field->FieldType = file.ByteAt(at(kRecType));
        field->Length = file.ByteAt(at(kRecLength));
        field->SubType = file.ByteAt(at(kRecSubType));
        field->IntDigits = file.ByteAt(at(kRecIntDigits));

        if (field->FieldType == kChoiceFieldType) {
            const std::uint16_t entry =
                pos(tableContent + kTextEntrySize * file.ByteAt(at(kRecChoiceEntry)), "text table entry");
            std::uint16_t list =
                pos(textContent + file.WordAt(pos(entry + 4, "text table entry")), "choice list");
            std::uint8_t choices = file.ByteAt(list);
            if (choices == 255) {
                list = pos(list + 2, "choice list");
                choices = file.ByteAt(list);
            }
            if (choices == 0) {
                field->Choices.emplace_back("no");
                field->Choices.emplace_back("yes");
            } else {
                std::uint16_t text = pos(list + 1, "choice list");
                if (file.ByteAt(text) == 0) {
                    text = pos(text + 1, "choice list");
                }
                // At most 255 texts; the next position is computed only when another text is to be read.
                for (std::uint8_t k = 0; k < choices; ++k) {
                    std::string choice = file.TextAt(text);
                    if (k + 1 < choices) {
                        text = pos(static_cast<std::int64_t>(text) + choice.size() + 1, "choice list");
                    }
                    field->Choices.push_back(std::move(choice));
                }
            }
        }

        field->Size = file.ByteAt(at(kRec5xSize));
        SetFlags(*field, file.ByteAt(at(kRec5xFlags)));
        field->Offset = file.WordAt(at(kRec5xValueOffset));

        // Unlike the 4.x layout, the text entry is not compared with the number of entries in the table.
        const std::uint8_t textEntry = file.ByteAt(at(kRec5xTextEntry));
        if (textEntry > 0) {
            const std::uint16_t entry = pos(tableContent + kTextEntrySize * textEntry, "text table entry");
            for (std::int32_t j = 0; j < 3; ++j) {
                const std::uint16_t offset = file.WordAt(pos(entry + 2 * j, "text table entry"));
                if (offset != 0) {
                    AppendLines(field->Texts[static_cast<std::size_t>(j)],
                                file.TextAt(pos(textContent + offset, "text")));
                }
            }
        }
        form.AppendField(std::move(field));
    }
    rollback.Commit();
}

} // namespace corvane
