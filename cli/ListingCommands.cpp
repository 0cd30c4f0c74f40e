// corvane-cli databases, forms, fields and encodings.

#include "cli/Commands.h"

#include "database/DatabaseList.h"
#include "database/Errors.h"
#include "database/PlatformFile.h"
#include "export/ExportRun.h"
#include "export/JsonlExport.h"
#include "text/TextUtils.h"

namespace corvane {

namespace {

int Fail(std::ostream& err, const std::string& message) {
    err << "corvane-cli: " << message << "\n";
    return 1;
}

// The code page of the names a listing shows: the one asked for, else the version's for JSON (which holds
// characters) and the stored bytes for text.
TCodePage ListingCodePage(const TListingArgs& args, unsigned version) {
    if (args.Encoding) {
        return *args.Encoding;
    }
    return args.Json ? DefaultCodePage(version) : TCodePage::Raw;
}

// A name or text of the database as a listing shows it: in JSON a string of its characters, in text the
// line's cell with control characters escaped.
class TListingText {
public:
    TListingText(const TListingArgs& args, unsigned version)
        : json_(args.Json), codePage_(ListingCodePage(args, version)) {}

    std::string operator()(const std::string& stored) const {
        if (json_) {
            std::string out;
            // JSON holds characters: stored bytes without a code page are taken as ISO 8859-1.
            AppendJsonString(out,
                             ToUtf8(stored, codePage_ == TCodePage::Raw ? TCodePage::Latin1 : codePage_));
            return out;
        }
        return EscapeControls(codePage_ == TCodePage::Raw ? stored : ToUtf8(stored, codePage_));
    }

private:
    bool json_;
    TCodePage codePage_;
};

// A JSON array written one object a line.
class TJsonArray {
public:
    explicit TJsonArray(std::ostream& out) : out_(out) { out_ << "["; }
    void Object(const std::string& members) {
        out_ << (empty_ ? "\n  {" : ",\n  {") << members << "}";
        empty_ = false;
    }
    void End() { out_ << (empty_ ? "]\n" : "\n]\n"); }

private:
    std::ostream& out_;
    bool empty_ = true;
};

std::string Member(const char* key, const std::string& jsonValue, bool first = false) {
    return std::string(first ? "" : ", ") + "\"" + key + "\": " + jsonValue;
}

std::string JsonString(const std::string& utf8) {
    std::string out;
    AppendJsonString(out, utf8);
    return out;
}

const char* JsonBool(bool value) {
    return value ? "true" : "false";
}

struct TListedDatabase {
    std::string Path; // below the directory listed
    std::string FileName;
    std::uint8_t Version = 0;
    std::string DisplayName;
};

void PrintDatabase(const TListingArgs& args, const TListedDatabase& entry, std::ostream& out,
                   TJsonArray* json) {
    const TListingText text(args, entry.Version);
    if (json != nullptr) {
        json->Object(Member("path", JsonString(entry.Path), true) +
                     Member("file", JsonString(entry.FileName)) +
                     Member("version", std::to_string(entry.Version)) +
                     Member("label", JsonString(VersionLabel(entry.Version))) +
                     Member("name", text(entry.DisplayName)));
    } else {
        out << EscapeControls(entry.Path) << '\t' << static_cast<unsigned>(entry.Version) << '\t'
            << text(entry.DisplayName) << '\n';
    }
}

std::string ListingErrorLine(const std::exception& error, const std::string& file) {
    const auto* io = dynamic_cast<const EInOutError*>(&error);
    return io != nullptr && !io->FileName().empty() ? DescribeError(error) : file + ": " + error.what();
}

int ListDatabasesBelow(const TListingArgs& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> problems;
    const std::vector<TFoundDatabase> found = FindDatabasesBelow(args.Path, problems);
    std::optional<TJsonArray> json;
    if (args.Json) {
        json.emplace(out);
    }
    int status = 0;
    for (const std::string& problem : problems) {
        status = Fail(err, problem);
    }
    for (const TFoundDatabase& database : found) {
        try {
            TDEInfoRec loaded;
            loaded.SetDirectory(database.Directory);
            loaded.SetDictionaryName(database.DictionaryName);
            loaded.Load();
            PrintDatabase(args,
                          {database.RelativeFile, database.DictionaryName, loaded.GetVersion(),
                           loaded.GetDisplayName()},
                          out, json ? &*json : nullptr);
        } catch (const std::exception& error) {
            // One damaged database does not hide the others.
            status = Fail(err, ListingErrorLine(error, database.Directory + database.DictionaryName));
        }
    }
    if (json) {
        json->End();
    }
    out.flush();
    return status;
}

} // namespace

int RunDatabasesCommand(const TListingArgs& args, std::ostream& out, std::ostream& err) {
    if (!IsDirectory(args.Path)) {
        return Fail(err, args.Path + ": not a directory");
    }
    if (args.Recursive) {
        return ListDatabasesBelow(args, out, err);
    }
    const TDatabaseListing listing =
        ListDatabases(WithTrailingSeparator(args.Path), TListingMode::ReportEachError);
    std::optional<TJsonArray> json;
    if (args.Json) {
        json.emplace(out);
    }
    for (const TDatabaseEntry& entry : listing.Entries) {
        PrintDatabase(args, {entry.FileName, entry.FileName, entry.Version, entry.DisplayName}, out,
                      json ? &*json : nullptr);
    }
    if (json) {
        json->End();
    }
    out.flush();
    // Each database that could not be read, on a line of its own.
    for (const TDatabaseFailure& failure : listing.Failures) {
        try {
            std::rethrow_exception(failure.Error);
        } catch (const std::exception& e) {
            Fail(err, ListingErrorLine(e, failure.FileName));
        } catch (...) {
            Fail(err, failure.FileName + ": unknown error");
        }
    }
    return listing.Failures.empty() ? 0 : 1;
}

int RunFormsCommand(const TListingArgs& args, std::ostream& out, std::ostream& /*err*/) {
    TDEInfoRec database;
    LoadDatabase(database, args.Path, args.DEPath);
    const TListingText text(args, database.GetVersion());
    std::vector<const TFormRec*> forms;
    if (args.All) {
        for (const TFormRec* form = database.FirstForm(); form != nullptr; form = form->Next.get()) {
            forms.push_back(form);
        }
    } else {
        forms = ListedForms(database);
    }
    std::optional<TJsonArray> json;
    if (args.Json) {
        json.emplace(out);
    }
    for (const TFormRec* form : forms) {
        if (json) {
            json->Object(Member("name", text(form->Name), true) + Member("data_file", text(form->DataFile)) +
                         Member("record_length", std::to_string(form->RecordLength)) +
                         Member("record_count", std::to_string(form->RecordCount)) +
                         Member("system_form", JsonBool(form->SystemForm)) +
                         Member("variant_level", std::to_string(unsigned{form->VariantLevel})) +
                         Member("object_file", text(form->ObjectFile)));
        } else if (args.All) {
            out << text(form->Name) << '\t' << text(form->DataFile) << '\t' << form->RecordLength << '\t'
                << form->RecordCount << '\t' << (form->SystemForm ? 1 : 0) << '\t'
                << static_cast<unsigned>(form->VariantLevel) << '\t' << text(form->ObjectFile) << '\n';
        } else {
            out << text(FormListLine(*form)) << '\n';
        }
    }
    if (json) {
        json->End();
    }
    return 0;
}

int RunFieldsCommand(const TListingArgs& args, std::ostream& out, std::ostream& err) {
    TDEInfoRec database;
    LoadDatabase(database, args.Path, args.DEPath);
    TFormRec* form = database.FindForm(args.Form);
    if (form == nullptr) {
        // The form list shows system forms with a leading blank; accept the name as listed too.
        const std::size_t first = args.Form.find_first_not_of(' ');
        if (first != 0 && first != std::string::npos) {
            form = database.FindForm(args.Form.substr(first));
        }
    }
    if (form == nullptr) {
        return Fail(err, "no form " + EscapeControls(args.Form) + " in " + args.Path);
    }
    const TListingText text(args, database.GetVersion());
    std::optional<TJsonArray> json;
    if (args.Json) {
        json.emplace(out);
    }
    for (const TFieldRec* f = form->GetFields(); f != nullptr; f = f->Next.get()) {
        if (json) {
            std::string choices = "[";
            for (std::size_t c = 1; c < f->Choices.size(); ++c) {
                choices += (c == 1 ? "" : ", ") + text(f->Choices[c]);
            }
            choices += "]";
            json->Object(Member("name", text(f->Name), true) +
                         Member("field_type", std::to_string(unsigned{f->FieldType})) +
                         Member("length", std::to_string(unsigned{f->Length})) +
                         Member("sub_type", std::to_string(unsigned{f->SubType})) +
                         Member("int_digits", std::to_string(unsigned{f->IntDigits})) +
                         Member("offset", std::to_string(f->Offset)) +
                         Member("size", std::to_string(unsigned{f->Size})) +
                         Member("flag3", JsonBool(f->Flag3)) + Member("flag7", JsonBool(f->Flag7)) +
                         Member("choices", choices));
        } else {
            out << text(f->Name) << '\t' << unsigned{f->FieldType} << '\t' << unsigned{f->Length} << '\t'
                << unsigned{f->SubType} << '\t' << unsigned{f->IntDigits} << '\t' << f->Offset << '\t'
                << unsigned{f->Size} << '\t' << (f->Flag3 ? 1 : 0) << '\t' << (f->Flag7 ? 1 : 0) << '\t';
            for (std::size_t c = 1; c < f->Choices.size(); ++c) {
                out << (c == 1 ? "" : "|") << text(f->Choices[c]);
            }
            out << '\n';
        }
    }
    if (json) {
        json->End();
    }
    return 0;
}

int RunEncodingsCommand(std::ostream& out) {
    for (const std::string& name : AvailableCodePageNames()) {
        const std::optional<TCodePage> codePage = CodePageByName(name);
        out << name << '\t' << (codePage && IsBuiltInCodePage(*codePage) ? "built-in" : "iconv") << '\n';
    }
    return 0;
}

} // namespace corvane
