#pragma once
// Writing a whole database (or some of its forms) into one SQLite file: a table per form, a typed column per
// exported field, and the table "_forms" describing what was written.

#include "database/DEInfoRec.h"
#include "export/ExportRun.h"
#include "export/FormExport.h"
#include "export/OutputFile.h"
#include "text/CodePage.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace corvane {

// The table that describes the exported forms: one row per form entry found, with the form's name, its
// table (NULL for a form without exported fields, which gets none), its data file, the records written,
// the database's version code and the code page of the text.
inline constexpr std::string_view kFormsTable = "_forms";

// SQLite refused a statement while the file was written.
class ESqliteError : public EOutputWriteError {
public:
    using EOutputWriteError::EOutputWriteError;
};

struct TSqliteFormResult {
    std::string FormEntry;
    bool FormFound = false;
    std::string TableName; // UTF-8; empty when the form got no table
    bool DataFileOpened = false;
    bool DataFileShort = false;
    std::int64_t RecordsWritten = 0;
};

struct TSqliteResult {
    bool FileWritten = false;
    std::string FileName;
    TCodePage CodePage = TCodePage::Cp437;
    std::vector<TSqliteFormResult> Forms;
    std::int64_t RecordsWritten = 0;
};

// The table name of a form: its name in UTF-8, made unique among the tables written before it (compared
// without regard to ASCII case) by "_2", "_3" ...; a name that SQLite reserves ("sqlite_...") or that
// equals "_forms" is written with a leading "_" first, an empty name as "form".
std::string SqliteTableName(const std::string& utf8Name, std::vector<std::string>& taken);

// Adds the SQLite format to registry: one table per form, typed columns, the table "_forms" listing each
// form of the plan (a failed one with its error in the column "error").
void RegisterSqliteFormat(TFormatRegistry& registry);

// Writes the forms named by formEntries ("NAME", "NAME=D" ...) of database into the SQLite file fileName,
// the text converted from codePage (nullopt: DefaultCodePage of the database's version; Raw: latin1). The
// file is built under a temporary name in the same directory, in one transaction, and renamed over
// fileName only when complete, so a failure leaves any older file untouched and no partial file. A form
// entry naming no form writes "Table <entry> doesn't exist." to messages and is left out. Throws EInOutError
// when the file cannot be created, ESqliteError / EOutputWriteError when it cannot be written, and what
// reading the database throws (EDELibError, EInOutError ...).
TSqliteResult ExportDatabaseSqlite(const std::vector<std::string>& formEntries, const std::string& fileName,
                                   TDEInfoRec& database, std::optional<TCodePage> codePage,
                                   std::ostream& messages, const TExportHost& host = {});

} // namespace corvane
