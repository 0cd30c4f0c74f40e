#pragma once
// Typed values of one record slot, for writers that keep types (SQLite, JSON Lines) rather than text. Each
// value is NULL, a whole number, a real number or a UTF-8 text; dates are ISO-8601 "YYYY-MM-DD" texts and
// times "HH:MM:SS". The decoding reuses the steps of the delimited export, so both read the same bytes.

#include "database/ByteReader.h"
#include "database/FieldRec.h"
#include "text/CodePage.h"

#include <cstdint>
#include <functional>
#include <string>

namespace corvane {

// The declared type of a field's column: whole numbers (SubType 0) Integer, other numbers Real, everything
// else Text.
enum class TColumnType : std::uint8_t { Integer, Real, Text };
TColumnType ColumnTypeOf(const TFieldRec& field);

enum class TValueType : std::uint8_t { Null, Integer, Real, Text };

struct TTypedValue {
    TValueType Type = TValueType::Null;
    std::int64_t Integer = 0;
    double Real = 0;
    std::string Text; // UTF-8
};

struct TTypedContext {
    std::uint8_t Version = 0;
    char StoredDateOrder = 'B';
    // The code page of the stored text. Raw is taken as latin1 (each byte the code point of its number),
    // because the typed writers' text is UTF-8 and no byte may be lost.
    TCodePage CodePage = TCodePage::Cp437;
    // The century cutoff for six-character dates; may throw EInOutError, which makes that one date NULL.
    // Unset: 0.
    std::function<std::uint8_t()> CenturyCutoff;
};

// Decodes field's value in slot into value (its text buffer is reused):
// - texts and choices: the text converted to UTF-8; an empty text or choice 0 is NULL;
// - numbers: the empty number, a value outside the slot, NaN and infinities are NULL; whole numbers
//   Integer (a whole-number double beyond the 64-bit range Real, truncated); fixed point Real, rounded to
//   its decimals as the delimited export rounds it; floating Real, a four-byte single taken at its own
//   precision (0.1 stays 0.1 rather than its widened binary value);
// - dates: "YYYY-MM-DD"; day count 0, an empty six-character date, a year that is not a number or a century
//   cutoff that cannot be read are NULL;
// - times: "HH:MM:SS" as stored; a first byte NUL or six blanks are NULL;
// - any other field type: NULL.
void DecodeTypedValue(ByteSpan slot, const TFieldRec& field, const TTypedContext& context,
                      TTypedValue& value);

} // namespace corvane
