// Definition files of both layouts and the readable field constructors.

#include "tools/testwriter/TestWriter.h"

#include <stdexcept>

namespace corvane::testwriter {

FieldDef TextField(std::string name, std::uint8_t size) {
    return {.Name = std::move(name), .Type = 1, .Length = size, .Size = size};
}

FieldDef WholeNumber(std::string name, std::uint8_t size) {
    const std::uint8_t digits = size == 1 ? 3 : size == 2 ? 5 : 10;
    return {.Name = std::move(name),
            .Type = 3,
            .Length = digits,
            .SubType = 0,
            .IntDigits = digits,
            .Size = size};
}

FieldDef FixedPoint(std::string name, std::uint8_t length, std::uint8_t intDigits, std::uint8_t size) {
    return {.Name = std::move(name),
            .Type = 3,
            .Length = length,
            .SubType = 1,
            .IntDigits = intDigits,
            .Size = size};
}

FieldDef FloatNumber(std::string name, std::uint8_t length, std::uint8_t size) {
    return {.Name = std::move(name), .Type = 3, .Length = length, .SubType = 2, .Size = size};
}

FieldDef SixCharDate(std::string name) {
    return {.Name = std::move(name), .Type = 4, .Length = 8, .SubType = 0, .Size = 6};
}

FieldDef DayCountDate(std::string name) {
    return {.Name = std::move(name), .Type = 4, .Length = 8, .SubType = 1, .Size = 4};
}

FieldDef TimeField(std::string name) {
    return {.Name = std::move(name), .Type = 5, .Length = 8, .Size = 6};
}

FieldDef ChoiceField(std::string name, std::vector<std::string> choices, ChoiceEncoding encoding) {
    return {.Name = std::move(name),
            .Type = 8,
            .Length = 1,
            .Choices = std::move(choices),
            .Encoding = encoding,
            .Size = 1};
}

Bytes BuildBlockChain(const std::vector<Bytes>& contents, int lengthWidth) {
    Bytes out;
    for (const Bytes& c : contents) {
        AppendU16(out, static_cast<std::uint16_t>(c.size()));
        if (lengthWidth == 4) {
            AppendU16(out, 0);
        }
        AppendBytes(out, c);
    }
    return out;
}

namespace {

// Where each field's pieces landed while building the name block, text block and text table.
struct FieldPlacement {
    std::uint16_t NameOffset = 0;
    std::uint8_t ChoiceEntry = 0;
    std::uint8_t TextEntry = 0;
};

struct BuiltTables {
    Bytes TextTable;
    Bytes NameBlock;
    Bytes TextBlock;
    std::vector<FieldPlacement> Placements;
};

void AppendChoiceList(Bytes& text, const FieldDef& f) {
    const auto k = f.ChoiceCount.value_or(static_cast<std::uint8_t>(f.Choices.size()));
    switch (f.Encoding) {
    case ChoiceEncoding::YesNo:
        AppendU8(text, f.ChoiceCount.value_or(0));
        return;
    case ChoiceEncoding::Plain:
        AppendU8(text, k);
        break;
    case ChoiceEncoding::ZeroAfterCount:
        AppendU8(text, k);
        AppendU8(text, 0);
        break;
    case ChoiceEncoding::Escaped255:
        AppendU8(text, 255);
        AppendU8(text, f.EscapeFiller);
        AppendU8(text, k);
        break;
    }
    for (const std::string& c : f.Choices) {
        AppendCString(text, c);
    }
}

std::uint8_t AddTextTableEntry(Bytes& table, std::uint16_t a, std::uint16_t b, std::uint16_t c) {
    const std::size_t entry = table.size() / 6;
    if (entry > 255) {
        throw std::invalid_argument("definition needs more than 255 text table entries");
    }
    AppendU16(table, a);
    AppendU16(table, b);
    AppendU16(table, c);
    return static_cast<std::uint8_t>(entry);
}

BuiltTables BuildTables(const std::vector<FieldDef>& fields, const Bytes& countBytes) {
    BuiltTables t;
    t.TextTable.assign(6, 0); // entry 0: no texts
    t.NameBlock = countBytes;
    t.TextBlock.assign(1, 0); // no real offset is 0
    for (const FieldDef& f : fields) {
        FieldPlacement p;
        p.NameOffset = static_cast<std::uint16_t>(t.NameBlock.size());
        AppendCString(t.NameBlock, f.Name);
        if (f.Type == 8) {
            const auto o = static_cast<std::uint16_t>(t.TextBlock.size());
            AppendChoiceList(t.TextBlock, f);
            p.ChoiceEntry = AddTextTableEntry(t.TextTable, 0, 0, o);
        }
        if (f.Texts[0] || f.Texts[1] || f.Texts[2]) {
            std::array<std::uint16_t, 3> o{};
            for (std::size_t j = 0; j < 3; ++j) {
                if (f.Texts[j]) {
                    o[j] = static_cast<std::uint16_t>(t.TextBlock.size());
                    AppendCString(t.TextBlock, *f.Texts[j]);
                }
            }
            p.TextEntry = AddTextTableEntry(t.TextTable, o[0], o[1], o[2]);
        }
        t.Placements.push_back(p);
    }
    return t;
}

struct RecordLayout {
    std::size_t Size, Flags, Offset, TextEntry;
};

Bytes BuildFieldRecord(const FieldDef& f, const FieldPlacement& p, const RecordLayout& layout,
                       std::size_t recordSize) {
    Bytes r(std::max<std::size_t>(recordSize, layout.TextEntry + 1), 0);
    PutU16(r, 0, f.NameOffset.value_or(p.NameOffset));
    PutU8(r, 2, f.Type);
    PutU8(r, 3, f.Length);
    PutU8(r, 4, f.SubType);
    PutU8(r, 5, f.IntDigits);
    PutU8(r, 6, f.ChoiceEntry.value_or(p.ChoiceEntry));
    PutU8(r, layout.Size, f.Size);
    PutU8(r, layout.Flags, f.Flags);
    PutU16(r, layout.Offset, f.Offset);
    PutU8(r, layout.TextEntry, f.TextEntry.value_or(p.TextEntry));
    r.resize(recordSize);
    return r;
}

Bytes BuildFieldBlock(const std::vector<FieldDef>& fields, const BuiltTables& t, const RecordLayout& layout,
                      std::size_t recordSize, const Bytes& extra) {
    Bytes block;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        AppendBytes(block, BuildFieldRecord(fields[i], t.Placements[i], layout, recordSize));
    }
    AppendBytes(block, extra);
    return block;
}

void Truncate(Bytes& file, const std::optional<std::size_t>& to) {
    if (to && *to < file.size()) {
        file.resize(*to);
    }
}

} // namespace

Bytes BuildDefinition4x(const Definition4xSpec& desc) {
    const auto n = desc.FieldCount.value_or(static_cast<std::uint8_t>(desc.Fields.size()));
    const BuiltTables t = BuildTables(desc.Fields, Bytes{n});
    // The 16-byte record keeps the value offset at 9 and the text entry at 11; the 18-byte one at 12 and 14.
    const RecordLayout layout = desc.RecordSize == 16
                                    ? RecordLayout{.Size = 7, .Flags = 8, .Offset = 9, .TextEntry = 11}
                                    : RecordLayout{.Size = 7, .Flags = 8, .Offset = 12, .TextEntry = 14};
    Bytes header{desc.D};
    AppendBytes(header, desc.HeaderExtra);
    std::vector<Bytes> blocks{header};
    if (desc.D > 2) {
        blocks.push_back(desc.SecondHeader);
    }
    blocks.push_back(desc.FieldBlock
                         ? *desc.FieldBlock
                         : BuildFieldBlock(desc.Fields, t, layout, desc.RecordSize, desc.FieldBlockExtra));
    blocks.push_back(desc.TextTable ? *desc.TextTable : t.TextTable);
    blocks.push_back(desc.NameBlock ? *desc.NameBlock : t.NameBlock);
    blocks.push_back(desc.TextBlock ? *desc.TextBlock : t.TextBlock);
    Bytes file = BuildBlockChain(blocks, 2);
    AppendBytes(file, desc.Trailing);
    Truncate(file, desc.TruncateTo);
    return file;
}

Bytes BuildDefinition5x(const Definition5xSpec& desc) {
    const auto n = desc.FieldCount.value_or(static_cast<std::uint8_t>(desc.Fields.size()));
    Bytes countBytes{n};
    if (desc.CountEncoding == FieldCountEncoding::Escaped || n == 255) {
        countBytes = Bytes{255, 0, n};
    }
    const BuiltTables t = BuildTables(desc.Fields, countBytes);
    const RecordLayout layout{.Size = 8, .Flags = 9, .Offset = 13, .TextEntry = 15};
    const int width = desc.Tagged ? 4 : 2;
    const std::size_t chainStart = desc.Tagged ? 22 : 25;

    Bytes file = desc.Prefix;
    if (desc.Prefix.empty() && desc.Tagged) {
        file = ToBytes("DETagged");
    }
    file.resize(chainStart, 0);

    std::vector<Bytes> blocks = desc.LeadingBlocks;
    if (blocks.empty()) {
        blocks.assign(desc.Tagged ? 2 : 1, Bytes(4, 0));
    }
    blocks.push_back(desc.FieldBlock
                         ? *desc.FieldBlock
                         : BuildFieldBlock(desc.Fields, t, layout, desc.RecordSize, desc.FieldBlockExtra));
    blocks.push_back(desc.TextTable ? *desc.TextTable : t.TextTable);
    blocks.push_back(desc.NameBlock ? *desc.NameBlock : t.NameBlock);
    blocks.push_back(desc.TextBlock ? *desc.TextBlock : t.TextBlock);
    for (const Bytes& c : blocks) {
        AppendU16(file, static_cast<std::uint16_t>(c.size()));
        if (width == 4) {
            AppendU16(file, desc.LengthHighHalf);
        }
        AppendBytes(file, c);
    }
    AppendBytes(file, desc.Trailing);
    Truncate(file, desc.TruncateTo);
    return file;
}

} // namespace corvane::testwriter
