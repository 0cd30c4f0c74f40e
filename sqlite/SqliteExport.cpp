#include "sqlite/SqliteExport.h"

#include "database/Errors.h"
#include "database/PlatformFile.h"
#include "export/DataFile.h"
#include "export/SqlSchema.h"
#include "export/TypedExport.h"
#include "text/TextUtils.h"

#include <sqlite3.h>

#include <cerrno>

namespace corvane {

namespace {

// The open SQLite file; every failure is raised with SQLite's own words and the platform's code where it
// has one.
class TSqliteFile {
public:
    TSqliteFile(const std::string& path, std::string fileName) : fileName_(std::move(fileName)) {
        const int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
        if (rc != SQLITE_OK) {
            Fail(rc);
        }
        sqlite3_extended_result_codes(db_, 1);
    }
    ~TSqliteFile() {
        Finalize();
        sqlite3_close(db_);
    }
    TSqliteFile(const TSqliteFile&) = delete;
    TSqliteFile& operator=(const TSqliteFile&) = delete;

    void Exec(const std::string& sql) {
        const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            Fail(rc);
        }
    }

    // Prepares the one statement that Bind/Step work on (replacing the one before).
    void Prepare(const std::string& sql) {
        Finalize();
        const int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr);
        if (rc != SQLITE_OK) {
            Fail(rc);
        }
    }

    void Bind(int index, const TTypedValue& value) {
        int rc = SQLITE_OK;
        switch (value.Type) {
        case TValueType::Null:
            rc = sqlite3_bind_null(stmt_, index);
            break;
        case TValueType::Integer:
            rc = sqlite3_bind_int64(stmt_, index, value.Integer);
            break;
        case TValueType::Real:
            rc = sqlite3_bind_double(stmt_, index, value.Real);
            break;
        case TValueType::Text:
            rc = sqlite3_bind_text64(stmt_, index, value.Text.data(), value.Text.size(), SQLITE_STATIC,
                                     SQLITE_UTF8);
            break;
        }
        if (rc != SQLITE_OK) {
            Fail(rc);
        }
    }

    void BindInteger(int index, std::int64_t v) {
        TTypedValue value;
        value.Type = TValueType::Integer;
        value.Integer = v;
        Bind(index, value);
    }

    // Binds a copy of text that SQLite owns.
    void BindText(int index, const std::string& text) {
        const int rc =
            sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        if (rc != SQLITE_OK) {
            Fail(rc);
        }
    }

    void Step() {
        const int rc = sqlite3_step(stmt_);
        if (rc != SQLITE_DONE) {
            Fail(rc);
        }
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }

    void Close() {
        Finalize();
        const int rc = sqlite3_close(db_);
        if (rc != SQLITE_OK) {
            Fail(rc);
        }
        db_ = nullptr;
    }

private:
    void Finalize() {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }

    [[noreturn]] void Fail(int rc) {
        int code = db_ != nullptr ? sqlite3_system_errno(db_) : 0;
        if (code == 0) {
            code = (rc & 0xFF) == SQLITE_FULL ? ENOSPC : EIO;
        }
        const std::string text = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
        throw ESqliteError(code, "SQLite: " + text, fileName_);
    }

    std::string fileName_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
};

// The run's forms into one SQLite file, in one transaction, under a temporary name that Commit renames over
// the final one.
class TSqliteWriter final : public IOneFileWriter {
public:
    TSqliteWriter(const std::string& fileName, const TOneFileContext& context)
        : out_(fileName), context_(context),
          codePage_(context.Options->Encoding.value_or(DefaultCodePage(context.Database->GetVersion()))) {
        // The temporary file is created empty, which SQLite takes as an empty database. Its rollback journal
        // is off: a failed export discards the whole file instead.
        file_.emplace(out_.TemporaryName(), fileName);
        file_->Exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN");
        tables_.emplace_back(kFormsTable);
    }

    void BeginForm(const TTypedForm& form) override {
        table_.clear();
        open_ = true;
        if (form.Columns.empty() && !form.WithDeleted) {
            // A table needs a column.
            if (context_.Observer != nullptr) {
                context_.Observer->Message("Warning: form " + form.Form->Name +
                                           " has no exported fields; no table was written.");
            }
            return;
        }
        table_ = SqliteTableName(form.Name, tables_);
        std::string create = "CREATE TABLE " + QuoteSqlIdentifier(table_) + " (";
        std::string insert = "INSERT INTO " + QuoteSqlIdentifier(table_) + " VALUES (";
        bool first = true;
        auto addColumn = [&](std::string_view name, std::string_view type) {
            create += first ? "" : ", ";
            create += QuoteSqlIdentifier(name);
            create += ' ';
            create += type;
            insert += first ? "?" : ", ?";
            first = false;
        };
        for (const TTypedColumn& column : form.Columns) {
            addColumn(column.Name, SqliteDeclaredType(column.Type));
        }
        if (form.WithDeleted) {
            addColumn(kDeletedColumn, "INTEGER NOT NULL");
        }
        file_->Exec(create + ")");
        file_->Prepare(insert + ")");
    }

    void Row(const TTypedForm& form, const std::vector<TTypedValue>& values, bool deleted) override {
        if (table_.empty()) {
            return;
        }
        int index = 1;
        for (const TTypedValue& value : values) {
            file_->Bind(index++, value);
        }
        if (form.WithDeleted) {
            file_->BindInteger(index, deleted ? 1 : 0);
        }
        file_->Step();
    }

    void EndForm(const TTypedForm& form, const TFormResult& result) override {
        open_ = false;
        forms_.push_back({form.Name, table_, form.DataFile, result.RecordsWritten, {}});
    }

    void FormFailed(const TPlanItem& item, const std::string& utf8Label, const std::string& error) override {
        std::string dataFile;
        if (item.Form != nullptr) {
            dataFile = ToUtf8(item.Form->DataFile, context_.CodePage);
        }
        if (open_ && !table_.empty()) {
            // The form failed part way: the file holds only what exported whole.
            file_->Exec("DROP TABLE " + QuoteSqlIdentifier(table_));
        }
        open_ = false;
        table_.clear();
        forms_.push_back({utf8Label, {}, dataFile, 0, error});
    }

    std::string TableOf(const TTypedForm& /*form*/) const override { return table_; }

    void Commit() override {
        file_->Exec(
            "CREATE TABLE " + QuoteSqlIdentifier(kFormsTable) +
            " (\"form_name\" TEXT NOT NULL, \"table_name\" TEXT, \"data_file\" TEXT, \"record_count\" "
            "INTEGER NOT NULL, \"version\" INTEGER NOT NULL, \"code_page\" TEXT NOT NULL, \"error\" "
            "TEXT)");
        file_->Prepare("INSERT INTO " + QuoteSqlIdentifier(kFormsTable) + " VALUES (?, ?, ?, ?, ?, ?, ?)");
        for (const TFormRow& row : forms_) {
            file_->BindText(1, row.Name);
            if (!row.Table.empty()) {
                file_->BindText(2, row.Table);
            }
            if (!row.DataFile.empty()) {
                file_->BindText(3, row.DataFile);
            }
            file_->BindInteger(4, row.Records);
            file_->BindInteger(5, context_.Database->GetVersion());
            file_->BindText(6, std::string(CodePageName(codePage_)));
            if (!row.Error.empty()) {
                file_->BindText(7, row.Error);
            }
            file_->Step();
        }
        file_->Exec("COMMIT");
        file_->Close();
        file_.reset();
        out_.Commit();
    }

private:
    struct TFormRow {
        std::string Name, Table, DataFile;
        std::int64_t Records = 0;
        std::string Error;
    };
    TOutputFile out_;
    TOneFileContext context_;
    TCodePage codePage_;
    std::optional<TSqliteFile> file_;
    std::vector<std::string> tables_;
    std::string table_;
    std::vector<TFormRow> forms_;
    bool open_ = false; // between BeginForm and EndForm
};

} // namespace

std::string SqliteTableName(const std::string& utf8Name, std::vector<std::string>& taken) {
    return UniqueTableName(utf8Name, taken);
}

void RegisterSqliteFormat(TFormatRegistry& registry) {
    registry.Add(TOutputFormat::Sqlite, [](const std::string& fileName, const TOneFileContext& context) {
        return std::make_unique<TSqliteWriter>(fileName, context);
    });
}

TSqliteResult ExportDatabaseSqlite(const std::vector<std::string>& formEntries, const std::string& fileName,
                                   TDEInfoRec& database, std::optional<TCodePage> codePage,
                                   std::ostream& messages, const TExportHost& host) {
    TExportOptions options;
    options.Format = TOutputFormat::Sqlite;
    options.Destination = fileName;
    options.Encoding = codePage;
    TExportPlan plan;
    for (const std::string& entry : formEntries) {
        plan.push_back(ResolveFormEntry(database, entry));
    }
    THostObserver observer(host, messages);
    TFormatRegistry formats;
    RegisterSqliteFormat(formats);
    TRunSetup setup;
    setup.Formats = &formats;
    const TRunResult run = RunExport(database, plan, options, observer, setup);

    TSqliteResult result;
    result.FileName = fileName;
    result.CodePage = run.Summary.CodePage;
    result.FileWritten = !run.Summary.OneFile.empty();
    for (const TFormResult& form : run.Forms) {
        if (!form.Found) {
            messages << form.Error << '\n';
        } else if (form.ErrorObject && form.Error.size() != 0) {
            std::rethrow_exception(form.ErrorObject);
        }
        TSqliteFormResult& f = result.Forms.emplace_back();
        f.FormEntry = form.Label;
        f.FormFound = form.Found;
        f.TableName = form.Table;
        f.DataFileOpened = form.DataFileOpened;
        f.DataFileShort = form.DataFileShort;
        f.RecordsWritten = form.RecordsWritten;
        result.RecordsWritten += form.RecordsWritten;
    }
    return result;
}

} // namespace corvane
