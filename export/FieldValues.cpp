#include "export/FieldValues.h"

#include "database/DEInfoRec.h"
#include "database/Errors.h"
#include "export/NumberFormat.h"

#include "platform/Platform.h"

#include <cmath>

namespace corvane {

namespace {

constexpr std::size_t kDateChars = 6;
constexpr std::size_t kDayCountBytes = 4;
constexpr std::size_t kDoubleBytes = 8;
constexpr std::size_t kSingleBytes = 4;

// Days from 1 January 1970 to the civil date y-m-d (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (m + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

TCivilDate CivilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    TCivilDate date;
    date.Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    date.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    date.Year = yoe + era * 400 + (date.Month <= 2);
    return date;
}

void AppendTwoDigits(std::string& out, std::int64_t v, char pad) {
    if (v < 0) {
        v = -v;
    }
    v %= 100;
    out += v < 10 ? pad : static_cast<char>('0' + v / 10);
    out += static_cast<char>('0' + v % 10);
}

void AppendYear(std::string& out, std::int64_t year) {
    if (year >= 0 && year < 1000) {
        out += static_cast<char>('0' + year / 1000);
        out += static_cast<char>('0' + year / 100 % 10);
        out += static_cast<char>('0' + year / 10 % 10);
        out += static_cast<char>('0' + year % 10);
        return;
    }
    AppendInteger(out, year);
}

bool PieceEmpty(const char piece[2]) {
    // "00" or anything that sorts below it, compared as unsigned bytes.
    const auto a = static_cast<unsigned char>(piece[0]);
    const auto b = static_cast<unsigned char>(piece[1]);
    return a < '0' || (a == '0' && b <= '0');
}

// The year piece as the number it spells: leading blanks, an optional sign, then only decimal digits.
bool ParseYearPiece(const char piece[2], int& number) {
    std::size_t i = 0;
    while (i < 2 && piece[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < 2 && (piece[i] == '-' || piece[i] == '+')) {
        negative = piece[i] == '-';
        ++i;
    }
    if (i == 2) {
        return false;
    }
    int n = 0;
    for (; i < 2; ++i) {
        if (piece[i] < '0' || piece[i] > '9') {
            return false;
        }
        n = n * 10 + (piece[i] - '0');
    }
    number = negative ? -n : n;
    return true;
}

} // namespace

std::string_view DecodeText(ByteSpan slot, std::size_t offset, std::size_t size) {
    const ByteSpan bytes = ClippedSpan(slot, offset, size);
    std::size_t n = 0;
    while (n < bytes.size() && bytes[n] != 0) {
        ++n;
    }
    return {reinterpret_cast<const char*>(bytes.data()), n};
}

void AppendQuotedText(std::string& out, std::string_view text) {
    out += '"';
    std::size_t start = 0;
    for (std::size_t q = text.find('"'); q != std::string_view::npos; q = text.find('"', q + 1)) {
        out.append(text.substr(start, q + 1 - start));
        out += '"';
        start = q + 1;
    }
    out.append(text.substr(start));
    out += '"';
}

bool IsEmptyNumber(ByteSpan bytes) {
    if (bytes.empty() || bytes.back() != 0x80) {
        return false;
    }
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

TNumberValue DecodeNumber(ByteSpan slot, const TFieldRec& field) {
    TNumberValue v;
    if (!InBounds(slot, field.Offset, field.Size)) {
        return v;
    }
    if (IsEmptyNumber(slot.subspan(field.Offset, field.Size))) {
        v.Kind = TNumberKind::Empty;
        return v;
    }
    const std::uint8_t* p = slot.data() + field.Offset;
    if (field.SubType == 0) {
        switch (field.Size) {
        case 1:
            v.Whole = p[0];
            v.Kind = TNumberKind::Whole;
            return v;
        case 2:
            v.Whole = DecodeLE<std::uint16_t>(p);
            v.Kind = TNumberKind::Whole;
            return v;
        case 4:
            v.Whole = DecodeLE<std::int32_t>(p);
            v.Kind = TNumberKind::Whole;
            return v;
        default:
            if (!InBounds(slot, field.Offset, kDoubleBytes)) {
                return v;
            }
            v.Real = DecodeDoubleLE(p);
            if (std::isfinite(v.Real) && std::fabs(std::trunc(v.Real)) < 9223372036854775808.0) {
                v.Whole = static_cast<std::int64_t>(std::trunc(v.Real));
                v.Kind = TNumberKind::Whole;
            } else {
                v.Kind = TNumberKind::WholeReal;
            }
            return v;
        }
    }
    if (field.Size == kSingleBytes) {
        v.Real = static_cast<double>(DecodeSingleLE(p));
        v.Kind = TNumberKind::Real;
    } else if (field.Size == kDoubleBytes) {
        v.Real = DecodeDoubleLE(p);
        v.Kind = TNumberKind::Real;
    }
    return v;
}

int FixedDecimals(const TFieldRec& field) {
    return static_cast<int>(field.Length) - static_cast<int>(field.IntDigits) - 1;
}

int FloatingDigits(const TFieldRec& field) {
    const int s = static_cast<int>(field.Length) - 8;
    return s < 2 ? 2 : (s > 18 ? 18 : s);
}

void AppendNumber(std::string& out, const TNumberValue& value, const TFieldRec& field, int numericNull) {
    switch (value.Kind) {
    case TNumberKind::Missing:
        return;
    case TNumberKind::Empty:
        if (numericNull == 0) {
            out += '0';
        }
        return;
    case TNumberKind::Whole:
        AppendInteger(out, value.Whole);
        return;
    case TNumberKind::WholeReal:
        AppendTruncated(out, value.Real);
        return;
    case TNumberKind::Real:
        break;
    }
    const int decimals = FixedDecimals(field);
    if (field.SubType == 1 && decimals >= 0 && !(std::fabs(value.Real) >= 1e36)) {
        AppendFixed(out, value.Real, decimals);
    } else {
        AppendScientific(out, value.Real, FloatingDigits(field));
    }
}

TCivilDate DayCountToDate(std::int32_t n) {
    static const std::int64_t base = DaysFromCivil(1776, 1, 1);
    static const std::int64_t lastPlain = DaysFromCivil(1776, 12, 30);
    std::int64_t day = base + static_cast<std::int64_t>(n) - 1;
    if (day > lastPlain) {
        ++day;
    }
    return CivilFromDays(day);
}

void AppendFormattedDate(std::string& out, const TCivilDate& date, std::string_view format) {
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            out += format[i];
            continue;
        }
        if (format[i + 1] == '-' && i + 2 < format.size() && (format[i + 2] == 'd' || format[i + 2] == 'm')) {
            // Day or month without a leading zero.
            const int value = format[i + 2] == 'd' ? date.Day : date.Month;
            if (value >= 10) {
                out += static_cast<char>('0' + value / 10 % 10);
            }
            out += static_cast<char>('0' + value % 10);
            i += 2;
            continue;
        }
        switch (format[++i]) {
        case 'd':
            AppendTwoDigits(out, date.Day, '0');
            break;
        case 'e':
            AppendTwoDigits(out, date.Day, ' ');
            break;
        case 'm':
            AppendTwoDigits(out, date.Month, '0');
            break;
        case 'Y':
            AppendYear(out, date.Year);
            break;
        case 'y':
            AppendTwoDigits(out, date.Year, '0');
            break;
        case '%':
            out += '%';
            break;
        default:
            out += '%';
            out += format[i];
            break;
        }
    }
}

std::string LocaleShortDateFormat() {
    return WithFourDigitYear(platform::ShortDateFormat());
}

std::string WithFourDigitYear(std::string format) {
    if (format.empty()) {
        format = "%d/%m/%Y";
    }
    for (std::size_t i = 0; i + 1 < format.size(); ++i) {
        if (format[i] == '%') {
            if (format[i + 1] == 'y') {
                format[i + 1] = 'Y';
            }
            ++i;
        }
    }
    return format;
}

TSixCharDateState DecodeSixCharDate(ByteSpan slot, std::size_t offset, char storedOrder, TSixCharDate& date) {
    if (!InBounds(slot, offset, kDateChars)) {
        return TSixCharDateState::Empty;
    }
    const char* p = reinterpret_cast<const char*>(slot.data() + offset);
    const char* day = p;
    const char* month = p + 2;
    const char* year = p + 4;
    if (storedOrder == 'A') {
        month = p;
        day = p + 2;
    } else if (storedOrder == 'M') {
        year = p;
        month = p + 2;
        day = p + 4;
    }
    for (int i = 0; i < 2; ++i) {
        date.Day[i] = day[i];
        date.Month[i] = month[i];
        date.Year[i] = year[i];
    }
    if (PieceEmpty(date.Day) || PieceEmpty(date.Month)) {
        return TSixCharDateState::Empty;
    }
    return ParseYearPiece(date.Year, date.YearNumber) ? TSixCharDateState::Valid : TSixCharDateState::Error;
}

void AppendSixCharDate(std::string& out, const TSixCharDate& date, std::uint8_t cutoff, char outputOrder) {
    char year[4] = {date.YearNumber < cutoff ? '2' : '1', date.YearNumber < cutoff ? '0' : '9', date.Year[0],
                    date.Year[1]};
    const std::string_view y(year, 4);
    const std::string_view m(date.Month, 2);
    const std::string_view d(date.Day, 2);
    const std::string_view* order[3] = {&d, &m, &y};
    if (outputOrder == 'A') {
        order[0] = &m;
        order[1] = &d;
    } else if (outputOrder == 'M') {
        order[0] = &y;
        order[2] = &d;
    }
    out.append(*order[0]);
    out += '/';
    out.append(*order[1]);
    out += '/';
    out.append(*order[2]);
}

void AppendTime(std::string& out, ByteSpan slot, std::size_t offset) {
    if (!InBounds(slot, offset, kDateChars) || slot[offset] == 0) {
        return;
    }
    const char* p = reinterpret_cast<const char*>(slot.data() + offset);
    out.append(p, 2);
    out += ':';
    out.append(p + 2, 2);
    out += ':';
    out.append(p + 4, 2);
}

void AppendChoice(std::string& out, std::uint8_t c, const std::vector<std::string>& choices) {
    if (c < choices.size()) {
        out += choices[c];
        return;
    }
    out += "Choice_";
    AppendInteger(out, c);
}

void AppendFieldValue(std::string& out, ByteSpan slot, const TFieldRec& field, const TValueContext& context) {
    switch (field.FieldType) {
    case kFieldText:
    case kFieldText2:
        AppendQuotedText(out, DecodeText(slot, field.Offset, field.Size));
        return;
    case kFieldNumber:
        AppendNumber(out, DecodeNumber(slot, field), field, context.NumericNull);
        return;
    case kFieldDate:
        if (context.Version >= kVersion5x && field.SubType == 1) {
            if (!InBounds(slot, field.Offset, kDayCountBytes)) {
                return;
            }
            const auto n = DecodeLE<std::int32_t>(slot.data() + field.Offset);
            if (n != 0) {
                AppendFormattedDate(out, DayCountToDate(n), context.ShortDateFormat);
            }
            return;
        } else {
            TSixCharDate date;
            switch (DecodeSixCharDate(slot, field.Offset, context.StoredDateOrder, date)) {
            case TSixCharDateState::Empty:
                return;
            case TSixCharDateState::Error:
                out += "Error";
                return;
            case TSixCharDateState::Valid:
                break;
            }
            std::uint8_t cutoff = 0;
            try {
                cutoff = context.CenturyCutoff ? context.CenturyCutoff() : 0;
            } catch (const EInOutError&) {
                out += "Error";
                return;
            }
            AppendSixCharDate(out, date, cutoff, context.OutputDateOrder);
        }
        return;
    case kFieldTime:
        AppendTime(out, slot, field.Offset);
        return;
    case kFieldChoice:
        if (InBounds(slot, field.Offset, 1)) {
            AppendChoice(out, slot[field.Offset], field.Choices);
        }
        return;
    default:
        return;
    }
}

} // namespace corvane
