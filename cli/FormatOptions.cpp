#include "cli/FormatOptions.h"


namespace corvane {


const char* const kFormatUsage =
    "                          [--format csv|jsonl|sqlite|xlsx|postgresql] [--encoding raw|cp437|cp850|cp852|cp1250|cp1252|"
    "latin1]\n"
    "  --format sqlite writes one SQLite file: --out names the file. jsonl writes <form>.jsonl files.\n"
    "  --encoding converts text to UTF-8 from that code page; default raw (bytes as stored) for csv, cp437\n"
    "  (versions 3 and 5) or cp1252 (6 and 7) for sqlite and jsonl.\n";

bool IsFormatOption(const std::string& arg) {
    return arg == "--format" || arg == "--encoding";
}

std::optional<std::string> ParseFormatOption(const CliArgs& args, std::size_t& i, TFormatOptions& options) {
    const std::string& arg = args[i];
    if (i + 1 >= args.size()) {
        return arg == "--format" ? "--format needs csv, jsonl, sqlite, xlsx or postgresql"
                                 : "--encoding needs a code page: " + std::string(CodePageNames());
    }
    const std::string& v = args[++i];
    if (arg == "--format") {
        const std::optional<TOutputFormat> format = FormatByName(v);
        if (!format) {
            return "--format takes csv, jsonl, sqlite, xlsx or postgresql, not " + v;
        }
        options.Format = *format;
        return std::nullopt;
    }
    options.Encoding = CodePageByName(v);
    if (!options.Encoding) {
        return "--encoding takes " + std::string(CodePageNames()) + ", not " + v;
    }
    return std::nullopt;
}

} // namespace corvane
