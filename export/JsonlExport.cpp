#include "export/JsonlExport.h"

#include "export/ExportRun.h"
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
    TExportOptions options;
    options.Format = TOutputFormat::Jsonl;
    options.Destination = destination;
    options.Encoding = codePage;
    THostObserver observer(host, messages);
    TRunSetup setup;
    setup.StoredDateOrder = storedDateOrder;
    const TRunResult run =
        RunExport(database, {ResolveFormEntry(database, formEntry)}, options, observer, setup);
    const TFormResult& form = run.Forms.front();
    TJsonlResult result;
    result.FileName = form.FileName.empty()
                          ? WithTrailingSeparator(destination) + SplitFormEntry(formEntry).Stem + ".jsonl"
                          : form.FileName;
    result.FormFound = form.Found;
    result.DataFileOpened = form.DataFileOpened;
    result.DataFileShort = form.DataFileShort;
    result.RecordsWritten = form.RecordsWritten;
    result.FileWritten = form.Written;
    if (!form.Found) {
        messages << form.Error << '\n';
    } else if (form.ErrorObject) {
        std::rethrow_exception(form.ErrorObject);
    }
    return result;
}

} // namespace corvane
