// The field list of a form: which definition file holds it, which reader reads it, and the list itself.

#include "database/DEInfoRec.h"
#include "database/Definitions.h"
#include "database/Errors.h"
#include "database/MemoryFile.h"
#include "database/PlatformFile.h"
#include "text/TextUtils.h"

namespace corvane {

TFieldRec::~TFieldRec() {
    // Unlink each field before releasing it, so that no destructor recurses into the rest of the chain.
    std::unique_ptr<TFieldRec> rest = std::move(Next);
    while (rest) {
        std::unique_ptr<TFieldRec> after = std::move(rest->Next);
        rest = std::move(after);
    }
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::string line;
    for (const char c : text) {
        if (c == '\0') {
            break;
        }
        if (c == '\r') {
            lines.push_back(std::move(line));
            line.clear();
        } else {
            line.push_back(c);
        }
    }
    lines.push_back(std::move(line));
    return lines;
}

namespace {

// The part of a data file name up to and including its first ".", which names the definition file; "" without
// one.
std::string DefinitionStem(const std::string& dataFile) {
    const std::size_t dot = dataFile.find('.');
    return dot == std::string::npos ? std::string() : dataFile.substr(0, dot + 1);
}

bool StartsWithDollar(const std::string& name) {
    return !name.empty() && name.front() == '$';
}

std::string RequireDEPath(const TDEInfoRec* database) {
    const std::string dePath = database ? database->GetDEPath() : std::string();
    if (dePath.empty()) {
        throw EDELibError("DEPath is not defined");
    }
    return dePath;
}

} // namespace

void TFormRec::AppendField(std::unique_ptr<TFieldRec> field) {
    if (!field) {
        return;
    }
    std::unique_ptr<TFieldRec>* link = &Fields;
    while (*link) {
        link = &(*link)->Next;
    }
    *link = std::move(field);
}

TFieldRec* TFormRec::GetFields() {
    if (!Fields) {
        LoadFields();
    }
    return Fields.get();
}

TDefinitionLayout TFormRec::DefinitionLayout() const {
    const std::uint8_t v = GetVersion();
    // The first rule that applies decides; names compare exactly unless upper-cased.
    if (v > kVersion4x && (Name == "Application Objects" || StartsWithDollar(Name) || Name == "Dictionary")) {
        return TDefinitionLayout::Layout5x;
    }
    if (v == kVersion4x || (SystemForm && v == kVersionDfW) || UpperCaseAscii(Name) == "USERS") {
        return TDefinitionLayout::Layout4x;
    }
    if (v == kVersion5x || v == kVersionDfW || v == kVersionDfW7) {
        return TDefinitionLayout::Layout5x;
    }
    return TDefinitionLayout::None;
}

std::string TFormRec::DefinitionFile() const {
    switch (DefinitionLayout()) {
    case TDefinitionLayout::Layout4x:
        return DefinitionFile4x();
    case TDefinitionLayout::Layout5x:
        return DefinitionFile5x();
    case TDefinitionLayout::None:
        break;
    }
    return {};
}

void TFormRec::LoadFields() {
    switch (DefinitionLayout()) {
    case TDefinitionLayout::Layout4x:
        ReadFields4x();
        return;
    case TDefinitionLayout::Layout5x:
        ReadFields5x();
        return;
    case TDefinitionLayout::None:
        return;
    }
}

namespace {

// directory + fileName, resolved without regard to case through the database's directory listings.
std::string ResolveIn(const TDEInfoRec* database, const std::string& directory, const std::string& fileName) {
    return database != nullptr ? database->ResolvePath(directory, fileName)
                               : ResolveExistingPath(directory + fileName);
}

} // namespace

std::string TFormRec::DefinitionFile4x() const {
    if (SystemForm) {
        const std::uint8_t v = GetVersion();
        return ResolveIn(Database, RequireDEPath(Database),
                         SystemFormStem(Name) + (v == kVersion5x ? ".tds" : ".dbs"));
    }
    // The definition is named after the data file, so that name must not lead out of the directory either.
    RequirePlainFileName(*this, "data file", DataFile);
    return ResolveIn(Database, GetDirectory(),
                     DefinitionStem(DataFile) + (VariantLevel == 0 ? "DBA" : "DBF"));
}

std::string TFormRec::DefinitionFile5x() const {
    if (SystemForm && Name != "Application Objects" && !StartsWithDollar(Name) && Name != "Dictionary") {
        const std::uint8_t v = GetVersion();
        return ResolveIn(Database, RequireDEPath(Database),
                         SystemFormStem(Name) + (v == kVersion5x ? ".tds" : ".dbs"));
    }
    RequirePlainFileName(*this, "data file", DataFile);
    const bool systemOwn = SystemForm && (StartsWithDollar(Name) || Name == "Dictionary");
    return ResolveIn(Database, GetDirectory(),
                     DefinitionStem(DataFile) + (!systemOwn && VariantLevel == 2 ? "tde" : "tdf"));
}

void TFormRec::ReadFields4x() {
    TLargeMemoryFile file(DefinitionFile4x());
    ParseFields4x(file, *this);
}

void TFormRec::ReadFields5x() {
    const TMemoryFile file(DefinitionFile5x());
    ParseFields5x(file, *this);
}

} // namespace corvane
