#pragma once
// The output format and character set options of corvane-cli export (--format, --encoding) and the export
// run of the typed formats (SQLite, JSON Lines).

#include "cli/Commands.h"
#include "database/DEInfoRec.h"
#include "text/CodePage.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace corvane {

enum class TOutputFormat { Csv, Sqlite, Jsonl };

struct TFormatOptions {
    TOutputFormat Format = TOutputFormat::Csv;
    // nullopt: raw for csv, the version's usual code page for sqlite and jsonl.
    std::optional<TCodePage> Encoding;
};

// The usage lines of the two options.
extern const char* const kFormatUsage;

// True for "--format" and "--encoding".
bool IsFormatOption(const std::string& arg);

// Reads the option at args[i] and its value (advancing i past it); returns an error text for a usage error.
std::optional<std::string> ParseFormatOption(const CliArgs& args, std::size_t& i, TFormatOptions& options);

// The code page the delimited export converts to UTF-8 with (Raw: none).
TCodePage CsvEncoding(const TFormatOptions& options);

// Runs the export of entries in the typed format of options: sqlite writes the one file out, jsonl one
// <stem>.jsonl per entry in the directory out. Messages, warnings and a summary line go to err. Returns
// 0 when every entry was exported, 1 otherwise; an error reading the database ends the run.
int RunTypedExport(const TFormatOptions& options, TDEInfoRec& database,
                   const std::vector<std::string>& entries, const std::string& out, std::ostream& err);

} // namespace corvane
