#pragma once
// The output format and character set options of corvane-cli export (--format, --encoding).

#include "cli/Commands.h"
#include "export/ExportRun.h"
#include "text/CodePage.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace corvane {

struct TFormatOptions {
    TOutputFormat Format = TOutputFormat::Delimited;
    // nullopt: raw for csv, the version's usual code page for the typed formats.
    std::optional<TCodePage> Encoding;
};

// The usage lines of the two options.
extern const char* const kFormatUsage;

// True for "--format" and "--encoding".
bool IsFormatOption(const std::string& arg);

// Reads the option at args[i] and its value (advancing i past it); returns an error text for a usage error.
std::optional<std::string> ParseFormatOption(const CliArgs& args, std::size_t& i, TFormatOptions& options);

} // namespace corvane
