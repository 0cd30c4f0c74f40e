#pragma once
// The handle of one DataEase database (TDEInfoRec) and the entries of its form catalogue (TFormRec).

#include "database/FieldRec.h"
#include "database/PlatformFile.h"

#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

class TDEInfoRec;

// Days since 30 December 1899, the fraction being the time of day; 0 means "no date".
using TDateTime = double;

// Version codes.
inline constexpr std::uint8_t kVersionNotLoaded = 0;
inline constexpr std::uint8_t kVersion4x = 3;
inline constexpr std::uint8_t kVersion5x = 5;
inline constexpr std::uint8_t kVersionDfW = 6;
inline constexpr std::uint8_t kVersionDfW7 = 7;

// The layout of a form's definition file, by version, name and system-form flag.
enum class TDefinitionLayout { None, Layout4x, Layout5x };

class TFormRec {
public:
    explicit TFormRec(TDEInfoRec* database) : Database(database) {}
    // Releases the field list and, iteratively, every form after this one.
    ~TFormRec();
    TFormRec(const TFormRec&) = delete;
    TFormRec& operator=(const TFormRec&) = delete;

    std::unique_ptr<TFieldRec> Fields;
    std::string Name;
    std::uint32_t DictValue = 0;
    std::uint16_t RecordLength = 0;
    std::int32_t RecordCount = 0;
    std::string DataFile; // at most 12 characters
    TDateTime FileDate = 0;
    std::string ObjectFile; // at most 12 characters
    bool SystemForm = false;
    std::uint8_t VariantLevel = 0;
    std::uint8_t DefinitionVersion = 0;
    TDEInfoRec* Database = nullptr; // not owned
    std::unique_ptr<TFormRec> Next;

    std::string GetDirectory() const;
    std::uint8_t GetVersion() const;

    // The first field, reading the definition on first use. Throws what the definition readers throw.
    TFieldRec* GetFields();
    // Chooses the definition reader by version, name and system-form flag and runs it.
    void LoadFields();
    // The layout LoadFields reads, and the file it reads it from ("" for None). The file may throw as
    // DefinitionFile4x and DefinitionFile5x do.
    TDefinitionLayout DefinitionLayout() const;
    std::string DefinitionFile() const;
    // The 4.x layout, through TLargeMemoryFile.
    void ReadFields4x();
    // The 5.x / DfW layout, through TMemoryFile.
    void ReadFields5x();
    // The definition file each reader would open (throws EDELibError "DEPath is not defined" for a system
    // form while DEPath is empty).
    std::string DefinitionFile4x() const;
    std::string DefinitionFile5x() const;
    // Appends a field to the end of Fields.
    void AppendField(std::unique_ptr<TFieldRec> field);
};

// True when name is usable as the name of a file inside a directory: it holds no "/", "\\" or NUL and is
// neither "." nor "..". The empty name passes (it names no file).
bool IsPlainFileName(std::string_view name);

// Names read from the dictionary and the Application Objects are file names, never paths. Throws EDELibError
// "form NAME: WHAT name FILE leaves the database directory" when fileName is not plain (control characters of
// both names shown as \xHH).
void RequirePlainFileName(const TFormRec& form, std::string_view what, std::string_view fileName);

class TDEInfoRec {
public:
    TDEInfoRec() = default;
    ~TDEInfoRec();
    TDEInfoRec(const TDEInfoRec&) = delete;
    TDEInfoRec& operator=(const TDEInfoRec&) = delete;

    std::uint8_t Version = kVersionNotLoaded;
    std::string Directory;      // used unchanged; callers give it with a trailing separator
    std::string DictionaryName; // at most 12 characters
    std::string DatabaseName;
    std::uint16_t DictRecordLength = 0;
    std::int32_t DictRecordCount = 0;
    std::unique_ptr<TFormRec> Forms;
    std::uint8_t CenturyCutoff = 0;
    std::string DEPath; // empty or ending with the separator

    void SetDirectory(const std::string& directory) { Directory = directory; }
    const std::string& GetDirectory() const { return Directory; }
    void SetDictionaryName(const std::string& fileName) { DictionaryName = fileName.substr(0, 12); }
    // Discards the catalogue and the directory listings, then reads the catalogue again: the dictionary, then
    // for DfW the Application Objects. Throws EInOutError / ERangeError / EDELibError from the readers; forms
    // added before the error stay.
    void Load();
    std::uint8_t GetVersion() const { return Version; }
    TFormRec* FirstForm() const { return Forms.get(); }
    // The earliest-added form whose name key equals that of name, or nullptr. Logarithmic in the forms.
    TFormRec* FindForm(std::string_view name) const;
    // Sorted insertion by name key; among equal keys after the existing ones. Takes ownership; nullptr is
    // ignored. Logarithmic in the forms. The catalogue is changed only through AddForm, ClearForms and Load
    // (the index behind FindForm follows them), and a form's Name is not changed once it is added.
    void AddForm(std::unique_ptr<TFormRec> form);
    // DatabaseName up to its first NUL character (whole when the NUL is first or absent).
    std::string GetDisplayName() const;
    // Empty stays empty; otherwise stored with a trailing separator.
    void SetDEPath(const std::string& path);
    const std::string& GetDEPath() const { return DEPath; }

    // The dictionary step of Load, reading Directory + DictionaryName.
    void ReadDictionary();
    // The same from any byte source (tests and fuzzing).
    void ReadDictionaryFrom(TByteSource& source);
    // The Application Objects step of Load (versions 6 and 7).
    void ReadApplicationObjects();
    void ReadApplicationObjectsFrom(TByteSource& source);

    // Releases every form, iteratively.
    void ClearForms();

    // directory + fileName resolved without regard to case, as ResolveExistingPath does, but listing each
    // directory at most once between two Loads (again only when the directory has changed). fileName holds no
    // separator. Not for use by several threads.
    std::string ResolvePath(const std::string& directory, const std::string& fileName) const;
    // Listings made by ResolvePath since the last Load.
    std::size_t DirectoryListings() const;

private:
    // Name key -> form, in the order of the chain: equal keys in the order of addition.
    std::multimap<std::string, TFormRec*> formIndex_;
    mutable std::map<std::string, TDirectoryIndex> directoryIndexes_;
};

// File stem of the DataEase system form of that name ("userform" for "users"), or "" when it is none.
std::string SystemFormStem(std::string_view name);

// A packed FAT date and time (local time) as a TDateTime; 0 when the fields do not form a valid date and
// time.
TDateTime DosFileDateToDateTime(std::uint32_t packed);

// Packs a time_t (converted to local time) into the FAT date-and-time form; 0 when it cannot be represented.
std::uint32_t DateTimeToDosFileDate(std::time_t t);

} // namespace corvane
