#pragma once
// The tables of the SQL formats (the SQLite file, the PostgreSQL script): table and column names, the
// declared type of each column, and the CREATE TABLE statements alone, for a schema without data.

#include "database/DEInfoRec.h"
#include "export/ExportRun.h"
#include "export/TypedExport.h"
#include "text/CodePage.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The table that lists the exported forms in the SQL formats and the workbook's sheet of the same name.
inline constexpr std::string_view kFormsTableName = "_forms";

// PostgreSQL keeps the first 63 bytes of a longer identifier.
inline constexpr std::size_t kPostgreSqlNameBytes = 63;

// name between double quotes, each double quote doubled.
std::string QuoteSqlIdentifier(std::string_view name);

// The declared type of a column in the SQLite file: INTEGER, REAL or TEXT.
std::string_view SqliteDeclaredType(TColumnType type);

// The first maxBytes bytes of a UTF-8 name, cut before a character that would not fit whole.
std::string CutUtf8(std::string_view name, std::size_t maxBytes);

// The table name of a form: its name in UTF-8, made unique among the names taken before it (compared
// without regard to ASCII case) by "_2", "_3" ...; a name that SQLite reserves ("sqlite_...") or that equals
// "_forms" is written with a leading "_" first, an empty name as "form", a NUL byte as "_". With maxBytes
// (0: no limit) the name, suffix included, is cut to that many bytes. The result is added to taken.
std::string UniqueTableName(const std::string& utf8Name, std::vector<std::string>& taken,
                            std::size_t maxBytes = 0);

// The column names of form for a server that keeps maxBytes of a name: the names of form.Columns cut to
// maxBytes and made unique again (ASCII case ignored) by "_2", "_3" ...; the deleted flag's column last when
// form.WithDeleted.
std::vector<std::string> SqlColumnNames(const TTypedForm& form, std::size_t maxBytes);

enum class TPostgreSqlKind { SmallInt, Integer, BigInt, Numeric, Real, Double, Date, Time, Text };

struct TPostgreSqlType {
    TPostgreSqlKind Kind = TPostgreSqlKind::Text;
    int Precision = 0; // numeric only
    int Scale = 0;     // numeric only
};

// The PostgreSQL type of a column, by its field: whole numbers smallint (one byte, 0 to 255), integer (two
// bytes unsigned, four bytes signed) or bigint; fixed point numeric(p,s), s its decimals Length - IntDigits
// - 1 and p = IntDigits + s (double precision when the definition gives no decimals count); floating real
// (four bytes) or double precision; dates date; times time; everything else text.
TPostgreSqlType PostgreSqlTypeOf(const TTypedColumn& column);
// "smallint", "numeric(7,2)" ...
std::string PostgreSqlTypeName(const TPostgreSqlType& type);

enum class TSchemaDialect { PostgreSql, Sqlite };

// The DDL of the tables that an export of plan writes, texts converted from codePage (Raw: latin1): for
// SQLite the CREATE TABLE statements of the SQLite file (the forms table last, as there), for PostgreSQL
// those of the script, in the schema options.Schema (created if missing) and after DROP TABLE IF EXISTS
// with options.DropTables. Each statement ends in ";" and a line end. Items that name no form, and forms
// without exported fields (they get no table), are left out. Throws what reading a form's fields throws.
void WriteSchema(const TExportPlan& plan, TSchemaDialect dialect, TCodePage codePage,
                 const TExportOptions& options, std::string& out);

// The statements that create one form's table in PostgreSQL (a DROP first with dropTable); qualifiedTable
// is the table's name already quoted (and schema-qualified), columnNames from SqlColumnNames.
void AppendPostgreSqlCreateTable(std::string& out, const std::string& qualifiedTable, const TTypedForm& form,
                                 const std::vector<std::string>& columnNames, bool dropTable);

// The statements that create the forms table in PostgreSQL.
void AppendPostgreSqlFormsTable(std::string& out, const std::string& qualifiedTable, bool dropTable);

} // namespace corvane
