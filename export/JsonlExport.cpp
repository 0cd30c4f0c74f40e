#include "export/JsonlExport.h"

#include "export/NumberFormat.h"
#include "export/OutputFile.h"
#include "export/TypedExport.h"
#include "text/TextUtils.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace corvane {

namespace {

constexpr char kHex[] = "0123456789abcdef";

class TJsonlSink final : public TTypedSink {
public:
    explicit TJsonlSink(const std::string& fileName) : fileName_(fileName) {}

    void BeginForm(const TTypedForm& form) override {
        keys_.clear();
        for (const TTypedColumn& column : form.Columns) {
            std::string key;
            AppendJsonString(key, column.Name);
            key += ':';
            keys_.push_back(std::move(key));
        }
        // Created only once the form is known, so a missing form leaves no file behind.
        out_.emplace(fileName_);
    }

    void Row(const TTypedForm& form, const std::vector<TTypedValue>& values, bool deleted) override {
        line_.clear();
        line_ += '{';
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (i != 0) {
                line_ += ',';
            }
            line_ += keys_[i];
            AppendJsonValue(line_, values[i]);
        }
        if (form.WithDeleted) {
            line_ += values.empty() ? "" : ",";
            AppendJsonString(line_, kDeletedColumn);
            line_ += deleted ? ":true" : ":false";
        }
        line_ += "}\n";
        out_->Write(line_);
    }

    std::optional<TOutputFile>& Output() { return out_; }

private:
    std::string fileName_;
    std::vector<std::string> keys_;
    std::string line_;
    std::optional<TOutputFile> out_;
};

} // namespace

void AppendJsonString(std::string& out, std::string_view utf8) {
    out += '"';
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            continue;
        case '\\':
            out += "\\\\";
            continue;
        case '\n':
            out += "\\n";
            continue;
        case '\r':
            out += "\\r";
            continue;
        case '\t':
            out += "\\t";
            continue;
        case '\b':
            out += "\\b";
            continue;
        case '\f':
            out += "\\f";
            continue;
        default:
            break;
        }
        if (b < 0x20 || b == 0x7F) {
            out += "\\u00";
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        } else {
            out += c;
        }
    }
    out += '"';
}

void AppendJsonReal(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    out.append(buffer, end);
}

void AppendJsonValue(std::string& out, const TTypedValue& value) {
    switch (value.Type) {
    case TValueType::Null:
        out += "null";
        return;
    case TValueType::Integer:
        AppendInteger(out, value.Integer);
        return;
    case TValueType::Real:
        AppendJsonReal(out, value.Real);
        return;
    case TValueType::Text:
        AppendJsonString(out, value.Text);
        return;
    }
}

TJsonlResult ExportFormJsonl(const std::string& formEntry, const std::string& destination,
                             TDEInfoRec& database, TCodePage codePage, char storedDateOrder,
                             std::ostream& messages, const TExportHost& host) {
    TJsonlResult result;
    result.FileName = WithTrailingSeparator(destination) + SplitFormEntry(formEntry).Stem + ".jsonl";
    TJsonlSink sink(result.FileName);
    const TTypedScanResult scan =
        ScanTypedForm(formEntry, database, codePage, storedDateOrder, messages, sink, host);
    result.FormFound = scan.FormFound;
    result.DataFileOpened = scan.DataFileOpened;
    result.DataFileShort = scan.DataFileShort;
    result.RecordsWritten = scan.RecordsWritten;
    if (sink.Output()) {
        sink.Output()->Commit();
        result.FileWritten = true;
    }
    return result;
}

} // namespace corvane
