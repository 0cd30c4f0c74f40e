#pragma once
// The record scan of the typed writers (SQLite, JSON Lines): one form's columns with unique names and types,
// and its selected records as rows of typed values, handed to a sink.

#include "database/DEInfoRec.h"
#include "export/FormExport.h"
#include "export/TypedValues.h"
#include "text/CodePage.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace corvane {

// The name of the column that flags deleted records, present when deleted records are exported.
inline constexpr std::string_view kDeletedColumn = "_deleted";

struct TTypedColumn {
    const TFieldRec* Field = nullptr;
    std::string Name; // UTF-8
    TColumnType Type = TColumnType::Text;
};

struct TTypedForm {
    const TFormRec* Form = nullptr;
    std::string Name;     // the form's name, UTF-8
    std::string DataFile; // the data file's name, UTF-8
    TFormEntry Entry;     // as split from the form entry (raw bytes)
    // The exported fields in the delimited export's column order, named by their heading names converted
    // to UTF-8. Names that would clash (compared without regard to ASCII case, as SQLite compares them) get
    // "_2", "_3" ... appended; an empty name becomes "column_<position>".
    std::vector<TTypedColumn> Columns;
    bool WithDeleted = false; // the selection takes deleted records: each row carries its deleted flag
};

class TTypedSink {
public:
    virtual ~TTypedSink() = default;
    // Once, before the first row.
    virtual void BeginForm(const TTypedForm& form) = 0;
    // One selected record: a value for each column, in column order.
    virtual void Row(const TTypedForm& form, const std::vector<TTypedValue>& values, bool deleted) = 0;
};

struct TTypedScanResult {
    bool FormFound = false;
    bool DataFileOpened = false;
    bool DataFileShort = false; // the data file held fewer whole slots than RecordCount
    std::int64_t RecordsWritten = 0;
    std::int64_t SlotsRead = 0;
};

// The columns of a form as TTypedForm names them (reads the fields with GetFields, which may throw).
std::vector<TTypedColumn> TypedColumns(const TFieldRec* firstField, TCodePage codePage, bool withDeleted);

// Scans the form named by formEntry ("NAME", "NAME=D" ...) and hands its selected records to sink. A form
// that does not exist writes "Table <entry> doesn't exist." to messages and calls nothing of sink. A data
// file that cannot be opened gives no rows; one shorter than RecordCount gives the slots it holds and a
// warning line. Throws what GetFields, the data file reader and sink throw.
TTypedScanResult ScanTypedForm(const std::string& formEntry, TDEInfoRec& database, TCodePage codePage,
                               char storedDateOrder, std::ostream& messages, TTypedSink& sink,
                               const TExportHost& host = {});

} // namespace corvane
