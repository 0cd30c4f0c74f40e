// Writes the one-file formats of a database for the Python tests (the workbook read back with openpyxl, the
// script loaded into a throwaway PostgreSQL server), and the SQLite file they are compared with.
//
// write_formats (--fixture VERSION | --database DIR [--depath DIR]) [--select L|D|A] [--dates B|A|M|iso]
//               [--sheet-rows N] [--schema NAME] [--drop] [--xlsx FILE] [--postgresql FILE] [--sqlite FILE]
//               [--ddl-sqlite FILE] [--ddl-postgresql FILE]
//
// --fixture writes the typed fixture of that version (or "escapes": texts holding backslashes, tabs, line
// ends) (every field kind, accents, empty values, a deleted
// record) into a temporary directory and exports it. Prints one line per form: label, table, records, error.

#include "export/DataFile.h"
#include "export/PostgreSqlScript.h"
#include "export/SqlSchema.h"
#include "export/TypedFixture.h"
#include "sqlite/SqliteExport.h"
#include "tools/testwriter/TestWriter.h"
#ifdef CORVANE_HAVE_XLSX
#include "xlsx/XlsxExport.h"
#endif

#include <fstream>
#include <iostream>
#include <map>
#include <memory>

namespace {

using namespace corvane;
namespace tw = corvane::testwriter;

// Texts that the COPY text format must escape, and two that look like its markers.
void WriteEscapeDatabase(const tw::TempDir& dir) {
    const std::vector<std::string> texts = {"back\\slash", "tab\there", "line\nfeed", "carriage\rreturn",
                                            "\\.",         "\\N",       "end\\",      "N"};
    tw::FormSpec form{.Name = "Escapes", .Fields = {tw::TextField("Text", 20), tw::WholeNumber("Row", 2)}};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        form.Records.push_back({.Values = {{"Text", texts[i]}, {"Row", static_cast<int>(i + 1)}}});
    }
    tw::WriteDatabase(dir.Path(), tw::DatabaseSpec{.Version = 5, .Name = "Escapes", .Forms = {form}});
}

int Usage(const std::string& why) {
    std::cerr << "write_formats: " << why << '\n';
    return 2;
}

void WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
}

// Runs the export of plan into fileName with the format of registry; prints one line per form.
int Export(TDEInfoRec& db, const TExportPlan& plan, TExportOptions options, TOutputFormat format,
           const TFormatRegistry& registry, const std::string& fileName) {
    options.Format = format;
    options.Destination = fileName;
    TRunSetup setup;
    setup.Formats = &registry;
    IExportObserver observer;
    const TRunResult run = RunExport(db, plan, options, observer, setup);
    for (const TFormResult& r : run.Forms) {
        std::cout << r.Label << '\t' << r.Table << '\t' << r.RecordsWritten << '\t' << r.Error << '\n';
    }
    return run.Summary.OneFile.empty() ? 1 : 0;
}

int Run(const std::map<std::string, std::string>& args) {
    auto arg = [&args](const std::string& name) {
        const auto it = args.find(name);
        return it == args.end() ? std::string() : it->second;
    };
    std::unique_ptr<tw::TempDir> fixture;
    TDEInfoRec db;
    if (!arg("--fixture").empty()) {
        fixture = std::make_unique<tw::TempDir>();
        if (arg("--fixture") == "escapes") {
            WriteEscapeDatabase(*fixture);
        } else {
            corvane::testing::WriteAccentDatabase(*fixture, std::stoi(arg("--fixture")));
        }
        corvane::testing::LoadDatabase(db, *fixture);
    } else if (!arg("--database").empty()) {
        std::string dir = arg("--database");
        if (dir.back() != '/') {
            dir += '/';
        }
        db.SetDirectory(dir);
        db.SetDictionaryName("RDRRAAAA.DBM");
        db.Load();
        if (!arg("--depath").empty()) {
            db.DEPath = arg("--depath") + "/";
        }
    } else {
        return Usage("--fixture or --database is needed");
    }

    TExportOptions options;
    options.Schema = arg("--schema");
    options.DropTables = args.count("--drop") != 0;
    const std::map<std::string, TDateOrder> orders = {{"B", TDateOrder::British},
                                                      {"A", TDateOrder::American},
                                                      {"M", TDateOrder::Metric},
                                                      {"iso", TDateOrder::Iso}};
    if (!arg("--dates").empty()) {
        options.OutputDateOrder = orders.at(arg("--dates"));
    }
    const char selection = arg("--select").empty() ? 'L' : arg("--select")[0];
    const TCodePage codePage = DefaultCodePage(db.GetVersion());
    const TExportPlan plan = PlanOfEveryForm(db, selection);

    if (!arg("--ddl-sqlite").empty() || !arg("--ddl-postgresql").empty()) {
        for (const auto& [name, dialect] :
             {std::pair{std::string("--ddl-sqlite"), TSchemaDialect::Sqlite},
              std::pair{std::string("--ddl-postgresql"), TSchemaDialect::PostgreSql}}) {
            if (!arg(name).empty()) {
                std::string ddl;
                WriteSchema(plan, dialect, codePage, options, ddl);
                WriteTextFile(arg(name), ddl);
            }
        }
    }
    int status = 0;
    if (!arg("--sqlite").empty()) {
        TFormatRegistry registry;
        RegisterSqliteFormat(registry);
        status |= Export(db, plan, options, TOutputFormat::Sqlite, registry, arg("--sqlite"));
    }
    if (!arg("--postgresql").empty()) {
        TFormatRegistry registry;
        RegisterPostgreSqlFormat(registry);
        status |= Export(db, plan, options, TOutputFormat::PostgreSql, registry, arg("--postgresql"));
    }
    if (!arg("--xlsx").empty()) {
#ifdef CORVANE_HAVE_XLSX
        const std::int64_t rows =
            arg("--sheet-rows").empty() ? kXlsxSheetRows : std::stoll(arg("--sheet-rows"));
        TFormatRegistry registry;
        registry.Add(TOutputFormat::Xlsx,
                     [rows](const std::string& fileName, const TOneFileContext& context) {
                         return MakeXlsxWriter(fileName, context, rows);
                     });
        status |= Export(db, plan, options, TOutputFormat::Xlsx, registry, arg("--xlsx"));
#else
        return Usage("this build has no workbook format");
#endif
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--drop") {
            args[name] = "1";
        } else if (name.rfind("--", 0) == 0 && i + 1 < argc) {
            args[name] = argv[++i];
        } else {
            return Usage("unexpected argument " + name);
        }
    }
    try {
        return Run(args);
    } catch (const std::exception& error) {
        std::cerr << "write_formats: " << DescribeError(error) << '\n';
        return 1;
    }
}
