#pragma once
// Writing one form as JSON Lines: one JSON object per selected record, one record per line ("\n"), keys the
// column names of the typed export, values typed (numbers, strings, null), text in UTF-8.

#include "database/DEInfoRec.h"
#include "export/FormExport.h"
#include "export/TypedValues.h"
#include "text/CodePage.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace corvane {

// Appends utf8 as a JSON string: '"' and '\' escaped, control characters as \uXXXX (\n, \r, \t and the
// like by their short escapes), every other byte unchanged.
void AppendJsonString(std::string& out, std::string_view utf8);

// Appends a finite double as a JSON number in its shortest exact form ("0.1", "1e+36", "-0"); null for NaN
// and infinities, which JSON cannot hold.
void AppendJsonReal(std::string& out, double value);

// Appends one typed value: null, an integer, a number or a string.
void AppendJsonValue(std::string& out, const TTypedValue& value);

struct TJsonlResult {
    bool FileWritten = false; // the output file exists under its final name
    std::string FileName;
    bool FormFound = false;
    bool DataFileOpened = false;
    bool DataFileShort = false;
    std::int64_t RecordsWritten = 0;
};

// Writes the form named by formEntry ("NAME", "NAME=D" ...) to destination + stem + ".jsonl", through a
// temporary file renamed over the final name when complete. Each line is an object of the columns in
// order, then "_deleted" (false/true) when deleted records are exported. A form that does not exist writes
// "Table <entry> doesn't exist." to messages and no file. Throws EInOutError when the file cannot be created,
// EOutputWriteError when a write fails, and what reading the database throws; no partial file is left.
TJsonlResult ExportFormJsonl(const std::string& formEntry, const std::string& destination,
                             TDEInfoRec& database, TCodePage codePage, char storedDateOrder,
                             std::ostream& messages, const TExportHost& host = {});

} // namespace corvane
