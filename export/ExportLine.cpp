#include "export/ExportLine.h"

#include "database/DEInfoRec.h"
#include "database/Errors.h"
#include "export/DataFile.h"
#include "export/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace corvane {

namespace {

constexpr std::size_t kSixChars = 6;
constexpr std::size_t kDayCountBytes = 4;
// Room for any whole number, sign included.
constexpr std::size_t kWholeChars = 20;
// Room for a year of any day count, sign included.
constexpr std::size_t kYearChars = 20;

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Decimal digits of v.
int DigitCount(std::uint64_t v) {
    for (int n = 1;; n += 4) {
        if (v < 10) {
            return n;
        }
        if (v < 100) {
            return n + 1;
        }
        if (v < 1000) {
            return n + 2;
        }
        if (v < 10000) {
            return n + 3;
        }
        v /= 10000;
    }
}

// The digits go straight to their places, last pair first: no buffer to copy from.
char* WriteInteger(char* p, std::int64_t value) {
    std::uint64_t v = static_cast<std::uint64_t>(value);
    if (value < 0) {
        *p++ = '-';
        v = 0 - v;
    }
    char* const end = p + DigitCount(v);
    char* q = end;
    while (v >= 100) {
        const std::size_t pair = static_cast<std::size_t>(v % 100) * 2;
        v /= 100;
        q -= 2;
        q[0] = kDigitPairs[pair];
        q[1] = kDigitPairs[pair + 1];
    }
    if (v >= 10) {
        q[-2] = kDigitPairs[v * 2];
        q[-1] = kDigitPairs[v * 2 + 1];
    } else {
        q[-1] = static_cast<char>('0' + v);
    }
    return end;
}

// Two digits of |v| % 100, the tens digit replaced by pad when it is zero.
char* WriteTwoDigits(char* p, std::int64_t v, char pad) {
    if (v < 0) {
        v = -v;
    }
    v %= 100;
    *p++ = v < 10 ? pad : static_cast<char>('0' + v / 10);
    *p++ = static_cast<char>('0' + v % 10);
    return p;
}

// A day or month (1 to 31) without a leading zero.
char* WriteUnpadded(char* p, int v) {
    if (v >= 10) {
        *p++ = static_cast<char>('0' + v / 10 % 10);
    }
    *p++ = static_cast<char>('0' + v % 10);
    return p;
}

char* WriteYear(char* p, std::int64_t year) {
    if (year >= 0 && year < 1000) {
        *p++ = '0';
        *p++ = static_cast<char>('0' + year / 100);
        *p++ = static_cast<char>('0' + year / 10 % 10);
        *p++ = static_cast<char>('0' + year % 10);
        return p;
    }
    return WriteInteger(p, year);
}

// True when one of the eight bytes of w is zero.
constexpr bool HasZeroByte(std::uint64_t w) {
    return ((w - 0x0101010101010101ULL) & ~w & 0x8080808080808080ULL) != 0;
}

// The text of the count stored bytes at text up to the first NUL, between double quotes, each quote inside
// doubled. Eight bytes at a time while they hold neither a NUL nor a quote; never reads past count bytes.
char* WriteQuotedText(char* p, const std::uint8_t* text, std::size_t count) {
    constexpr std::uint64_t kQuotes = 0x2222222222222222ULL;
    *p++ = '"';
    std::size_t i = 0;
    for (; count - i >= 8; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, text + i, 8);
        if (HasZeroByte(w) || HasZeroByte(w ^ kQuotes)) {
            break;
        }
        std::memcpy(p, &w, 8);
        p += 8;
    }
    for (; i < count && text[i] != 0; ++i) {
        *p++ = static_cast<char>(text[i]);
        if (text[i] == '"') {
            *p++ = '"';
        }
    }
    *p++ = '"';
    return p;
}

bool EmptyNumberBytes(const std::uint8_t* p, std::size_t size) {
    if (p[size - 1] != 0x80) {
        return false;
    }
    for (std::size_t i = 0; i + 1 < size; ++i) {
        if (p[i] != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

TLineBuilder::TLineBuilder(const std::vector<const TFieldRec*>& columns, std::size_t recordLength,
                           char delimiter, const TValueContext& context)
    : recordLength_(recordLength), delimiter_(delimiter), context_(context) {
    const std::vector<std::uint8_t> probe(recordLength, 0);
    const ByteSpan slot(probe.data(), probe.size());
    for (const TFieldRec* f : columns) {
        TColumn c;
        c.Field = f;
        c.Offset = f->Offset;
        switch (f->FieldType) {
        case kFieldText:
        case kFieldText2:
            c.Kind = TKind::Text;
            c.ByteCount = ClippedSpan(slot, f->Offset, f->Size).size();
            break;
        case kFieldNumber:
            if (!InBounds(slot, f->Offset, f->Size)) {
                c.Kind = TKind::Nothing;
            } else if (f->SubType == 0 && f->Size == 1) {
                c.Kind = TKind::Whole1;
            } else if (f->SubType == 0 && f->Size == 2) {
                c.Kind = TKind::Whole2;
            } else if (f->SubType == 0 && f->Size == 4) {
                c.Kind = TKind::Whole4;
            } else if (f->SubType == 0 && f->Size == 8) {
                c.Kind = TKind::WholeDouble;
            } else if (f->SubType != 0 && (f->Size == 4 || f->Size == 8)) {
                c.Kind = TKind::Real;
                c.Fixed = f->SubType == 1 && FixedDecimals(*f) >= 0;
                c.Digits = c.Fixed ? FixedDecimals(*f) : FloatingDigits(*f);
            } else {
                c.Kind = TKind::Number;
            }
            break;
        case kFieldDate:
            if (context.Version >= kVersion5x && f->SubType == 1) {
                c.Kind = InBounds(slot, f->Offset, kDayCountBytes) ? TKind::DayCount : TKind::Nothing;
            } else {
                c.Kind = InBounds(slot, f->Offset, kSixChars) ? TKind::SixCharDate : TKind::Nothing;
            }
            break;
        case kFieldTime:
            c.Kind = InBounds(slot, f->Offset, kSixChars) ? TKind::Time : TKind::Nothing;
            break;
        case kFieldChoice:
            c.Kind = InBounds(slot, f->Offset, 1) ? TKind::Choice : TKind::Nothing;
            for (const std::string& text : f->Choices) {
                c.ByteCount = std::max(c.ByteCount, text.size());
            }
            break;
        default:
            c.Kind = TKind::Nothing;
            break;
        }
        columns_.push_back(c);
    }

    const std::string_view format = context.ShortDateFormat;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            dateFormat_.push_back({false, format[i]});
            continue;
        }
        if (format[i + 1] == '-' && i + 2 < format.size() && (format[i + 2] == 'd' || format[i + 2] == 'm')) {
            // Day or month without a leading zero: the upper-case letter marks it.
            dateFormat_.push_back({true, format[i + 2] == 'd' ? 'D' : 'M'});
            i += 2;
            continue;
        }
        const char d = format[++i];
        switch (d) {
        case 'd':
        case 'e':
        case 'm':
        case 'Y':
        case 'y':
            dateFormat_.push_back({true, d});
            break;
        case '%':
            dateFormat_.push_back({false, '%'});
            break;
        default:
            dateFormat_.push_back({false, '%'});
            dateFormat_.push_back({false, d});
            break;
        }
    }
    // The most any column but a General one (and a number written through AppendNumber) can write: the line's
    // buffer is grown once per line by this much, and only those two grow it further.
    fixedBound_ = columns_.size() + 2;
    for (const TColumn& c : columns_) {
        switch (c.Kind) {
        case TKind::Text:
            fixedBound_ += 2 * c.ByteCount + 2;
            break;
        case TKind::Whole1:
        case TKind::Whole2:
        case TKind::Whole4:
            fixedBound_ += kWholeChars + 1;
            break;
        case TKind::WholeDouble:
        case TKind::Real:
        case TKind::Number:
            fixedBound_ += kFastNumberChars;
            break;
        case TKind::DayCount:
            fixedBound_ += dateFormat_.size() * kYearChars;
            break;
        case TKind::SixCharDate:
        case TKind::Time:
            fixedBound_ += 10;
            break;
        case TKind::Choice:
            fixedBound_ += std::max<std::size_t>(c.ByteCount, 16);
            break;
        case TKind::Nothing:
        case TKind::General:
            break;
        }
    }
}

char* TLineBuilder::Grow(char* p, std::size_t more) {
    const std::size_t used = static_cast<std::size_t>(p - out_->data());
    out_->resize(std::max(out_->size() * 2, used + more));
    return out_->data() + used;
}

std::string_view TLineBuilder::Build(ByteSpan slot) {
    // Sized at the first line, not when the builder is made: a builder that only appends lines to a
    // caller's text (and every copy of it) holds no line buffer as long as its longest line.
    if (line_.size() < fixedBound_) {
        line_.resize(std::max<std::size_t>(4096, 2 * fixedBound_));
    }
    out_ = &line_;
    char* p = line_.data();
    if (slot.size() != recordLength_) {
        // Not the slot the columns were prepared for: every value the general way.
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (i != 0) {
                p = Reserve(p, 1);
                *p++ = delimiter_;
            }
            p = WriteGeneral(p, columns_[i], slot);
        }
        p = Reserve(p, 2);
        *p++ = '\r';
        *p++ = '\n';
    } else {
        // line_ holds at least fixedBound_ bytes.
        p = WriteLine(p, slot);
    }
    return {line_.data(), static_cast<std::size_t>(p - line_.data())};
}

std::int64_t TLineBuilder::AppendLines(ByteSpan slots, char selection, TLineText& text) {
    if (recordLength_ == 0) {
        return 0;
    }
    out_ = &text.Bytes;
    char* p = text.Bytes.data() + text.Size;
    std::int64_t lines = 0;
    for (std::size_t pos = 0; slots.size() - pos >= recordLength_; pos += recordLength_) {
        if (pos != 0 && static_cast<std::size_t>(p - out_->data()) >= text.ByteLimit) {
            text.SlotsTaken = pos / recordLength_;
            break;
        }
        const ByteSpan slot = slots.subspan(pos, recordLength_);
        if (SlotSelected(slot[0], selection)) {
            p = WriteLine(Reserve(p, fixedBound_), slot);
            ++lines;
        }
    }
    text.Size = static_cast<std::size_t>(p - text.Bytes.data());
    return lines;
}

char* TLineBuilder::WriteLine(char* p, ByteSpan slot) {
    // The buffer holds at least fixedBound_ bytes from p; a column that writes more reserves for itself.
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (i != 0) {
            *p++ = delimiter_;
        }
        p = WriteColumn(p, columns_[i], slot);
    }
    *p++ = '\r';
    *p++ = '\n';
    return p;
}

void TLineBuilder::FetchCenturyCutoff() {
    bool sixCharDates = false;
    for (const TColumn& c : columns_) {
        const TFieldRec& f = *c.Field;
        sixCharDates |= f.FieldType == kFieldDate && !(context_.Version >= kVersion5x && f.SubType == 1);
    }
    if (!sixCharDates) {
        // Nothing here ever asks for it.
        context_.CenturyCutoff = nullptr;
        return;
    }
    if (!cutoffRead_) {
        cutoffRead_ = true;
        try {
            cutoff_ = context_.CenturyCutoff ? context_.CenturyCutoff() : 0;
        } catch (const EInOutError&) {
            cutoffFailed_ = true;
        }
    }
    // The general conversion asks the context each time: it gets the kept answer.
    if (cutoffFailed_) {
        context_.CenturyCutoff = []() -> std::uint8_t {
            throw EInOutError(0, "the century cutoff could not be read");
        };
    } else {
        context_.CenturyCutoff = [cutoff = *cutoff_]() { return cutoff; };
    }
}

char* TLineBuilder::WriteColumn(char* p, const TColumn& column, ByteSpan slot) {
    // Every kind but Nothing and General has its bytes inside the slot.
    const std::uint8_t* v = slot.data() + std::min(column.Offset, slot.size());
    switch (column.Kind) {
    case TKind::Text:
        return WriteQuotedText(p, v, column.ByteCount);
    case TKind::Whole1:
    case TKind::Whole2:
    case TKind::Whole4: {
        const std::size_t size = column.Kind == TKind::Whole1 ? 1 : (column.Kind == TKind::Whole2 ? 2 : 4);
        if (EmptyNumberBytes(v, size)) {
            if (context_.NumericNull == 0) {
                *p++ = '0';
            }
            return p;
        }
        const std::int64_t whole = column.Kind == TKind::Whole1   ? std::int64_t{v[0]}
                                   : column.Kind == TKind::Whole2 ? std::int64_t{DecodeLE<std::uint16_t>(v)}
                                                                  : std::int64_t{DecodeLE<std::int32_t>(v)};
        return WriteInteger(p, whole);
    }
    case TKind::WholeDouble: {
        if (EmptyNumberBytes(v, 8)) {
            if (context_.NumericNull == 0) {
                *p++ = '0';
            }
            return p;
        }
        const double t = std::trunc(DecodeDoubleLE(v));
        if (std::isfinite(t) && std::fabs(t) < 9223372036854775808.0) {
            return WriteInteger(p, static_cast<std::int64_t>(t));
        }
        return WriteNumber(p, column, slot);
    }
    case TKind::Real: {
        const std::size_t size = column.Field->Size;
        if (EmptyNumberBytes(v, size)) {
            if (context_.NumericNull == 0) {
                *p++ = '0';
            }
            return p;
        }
        const double x = size == 4 ? static_cast<double>(DecodeSingleLE(v)) : DecodeDoubleLE(v);
        char* end =
            column.Fixed ? WriteFixedFast(p, x, column.Digits) : WriteScientificFast(p, x, column.Digits);
        return end != nullptr ? end : WriteNumber(p, column, slot);
    }
    case TKind::Number:
        return WriteNumber(p, column, slot);
    case TKind::DayCount: {
        const auto n = DecodeLE<std::int32_t>(v);
        return n == 0 ? p : WriteDayCount(p, n);
    }
    case TKind::SixCharDate:
        return WriteSixCharDate(p, column, slot);
    case TKind::Time:
        if (v[0] == 0) {
            return p;
        }
        std::memcpy(p, v, 2);
        p[2] = ':';
        std::memcpy(p + 3, v + 2, 2);
        p[5] = ':';
        std::memcpy(p + 6, v + 4, 2);
        return p + 8;
    case TKind::Choice: {
        const std::vector<std::string>& choices = column.Field->Choices;
        if (v[0] < choices.size()) {
            const std::string& text = choices[v[0]];
            std::memcpy(p, text.data(), text.size());
            return p + text.size();
        }
        std::memcpy(p, "Choice_", 7);
        return WriteInteger(p + 7, v[0]);
    }
    case TKind::Nothing:
        return p;
    case TKind::General:
        break;
    }
    return WriteGeneral(p, column, slot);
}

char* TLineBuilder::WriteNumber(char* p, const TColumn& column, ByteSpan slot) {
    const TNumberValue value = DecodeNumber(slot, *column.Field);
    if (value.Kind == TNumberKind::Whole) {
        return WriteInteger(p, value.Whole);
    }
    scratch_.clear();
    AppendNumber(scratch_, value, *column.Field, context_.NumericNull);
    p = Reserve(p, scratch_.size() + fixedBound_);
    std::memcpy(p, scratch_.data(), scratch_.size());
    return p + scratch_.size();
}

char* TLineBuilder::WriteDayCount(char* p, std::int32_t n) {
    const TCivilDate date = DayCountToDate(n);
    for (const TDatePiece& piece : dateFormat_) {
        if (!piece.Directive) {
            *p++ = piece.C;
            continue;
        }
        switch (piece.C) {
        case 'd':
            p = WriteTwoDigits(p, date.Day, '0');
            break;
        case 'e':
            p = WriteTwoDigits(p, date.Day, ' ');
            break;
        case 'm':
            p = WriteTwoDigits(p, date.Month, '0');
            break;
        case 'D':
        case 'M':
            p = WriteUnpadded(p, piece.C == 'D' ? date.Day : date.Month);
            break;
        case 'Y':
            p = WriteYear(p, date.Year);
            break;
        default: // 'y'
            p = WriteTwoDigits(p, date.Year, '0');
            break;
        }
    }
    return p;
}

char* TLineBuilder::WriteSixCharDate(char* p, const TColumn& column, ByteSpan slot) {
    TSixCharDate date;
    switch (DecodeSixCharDate(slot, column.Offset, context_.StoredDateOrder, date)) {
    case TSixCharDateState::Empty:
        return p;
    case TSixCharDateState::Error:
        std::memcpy(p, "Error", 5);
        return p + 5;
    case TSixCharDateState::Valid:
        break;
    }
    if (!cutoffRead_) {
        cutoffRead_ = true;
        try {
            cutoff_ = context_.CenturyCutoff ? context_.CenturyCutoff() : 0;
        } catch (const EInOutError&) {
            cutoffFailed_ = true;
        }
    }
    if (cutoffFailed_) {
        std::memcpy(p, "Error", 5);
        return p + 5;
    }
    const bool after2000 = date.YearNumber < *cutoff_;
    const auto two = [&p](const char* c) {
        p[0] = c[0];
        p[1] = c[1];
        p += 2;
    };
    const auto year = [&p, &date, after2000]() {
        p[0] = after2000 ? '2' : '1';
        p[1] = after2000 ? '0' : '9';
        p[2] = date.Year[0];
        p[3] = date.Year[1];
        p += 4;
    };
    switch (context_.OutputDateOrder) {
    case 'A':
        two(date.Month);
        *p++ = '/';
        two(date.Day);
        *p++ = '/';
        year();
        break;
    case 'M':
        year();
        *p++ = '/';
        two(date.Month);
        *p++ = '/';
        two(date.Day);
        break;
    default:
        two(date.Day);
        *p++ = '/';
        two(date.Month);
        *p++ = '/';
        year();
        break;
    }
    return p;
}

char* TLineBuilder::WriteGeneral(char* p, const TColumn& column, ByteSpan slot) {
    scratch_.clear();
    AppendFieldValue(scratch_, slot, *column.Field, context_);
    p = Reserve(p, scratch_.size() + fixedBound_);
    std::memcpy(p, scratch_.data(), scratch_.size());
    return p + scratch_.size();
}

} // namespace corvane
