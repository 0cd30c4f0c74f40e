#pragma once
// The values of the options of corvane-cli, read from their words: each gives the value or, for a word it
// does not take, the line of the usage error.

#include "export/ExportRun.h"
#include "text/CodePage.h"

#include <string>
#include <variant>

namespace corvane {

template <class T> using TParsed = std::variant<T, std::string>; // the value, or the problem

// --format: csv, jsonl, sqlite, xlsx or postgresql.
TParsed<TOutputFormat> ParseFormat(const std::string& word);
// --encoding: a code page by CodePageByName.
TParsed<TCodePage> ParseEncoding(const std::string& word);
// --delimiter: one character, or tab, \t, comma, semicolon, pipe (ASCII case ignored).
TParsed<char> ParseDelimiter(const std::string& word);
// --dates: british, american, metric, iso.
TParsed<TDateOrder> ParseDateOrder(const std::string& word);
// --records: live, deleted, all: the selection letter.
TParsed<char> ParseRecords(const std::string& word);
// --numeric-null: zero (0) or blank (1).
TParsed<int> ParseNumericNull(const std::string& word);
// --jobs: a whole number from 1 to 256.
TParsed<unsigned> ParseJobs(const std::string& word);

} // namespace corvane
