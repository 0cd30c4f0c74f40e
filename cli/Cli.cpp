// The command line of corvane-cli: parsed here, then handed to the commands.

#include "cli/Cli.h"

#include "cli/Commands.h"
#include "cli/FormatOptions.h"
#include "database/Errors.h"
#include "export/DataFile.h"
#include "version/Version.h"

#include <CLI/CLI.hpp>

#include <map>
#include <string_view>

namespace corvane {

namespace {

constexpr const char* kMainHelp =
    "usage: corvane-cli COMMAND [OPTIONS] [ARGS]\n"
    "\n"
    "Reads DataEase 4.x, 5.x and DfW databases without changing them, and exports their forms.\n"
    "\n"
    "commands:\n"
    "  databases DIR [-r]      list the databases (dictionary files rdrr?aaa.dbm) in DIR, or below it\n"
    "  forms DATABASE          list the forms of a database as the main window lists them\n"
    "  fields DATABASE -f FORM list the fields of one form in definition order\n"
    "  export DATABASE -o OUT  export the forms: delimited text (--format csv, the default), JSON Lines\n"
    "                          (--format jsonl), or one SQLite file, workbook or PostgreSQL script "
    "(--format\n"
    "                          sqlite|xlsx|postgresql); --encoding CP converts the text to UTF-8 from the\n"
    "                          code page CP\n"
    "  schema DATABASE         the CREATE TABLE statements of an export (--dialect postgresql|sqlite)\n"
    "  encodings               list the code pages that --encoding takes\n"
    "  help [COMMAND]          this text, or the options of COMMAND\n"
    "\n"
    "options:\n"
    "  -h, --help              this text; after a command, the options of that command\n"
    "  -V, --version           the version of corvane-cli\n"
    "\n"
    "DATABASE is a dictionary file, or a directory that holds exactly one. Options may come in any order,\n"
    "as --opt VALUE or --opt=VALUE. Exit status: 0 success, 1 an error, 2 a usage error.\n";

constexpr const char* kDatabasesHelp =
    "usage: corvane-cli databases DIR [-r] [--json]\n"
    "\n"
    "Lists the DataEase databases in DIR: dictionary file, version code and name, one per line.\n"
    "\n"
    "  -r, --recursive     look below DIR too; the first column is then the path below DIR\n"
    "      --json          a JSON array of objects: path, file, version, label, name\n"
    "  -h, --help          this text\n";

constexpr const char* kFormsHelp =
    "usage: corvane-cli forms DATABASE [-a] [--json] [--depath DIR] [-e CP]\n"
    "\n"
    "Lists the forms of a database as the main window lists them (system forms only while the DataEase\n"
    "program directory is known, with a leading blank).\n"
    "\n"
    "  -a, --all           every form of the catalogue: name, data file, record length, record count,\n"
    "                      system form, variant level, object file\n"
    "      --json          a JSON array of objects: name, line, data_file, record_length, record_count,\n"
    "                      system_form, variant_level, object_file\n"
    "      --depath DIR    the DataEase program directory (default: the variable depath or DEPATH)\n"
    "  -e, --encoding CP   the code page of the names (default: cp437 for 4.x and 5.x, cp1252 for DfW in\n"
    "                      JSON; the bytes as stored in text)\n"
    "  -h, --help          this text\n";

constexpr const char* kFieldsHelp =
    "usage: corvane-cli fields DATABASE -f FORM [--json] [--depath DIR] [-e CP]\n"
    "\n"
    "Lists the fields of one form in definition order: name, field type, length, subtype, integer digits,\n"
    "offset, size, flag 3, flag 7 and the choices (separated by |).\n"
    "\n"
    "  -f, --form FORM     the form\n"
    "      --json          a JSON array of objects: name, field_type, length, sub_type, int_digits, offset,\n"
    "                      size, flag3, flag7, choices\n"
    "      --depath DIR    the DataEase program directory (default: the variable depath or DEPATH)\n"
    "  -e, --encoding CP   the code page of the names (default as for forms)\n"
    "  -h, --help          this text\n";

constexpr const char* kExportHelp =
    "usage: corvane-cli export DATABASE -o OUT [OPTIONS]\n"
    "       corvane-cli export DIR -r -o OUT [OPTIONS]\n"
    "\n"
    "Exports the forms of a database: one file <form>.<ext> per form in the directory OUT (csv, jsonl), or\n"
    "one file OUT for them all (sqlite, xlsx, postgresql). A missing directory is created with its parents.\n"
    "Every file is written under a temporary name and replaces an older one only when complete.\n"
    "\n"
    "  -o, --out OUT             the output directory, or the file of a one-file format; \"-\": standard\n"
    "                            output, for exactly one form as csv or jsonl, or the postgresql script\n"
    "  -f, --form ENTRY          a form to export (repeatable): its name, optionally followed by \"=\" and\n"
    "                            L, D or A (live, deleted, all records); without -f, every form that the\n"
    "                            form list shows\n"
    "  -F, --format FORMAT       csv (default), jsonl, sqlite, xlsx (a workbook) or postgresql (an SQL\n"
    "                            script)\n"
    "  -e, --encoding CP         converts text to UTF-8 from the code page CP (corvane-cli encodings lists\n"
    "                            them); default raw (the bytes as stored) for csv, cp437 (4.x, 5.x) or\n"
    "                            cp1252 (DfW) for the other formats\n"
    "  -d, --delimiter C         the separator of csv fields: one character, or tab, \\t, comma, semicolon,\n"
    "                            pipe (default ,)\n"
    "      --ext EXT             the extension of csv files, at most 3 characters (default csv)\n"
    "      --quote-headings      heading names in double quotes\n"
    "      --dates ORDER         british (default), american, metric or iso (yyyy-mm-dd)\n"
    "      --numeric-null WHAT   an empty number as zero (default) or blank\n"
    "      --records WHICH       live (default), deleted or all\n"
    "      --short-date-format F the format of day-count dates (default: the locale's)\n"
    "      --depath DIR          the DataEase program directory (default: the variable depath or DEPATH)\n"
    "      --schema NAME         postgresql: the tables in this schema\n"
    "      --drop                postgresql: DROP TABLE before each CREATE TABLE\n"
    "  -r, --recursive           DIR: export every database below it, each into OUT/<its path below DIR>/\n"
    "                            (one-file formats: OUT/<its path below DIR>.<format>, .sql for\n"
    "                            postgresql); a database directly in DIR, or\n"
    "                            one of several in a directory, adds its dictionary name without .dbm\n"
    "  -j, --jobs N              databases exported at once with -r (default: the number of cores)\n"
    "  -q, --quiet               no progress and no summary; errors still show\n"
    "      --progress            progress on standard error even when it is not a terminal\n"
    "  -h, --help                this text\n"
    "\n"
    "Messages, progress and the summary go to standard error. Exit status: 0 every form exported, 1 any\n"
    "form (or database) failed, 2 a usage error.\n";

constexpr const char* kEncodingsHelp =
    "usage: corvane-cli encodings\n"
    "\n"
    "Lists the code pages that --encoding takes, built-in ones first. Names are compared without regard to\n"
    "case; 437 or ibm437 is cp437, windows-1252 is cp1252, iso-8859-1 is latin1. Any other single-byte code\n"
    "page that the C library's iconv knows is taken too.\n"
    "\n"
    "  -h, --help          this text\n";

constexpr const char* kSchemaHelp =
    "usage: corvane-cli schema DATABASE [OPTIONS]\n"
    "\n"
    "Prints the CREATE TABLE statements that an export of the same forms writes, without their data.\n"
    "\n"
    "      --dialect D           postgresql (default, as --format postgresql writes them) or sqlite (as\n"
    "                            --format sqlite does)\n"
    "  -f, --form ENTRY          a form (repeatable); without -f, every form that the form list shows\n"
    "  -e, --encoding CP         the code page of the names (default cp437 for 4.x and 5.x, cp1252 for DfW)\n"
    "      --records WHICH       live (default), deleted or all: deleted and all add the _deleted column\n"
    "      --schema NAME         postgresql: the tables in this schema\n"
    "      --drop                postgresql: DROP TABLE before each CREATE TABLE\n"
    "      --depath DIR          the DataEase program directory (default: the variable depath or DEPATH)\n"
    "  -h, --help                this text\n";

constexpr const char* kHelpHelp = "usage: corvane-cli help [COMMAND]\n"
                                  "\n"
                                  "Prints the commands of corvane-cli, or the options of COMMAND.\n";

const std::map<std::string, const char*, std::less<>>& CommandHelps() {
    static const std::map<std::string, const char*, std::less<>> helps = {
        {"databases", kDatabasesHelp}, {"forms", kFormsHelp},         {"fields", kFieldsHelp},
        {"export", kExportHelp},       {"encodings", kEncodingsHelp}, {"help", kHelpHelp},
        {"schema", kSchemaHelp},
    };
    return helps;
}

// The synopsis of a command (the first line of its help), or of the tool for "".
std::string Synopsis(const std::string& command) {
    const auto it = CommandHelps().find(command);
    const std::string help = it == CommandHelps().end() ? kMainHelp : it->second;
    return help.substr(0, help.find('\n'));
}

int UsageError(std::ostream& err, const std::string& command, const std::string& problem) {
    err << "corvane-cli: " << problem << "\n"
        << Synopsis(command) << "\n"
        << "(corvane-cli " << (command.empty() ? "" : command + " ") << "--help tells more)\n";
    return 2;
}

int Fail(std::ostream& err, const std::string& message) {
    err << "corvane-cli: " << message << "\n";
    return 1;
}

// What an option without its value needs, for the line of the usage error.
std::string NeedsText(const std::string& option) {
    static const std::map<std::string, std::string, std::less<>> needs = {
        {"--out", "a directory or file"},
        {"--form", "a form entry"},
        {"--format", "csv, jsonl, sqlite, xlsx or postgresql"},
        {"--encoding", "a code page (corvane-cli encodings lists them)"},
        {"--delimiter", "a character"},
        {"--ext", "an extension"},
        {"--dates", "british, american, metric or iso"},
        {"--schema", "a schema name"},
        {"--numeric-null", "zero or blank"},
        {"--records", "live, deleted or all"},
        {"--short-date-format", "a format"},
        {"--depath", "a directory"},
        {"--jobs", "a number"},
    };
    const auto it = needs.find(option);
    return it == needs.end() ? "a value" : it->second;
}

// The line for an error of the parser: its own words, except for an option given without its value.
std::string ParserProblem(const CLI::ParseError& error) {
    const std::string what = error.what();
    const std::size_t colon = what.find(':');
    if (error.get_name() == "ArgumentMismatch" && colon != std::string::npos && what.rfind("--", 0) == 0 &&
        what.find("missing", colon) != std::string::npos) {
        const std::string option = what.substr(0, colon);
        return option + " needs " + NeedsText(option);
    }
    if (!what.empty() && what[0] >= 'A' && what[0] <= 'Z') {
        return static_cast<char>(what[0] - 'A' + 'a') + what.substr(1);
    }
    return what;
}

// The arguments a command left over: an unknown option, or one argument too many.
void CheckExtras(const CLI::App& command, const std::string& name, const char* takes) {
    for (const std::string& extra : command.remaining()) {
        if (extra.size() > 1 && extra[0] == '-') {
            throw EUsageError(name, "unknown option " + extra);
        }
    }
    if (!command.remaining().empty()) {
        throw EUsageError(name, name + " takes " + takes);
    }
}

template <class T> T Value(const std::string& command, const TParsed<T>& parsed) {
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        throw EUsageError(command, *problem);
    }
    return std::get<T>(parsed);
}

CLI::App* AddCommand(CLI::App& app, const std::string& name, bool& help) {
    CLI::App* command = app.add_subcommand(name);
    command->set_help_flag();
    command->allow_extras();
    command->add_flag("-h,--help", help);
    return command;
}

} // namespace

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err) {
    CLI::App app("", "corvane-cli");
    // Options are written -x and --name everywhere; an argument starting with "/" is a path, never an option.
    app.allow_windows_style_options(false);
    app.set_help_flag();
    app.allow_extras();
    app.require_subcommand(0, 1);
    bool help = false;
    bool version = false;
    app.add_flag("-h,--help", help);
    app.add_flag("-V,--version", version);

    TListingArgs listing;
    std::string encoding;
    CLI::App* databases = AddCommand(app, "databases", help);
    databases->add_option("DIR", listing.Path);
    databases->add_option("-e,--encoding", encoding);
    databases->add_flag("--json", listing.Json);
    databases->add_flag("-r,--recursive", listing.Recursive);

    CLI::App* forms = AddCommand(app, "forms", help);
    forms->add_option("DATABASE", listing.Path);
    forms->add_flag("-a,--all", listing.All);
    forms->add_flag("--json", listing.Json);
    forms->add_option("--depath", listing.DEPath);
    forms->add_option("-e,--encoding", encoding);

    CLI::App* fields = AddCommand(app, "fields", help);
    fields->add_option("DATABASE", listing.Path);
    CLI::Option* fieldsForm = fields->add_option("-f,--form", listing.Form);
    fields->add_flag("--json", listing.Json);
    fields->add_option("--depath", listing.DEPath);
    fields->add_option("-e,--encoding", encoding);

    TExportArgs exportArgs;
    std::string format, delimiter, extension, dates, numericNull, records, jobs;
    bool quoteHeadings = false;
    CLI::App* exporting = AddCommand(app, "export", help);
    exporting->add_option("DATABASE", exportArgs.Database);
    CLI::Option* outOption = exporting->add_option("-o,--out", exportArgs.Out);
    exporting->add_option("-f,--form", exportArgs.Forms)->allow_extra_args(false);
    CLI::Option* formatOption = exporting->add_option("-F,--format", format);
    exporting->add_option("-e,--encoding", encoding);
    CLI::Option* delimiterOption = exporting->add_option("-d,--delimiter", delimiter);
    CLI::Option* extOption = exporting->add_option("--ext", extension);
    exporting->add_flag("--quote-headings", quoteHeadings);
    CLI::Option* datesOption = exporting->add_option("--dates", dates);
    CLI::Option* nullOption = exporting->add_option("--numeric-null", numericNull);
    CLI::Option* recordsOption = exporting->add_option("--records", records);
    CLI::Option* shortDateOption =
        exporting->add_option("--short-date-format", exportArgs.Options.ShortDateFormat);
    CLI::Option* depathOption = exporting->add_option("--depath", exportArgs.DEPath);
    CLI::Option* schemaOption = exporting->add_option("--schema", exportArgs.Options.Schema);
    exporting->add_flag("--drop", exportArgs.Options.DropTables);
    exporting->add_flag("-r,--recursive", exportArgs.Recursive);
    CLI::Option* jobsOption = exporting->add_option("-j,--jobs", jobs);
    exporting->add_flag("-q,--quiet", exportArgs.Quiet);
    exporting->add_flag("--progress", exportArgs.Progress);

    TExportArgs schemaArgs;
    std::string dialect = "postgresql";
    std::string schemaRecords;
    CLI::App* schema = AddCommand(app, "schema", help);
    schema->add_option("DATABASE", schemaArgs.Database);
    schema->add_option("--dialect", dialect);
    schema->add_option("-f,--form", schemaArgs.Forms)->allow_extra_args(false);
    schema->add_option("-e,--encoding", encoding);
    CLI::Option* schemaRecordsOption = schema->add_option("--records", schemaRecords);
    schema->add_option("--schema", schemaArgs.Options.Schema);
    schema->add_flag("--drop", schemaArgs.Options.DropTables);
    schema->add_option("--depath", schemaArgs.DEPath);

    AddCommand(app, "encodings", help);
    CLI::App* helpCommand = AddCommand(app, "help", help);
    std::string helpTopic;
    helpCommand->add_option("COMMAND", helpTopic);

    std::string command;
    try {
        try {
            app.parse(argc, argv);
        } catch (const CLI::ParseError& error) {
            for (const CLI::App* sub : app.get_subcommands()) {
                command = sub->get_name();
            }
            return UsageError(err, command, ParserProblem(error));
        }
        for (const CLI::App* sub : app.get_subcommands()) {
            command = sub->get_name();
        }
        if (command.empty()) {
            if (help) {
                out << kMainHelp;
                return 0;
            }
            if (version) {
                out << "corvane-cli " << CorvaneVersion() << "\n";
                return 0;
            }
            for (const std::string& extra : app.remaining()) {
                throw EUsageError(
                    "",
                    (extra.size() > 1 && extra[0] == '-' ? "unknown option " : "unknown command ") + extra);
            }
            throw EUsageError("", "no command given");
        }
        if (help) {
            out << CommandHelps().at(command);
            return 0;
        }

        if (command == "help") {
            CheckExtras(*helpCommand, command, "one command");
            if (helpTopic.empty()) {
                out << kMainHelp;
                return 0;
            }
            const auto it = CommandHelps().find(helpTopic);
            if (it == CommandHelps().end()) {
                throw EUsageError("help", "unknown command " + helpTopic);
            }
            out << it->second;
            return 0;
        }
        if (command == "encodings") {
            CheckExtras(*app.get_subcommand("encodings"), command, "no argument");
            return RunEncodingsCommand(out);
        }
        if (app.get_subcommand(command)->count("--encoding") > 0) {
            const TCodePage codePage = Value(command, ParseEncoding(encoding));
            listing.Encoding = codePage;
            exportArgs.Options.Encoding = codePage;
            schemaArgs.Options.Encoding = codePage;
        }
        if (command == "schema") {
            CheckExtras(*schema, command, "one database");
            if (schemaArgs.Database.empty()) {
                throw EUsageError(command, "schema needs a database");
            }
            if (dialect != "postgresql" && dialect != "sqlite") {
                throw EUsageError(command, "--dialect takes postgresql or sqlite, not " + dialect);
            }
            if (schemaRecordsOption->count() > 0) {
                schemaArgs.Selection = Value(command, ParseRecords(schemaRecords));
            }
            return RunSchemaCommand(schemaArgs,
                                    dialect == "sqlite" ? TSchemaDialect::Sqlite : TSchemaDialect::PostgreSql,
                                    out, err);
        }
        if (command == "databases" || command == "forms" || command == "fields") {
            const CLI::App& sub = *app.get_subcommand(command);
            CheckExtras(sub, command, command == "databases" ? "one directory" : "one database");
            if (listing.Path.empty()) {
                throw EUsageError(command, command == "databases" ? "databases needs a directory"
                                                                  : command + " needs a database");
            }
            if ((command == "forms" || command == "fields") && sub.count("--depath") > 0 &&
                listing.DEPath.empty()) {
                throw EUsageError(command, "--depath needs a directory");
            }
            if (command == "databases") {
                return RunDatabasesCommand(listing, out, err);
            }
            if (command == "forms") {
                return RunFormsCommand(listing, out, err);
            }
            if (fieldsForm->count() == 0) {
                throw EUsageError(command, "fields needs --form NAME");
            }
            return RunFieldsCommand(listing, out, err);
        }

        // export
        CheckExtras(*exporting, command, "one database");
        TExportOptions& options = exportArgs.Options;
        if (formatOption->count() > 0) {
            options.Format = Value(command, ParseFormat(format));
        }
        if (delimiterOption->count() > 0) {
            options.Delimiter = Value(command, ParseDelimiter(delimiter));
        }
        if (extOption->count() > 0) {
            if (extension.size() > 3) {
                throw EUsageError(command, "--ext takes at most 3 characters: " + extension);
            }
            options.Extension = extension;
        }
        if (quoteHeadings) {
            options.HeadingQualifier = "\"";
        }
        if (datesOption->count() > 0) {
            options.OutputDateOrder = Value(command, ParseDateOrder(dates));
        }
        if (nullOption->count() > 0) {
            options.NumericNull = Value(command, ParseNumericNull(numericNull));
        }
        if (recordsOption->count() > 0) {
            exportArgs.Selection = Value(command, ParseRecords(records));
        }
        if (jobsOption->count() > 0) {
            exportArgs.Jobs = Value(command, ParseJobs(jobs));
        }
        if (shortDateOption->count() > 0 && options.ShortDateFormat.empty()) {
            throw EUsageError(command, "--short-date-format needs a format");
        }
        if (schemaOption->count() > 0 && options.Schema.empty()) {
            throw EUsageError(command, "--schema needs a schema name");
        }
        if (depathOption->count() > 0 && exportArgs.DEPath.empty()) {
            throw EUsageError(command, "--depath needs a directory");
        }
        if (exportArgs.Database.empty()) {
            throw EUsageError(command, "export needs a database");
        }
        if (outOption->count() == 0) {
            throw EUsageError(command, "export needs --out DIR");
        }
        if (exportArgs.Out.empty()) {
            throw EUsageError(command, "--out needs a directory or file");
        }
        if (const auto problem = CheckExportOptions(options)) {
            throw EUsageError(command, *problem);
        }
        return RunExportCommand(exportArgs, err);
    } catch (const EUsageError& error) {
        return UsageError(err, error.Command(), error.what());
    } catch (const std::exception& e) {
        return Fail(err, DescribeError(e));
    }
}

} // namespace corvane
