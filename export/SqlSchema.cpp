#include "export/SqlSchema.h"

#include "database/FieldRec.h"
#include "export/DataFile.h"
#include "text/TextUtils.h"

#include <algorithm>

namespace corvane {

namespace {

constexpr std::string_view kSqliteReservedPrefix = "SQLITE_";
// numeric's largest precision.
constexpr int kNumericMaxPrecision = 1000;

bool IsTakenName(const std::vector<std::string>& taken, const std::string& candidate) {
    return std::any_of(taken.begin(), taken.end(),
                       [&candidate](const std::string& t) { return SameNameKey(t, candidate); });
}

// base, or base with "_2", "_3" ... not yet in taken; base is cut so that name and suffix fit maxBytes.
std::string UniqueName(const std::string& base, const std::vector<std::string>& taken, std::size_t maxBytes) {
    auto fit = [maxBytes](const std::string& stem, const std::string& suffix) {
        return maxBytes == 0 ? stem + suffix : CutUtf8(stem, maxBytes - suffix.size()) + suffix;
    };
    std::string result = fit(base, "");
    for (int n = 2; IsTakenName(taken, result); ++n) {
        result = fit(base, "_" + std::to_string(n));
    }
    return result;
}

bool TakesDeleted(char selection) {
    return selection == kSelectDeleted || selection == kSelectAll;
}

} // namespace

std::string_view SqliteDeclaredType(TColumnType type) {
    switch (type) {
    case TColumnType::Integer:
        return "INTEGER";
    case TColumnType::Real:
        return "REAL";
    case TColumnType::Text:
        break;
    }
    return "TEXT";
}

std::string QuoteSqlIdentifier(std::string_view name) {
    std::string quoted = "\"";
    for (const char c : name) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    quoted += '"';
    return quoted;
}

std::string CutUtf8(std::string_view name, std::size_t maxBytes) {
    if (name.size() <= maxBytes) {
        return std::string(name);
    }
    std::size_t end = maxBytes;
    // Back up over continuation bytes to the start of the character that does not fit.
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) {
        --end;
    }
    return std::string(name.substr(0, end));
}

std::string UniqueTableName(const std::string& utf8Name, std::vector<std::string>& taken,
                            std::size_t maxBytes) {
    // A NUL byte would end the statement's text early.
    std::string name = utf8Name.empty() ? "form" : ReplaceChars(utf8Name, std::string_view("\0", 1), '_');
    const std::string key = UpperCaseAscii(name);
    if (key.compare(0, kSqliteReservedPrefix.size(), kSqliteReservedPrefix) == 0 ||
        key == UpperCaseAscii(kFormsTableName)) {
        name.insert(0, "_");
    }
    std::string result = UniqueName(name, taken, maxBytes);
    taken.push_back(result);
    return result;
}

std::vector<std::string> SqlColumnNames(const TTypedForm& form, std::size_t maxBytes) {
    std::vector<std::string> names;
    std::vector<std::string> taken;
    if (form.WithDeleted) {
        taken.emplace_back(kDeletedColumn);
    }
    for (const TTypedColumn& column : form.Columns) {
        // The typed columns are unique already; only a cut can make two alike.
        std::string name = UniqueName(column.Name, taken, maxBytes);
        taken.push_back(name);
        names.push_back(std::move(name));
    }
    if (form.WithDeleted) {
        names.emplace_back(kDeletedColumn);
    }
    return names;
}

TPostgreSqlType PostgreSqlTypeOf(const TTypedColumn& column) {
    TPostgreSqlType type;
    const TFieldRec& field = *column.Field;
    switch (field.FieldType) {
    case kFieldNumber:
        if (field.SubType == 0) {
            type.Kind = field.Size == 1   ? TPostgreSqlKind::SmallInt
                        : field.Size == 2 ? TPostgreSqlKind::Integer // unsigned: up to 65535
                        : field.Size == 4 ? TPostgreSqlKind::Integer
                                          : TPostgreSqlKind::BigInt;
        } else if (field.SubType == 1 && field.Length > field.IntDigits) {
            type.Kind = TPostgreSqlKind::Numeric;
            type.Scale = field.Length - field.IntDigits - 1;
            type.Precision = std::clamp(field.IntDigits + type.Scale, 1, kNumericMaxPrecision);
        } else {
            type.Kind = field.Size == 4 ? TPostgreSqlKind::Real : TPostgreSqlKind::Double;
        }
        break;
    case kFieldDate:
        type.Kind = TPostgreSqlKind::Date;
        break;
    case kFieldTime:
        type.Kind = TPostgreSqlKind::Time;
        break;
    default:
        type.Kind = TPostgreSqlKind::Text;
        break;
    }
    return type;
}

std::string PostgreSqlTypeName(const TPostgreSqlType& type) {
    switch (type.Kind) {
    case TPostgreSqlKind::SmallInt:
        return "smallint";
    case TPostgreSqlKind::Integer:
        return "integer";
    case TPostgreSqlKind::BigInt:
        return "bigint";
    case TPostgreSqlKind::Numeric:
        return "numeric(" + std::to_string(type.Precision) + "," + std::to_string(type.Scale) + ")";
    case TPostgreSqlKind::Real:
        return "real";
    case TPostgreSqlKind::Double:
        return "double precision";
    case TPostgreSqlKind::Date:
        return "date";
    case TPostgreSqlKind::Time:
        return "time";
    case TPostgreSqlKind::Text:
        break;
    }
    return "text";
}

void AppendPostgreSqlCreateTable(std::string& out, const std::string& qualifiedTable, const TTypedForm& form,
                                 const std::vector<std::string>& columnNames, bool dropTable) {
    if (dropTable) {
        out += "DROP TABLE IF EXISTS " + qualifiedTable + ";\n";
    }
    out += "CREATE TABLE " + qualifiedTable + " (";
    for (std::size_t i = 0; i < form.Columns.size(); ++i) {
        out += i == 0 ? "\n    " : ",\n    ";
        out +=
            QuoteSqlIdentifier(columnNames[i]) + " " + PostgreSqlTypeName(PostgreSqlTypeOf(form.Columns[i]));
    }
    if (form.WithDeleted) {
        out += form.Columns.empty() ? "\n    " : ",\n    ";
        out += QuoteSqlIdentifier(kDeletedColumn) + " boolean NOT NULL";
    }
    out += "\n);\n";
}

void AppendPostgreSqlFormsTable(std::string& out, const std::string& qualifiedTable, bool dropTable) {
    if (dropTable) {
        out += "DROP TABLE IF EXISTS " + qualifiedTable + ";\n";
    }
    out += "CREATE TABLE " + qualifiedTable +
           " (\n    \"form_name\" text NOT NULL,\n    \"table_name\" text,\n    \"data_file\" text,\n"
           "    \"record_count\" bigint NOT NULL,\n    \"version\" integer NOT NULL,\n"
           "    \"code_page\" text NOT NULL,\n    \"error\" text\n);\n";
}

void WriteSchema(const TExportPlan& plan, TSchemaDialect dialect, TCodePage codePage,
                 const TExportOptions& options, std::string& out) {
    const TCodePage textCodePage = codePage == TCodePage::Raw ? TCodePage::Latin1 : codePage;
    const bool postgres = dialect == TSchemaDialect::PostgreSql;
    const std::string prefix =
        postgres && !options.Schema.empty() ? QuoteSqlIdentifier(options.Schema) + "." : "";
    const bool drop = postgres && options.DropTables;
    std::vector<std::string> tables{std::string(kFormsTableName)};
    if (postgres) {
        if (!options.Schema.empty()) {
            out += "CREATE SCHEMA IF NOT EXISTS " + QuoteSqlIdentifier(options.Schema) + ";\n";
        }
        AppendPostgreSqlFormsTable(out, prefix + QuoteSqlIdentifier(kFormsTableName), drop);
    }
    for (const TPlanItem& item : plan) {
        if (item.Form == nullptr) {
            continue;
        }
        TTypedForm form;
        form.Form = item.Form;
        form.Name = ToUtf8(item.Form->Name, textCodePage);
        form.WithDeleted = TakesDeleted(item.Selection);
        form.Columns = TypedColumns(item.Form->GetFields(), codePage, form.WithDeleted);
        if (form.Columns.empty() && !form.WithDeleted) {
            continue;
        }
        if (postgres) {
            const std::string table = UniqueTableName(form.Name, tables, kPostgreSqlNameBytes);
            AppendPostgreSqlCreateTable(out, prefix + QuoteSqlIdentifier(table), form,
                                        SqlColumnNames(form, kPostgreSqlNameBytes), drop);
            continue;
        }
        out += "CREATE TABLE " + QuoteSqlIdentifier(UniqueTableName(form.Name, tables)) + " (";
        bool first = true;
        for (const TTypedColumn& column : form.Columns) {
            out += first ? "" : ", ";
            out += QuoteSqlIdentifier(column.Name) + " " + std::string(SqliteDeclaredType(column.Type));
            first = false;
        }
        if (form.WithDeleted) {
            out += first ? "" : ", ";
            out += QuoteSqlIdentifier(kDeletedColumn) + " INTEGER NOT NULL";
        }
        out += ");\n";
    }
    if (!postgres) {
        // As the SQLite file holds it, created after the tables of the forms.
        out +=
            "CREATE TABLE " + QuoteSqlIdentifier(kFormsTableName) +
            " (\"form_name\" TEXT NOT NULL, \"table_name\" TEXT, \"data_file\" TEXT, \"record_count\" "
            "INTEGER NOT NULL, \"version\" INTEGER NOT NULL, \"code_page\" TEXT NOT NULL, \"error\" TEXT);\n";
    }
}

} // namespace corvane
