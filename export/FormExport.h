#pragma once
// Writing one form to one delimited text file.

#include "database/DEInfoRec.h"
#include "text/CodePage.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace corvane {

// What the export needs from its caller besides the ten inputs: where to show the "IO Error: " message, how
// to report progress, and a way to stop early. Every member has a harmless default.
struct TExportHost {
    // The output file could not be created: text is "IO Error: <code>", systemText the platform's
    // description.
    std::function<void(const std::string& text, int code, const std::string& systemText)> ShowIOError;
    // Called now and then during the record scan.
    std::function<void(std::int64_t slotsDone, std::int64_t slotsTotal)> Progress;
    // The short date format for day-count dates (%d, %m, %Y, %y and literal characters); empty: the locale's.
    std::string ShortDateFormat;
    // The code page every line is converted from to UTF-8; Raw writes the bytes exactly as stored.
    TCodePage Encoding = TCodePage::Raw;
};

struct TExportResult {
    bool FileWritten = false; // the output file exists under its final name
    std::string FileName;     // the output file's name
    bool FormFound = false;
    std::int64_t RecordsWritten = 0;
    bool DataFileOpened = false; // the data file was found and opened
    std::int64_t SlotsRead = 0;  // record slots read from the data file
    bool DataFileShort = false;  // the data file held fewer whole slots than RecordCount
    std::size_t Columns = 0;     // columns of the heading line (0: the definition gave no exported field)
};

// The parts of a form entry: the form name, the file stem and the record selection letter.
struct TFormEntry {
    std::string FormName;
    std::string Stem;
    char Selection = 'L';
};
// "NAME" gives NAME, NAME without "/", 'L'; "NAME=x" gives NAME, NAME without "/", x upper-cased ('L' when
// nothing follows).
TFormEntry SplitFormEntry(const std::string& formEntry);

// The output file stem of a form name: the name without "/" (and without the platform's separator), so that
// the file always lands in the destination directory.
std::string FileStem(const std::string& formName);

// The column heading of a field: its name with each of ",;:+-= ." replaced by "_", and "DATE_" for a name
// that reads DATE in any case.
std::string HeadingName(const std::string& fieldName);

// The exported columns of a form in order: the fields with Flag3, then the others; fields with Flag7 left
// out.
std::vector<const TFieldRec*> ExportColumns(const TFieldRec* firstField);

// Exports the form named by formEntry ("NAME", "NAME=D" ...) to destination + stem + "." + extension.
// storedDateOrder and outputDateOrder are 'A', 'B' or 'M'; numericNull 0 writes an empty number as "0", any
// other value as nothing. Diagnostic lines ("Table X doesn't exist.", warnings) go to messages. Throws what
// GetFields, the date order reader and the output writer throw (EDELibError, EInOutError ...).
TExportResult ExportForm(const std::string& formEntry, const std::string& destination,
                         const std::string& extension, char storedDateOrder, char outputDateOrder,
                         char delimiter, const std::string& headingQualifier, TDEInfoRec& database,
                         std::ostream& messages, int numericNull, const TExportHost& host = {});

} // namespace corvane
