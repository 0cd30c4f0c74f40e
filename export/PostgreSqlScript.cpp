#include "export/PostgreSqlScript.h"

#include "export/OutputFile.h"
#include "export/TypedCalendar.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace corvane {

namespace {

constexpr std::size_t kFlushBytes = std::size_t{64} << 10;
constexpr std::string_view kNull = "\\N";

// The output of a writer built without a target: the file itself, under a temporary name until Commit.
class TFileOutput final : public IOutput {
public:
    explicit TFileOutput(const std::string& fileName) : file_(fileName) {}
    void Write(std::string_view bytes) override { file_.Write(bytes); }
    void Commit() override { file_.Commit(); }

private:
    TOutputFile file_;
};

template <typename T> void AppendNumber(std::string& out, T value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void AppendWhole(std::string& out, const TTypedValue& value, std::int64_t min, std::int64_t max) {
    if (value.Type != TValueType::Integer || value.Integer < min || value.Integer > max) {
        // A Real here is a whole number beyond 64 bits, which no integer column holds.
        out += kNull;
        return;
    }
    AppendNumber(out, value.Integer);
}

void AppendNumeric(std::string& out, const TTypedValue& value, const TPostgreSqlType& type) {
    double v = 0;
    if (value.Type == TValueType::Real) {
        v = value.Real;
    } else if (value.Type == TValueType::Integer) {
        v = static_cast<double>(value.Integer);
    } else {
        out += kNull;
        return;
    }
    // Room for the largest double (309 digits) with the largest scale (1000 decimals).
    char buffer[1400];
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, type.Scale);
    if (written.ec != std::errc()) {
        out += kNull;
        return;
    }
    const std::string_view text(buffer, static_cast<std::size_t>(written.ptr - buffer));
    // numeric(p,s) refuses a value of more than p - s integer digits, and the refusal would end the load.
    const std::size_t sign = text[0] == '-' ? 1 : 0;
    const std::size_t point = text.find('.');
    const std::size_t intDigits = (point == std::string_view::npos ? text.size() : point) - sign;
    const bool zero = intDigits == 1 && text[sign] == '0';
    if (!zero && intDigits > static_cast<std::size_t>(type.Precision - type.Scale)) {
        out += kNull;
        return;
    }
    out += text;
}

void AppendFloating(std::string& out, const TTypedValue& value) {
    if (value.Type == TValueType::Real) {
        AppendNumber(out, value.Real);
    } else if (value.Type == TValueType::Integer) {
        AppendNumber(out, value.Integer);
    } else {
        out += kNull;
    }
}

class TPostgreSqlWriter final : public IOneFileWriter {
public:
    TPostgreSqlWriter(const std::string& fileName, const TOneFileContext& context)
        : version_(context.Database != nullptr ? context.Database->GetVersion() : 0),
          codePage_(CodePageName(context.CodePage)) {
        if (context.Options != nullptr) {
            schema_ = context.Options->Schema;
            drop_ = context.Options->DropTables;
        }
        prefix_ = schema_.empty() ? "" : QuoteSqlIdentifier(schema_) + ".";
        output_ = context.Output != nullptr ? context.Output->Create(fileName)
                                            : std::make_unique<TFileOutput>(fileName);
        buffer_ += "-- Written by Corvane. Load it with: psql -v ON_ERROR_STOP=1 -f FILE\n"
                   "SET client_encoding = 'UTF8';\n"
                   "SET standard_conforming_strings = on;\n"
                   "BEGIN;\n";
        if (!schema_.empty()) {
            buffer_ += "CREATE SCHEMA IF NOT EXISTS " + QuoteSqlIdentifier(schema_) + ";\n";
        }
        AppendPostgreSqlFormsTable(buffer_, prefix_ + QuoteSqlIdentifier(kFormsTableName), drop_);
        tables_.emplace_back(kFormsTableName);
    }

    void BeginForm(const TTypedForm& form) override {
        EndCopy();
        TEntry& entry = entries_.emplace_back();
        entry.Form = form.Form;
        entry.Name = form.Name;
        entry.DataFile = form.DataFile;
        entry.Open = true;
        withDeleted_ = form.WithDeleted;
        types_.clear();
        if (form.Columns.empty() && !form.WithDeleted) {
            // A table needs a column; the form is listed in "_forms" without one.
            return;
        }
        entry.Table = UniqueTableName(form.Name, tables_, kPostgreSqlNameBytes);
        const std::string table = prefix_ + QuoteSqlIdentifier(entry.Table);
        const std::vector<std::string> names = SqlColumnNames(form, kPostgreSqlNameBytes);
        buffer_ += '\n';
        AppendPostgreSqlCreateTable(buffer_, table, form, names, drop_);
        buffer_ += "COPY " + table + " (";
        for (std::size_t i = 0; i < names.size(); ++i) {
            buffer_ += i == 0 ? "" : ", ";
            buffer_ += QuoteSqlIdentifier(names[i]);
        }
        buffer_ += ") FROM stdin;\n";
        for (const TTypedColumn& column : form.Columns) {
            types_.push_back(PostgreSqlTypeOf(column));
        }
        copyOpen_ = true;
    }

    void Row(const TTypedForm& /*form*/, const std::vector<TTypedValue>& values, bool deleted) override {
        if (!copyOpen_) {
            return;
        }
        for (std::size_t i = 0; i < values.size() && i < types_.size(); ++i) {
            if (i != 0) {
                buffer_ += '\t';
            }
            AppendCopyValue(buffer_, values[i], types_[i]);
        }
        if (withDeleted_) {
            if (!types_.empty()) {
                buffer_ += '\t';
            }
            buffer_ += deleted ? 't' : 'f';
        }
        buffer_ += '\n';
        ++entries_.back().Records;
        if (buffer_.size() >= kFlushBytes) {
            Flush();
        }
    }

    void EndForm(const TTypedForm& /*form*/, const TFormResult& result) override {
        EndCopy();
        if (!entries_.empty()) {
            TEntry& entry = entries_.back();
            entry.Open = false;
            if (entry.Table.empty()) {
                // No table, so no rows were counted here: the records the scan took, as the SQLite file says.
                entry.Records = result.RecordsWritten;
            }
        }
    }

    void FormFailed(const TPlanItem& item, const std::string& utf8Label, const std::string& error) override {
        EndCopy();
        // A form that failed during its scan keeps the rows written before the failure; its line in
        // "_forms" carries the error and the count of those rows.
        if (!entries_.empty() && entries_.back().Open && entries_.back().Form == item.Form) {
            entries_.back().Open = false;
            entries_.back().Error = error;
            return;
        }
        TEntry& entry = entries_.emplace_back();
        entry.Form = item.Form;
        entry.Name = utf8Label;
        entry.Error = error;
    }

    void Commit() override {
        EndCopy();
        buffer_ += "\nCOPY " + prefix_ + QuoteSqlIdentifier(kFormsTableName) +
                   " (\"form_name\", \"table_name\", \"data_file\", \"record_count\", \"version\", "
                   "\"code_page\", \"error\") FROM stdin;\n";
        for (const TEntry& entry : entries_) {
            AppendCopyText(buffer_, entry.Name);
            buffer_ += '\t';
            AppendTextOrNull(entry.Table);
            buffer_ += '\t';
            AppendTextOrNull(entry.DataFile);
            buffer_ += '\t';
            AppendNumber(buffer_, entry.Records);
            buffer_ += '\t';
            AppendNumber(buffer_, static_cast<int>(version_));
            buffer_ += '\t';
            AppendCopyText(buffer_, codePage_);
            buffer_ += '\t';
            AppendTextOrNull(entry.Error);
            buffer_ += '\n';
        }
        buffer_ += "\\.\nCOMMIT;\n";
        Flush();
        output_->Commit();
    }

    std::string TableOf(const TTypedForm& form) const override {
        for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
            if (it->Form == form.Form) {
                return it->Table;
            }
        }
        return {};
    }

private:
    struct TEntry {
        const TFormRec* Form = nullptr;
        std::string Name, Table, DataFile, Error;
        std::int64_t Records = 0;
        bool Open = false; // BeginForm ran, EndForm or FormFailed not yet
    };

    void EndCopy() {
        if (copyOpen_) {
            buffer_ += "\\.\n";
            copyOpen_ = false;
        }
    }

    void AppendTextOrNull(const std::string& text) {
        if (text.empty()) {
            buffer_ += kNull;
        } else {
            AppendCopyText(buffer_, text);
        }
    }

    void Flush() {
        output_->Write(buffer_);
        buffer_.clear();
    }

    std::uint8_t version_;
    std::string codePage_;
    std::string schema_;
    bool drop_ = false;
    std::string prefix_;
    std::unique_ptr<IOutput> output_;
    std::string buffer_;
    std::vector<std::string> tables_;
    std::vector<TEntry> entries_;
    std::vector<TPostgreSqlType> types_;
    bool withDeleted_ = false;
    bool copyOpen_ = false;
};

} // namespace

void AppendCopyText(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\0':
            break;
        default:
            out += c;
            break;
        }
    }
}

void AppendCopyValue(std::string& out, const TTypedValue& value, const TPostgreSqlType& type) {
    if (value.Type == TValueType::Null) {
        out += kNull;
        return;
    }
    switch (type.Kind) {
    case TPostgreSqlKind::SmallInt:
        AppendWhole(out, value, std::numeric_limits<std::int16_t>::min(),
                    std::numeric_limits<std::int16_t>::max());
        return;
    case TPostgreSqlKind::Integer:
        AppendWhole(out, value, std::numeric_limits<std::int32_t>::min(),
                    std::numeric_limits<std::int32_t>::max());
        return;
    case TPostgreSqlKind::BigInt:
        AppendWhole(out, value, std::numeric_limits<std::int64_t>::min(),
                    std::numeric_limits<std::int64_t>::max());
        return;
    case TPostgreSqlKind::Numeric:
        AppendNumeric(out, value, type);
        return;
    case TPostgreSqlKind::Real:
    case TPostgreSqlKind::Double:
        AppendFloating(out, value);
        return;
    case TPostgreSqlKind::Date: {
        TCalendarDate date;
        if (value.Type == TValueType::Text && ParseCalendarDate(value.Text, date)) {
            out += value.Text;
        } else {
            out += kNull;
        }
        return;
    }
    case TPostgreSqlKind::Time: {
        TClockTime time;
        if (value.Type == TValueType::Text && ParseClockTime(value.Text, time)) {
            out += value.Text;
        } else {
            out += kNull;
        }
        return;
    }
    case TPostgreSqlKind::Text:
        break;
    }
    if (value.Type == TValueType::Text) {
        AppendCopyText(out, value.Text);
    } else {
        AppendFloating(out, value);
    }
}

std::unique_ptr<IOneFileWriter> MakePostgreSqlWriter(const std::string& fileName,
                                                     const TOneFileContext& context) {
    return std::make_unique<TPostgreSqlWriter>(fileName, context);
}

void RegisterPostgreSqlFormat(TFormatRegistry& registry) {
    registry.Add(TOutputFormat::PostgreSql, MakePostgreSqlWriter);
}

} // namespace corvane
