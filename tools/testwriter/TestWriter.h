#pragma once
// The test-support writer: builds DataEase files (dictionaries, Application Objects, definition files of both
// layouts, data files, whole databases) from a readable description, so a test states its fixture in a few
// lines.
//
// Every description is a plain struct with a default for each member; use designated initializers:
//
//     namespace tw = corvane::testwriter;
//     tw::TempDir dir;
//     tw::WriteDatabase(dir.Path(), {
//         .Version = 5,
//         .Name = "Sales",
//         .Forms = {{
//             .Name = "Customers",
//             .Fields = {tw::TextField("Name", 20), tw::WholeNumber("Count", 2), tw::DayCountDate("Since")},
//             .Records = {{.Values = {{"Name", "Smith"}, {"Count", 3}, {"Since", tw::Date{1997, 3, 15}}}},
//                         {.Deleted = true, .Values = {{"Name", "Gone"}}}},
//         }},
//     });
//
// Nothing here checks that a description makes sense: hostile and inconsistent files are the point. Low-level
// builders (Build*) return the bytes; Write* put them in files. Writers throw std::runtime_error on I/O
// failure and std::invalid_argument for a description they cannot express (an unknown field name in a record,
// a date that has no day count).

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace corvane::testwriter {

using Bytes = std::vector<std::uint8_t>;

// ---------------------------------------------------------------------------------------------------------------
// Byte helpers. Put* write little-endian values at an offset, growing the buffer with zero bytes when needed;
// Append* add them at the end.

Bytes ToBytes(std::string_view s);
std::string ToString(const Bytes& b);

void PutU8(Bytes& b, std::size_t offset, std::uint8_t v);
void PutU16(Bytes& b, std::size_t offset, std::uint16_t v);
void PutU32(Bytes& b, std::size_t offset, std::uint32_t v);
void PutI32(Bytes& b, std::size_t offset, std::int32_t v);
void PutDouble(Bytes& b, std::size_t offset, double v); // IEEE-754, 8 bytes
void PutSingle(Bytes& b, std::size_t offset, float v);  // IEEE-754, 4 bytes
void PutBytes(Bytes& b, std::size_t offset, const Bytes& v);
// Writes exactly width bytes: s cut to width, or padded with pad.
void PutText(Bytes& b, std::size_t offset, std::string_view s, std::size_t width, char pad = '\0');

void AppendU8(Bytes& b, std::uint8_t v);
void AppendU16(Bytes& b, std::uint16_t v);
void AppendU32(Bytes& b, std::uint32_t v);
void AppendBytes(Bytes& b, const Bytes& v);
void AppendText(Bytes& b, std::string_view s);    // the characters, no terminator
void AppendCString(Bytes& b, std::string_view s); // the characters and one zero byte

// ---------------------------------------------------------------------------------------------------------------
// Files.

void WriteFile(const std::filesystem::path& path, const Bytes& bytes);
void WriteFile(const std::filesystem::path& path, std::string_view bytes);
// Throws std::runtime_error when the file cannot be read.
Bytes ReadFileBytes(const std::filesystem::path& path);
std::string ReadFileText(const std::filesystem::path& path);

// A fresh, uniquely named directory under the system's temporary directory, removed with its contents when
// the object is destroyed.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    // Path() as a string with a trailing "/", the way TDEInfoRec::SetDirectory takes a directory.
    std::string Dir() const;
    std::filesystem::path operator/(std::string_view name) const { return path_ / std::string(name); }

private:
    std::filesystem::path path_;
};

// ---------------------------------------------------------------------------------------------------------------
// Dictionary (rdrr?aaa.dbm).
//
// The record layout follows the version byte: 1, 2 or 3 the 4.x layout (55 bytes), 5 the 5.x/DfW layout (74),
// 7 the version-7 layout (177); any other byte writes the header values at 22/24 and the records in the 5.x
// layout.

enum class DictLayout { V4x, V5x, V7, Other };
DictLayout LayoutOfVersionByte(std::uint8_t versionByte);
// 55, 74 or 177 (74 for Other).
std::uint16_t LayoutRecordSize(DictLayout layout);

// Offsets of the items of a form record, per layout (the self-checks compare these with the byte tables).
struct DictRecordOffsets {
    std::size_t Name{}, NameWidth{}, DictValue{}, RecordLength{}, RecordCount{}, DataFile{}, DataFileWidth{};
    std::optional<std::size_t> ObjectFile{}; // 12 bytes wide; 5.x layout only
    std::size_t Flags{};
};
DictRecordOffsets RecordOffsets(DictLayout layout);
// Offsets of the header's record length (u16) and record count (i32).
std::pair<std::size_t, std::size_t> HeaderValueOffsets(DictLayout layout);

struct DictFormRecord {
    std::uint16_t Status = 0; // bit 0 set = deleted
    std::string Name{};       // raw bytes of the name field (20 or 21 bytes), NULs and blanks allowed
    char NamePad = ' ';       // fills the rest of the name field
    std::uint32_t DictValue = 0;
    std::uint16_t RecordLength = 0;
    std::int32_t RecordCount = 0;
    std::string DataFile{}; // raw bytes of the data file field (14 bytes for 4.x, 12 otherwise)
    char DataFilePad = '\0';
    std::string ObjectFile{};   // raw bytes of the object file field (5.x layout only, 12 bytes)
    std::uint16_t Flags = 0;    // bit 0 set = system form
    std::optional<Bytes> Raw{}; // when set, the record's bytes exactly (cut or zero-padded to the length)
};

struct DictionarySpec {
    std::uint8_t VersionByte = 2;
    bool DfWMarker = false;     // writes ":" at offset 39 (with version byte 5: DfW, code 6)
    std::string DatabaseName{}; // raw bytes of the 19-byte name field
    char NamePad = ' ';
    std::optional<std::uint16_t>
        RecordLength{};                        // default: the layout's record size; may be smaller or larger
    std::optional<std::int32_t> RecordCount{}; // default: Forms.size() + 1 (record 0 is the header)
    std::vector<DictFormRecord> Forms{};       // records 1, 2, ... in order
    std::optional<std::size_t> TruncateTo{};   // cut the file to this many bytes
};

// Record i lies at RecordLength * i. The header is written last, so with a record length shorter than the
// header's own items those items win over the bytes of record 1.
Bytes BuildDictionary(const DictionarySpec& desc);

// ---------------------------------------------------------------------------------------------------------------
// Application Objects data file: 213-byte records.

inline constexpr std::size_t kAppObjectRecordSize = 213;

struct AppObjectEntry {
    std::uint16_t Status = 0;     // bit 0 set = deleted
    std::uint16_t EntryKind = 1;  // 1 = object file of the base form; anything else = a variant form
    std::string VariantName{};    // 64 bytes at 5
    std::string ObjectFile{};     // 14 bytes at 69
    std::string BaseForm{};       // 64 bytes at 83
    std::uint16_t ObjectType = 1; // only type 1 is read
    char Pad = '\0';              // fills the text fields
};

struct AppObjectsSpec {
    std::vector<AppObjectEntry> Entries{};
    Bytes TrailingBytes{}; // appended after the last whole record
};

Bytes BuildApplicationObjects(const AppObjectsSpec& desc);

// ---------------------------------------------------------------------------------------------------------------
// Field definitions, shared by both definition layouts.

enum class ChoiceEncoding {
    Plain,          // k, then k zero-terminated texts (the only form of the 4.x layout)
    ZeroAfterCount, // k, a 0 byte, then the texts (5.x)
    Escaped255,     // 255, EscapeFiller, k, then the texts (5.x)
    YesNo,          // count 0, no texts: the 5.x reader supplies "no" and "yes" (Choices ignored)
};

struct FieldDef {
    std::string Name{};
    std::uint8_t Type = 1; // 1, 2 text; 3 number; 4 date; 5 time; 8 choice; anything else
    std::uint8_t Length = 0;
    std::uint8_t SubType = 0;
    std::uint8_t IntDigits = 0;
    std::vector<std::string> Choices{}; // type 8: the stored choice texts, in order
    ChoiceEncoding Encoding = ChoiceEncoding::Plain;
    std::uint8_t EscapeFiller = 0; // the byte after 255 in Escaped255
    std::uint8_t Size = 0;         // bytes of the value; 0 in a database description: the type's usual size
    std::uint8_t Flags = 0;        // bit 0 Flag0, 1 Flag1, 3 Flag3 (export first), 7 Flag7 (left out)
    std::uint16_t Offset = 0;      // 0 in a database description: placed after the previous field
    // The three texts (lines separated by CR, 13); nullopt writes offset 0 (no text).
    std::array<std::optional<std::string>, 3> Texts{};

    // Raw overrides for hostile definitions.
    std::optional<std::uint16_t> NameOffset{}; // instead of the real offset into the name block
    std::optional<std::uint8_t> ChoiceEntry{}; // instead of the text table entry of the choice list
    std::optional<std::uint8_t> TextEntry{};   // instead of the text table entry of the texts (0 = none)
    std::optional<std::uint8_t> ChoiceCount{}; // the count byte written instead of Choices.size()
};

// Readable constructors for the usual fields (override anything afterwards).
FieldDef TextField(std::string name, std::uint8_t size);   // type 1, Length = Size = size
FieldDef WholeNumber(std::string name, std::uint8_t size); // type 3, subtype 0; size 1, 2, 4 or 8
FieldDef FixedPoint(std::string name, std::uint8_t length, std::uint8_t intDigits,
                    std::uint8_t size = 8);                                         // type 3, subtype 1
FieldDef FloatNumber(std::string name, std::uint8_t length, std::uint8_t size = 8); // type 3, subtype 2
FieldDef SixCharDate(std::string name);  // type 4, subtype 0, size 6
FieldDef DayCountDate(std::string name); // type 4, subtype 1, size 4
FieldDef TimeField(std::string name);    // type 5, size 6
FieldDef ChoiceField(std::string name, std::vector<std::string> choices,
                     ChoiceEncoding encoding = ChoiceEncoding::Plain); // type 8, size 1

// ---------------------------------------------------------------------------------------------------------------
// 4.x definition file (.DBA / .DBF / .dbs): a chain of blocks, each a u16 length and its content.
//
// The text table's entry 0 is all zeros; each field with texts gets an entry of its own, each choice field
// another (its third offset locating the list). The text block's content byte 0 is a zero byte, so no real
// offset is 0.

struct Definition4xSpec {
    std::uint8_t D = 2;          // format byte, first content byte of the header
    Bytes HeaderExtra{};         // header content after D
    Bytes SecondHeader{};        // content of the second header (written only when D > 2)
    std::size_t RecordSize = 18; // 16 or 18; any other size writes the 18-byte layout cut or zero-padded
    std::vector<FieldDef> Fields{};
    Bytes FieldBlockExtra{};                  // appended to the field block content
    std::optional<std::uint8_t> FieldCount{}; // the name block's count byte instead of Fields.size()
    // Raw block contents replacing the generated ones.
    std::optional<Bytes> FieldBlock{}, TextTable{}, NameBlock{}, TextBlock{};
    Bytes Trailing{}; // appended after the text block
    std::optional<std::size_t> TruncateTo{};
};

Bytes BuildDefinition4x(const Definition4xSpec& desc);

// ---------------------------------------------------------------------------------------------------------------
// 5.x / DfW definition file (.tdf / .tde / .tds / .dbs). Tagged: "DETagged", length fields of 4 bytes, chain
// at 22, two leading blocks skipped. Untagged: length fields of 2 bytes, chain at 25, one leading block
// skipped.

enum class FieldCountEncoding {
    Auto,    // n as one byte; n = 255 as 255, 0, 255
    Escaped, // always 255, 0, n
};

struct Definition5xSpec {
    bool Tagged = true;
    Bytes Prefix{}; // bytes 0 .. chain start: default "DETagged" + zeros, or 25 zero bytes;
                    // when given, cut or zero-padded to the chain start
    std::vector<Bytes> LeadingBlocks{}; // default: two (tagged) or one (untagged) blocks of 4 zero bytes
    std::uint16_t LengthHighHalf = 0;   // tagged: written into the unused upper half of every length field
    std::size_t RecordSize = 16;        // 16 or more; a smaller size cuts the records
    std::vector<FieldDef> Fields{};
    Bytes FieldBlockExtra{};
    FieldCountEncoding CountEncoding = FieldCountEncoding::Auto;
    std::optional<std::uint8_t> FieldCount{};
    std::optional<Bytes> FieldBlock{}, TextTable{}, NameBlock{}, TextBlock{};
    Bytes Trailing{};
    std::optional<std::size_t> TruncateTo{};
};

Bytes BuildDefinition5x(const Definition5xSpec& desc);

// A chain of blocks with length fields of lengthWidth (2 or 4) bytes.
Bytes BuildBlockChain(const std::vector<Bytes>& contents, int lengthWidth);

// ---------------------------------------------------------------------------------------------------------------
// Data files: fixed-length slots, no header. Writes clip to the slot: bytes beyond its end are dropped.

// A calendar date. In a six-character date field it is written as two-digit pieces in the stored date order.
struct Date {
    int Year = 0;
    int Month = 0;
    int Day = 0;
    friend bool operator==(const Date&, const Date&) = default;
};

// The stored day count of a date: 1 is 1 January 1776, 365 is 30 December 1776, 366 is 1 January 1777 (the
// stored calendar skips 31 December 1776, which throws std::invalid_argument). Dates before 1776 give counts
// of 0 or less.
std::int32_t DayCount(const Date& date);
std::int32_t DayCount(int year, int month, int day);
// The inverse: the date a day count stands for (n = 0 gives the date before 1 January 1776 too).
Date DateOfDayCount(std::int32_t n);

class Slot {
public:
    explicit Slot(std::size_t length);
    Slot& Live();                          // status byte 0x00
    Slot& Deleted();                       // status byte 0x01
    Slot& Status(std::uint8_t statusByte); // e.g. 0x03 (deleted), 0x02 (live)
    Slot& Text(std::size_t offset, std::string_view s, std::size_t size, char pad = '\0');
    Slot& U8(std::size_t offset, std::uint8_t v);
    Slot& U16(std::size_t offset, std::uint16_t v);
    Slot& I32(std::size_t offset, std::int32_t v);
    Slot& Double(std::size_t offset, double v);
    Slot& Single(std::size_t offset, float v);
    Slot& EmptyNumber(std::size_t offset, std::size_t size);  // zeros, last byte 0x80
    Slot& Chars(std::size_t offset, std::string_view s);      // six-character dates and times, raw bytes
    Slot& DayCountDate(std::size_t offset, const Date& date); // 4-byte day count
    Slot& Choice(std::size_t offset, std::uint8_t index);
    Slot& Raw(std::size_t offset, const Bytes& bytes);
    const Bytes& GetBytes() const { return bytes_; }
    std::size_t Length() const { return bytes_.size(); }

private:
    Bytes bytes_;
};

// The slots one after the other.
Bytes BuildDataFile(const std::vector<Slot>& slots);

// The "Configuration" form's data file: one slot holding the stored date order (1 American, 2 British, 3
// Metric; 4.x only, byte 128) and the century cutoff (byte 143 for 4.x, 324 otherwise).
struct ConfigurationSpec {
    std::uint8_t DateOrder = 2;
    std::uint8_t CenturyCutoff = 0;
    std::uint16_t RecordLength = 0; // 0: 160 for 4.x, 340 otherwise
};
std::uint16_t ConfigurationRecordLength(int versionCode, const ConfigurationSpec& desc);
Bytes BuildConfigurationData(int versionCode, const ConfigurationSpec& desc);

// ---------------------------------------------------------------------------------------------------------------
// Whole databases.

struct Empty {};  // an empty value: empty number (0x80 form), day count 0, blank six characters...
struct RawValue { // bytes placed at the field's offset as they are
    Bytes Data{};
};

// One value of a record, converted by the field's type when the slot is built:
//  text     a string (cut or NUL-padded to Size)
//  number   an integer or a double, stored by Size and SubType; Empty gives the empty-number form
//  date     Date (day count, or six characters in the stored date order); a string of raw characters;
//           an integer as a raw day count; Empty gives day count 0 or six NULs
//  time     a string "hhmmss"
//  choice   a string (index of that choice text, 1-based; std::invalid_argument when absent) or an integer
//  index
class Value {
public:
    using Storage = std::variant<Empty, std::string, std::int64_t, double, Date, RawValue>;
    Value() = default;
    Value(Empty v) : v_(v) {}
    Value(const char* s) : v_(std::string(s)) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(std::string_view s) : v_(std::string(s)) {}
    Value(int v) : v_(std::int64_t{v}) {}
    Value(long v) : v_(std::int64_t{v}) {}
    Value(long long v) : v_(std::int64_t{v}) {}
    Value(unsigned v) : v_(std::int64_t{v}) {}
    Value(double v) : v_(v) {}
    Value(float v) : v_(double{v}) {}
    Value(Date v) : v_(v) {}
    Value(RawValue v) : v_(std::move(v)) {}
    const Storage& Get() const { return v_; }

private:
    Storage v_;
};

struct FieldValue {
    std::string Field{}; // a field name of the form
    Value Data{};
};

struct RecordSpec {
    bool Deleted = false;
    std::optional<std::uint8_t> StatusByte{}; // instead of 0x00 / 0x01
    std::vector<FieldValue> Values{};         // fields not named stay zero bytes
};

struct FormSpec {
    std::string Name{};
    std::string DataFile{}; // default: from the name (letters and digits, 8 at most) + ".DBM"
    // The 5.x layout's object file field; default: the data file stem + "TDF", or the data file name itself
    // when the stem is shorter than 8 characters (the 5.x reader compares 8 characters to find variants).
    std::optional<std::string> ObjectFile{};
    std::uint16_t RecordLength = 0;            // 0: the end of the last field
    std::optional<std::int32_t> RecordCount{}; // dictionary value; default: Records.size()
    std::uint32_t DictValue = 0;
    bool SystemForm = false; // flags bit 0 of the dictionary record
    bool DeletedInDictionary = false;
    std::vector<FieldDef> Fields{}; // Offset/Size 0 are filled in (first field at offset 1)
    std::vector<RecordSpec> Records{};
    bool WriteDefinition = true;
    bool WriteDataFile = true;
    Bytes DataFileTrailing{}; // appended to the data file (partial slots)
};

// A DfW variant form: one Application Objects entry of kind 0 on the base form's data.
struct VariantSpec {
    std::string Name{};
    std::string BaseForm{};
    std::string ObjectFile{}; // default: from the variant name + ".VRF"
};

struct DatabaseSpec {
    int Version = 3;                           // 3, 5, 6, 7 (or another code, written as the version byte)
    std::optional<std::uint8_t> VersionByte{}; // default: 3 -> 2, 5 -> 5, 6 -> 5 with ":", else the code
    std::string DictionaryName = "RDRRAAAA.DBM";
    std::string Name{};
    std::vector<FormSpec> Forms{};
    // Adds the system form "Configuration" (data file CONFIGUR.DBM) holding these settings.
    std::optional<ConfigurationSpec> Configuration{};
    // DfW (6, 7): writes an "Application Objects" form whose entries name every non-system form (kind 1) and
    // add the variants; ApplicationObjects = false leaves the form out.
    bool ApplicationObjects = true;
    std::vector<VariantSpec> Variants{};
    std::vector<AppObjectEntry> ExtraAppObjectEntries{};
    // Definition layout details for every form.
    std::size_t RecordSize4x = 18;
    std::uint8_t D = 2;
    bool Tagged = true;
    // When set, definitions of system forms (other than those read from the database directory) are written
    // here, under the stems of the system forms table, with the extension the version's reader looks for.
    std::optional<std::filesystem::path> DEPathDir{};
};

// What WriteDatabase wrote, for tests that refer to files by name.
struct WrittenDatabase {
    std::filesystem::path Dictionary{};
    std::vector<std::filesystem::path> Files{}; // every file, in writing order
};

// Writes the dictionary, the definition files (4.x layout: <stem>DBA, or DBF for a variant; 5.x/DfW:
// <stem>tdf), the data files, the Application Objects file and the Configuration form into dir (created when
// missing).
WrittenDatabase WriteDatabase(const std::filesystem::path& dir, const DatabaseSpec& desc);

// The pieces WriteDatabase uses, for tests that need one of them alone.
// Fields with Offset/Size filled in.
std::vector<FieldDef> LaidOutFields(std::vector<FieldDef> fields, int versionCode);
// The record length a form gets: its RecordLength, or the end of its last laid-out field.
std::uint16_t FormRecordLength(const FormSpec& form, int versionCode);
// The slot of one record.  storedDateOrder: 'A', 'B' or 'M' for six-character dates.
Slot BuildRecordSlot(const std::vector<FieldDef>& laidOutFields, std::uint16_t recordLength,
                     const RecordSpec& record, int versionCode, char storedDateOrder = 'B');
std::string DefaultDataFileName(std::string_view formName);
// File stem of a system form ("userform" for "users"), "" when it is none.
std::string SystemFormFileStem(std::string_view name);

// ---------------------------------------------------------------------------------------------------------------
// Streaming data file writer: records written one at a time, nothing kept in memory (the benchmark writes
// millions). fill gets the record index and a zeroed live slot to fill in.

void WriteDataFileStreaming(const std::filesystem::path& path, std::uint16_t recordLength,
                            std::uint64_t count,
                            const std::function<void(std::uint64_t index, Slot& slot)>& fill);

class DataFileWriter {
public:
    DataFileWriter(const std::filesystem::path& path, std::uint16_t recordLength);
    ~DataFileWriter(); // closes; errors at that point are lost, call Close() to see them
    DataFileWriter(const DataFileWriter&) = delete;
    DataFileWriter& operator=(const DataFileWriter&) = delete;
    // A zeroed slot of the record length.
    Slot NewSlot() const;
    void Write(const Slot& slot); // the slot's bytes, cut or zero-padded to the record length
    void Close();                 // throws std::runtime_error on a write error
    std::uint64_t Written() const { return written_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::uint16_t recordLength_;
    std::uint64_t written_ = 0;
};

} // namespace corvane::testwriter
