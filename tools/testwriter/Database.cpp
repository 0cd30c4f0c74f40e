// Whole databases: dictionary, definitions, data files, Application Objects and Configuration in one call.

#include "tools/testwriter/TestWriter.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>

namespace corvane::testwriter {

namespace {

std::string Upper(std::string_view s) {
    std::string r(s);
    for (char& c : r) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return r;
}

// The part of a data file name up to and including its first "."; nothing when it has none.
std::string Stem(std::string_view dataFile) {
    const auto dot = dataFile.find('.');
    return dot == std::string_view::npos ? std::string() : std::string(dataFile.substr(0, dot + 1));
}

std::string First8(std::string_view s) {
    return std::string(s.substr(0, 8));
}

// The stem + "TDF" when the stem fills the eight characters a 5.x dictionary compares; otherwise the data
// file name itself, so that a form with a short stem does not turn into a variant.
std::string DefaultObjectFileName(const std::string& dataFile) {
    const std::string stem = Stem(dataFile);
    return stem.size() > 8 ? stem + "TDF" : dataFile;
}

std::uint8_t DefaultSize(const FieldDef& f, int versionCode) {
    switch (f.Type) {
    case 1:
    case 2:
        return f.Length != 0 ? f.Length : 10;
    case 3:
        return f.SubType == 0 ? 4 : 8;
    case 4:
        return f.SubType == 1 && versionCode >= 5 ? 4 : 6;
    case 5:
        return 6;
    default:
        return 1;
    }
}

std::string TwoDigits(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", ((v % 100) + 100) % 100);
    return buf;
}

char StoredDateOrderLetter(const DatabaseSpec& desc) {
    if (desc.Version != 3 || !desc.Configuration) {
        return 'B';
    }
    switch (desc.Configuration->DateOrder) {
    case 1:
        return 'A';
    case 3:
        return 'M';
    default:
        return 'B';
    }
}

void PlaceNumber(Slot& slot, const FieldDef& f, double value, std::int64_t whole, bool isWhole) {
    if (f.SubType == 0) {
        switch (f.Size) {
        case 1:
            slot.U8(f.Offset, static_cast<std::uint8_t>(whole));
            return;
        case 2:
            slot.U16(f.Offset, static_cast<std::uint16_t>(whole));
            return;
        case 4:
            slot.I32(f.Offset, static_cast<std::int32_t>(whole));
            return;
        default:
            slot.Double(f.Offset, isWhole ? static_cast<double>(whole) : value);
            return;
        }
    }
    if (f.Size == 4) {
        slot.Single(f.Offset, static_cast<float>(value));
    } else if (f.Size == 8) {
        slot.Double(f.Offset, value);
    } else {
        throw std::invalid_argument("field " + f.Name + ": no number encoding for size " +
                                    std::to_string(f.Size));
    }
}

void PlaceValue(Slot& slot, const FieldDef& f, const Value& value, int versionCode, char storedOrder) {
    const Value::Storage& v = value.Get();
    const auto wrong = [&](const char* what) {
        return std::invalid_argument("field " + f.Name + ": cannot store " + what + " in a field of type " +
                                     std::to_string(f.Type));
    };
    if (const auto* raw = std::get_if<RawValue>(&v)) {
        slot.Raw(f.Offset, raw->Data);
        return;
    }
    switch (f.Type) {
    case 1:
    case 2:
        if (const auto* s = std::get_if<std::string>(&v)) {
            slot.Text(f.Offset, *s, f.Size);
            return;
        }
        if (std::holds_alternative<Empty>(v)) {
            return;
        }
        throw wrong("a number or date");
    case 3:
        if (std::holds_alternative<Empty>(v)) {
            slot.EmptyNumber(f.Offset, f.Size);
            return;
        }
        if (const auto* i = std::get_if<std::int64_t>(&v)) {
            PlaceNumber(slot, f, static_cast<double>(*i), *i, true);
            return;
        }
        if (const auto* d = std::get_if<double>(&v)) {
            PlaceNumber(slot, f, *d, static_cast<std::int64_t>(*d), false);
            return;
        }
        throw wrong("a text or date");
    case 4: {
        const bool dayCount = versionCode >= 5 && f.SubType == 1;
        if (const auto* date = std::get_if<Date>(&v)) {
            if (dayCount) {
                slot.DayCountDate(f.Offset, *date);
                return;
            }
            const std::string dd = TwoDigits(date->Day), mm = TwoDigits(date->Month),
                              yy = TwoDigits(date->Year);
            slot.Chars(f.Offset, storedOrder == 'A'   ? mm + dd + yy
                                 : storedOrder == 'M' ? yy + mm + dd
                                                      : dd + mm + yy);
            return;
        }
        if (const auto* s = std::get_if<std::string>(&v)) {
            slot.Chars(f.Offset, *s);
            return;
        }
        if (const auto* i = std::get_if<std::int64_t>(&v)) {
            slot.I32(f.Offset, static_cast<std::int32_t>(*i));
            return;
        }
        if (std::holds_alternative<Empty>(v)) {
            return;
        }
        throw wrong("a double");
    }
    case 8:
        if (const auto* s = std::get_if<std::string>(&v)) {
            std::vector<std::string> choices = f.Choices;
            if (f.Encoding == ChoiceEncoding::YesNo) {
                choices = {"no", "yes"};
            }
            const auto it = std::find(choices.begin(), choices.end(), *s);
            if (it == choices.end()) {
                throw std::invalid_argument("field " + f.Name + ": no choice \"" + *s + "\"");
            }
            slot.Choice(f.Offset, static_cast<std::uint8_t>(it - choices.begin() + 1));
            return;
        }
        if (const auto* i = std::get_if<std::int64_t>(&v)) {
            slot.Choice(f.Offset, static_cast<std::uint8_t>(*i));
            return;
        }
        if (std::holds_alternative<Empty>(v)) {
            return;
        }
        throw wrong("a double or date");
    default:
        // Times and unknown types: characters as they are, integers as one byte.
        if (const auto* s = std::get_if<std::string>(&v)) {
            slot.Chars(f.Offset, *s);
            return;
        }
        if (const auto* i = std::get_if<std::int64_t>(&v)) {
            slot.U8(f.Offset, static_cast<std::uint8_t>(*i));
            return;
        }
        if (std::holds_alternative<Empty>(v)) {
            return;
        }
        throw wrong("this value");
    }
}

struct SystemFormEntry {
    const char* Name;
    const char* Stem;
};

constexpr SystemFormEntry kSystemForms[] = {
    {"Configuration", "configur"}, {"Custom Functions", "cdfsform"},
    {"Menus", "menuform"},         {"Printers", "printers"},
    {"Relationships", "relation"}, {"Report Directory", "repoform"},
    {"screen styles", "scrstyle"}, {"users", "userform"},
    {"Locations", "location"},     {"Masks", "MaskForm"},
};

enum class Layout { None, V4x, V5x };

struct DefinitionTarget {
    Layout Kind = Layout::None;
    bool InDEPath = false;
    std::string FileName{};
};

// Mirrors the readers' choice of layout and file, so each definition lands where it is looked for.
DefinitionTarget TargetOf(int v, const std::string& name, bool system, int variantLevel,
                          const std::string& dataFile) {
    const bool special = name == "Application Objects" || name.starts_with("$") || name == "Dictionary";
    Layout kind = Layout::None;
    if (v > 3 && special) {
        kind = Layout::V5x;
    } else if (v == 3 || (system && v == 6)) {
        kind = Layout::V4x;
    } else if (Upper(name) == "USERS") {
        kind = Layout::V4x;
    } else if (v == 5 || v == 6 || v == 7) {
        kind = Layout::V5x;
    }
    DefinitionTarget t{.Kind = kind};
    if (kind == Layout::V4x) {
        if (system) {
            t.InDEPath = true;
            t.FileName = SystemFormFileStem(name) + (v == 5 ? ".tds" : ".dbs");
        } else {
            t.FileName = Stem(dataFile) + (variantLevel == 0 ? "DBA" : "DBF");
        }
    } else if (kind == Layout::V5x) {
        if (system && (name.starts_with("$") || name == "Dictionary")) {
            t.FileName = Stem(dataFile) + "tdf";
        } else if (system && name != "Application Objects") {
            t.InDEPath = true;
            t.FileName = SystemFormFileStem(name) + (v == 5 ? ".tds" : ".dbs");
        } else {
            t.FileName = Stem(dataFile) + (variantLevel == 2 ? "tde" : "tdf");
        }
    }
    return t;
}

FormSpec ConfigurationForm(int v, const ConfigurationSpec& c) {
    FormSpec f{.Name = "Configuration", .DataFile = "CONFIGUR.DBM", .SystemForm = true};
    f.RecordLength = ConfigurationRecordLength(v, c);
    f.RecordCount = 1;
    if (v == 3) {
        f.Fields = {WholeNumber("Date Order", 1), WholeNumber("Century Cutoff", 1)};
        f.Fields[0].Offset = 128;
        f.Fields[1].Offset = 143;
    } else {
        f.Fields = {WholeNumber("Century Cutoff", 1)};
        f.Fields[0].Offset = 324;
    }
    f.WriteDataFile = false; // written from the ConfigurationSpec
    return f;
}

FormSpec ApplicationObjectsForm(std::int32_t entries) {
    FormSpec f{.Name = "Application Objects", .DataFile = "APPOBJ.DBM", .SystemForm = true};
    f.RecordLength = kAppObjectRecordSize;
    f.RecordCount = entries;
    f.Fields = {WholeNumber("Entry Kind", 2), TextField("Variant Name", 64), TextField("Object File", 14),
                TextField("Base Form", 64), WholeNumber("Object Type", 2)};
    const std::uint16_t offsets[] = {3, 5, 69, 83, 211};
    for (std::size_t i = 0; i < f.Fields.size(); ++i) {
        f.Fields[i].Offset = offsets[i];
    }
    f.WriteDataFile = false;
    return f;
}

} // namespace

std::string SystemFormFileStem(std::string_view name) {
    for (const SystemFormEntry& e : kSystemForms) {
        if (Upper(e.Name) == Upper(name)) {
            return e.Stem;
        }
    }
    return {};
}

std::string DefaultDataFileName(std::string_view formName) {
    std::string stem;
    for (char c : formName) {
        if (stem.size() < 8 && std::isalnum(static_cast<unsigned char>(c))) {
            stem += c;
        }
    }
    if (stem.empty()) {
        stem = "FORM";
    }
    return Upper(stem) + ".DBM";
}

std::vector<FieldDef> LaidOutFields(std::vector<FieldDef> fields, int versionCode) {
    std::size_t next = 1; // byte 0 of a slot is the record status
    for (FieldDef& f : fields) {
        if (f.Size == 0) {
            f.Size = DefaultSize(f, versionCode);
        }
        if ((f.Type == 1 || f.Type == 2) && f.Length == 0) {
            f.Length = f.Size;
        }
        if (f.Offset == 0) {
            f.Offset = static_cast<std::uint16_t>(next);
        }
        next = std::max<std::size_t>(next, std::size_t{f.Offset} + f.Size);
    }
    return fields;
}

std::uint16_t FormRecordLength(const FormSpec& form, int versionCode) {
    if (form.RecordLength != 0) {
        return form.RecordLength;
    }
    std::size_t end = 1;
    for (const FieldDef& f : LaidOutFields(form.Fields, versionCode)) {
        end = std::max<std::size_t>(end, std::size_t{f.Offset} + f.Size);
    }
    return static_cast<std::uint16_t>(end);
}

Slot BuildRecordSlot(const std::vector<FieldDef>& laidOutFields, std::uint16_t recordLength,
                     const RecordSpec& record, int versionCode, char storedDateOrder) {
    Slot slot(recordLength);
    slot.Status(record.StatusByte.value_or(record.Deleted ? 0x01 : 0x00));
    for (const FieldValue& fv : record.Values) {
        const auto it = std::find_if(laidOutFields.begin(), laidOutFields.end(),
                                     [&](const FieldDef& f) { return f.Name == fv.Field; });
        if (it == laidOutFields.end()) {
            throw std::invalid_argument("record names no field \"" + fv.Field + "\"");
        }
        PlaceValue(slot, *it, fv.Data, versionCode, storedDateOrder);
    }
    return slot;
}

WrittenDatabase WriteDatabase(const std::filesystem::path& dir, const DatabaseSpec& desc) {
    const int v = desc.Version;
    std::filesystem::create_directories(dir);
    if (desc.DEPathDir) {
        std::filesystem::create_directories(*desc.DEPathDir);
    }
    WrittenDatabase written;
    const auto put = [&](const std::filesystem::path& path, const Bytes& bytes) {
        WriteFile(path, bytes);
        written.Files.push_back(path);
    };

    std::vector<FormSpec> forms = desc.Forms;
    for (FormSpec& f : forms) {
        if (f.DataFile.empty()) {
            f.DataFile = DefaultDataFileName(f.Name);
        }
    }
    if (desc.Configuration) {
        forms.push_back(ConfigurationForm(v, *desc.Configuration));
    }
    const bool dfw = v == 6 || v == 7;
    AppObjectsSpec appObjects;
    if (dfw && desc.ApplicationObjects) {
        for (const FormSpec& f : forms) {
            if (!f.SystemForm && !f.DeletedInDictionary) {
                appObjects.Entries.push_back(
                    {.EntryKind = 1,
                     .ObjectFile = f.ObjectFile.value_or(DefaultObjectFileName(f.DataFile)),
                     .BaseForm = f.Name});
            }
        }
        for (const VariantSpec& var : desc.Variants) {
            const std::string object =
                var.ObjectFile.empty() ? Stem(DefaultDataFileName(var.Name)) + "VRF" : var.ObjectFile;
            appObjects.Entries.push_back(
                {.EntryKind = 0, .VariantName = var.Name, .ObjectFile = object, .BaseForm = var.BaseForm});
        }
        for (const AppObjectEntry& e : desc.ExtraAppObjectEntries) {
            appObjects.Entries.push_back(e);
        }
        forms.push_back(ApplicationObjectsForm(static_cast<std::int32_t>(appObjects.Entries.size())));
    }

    DictionarySpec dict{.VersionByte = desc.VersionByte.value_or(static_cast<std::uint8_t>(v == 3   ? 2
                                                                                           : v == 6 ? 5
                                                                                                    : v)),
                        .DfWMarker = v == 6,
                        .DatabaseName = desc.Name};
    const char storedOrder = StoredDateOrderLetter(desc);
    for (const FormSpec& f : forms) {
        const std::uint16_t length = FormRecordLength(f, v);
        const std::string objectFile = f.ObjectFile.value_or(DefaultObjectFileName(f.DataFile));
        dict.Forms.push_back(
            {.Status = static_cast<std::uint16_t>(f.DeletedInDictionary ? 1 : 0),
             .Name = f.Name,
             .DictValue = f.DictValue,
             .RecordLength = length,
             .RecordCount = f.RecordCount.value_or(static_cast<std::int32_t>(f.Records.size())),
             .DataFile = f.DataFile,
             .ObjectFile = objectFile,
             .Flags = static_cast<std::uint16_t>(f.SystemForm ? 1 : 0)});

        const std::vector<FieldDef> fields = LaidOutFields(f.Fields, v);
        if (f.WriteDefinition && !f.DeletedInDictionary) {
            // The reader's view of the form: a DfW dictionary marks every form a system form until the
            // Application Objects name it; a 5.x form is a variant when its object file differs from its data
            // file.
            bool system = f.SystemForm;
            if (v == 6) {
                system = f.SystemForm || !desc.ApplicationObjects;
            }
            const int variantLevel = v == 5 && First8(objectFile) != First8(f.DataFile) ? 1 : 0;
            const DefinitionTarget t = TargetOf(v, f.Name, system, variantLevel, f.DataFile);
            if (t.Kind != Layout::None && (!t.InDEPath || desc.DEPathDir)) {
                const std::filesystem::path path = (t.InDEPath ? *desc.DEPathDir : dir) / t.FileName;
                put(path,
                    t.Kind == Layout::V4x
                        ? BuildDefinition4x({.D = desc.D, .RecordSize = desc.RecordSize4x, .Fields = fields})
                        : BuildDefinition5x({.Tagged = desc.Tagged, .Fields = fields}));
            }
        }
        if (f.WriteDataFile) {
            Bytes data;
            for (const RecordSpec& r : f.Records) {
                AppendBytes(data, BuildRecordSlot(fields, length, r, v, storedOrder).GetBytes());
            }
            AppendBytes(data, f.DataFileTrailing);
            put(dir / f.DataFile, data);
        }
    }
    if (desc.Configuration) {
        put(dir / "CONFIGUR.DBM", BuildConfigurationData(v, *desc.Configuration));
    }
    if (dfw && desc.ApplicationObjects) {
        put(dir / "APPOBJ.DBM", BuildApplicationObjects(appObjects));
    }
    written.Dictionary = dir / desc.DictionaryName;
    put(written.Dictionary, BuildDictionary(dict));
    return written;
}

} // namespace corvane::testwriter
