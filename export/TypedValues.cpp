#include "export/TypedValues.h"

#include "database/DEInfoRec.h"
#include "database/Errors.h"
#include "export/FieldValues.h"
#include "export/NumberFormat.h"

#include <charconv>
#include <cmath>

namespace corvane {

namespace {

constexpr std::size_t kTimeChars = 6;
constexpr std::size_t kDayCountBytes = 4;

void SetNull(TTypedValue& value) {
    value.Type = TValueType::Null;
}

void SetReal(TTypedValue& value, double v) {
    if (!std::isfinite(v)) {
        SetNull(value);
        return;
    }
    value.Type = TValueType::Real;
    value.Real = v;
}

// Converts the bytes collected in scratch into value's UTF-8 text; NULL when there are none.
void SetText(TTypedValue& value, std::string_view bytes, TCodePage codePage) {
    if (bytes.empty()) {
        SetNull(value);
        return;
    }
    value.Type = TValueType::Text;
    value.Text.clear();
    AppendUtf8(value.Text, bytes, codePage == TCodePage::Raw ? TCodePage::Latin1 : codePage);
}

double ParseDouble(const std::string& text) {
    double v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

void DecodeNumberValue(ByteSpan slot, const TFieldRec& field, TTypedValue& value, std::string& scratch) {
    const TNumberValue number = DecodeNumber(slot, field);
    switch (number.Kind) {
    case TNumberKind::Missing:
    case TNumberKind::Empty:
        SetNull(value);
        return;
    case TNumberKind::Whole:
        value.Type = TValueType::Integer;
        value.Integer = number.Whole;
        return;
    case TNumberKind::WholeReal:
        SetReal(value, std::trunc(number.Real));
        return;
    case TNumberKind::Real:
        break;
    }
    if (!std::isfinite(number.Real)) {
        SetNull(value);
        return;
    }
    const int decimals = FixedDecimals(field);
    if (field.SubType == 1 && decimals >= 0 && std::fabs(number.Real) < 1e36) {
        // The number the delimited export writes, so both exports agree to the last digit.
        scratch.clear();
        AppendFixed(scratch, number.Real, decimals);
        SetReal(value, ParseDouble(scratch));
        return;
    }
    if (field.Size == 4) {
        // The shortest decimal text that reads back as the same single, taken as a double.
        char buffer[32];
        const auto single = static_cast<float>(number.Real);
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, single).ptr;
        scratch.assign(buffer, end);
        SetReal(value, ParseDouble(scratch));
        return;
    }
    SetReal(value, number.Real);
}

void DecodeDateValue(ByteSpan slot, const TFieldRec& field, const TTypedContext& context, TTypedValue& value,
                     std::string& scratch) {
    scratch.clear();
    if (context.Version >= kVersion5x && field.SubType == 1) {
        if (!InBounds(slot, field.Offset, kDayCountBytes)) {
            SetNull(value);
            return;
        }
        const auto n = DecodeLE<std::int32_t>(slot.data() + field.Offset);
        if (n != 0) {
            AppendFormattedDate(scratch, DayCountToDate(n), "%Y-%m-%d");
        }
        SetText(value, scratch, TCodePage::Latin1);
        return;
    }
    TSixCharDate date;
    if (DecodeSixCharDate(slot, field.Offset, context.StoredDateOrder, date) != TSixCharDateState::Valid) {
        SetNull(value);
        return;
    }
    std::uint8_t cutoff = 0;
    try {
        cutoff = context.CenturyCutoff ? context.CenturyCutoff() : 0;
    } catch (const EInOutError&) {
        SetNull(value);
        return;
    }
    // Metric order gives "yyyy/mm/dd" with the separators at fixed places.
    AppendSixCharDate(scratch, date, cutoff, 'M');
    scratch[4] = '-';
    scratch[7] = '-';
    SetText(value, scratch, context.CodePage);
}

void DecodeTimeValue(ByteSpan slot, const TFieldRec& field, const TTypedContext& context, TTypedValue& value,
                     std::string& scratch) {
    if (!InBounds(slot, field.Offset, kTimeChars)) {
        SetNull(value);
        return;
    }
    const ByteSpan chars = slot.subspan(field.Offset, kTimeChars);
    bool blank = true;
    for (const std::uint8_t c : chars) {
        blank = blank && c == ' ';
    }
    scratch.clear();
    if (!blank) {
        AppendTime(scratch, slot, field.Offset);
    }
    SetText(value, scratch, context.CodePage);
}

} // namespace

TColumnType ColumnTypeOf(const TFieldRec& field) {
    if (field.FieldType != kFieldNumber) {
        return TColumnType::Text;
    }
    return field.SubType == 0 ? TColumnType::Integer : TColumnType::Real;
}

void DecodeTypedValue(ByteSpan slot, const TFieldRec& field, const TTypedContext& context,
                      TTypedValue& value) {
    thread_local std::string scratch;
    switch (field.FieldType) {
    case kFieldText:
    case kFieldText2:
        SetText(value, DecodeText(slot, field.Offset, field.Size), context.CodePage);
        return;
    case kFieldNumber:
        DecodeNumberValue(slot, field, value, scratch);
        return;
    case kFieldDate:
        DecodeDateValue(slot, field, context, value, scratch);
        return;
    case kFieldTime:
        DecodeTimeValue(slot, field, context, value, scratch);
        return;
    case kFieldChoice:
        scratch.clear();
        if (InBounds(slot, field.Offset, 1)) {
            AppendChoice(scratch, slot[field.Offset], field.Choices);
        }
        SetText(value, scratch, context.CodePage);
        return;
    default:
        SetNull(value);
        return;
    }
}

} // namespace corvane
