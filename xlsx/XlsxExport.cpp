#include "xlsx/XlsxExport.h"

#include "database/Errors.h"
#include "database/FieldRec.h"
#include "database/PlatformFile.h"
#include "export/SqlSchema.h"
#include "export/TypedCalendar.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <map>

namespace corvane {

namespace {

// Excel keeps 15 significant digits of a number; whole numbers past 2^53 are not even held exactly by a
// double, so they are written as text that keeps every digit.
constexpr std::int64_t kExactWholeLimit = std::int64_t{1} << 53;
constexpr double kSecondsPerDay = 86400.0;
// The first day that a workbook's date serial numbers reach.
constexpr int kFirstSerialYear = 1900;

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

std::size_t CharCount(std::string_view s) {
    return static_cast<std::size_t>(std::count_if(
        s.begin(), s.end(), [](char c) { return !IsContinuation(static_cast<unsigned char>(c)); }));
}

std::string CutChars(std::string_view s, std::size_t chars) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (!IsContinuation(static_cast<unsigned char>(s[i])) && count++ == chars) {
            return std::string(s.substr(0, i));
        }
    }
    return std::string(s);
}

// The name as a spreadsheet compares sheet names: ASCII and Latin-1 letters folded to upper case.
std::string FoldKey(std::string_view s) {
    std::string key(s);
    for (std::size_t i = 0; i < key.size(); ++i) {
        const auto c = static_cast<unsigned char>(key[i]);
        if (c >= 'a' && c <= 'z') {
            key[i] = static_cast<char>(c - 'a' + 'A');
        } else if (c == 0xC3 && i + 1 < key.size()) {
            const auto d = static_cast<unsigned char>(key[i + 1]);
            // U+00E0..U+00FE except U+00F7 (the division sign): to U+00C0..U+00DE.
            if (d >= 0xA0 && d <= 0xBE && d != 0xB7) {
                key[i + 1] = static_cast<char>(d - 0x20);
            }
            ++i;
        }
    }
    return key;
}

bool IsTakenSheet(const std::vector<std::string>& taken, const std::string& name) {
    const std::string key = FoldKey(name);
    return std::any_of(taken.begin(), taken.end(),
                       [&key](const std::string& t) { return FoldKey(t) == key; });
}

std::string SheetCandidate(const std::string& stem, const std::string& suffix) {
    const std::size_t room = kXlsxSheetNameChars - std::min(CharCount(suffix), kXlsxSheetNameChars - 1);
    std::string name = CutChars(stem, room) + suffix;
    // A sheet name may neither begin nor end with an apostrophe.
    if (name.front() == '\'') {
        name.front() = '_';
    }
    if (name.back() == '\'') {
        name.back() = '_';
    }
    return name;
}

std::string_view DateFormatOf(TDateOrder order) {
    switch (order) {
    case TDateOrder::British:
        return "dd/mm/yyyy";
    case TDateOrder::American:
        return "mm/dd/yyyy";
    case TDateOrder::Metric:
        return "yyyy/mm/dd";
    case TDateOrder::Iso:
        break;
    }
    return "yyyy-mm-dd";
}

enum class TCellKind { Whole, Number, Date, Time, Text };

struct TCellColumn {
    TCellKind Kind = TCellKind::Text;
    lxw_format* Format = nullptr;
};

class TXlsxWriter final : public IOneFileWriter {
public:
    TXlsxWriter(const std::string& fileName, const TOneFileContext& context, std::int64_t sheetRows)
        : out_(fileName), sheetRows_(std::max<std::int64_t>(sheetRows, 2)),
          version_(context.Database != nullptr ? context.Database->GetVersion() : 0),
          codePage_(CodePageName(context.CodePage)) {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.use_zip64 = LXW_TRUE;
        workbook_ = workbook_new_opt(out_.TemporaryName().c_str(), &options);
        if (workbook_ == nullptr) {
            throw EXlsxError(ENOMEM, "the workbook cannot be started", fileName);
        }
        bold_ = workbook_add_format(workbook_);
        format_set_bold(bold_);
        const TDateOrder order =
            context.Options != nullptr ? context.Options->OutputDateOrder : TDateOrder::Iso;
        date_ = NumberFormat(std::string(DateFormatOf(order)));
        time_ = NumberFormat("hh:mm:ss");
        // Names the sheets of forms may not take: the forms sheet, and a name the spreadsheet keeps for
        // itself.
        taken_ = {std::string(kFormsTableName), "History"};
    }

    ~TXlsxWriter() override {
        if (workbook_ != nullptr) {
            // Frees the workbook and its streamed sheets without writing the file.
            lxw_workbook_free(workbook_);
        }
    }

    TXlsxWriter(const TXlsxWriter&) = delete;
    TXlsxWriter& operator=(const TXlsxWriter&) = delete;

    void BeginForm(const TTypedForm& form) override {
        EndSheet();
        TEntry& entry = entries_.emplace_back();
        entry.Form = form.Form;
        entry.Name = form.Name;
        entry.DataFile = form.DataFile;
        entry.Open = true;
        columns_.clear();
        headers_.clear();
        withDeleted_ = form.WithDeleted;
        if (form.Columns.empty() && !form.WithDeleted) {
            // A sheet of no columns would show nothing; the form is listed in "_forms" without one.
            return;
        }
        for (const TTypedColumn& column : form.Columns) {
            columns_.push_back(CellColumnOf(*column.Field));
            headers_.push_back(column.Name);
        }
        if (form.WithDeleted) {
            headers_.emplace_back(kDeletedColumn);
        }
        StartSheet(XlsxSheetName(form.Name, taken_));
    }

    void Row(const TTypedForm& /*form*/, const std::vector<TTypedValue>& values, bool deleted) override {
        if (sheet_ == nullptr) {
            return;
        }
        if (row_ >= sheetRows_) {
            EndSheet();
            TEntry& entry = entries_.back();
            StartSheet(
                XlsxSheetName(entry.Name, taken_, " (" + std::to_string(entry.Sheets.size() + 1) + ")"));
        }
        const auto row = static_cast<lxw_row_t>(row_);
        lxw_col_t col = 0;
        for (std::size_t i = 0; i < values.size() && i < columns_.size(); ++i, ++col) {
            WriteCell(row, col, values[i], columns_[i]);
        }
        if (withDeleted_) {
            Check(worksheet_write_boolean(sheet_, row, col, deleted ? 1 : 0, nullptr));
        }
        ++row_;
        ++entries_.back().Records;
    }

    void EndForm(const TTypedForm& /*form*/, const TFormResult& result) override {
        EndSheet();
        if (!entries_.empty()) {
            TEntry& entry = entries_.back();
            entry.Open = false;
            if (entry.Sheets.empty()) {
                entry.Records = result.RecordsWritten;
            }
        }
    }

    void FormFailed(const TPlanItem& item, const std::string& utf8Label, const std::string& error) override {
        EndSheet();
        // A form that failed during its scan keeps the rows written before the failure.
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
        EndSheet();
        WriteFormsSheet();
        errno = 0;
        const lxw_error closed = workbook_close(workbook_);
        // workbook_close frees the workbook whatever its result.
        workbook_ = nullptr;
        if (closed != LXW_NO_ERROR) {
            const int code = errno != 0 ? errno : EIO;
            throw EXlsxError(code, std::string("workbook: ") + lxw_strerror(closed), out_.FinalName());
        }
        out_.Commit();
    }

    std::string TableOf(const TTypedForm& form) const override {
        for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
            if (it->Form == form.Form) {
                return it->Sheets.empty() ? std::string() : it->Sheets.front();
            }
        }
        return {};
    }

private:
    struct TEntry {
        const TFormRec* Form = nullptr;
        std::string Name, DataFile, Error;
        std::vector<std::string> Sheets;
        std::int64_t Records = 0;
        bool Open = false;
    };

    void Check(lxw_error error) {
        if (error != LXW_NO_ERROR) {
            throw EXlsxError(EIO, std::string("workbook: ") + lxw_strerror(error), out_.FinalName());
        }
    }

    lxw_format* NumberFormat(const std::string& pattern) {
        lxw_format* format = workbook_add_format(workbook_);
        format_set_num_format(format, pattern.c_str());
        return format;
    }

    lxw_format* FixedFormat(int decimals) {
        auto it = fixed_.find(decimals);
        if (it == fixed_.end()) {
            const std::string pattern =
                decimals > 0 ? "0." + std::string(static_cast<std::size_t>(decimals), '0') : "0";
            it = fixed_.emplace(decimals, NumberFormat(pattern)).first;
        }
        return it->second;
    }

    TCellColumn CellColumnOf(const TFieldRec& field) {
        switch (field.FieldType) {
        case kFieldNumber:
            if (field.SubType == 0) {
                return {TCellKind::Whole, nullptr};
            }
            if (field.SubType == 1 && field.Length > field.IntDigits) {
                return {TCellKind::Number, FixedFormat(field.Length - field.IntDigits - 1)};
            }
            return {TCellKind::Number, nullptr};
        case kFieldDate:
            return {TCellKind::Date, date_};
        case kFieldTime:
            return {TCellKind::Time, time_};
        default:
            return {TCellKind::Text, nullptr};
        }
    }

    void StartSheet(const std::string& name) {
        sheet_ = workbook_add_worksheet(workbook_, name.c_str());
        if (sheet_ == nullptr) {
            throw EXlsxError(EINVAL, "workbook: the sheet name " + name + " is refused", out_.FinalName());
        }
        entries_.back().Sheets.push_back(name);
        for (std::size_t i = 0; i < headers_.size(); ++i) {
            const auto col = static_cast<lxw_col_t>(i);
            double width = std::max(8.43, static_cast<double>(CharCount(headers_[i])) + 2);
            if (i < columns_.size() && columns_[i].Kind == TCellKind::Date) {
                width = std::max(width, 11.0);
            }
            Check(worksheet_set_column(sheet_, col, col, width, nullptr));
            Check(worksheet_write_string(sheet_, 0, col, headers_[i].c_str(), bold_));
        }
        worksheet_freeze_panes(sheet_, 1, 0);
        row_ = 1;
    }

    void EndSheet() {
        if (sheet_ == nullptr) {
            return;
        }
        if (!headers_.empty()) {
            Check(worksheet_autofilter(sheet_, 0, 0, static_cast<lxw_row_t>(row_ - 1),
                                       static_cast<lxw_col_t>(headers_.size() - 1)));
        }
        sheet_ = nullptr;
    }

    void WriteText(lxw_row_t row, lxw_col_t col, const std::string& text) {
        Check(worksheet_write_string(sheet_, row, col, text.c_str(), nullptr));
    }

    void WriteCell(lxw_row_t row, lxw_col_t col, const TTypedValue& value, const TCellColumn& column) {
        switch (value.Type) {
        case TValueType::Null:
            return;
        case TValueType::Integer:
            if (value.Integer > kExactWholeLimit || value.Integer < -kExactWholeLimit) {
                WriteText(row, col, std::to_string(value.Integer));
                return;
            }
            Check(
                worksheet_write_number(sheet_, row, col, static_cast<double>(value.Integer), column.Format));
            return;
        case TValueType::Real:
            Check(worksheet_write_number(sheet_, row, col, value.Real, column.Format));
            return;
        case TValueType::Text:
            break;
        }
        if (column.Kind == TCellKind::Date) {
            TCalendarDate date;
            if (ParseCalendarDate(value.Text, date) && date.Year >= kFirstSerialYear) {
                lxw_datetime when{date.Year, date.Month, date.Day, 0, 0, 0};
                Check(worksheet_write_datetime(sheet_, row, col, &when, column.Format));
                return;
            }
            // Not a day of the calendar (month 13), or before the workbook's first day: the text as it is.
        } else if (column.Kind == TCellKind::Time) {
            TClockTime time;
            if (ParseClockTime(value.Text, time)) {
                const double seconds = time.Hour * 3600.0 + time.Minute * 60.0 + time.Second;
                Check(worksheet_write_number(sheet_, row, col, seconds / kSecondsPerDay, column.Format));
                return;
            }
        }
        WriteText(row, col, value.Text);
    }

    void WriteFormsSheet() {
        headers_ = {"form_name",    "sheet_name", "sheet_count", "data_file",
                    "record_count", "version",    "code_page",   "error"};
        columns_.clear();
        withDeleted_ = false;
        sheet_ = workbook_add_worksheet(workbook_, std::string(kFormsTableName).c_str());
        if (sheet_ == nullptr) {
            throw EXlsxError(EINVAL, "workbook: the forms sheet is refused", out_.FinalName());
        }
        for (std::size_t i = 0; i < headers_.size(); ++i) {
            Check(worksheet_write_string(sheet_, 0, static_cast<lxw_col_t>(i), headers_[i].c_str(), bold_));
        }
        worksheet_freeze_panes(sheet_, 1, 0);
        row_ = 1;
        for (const TEntry& entry : entries_) {
            const auto row = static_cast<lxw_row_t>(row_++);
            auto text = [&](lxw_col_t col, const std::string& t) {
                if (!t.empty()) {
                    WriteText(row, col, t);
                }
            };
            text(0, entry.Name);
            text(1, entry.Sheets.empty() ? std::string() : entry.Sheets.front());
            Check(worksheet_write_number(sheet_, row, 2, static_cast<double>(entry.Sheets.size()), nullptr));
            text(3, entry.DataFile);
            Check(worksheet_write_number(sheet_, row, 4, static_cast<double>(entry.Records), nullptr));
            Check(worksheet_write_number(sheet_, row, 5, version_, nullptr));
            text(6, codePage_);
            text(7, entry.Error);
        }
        EndSheet();
    }

    TOutputFile out_;
    std::int64_t sheetRows_;
    std::uint8_t version_;
    std::string codePage_;
    lxw_workbook* workbook_ = nullptr;
    lxw_format* bold_ = nullptr;
    lxw_format* date_ = nullptr;
    lxw_format* time_ = nullptr;
    std::map<int, lxw_format*> fixed_;
    std::vector<std::string> taken_;
    std::vector<TEntry> entries_;
    // The sheet being written, its next row, and the columns of its form.
    lxw_worksheet* sheet_ = nullptr;
    std::int64_t row_ = 0;
    std::vector<TCellColumn> columns_;
    std::vector<std::string> headers_;
    bool withDeleted_ = false;
};

} // namespace

std::string XlsxSheetName(const std::string& utf8Name, std::vector<std::string>& taken,
                          const std::string& suffix) {
    std::string stem;
    for (const char c : utf8Name) {
        const bool refused = std::string_view("[]:*?/\\").find(c) != std::string_view::npos ||
                             static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        stem += refused ? '_' : c;
    }
    if (stem.empty()) {
        stem = "Form";
    }
    std::string result = SheetCandidate(stem, suffix);
    for (int n = 2; IsTakenSheet(taken, result); ++n) {
        result = SheetCandidate(stem, "_" + std::to_string(n) + suffix);
    }
    taken.push_back(result);
    return result;
}

std::unique_ptr<IOneFileWriter> MakeXlsxWriter(const std::string& fileName, const TOneFileContext& context,
                                               std::int64_t sheetRows) {
    return std::make_unique<TXlsxWriter>(fileName, context, sheetRows);
}

void RegisterXlsxFormat(TFormatRegistry& registry) {
    registry.Add(TOutputFormat::Xlsx, [](const std::string& fileName, const TOneFileContext& context) {
        return MakeXlsxWriter(fileName, context);
    });
}

} // namespace corvane
