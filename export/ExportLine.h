#pragma once
// One line of the delimited export, built fast. The columns are prepared once per form: each gets the
// conversion its field type and size call for, with every bounds check that depends only on the record length
// done then, so a record costs a pass over its columns writing straight into one reused buffer. The text of
// every value is exactly what AppendFieldValue gives; columns outside the common cases go through it.

#include "database/ByteReader.h"
#include "database/FieldRec.h"
#include "export/FieldValues.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The text of a run of lines, in a buffer that keeps its room from one run to the next.
struct TLineText {
    static constexpr std::size_t kAllSlots = SIZE_MAX;

    std::vector<char> Bytes; // Size bytes of text, then room
    std::size_t Size = 0;
    // A formatter given slots takes no further slot once Size has reached ByteLimit (but always takes the
    // first), so that the text of a run holds at most ByteLimit bytes and one line whatever the lines are.
    std::size_t ByteLimit = SIZE_MAX;
    // Where a formatter that stopped early stopped: the number of slots it went through. kAllSlots: all.
    std::size_t SlotsTaken = kAllSlots;

    std::string_view View() const { return {Bytes.data(), Size}; }
};

// A builder may be copied: each copy has its own buffers, so copies can build lines on different threads at
// once (the columns' field records are only read). Before copies go to other threads, FetchCenturyCutoff must
// have been called, so that none of them asks the context for the cutoff.
class TLineBuilder {
public:
    // columns in export order; recordLength the length of every slot Build is given. The builder keeps a copy
    // of context. context.CenturyCutoff is asked at most once, at the first valid six-character date (an
    // EInOutError then makes every valid six-character date "Error", as it would each time).
    TLineBuilder(const std::vector<const TFieldRec*>& columns, std::size_t recordLength, char delimiter,
                 const TValueContext& context);

    // The line of slot: the values separated by the delimiter, then CR LF. Valid until the next call.
    std::string_view Build(ByteSpan slot);

    // Appends to text the line of each slot of slots (whole slots of the record length, side by side) whose
    // status byte selection takes (kSelectLive, kSelectDeleted, kSelectAll); returns the number of lines.
    // Stops before a slot when text.Size has reached text.ByteLimit (never before the first), and then sets
    // text.SlotsTaken to the slots it went through.
    std::int64_t AppendLines(ByteSpan slots, char selection, TLineText& text);

    // The most bytes a line takes when no column is written the general way (those may take more).
    std::size_t LineBound() const { return fixedBound_; }

    // Asks the context for the century cutoff now, when a column is a six-character date, and keeps the
    // answer (or its failure): from then on neither this builder nor a copy of it calls the context's
    // CenturyCutoff.
    void FetchCenturyCutoff();

private:
    enum class TKind : std::uint8_t {
        Text,   // ByteCount = the stored bytes inside the slot
        Whole1, // whole numbers of 1, 2, 4 bytes inside the slot
        Whole2,
        Whole4,
        WholeDouble, // a whole number stored as an 8-byte double, inside the slot
        Real,        // a fixed-point or floating number of 4 or 8 bytes inside the slot
        Number,      // any other number inside the slot
        DayCount,    // four bytes inside the slot
        SixCharDate, // six characters inside the slot
        Time,        // six characters inside the slot
        Choice,      // one byte inside the slot
        Nothing,     // a value that is always empty (its bytes lie outside the slot)
        General,     // through AppendFieldValue
    };
    struct TColumn {
        TKind Kind = TKind::General;
        const TFieldRec* Field = nullptr;
        std::size_t Offset = 0;
        std::size_t ByteCount = 0;
        bool Fixed = false; // Real: fixed point with Digits decimals, or scientific with Digits digits
        int Digits = 0;
    };
    // The day-count date format, split once: a character of output, or a directive ('d', 'e', 'm', 'Y',
    // 'y').
    struct TDatePiece {
        bool Directive = false;
        char C = 0;
    };

    // p, or where it moved to when the buffer had to grow to hold more bytes from p.
    char* Reserve(char* p, std::size_t more) {
        return out_->data() + out_->size() - p >= static_cast<std::ptrdiff_t>(more) ? p : Grow(p, more);
    }
    char* Grow(char* p, std::size_t more);
    char* WriteLine(char* p, ByteSpan slot);
    char* WriteColumn(char* p, const TColumn& column, ByteSpan slot);
    char* WriteNumber(char* p, const TColumn& column, ByteSpan slot);
    char* WriteDayCount(char* p, std::int32_t n);
    char* WriteSixCharDate(char* p, const TColumn& column, ByteSpan slot);
    char* WriteGeneral(char* p, const TColumn& column, ByteSpan slot);

    std::vector<TColumn> columns_;
    std::size_t recordLength_;
    std::size_t fixedBound_ = 0;
    char delimiter_;
    TValueContext context_;
    std::vector<TDatePiece> dateFormat_;
    std::optional<std::uint8_t> cutoff_;
    bool cutoffFailed_ = false;
    bool cutoffRead_ = false;
    std::string scratch_;
    std::vector<char> line_;
    // The buffer being written by the current call (line_ or a caller's); set by every call that writes.
    std::vector<char>* out_ = nullptr;
};

} // namespace corvane
